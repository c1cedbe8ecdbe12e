"""Drives the real updater on a private X server with a real window manager.

Every scenario gets its own Xvfb (a free display chosen by the server), openbox for the native
title bar, and one or more Zendravel processes with the simulated unit preloaded. Input goes
through xdotool, screenshots through ImageMagick's import; the simulated unit's report files
tell what reached the device. Every wait is bounded and every process started here is ended,
also when a check fails.
"""

import argparse
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import intel_hex
import screen

MAIN_TITLE = "Quindervale Orvalith firmware updater - version 1.7"
MAIN_SIZE = (600, 400)
DISPLAY_SIZE = (1280, 1024)
LEAVE_TITLE = "The update process has not been finished."
# How far a window's content may lie from where it belongs.
PLACE_SLACK = 2
CHANGELOG_TITLE = "^Changelog$"
TOOL_TIMEOUT_S = 10
SCENARIO_LIMIT_S = 150


class ScenarioFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def wait_until(condition, timeout, what, interval=0.02):
    """Polls until condition() returns something truthy, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise ScenarioFailure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def off_centre(rect, outer):
    """How many pixels rect (x, y, width, height) lies from being centred in outer."""
    x = outer[0] + (outer[2] - rect[2]) // 2
    y = outer[1] + (outer[3] - rect[3]) // 2
    return max(abs(rect[0] - x), abs(rect[1] - y))


def _die_with_parent():
    # If the harness itself is killed (a ctest time-out), nothing it started may outlive it.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class Processes:
    """Everything this scenario started, ended in reverse order."""

    def __init__(self):
        self._started = []

    def start(self, argv, log_path, env=None, pass_fds=()):
        log = open(log_path, "wb")
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                env=env, pass_fds=pass_fds, preexec_fn=_die_with_parent)
        log.close()
        self._started.append(proc)
        return proc

    def end_all(self):
        for proc in reversed(self._started):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=3)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait(timeout=3)
        self._started.clear()


class EventLog:
    """The simulated unit's events.log, followed by a thread of its own so that each line gets the
    time it appeared, also while the scenario is busy with something else."""

    FOLLOW_INTERVAL_S = 0.01

    def __init__(self, path):
        self.path = path
        self._entries = []  # (time first seen, line)
        self._offset = 0
        self._partial = ""
        self._matches = {}  # pattern -> (entries scanned, matches so far)
        self._lock = threading.Lock()
        threading.Thread(target=self._follow, daemon=True).start()

    def _follow(self):
        while True:
            self._read()
            time.sleep(self.FOLLOW_INTERVAL_S)

    def _read(self):
        with self._lock:
            try:
                with open(self.path, "r") as f:
                    f.seek(self._offset)
                    data = f.read()
                    self._offset = f.tell()
            except FileNotFoundError:
                return
            now = time.monotonic()
            *complete, self._partial = (self._partial + data).split("\n")
            self._entries.extend((now, line) for line in complete if line)

    def lines(self):
        self._read()
        with self._lock:
            return [line for _, line in self._entries]

    def matching(self, pattern):
        """(time seen, match) for every line that matches pattern entirely."""
        self._read()
        with self._lock:
            scanned, found = self._matches.get(pattern, (0, []))
            regex = re.compile(pattern)
            found = found + [(t, m) for t, m in ((t, regex.fullmatch(line)) for t, line in self._entries[scanned:]) if m]
            self._matches[pattern] = (len(self._entries), found)
            return found

    def count(self, pattern):
        return len(self.matching(pattern))

    def wait_for(self, pattern, timeout, count=1):
        """Waits until pattern has matched count lines; returns the count-th (time, match)."""
        found = wait_until(lambda: len(self.matching(pattern)) >= count and self.matching(pattern),
                           timeout, f"{count} x '{pattern}' in {self.path}")
        return found[count - 1]


def read_session_report(report_dir, session):
    """session-N.txt as a dict of ints."""
    text = (Path(report_dir) / f"session-{session}.txt").read_text()
    return {key: int(value) for key, value in (line.split("=", 1) for line in text.split())}


def read_session_flash(report_dir, session):
    """session-N.flash as a list of (start address, bytes) runs."""
    runs = []
    for line in (Path(report_dir) / f"session-{session}.flash").read_text().splitlines():
        address, data = line.split(" ")
        runs.append((int(address, 16), bytes.fromhex(data)))
    return runs


class XTools:
    """xdotool, xprop, xwininfo and import on one display."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)
        self.env.pop("XAUTHORITY", None)

    def run(self, *argv, check_rc=True):
        try:
            result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=TOOL_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"{' '.join(argv)} did not finish within {TOOL_TIMEOUT_S} s")
        if check_rc and result.returncode != 0:
            raise ScenarioFailure(f"{' '.join(argv)} failed: {result.stderr.strip()}")
        return result.stdout

    def search(self, *criteria):
        out = self.run("xdotool", "search", "--all", "--onlyvisible", *criteria, check_rc=False)
        return [int(w) for w in out.split()]

    def window_title(self, wid):
        return self.run("xdotool", "getwindowname", str(wid), check_rc=False).strip()

    def window_rect(self, wid):
        """Absolute (x, y, width, height) of the client area; xwininfo, because xdotool's
        geometry counts the frame of a reparented window twice."""
        out = self.run("xwininfo", "-id", str(wid))
        value = {key: int(re.search(rf"{key}:\s+(-?\d+)", out).group(1))
                 for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")}
        return (value["Absolute upper-left X"], value["Absolute upper-left Y"], value["Width"], value["Height"])

    def frame_extents(self, wid):
        """(left, right, top, bottom) of the window manager's decoration."""
        out = self.run("xprop", "-id", str(wid), "_NET_FRAME_EXTENTS")
        numbers = re.findall(r"\d+", out.split("=", 1)[-1])
        check(len(numbers) == 4, f"window {wid} has no frame extents: {out.strip()}")
        return tuple(int(n) for n in numbers)

    def click_at(self, x, y, button=1):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y))
        time.sleep(0.05)
        self.run("xdotool", "click", str(button))
        time.sleep(0.05)

    def move_pointer(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y))

    def key_to_focus(self, keys):
        """Types keys as the keyboard does, into whichever window has the focus. (Keys sent to a
        window with `key --window` are not used: when the press closes the window, the release
        is lost, and JUCE then drops the next click on the main window.)"""
        self.run("xdotool", "key", keys)

    def move_window(self, wid, x, y):
        self.run("xdotool", "windowmove", str(wid), str(x), str(y))

    def screenshot(self, path):
        self.run("import", "-window", "root", str(path))


