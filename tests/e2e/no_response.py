"""A unit that stops answering: the query goes out 30 times, about 200 ms apart, then nothing more;
the transfer screen stays, showing that the device gave no response, and offers no button."""

import sys

import harness
from harness import check

QUERY_TRANSMISSIONS = 30


def body(s):
    app = s.launch("silent_after=0")
    app.start_part1()
    app.wait_for_session(1, timeout=5)
    checking = app.wait_for_screen("checking-device", lambda shot: shot.shows_transfer("red"))

    app.events.wait_for(r"frame session=1 cmd=1", 10, count=QUERY_TRANSMISSIONS)
    times = [t for t, _ in app.events.matching(r"frame session=1 cmd=1")]
    span = times[-1] - times[0]
    s.note(f"{len(times)} queries over {span:.2f} s")
    check(5.0 <= span <= 7.0, f"30 queries about 200 ms apart should span about 5.8 s, not {span:.2f} s")

    silent = app.wait_for_screen(
        "no-response",
        lambda shot: shot.shows_transfer("red") and shot.body_text_width() > checking.body_text_width() + 50)
    s.note(f"status text {checking.body_text_width()} px wide, then {silent.body_text_width()} px")
    check(app.commands(1) == [1] * QUERY_TRANSMISSIONS,
          f"nothing may follow the unanswered queries: {app.commands(1)[QUERY_TRANSMISSIONS - 2:]}")
    check(app.events.count(r"open .*") == 1 and app.running(), "the program stays with the silent unit")


sys.exit(harness.run(body))
