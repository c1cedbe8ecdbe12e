#!/usr/bin/env python3
"""Writes resources/quindervale_logo.path, the maker's logo as JUCE serialized path data.

The logo is a round emblem, a sine trace in a ring, followed by the word QUINDERVALE in bold
geometric capitals centred on it. Nothing reaches the bottom of the logo but the emblem, at its
left, so the title drawn just below the logo's middle stays clear.

Every letter is a union of simple closed shapes (bars, slanted strokes, elliptic bowls with
holes); the path uses the non-zero winding rule, so overlapping shapes of the same direction
merge and holes run the other way.

The format is what juce::Path::writePathToStream writes and juce::Path::loadPathFromData reads:
a winding byte ('n'), then 'm' x y, 'l' x y, 'b' x1 y1 x2 y2 x3 y3 (little-endian 32-bit floats)
and 'c' per closed shape, then the end marker 'e'. Two zero bytes follow the end marker.
"""

import math
import struct
import sys

from resource_file import write_checked

CAP = 100.0  # cap height; y grows downwards as in JUCE
STEM = 17.0  # vertical stroke
BAR = 15.0  # horizontal stroke, a little lighter so the letters look even
SPACING = 11.0
RATIO = 0.221  # height : width of the whole logo, control points included
KAPPA = 0.5522847498  # cubic approximation of a quarter ellipse


class Contour:
    """A closed shape: a start point and segments ('l', p) or ('b', c1, c2, p)."""

    def __init__(self, start):
        self.start = start
        self.segments = []

    def line(self, p):
        self.segments.append(("l", p))
        return self

    def cubic(self, c1, c2, p):
        self.segments.append(("b", c1, c2, p))
        return self

    def end_points(self):
        return [self.start] + [segment[-1] for segment in self.segments]

    def reversed(self):
        points = self.end_points()
        result = Contour(points[-1])
        for i in reversed(range(len(self.segments))):
            segment = self.segments[i]
            if segment[0] == "l":
                result.line(points[i])
            else:
                result.cubic(segment[2], segment[1], points[i])
        return result

    def area(self):
        """Signed area of the shape (cubics sampled), positive when clockwise on screen."""
        samples, current = [self.start], self.start
        for segment in self.segments:
            if segment[0] == "l":
                samples.append(segment[1])
            else:
                samples += [bezier_point(current, *segment[1:], t / 8) for t in range(1, 9)]
            current = segment[-1]
        return 0.5 * sum(a[0] * b[1] - b[0] * a[1] for a, b in zip(samples, samples[1:] + samples[:1]))

    def points(self):
        result = [self.start]
        for segment in self.segments:
            result += segment[1:]
        return result


def bezier_point(p0, p1, p2, p3, t):
    u = 1 - t
    return tuple(u ** 3 * a + 3 * u * u * t * b + 3 * u * t * t * c + t ** 3 * d
                 for a, b, c, d in zip(p0, p1, p2, p3))


def polygon(*points):
    contour = Contour(points[0])
    for p in points[1:]:
        contour.line(p)
    return contour


def rect(x, y, w, h):
    return polygon((x, y), (x + w, y), (x + w, y + h), (x, y + h))


def quarter(contour, centre, rx, ry, from_angle, to_angle):
    """Appends a quarter of an ellipse, angles in multiples of 90 degrees (0 = right, 90 = down)."""
    cx, cy = centre
    a0, a1 = math.radians(from_angle), math.radians(to_angle)
    sign = 1 if to_angle > from_angle else -1
    p0 = (cx + rx * math.cos(a0), cy + ry * math.sin(a0))
    p3 = (cx + rx * math.cos(a1), cy + ry * math.sin(a1))
    t0 = (-rx * math.sin(a0) * sign, ry * math.cos(a0) * sign)
    t1 = (-rx * math.sin(a1) * sign, ry * math.cos(a1) * sign)
    contour.cubic((p0[0] + KAPPA * t0[0], p0[1] + KAPPA * t0[1]),
                  (p3[0] - KAPPA * t1[0], p3[1] - KAPPA * t1[1]), p3)
    return contour


def ellipse(centre, rx, ry):
    contour = Contour((centre[0] + rx, centre[1]))
    for angle in (0, 90, 180, 270):
        quarter(contour, centre, rx, ry, angle, angle + 90)
    return contour


def slanted(top_left_x, top_y, bottom_left_x, bottom_y, width):
    """A stroke of constant horizontal width between two heights."""
    return polygon((top_left_x, top_y), (top_left_x + width, top_y),
                   (bottom_left_x + width, bottom_y), (bottom_left_x, bottom_y))


