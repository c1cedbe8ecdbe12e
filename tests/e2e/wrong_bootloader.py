"""The right unit with the part 2 bootloader running during part 1: the wrong-bootloader step,
nothing sent after its reply to the query; "RETRY PART 1" then finds the part 1 bootloader
and the update goes ahead."""

import sys

import harness
from harness import check
from wrong_unit import check_rejected_and_retry


def body(s):
    app = s.launch("bootloader_kinds=2,1")
    app.start_part1()
    check_rejected_and_retry(s, app, "wrong-bootloader")
    app.wait_for_programming(2, 20, timeout=5)
    check(app.commands(2)[:2] == [1, 2], f"the retry queries, then erases: {app.commands(2)[:3]}")
    app.wait_for_screen("retry-updating", lambda shot: shot.shows_transfer("red"))


sys.exit(harness.run(body))
