"""No unit for about 8 s: an open attempt about every 2 s, "RETRY PART 1" with its error line, and
the update starting by itself, without a click, once the unit is there."""

import sys

import harness
from harness import check

ABSENT_OPENS = 4


def body(s):
    app = s.launch(f"absent_opens={ABSENT_OPENS}")
    app.start_part1()

    app.events.wait_for(r"open 1 absent", 3)
    waiting = app.wait_for_screen("part1-waiting", lambda shot: shot.shows_step("red"))
    app.events.wait_for(r"open 2 absent", 4)
    retry = app.wait_for_screen("part1-unable-to-connect", lambda shot: shot.shows_step("red", error_line=True))
    check(retry.caption_width() != waiting.caption_width(), '"RETRY PART 1" replaces "UPDATE PART 1"')

    app.wait_for_session(1, timeout=4 * ABSENT_OPENS)
    opens = [t for t, _ in app.events.matching(r"open \d+ (absent|ok session=1)")]
    gaps = [round(b - a, 2) for a, b in zip(opens, opens[1:])]
    s.note(f"seconds between open attempts: {gaps}")
    check(len(opens) == ABSENT_OPENS + 1, f"expected {ABSENT_OPENS} failed attempts, then the unit: {app.events.lines()}")
    check(all(1.7 <= gap <= 2.8 for gap in gaps), f"attempts should come about every 2 s: {gaps}")

    app.wait_for_programming(1, 20, timeout=5)
    check(app.commands(1)[:2] == [1, 2], f"the update starts with query and erase: {app.commands(1)[:3]}")
    app.wait_for_screen("part1-updating", lambda shot: shot.shows_transfer("red"))


sys.exit(harness.run(body))
