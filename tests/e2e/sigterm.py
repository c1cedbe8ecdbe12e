"""SIGTERM during a transfer ends the program cleanly: exit code 0 and the device closed."""

import os
import signal
import sys

import harness
from harness import check


def body(s):
    app = s.launch("")
    app.start_part1()
    app.wait_for_programming(1, 500, timeout=10)
    s.note("app: SIGTERM")
    os.kill(app.proc.pid, signal.SIGTERM)
    rc = app.wait_exit(5)
    check(rc == 0, f"SIGTERM should end the program with 0, got {rc}")
    app.wait_for_close(1, timeout=1)
    check(app.session_report(1)["eof"] == 0, "the transfer was cut short")
    check(app.events.lines()[-1] == "exit", f"the library is released last: {app.events.lines()[-3:]}")


sys.exit(harness.run(body))
