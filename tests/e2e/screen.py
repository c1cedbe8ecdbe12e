"""Reads screenshots: the main screen's zones, its colours, and buttons found by their face colour."""

import subprocess

# Boxes (x, y, width, height) within the 600 x 400 main screen.
STEP_BUTTON = (200, 358, 200, 30)
CHANGELOG_BUTTON = (450, 358, 125, 30)
PROGRESS_BAR = (60, 280, 480, 25)
HEADING_BAND = (50, 160, 500, 20)
BODY_LINE_BAND = (50, 200, 500, 70)  # between the heading and the bar: a one-line status text
ERROR_LINE_BAND = (50, 184, 500, 16)

BUTTON_FACES = {(0x33, 0x33, 0x33), (0x5A, 0x5A, 0x5A), (0x26, 0x26, 0x26)}
BAR_BACKGROUND = (0x55, 0x55, 0x55)
BAR_FOREGROUND = (0x80, 0x80, 0x80)
CHANGELOG_BACKGROUND = (0x36, 0x38, 0x3D)
ALERT_BACKGROUND = (0x40, 0x40, 0x40)


def centre(box):
    x, y, w, h = box
    return x + w // 2, y + h // 2


def is_red(p):
    r, g, b = p
    return r >= 140 and g <= 100 and b <= 100


def is_blue(p):
    r, g, b = p
    return b >= 140 and r <= 100 and g <= 100


def close_to(p, colour, tolerance=6):
    return all(abs(a - b) <= tolerance for a, b in zip(p, colour))


class Image:
    """An RGB screenshot, decoded through ImageMagick into a PPM."""

    def __init__(self, path):
        self.path = path
        ppm = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True,
                             check=True, timeout=30).stdout
        header = ppm.split(maxsplit=4)
        assert header[0] == b"P6" and header[3] == b"255", f"{path}: unexpected PPM header"
        self.width, self.height = int(header[1]), int(header[2])
        self.pixels = header[4]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def box(self, x, y, w, h):
        return [self.pixel(px, py) for py in range(y, y + h) for px in range(x, x + w)]

    def count(self, box, predicate):
        return sum(1 for p in self.box(*box) if predicate(p))

    def fraction(self, box, predicate):
        _, _, w, h = box
        return self.count(box, predicate) / (w * h)

    def components(self, box, predicate, min_pixels):
        """Bounding boxes (x, y, w, h) of the 4-connected areas in box where predicate holds."""
        bx, by, bw, bh = box
        mask = [[predicate(self.pixel(bx + x, by + y)) for x in range(bw)] for y in range(bh)]
        seen = [[False] * bw for _ in range(bh)]
        found = []
        for y0 in range(bh):
            for x0 in range(bw):
                if not mask[y0][x0] or seen[y0][x0]:
                    continue
                stack, area = [(x0, y0)], 0
                seen[y0][x0] = True
                xs, ys = [x0, x0], [y0, y0]
                while stack:
                    x, y = stack.pop()
                    area += 1
                    xs = [min(xs[0], x), max(xs[1], x)]
                    ys = [min(ys[0], y), max(ys[1], y)]
                    for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                        if 0 <= nx < bw and 0 <= ny < bh and mask[ny][nx] and not seen[ny][nx]:
                            seen[ny][nx] = True
                            stack.append((nx, ny))
                if area >= min_pixels:
                    found.append((bx + xs[0], by + ys[0], xs[1] - xs[0] + 1, ys[1] - ys[0] + 1))
        return sorted(found)


class MainScreen(Image):
    """A screenshot read through the main screen's layout, whose top left lies at (left, top)."""

    def __init__(self, path, left, top):
        super().__init__(path)
        self.left, self.top = left, top

    def _abs(self, box):
        x, y, w, h = box
        return (self.left + x, self.top + y, w, h)

    def at(self, x, y):
        return self.pixel(self.left + x, self.top + y)

    def heading_colour(self):
        band = self._abs(HEADING_BAND)
        red, blue = self.count(band, is_red), self.count(band, is_blue)
        if max(red, blue) < 40:
            return None
        return "red" if red > blue else "blue"

    def has_error_line(self):
        return self.count(self._abs(ERROR_LINE_BAND), is_red) >= 40

    def step_button_visible(self):
        return self.fraction(self._abs(STEP_BUTTON), lambda p: p in BUTTON_FACES) > 0.5

    def changelog_button_visible(self):
        return self.fraction(self._abs(CHANGELOG_BUTTON), lambda p: p in BUTTON_FACES) > 0.5

    def progress_bar_visible(self):
        return self.fraction(self._abs(PROGRESS_BAR),
                             lambda p: close_to(p, BAR_BACKGROUND) or close_to(p, BAR_FOREGROUND)) > 0.7

    def progress_fraction(self):
        """Share of the bar that is filled, or None when the bar shows something else than one
        filled part on the left (the busy stripes, or no bar at all)."""
        x0, y0, w, _ = PROGRESS_BAR
        row = [self.at(x, y0 + 2) for x in range(x0 + 1, x0 + w - 1)]
        kinds = "".join("f" if close_to(p, BAR_FOREGROUND) else "b" if close_to(p, BAR_BACKGROUND) else "?"
                        for p in row)
        filled_part = kinds.rstrip("b")
        # One anti-aliased pixel may lie between the filled part and the background.
        filled = filled_part[:-1] if filled_part.endswith("?") else filled_part
        if set(filled) - {"f"}:
            return None
        return len(filled) / len(row)

    def shows_step(self, heading, error_line=False):
        """A step that waits for the step button: heading colour (None for none), error line or not."""
        return (self.heading_colour() == heading and self.has_error_line() == error_line
                and self.step_button_visible() and not self.progress_bar_visible())

    def shows_transfer(self, heading):
        return self.heading_colour() == heading and self.progress_bar_visible() and not self.step_button_visible()

    def describe(self):
        return (f"heading {self.heading_colour()}, error line {self.has_error_line()}, "
                f"step button {self.step_button_visible()}, bar {self.progress_bar_visible()}")

    def body_text_width(self):
        """Width in pixels of the white text between the heading and the bar."""
        return self._ink_width(self._abs(BODY_LINE_BAND), lambda p: min(p) >= 0xC0)

    def _ink_width(self, box, is_ink):
        x0, y0, w, h = box
        ink = [x for y in range(y0, y0 + h) for x in range(x0, x0 + w) if is_ink(self.pixel(x, y))]
        return max(ink) - min(ink) + 1 if ink else 0

    def caption_width(self):
        """Width in pixels of the step button's text, 0 when there is none."""
        x, y, w, h = self._abs(STEP_BUTTON)
        return self._ink_width((x, y + 3, w, h - 6), lambda p: sum(p) > 3 * 0x70)
