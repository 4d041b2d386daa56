"""Black-box test harness: the real orvane-sidekey against the real
orvane-board-sim, on a private X server (Xvfb) with openbox, driven with
xdotool and wmctrl.

Every wait is on a condition (a line printed, a window mapped, a process
ended) with a generous bound; nothing relies on a fixed sleep alone.
"""

import contextlib
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

BUILD_DIR = os.environ.get(
    "SIDEKEY_BUILD_DIR",
    os.path.join(os.path.dirname(__file__), "..", "..", "build"))
APP = os.path.join(BUILD_DIR, "orvane-sidekey")
SIM = os.path.join(BUILD_DIR, "orvane-board-sim")
QMLT = os.path.join(BUILD_DIR, "QMLT")
SCREENSHOTS = os.path.join(BUILD_DIR, "screenshots")

DIALOG_TITLE = "软快捷设置程序"
WARNING_TITLE = "警告"
# The toolkit's default caption "Message": GTK's message box leaves the
# window untitled for it.
MESSAGE_TITLE = ""

# Generous bounds for a loaded 2-core machine.
TIMEOUT = 30.0
# A failing configuration load costs 15 attempts x 200 ms.
SLOW_LOAD = 3.0


def wait_until(condition, timeout=TIMEOUT, interval=0.05, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_is_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def config_xml(board_type="OrvaneTypeB", port=4869, flags=None, extra=""):
    """A configuration file with one board section per entry of flags
    ({section: {attribute: value}}); by default the board's own section with
    every flag 0."""
    if flags is None:
        flags = {board_type: {"Is_Had_Hand": 0, "Enable_Soft_Sidekey": 0, "bKeyPen": 0}}
    sections = []
    for section, attrs in flags.items():
        if attrs is None:
            sections.append("    <%s />\n" % section)
            continue
        text = " ".join('%s="%s"' % kv for kv in attrs.items())
        sections.append("    <%s>\n        <Flag %s />\n    </%s>\n" % (section, text, section))
    type_attr = ' TYPE="%s"' % board_type if board_type is not None else ""
    return ('<?xml version="1.0" encoding="UTF-8" ?>\n<Config>\n'
            '    <Global>\n        <port num="%d" />\n        <CurrentRun%s />\n    </Global>\n'
            '%s%s</Config>\n' % (port, type_attr, "".join(sections), extra))


class LineReader:
    """Collects a child's stdout lines on a thread of its own."""

    def __init__(self, stream):
        self.lines = []
        self._cond = threading.Condition()
        self._thread = threading.Thread(target=self._run, args=(stream,), daemon=True)
        self._thread.start()

    def _run(self, stream):
        for raw in iter(stream.readline, b""):
            with self._cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self._cond.notify_all()
        stream.close()

    def wait_for(self, predicate, timeout=TIMEOUT, what="line"):
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                for line in self.lines:
                    if predicate(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("timed out waiting for %s; got %r" % (what, self.lines))
                self._cond.wait(left)

    def wait_count(self, text, count, timeout=TIMEOUT):
        deadline = time.monotonic() + timeout
        with self._cond:
            while self.lines.count(text) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("timed out waiting for %d x %r; got %r"
                                         % (count, text, self.lines))
                self._cond.wait(left)

    def snapshot(self):
        with self._cond:
            return list(self.lines)

    def join(self, timeout=TIMEOUT):
        self._thread.join(timeout)


class XServer:
    """A private Xvfb with openbox."""

    def __init__(self, size="1024x768"):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size + "x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.size = tuple(int(v) for v in size.split("x"))
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        # The program's own texts, whatever this machine's language: tests
        # that look at translations set LANG themselves.
        for name in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
            self.env.pop(name, None)
        self.env["LANG"] = "zh_CN.UTF-8"
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: self.run(["wmctrl", "-m"], check=False).returncode == 0,
                   what="openbox")

    def run(self, args, check=True):
        return subprocess.run(args, env=self.env, capture_output=True, text=True,
                              check=check, timeout=TIMEOUT)

    def windows(self):
        """[(id, title)] of the managed windows."""
        out = self.run(["wmctrl", "-l"], check=False).stdout
        result = []
        for line in out.splitlines():
            parts = line.split(None, 3)
            if len(parts) >= 3:
                result.append((parts[0], parts[3] if len(parts) > 3 else ""))
        return result

    def wait_window(self, title, timeout=TIMEOUT):
        def find():
            for wid, name in self.windows():
                if name == title:
                    return wid
            return None
        return wait_until(find, timeout, what="window %r" % title)

    def wait_full_screen(self, timeout=TIMEOUT):
        """The untitled window that covers the whole screen: the
        key-matching screen."""
        def find():
            for wid, name in self.windows():
                if name == "" and self.geometry(wid) == (0, 0) + self.size:
                    return wid
            return None
        return wait_until(find, timeout, what="full-screen key-matching window")

    def wait_no_window(self, title, timeout=TIMEOUT):
        wait_until(lambda: all(name != title for _, name in self.windows()), timeout,
                   what="window %r to go" % title)

    def activate(self, wid):
        self.run(["wmctrl", "-i", "-a", wid])
        wait_until(lambda: self.active_window() == int(wid, 16), what="focus on " + wid)

    def active_window(self):
        out = self.run(["xdotool", "getactivewindow"], check=False).stdout.strip()
        return int(out) if out.isdigit() else None

    def keys(self, *keys):
        self.run(["xdotool", "key", "--delay", "60"] + list(keys))

    def key_down(self, key):
        self.run(["xdotool", "keydown", key])

    def key_up(self, key):
        self.run(["xdotool", "keyup", key])

    def geometry(self, wid):
        out = self.run(["xwininfo", "-id", wid]).stdout
        get = lambda name: int(re.search(name + r":\s+(-?\d+)", out).group(1))
        return (get("Absolute upper-left X"), get("Absolute upper-left Y"),
                get("Width"), get("Height"))

    def screenshot(self, name):
        os.makedirs(SCREENSHOTS, exist_ok=True)
        path = os.path.join(SCREENSHOTS, name)
        self.run(["import", "-window", "root", path])
        return path

    def screenshot_window(self, wid, name):
        os.makedirs(SCREENSHOTS, exist_ok=True)
        path = os.path.join(SCREENSHOTS, name)
        self.run(["import", "-frame", "-window", wid, path])
        return path

    def pixel(self, path, x, y):
        """(r, g, b) of one pixel of a screenshot."""
        out = self.run(["convert", path, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8",
                        "txt:-"]).stdout
        match = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1])
        return tuple(int(v) for v in match.groups())

    def close(self):
        for proc in (self.wm, self.xvfb):
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


