"""Faults from outside the program, with the real binaries: a board service
that dies, freezes or never answers, another program of the driver package
rewriting the configuration file at the same moment, a full or read-only
disk, and hostile configuration files.

What must hold whatever happens: the program never crashes (no exit by a
signal, nothing from a sanitizer or an assertion on stderr), ends with the
status its rules give (0 once the settings dialog was shown, 255 after a
start-up box), and never leaves the configuration file half-written.

The program runs under a Chinese locale here, so that its captions are the
Chinese originals whatever the machine's language is.
"""

import os
import random
import re
import signal
import socket
import subprocess
import threading
import time
import unittest
import xml.etree.ElementTree as ET

from harness import (DIALOG_TITLE, SLOW_LOAD, TIMEOUT, WARNING_TITLE, BoardSim,
                     SideKeyTestCase, config_xml, port_is_free, wait_for_instance_lock,
                     wait_until)

EXIT_AFTER_BOX = 255  # -1 as the shell sees it
CHINESE = {"LC_ALL": "zh_CN.UTF-8"}
# Anything on stderr that means the program went wrong inside. (Leaks are not
# what these tests look for: a sanitizer build runs without leak checking.)
CRASH_TEXT = re.compile(r"ERROR: AddressSanitizer|runtime error:|terminate called|"
                        r"assert(ion)?\b.*\bfailed", re.I)
# A start-up on an unreadable file waits for two failing loads.
UNREADABLE_START = TIMEOUT + 2 * SLOW_LOAD


def flags_of(config_bytes, section):
    return dict(ET.fromstring(config_bytes).find(section).find("Flag").attrib)



