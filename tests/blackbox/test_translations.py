"""Translations: which catalog of LANG/ the program finds for the system
language, seen through the dialog's window title (and a caption and a
screenshot or two).

The toolkit (wxWidgets 3.2) looks for catalog "OrvaneDrv" under the prefix
LANG in LANG/<X>/LC_MESSAGES and LANG/<X>, for X = <lang>.UTF-8, <lang>,
<base language>. A language without a catalog (or a locale that is not
installed, which the toolkit reports as an unknown language) ends with the
second locale set-up for English (U.S.), which finds LANG/en_US.

Every test leaves the language to LANG alone: LC_ALL, LC_MESSAGES and
LANGUAGE are taken out of the program's environment.
"""

import os
import shutil
import subprocess
import unittest

from harness import (DIALOG_TITLE, MESSAGE_TITLE, SideKeyTestCase, config_xml,
                     wait_for_instance_lock, wait_until)

ENGLISH_TITLE = "Soft Shortcut Settings"
ENGLISH_WARNING = "Warning"
EXIT_AFTER_BOX = 255  # -1 as the shell sees it

# Tried in this order for "a locale that is not installed".
UNINSTALLED_CANDIDATES = ["fr_FR.UTF-8", "it_IT.UTF-8", "es_ES.UTF-8", "pt_BR.UTF-8",
                          "nl_NL.UTF-8", "sv_SE.UTF-8"]


def _normalise(name):
    return name.lower().replace("utf-8", "utf8")


def installed_locales():
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
    return {_normalise(line.strip()) for line in out.splitlines() if line.strip()}


def locale_installed(name):
    return _normalise(name) in installed_locales()


def uninstalled_locale():
    have = installed_locales()
    for name in UNINSTALLED_CANDIDATES:
        if _normalise(name) not in have:
            return name
    return None


