"""Where the windows come up: the main window's content centred on the display (checked by every
launch) and the change-log window's content centred on the main window, within 2 px, on every
start, with the machine busy. Starts the program PLACEMENT_STARTS times (default 10), each time
opening the change-log window, while PLACEMENT_LOAD busy processes (default 8) run."""

import os
import subprocess
import sys
import time

import harness
from harness import CHANGELOG_TITLE, PLACE_SLACK, Window, check, off_centre, wait_until


def busy_processes(count):
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"], preexec_fn=harness._die_with_parent)
            for _ in range(count)]


def changelog_offset(s, number):
    """Starts the program, opens the change-log window; how far it lies from its place."""
    app = s.launch("", name=f"start{number}")
    app.click_changelog_button()
    changelog = Window(s.x, wait_until(lambda: next(iter(app.windows_titled(CHANGELOG_TITLE)), None), 5,
                                       "the change-log window"))
    # Leaves a late move by the window manager the time to show.
    time.sleep(0.3)
    main, log = app.main.rect(), changelog.rect()
    app.proc.terminate()
    check(app.wait_exit(5) == 0, f"start {number} did not end cleanly")
    offset = off_centre(log, main)
    s.note(f"start {number}: main window at {main}, change-log window at {log}, {offset} px off")
    return offset


def body(s):
    starts = int(os.environ.get("PLACEMENT_STARTS", "10"))
    load = busy_processes(int(os.environ.get("PLACEMENT_LOAD", "8")))
    try:
        offsets = [changelog_offset(s, n) for n in range(1, starts + 1)]
    finally:
        for proc in load:
            proc.kill()
    misplaced = sum(1 for offset in offsets if offset > PLACE_SLACK)
    s.note(f"{starts} starts under load: every main window centred; change-log window more than "
           f"{PLACE_SLACK} px off in {misplaced}, worst {max(offsets)} px")
    check(misplaced == 0, "a change-log window came up away from its place")


sys.exit(harness.run(body, limit_s=1200))
