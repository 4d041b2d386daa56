"""Key matching from the "设置" button to the end of the program, driven by
the stand-in service's advise notifications."""

import os
import signal
import struct
import subprocess
import unittest

from harness import SideKeyTestCase, wait_until

SCREEN_W, SCREEN_H = 1024, 768
KEY_COUNT = {"OrvaneTypeA": 14, "OrvaneTypeB": 28, "SomeOtherBoard": 28}


def icon_centre(position, width=SCREEN_W, height=SCREEN_H):
    row = position % 14
    y = row * ((0.8 * height) / 13) + 0.1 * height - 18
    x = 0.3 * width if position < 14 else 0.7 * width - 36
    return int(x - 15) + 17, int(y - 15) + 17


class MatchingTestCase(SideKeyTestCase):

    def open_matching(self, board_type="OrvaneTypeB", stored_switch=0, extra_keys=()):
        """Dialog up; tick the switch if it is off; press "设置"; wait for the
        full-screen key-matching window."""
        app = self.open_dialog(board_type, {board_type: {
            "Is_Had_Hand": 0, "Enable_Soft_Sidekey": stored_switch, "bKeyPen": 0}})
        keys = [] if stored_switch else ["space"]
        keys += list(extra_keys) or ["Tab", "Tab", "Tab"]
        self.x.keys(*keys)
        self.x.key_down("Return")
        self.matching = self.x.wait_full_screen()
        self.x.key_up("Return")
        return app

    def advise(self, app, count, total):
        self.sim.send("advise %d" % count)
        app.out.wait_count("Onadvise", total)

    def assert_still_running(self, app):
        # The end comes at the next idle time after the last notification:
        # a live process a moment after the line is printed has not ended.
        with self.assertRaises(subprocess.TimeoutExpired):
            app.proc.wait(1.0)


class WholeRuns(MatchingTestCase):

    CASES = [
        ("OrvaneTypeA", True), ("OrvaneTypeA", False),
        ("OrvaneTypeB", True), ("OrvaneTypeB", False),
    ]

    def test_whole_run(self):
        for board_type, switch_changed in self.CASES:
            with self.subcase(board_type=board_type, switch_changed=switch_changed):
                count = KEY_COUNT[board_type]
                # On OrvaneTypeB also change the pen-tray choice: "设置" must not save it.
                extra = ()
                if board_type == "OrvaneTypeB":
                    extra = ("Tab", "Tab", "Tab", "Tab", "Right", "shift+Tab")
                app = self.open_matching(board_type, 0 if switch_changed else 1, extra)
                before = self.read_config()

                notice = ["start -1", "stop -1"] if switch_changed else []
                self.sim.out.wait_for(lambda l: l == "start %d" % count)
                self.assertEqual(self.sim.requests(),
                                 ["connect SideKey"] + notice + ["start %d" % count])
                if switch_changed:
                    self.assertIn(b'Enable_Soft_Sidekey="1"', before)
                self.assertIn(b'bKeyPen="0"', before)
                if count == 14 or board_type == "OrvaneTypeB":
                    self.x.screenshot("matching-%d.png" % count)

                self.advise(app, count - 1, count - 1)
                self.assert_still_running(app)
                self.sim.send("advise")
                self.assert_ended(app, 0)
                self.assertEqual(app.lines().count("Onadvise"), count)
                self.assertEqual(self.read_config(), before)
                self.sim.out.wait_for(lambda l: l == "disconnect")
                self.assertEqual(self.sim.requests()[-2:], ["start %d" % count, "disconnect"])


class EndingEarly(MatchingTestCase):

    def setUp(self):
        super().setUp()
        self.app = self.open_matching("OrvaneTypeB")
        self.advise(self.app, 5, 5)
        self.before = self.read_config()

    def tearDown(self):
        self.assertEqual(self.read_config(), self.before)

    def test_escape(self):
        self.x.key_down("Escape")
        try:
            self.assert_ended(self.app, 0)
        finally:
            self.x.key_up("Escape")

    def test_service_drops_the_link(self):
        self.sim.send("drop")
        self.assert_ended(self.app, 0)
        self.assertEqual(self.app.lines()[-1], "oNDisconnect()")

    def test_service_killed(self):
        self.sim.proc.send_signal(signal.SIGKILL)
        self.assert_ended(self.app, 0)
        self.assertEqual(self.app.lines()[-1], "oNDisconnect()")

    def test_window_manager_closes_the_screen_alone(self):
        self.x.run(["wmctrl", "-i", "-c", self.matching])
        self.x.wait_no_window("")
        self.advise(self.app, 30, 35)
        self.assertIsNone(self.app.proc.poll())
        self.sim.send("drop")
        self.assert_ended(self.app, 0)


class Bursts(MatchingTestCase):

    def test_back_to_back_notifications_are_all_counted(self):
        for burst in (28, 1000):
            with self.subcase(burst=burst):
                app = self.open_matching("OrvaneTypeB")
                self.sim.send("advise %d" % burst)
                self.assert_ended(app, 0)
                lines = app.lines()
                self.assertGreaterEqual(lines.count("Onadvise"), 28)


class MissingIconSet(MatchingTestCase):

    def test_run_works_without_the_pictures(self):
        import shutil
        shutil.rmtree(os.path.join(self.workdir, "Res", "sidekey_res"))
        app = self.open_matching("OrvaneTypeA")
        shot = self.x.screenshot("matching-no-icons.png")
        self.assertEqual(self.x.windows(), [(self.matching, "")])
        # Empty icon places: the background shows where the first icon would be.
        self.assertEqual(self.x.pixel(shot, *icon_centre(0)), self.x.pixel(shot, 5, 700))
        self.advise(app, 13, 13)
        self.assert_still_running(app)
        self.sim.send("advise")
        self.assert_ended(app, 0)
        self.assertIn("NewPage1.bmp", app.errors())


def write_bmp(path, rgb, size=35):
    row = bytes((rgb[2], rgb[1], rgb[0])) * size
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * size
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


class IconStatesOnScreen(MatchingTestCase):
    """With plain-colour icons, sample every icon centre on a real
    screenshot after 0, 13 and 14 notifications."""

    NORMAL, CURRENT, DONE = (128, 128, 128), (255, 255, 0), (0, 160, 0)

    def setUp(self):
        super().setUp()
        folder = os.path.join(self.workdir, "Res", "sidekey_res")
        for name in os.listdir(folder):
            state = int(name[-5])
            write_bmp(os.path.join(folder, name),
                      {1: self.NORMAL, 2: self.CURRENT, 3: self.DONE}[state])

    def expected(self, position, advances):
        if position < advances:
            return self.DONE
        return self.CURRENT if position == advances else self.NORMAL

    def test_states_after_advances(self):
        app = self.open_matching("OrvaneTypeB")
        done = 0
        for advances in (0, 13, 14):
            if advances > done:
                self.advise(app, advances - done, advances)
                done = advances
            shot = self.wait_for_state(advances)
            for position in range(28):
                with self.subTest(advances=advances, position=position):
                    self.assertEqual(self.x.pixel(shot, *icon_centre(position)),
                                     self.expected(position, advances))

    def wait_for_state(self, advances):
        # Drawing follows the notification; wait until the current icon shows.
        name = "matching-plain-%d.png" % advances
        def ready():
            shot = self.x.screenshot(name)
            return shot if self.x.pixel(shot, *icon_centre(advances)) == self.CURRENT else None
        return wait_until(ready, what="icon %d highlighted" % advances, interval=0.2)


if __name__ == "__main__":
    unittest.main()
