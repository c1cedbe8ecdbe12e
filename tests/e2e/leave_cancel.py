"""The leave confirmation answered with Cancel: on the welcome screen nothing changes; during a
transfer the transfer goes on behind the box and completes. A second close request while the box
shows opens no second box. Once both parts are done the close button quits without asking."""

import sys
import time

import harness
from harness import check


def body(s):
    app = s.launch("bootloader_kinds=1,2")
    alert = app.request_leave()
    alert.answer("Cancel")
    alert.wait_closed()
    check(app.running(), "Cancel must keep the program running")
    app.wait_for_screen("welcome-after-cancel", lambda shot: shot.shows_step(None))

    app.start_part1()
    app.wait_for_programming(1, 1000, timeout=10)
    alert = app.request_leave()
    app.click_close_button()
    harness.wait_until(lambda: alert.window.wid in app.windows(), 2, "the confirmation to stay open")
    time.sleep(0.5)
    boxes = [w for w in app.other_windows() if w != alert.window.wid]
    check(not boxes, f"a second close request opened more windows: {boxes}")
    before = app.commands(1).count(3)
    time.sleep(1)
    during = app.commands(1).count(3)
    s.note(f"program frames while the box is open: {before} -> {during}")
    check(during > before + 100, "the transfer must go on while the confirmation is open")
    alert.answer("Cancel")
    alert.wait_closed()
    app.wait_for_screen("updating-after-cancel", lambda shot: shot.shows_transfer("red"))

    app.wait_for_close(1, timeout=60)
    app.check_part_programmed(1, "main_image.hex")
    app.click_step_button("PROCEED TO PART 2")
    app.wait_for_close(2, timeout=30)
    app.check_part_programmed(2, "comp_image.hex")
    app.wait_for_screen("all-done", lambda shot: shot.shows_step("blue"))

    # A confirmation would hold the program open; it has to quit by itself.
    app.click_close_button()
    rc = app.wait_exit(5)
    check(rc == 0, f"closing after the update should quit with 0, got {rc}")


sys.exit(harness.run(body))
