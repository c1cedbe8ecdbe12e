"""A unit of another kind: the wrong-device step, nothing sent after its reply to the query, and
"RETRY PART 1" as the only way on, each time a fresh attempt with a new open."""

import sys

import harness
from wrong_unit import check_rejected_and_retry


def body(s):
    app = s.launch("device_kind=3")
    app.start_part1()
    check_rejected_and_retry(s, app, "wrong-device")
    check_rejected_and_retry(s, app, "wrong-device-again", session=2)


sys.exit(harness.run(body))