class Window:
    def __init__(self, x, wid):
        self.x = x
        self.wid = wid

    def rect(self):
        return self.x.window_rect(self.wid)

    def click(self, cx, cy):
        """Clicks at (cx, cy) inside the client area."""
        left, top, _, _ = self.rect()
        self.x.click_at(left + cx, top + cy)

    def click_close_button(self):
        """Clicks the close button at the right end of openbox's title bar."""
        left, top, width, _ = self.rect()
        _, right, title, _ = self.x.frame_extents(self.wid)
        self.x.click_at(left + width + right - 11, top - title // 2)

    def move(self, x, y):
        """Moves the window and waits until it has arrived somewhere else."""
        before = self.rect()
        self.x.move_window(self.wid, x, y)
        wait_until(lambda: self.rect() != before, 5, f"window {self.wid} to move")
        time.sleep(0.2)

    def centre(self):
        left, top, width, height = self.rect()
        return left + width / 2, top + height / 2


class App:
    """One Zendravel process with its own simulated unit and report directory."""

    STEP_BUTTON = screen.centre(screen.STEP_BUTTON)
    CHANGELOG_BUTTON = screen.centre(screen.CHANGELOG_BUTTON)

    def __init__(self, scenario, name, sim):
        self.scenario = scenario
        self.name = name
        self.report_dir = scenario.out_dir / f"report-{name}"
        shutil.rmtree(self.report_dir, ignore_errors=True)
        self.report_dir.mkdir()
        sim_config = ";".join(filter(None, (sim, f"report_dir={self.report_dir}")))
        env = dict(scenario.x.env, LD_PRELOAD=scenario.preload, ORVALITH_SIM=sim_config)
        self.log_path = scenario.out_dir / f"{name}.log"
        self.proc = scenario.processes.start([scenario.app_path], self.log_path, env=env)
        self.events = EventLog(self.report_dir / "events.log")
        wait_until(self._find_main_windows, 15, f"the main window of {name}")
        try:
            wid = wait_until(self._main_window_in_shape, 3, f"{name}'s main window to be 600 x 400")
        except ScenarioFailure:
            raise ScenarioFailure(f"{name}'s main windows came up at {self._main_window_rects()}") from None
        self.main = Window(scenario.x, wid)
        check(scenario.x.window_title(wid) == MAIN_TITLE, f"the main window is titled '{scenario.x.window_title(wid)}'")
        check(off_centre(self.main.rect(), (0, 0) + DISPLAY_SIZE) <= PLACE_SLACK,
              f"{name}'s main window came up at {self.main.rect()}, not centred on the display")
        scenario.note(f"{name}: pid {self.proc.pid}, main window {wid}")
        wait_until(self._painted, 10, f"the first paint of {name}'s main screen", interval=0.1)

    def _painted(self):
        path = self.scenario.out_dir / f"{self.name}-paint.png"
        self.scenario.x.screenshot(path)
        left, top, _, _ = self.main.rect()
        return screen.MainScreen(path, left, top).changelog_button_visible()

    def _find_main_windows(self):
        check(self.proc.poll() is None, f"{self.name} exited early with {self.proc.returncode}: {self.output()}")
        return self.scenario.x.search("--pid", str(self.proc.pid), "--name", MAIN_TITLE)

    def _main_window_rects(self):
        """{window: rect} of the main windows that still exist; JUCE replaces the native window
        once while it builds the main window, so a window found early may be gone."""
        rects = {}
        for wid in self._find_main_windows():
            try:
                rects[wid] = self.scenario.x.window_rect(wid)
            except ScenarioFailure:
                pass
        return rects

    def _main_window_in_shape(self):
        return next((wid for wid, rect in self._main_window_rects().items() if rect[2:] == MAIN_SIZE), None)

    def output(self):
        return self.log_path.read_text(errors="replace")[-2000:]

    def windows(self):
        return self.scenario.x.search("--pid", str(self.proc.pid))

    def windows_titled(self, pattern):
        return self.scenario.x.search("--pid", str(self.proc.pid), "--name", pattern)

    def other_windows(self):
        return [w for w in self.windows() if w != self.main.wid]

    def wait_for_new_window(self, known, timeout=5):
        wid = wait_until(lambda: next((w for w in self.other_windows() if w not in known), None),
                         timeout, f"a new window of {self.name}")
        return Window(self.scenario.x, wid)

    def click(self, cx, cy, what):
        self.scenario.note(f"{self.name}: click {what}")
        left, top, _, _ = self.main.rect()
        self.scenario.x.click_at(left + cx, top + cy)
        # The pointer left over a button would keep it in its hover colours.
        self.scenario.x.move_pointer(left + 5, top + 5)

    def click_step_button(self, caption):
        self.click(*self.STEP_BUTTON, f'step button "{caption}"')

    def click_changelog_button(self):
        self.click(*self.CHANGELOG_BUTTON, '"SHOW CHANGELOG"')

    def click_close_button(self):
        self.scenario.note(f"{self.name}: click the title bar's close button")
        left, top, _, _ = self.main.rect()
        self.main.click_close_button()
        # xdotool's synchronous move never returns when the pointer is already there.
        self.scenario.x.move_pointer(left + 5, top + 5)

    def request_leave(self):
        """Clicks the main window's close button and expects the leave confirmation."""
        known = self.other_windows()
        self.click_close_button()
        return self.wait_for_alert(known)

    def start_part1(self):
        """From the welcome screen to the first connection attempt of part 1."""
        self.click_step_button("START")
        time.sleep(0.3)
        self.click_step_button("CONTINUE")

    def wait_for_screen(self, step, condition, timeout=5):
        """Takes screenshots until condition(main screen) holds, as the screen follows the unit's
        events with some delay; the last one is kept as the step's screenshot."""
        poll_path = self.scenario.out_dir / f"{self.name}-poll.png"
        last = []

        def attempt():
            self.scenario.x.screenshot(poll_path)
            left, top, _, _ = self.main.rect()
            last[:] = [screen.MainScreen(poll_path, left, top)]
            return condition(last[0])

        try:
            wait_until(attempt, timeout, f"the screen of step {step}", interval=0.05)
        except ScenarioFailure as failure:
            raise ScenarioFailure(f"{failure}; it shows {last[0].describe()}") from None
        finally:
            self.scenario.keep_screenshot(poll_path, step)
        return last[0]

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        """The exit code, once the program has ended without a leak or assertion report."""
        try:
            rc = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"{self.name} did not exit within {timeout} s")
        output = self.log_path.read_text(errors="replace")
        for trouble in ("Leaked objects detected", "JUCE Assertion failure", "ERROR: AddressSanitizer",
                        "ERROR: LeakSanitizer", "runtime error:", "WARNING: ThreadSanitizer"):
            check(trouble not in output, f"{self.name} reported '{trouble}': {self.output()}")
        return rc

    def session_report(self, session):
        return read_session_report(self.report_dir, session)

    def session_flash(self, session):
        return read_session_flash(self.report_dir, session)

    def commands(self, session):
        """The command byte of every well-formed frame the unit received in session, in order."""
        return [int(m.group(1)) for _, m in self.events.matching(rf"frame session={session} cmd=(\d+)")]

    def wait_for_session(self, session, timeout):
        """Waits for the unit to be opened as session; returns the open call's number."""
        _, match = self.events.wait_for(rf"open (\d+) ok session={session}", timeout)
        return int(match.group(1))

    def wait_for_programming(self, session, frames, timeout):
        """Waits until the unit has received frames program frames (command 3) in session."""
        self.events.wait_for(rf"frame session={session} cmd=3", timeout, count=frames)

    def wait_for_close(self, session, timeout):
        self.events.wait_for(rf"close session={session}", timeout)

    def wait_for_alert(self, known=()):
        """The leave confirmation: a new window of this process, with its OK and Cancel buttons."""
        window = self.wait_for_new_window(list(known))
        check(self.scenario.x.window_title(window.wid) == LEAVE_TITLE,
              f"the confirmation is titled '{self.scenario.x.window_title(window.wid)}'")
        rect = wait_until(lambda: self._settled_rect(window), 5, "the confirmation to settle")
        shot = screen.Image(self.scenario.screenshot("confirmation"))
        faces = shot.components(rect, lambda p: p in screen.BUTTON_FACES, min_pixels=300)
        check(len(faces) == 2, f"the confirmation shows {len(faces)} buttons, expected OK and Cancel: {faces}")
        check(shot.fraction(rect, lambda p: screen.close_to(p, screen.ALERT_BACKGROUND)) > 0.3,
              "the confirmation is not drawn in the program's dialog colours")
        return Alert(self, window, [screen.centre(face) for face in faces])

    @staticmethod
    def _settled_rect(window):
        rect = window.rect()
        time.sleep(0.2)
        return rect if window.rect() == rect else None

    def check_part_programmed(self, session, image_file):
        """The session received one erase and the whole image, and its flash is the image's data."""
        image = self.scenario.resources / image_file
        lines = len(image.read_bytes().split(b"\r\n")) - 1
        commands = self.commands(session)
        check(commands[:2] == [1, 2] and set(commands[2:]) == {3},
              f"session {session} commands were {commands[:5]}..., expected 1, 2, then only 3")
        frames = intel_hex.program_frames(image)
        check(commands.count(3) == frames,
              f"session {session} got {commands.count(3)} program frames, expected {frames} for {lines} records")
        report = self.session_report(session)
        check(report["records"] == lines and report["erased"] == 1 and report["eof"] == 1
              and report["errors"] == 0 and report["bad_frames"] == 0, f"session {session} report: {report}")
        difference = intel_hex.first_difference(intel_hex.runs(intel_hex.load_flash(image)), self.session_flash(session))
        check(difference is None, f"session {session} flash differs from {image_file}: {difference}")
        self.scenario.note(f"{self.name}: session {session} flash equals {image_file}")


