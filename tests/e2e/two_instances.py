"""Two instances at once, each with its own unit and report directory: both show their window
and both update their unit side by side."""

import sys

import harness
from harness import check


def body(s):
    first, second = s.launch("", "first"), s.launch("", "second")
    check(first.main.wid != second.main.wid, "each instance has its own main window")
    first.main.move(20, 40)
    second.main.move(660, 40)
    for app in (first, second):
        app.wait_for_screen(f"{app.name}-welcome", lambda shot: shot.shows_step(None))

    for app in (first, second):
        app.start_part1()
    for app in (first, second):
        app.wait_for_programming(1, 500, timeout=10)
    for app in (first, second):
        app.wait_for_screen(f"{app.name}-updating", lambda shot: shot.shows_transfer("red"))

    for app in (first, second):
        app.request_leave().answer("OK")
        rc = app.wait_exit(5)
        check(rc == 0, f"{app.name} should quit with 0, got {rc}")
        app.wait_for_close(1, timeout=1)


sys.exit(harness.run(body))
