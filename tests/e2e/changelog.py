"""The change-log window: at most one, Escape closes it (not Shift+Escape, and not while the main
window has the keyboard), every opening is centred on the main window wherever it is, and
opening it during a transfer changes nothing in the transfer."""

import sys
import time

import harness
import screen
from harness import CHANGELOG_TITLE, PLACE_SLACK, Window, check, off_centre, wait_until

CONTENT_SIZE = (500, 350)
CLOSE_BUTTON = (245, 315)
TEXT_VIEW = (250, 100)


def changelog_windows(app):
    return app.windows_titled(CHANGELOG_TITLE)


def show_changelog(s, app):
    app.click_changelog_button()
    window = Window(s.x, wait_until(lambda: next(iter(changelog_windows(app)), None), 5, "the change-log window"))
    time.sleep(0.3)
    return window


def open_changelog(s, app, step):
    window = show_changelog(s, app)
    left, top, width, height = window.rect()
    check((width, height) == CONTENT_SIZE, f"the change-log window is {width} x {height}, expected {CONTENT_SIZE}")
    main = app.main.rect()
    s.note(f"change-log window at {window.rect()}, main window at {main}")
    check(off_centre(window.rect(), main) <= PLACE_SLACK,
          f"the change-log window should be centred on the main window: {window.rect()} on {main}")
    check("_NET_WM_STATE_ABOVE" in s.x.run("xprop", "-id", str(window.wid), "_NET_WM_STATE"),
          "the change-log window should ask to stay on top")
    shot = screen.Image(s.screenshot(step))
    check(screen.close_to(shot.pixel(left + 3, top + 3), screen.CHANGELOG_BACKGROUND),
          f"the change-log window's background is {shot.pixel(left + 3, top + 3)}")
    return window


def wait_closed(app, window):
    wait_until(lambda: window.wid not in changelog_windows(app), 3, "the change-log window to close")


def stays_open(app, window, what):
    time.sleep(1)
    check(changelog_windows(app) == [window.wid], f"{what} must leave the one change-log window open")


def body(s):
    app = s.launch("")

    window = open_changelog(s, app, "changelog-open")
    s.x.key_to_focus("Escape")
    wait_closed(app, window)

    window = open_changelog(s, app, "changelog-reopened")
    rect = window.rect()
    # Beside the change-log window, which covers the left part of the button.
    app.click(565, 383, '"SHOW CHANGELOG" again')
    stays_open(app, window, "a second click")
    check(window.rect() == rect, "the open change-log window must not move")
    s.screenshot("changelog-second-click")
    s.x.key_to_focus("Escape")
    stays_open(app, window, "Escape typed into the main window")

    window.click(*TEXT_VIEW)
    s.x.key_to_focus("shift+Escape")
    stays_open(app, window, "Shift+Escape")
    s.x.key_to_focus("Escape")
    wait_closed(app, window)

    app.main.move(40, 60)
    window = open_changelog(s, app, "changelog-after-move")
    window.click(*CLOSE_BUTTON)
    wait_closed(app, window)

    app.start_part1()
    app.wait_for_programming(1, 500, timeout=10)
    window = open_changelog(s, app, "changelog-during-transfer")
    before = app.commands(1).count(3)
    stays_open(app, window, "the transfer")
    check(app.commands(1).count(3) > before + 100, "the transfer must go on while the change-log window is open")
    s.x.key_to_focus("Escape")
    wait_closed(app, window)
    app.wait_for_close(1, timeout=60)
    app.check_part_programmed(1, "main_image.hex")
    app.wait_for_screen("part1-done", lambda shot: shot.shows_step("red"))


sys.exit(harness.run(body))
