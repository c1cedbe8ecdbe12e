"""The whole road of an update, with the unit behaving as the newcomer's demo plays it: missing
for the first two attempts of each part, bootloader kind 1 for part 1 and 2 for part 2."""

import sys
import time

import harness
from harness import check


def check_waiting(shot, heading, error_line):
    check(shot.heading_colour() == heading, f"heading is {shot.heading_colour()}, expected {heading}")
    check(shot.has_error_line() == error_line, f"error line shown: {shot.has_error_line()}, expected {error_line}")
    check(shot.step_button_visible() and not shot.progress_bar_visible(), "expected the step button, no bar")


def check_transfer_shown(shot, heading):
    check(shot.heading_colour() == heading, f"heading is {shot.heading_colour()}, expected {heading}")
    check(shot.progress_bar_visible() and not shot.step_button_visible(), "expected the bar, no step button")


def watch_progress(s, app, session, frames_total):
    """Screenshots at about a quarter and three quarters of the frames: the bar fills in between."""
    fractions = []
    for share in (0.25, 0.75):
        app.wait_for_programming(session, int(frames_total * share), timeout=60)
        shot = app.shot(f"part{session}-progress-{int(share * 100)}")
        check_transfer_shown(shot, "red" if session == 1 else "blue")
        fractions.append(shot.progress_fraction())
    s.note(f"progress bar at {fractions}")
    check(None not in fractions and 0.05 < fractions[0] < fractions[1] < 0.98,
          f"the bar should fill from left to right as frames go out: {fractions}")


def part(s, app, session, heading, image_file, frames_total):
    first_absent = app.events.count(r"open \d+ absent") + 1
    app.events.wait_for(r"open \d+ absent", 3, count=first_absent)
    check_waiting(app.shot(f"part{session}-waiting"), heading, error_line=False)
    app.events.wait_for(r"open \d+ absent", 4, count=first_absent + 1)
    time.sleep(0.3)
    check_waiting(app.shot(f"part{session}-unable-to-connect"), heading, error_line=True)
    app.wait_for_session(session, timeout=5)
    app.wait_for_programming(session, 1, timeout=5)
    watch_progress(s, app, session, frames_total)
    app.wait_for_close(session, timeout=60)
    app.check_part_programmed(session, image_file)
    time.sleep(0.3)
    shot = app.shot(f"part{session}-done")
    check_waiting(shot, heading, error_line=False)
    return shot


def body(s):
    app = s.launch("demo")
    welcome = app.shot("welcome")
    check(welcome.heading_colour() is None and welcome.step_button_visible() and welcome.changelog_button_visible(),
          "the welcome screen shows no heading, the step button and the change-log button")

    app.click_step_button("START")
    time.sleep(0.5)
    instructions = app.shot("connect-instructions")
    check(instructions.caption_width() != welcome.caption_width(), "the caption should change from START")
    check(app.events.count(r"open .*") == 0, "nothing may open the unit before part 1")

    app.click_step_button("CONTINUE")
    part1_done = part(s, app, 1, "red", "main_image.hex", 14406)

    app.click_step_button("PROCEED TO PART 2")
    all_done = part(s, app, 2, "blue", "comp_image.hex", 958)
    check(all_done.caption_width() < part1_done.caption_width(), '"EXIT" is shorter than "PROCEED TO PART 2"')

    app.click_step_button("EXIT")
    rc = app.wait_exit(5)
    check(rc == 0, f"EXIT should quit with 0, got {rc}")
    check(app.events.lines()[-1] == "exit", f"the last unit event should be the library release: {app.events.lines()[-3:]}")


sys.exit(harness.run(body))
