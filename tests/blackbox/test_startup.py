"""Start-up: the message boxes that end the program, and what the service
and stdout see on the way."""

import os
import unittest

from harness import (DIALOG_TITLE, MESSAGE_TITLE, SLOW_LOAD, TIMEOUT, WARNING_TITLE,
                     SideKeyTestCase, config_xml, port_is_free)

EXIT_AFTER_BOX = 255  # -1 as the shell sees it


class StartupBoxes(SideKeyTestCase):

    def dismiss(self, title):
        box = self.x.wait_window(title, TIMEOUT + 2 * SLOW_LOAD)
        self.x.activate(box)
        self.x.keys("Return")
        return box

    def test_no_service(self):
        self.write_config(config_xml("OrvaneTypeB", self.port))
        app = self.start_app()
        self.dismiss(WARNING_TITLE)
        self.assert_ended(app, EXIT_AFTER_BOX)
        self.assertEqual(app.lines(), ["aa", "Failed to make connection to server"])

    def test_port_element_without_number_cannot_connect(self):
        # The port then reads as 0, which no service listens on.
        self.write_config(config_xml("OrvaneTypeB", self.port).replace(
            '<port num="%d" />' % self.port, "<port />"))
        self.start_sim()
        app = self.start_app()
        self.dismiss(WARNING_TITLE)
        self.assert_ended(app, EXIT_AFTER_BOX)
        self.assertEqual(app.lines(), ["aa", "Failed to make connection to server"])
        self.assertEqual(self.sim.requests(), [])

    def test_missing_config_uses_default_port_then_warns(self):
        if not port_is_free(4869):
            self.skipTest("port 4869 is in use on this machine")
        os.remove(self.config_path)
        self.start_sim(4869)
        app = self.start_app()
        self.dismiss(WARNING_TITLE)
        self.assert_ended(app, EXIT_AFTER_BOX)
        self.assertEqual(app.lines(), ["aa", "workType:"])
        self.sim.out.wait_for(lambda l: l == "disconnect")
        self.assertEqual(self.sim.requests(), ["connect SideKey", "disconnect"])
        self.assertFalse(os.path.exists(self.config_path), "the program created the file")

    def test_board_without_soft_keys(self):
        self.write_config(config_xml("OrvaneTypeB", self.port, {
            "OrvaneTypeB": {"Is_Had_Hand": 1, "Enable_Soft_Sidekey": 0, "bKeyPen": 0}}))
        self.start_sim()
        app = self.start_app()
        box = self.x.wait_window(WARNING_TITLE)
        self.x.screenshot("box-no-soft-keys.png")
        self.x.activate(box)
        self.x.keys("Return")
        self.assert_ended(app, EXIT_AFTER_BOX)
        self.assertEqual(app.lines(), ["aa", "workType:OrvaneTypeB"])

    def test_empty_or_missing_board_type(self):
        for board_type in ("", None):
            with self.subcase(board_type=board_type):
                self.write_config(config_xml(board_type, self.port, flags={}))
                self.start_sim()
                app = self.start_app()
                box = self.x.wait_window(WARNING_TITLE)
                if board_type is None:
                    self.x.screenshot("box-no-hardware.png")
                self.x.activate(box)
                self.x.keys("Return")
                self.assert_ended(app, EXIT_AFTER_BOX)
                self.assertEqual(app.lines(), ["aa", "workType:"])
                self.x.wait_no_window(WARNING_TITLE)

    def test_second_copy_is_refused_before_contacting_the_service(self):
        first = self.open_dialog()
        second = self.start_app(first=False)
        box = self.x.wait_window(MESSAGE_TITLE)
        self.x.screenshot("box-already-running.png")
        self.x.activate(box)
        self.x.keys("Return")
        self.assert_ended(second, EXIT_AFTER_BOX)
        self.assertEqual(second.lines(), [])
        self.assertEqual(self.sim.requests(), ["connect SideKey"])
        # The first copy runs on, untouched.
        self.assertIsNone(first.proc.poll())
        self.x.wait_window(DIALOG_TITLE)


class FlagDecidesWhetherTheDialogOpens(SideKeyTestCase):
    """Only Is_Had_Hand read as exactly 1 stops start-up."""

    CASES = [
        ("zero", {"Is_Had_Hand": 0}),
        ("two", {"Is_Had_Hand": 2}),
        ("minus one", {"Is_Had_Hand": -1}),
        ("not a number", {"Is_Had_Hand": "abc"}),
        ("attribute missing", {"Enable_Soft_Sidekey": 0}),
        ("Flag element missing", None),
    ]

    def test_dialog_opens(self):
        for name, attrs in self.CASES:
            with self.subcase(name):
                self.write_config(config_xml("OrvaneTypeA", self.port, {"OrvaneTypeA": attrs}))
                self.start_sim()
                app = self.start_app()
                dialog = self.x.wait_window(DIALOG_TITLE)
                self.assertEqual(app.out.wait_for(lambda l: l.startswith("workType:")),
                                 "workType:OrvaneTypeA")
                self.x.run(["wmctrl", "-i", "-c", dialog])
                self.assert_ended(app, 0)


if __name__ == "__main__":
    unittest.main()