class BoardSim:
    """orvane-board-sim on a given port: headless, or the virtual whiteboard
    (which then runs in cwd, for its pictures)."""

    def __init__(self, xserver, port, config=None, headless=True, cwd=None):
        args = [SIM, "--port", str(port)]
        if headless:
            args.append("--headless")
        if config:
            args += ["--config", config]
        self.stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(args, env=xserver.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.stderr, cwd=cwd)
        self.out = LineReader(self.proc.stdout)
        self.out.wait_for(lambda l: l.startswith("listening"), what="simulator listening")

    def send(self, command):
        self.proc.stdin.write((command + "\n").encode())
        self.proc.stdin.flush()

    def requests(self):
        """What the service received, in order, without its own status lines."""
        return [l for l in self.out.snapshot()
                if l.split(" ")[0] in ("connect", "start", "stop", "disconnect")]

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.send("quit")
                self.proc.wait(10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        self.proc.stdin.close()
        self.out.join()
        self.stderr.close()


INSTANCE_LOCK = "/tmp/OrvaneSideKey"


def instance_lock_holder():
    """The pid of a live process holding the program's single-instance
    lock, or None."""
    try:
        with open(INSTANCE_LOCK, "rb") as f:
            match = re.match(rb"\s*(\d+)", f.read())
    except OSError:
        return None
    pid = int(match.group(1)) if match else 0
    if pid <= 0:
        return None
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return None
    except PermissionError:
        pass
    return pid


def wait_for_instance_lock(timeout=600):
    """Another copy (a demo, another test run) would make ours show the
    already-running box: wait until it has gone."""
    wait_until(lambda: instance_lock_holder() is None, timeout, interval=0.2,
               what="another orvane-sidekey to release " + INSTANCE_LOCK)


class SideKey:
    """orvane-sidekey started from a working-directory tree of its own."""

    def __init__(self, xserver, workdir, env=None, first=True):
        if first:
            wait_for_instance_lock()
        self.stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([APP], cwd=workdir, env=dict(xserver.env, **(env or {})),
                                     stdout=subprocess.PIPE, stderr=self.stderr)
        self.out = LineReader(self.proc.stdout)

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("orvane-sidekey did not end; stdout %r" % self.out.snapshot())

    def lines(self):
        self.out.join()
        return self.out.snapshot()

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode("utf-8", "replace")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.out.join()
        self.stderr.close()


class SideKeyTestCase(unittest.TestCase):
    """Each test: its own X server, working tree, port and simulator."""

    screen = "1024x768"

    def setUp(self):
        self.x = XServer(self.screen)
        self.addCleanup(self.x.close)
        self.tmp = tempfile.mkdtemp(prefix="sidekey-test-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.workdir = os.path.join(self.tmp, "QMLT")
        shutil.copytree(QMLT, self.workdir, symlinks=True)
        self.port = free_port()
        self.config_path = os.path.join(self.workdir, "Config", "config.xml")
        self.sim = None
        self.app = None
        self.started = []

    def write_config(self, text):
        with open(self.config_path, "w", encoding="utf-8") as f:
            f.write(text)

    def read_config(self):
        with open(self.config_path, "rb") as f:
            return f.read()

    def start_sim(self, port=None):
        self.sim = BoardSim(self.x, port or self.port)
        self.addCleanup(self.sim.stop)
        self.started.append(self.sim)
        return self.sim

    def start_app(self, env=None, first=True):
        app = SideKey(self.x, self.workdir, env, first)
        self.addCleanup(app.kill)
        self.started.append(app)
        if self.app is None:
            self.app = app
        return app

    @contextlib.contextmanager
    def subcase(self, *args, **params):
        """A subTest on a fresh port (the stand-in of the previous case may
        still hold the old one for a moment) whose programs and stand-ins
        end with it, pass or fail: a failed case must not keep the
        single-instance lock from the next."""
        self.port = free_port()
        with self.subTest(*args, **params):
            try:
                yield
            finally:
                self.end_started()

    def end_started(self):
        """Ends every program and stand-in started so far (also one a test
        set as self.sim or self.app by itself)."""
        extra = [p for p in (self.sim, self.app) if p is not None and p not in self.started]
        for proc in reversed(self.started + extra):
            if isinstance(proc, BoardSim):
                if proc.proc.poll() is None:
                    proc.proc.send_signal(signal.SIGCONT)  # a frozen one too
                proc.stop()
            else:
                proc.kill()
        self.started = []
        self.sim = None
        self.app = None

    def open_dialog(self, board_type="OrvaneTypeB", flags=None):
        """Config for board_type, simulator up, dialog shown and focused."""
        self.write_config(config_xml(board_type, self.port, flags))
        self.start_sim()
        app = self.start_app()
        self.dialog = self.x.wait_window(DIALOG_TITLE)
        self.sim.out.wait_for(lambda l: l == "connect SideKey")
        self.x.activate(self.dialog)
        # No error box of the toolkit's beside the dialog (a missing working
        # directory, say, must stay silent).
        self.assertEqual([name for _, name in self.x.windows()], [DIALOG_TITLE])
        return app

    def assert_ended(self, app, status, timeout=TIMEOUT):
        self.assertEqual(app.wait_exit(timeout), status)