class Translations(SideKeyTestCase):

    def setUp(self):
        super().setUp()
        for var in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
            self.x.env.pop(var, None)

    # ------------------------------------------------------------- helpers

    def start_app_when_free(self, env, attempts=10):
        """start_app, again while another copy (another test run on this
        machine) took the single-instance lock between the harness's wait
        and our start: such a start shows only the already-running box."""
        for _ in range(attempts):
            wait_for_instance_lock()
            app = self.start_app(env=env)
            wait_until(lambda: self.x.windows() or app.proc.poll() is not None,
                       what="a window of orvane-sidekey")
            # Every window of a start-up but that box has a title.
            if self.titled_windows() or app.proc.poll() is not None:
                return app
            box = self.x.wait_window(MESSAGE_TITLE)
            self.x.activate(box)
            self.x.keys("Return")
            self.assertEqual(app.wait_exit(), EXIT_AFTER_BOX)
            app.kill()
            self.app = None
            self.x.wait_no_window(MESSAGE_TITLE)
        raise AssertionError("another orvane-sidekey kept the lock")

    def titled_windows(self):
        return [name for _, name in self.x.windows() if name]

    def start_in(self, lang, board_type="OrvaneTypeB", flags=None, sim=True):
        """The program under LANG=lang with the service up; returns the app
        once a titled window is mapped (the dialog, or whatever else)."""
        self.write_config(config_xml(board_type, self.port, flags))
        if sim:
            self.start_sim()
        app = self.start_app_when_free({"LANG": lang})
        wait_until(self.titled_windows, what="a window of orvane-sidekey under " + lang)
        return app

    def assert_dialog_title(self, lang, expected, **kwargs):
        app = self.start_in(lang, **kwargs)
        self.assertEqual(self.titled_windows(), [expected],
                         "LANG=%s; stderr: %s" % (lang, app.errors()))
        self.sim.out.wait_for(lambda l: l == "connect SideKey")
        return app, self.x.wait_window(expected)

    def remove(self, *relative):
        path = os.path.join(self.workdir, *relative)
        self.assertTrue(os.path.exists(path), path)
        if os.path.isdir(path):
            shutil.rmtree(path)
        else:
            os.remove(path)

    def round_trip(self, dialog, title):
        """Ctrl+Alt+I: the web-address box shows and goes. When it has been
        seen, the program has long been idle since start-up: anything it
        meant to show by then is mapped."""
        self.x.activate(dialog)
        self.x.keys("ctrl+alt+i")
        box = wait_until(lambda: next((wid for wid, name in self.x.windows()
                                       if name == MESSAGE_TITLE and wid != dialog), None),
                         what="the web-address box")
        self.assertEqual(sorted(name for _, name in self.x.windows()),
                         sorted([title, MESSAGE_TITLE]))
        self.x.activate(box)
        self.x.keys("Return")
        wait_until(lambda: len(self.x.windows()) == 1, what="the web-address box to go")

    # --------------------------------------------------------------- tests

    def test_english_system_sees_english(self):
        app, dialog = self.assert_dialog_title("en_US.UTF-8", ENGLISH_TITLE)
        self.x.activate(dialog)
        self.x.screenshot_window(dialog, "dialog-english.png")
        self.assertEqual(app.proc.poll(), None)

    def test_chinese_system_sees_chinese(self):
        if not locale_installed("zh_CN.UTF-8"):
            self.skipTest("zh_CN.UTF-8 is not installed (scripts/install-deps)")
        _, dialog = self.assert_dialog_title("zh_CN.UTF-8", DIALOG_TITLE)
        self.x.activate(dialog)
        self.x.screenshot_window(dialog, "dialog-chinese.png")

    def test_other_language_sees_english(self):
        # de_DE has no catalog of its own, installed or not.
        self.assert_dialog_title("de_DE.UTF-8", ENGLISH_TITLE)

    def test_locale_not_installed_sees_english_and_no_other_window(self):
        lang = uninstalled_locale()
        if lang is None:
            self.skipTest("every candidate locale is installed here")
        app, dialog = self.assert_dialog_title(lang, ENGLISH_TITLE)
        self.round_trip(dialog, ENGLISH_TITLE)
        self.assertEqual(self.titled_windows(), [ENGLISH_TITLE])
        self.assertEqual(app.proc.poll(), None)

    def test_without_catalogs_an_english_system_sees_chinese(self):
        self.remove("LANG")
        self.assert_dialog_title("en_US.UTF-8", DIALOG_TITLE)

    def test_without_catalogs_another_language_sees_chinese(self):
        self.remove("LANG")
        self.assert_dialog_title("de_DE.UTF-8", DIALOG_TITLE)

    def test_fallback_catalog_alone_gives_english(self):
        # Only LANG/en_US/OrvaneDrv.mo: it serves English and every other
        # language.
        self.remove("LANG", "en_US", "LC_MESSAGES")
        self.remove("LANG", "zh_CN")
        self.assertEqual(sorted(os.listdir(os.path.join(self.workdir, "LANG"))), ["en_US"])
        app, _ = self.assert_dialog_title("de_DE.UTF-8", ENGLISH_TITLE)
        app.kill()
        self.sim.out.wait_for(lambda l: l == "disconnect")
        self.app = None
        second = self.start_app_when_free({"LANG": "en_US.UTF-8"})
        wait_until(self.titled_windows, what="the dialog under en_US.UTF-8")
        self.assertEqual(self.titled_windows(), [ENGLISH_TITLE], second.errors())

    def test_chinese_system_without_its_catalog_sees_english(self):
        self.remove("LANG", "zh_CN")
        self.assert_dialog_title("zh_CN.UTF-8", ENGLISH_TITLE)

    def test_english_start_up_box(self):
        # No service: the no-hardware box, captioned in English.
        app = self.start_in("en_US.UTF-8", sim=False)
        self.assertEqual(self.titled_windows(), [ENGLISH_WARNING])
        box = self.x.wait_window(ENGLISH_WARNING)
        self.x.activate(box)
        self.x.screenshot_window(box, "box-no-hardware-english.png")
        self.x.keys("Return")
        self.assertEqual(app.wait_exit(), EXIT_AFTER_BOX)

    def test_english_key_matching_screen(self):
        app, dialog = self.assert_dialog_title("en_US.UTF-8", ENGLISH_TITLE, flags={
            "OrvaneTypeB": {"Is_Had_Hand": 0, "Enable_Soft_Sidekey": 1, "bKeyPen": 0}})
        self.x.activate(dialog)
        # Focus order: switch, OK, Cancel, "Set Up".
        self.x.keys("Tab", "Tab", "Tab")
        self.x.key_down("Return")
        window = self.x.wait_full_screen()
        self.x.key_up("Return")
        self.sim.out.wait_for(lambda l: l == "start 28")
        self.x.screenshot_window(window, "keymatching-english.png")
        self.assertEqual(app.proc.poll(), None)


if __name__ == "__main__":
    unittest.main()
