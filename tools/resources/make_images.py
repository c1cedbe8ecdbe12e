#!/usr/bin/env python3
"""Writes the two firmware images the updater carries: resources/main_image.hex and
resources/comp_image.hex.

The unit's real firmware is not ours to ship, so the images are stand-ins with exactly the
shape of the real ones: the same record layout, counts, sizes and address map, filled with
pseudo-random bytes. The layout follows what the unit's toolchain emits: every section opens
with an extended linear address pair (0x0000, then the section's upper address), records are
aligned to 16 bytes, a section running into the next 64 KB gets one extra type-04 record, and
the boot block comes first as four 4-byte words.

Output is deterministic (own PRNG, fixed seeds). Every image is checked against its expected
figures by a separate parser before anything is written; `--check` only checks the files on disk.
"""

import argparse
import math
import sys
from dataclasses import dataclass

from resource_file import RESOURCES, report, write_checked

SEGMENT = 0x10000
MASK64 = (1 << 64) - 1


class SplitMix64:
    """Small PRNG whose sequence never changes with the Python version."""

    def __init__(self, seed):
        self.state = seed & MASK64

    def next64(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        return z ^ (z >> 31)

    def uniform(self):
        """A float in (0, 1]."""
        return ((self.next64() >> 11) + 1) / float(1 << 53)

    def below(self, n):
        return self.next64() % n

    def bytes(self, count):
        out = bytearray()
        while len(out) < count:
            out += self.next64().to_bytes(8, "little")
        return bytes(out[:count])


@dataclass(frozen=True)
class Layout:
    """How an image is laid out; the generator derives every section from this."""

    file_name: str
    seed: int
    boot_address: int
    low: int  # first byte of the application range
    high: int  # last byte of the application range
    sections: int  # sections in the application range
    data_bytes: int  # all data bytes, boot block included
    data_records: int
    falls_back: int  # places where the next section starts below the previous one


@dataclass(frozen=True)
class Figures:
    """What an image must look like from the outside; checked by an independent parser."""

    size: int
    lines: int
    data_records: int
    address_records: int
    data_bytes: int
    uppers: frozenset
    ranges: tuple  # ((first, last), ...) of programmed bytes
    pairs: int
    singles: int
    falls_back: int


MAIN = (
    Layout("main_image.hex", 0x0D1A7, 0x1FC02FF0, 0x1D009180, 0x1D079527, 131, 455724, 28540, 2),
    Figures(1287088, 28812, 28540, 271, 455724,
            frozenset([0x0000, 0x1FC0] + list(range(0x1D00, 0x1D08))),
            ((0x1FC02FF0, 0x1FC02FFF), (0x1D009180, 0x1D079527)), 132, 7, 2),
)
COMP = (
    Layout("comp_image.hex", 0xC03B, 0x1FC00BF0, 0x1D009180, 0x1D0109EF, 98, 26816, 1716, 1),
    Figures(79336, 1916, 1716, 199, 26816,
            frozenset([0x0000, 0x1FC0, 0x1D00, 0x1D01]),
            ((0x1FC00BF0, 0x1FC00BFF), (0x1D009180, 0x1D0109EF)), 99, 1, 1),
)

BOOT_BLOCK = 16
BOOT_WORD = 4
MIN_SECTION = 32
MIN_GAP = 4


# ---------------------------------------------------------------- layout of the sections

def spread(total_units, count, minimum, rng, skew):
    """Splits total_units into count random parts of at least minimum units each."""
    weights = [(-math.log(rng.uniform())) ** skew for _ in range(count)]
    spare = total_units - minimum * count
    scale = spare / sum(weights)
    parts = [minimum + int(w * scale) for w in weights]
    for i in range(total_units - sum(parts)):
        parts[i % count] += 1
    return parts


def tail_loss(start, length):
    """Bytes by which a section's records fall short of full 16-byte records."""
    end = start + length
    return start % 16 + (16 - end % 16) % 16


class SectionPlan:
    """Sections as (start, length) in ascending order, with the gaps between them."""

    def __init__(self, layout, rng):
        span = layout.high + 1 - layout.low
        app_bytes = layout.data_bytes - BOOT_BLOCK
        self.lengths = [4 * u for u in spread(app_bytes // 4, layout.sections, MIN_SECTION // 4, rng, 2.5)]
        self.gaps = [4 * u for u in spread((span - app_bytes) // 4, layout.sections - 1, MIN_GAP // 4, rng, 1.5)]
        self.low = layout.low
        self.high = layout.high
        self.rng = rng

    def starts(self):
        starts, address = [], self.low
        for i, length in enumerate(self.lengths):
            starts.append(address)
            address += length + (self.gaps[i] if i < len(self.gaps) else 0)
        return starts

    def loss(self):
        return sum(tail_loss(s, n) for s, n in zip(self.starts(), self.lengths))

    def boundaries_missed(self):
        """64 KB boundaries inside the range that no section runs across."""
        missed = 0
        for boundary in range(self.low - self.low % SEGMENT + SEGMENT, self.high + 1, SEGMENT):
            if not any(s < boundary < s + n for s, n in zip(self.starts(), self.lengths)):
                missed += 1
        return missed

    def cost(self, target_loss):
        return abs(self.loss() - target_loss) + 1000 * self.boundaries_missed()

    def random_move(self):
        """A change that keeps the total of data and gaps and the first and last byte.

        Either 4 bytes pass from the end of one section to the end of another (through the gaps
        behind them), or a section slides by 4 bytes between its two gaps."""
        count = len(self.lengths)
        if self.rng.below(2) == 0:
            i, j = self.rng.below(count - 1), self.rng.below(count - 1)
            if i == j or self.lengths[i] - 4 < MIN_SECTION or self.gaps[j] - 4 < MIN_GAP:
                return None
            changes = [(self.lengths, i, -4), (self.gaps, i, 4), (self.lengths, j, 4), (self.gaps, j, -4)]
        else:
            i = 1 + self.rng.below(count - 2)
            step = 4 if self.rng.below(2) == 0 else -4
            if self.gaps[i - 1] + step < MIN_GAP or self.gaps[i] - step < MIN_GAP:
                return None
            changes = [(self.gaps, i - 1, step), (self.gaps, i, -step)]
        return changes

    @staticmethod
    def apply(changes, sign):
        for values, index, delta in changes:
            values[index] += sign * delta

    def settle(self, target_loss):
        """Hill-climbs until the records' shortfall is exact and every 64 KB boundary is crossed."""
        cost = self.cost(target_loss)
        while cost:
            changes = self.random_move()
            if changes is None:
                continue
            self.apply(changes, 1)
            new_cost = self.cost(target_loss)
            if new_cost <= cost:
                cost = new_cost
            else:
                self.apply(changes, -1)

    def sections(self):
        return list(zip(self.starts(), self.lengths))


def emission_order(sections, falls_back):
    """Ascending runs of sections, the runs emitted from the highest down, so that the start
    address drops exactly falls_back times."""
    runs = falls_back + 1
    cuts = [len(sections) * k // runs for k in range(runs + 1)]
    order = []
    for k in reversed(range(runs)):
        order += sections[cuts[k]:cuts[k + 1]]
    return order


# ---------------------------------------------------------------- HEX text

def record(count, offset, kind, payload):
    body = bytes([count, offset >> 8, offset & 0xFF, kind]) + payload
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex() + "\r\n"


def upper_record(upper):
    return record(2, 0, 4, upper.to_bytes(2, "big"))


def section_records(start, length, rng):
    lines = [upper_record(0), upper_record(start >> 16)]
    address, end, upper = start, start + length, start >> 16
    while address < end:
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(upper_record(upper))
        count = min(16 - address % 16, end - address)
        lines.append(record(count, address & 0xFFFF, 0, rng.bytes(count)))
        address += count
    return lines


def boot_records(address, rng):
    lines = [upper_record(0), upper_record(address >> 16)]
    for word in range(address, address + BOOT_BLOCK, BOOT_WORD):
        lines.append(record(BOOT_WORD, word & 0xFFFF, 0, rng.bytes(BOOT_WORD)))
    return lines


def build_image(layout):
    plan = SectionPlan(layout, SplitMix64(layout.seed))
    boot_loss = (BOOT_BLOCK // BOOT_WORD) * (16 - BOOT_WORD)
    plan.settle(16 * layout.data_records - layout.data_bytes - boot_loss)
    data_rng = SplitMix64(layout.seed ^ 0x5EED)
    lines = boot_records(layout.boot_address, data_rng)
    for start, length in emission_order(plan.sections(), layout.falls_back):
        lines += section_records(start, length, data_rng)
    lines.append(record(0, 0, 1, b""))
    return "".join(lines).encode("ascii")


# ---------------------------------------------------------------- independent check

def parse_records(data):
    """Parses the text strictly; returns [(count, offset, kind, payload)]."""
    text = data.decode("ascii")
    if not text.endswith("\r\n"):
        raise ValueError("last line has no CR LF")
    lines = text[:-2].split("\r\n")
    records = []
    for number, line in enumerate(lines, 1):
        if not (11 <= len(line) <= 43 and line[0] == ":" and len(line) % 2 == 1):
            raise ValueError(f"line {number}: not a record: {line!r}")
        if any(c not in "0123456789abcdef" for c in line[1:]):
            raise ValueError(f"line {number}: not lower-case hex")
        raw = bytes.fromhex(line[1:])
        if sum(raw) & 0xFF:
            raise ValueError(f"line {number}: bad checksum")
        if raw[0] != len(raw) - 5:
            raise ValueError(f"line {number}: byte count does not match")
        records.append((raw[0], (raw[1] << 8) | raw[2], raw[3], raw[4:-1]))
    return lines, records


def check_image(data, figures, boot_address):
    """Returns a list of differences between the image and its figures (empty if it matches)."""
    problems = []

    def expect(what, got, wanted):
        if got != wanted:
            problems.append(f"{what}: {got!r}, expected {wanted!r}")

    lines, records = parse_records(data)
    expect("size", len(data), figures.size)
    expect("lines", len(lines), figures.lines)
    expect("first lines", lines[:2], [":020000040000fa", ":020000041fc01b"])
    expect("last line", lines[-1], ":00000001ff")
    kinds = [r[2] for r in records]
    expect("types", sorted(set(kinds)), [0, 1, 4])
    expect("data records", kinds.count(0), figures.data_records)
    expect("address records", kinds.count(4), figures.address_records)
    expect("end records", kinds.count(1), 1)
    expect("data byte counts", {r[0] for r in records if r[2] == 0} <= {4, 8, 12, 16}, True)
    expect("address record counts", {r[0] for r in records if r[2] != 0}, {0, 2})

    (boot_first, boot_last), (app_first, app_last) = figures.ranges
    upper, uppers, zeros, pairs, singles, falls = 0, set(), 0, 0, 0, 0
    spans, previous_end, previous_app, wanted_next = [], None, None, None
    for index, (count, offset, kind, payload) in enumerate(records):
        if kind == 4:
            upper = int.from_bytes(payload, "big")
            uppers.add(upper)
            after_zero = records[index - 1][2] == 4 and records[index - 1][3] == bytes(2)
            if upper == 0:
                zeros += 1
            elif after_zero:
                pairs += 1
            else:
                singles += 1
                expect("single where data crosses 64 KB", previous_end, upper << 16)
                wanted_next = upper << 16
            continue
        if kind != 0:
            continue
        address = (upper << 16) | offset
        if wanted_next is not None:
            expect("data right after a single", address, wanted_next)
            wanted_next = None
        expect("alignment", address % 4, 0)
        expect("within 64 KB", offset + count <= SEGMENT, True)
        if address < boot_first:
            falls += previous_app is not None and address < previous_app
            previous_app = address
        previous_end = address + count
        spans.append((address, previous_end))

    expect("upper addresses", uppers, set(figures.uppers))
    expect("0x0000 records, each opening a pair", zeros, figures.pairs)
    expect("pairs", pairs, figures.pairs)
    expect("singles", singles, figures.singles)
    expect("fall-backs", falls, figures.falls_back)
    expect("data bytes", sum(e - s for s, e in spans), figures.data_bytes)
    expect("boot block", spans[:4], [(boot_address + k, boot_address + k + 4) for k in range(0, 16, 4)])
    spans.sort()
    expect("overlaps", any(a[1] > b[0] for a, b in zip(spans, spans[1:])), False)
    boot = [s for s in spans if s[0] >= boot_first]
    app = [s for s in spans if s[0] < boot_first]
    expect("boot range", (boot[0][0], boot[-1][1] - 1), (boot_first, boot_last))
    expect("application range", (app[0][0], app[-1][1] - 1), (app_first, app_last))
    expect("gaps in application range", sum(e - s for s, e in app) < app_last + 1 - app_first, True)
    return problems


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="only check the images in resources/")
    args = parser.parse_args()
    status = 0
    for layout, figures in (MAIN, COMP):
        data = (RESOURCES / layout.file_name).read_bytes() if args.check else build_image(layout)
        try:
            problems = check_image(data, figures, layout.boot_address)
        except (ValueError, UnicodeDecodeError) as error:
            problems = [str(error)]
        if args.check:
            status |= report(layout.file_name, problems)
        else:
            status |= write_checked(layout.file_name, data, problems)
    return status


if __name__ == "__main__":
    sys.exit(main())
