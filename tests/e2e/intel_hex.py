"""Intel HEX images as the flash content they describe, to compare with what the simulated unit programmed."""

DATA, END_OF_FILE, EXTENDED_SEGMENT, START_SEGMENT, EXTENDED_LINEAR, START_LINEAR = range(6)


class HexError(ValueError):
    pass


def parse_record(line, number):
    if not line.startswith(":"):
        raise HexError(f"line {number}: no start colon")
    raw = bytes.fromhex(line[1:])
    if len(raw) < 5 or len(raw) != raw[0] + 5:
        raise HexError(f"line {number}: length does not match its byte count")
    if sum(raw) & 0xFF:
        raise HexError(f"line {number}: bad checksum")
    return raw[3], (raw[1] << 8) | raw[2], raw[4:-1]


def read_lines(path):
    with open(path, "r", newline="") as f:
        lines = f.read().split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def program_frames(path):
    """How many program frames carry the image: two records each, except that an address
    record behind a data record opens the next frame (a resent frame must not move its data)."""
    kinds = [parse_record(line, number)[0] for number, line in enumerate(read_lines(path), 1)]
    frames, i = 0, 0
    while i < len(kinds):
        first = kinds[i]
        i += 1
        frames += 1
        if i < len(kinds) and not (first == DATA and kinds[i] in (EXTENDED_LINEAR, EXTENDED_SEGMENT)):
            i += 1
    return frames


def load_flash(path):
    """{address: byte} of every data record, at the absolute address the extended records give."""
    flash = {}
    base = 0
    for number, line in enumerate(read_lines(path), 1):
        kind, offset, data = parse_record(line, number)
        if kind == DATA:
            for i, byte in enumerate(data):
                flash[base + offset + i] = byte
        elif kind == EXTENDED_LINEAR:
            base = int.from_bytes(data, "big") << 16
        elif kind == EXTENDED_SEGMENT:
            base = int.from_bytes(data, "big") << 4
        elif kind == END_OF_FILE:
            break
    return flash


def runs(flash):
    """The flash as (start address, bytes) runs of contiguous addresses, ascending."""
    result = []
    for address in sorted(flash):
        if result and result[-1][0] + len(result[-1][1]) == address:
            result[-1][1].append(flash[address])
        else:
            result.append((address, bytearray([flash[address]])))
    return [(start, bytes(data)) for start, data in result]


def first_difference(expected, actual):
    """A short description of where two run lists first differ, or None when they are equal."""
    if expected == actual:
        return None
    for i, (e, a) in enumerate(zip(expected, actual)):
        if e != a:
            if e[0] != a[0]:
                return f"run {i} starts at {a[0]:#010x}, expected {e[0]:#010x}"
            at = next((j for j, (x, y) in enumerate(zip(e[1], a[1])) if x != y), min(len(e[1]), len(a[1])))
            return (f"run {i} at {e[0]:#010x}: first difference at {e[0] + at:#010x} "
                    f"(lengths {len(a[1])}, expected {len(e[1])})")
    return f"{len(actual)} runs, expected {len(expected)}"
