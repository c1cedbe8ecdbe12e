"""SIGTERM during a transfer ends the program cleanly, also with the leave confirmation open: exit
code 0 and the device closed."""

import os
import signal
import sys

import harness
from harness import check


def terminate_mid_transfer(s, name, with_confirmation):
    app = s.launch("", name=name)
    app.start_part1()
    app.wait_for_programming(1, 500, timeout=10)
    if with_confirmation:
        app.request_leave()
    s.note(f"{name}: SIGTERM")
    os.kill(app.proc.pid, signal.SIGTERM)
    rc = app.wait_exit(5)
    check(rc == 0, f"SIGTERM should end {name} with 0, got {rc}")
    app.wait_for_close(1, timeout=1)
    check(app.session_report(1)["eof"] == 0, "the transfer was cut short")
    check(app.events.lines()[-1] == "exit", f"the library is released last: {app.events.lines()[-3:]}")


def body(s):
    terminate_mid_transfer(s, "app", with_confirmation=False)
    terminate_mid_transfer(s, "confirmation-open", with_confirmation=True)


sys.exit(harness.run(body))
