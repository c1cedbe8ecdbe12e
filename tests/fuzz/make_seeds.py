#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus: small inputs that already walk the exchange and the
reader's odd corners, so the fuzzer starts from deep paths instead of finding them by chance.
Run from anywhere; rewrites corpus/DeviceReports and corpus/HexImage."""
import binascii
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
FRAMING = (0x01, 0x04, 0x10)

# Set-up byte of DeviceReports: image in bits 0-1, command 1 transmissions - 1 in bits 2-6.
SHORT, COMP, MAIN, NO_IMAGE = range(4)
READ_ERROR, NOTHING_QUEUED = 0xFF, 0xFE


def setup(image, transmissions=30):
    return bytes([image | ((transmissions - 1) << 2)])


def frame(payload):
    crc = binascii.crc_hqx(bytes(payload), 0)
    body = list(payload) + [crc & 0xFF, crc >> 8]
    wire = [0x01]
    for byte in body:
        if byte in FRAMING:
            wire.append(0x10)
        wire.append(byte)
    return bytes(wire + [0x04])


def report(data):
    assert len(data) <= 245
    return bytes([len(data)]) + bytes(data)


def split(data, size):
    return b"".join(report(data[i:i + size]) for i in range(0, len(data), size))


def device_reports():
    good = [frame([1, 2, 1]), frame([2]), frame([3]), frame([3]), frame([3])]
    noise = bytes([0x55, 0xAA, 0x00, 0x7F])
    return {
        "whole_short_image": setup(SHORT) + b"".join(report(f) for f in good),
        "byte_by_byte": setup(SHORT) + b"".join(split(f, 1) for f in good),
        "escape_across_reports": setup(SHORT) + report(b"\x01\x10") + report(b"\x01\x02\x10\x01\x73\x41\x04")
        + b"".join(report(f) for f in good[1:]),
        "noise_between_frames": setup(SHORT) + b"".join(report(noise) + report(f) for f in good),
        "bad_crc_then_good": setup(SHORT) + report(b"\x01\x01\x02\x01\x00\x00\x04") + report(good[0]),
        "oversized_reports": setup(SHORT) + report(good[0] + bytes(99 - len(good[0])))
        + report(good[1] + bytes(100 - len(good[1]))) + report(bytes(245)),
        "read_errors_and_silence": setup(SHORT) + bytes([READ_ERROR, NOTHING_QUEUED]) + report(good[0])
        + bytes([READ_ERROR]) + report(good[1]),
        "time_out_then_late_reply": setup(SHORT, 1) + bytes([NOTHING_QUEUED] * 3) + b"".join(report(f) for f in good),
        "wrong_device": setup(COMP) + report(frame([1, 3, 2])),
        "wrong_bootloader": setup(MAIN) + report(frame([1, 2, 2])),
        "no_image_selected": setup(NO_IMAGE) + report(frame([1, 2, 1])) + report(frame([2])),
        "verify_and_unknown_codes": setup(COMP) + report(frame([4, 0, 0])) + report(frame([4, 0xFF, 0x0A]))
        + report(frame([0])) + report(frame([5])) + report(frame([1])),
        "duplicate_erase_reply": setup(COMP) + report(frame([1, 2, 2])) + report(frame([2]))
        + report(frame([3])) * 3 + report(frame([2])) + report(frame([3])),
        "long_collection": setup(SHORT) + report(bytes([0x20] * 200)) + report(bytes([0x20] * 53) + b"\x04"),
    }


def hex_images():
    comp = (HERE.parents[1] / "resources" / "comp_image.hex").read_bytes()
    return {
        "comp_image_start": b"".join(comp.splitlines(keepends=True)[:12]),
        "odd_lines": b":020000040000fa\r\n\r\n:\r\n:0\r\n:0g\r\nno colon\r\n:zz00\n:0400000001020304f2\r:00000001ff",
        "zero_bytes": b":02\x0000040000fa\x00:00000001ff\x00",
        "long_records": b":" + b"ab" * 500 + b"\r\n:" + b"cd" * 498 + b"\r\n:00000001ff\r\n",
        "one_huge_line": b":" + b"0" * 3000,
        "non_ascii": b":02\xc3\xa90000fa\r\n:\xf0\x9f\x98\x80\r\n:\xff\xfe\r\n",
    }


def write(name, seeds):
    directory = HERE / "corpus" / name
    directory.mkdir(parents=True, exist_ok=True)
    for old in directory.iterdir():
        old.unlink()
    for seed, data in seeds.items():
        (directory / seed).write_bytes(data)


if __name__ == "__main__":
    write("DeviceReports", device_reports())
    write("HexImage", hex_images())
