#!/usr/bin/env bash
# Times the real program's start-up to its first painted window on a private Xvfb display with a
# window manager, as a desktop would run it. Usage: startup.sh <build dir> [starts, default 5]
set -euo pipefail

build=${1:?usage: startup.sh <build dir> [starts]}
starts=${2:-5}

xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    # openbox has taken over the screen once it publishes its client list.
    for _ in $(seq 100); do
        xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -q "(WINDOW)" && break
        sleep 0.05
    done
    "$1/tools/benchmarks/zendravel_startup_benchmark" "$1/app/Zendravel" "$2"
    status=$?
    kill $wm
    exit $status
' startup "$build" "$starts"
