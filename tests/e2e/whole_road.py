"""The whole road of an update, with the unit behaving as the newcomer's demo plays it: missing
for the first two attempts of each part, bootloader kind 1 for part 1 and 2 for part 2."""

import sys

import harness
import intel_hex
from harness import check


def watch_progress(s, app):
    """The bar at about a quarter and three quarters of part 1's frames: it fills in between.
    (Part 2's image goes out in about a second, too fast to catch reliably on the way.)"""
    main_image_frames = intel_hex.program_frames(s.resources / "main_image.hex")
    fractions = []
    for share in (0.25, 0.75):
        app.wait_for_programming(1, int(main_image_frames * share), timeout=60)
        shot = app.wait_for_screen(f"part1-progress-{int(share * 100)}", lambda s: s.shows_transfer("red"))
        fractions.append(shot.progress_fraction())
    s.note(f"progress bar at {fractions}")
    check(None not in fractions and 0.05 < fractions[0] < fractions[1] < 0.98,
          f"the bar should fill from left to right as frames go out: {fractions}")


def part(s, app, session, caption, heading, image_file):
    """Starts a part with the step button and follows it to its end."""
    first_absent = app.events.count(r"open \d+ absent") + 1
    app.click_step_button(caption)
    app.events.wait_for(r"open \d+ absent", 3, count=first_absent)
    app.wait_for_screen(f"part{session}-waiting", lambda shot: shot.shows_step(heading))
    app.events.wait_for(r"open \d+ absent", 4, count=first_absent + 1)
    app.wait_for_screen(f"part{session}-unable-to-connect", lambda shot: shot.shows_step(heading, error_line=True))
    app.wait_for_session(session, timeout=5)
    if session == 1:
        watch_progress(s, app)
    else:
        app.wait_for_screen("part2-updating", lambda shot: shot.shows_transfer("blue"))
    app.wait_for_close(session, timeout=60)
    app.check_part_programmed(session, image_file)
    return app.wait_for_screen(f"part{session}-done", lambda shot: shot.shows_step(heading))


def body(s):
    app = s.launch("demo")
    welcome = app.wait_for_screen("welcome", lambda shot: shot.shows_step(None))
    check(welcome.changelog_button_visible(), 'the welcome screen shows "SHOW CHANGELOG"')

    app.click_step_button("START")
    app.wait_for_screen("connect-instructions",
                        lambda shot: shot.shows_step(None) and shot.caption_width() != welcome.caption_width())
    check(app.events.count(r"open .*") == 0, "nothing may open the unit before part 1")

    part1_done = part(s, app, 1, "CONTINUE", "red", "main_image.hex")
    all_done = part(s, app, 2, "PROCEED TO PART 2", "blue", "comp_image.hex")
    check(all_done.caption_width() < part1_done.caption_width(), '"EXIT" is shorter than "PROCEED TO PART 2"')

    app.click_step_button("EXIT")
    rc = app.wait_exit(5)
    check(rc == 0, f"EXIT should quit with 0, got {rc}")
    check(app.events.lines()[-1] == "exit", f"the last unit event should be the library release: {app.events.lines()[-3:]}")


sys.exit(harness.run(body))
