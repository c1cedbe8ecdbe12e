#!/usr/bin/env bash
# Runs one fuzz target for FUZZ_SECONDS (default 30) from a copy of its seed corpus and prints
# libFuzzer's final figures (executions, coverage), or its whole log when it found a fault (the
# log holds the failing input in Base64). Usage: run_fuzzer.sh <fuzzer> <corpus dir>
set -uo pipefail

fuzzer=$1
seeds=$2
seconds=${FUZZ_SECONDS:-30}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus"
cp -r "$seeds"/. "$scratch/corpus/"

"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch/corpus" >"$scratch/log.txt" 2>&1
status=$?

if ((status == 0)); then
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)|^Done ' "$scratch/log.txt"
else
    cat "$scratch/log.txt"
fi
exit $status
