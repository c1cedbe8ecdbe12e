"""The leave confirmation answered with OK during a transfer: the program quits with 0 and the
unit sees its device closed in the middle of programming."""

import sys

import harness
from harness import check


def body(s):
    app = s.launch("")
    app.start_part1()
    app.wait_for_programming(1, 500, timeout=10)
    alert = app.request_leave()
    alert.answer("OK")
    rc = app.wait_exit(5)
    check(rc == 0, f"OK should quit with 0, got {rc}")
    app.wait_for_close(1, timeout=1)
    report = app.session_report(1)
    check(report["eof"] == 0, f"the transfer was cut short, yet the unit saw the end of the image: {report}")
    check(app.events.lines()[-1] == "exit", f"the library is released last: {app.events.lines()[-3:]}")


sys.exit(harness.run(body))