def diagonal_width(dx, dy):
    """Horizontal width that gives a slanted stroke the weight of a vertical one."""
    return STEM * math.hypot(dx, dy) / dy


# ---------------------------------------------------------------- letters
# Each returns (solids, holes, width) with the letter's left edge at x = 0.

def letter_q():
    w, overshoot = 100.0, 1.5
    centre, rx, ry = (w / 2, CAP / 2), w / 2, CAP / 2 + overshoot
    tail = slanted(w * 0.52, CAP * 0.62, w * 0.80, CAP + 8, diagonal_width(0.28 * w, 0.38 * CAP + 8))
    return [ellipse(centre, rx, ry), tail], [ellipse(centre, rx - STEM * 1.08, ry - BAR * 1.05)], w


def letter_u():
    w = 74.0
    rx, ry = w / 2, w * 0.46
    turn = CAP - ry
    c = Contour((0, 0)).line((0, turn))
    quarter(c, (rx, turn), rx, ry, 180, 90)
    quarter(c, (rx, turn), rx, ry, 90, 0)
    c.line((w, 0)).line((w - STEM, 0)).line((w - STEM, turn))
    quarter(c, (rx, turn), rx - STEM, ry - BAR, 0, 90)
    quarter(c, (rx, turn), rx - STEM, ry - BAR, 90, 180)
    c.line((STEM, 0))
    return [c], [], w


def letter_i():
    return [rect(0, 0, STEM, CAP)], [], STEM


def letter_n():
    w = 78.0
    slant = diagonal_width(w - STEM, CAP)
    return [rect(0, 0, STEM, CAP), rect(w - STEM, 0, STEM, CAP),
            slanted(0, 0, w - slant, CAP, slant)], [], w


def bowl(x, top, bottom, w, straight):
    """A D-shaped bowl: a straight left side and an elliptic right side, with its hole."""
    ry = (bottom - top) / 2
    rx = w - straight
    centre = (x + straight, top + ry)
    outer = Contour((x, top)).line((x + straight, top))
    quarter(outer, centre, rx, ry, 270, 360)
    quarter(outer, centre, rx, ry, 0, 90)
    outer.line((x, bottom))
    inner = Contour((x + STEM, top + BAR)).line((x + straight, top + BAR))
    quarter(inner, centre, rx - STEM * 1.05, ry - BAR, 270, 360)
    quarter(inner, centre, rx - STEM * 1.05, ry - BAR, 0, 90)
    inner.line((x + STEM, bottom - BAR))
    return outer, inner


def letter_d():
    w = 82.0
    outer, inner = bowl(0, 0, CAP, w, 30)
    return [outer], [inner], w


def letter_e():
    w = 60.0
    return [rect(0, 0, STEM, CAP), rect(0, 0, w, BAR), rect(0, (CAP - BAR) / 2, w - 6, BAR),
            rect(0, CAP - BAR, w, BAR)], [], w


def letter_r():
    w, bowl_bottom = 74.0, 58.0
    outer, inner = bowl(0, 0, bowl_bottom, w - 4, 30)
    leg_top = bowl_bottom - BAR
    slant = diagonal_width(w - 40, CAP - leg_top)
    leg = slanted(36 - slant / 2, leg_top, w - slant, CAP, slant)
    return [rect(0, 0, STEM, CAP), outer, leg], [inner], w


def letter_v():
    w = 88.0
    slant = diagonal_width(w / 2, CAP)
    return [slanted(0, 0, (w - slant) / 2, CAP, slant),
            slanted(w - slant, 0, (w - slant) / 2, CAP, slant)], [], w


def letter_a():
    w = 90.0
    slant = diagonal_width(w / 2, CAP)
    crossbar_y = CAP * 0.64
    return [slanted((w - slant) / 2, 0, 0, CAP, slant),
            slanted((w - slant) / 2, 0, w - slant, CAP, slant),
            rect(w * 0.22, crossbar_y, w * 0.56, BAR)], [], w


def letter_l():
    w = 56.0
    return [rect(0, 0, STEM, CAP), rect(0, CAP - BAR, w, BAR)], [], w


WORD = [letter_q, letter_u, letter_i, letter_n, letter_d, letter_e,
        letter_r, letter_v, letter_a, letter_l, letter_e]
KERNING = {(letter_v, letter_a): -16.0, (letter_r, letter_v): -10.0, (letter_a, letter_l): -4.0}


def translated(contour, dx, dy):
    moved = Contour((contour.start[0] + dx, contour.start[1] + dy))
    for segment in contour.segments:
        moved.segments.append((segment[0],) + tuple((x + dx, y + dy) for x, y in segment[1:]))
    return moved


def oriented(contour, clockwise):
    return contour if (contour.area() > 0) == clockwise else contour.reversed()


