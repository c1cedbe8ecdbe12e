"""Ctrl+Q, this platform's Quit, ends the program at once in the middle of a transfer, with the
change-log window open: no confirmation, exit code 0, the device closed, nothing leaked."""

import sys

import harness
from harness import CHANGELOG_TITLE, check, wait_until


def body(s):
    app = s.launch("")
    app.start_part1()
    app.wait_for_programming(1, 500, timeout=10)
    app.click_changelog_button()
    wait_until(lambda: app.windows_titled(CHANGELOG_TITLE), 5, "the change-log window")

    # Beside the change-log window, so that the main window gets the keyboard.
    app.click(20, 390, "the main window's bottom left corner")
    s.x.key_to_focus("ctrl+q")
    # A confirmation would hold the program open.
    rc = app.wait_exit(5)
    check(rc == 0, f"Ctrl+Q should quit with 0, got {rc}")
    check(app.events.lines()[-2:] == ["close session=1", "exit"], f"the device is closed: {app.events.lines()[-3:]}")
    check(app.session_report(1)["eof"] == 0, "the transfer was cut short")


sys.exit(harness.run(body))
