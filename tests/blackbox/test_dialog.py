"""The settings dialog as a user drives it with the keyboard: what it
shows, what OK writes and tells the service, and every way out.

Keyboard traversal follows the creation order: the check box (which has the
focus), OK, Cancel, "设置" (only while enabled), then the pen-tray radios.
"""

import unittest
import xml.etree.ElementTree as ET

from harness import DIALOG_TITLE, MESSAGE_TITLE, SideKeyTestCase


def flags(config_bytes, section):
    root = ET.fromstring(config_bytes)
    return dict(root.find(section).find("Flag").attrib)


class DialogPerBoardType(SideKeyTestCase):

    def test_pen_tray_group_only_for_OrvaneTypeB(self):
        heights = {}
        for board_type in ("OrvaneTypeA", "OrvaneTypeB", "orvanetypeb", "SomeOtherBoard"):
            with self.subcase(board_type=board_type):
                app = self.open_dialog(board_type)
                self.assertEqual(app.out.wait_for(lambda l: l.startswith("workType:")),
                                 "workType:" + board_type)
                heights[board_type] = self.x.geometry(self.dialog)[3]
                if board_type in ("OrvaneTypeA", "OrvaneTypeB"):
                    self.x.screenshot_window(self.dialog, "dialog-%s.png" % board_type)
                self.x.run(["wmctrl", "-i", "-c", self.dialog])
                self.assert_ended(app, 0)
                self.x.wait_no_window(DIALOG_TITLE)
        self.assertGreater(heights["OrvaneTypeB"], heights["OrvaneTypeA"] + 30)
        self.assertEqual(heights["orvanetypeb"], heights["OrvaneTypeA"])
        self.assertEqual(heights["SomeOtherBoard"], heights["OrvaneTypeA"])


class OkButton(SideKeyTestCase):
    """OK writes both flags and notifies the service only when something
    changed, and always ends the program, without further input."""

    CASES = [
        # name, board type, stored flags, keys before OK, expected flags, notified
        ("nothing changed", "OrvaneTypeB",
         {"Enable_Soft_Sidekey": 0, "bKeyPen": 0}, [], None, False),
        ("switch turned on", "OrvaneTypeB",
         {"Enable_Soft_Sidekey": 0, "bKeyPen": 0}, ["space"],
         {"Enable_Soft_Sidekey": "1", "bKeyPen": "0"}, True),
        ("switch turned off", "OrvaneTypeA",
         {"Enable_Soft_Sidekey": 1, "bKeyPen": 0}, ["space"],
         {"Enable_Soft_Sidekey": "0", "bKeyPen": "0"}, True),
        ("switch off and on again", "OrvaneTypeB",
         {"Enable_Soft_Sidekey": 1, "bKeyPen": 1}, ["space", "space"], None, False),
        ("stored 2, off and on again", "OrvaneTypeB",
         {"Enable_Soft_Sidekey": 2, "bKeyPen": 0}, ["space", "space"],
         {"Enable_Soft_Sidekey": "1", "bKeyPen": "0"}, True),
        ("only the pen-tray key changed", "OrvaneTypeB",
         {"Enable_Soft_Sidekey": 0, "bKeyPen": 0}, ["Tab", "Tab", "Tab", "Right"],
         {"Enable_Soft_Sidekey": "0", "bKeyPen": "1"}, True),
        ("stored bKeyPen 5 is kept as the eraser", "OrvaneTypeB",
         {"Enable_Soft_Sidekey": 0, "bKeyPen": 5}, [], None, False),
        ("no pen-tray group: bKeyPen written as 0", "OrvaneTypeA",
         {"Enable_Soft_Sidekey": 0, "bKeyPen": 1}, ["space"],
         {"Enable_Soft_Sidekey": "1", "bKeyPen": "0"}, True),
    ]

    def test_ok(self):
        for name, board_type, stored, keys, expected, notified in self.CASES:
            with self.subcase(name):
                attrs = dict({"Is_Had_Hand": 0}, **stored)
                app = self.open_dialog(board_type, {board_type: attrs, "Other": {"x": "1"}})
                before = self.read_config()
                if keys:
                    self.x.keys(*keys)
                # From wherever the keys left the focus, reach OK from the
                # check box: Shift+Tab back to it first.
                self.focus_ok(keys)
                self.x.key_down("Return")
                self.assert_ended(app, 0)
                self.x.key_up("Return")

                after = self.read_config()
                if expected is None:
                    self.assertEqual(after, before)
                else:
                    want = before
                    for attr, value in expected.items():
                        want = want.replace(('%s="%s"' % (attr, stored[attr])).encode(),
                                            ('%s="%s"' % (attr, value)).encode())
                    self.assertEqual(after.decode(), want.decode())
                self.sim.out.wait_for(lambda l: l == "disconnect")
                middle = ["start -1", "stop -1"] if notified else []
                self.assertEqual(self.sim.requests(),
                                 ["connect SideKey"] + middle + ["disconnect"])

    def focus_ok(self, keys):
        if "Right" in keys:
            # On a radio button: Cancel, then OK, backwards.
            self.x.keys("shift+Tab", "shift+Tab")
        else:
            self.x.keys("Tab")


