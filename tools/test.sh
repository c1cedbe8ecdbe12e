#!/usr/bin/env bash
# Builds everything and runs the whole test suite:
#   build/       the program and all tests (GCC, Debug: JUCE's assertions and leak detector on)
#   build-tsan/  everything under ThreadSanitizer; runs the engine and app tests
#   build-asan/  everything under AddressSanitizer + UBSan (clang); runs the engine and app
#                tests, the fuzz targets, and three end-to-end scenarios on the program
# Tests labelled stress and the other scenarios run in build/ only. Any sanitizer
# report fails its test: ASan and UBSan abort, TSan halts (TSAN_OPTIONS below), and the
# scenarios reject a report in the program's output.
# Options: --quick runs only build/; --soak runs the fault campaign ten times longer
# (ZENDRAVEL_SOAK=1) and each fuzz target for 10 minutes; FUZZ_SECONDS sets each fuzz
# target's time (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
    case "$arg" in
        --quick) quick=1 ;;
        --soak) export ZENDRAVEL_SOAK=1 FUZZ_SECONDS=${FUZZ_SECONDS:-600} ;;
        *) echo "usage: $0 [--quick] [--soak]" >&2; exit 2 ;;
    esac
done

bash tools/setup.sh
jobs=$(nproc)
status=0
export TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}"

run_tree() {
    local dir=$1 labels=$2; shift 2
    echo "=== $dir: configure and build"
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "=== $dir: tests"
    local filter=()
    [ -z "$labels" ] || filter=(-L "$labels")
    (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$jobs" "${filter[@]}") || status=1
}

run_tree build ""
if ((! quick)); then
    # Said explicitly, as these trees were once configured engine-only and CMake keeps that.
    sanitized=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENDRAVEL_ENGINE_ONLY=OFF)
    run_tree build-tsan '^(engine|app)$' "${sanitized[@]}" -DZENDRAVEL_SANITIZER=thread
    run_tree build-asan '^(engine|app|e2e_sanitizer)$' "${sanitized[@]}" \
        -DZENDRAVEL_SANITIZER=address -DZENDRAVEL_FUZZ=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi

exit $status