class FaultTestCase(SideKeyTestCase):

    def start_app(self, env=None, first=True):
        extra = dict(CHINESE)
        asan = os.environ.get("ASAN_OPTIONS", "")
        if "detect_leaks" not in asan:
            extra["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "detect_leaks=0"
        return super().start_app(dict(extra, **(env or {})), first)

    def assert_clean_end(self, app, status, timeout=TIMEOUT):
        """Ended on its own, not by a signal, with this status and nothing on
        stderr that tells of a crash."""
        code = app.wait_exit(timeout)
        errors = app.errors()
        crash = CRASH_TEXT.search(errors)
        if crash:
            self.fail("stderr tells of a crash (status %d):\n%s"
                      % (code, errors[max(0, crash.start() - 200):crash.start() + 3000]))
        self.assertGreaterEqual(code, 0, "ended by signal %d; stdout %r; stderr %s"
                                % (-code, app.out.snapshot(), errors[-2000:]))
        self.assertEqual(code, status, "stdout %r" % app.out.snapshot())

    def wait_outcome(self, app, timeout=TIMEOUT):
        """("dialog", id), ("box", id), ("window", title) for any other
        window, or ("ended", status) when the program ended first."""
        def seen():
            code = app.proc.poll()
            if code is not None:
                return ("ended", code)
            for wid, name in self.x.windows():
                if name == DIALOG_TITLE:
                    return ("dialog", wid)
                if name == WARNING_TITLE:
                    return ("box", wid)
                return ("window", name)
            return None
        return wait_until(seen, timeout, interval=0.1, what="a window or the end")

    def dismiss_box(self, box):
        self.x.activate(box)
        self.x.keys("Return")

    def close_dialog(self, dialog):
        self.x.run(["wmctrl", "-i", "-c", dialog])


# ============================================================================
# 1. The board service dies or freezes
# ============================================================================

class ServiceKilled(FaultTestCase):
    """The service killed with SIGKILL: the link breaks without a word from
    the service, the program prints "oNDisconnect()", closes its dialog (and
    the key-matching screen with it) and ends with status 0, writing
    nothing."""

    def test_while_the_dialog_is_shown(self):
        for name, keys in (("untouched", []), ("with an unsaved change", ["space"])):
            with self.subcase(name):
                app = self.open_dialog("OrvaneTypeB")
                before = self.read_config()
                if keys:
                    self.x.keys(*keys)
                self.sim.proc.send_signal(signal.SIGKILL)
                self.assert_clean_end(app, 0)
                self.assertEqual(app.lines(),
                                 ["aa", "workType:OrvaneTypeB", "oNDisconnect()"])
                self.assertEqual(self.read_config(), before)
                self.x.wait_no_window(DIALOG_TITLE)

    def test_at_the_start_of_key_matching(self):
        # (A kill after some notifications is in test_matching.) Here no
        # notification has come yet, and "设置" has just saved the switch.
        app = self.open_dialog("OrvaneTypeB")
        self.x.keys("space", "Tab", "Tab", "Tab")
        self.x.key_down("Return")
        try:
            self.sim.out.wait_for(lambda l: l == "start 28")
            self.x.wait_full_screen()
        finally:
            self.x.key_up("Return")
        before = self.read_config()
        self.assertEqual(flags_of(before, "OrvaneTypeB")["Enable_Soft_Sidekey"], "1")
        self.sim.proc.send_signal(signal.SIGKILL)
        self.assert_clean_end(app, 0)
        lines = app.lines()
        self.assertEqual(lines[-1], "oNDisconnect()")
        self.assertNotIn("Onadvise", lines)
        self.assertEqual(self.read_config(), before)
        wait_until(lambda: self.x.windows() == [], what="no window left")


class ServiceFrozen(FaultTestCase):
    """The service stopped (SIGSTOP) while the dialog is shown: its socket
    stays open but nothing answers. OK after a change saves the file first,
    then waits for the answer to the start request "-1": the toolkit waits
    up to its default socket timeout (10 minutes), and while it waits it
    goes on dispatching events, so the dialog stays on screen and takes
    input. When the service goes on (SIGCONT) it answers and the program
    ends; when it is killed instead, the request fails, the link is lost
    and the program ends just the same. Whatever the user does meanwhile,
    the program must not crash and ends with status 0, the change saved.
    """

    # what the user does while OK waits, how the service's freeze ends
    CASES = [
        ("nothing", "SIGCONT"),
        ("nothing", "SIGKILL"),
        # The toolkit dispatches events while a request waits for its
        # answer: OK again, Cancel or Escape meanwhile must neither destroy
        # the dialog under OnOK nor start a second exchange.
        ("OK again, twice", "SIGCONT"),
        ("Cancel", "SIGCONT"),
        ("Escape", "SIGCONT"),
    ]

    def test_ok_waits_for_a_frozen_service(self):
        for action, resume in self.CASES:
            with self.subcase(action=action, resume=resume):
                self.ok_with_frozen_service(action, resume)

    def ok_with_frozen_service(self, action, resume):
        app = self.open_dialog("OrvaneTypeB")
        self.sim.proc.send_signal(signal.SIGSTOP)
        try:
            self.x.keys("space", "Tab", "Return")
            # The file is saved before the service is told.
            wait_until(lambda: b'Enable_Soft_Sidekey="1"' in self.read_config(),
                       what="the change saved")
            if action == "OK again, twice":
                self.x.keys("Return")
                self.x.keys("Return")
            elif action == "Cancel":
                self.x.keys("Tab", "Return")
            elif action == "Escape":
                self.x.key_down("Escape")
            try:
                # Still waiting for the frozen service a while later.
                with self.assertRaises(subprocess.TimeoutExpired):
                    app.proc.wait(2.0)
            finally:
                if action == "Escape":
                    self.x.key_up("Escape")
        finally:
            self.sim.proc.send_signal(getattr(signal, resume))
        saved = self.read_config()
        self.assertEqual(flags_of(saved, "OrvaneTypeB")["Enable_Soft_Sidekey"], "1")
        self.assert_clean_end(app, 0)
        self.assertEqual(self.read_config(), saved)
        self.x.wait_no_window(DIALOG_TITLE)
        if resume == "SIGCONT":
            self.sim.out.wait_for(lambda l: l == "disconnect")
            requests = self.sim.requests()
            # Told at least once, each start followed by its stop.
            self.assertEqual(requests[0], "connect SideKey")
            self.assertEqual(requests[-1], "disconnect")
            told = requests[1:-1]
            self.assertGreater(len(told), 0)
            self.assertEqual(sorted(set(told)), ["start -1", "stop -1"])
            self.assertEqual(told.count("start -1"), told.count("stop -1"))

    def test_setting_with_a_frozen_service_shows_nothing_until_it_answers(self):
        """"设置" hides the dialog, then waits for the answer to its start
        request ("28") before it opens the key-matching screen: while the
        service is frozen no window at all is on screen."""
        app = self.open_dialog("OrvaneTypeB", {"OrvaneTypeB": {
            "Is_Had_Hand": 0, "Enable_Soft_Sidekey": 1, "bKeyPen": 0}})
        before = self.read_config()
        self.sim.proc.send_signal(signal.SIGSTOP)
        try:
            self.x.keys("Tab", "Tab", "Tab", "Return")
            self.x.wait_no_window(DIALOG_TITLE)
            with self.assertRaises(subprocess.TimeoutExpired):
                app.proc.wait(2.0)
            self.assertEqual(self.x.windows(), [])
        finally:
            self.sim.proc.send_signal(signal.SIGCONT)
        self.sim.out.wait_for(lambda l: l == "start 28")
        wait_until(lambda: [name for _, name in self.x.windows()] == [""],
                   what="the key-matching screen")
        self.sim.send("drop")
        self.assert_clean_end(app, 0)
        self.assertEqual(app.lines()[-1], "oNDisconnect()")
        self.assertEqual(self.read_config(), before)


# ============================================================================
# 2. A service that accepts the connection and never answers
# ============================================================================

class SilentService:
    """A TCP server that accepts connections and reads what comes, and never
    writes a byte."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(5)
        self.port = self.sock.getsockname()[1]
        self.connections = []
        self.received = b""
        self._lock = threading.Lock()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with self._lock:
                self.connections.append(conn)
            threading.Thread(target=self._read, args=(conn,), daemon=True).start()

    def _read(self, conn):
        while True:
            try:
                data = conn.recv(4096)
            except OSError:
                return
            if not data:
                return
            with self._lock:
                self.received += data

    def data(self):
        with self._lock:
            return self.received

    def close(self):
        # shutdown() first: a plain close() while a reading thread is inside
        # recv() would not send the FIN.
        with self._lock:
            connections, self.connections = self.connections, []
        for conn in connections:
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            conn.close()
        self.sock.close()


class ServiceNeverAnswers(FaultTestCase):
    """A service that accepts the TCP connection and reads the topic but
    never answers.

    What the user sees: nothing at all, for 10 minutes. Start-up prints
    "aa" and then waits in the toolkit's connect step for the service to
    accept the topic: wxTCPClient::MakeConnection reads the answer with the
    socket's default timeout, 600 seconds, and as no event loop runs yet,
    nothing else happens meanwhile (measured: 600.5 s until "Failed to make
    connection to server" and the no-hardware box). The test watches for 20
    seconds; if the program is still waiting then (no window, no further
    line), it closes the service's end, upon which the connect step fails
    at once. Either way the no-hardware box must come, and Return ends the
    program with status 255.
    """

    OBSERVED = 20.0

    def test_start_up_waits_for_the_topic_to_be_accepted(self):
        service = SilentService()
        self.addCleanup(service.close)
        self.write_config(config_xml("OrvaneTypeB", service.port))
        app = self.start_app()

        def something_happened():
            return (app.proc.poll() is not None or self.x.windows()
                    or len(app.out.snapshot()) > 1)
        try:
            wait_until(something_happened, self.OBSERVED, interval=0.2)
        except AssertionError:
            # Still waiting for the service: nothing on screen.
            self.assertEqual(app.out.snapshot(), ["aa"])
            self.assertEqual(self.x.windows(), [])
        # The topic went out: IPC connect code 10, length 7, "SideKey".
        self.assertEqual(service.data(), b"\x0a\x07\x00\x00\x00SideKey")

        service.close()
        kind, box = self.wait_outcome(app)
        self.assertEqual(kind, "box", "stdout %r" % app.out.snapshot())
        self.dismiss_box(box)
        self.assert_clean_end(app, EXIT_AFTER_BOX)
        self.assertEqual(app.lines(), ["aa", "Failed to make connection to server"])


# ============================================================================
# 3. Another program rewriting the configuration file
# ============================================================================

class Rewriter(threading.Thread):
    """Rewrites a file in place again and again, the way other programs of
    the driver package do: open with truncation, write the content in
    chunks with short pauses, close. Stops when told, after a bounded time,
    or (when stop_on_replace) as soon as the file at the path is another
    file than the one it started on (someone renamed a new file over it)."""

    def __init__(self, path, content, cuts, pause=0.003, gap=0.015, limit=60.0,
                 stop_on_replace=False):
        super().__init__(daemon=True)
        self.path = path
        self.content = content
        bounds = [0] + list(cuts) + [len(content)]
        self.chunks = [content[a:b] for a, b in zip(bounds, bounds[1:])]
        self.pause = pause
        self.gap = gap
        self.limit = limit
        self.stop_on_replace = stop_on_replace
        self.rounds = 0
        self.replaced = False
        self._halt = threading.Event()

    def run(self):
        inode = os.stat(self.path).st_ino
        deadline = time.monotonic() + self.limit
        while not self._halt.is_set() and time.monotonic() < deadline:
            if self.stop_on_replace and os.stat(self.path).st_ino != inode:
                self.replaced = True
                return
            with open(self.path, "wb") as f:
                for i, chunk in enumerate(self.chunks):
                    f.write(chunk)
                    f.flush()
                    if i + 1 < len(self.chunks):
                        time.sleep(self.pause)
            self.rounds += 1
            self._halt.wait(self.gap)

    def finish(self):
        self._halt.set()
        self.join(TIMEOUT)


class Watcher(threading.Thread):
    """Reads the file over and over and keeps every content that is neither
    a stage of the rewriter's own writing (a prefix of its content) nor
    accepted by the check."""

    def __init__(self, path, rewritten, accept):
        super().__init__(daemon=True)
        self.path = path
        self.rewritten = rewritten
        self.accept = accept
        self.bad = []
        self.reads = 0
        self._halt = threading.Event()

    def run(self):
        while not self._halt.is_set():
            try:
                with open(self.path, "rb") as f:
                    data = f.read()
            except FileNotFoundError:
                self.bad.append(b"<no file>")
                continue
            self.reads += 1
            if not self.rewritten.startswith(data) and not self.accept(data):
                self.bad.append(data)
            self._halt.wait(0.001)

    def finish(self):
        self._halt.set()
        self.join(TIMEOUT)


class ConcurrentRewrite(FaultTestCase):
    """The configuration file rewritten by another program, over and over,
    while the program starts (four loads) and while OK saves a change. An
    unparseable file is tried again, up to 15 times, 200 ms apart, so every
    load finds the whole file; a save writes a new file and renames it over
    the old one, so nobody ever sees the program's file half-written.

    The rewriter cuts its writes at a third and two thirds of the file, where
    a cut-off file never parses. (A cut inside the first line is the
    subject of CaughtMidRewrite.)"""

    STORED = {"Is_Had_Hand": 0, "Enable_Soft_Sidekey": 1, "bKeyPen": 1}

    def rewritten_content(self):
        return config_xml("OrvaneTypeB", self.port, {"OrvaneTypeB": self.STORED}).encode()

    @staticmethod
    def is_our_save(data):
        """The program's save of the change made below: the switch turned off,
        the pen-tray choice kept as read."""
        try:
            return flags_of(data, "OrvaneTypeB") == {
                "Is_Had_Hand": "0", "Enable_Soft_Sidekey": "0", "bKeyPen": "1"}
        except (ET.ParseError, AttributeError):
            return False

    def test_loads_and_ok_while_the_file_is_rewritten(self):
        content = self.rewritten_content()
        self.write_config(content.decode())
        third = len(content) // 3
        rewriter = Rewriter(self.config_path, content, (third, 2 * third),
                            stop_on_replace=True)
        watcher = Watcher(self.config_path, content, self.is_our_save)
        self.addCleanup(rewriter.finish)
        self.addCleanup(watcher.finish)
        self.start_sim()
        # Rewriting starts when the program can start at once.
        wait_for_instance_lock()
        rewriter.start()
        watcher.start()
        app = self.start_app()
        dialog = self.x.wait_window(DIALOG_TITLE)
        self.assertEqual(app.out.wait_for(lambda l: l.startswith("workType:")),
                         "workType:OrvaneTypeB")
        self.x.activate(dialog)
        # The switch was read as on: one press turns it off; OK saves that
        # and the pen-tray choice as read (eraser).
        self.x.keys("space", "Tab")
        self.x.key_down("Return")
        try:
            self.assert_clean_end(app, 0)
        finally:
            self.x.key_up("Return")
        wait_until(lambda: not rewriter.is_alive(), what="the rewriter to see the save")
        watcher.finish()

        self.assertTrue(rewriter.replaced)
        self.assertGreater(rewriter.rounds, 10, "the rewriter hardly ran")
        self.assertGreater(watcher.reads, 100)
        self.assertEqual(watcher.bad, [])
        final = self.read_config()
        self.assertTrue(final == content or self.is_our_save(final), final)
        self.sim.out.wait_for(lambda l: l == "disconnect")
        self.assertEqual(self.sim.requests(),
                         ["connect SideKey", "start -1", "stop -1", "disconnect"])
        self.assertEqual([n for n in os.listdir(os.path.dirname(self.config_path))
                          if n.startswith("config.xml.")], [])


# TinyXML parses any start of a file up to the end of its first line without
# an error; the store must not take such a stub for the file.
class CaughtMidRewrite(FaultTestCase):
    """The file caught at one moment of another program's rewrite: only its
    first line, the XML declaration, is written yet (the first chunk of a
    writer that writes the declaration, then the document). The program
    must not take that for the whole file: it reads again until the rest is
    there (within its 15 attempts), and never saves such a stub over the
    file."""

    HOLD = 2.0  # well inside the 15 x 200 ms of retries

    def stub_and_rest(self, content):
        cut = content.index(b"\n") + 1
        return content[:cut], content[cut:]

    def test_at_start_up(self):
        content = config_xml("OrvaneTypeB", self.port).encode()
        stub, rest = self.stub_and_rest(content)
        self.start_sim()
        with open(self.config_path, "wb") as f:
            f.write(stub)
            f.flush()
            app = self.start_app()
            # The program may read the stub only after the rest has come:
            # nothing of it is printed before.
            try:
                app.out.wait_for(lambda l: l == "aa", self.HOLD)
            except AssertionError:
                pass
            f.write(rest)
        kind, window = self.wait_outcome(app, UNREADABLE_START)
        if kind == "box":
            self.dismiss_box(window)
            self.assert_clean_end(app, EXIT_AFTER_BOX)
        self.assertEqual(kind, "dialog", "stdout %r" % app.out.snapshot())
        self.assertEqual(app.out.wait_for(lambda l: l.startswith("workType:")),
                         "workType:OrvaneTypeB")
        self.close_dialog(window)
        self.assert_clean_end(app, 0)
        self.assertEqual(self.read_config(), content)

    def test_during_ok(self):
        app = self.open_dialog("OrvaneTypeB")
        content = self.read_config()
        stub, rest = self.stub_and_rest(content)
        inode = os.stat(self.config_path).st_ino
        with open(self.config_path, "r+b") as f:
            f.truncate(0)
            f.write(stub)
            f.flush()
            self.x.keys("space", "Tab")
            self.x.key_down("Return")
            self.x.key_up("Return")
            # Until the program has replaced the file, or for a while.
            try:
                wait_until(lambda: os.stat(self.config_path).st_ino != inode, self.HOLD)
            except AssertionError:
                pass
            f.write(rest)
        self.assert_clean_end(app, 0)
        final = self.read_config()
        try:
            got = flags_of(final, "OrvaneTypeB")
        except ET.ParseError:
            self.fail("the file was left as %r" % final)
        self.assertEqual(got, {"Is_Had_Hand": "0", "Enable_Soft_Sidekey": "1", "bKeyPen": "0"})


# ============================================================================
# 4. A full disk and a read-only folder
# ============================================================================

class DiskFaults(FaultTestCase):
    """OK after a change while the folder of the configuration file cannot
    take a new file: a tmpfs mounted over the folder that is full, that has
    no free inode, or that is mounted read-only. The save fails without a
    word: the file stays byte for byte as it was and no temporary file is
    left; the program still tells the service (start -1, stop -1), shows
    nothing and ends with status 0."""

    # case, tmpfs options
    CASES = [
        ("full", "size=64k"),
        ("no free inode", "size=1m,nr_inodes=8"),
        ("read-only", "size=64k"),
    ]

    def mount_tmpfs(self, folder, options):
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder],
                                capture_output=True, text=True)
        if result.returncode != 0:
            self.skipTest("cannot mount a tmpfs here (%s)" % result.stderr.strip())
        self.addCleanup(self.unmount, folder)

    @staticmethod
    def unmount(folder):
        if os.path.ismount(folder):
            if subprocess.run(["umount", folder], capture_output=True).returncode != 0:
                subprocess.run(["umount", "-l", folder], capture_output=True)

    @staticmethod
    def fill(folder, prefix, size):
        """Files of size bytes until the file system refuses; their names."""
        names = []
        for i in range(10000):
            try:
                with open(os.path.join(folder, "%s%d" % (prefix, i)), "wb") as f:
                    names.append(f.name.rsplit("/", 1)[1])
                    f.write(b"x" * size)
            except OSError:
                return names
        raise AssertionError("the file system never filled up")

    def test_ok_when_the_file_cannot_be_replaced(self):
        for case, options in self.CASES:
            with self.subcase(case):
                folder = os.path.dirname(self.config_path)
                try:
                    self.ok_on_a_bad_folder(case, options, folder)
                finally:
                    self.end_started()
                    self.unmount(folder)

    def ok_on_a_bad_folder(self, case, options, folder):
        self.mount_tmpfs(folder, options)
        app = self.open_dialog("OrvaneTypeB")
        fillers = []
        if case == "full":
            fillers = self.fill(folder, "filler", 4096)
        elif case == "no free inode":
            fillers = self.fill(folder, "empty", 0)
        else:
            subprocess.run(["mount", "-o", "remount,ro", folder], check=True)
        before = self.read_config()
        self.x.keys("space", "Tab")
        self.x.key_down("Return")
        try:
            self.assert_clean_end(app, 0)
        finally:
            self.x.key_up("Return")

        self.assertEqual(self.read_config(), before)
        self.assertEqual(sorted(os.listdir(folder)), sorted(["config.xml"] + fillers))
        self.assertEqual(app.lines(), ["aa", "workType:OrvaneTypeB"])
        self.sim.out.wait_for(lambda l: l == "disconnect")
        self.assertEqual(self.sim.requests(),
                         ["connect SideKey", "start -1", "stop -1", "disconnect"])


# ============================================================================
# 5. Hostile configuration files
# ============================================================================

def with_type(board_type, port, section="OrvaneTypeB"):
    """A whole file whose TYPE attribute is the given raw bytes."""
    text = config_xml("OrvaneTypeB", port, {section: {
        "Is_Had_Hand": 0, "Enable_Soft_Sidekey": 0, "bKeyPen": 0}}).encode()
    return text.replace(b'TYPE="OrvaneTypeB"', b'TYPE="' + board_type + b'"')


def with_flags(port, **attrs):
    flags = {"Is_Had_Hand": 0, "Enable_Soft_Sidekey": 0, "bKeyPen": 0}
    flags.update(attrs)
    return config_xml("OrvaneTypeB", port, {"OrvaneTypeB": flags}).encode()


def with_port_text(text):
    return config_xml("OrvaneTypeB", 1).replace('num="1"', 'num="%s"' % text).encode()


def deeply_nested(port, depth=100000):
    """The board's file, then an element nested depth levels deep."""
    head = config_xml("OrvaneTypeB", port).encode()
    deep = b"<a>" * depth + b"</a>" * depth
    return head.replace(b"</Config>", b"<Deep>" + deep + b"</Deep>\n</Config>")


def many_sections(port, size=5 * 1024 * 1024):
    """A file of about size bytes: thousands of other boards' sections, the
    board's own last."""
    section = ('    <Board%06d>\n        <Flag Is_Had_Hand="1" Enable_Soft_Sidekey="1" '
               'bKeyPen="1" Note="%s" />\n    </Board%06d>\n')
    parts = []
    total = 0
    while total < size:
        parts.append(section % (len(parts), "x" * 40, len(parts)))
        total += len(parts[-1])
    text = config_xml("OrvaneTypeB", port)
    own = text.index("    <OrvaneTypeB>")
    return (text[:own] + "".join(parts) + text[own:]).encode()


class HostileConfig(FaultTestCase):
    """Each file ends in a box ("警告", Return, status 255) or in the dialog
    (closed, status 0), as the program's rules say, and never in a crash.

    A file that cannot be parsed reads as no file: the port is 4869 and the
    board type empty, so the no-hardware box (a stand-in listens on 4869 when
    that port is free, so that the second load, of the board type, runs too;
    each failing load takes 15 x 200 ms). A number that does not fit an int
    is not read at all: the variable keeps what it had (a port of 0, so no
    connection; an Is_Had_Hand of -1 and switches of 0, so the dialog). A
    board type longer than 29 bytes, or not UTF-8, is no board type.
    """

    BOX, DIALOG = "box", "dialog"
    # Where the stand-in listens: on the file's port, on the default port
    # (when free), or nowhere (the file's port is unusable).
    OWN, DEFAULT, NONE = "own", "default", "none"

    CASES = [
        # name, content(port), stand-in, outcomes allowed, stdout (None: not checked)
        ("garbage bytes", lambda p: random.Random(7).randbytes(8192), DEFAULT, {BOX}, None),
        ("empty file", lambda p: b"", DEFAULT, {BOX}, None),
        ("NUL after a blank in the XML declaration",
         lambda p: b'<?xml \x00version="1.0"?>\n' + config_xml("OrvaneTypeB", p).encode(),
         DEFAULT, {BOX}, None),
        # TinyXML parses with one recursive call per level: without a limit
        # of the store's this overflows the stack (SIGSEGV). A refused file
        # (box) and a parsed one (dialog) are both fine.
        ("100,000 levels of nesting", deeply_nested, OWN, {BOX, DIALOG}, None),
        ("5 MB, thousands of sections, the board's own last", many_sections, OWN,
         {DIALOG}, ["aa", "workType:OrvaneTypeB"]),
        ("TYPE of 200 bytes", lambda p: with_type(b"B" * 200, p, "B" * 200), OWN, {BOX},
         ["aa", "workType:"]),
        ("TYPE of 30 bytes", lambda p: with_type(b"B" * 30, p, "B" * 30), OWN, {BOX},
         ["aa", "workType:"]),
        ("TYPE of 29 bytes", lambda p: with_type(b"B" * 29, p, "B" * 29), OWN, {DIALOG},
         ["aa", "workType:" + "B" * 29]),
        ("TYPE not UTF-8 (ff fe)", lambda p: with_type(b"\xff\xfeB", p), OWN, {BOX}, None),
        ("TYPE not UTF-8 (cut sequence)", lambda p: with_type(b"Orvane\xe4\xb8", p), OWN,
         {BOX}, None),
        # The toolkit's UTF-8 decoding lets an encoded surrogate through: a
        # board type nobody has, so the dialog for "another board" would do
        # as well as the box.
        ("TYPE not UTF-8 (surrogate)", lambda p: with_type(b"\xed\xa0\x80B", p), OWN,
         {BOX, DIALOG}, None),
        ("TYPE with XML-special characters",
         lambda p: with_type(b"&lt;B&amp;&quot;&apos;&gt;", p), OWN, {DIALOG},
         ["aa", "workType:<B&\"'>"]),
        ("port 99999999999", lambda p: with_port_text("99999999999"), NONE, {BOX},
         ["aa", "Failed to make connection to server"]),
        ("port -99999999999", lambda p: with_port_text("-99999999999"), NONE, {BOX},
         ["aa", "Failed to make connection to server"]),
        ("flags 99999999999",
         lambda p: with_flags(p, Is_Had_Hand="99999999999", Enable_Soft_Sidekey="99999999999",
                              bKeyPen="99999999999"),
         OWN, {DIALOG}, ["aa", "workType:OrvaneTypeB"]),
        ("flags -99999999999",
         lambda p: with_flags(p, Is_Had_Hand="-99999999999",
                              Enable_Soft_Sidekey="-99999999999", bKeyPen="-99999999999"),
         OWN, {DIALOG}, ["aa", "workType:OrvaneTypeB"]),
        # 2^32 + 1 would read as 1 if it wrapped: the no-soft-keys box.
        ("Is_Had_Hand 4294967297", lambda p: with_flags(p, Is_Had_Hand="4294967297"), OWN,
         {DIALOG}, ["aa", "workType:OrvaneTypeB"]),
    ]

    def test_hostile_files(self):
        for name, make, service, allowed, stdout in self.CASES:
            with self.subcase(name):
                self.run_hostile(make, service, allowed, stdout)

    def run_hostile(self, make, service, allowed, stdout):
        with open(self.config_path, "wb") as f:
            f.write(make(self.port))
        if service == self.OWN:
            self.sim = BoardSim(self.x, self.port)
        elif service == self.DEFAULT and port_is_free(4869):
            try:
                self.sim = BoardSim(self.x, 4869)
            except AssertionError:
                pass  # taken in the meantime: the program then connects or not
        app = self.app = self.start_app()
        kind, window = self.wait_outcome(app, UNREADABLE_START)
        self.assertIn(kind, allowed, "%s %r; stdout %r, stderr %s"
                      % (kind, window, app.out.snapshot(), app.errors()[-2000:]))
        if kind == self.BOX:
            self.dismiss_box(window)
            self.assert_clean_end(app, EXIT_AFTER_BOX, UNREADABLE_START)
        else:
            self.close_dialog(window)
            self.assert_clean_end(app, 0, UNREADABLE_START)
        if stdout is not None:
            self.assertEqual(app.lines()[:len(stdout)], stdout)

    def test_ok_saves_a_5_MB_file(self):
        content = many_sections(self.port)
        with open(self.config_path, "wb") as f:
            f.write(content)
        self.start_sim()
        app = self.start_app()
        dialog = self.x.wait_window(DIALOG_TITLE, UNREADABLE_START)
        self.x.activate(dialog)
        self.x.keys("space", "Tab")
        self.x.key_down("Return")
        try:
            self.assert_clean_end(app, 0, UNREADABLE_START)
        finally:
            self.x.key_up("Return")
        final = self.read_config()
        self.assertEqual(flags_of(final, "OrvaneTypeB"),
                         {"Is_Had_Hand": "0", "Enable_Soft_Sidekey": "1", "bKeyPen": "0"})
        self.assertEqual(len(ET.fromstring(final)), len(ET.fromstring(content)))
        self.sim.out.wait_for(lambda l: l == "disconnect")
        self.assertEqual(self.sim.requests(),
                         ["connect SideKey", "start -1", "stop -1", "disconnect"])


if __name__ == "__main__":
    unittest.main()