class Alert:
    """The open leave confirmation; buttons are (x, y) on the display, OK first."""

    def __init__(self, app, window, buttons):
        self.app, self.window = app, window
        self.ok, self.cancel = buttons

    def answer(self, button):
        self.app.scenario.note(f"{self.app.name}: answer the confirmation with {button}")
        self.app.scenario.x.click_at(*(self.ok if button == "OK" else self.cancel))

    def wait_closed(self, timeout=5):
        wait_until(lambda: self.window.wid not in self.app.windows(), timeout, "the confirmation to close")


class Scenario:
    """Display, window manager and apps of one scenario; use as a context manager."""

    def __init__(self, name, app_path, preload, resources, out_root):
        self.app_path = app_path
        self.preload = preload
        self.resources = Path(resources)
        self.out_dir = Path(out_root) / "runs" / name
        self.screens_dir = Path(out_root) / "screens" / name
        for d in (self.out_dir, self.screens_dir):
            shutil.rmtree(d, ignore_errors=True)
            d.mkdir(parents=True)
        self.processes = Processes()
        self.started = time.monotonic()
        self._shots = 0
        self.x = None

    def __enter__(self):
        try:
            self.x = XTools(self._start_display())
            self._start_window_manager()
        except BaseException:
            self.processes.end_all()
            raise
        return self

    def __exit__(self, *exc):
        self.processes.end_all()
        return False

    def _start_display(self):
        read_fd, write_fd = os.pipe()
        try:
            self.processes.start(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "{}x{}x24".format(*DISPLAY_SIZE),
                                  "-nolisten", "tcp",
                                  # A server that resets as its last client leaves refuses the
                                  # next one meanwhile: openbox, now and then, as a probe ends.
                                  "-noreset"], self.out_dir / "xvfb.log", pass_fds=(write_fd,))
            os.close(write_fd)
            write_fd = None
            number = b""
            deadline = time.monotonic() + 10
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_fd], [], [], max(0.0, deadline - time.monotonic()))
                chunk = os.read(read_fd, 16) if ready else b""
                check(chunk, "Xvfb did not report its display number")
                number += chunk
        finally:
            os.close(read_fd)
            if write_fd is not None:
                os.close(write_fd)
        return f":{number.decode().strip()}"

    def _start_window_manager(self):
        self.processes.start(["openbox", "--sm-disable"], self.out_dir / "openbox.log", env=self.x.env)
        # openbox publishes its client list once it has taken over the screen; a window mapped
        # earlier may keep the size it had when openbox adopted it.
        wait_until(lambda: "(WINDOW)" in self.x.run("xprop", "-root", "_NET_CLIENT_LIST", check_rc=False),
                   10, "openbox to manage the display")

    def launch(self, sim, name="app"):
        return App(self, name, sim)

    def describe_windows(self):
        """Notes every visible window with its title and place, to tell what went wrong."""
        for wid in self.x.search("--name", "."):
            try:
                self.note(f"window {wid} '{self.x.window_title(wid)}' at {self.x.window_rect(wid)}")
            except ScenarioFailure as gone:
                self.note(f"window {wid}: {gone}")

    def note(self, text):
        print(f"[{time.monotonic() - self.started:6.2f} s] {text}", flush=True)

    def _next_screenshot_path(self, step):
        self._shots += 1
        path = self.screens_dir / f"{self._shots:02d}-{step}.png"
        self.note(f"screenshot {path.name}")
        return path

    def screenshot(self, step):
        path = self._next_screenshot_path(step)
        self.x.screenshot(path)
        return path

    def keep_screenshot(self, taken, step):
        if taken.exists():
            shutil.copyfile(taken, self._next_screenshot_path(step))


def run(body, limit_s=SCENARIO_LIMIT_S):
    """Entry point of a scenario file: body(scenario) raises ScenarioFailure on a failed check."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--preload", required=True)
    parser.add_argument("--resources", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    name = Path(sys.argv[0]).stem

    def out_of_time(*_):
        raise ScenarioFailure(f"scenario ran longer than {limit_s} s")

    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(f"{name}: terminated"))
    signal.alarm(limit_s)
    scenario = Scenario(name, args.app, args.preload, args.resources, args.out)
    try:
        with scenario:
            try:
                body(scenario)
            except ScenarioFailure:
                scenario.screenshot("failure")
                scenario.describe_windows()
                raise
    except ScenarioFailure as failure:
        print(f"FAILED {name}: {failure}", flush=True)
        return 1
    finally:
        signal.alarm(0)
    scenario.note(f"PASSED {name}")
    return 0
