#!/usr/bin/env bash
# Builds and starts the updater.
#   --simulated-unit   preload the simulated unit, which plays the person's part, so the
#                      whole update can be watched without hardware
set -euo pipefail
cd "$(dirname "$0")/.."

simulated=0
for arg in "$@"; do
    case "$arg" in
        --simulated-unit) simulated=1 ;;
        *) echo "usage: $0 [--simulated-unit]" >&2; exit 2 ;;
    esac
done

bash tools/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target Zendravel zendravel_sim_preload

if ((simulated)); then
    exec env LD_PRELOAD="$PWD/build/sim/libzendravel_sim_preload.so" \
        ORVALITH_SIM="${ORVALITH_SIM:-demo}" build/app/Zendravel
fi
exec build/app/Zendravel