def word():
    contours, x, previous = [], 0.0, None
    for make in WORD:
        if previous:
            x += SPACING + KERNING.get((previous, make), 0.0)
        solids, holes, width = make()
        contours += [oriented(translated(c, x, 0), True) for c in solids]
        contours += [oriented(translated(c, x, 0), False) for c in holes]
        x += width
        previous = make
    return contours


# ---------------------------------------------------------------- emblem: a sine trace in a ring

def smooth_curve(contour, points):
    """Appends cubics through the points (Catmull-Rom tangents)."""
    for i in range(1, len(points)):
        p0, p1, p2 = points[max(i - 2, 0)], points[i - 1], points[i]
        p3 = points[min(i + 1, len(points) - 1)]
        c1 = (p1[0] + (p2[0] - p0[0]) / 6, p1[1] + (p2[1] - p0[1]) / 6)
        c2 = (p2[0] - (p3[0] - p1[0]) / 6, p2[1] - (p3[1] - p1[1]) / 6)
        contour.cubic(c1, c2, p2)


def sine_trace(centre, half_span, amplitude, thickness, samples=16):
    """One period of a sine, drawn as a band of even thickness; its ends reach into the ring."""
    cx, cy = centre
    reach = half_span + thickness / 2

    def point_and_normal(x):
        u = math.pi * (x - cx) / half_span
        slope = -amplitude * math.pi / half_span * math.cos(u)
        length = math.hypot(1, slope)
        return (x, cy - amplitude * math.sin(u)), (-slope / length, 1 / length)

    xs = [cx - reach + 2 * reach * i / samples for i in range(samples + 1)]
    sides = {+1: [], -1: []}
    for x in xs:
        (px, py), (nx, ny) = point_and_normal(x)
        for side in sides:
            sides[side].append((px + side * nx * thickness / 2, py + side * ny * thickness / 2))
    contour = Contour(sides[-1][0])
    smooth_curve(contour, sides[-1])
    contour.line(sides[+1][-1])
    smooth_curve(contour, sides[+1][::-1])
    return oriented(contour, True)


def emblem(diameter):
    radius = diameter / 2
    ring = 0.085 * diameter
    centre = (radius, radius)
    inner = radius - ring
    return [oriented(ellipse(centre, radius, radius), True),
            oriented(ellipse(centre, inner, inner), False),
            sine_trace(centre, inner, 0.42 * inner, ring)]


def bounds(contours):
    points = [p for c in contours for p in c.points()]
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def logo():
    """The emblem, then the word centred on it; the emblem's size is chosen so the bounds meet RATIO."""
    letters = word()
    low, high = CAP, 4 * CAP
    for _ in range(60):
        diameter = (low + high) / 2
        gap = 0.16 * diameter
        contours = emblem(diameter) + [translated(c, diameter + gap, (diameter - CAP) / 2) for c in letters]
        x0, y0, x1, y1 = bounds(contours)
        low, high = (diameter, high) if (y1 - y0) / (x1 - x0) < RATIO else (low, diameter)
    return contours


# ---------------------------------------------------------------- serialisation

def serialise(contours):
    out = bytearray(b"n")
    for contour in contours:
        out += b"m" + struct.pack("<2f", *contour.start)
        for segment in contour.segments:
            out += segment[0].encode() + b"".join(struct.pack("<2f", *p) for p in segment[1:])
        out += b"c"
    return bytes(out + b"e\0\0")


def check(data):
    """Reads the data back as JUCE would and returns (markers, bounds ratio)."""
    sizes = {ord("m"): 8, ord("l"): 8, ord("b"): 24, ord("c"): 0, ord("n"): 0}
    position, markers, values = 0, set(), []
    while data[position] != ord("e"):
        marker = data[position]
        if marker not in sizes:
            raise ValueError(f"unexpected marker {marker:#x} at {position}")
        markers.add(chr(marker))
        count = sizes[marker] // 4
        values += struct.unpack_from(f"<{count}f", data, position + 1)
        position += 1 + sizes[marker]
    if data[position:] != b"e\0\0":
        raise ValueError("data does not end with the end marker and two zero bytes")
    xs, ys = values[0::2], values[1::2]
    return markers, (max(ys) - min(ys)) / (max(xs) - min(xs))


def main():
    data = serialise(logo())
    markers, ratio = check(data)
    problems = [f"markers {sorted(markers)}"] if markers != set("nmlbc") else []
    problems += [f"height:width {ratio:.4f}"] if abs(ratio - RATIO) > 0.0005 else []
    return write_checked("quindervale_logo.path", data, problems, f", height:width {ratio:.4f}")


if __name__ == "__main__":
    sys.exit(main())
