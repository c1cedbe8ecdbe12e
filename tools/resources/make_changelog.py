#!/usr/bin/env python3
"""Writes resources/changelog.txt, the unit's firmware history shown in the change-log window.

Entries run newest first: a header line, its item lines, one empty line before the next entry
and two before the oldest. Lines are joined with CR LF and the text has no final line end, as
the window shows it verbatim. The form is checked before anything is written.
"""

import sys

from resource_file import write_checked

ENTRIES = [
    ("* version 1.7 - 02/06/2022", [
        "Smoother peak hold release on the main display.",
    ]),
    ("* version 1.6 - 18/11/2021", [
        "Added copy and swap to the preset menu.",
        "Knob acceleration can be switched off.",
        "Calibration data is checked at every start-up; if it is damaged, the factory values are restored and a warning remains on the display until recalibration.",
        "Fixed display flicker when switching meter views.",
    ]),
    ("* version 1.51 - 19/05/2021 (still appears as 1.5)", [
        "Fixed a rare lock-up when ENGAGE was pressed during a preset recall.",
    ]),
    ("* version 1.5 - 02/12/2020", [
        "New short-term loudness meter mode.",
        "Adjustable display brightness.",
        "Preset names of up to 16 characters.",
        "Minor fixes in preset recall.",
    ]),
    ("* version 1.4 - 26/08/2020", [
        "True peak metering with 4x oversampling.",
        "Meter ballistics follow the selected standard (IEC or VU).",
        "Reference level calibration in 0.1 dB steps.",
        "ENGAGE can be set to momentary or latching.",
        "Faster start-up.",
        "Minor fixes.",
    ]),
    ("* version A1.3/B1.0 - 09/06/2020", [
        "Main (A) and control (B) firmware are updated together over USB.",
        "Input gain calibration for both channels.",
        "P1 and P2 knobs select meter view and preset.",
        "Firmware versions shown at start-up.",
    ]),
]

SIZE = 1212
LINES = 32
LONGEST = 156
ITEMS = [1, 4, 1, 4, 6, 4]


def compose():
    lines = []
    for index, (header, items) in enumerate(ENTRIES):
        if index:
            lines += [""] * (2 if index == len(ENTRIES) - 1 else 1)
        lines.append(header)
        lines += ["- " + item for item in items]
    return "\r\n".join(lines).encode("ascii")


def problems_with(data):
    lines = data.decode("ascii").split("\r\n")
    found = {
        "size": len(data),
        "lines": len(lines),
        "longest line": max(map(len, lines)),
        "item lines per entry": [len(items) for _, items in ENTRIES],
    }
    wanted = {"size": SIZE, "lines": LINES, "longest line": LONGEST, "item lines per entry": ITEMS}
    return [f"{key}: {found[key]}, expected {wanted[key]}" for key in wanted if found[key] != wanted[key]]


def main():
    data = compose()
    return write_checked("changelog.txt", data, problems_with(data))


if __name__ == "__main__":
    sys.exit(main())
