"""What the screen and the unit see when the unit answers the query with the wrong kind."""

import time

from harness import check

QUIET_S = 2.5


def check_rejected_and_retry(s, app, step, session=1):
    """The unit of session is rejected after its reply to the query; then "RETRY PART 1" opens
    it anew as session + 1."""
    app.wait_for_session(session, timeout=5)
    app.wait_for_close(session, timeout=5)
    # Nothing may follow the rejection: no frame, no new open, until the user retries.
    time.sleep(QUIET_S)
    commands = app.commands(session)
    check(commands and set(commands) == {1}, f"session {session} should get only the query, got {commands}")
    check(app.session_report(session)["erased"] == 0, "a rejected unit must not be erased")
    check(app.events.count(r"open .*") == session, f"no attempt may follow by itself: {app.events.lines()}")

    app.wait_for_screen(step, lambda shot: shot.shows_step("red", error_line=True))

    app.click_step_button("RETRY PART 1")
    opened = app.wait_for_session(session + 1, timeout=5)
    check(opened == session + 1, f"the retry should be open call {session + 1}, was {opened}")