class WaysOut(SideKeyTestCase):
    """Each ends the program at once, writes nothing and sends nothing."""

    def assert_nothing_written_or_sent(self, before):
        self.assertEqual(self.read_config(), before)
        self.sim.out.wait_for(lambda l: l == "disconnect")
        self.assertEqual(self.sim.requests(), ["connect SideKey", "disconnect"])

    def test_cancel(self):
        app = self.open_dialog()
        before = self.read_config()
        self.x.keys("space", "Tab", "Tab")
        self.x.key_down("Return")
        self.assert_ended(app, 0)
        self.x.key_up("Return")
        self.assert_nothing_written_or_sent(before)
        self.assertEqual(app.lines(), ["aa", "workType:OrvaneTypeB"])

    def test_close_box(self):
        app = self.open_dialog()
        before = self.read_config()
        self.x.keys("space")
        self.x.run(["wmctrl", "-i", "-c", self.dialog])
        self.assert_ended(app, 0)
        self.assertEqual(app.lines(), ["aa", "workType:OrvaneTypeB", "in MainDialog::OnClose"])
        self.assert_nothing_written_or_sent(before)

    def test_escape_held_down(self):
        app = self.open_dialog()
        before = self.read_config()
        self.x.keys("space")
        self.x.key_down("Escape")
        try:
            self.assert_ended(app, 0)
        finally:
            self.x.key_up("Escape")
        self.assert_nothing_written_or_sent(before)

    def test_service_drops_the_link(self):
        app = self.open_dialog()
        before = self.read_config()
        self.sim.send("drop")
        self.assert_ended(app, 0)
        self.assertEqual(app.lines(), ["aa", "workType:OrvaneTypeB", "oNDisconnect()"])
        self.assertEqual(self.read_config(), before)
        self.assertEqual(self.sim.requests(), ["connect SideKey"])

    def test_advise_before_key_matching_only_prints(self):
        app = self.open_dialog()
        self.sim.send("advise 3")
        app.out.wait_count("Onadvise", 3)
        self.x.wait_window(DIALOG_TITLE)
        self.assertIsNone(app.proc.poll())
        self.x.run(["wmctrl", "-i", "-c", self.dialog])
        self.assert_ended(app, 0)


class CtrlAltI(SideKeyTestCase):

    def test_shows_the_web_address_and_nothing_else_gets_the_key(self):
        app = self.open_dialog()
        before = self.read_config()
        self.x.keys("ctrl+alt+i")
        box = self.x.wait_window(MESSAGE_TITLE)
        self.x.screenshot("box-web-address.png")
        self.x.activate(box)
        self.x.keys("Return")
        self.x.wait_no_window(MESSAGE_TITLE)
        self.assertIsNone(app.proc.poll())
        self.x.activate(self.dialog)
        self.x.keys("Tab", "Tab")
        self.x.key_down("Return")
        self.assert_ended(app, 0)
        self.x.key_up("Return")
        self.assertEqual(self.read_config(), before)


if __name__ == "__main__":
    unittest.main()
