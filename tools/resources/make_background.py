#!/usr/bin/env python3
"""Writes resources/background.png, the 600 x 400 picture behind the updater's main screen.

A calm, dark blue-grey field: a soft glow behind the logo, a few faint flowing signal lines
across the lower half and a gentle vignette, so the white logo, the white title and the dark
text panel drawn over it stay readable. A little deterministic grain keeps the gradients free
of banding. Written as 8-bit RGBA, non-interlaced, with zlib only.
"""

import math
import struct
import sys
import zlib

from resource_file import write_checked

WIDTH, HEIGHT = 600, 400

TOP = (14, 20, 30)
BOTTOM = (28, 40, 54)
GLOW = (50, 74, 102)
GLOW_CENTRE = (300.0, 78.0)
GLOW_RADII = (330.0, 170.0)
LINE = (110, 170, 215)


class Wave:
    """A faint line drawn as a sum of two sines, fading in from the left and out to the right."""

    def __init__(self, base, amplitude, period, phase, ripple, strength, width):
        self.base, self.amplitude, self.period = base, amplitude, period
        self.tilt = -0.2
        self.phase, self.ripple = phase, ripple
        self.strength, self.width = strength, width

    def centre_and_slope(self, x):
        a = 2 * math.pi * x / self.period + self.phase
        b = 2 * math.pi * x / (self.period * 0.37) + 2 * self.phase
        y = self.base + self.tilt * (x - WIDTH / 2) + self.amplitude * math.sin(a) + self.ripple * math.sin(b)
        dy = self.tilt + (self.amplitude * math.cos(a) * 2 * math.pi / self.period
              + self.ripple * math.cos(b) * 2 * math.pi / (self.period * 0.37))
        return y, dy

    def envelope(self, x):
        return math.sin(math.pi * (x + 40) / (WIDTH + 80)) ** 1.5


WAVES = [
    Wave(330, 34, 520, 0.3, 5, 0.30, 1.1),
    Wave(342, 42, 610, 1.4, 4, 0.24, 1.0),
    Wave(326, 26, 450, 2.6, 6, 0.18, 0.9),
    Wave(356, 50, 700, 4.1, 3, 0.14, 1.4),
    Wave(316, 22, 390, 5.2, 7, 0.10, 0.8),
]


# Soft out-of-focus specks drifting along the lines: (x, y, radius, strength).
SPECKS = [
    (34, 352, 6, 0.16), (92, 331, 3, 0.22), (141, 371, 9, 0.10), (188, 318, 4, 0.18),
    (247, 352, 12, 0.07), (318, 296, 5, 0.15), (377, 330, 3, 0.20), (436, 281, 10, 0.08),
    (489, 262, 4, 0.20), (531, 300, 7, 0.12), (566, 247, 3, 0.22), (584, 284, 11, 0.08),
    (21, 388, 4, 0.14), (271, 389, 5, 0.12), (452, 381, 8, 0.08), (118, 300, 5, 0.10),
]


def speck_light(x, y):
    light = 0.0
    for sx, sy, radius, strength in SPECKS:
        d2 = ((x - sx) ** 2 + (y - sy) ** 2) / (radius * radius)
        if d2 < 4:
            light += strength * math.exp(-1.5 * d2 * d2)
    return light


def grain(x, y):
    """Deterministic noise in [-1, 1), triangular, from a pixel hash."""
    h = (x * 73856093) ^ (y * 19349663) ^ 0x5BD1E995
    h = (h ^ (h >> 13)) * 0x5BD1E995 & 0xFFFFFFFF
    h ^= h >> 15
    return ((h & 0xFF) + ((h >> 8) & 0xFF)) / 255.0 - 1.0


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def field(x, y):
    """Gradient, glow behind the logo and vignette, as floating-point RGB."""
    t = y / (HEIGHT - 1)
    colour = mix(TOP, BOTTOM, t * t * (3 - 2 * t))
    dx = (x - GLOW_CENTRE[0]) / GLOW_RADII[0]
    dy = (y - GLOW_CENTRE[1]) / GLOW_RADII[1]
    glow = math.exp(-2.2 * (dx * dx + dy * dy))
    colour = mix(colour, GLOW, 0.55 * glow)
    vx, vy = (x / (WIDTH - 1) - 0.5) * 2, (y / (HEIGHT - 1) - 0.5) * 2
    vignette = 1.0 - 0.28 * (vx * vx * 0.6 + vy * vy) ** 1.4
    return tuple(c * vignette for c in colour)


def wave_light(x, y, columns):
    light = 0.0
    for wave, (centre, slope, envelope) in zip(WAVES, columns):
        distance = abs(y - centre) / math.sqrt(1 + slope * slope)
        light += wave.strength * envelope * math.exp(-(distance / wave.width) ** 2)
        light += 0.25 * wave.strength * envelope * math.exp(-(distance / (wave.width * 9)) ** 2)
    return light


def render():
    columns = [[(*wave.centre_and_slope(x), wave.envelope(x)) for wave in WAVES] for x in range(WIDTH)]
    rows = []
    for y in range(HEIGHT):
        row = bytearray([0])  # filter: none
        for x in range(WIDTH):
            light = min(1.0, wave_light(x, y, columns[x]) + speck_light(x, y))
            colour = mix(field(x, y), LINE, light)
            noise = 1.2 * grain(x, y)
            row += bytes(max(0, min(255, round(c + noise))) for c in colour)
            row.append(255)
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, payload):
    return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))


def png(raw):
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)  # 8-bit RGBA, not interlaced
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    return write_checked("background.png", png(render()), [])


if __name__ == "__main__":
    sys.exit(main())
