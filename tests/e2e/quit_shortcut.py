"""Ctrl+Q, this platform's Quit, ends the program at once whichever of its windows has the keyboard:
the change-log window (focused as it opens) and the leave confirmation, both mid-transfer, and the
main window in an error step of part 2. No confirmation, exit code 0, the device closed, nothing
leaked."""

import sys

import harness
from harness import CHANGELOG_TITLE, check, wait_until


def quit_with_ctrl_q(s, app, session):
    s.x.key_to_focus("ctrl+q")
    # A confirmation would hold the program open.
    rc = app.wait_exit(5)
    check(rc == 0, f"Ctrl+Q should quit {app.name} with 0, got {rc}")
    check(app.events.lines()[-2:] == [f"close session={session}", "exit"],
          f"{app.name} closes the device: {app.events.lines()[-3:]}")


def mid_transfer(s, name):
    app = s.launch("", name=name)
    app.start_part1()
    app.wait_for_programming(1, 500, timeout=10)
    return app


def body(s):
    app = mid_transfer(s, "changelog-focused")
    app.click_changelog_button()
    wait_until(lambda: app.windows_titled(CHANGELOG_TITLE), 5, "the change-log window")
    quit_with_ctrl_q(s, app, 1)
    check(app.session_report(1)["eof"] == 0, "the transfer was cut short")

    app = mid_transfer(s, "confirmation-open")
    app.request_leave()
    quit_with_ctrl_q(s, app, 1)

    # The unit keeps its part 1 bootloader, so part 2 stops in its wrong-bootloader step.
    app = s.launch("bootloader_kinds=1,1", name="part2-error")
    app.start_part1()
    app.wait_for_close(1, timeout=60)
    app.click_step_button("PROCEED TO PART 2")
    app.wait_for_screen("part2-wrong-bootloader", lambda shot: shot.shows_step("blue", error_line=True), timeout=10)
    app.click(20, 390, "the main window's bottom left corner")
    quit_with_ctrl_q(s, app, 2)


sys.exit(harness.run(body))
