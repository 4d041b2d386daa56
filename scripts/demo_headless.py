#!/usr/bin/env python3
"""One whole key-matching run on a private X server, for machines without a
display: the virtual whiteboard and orvane-sidekey from build/QMLT, an
"OrvaneTypeB" board, tick the switch, press "设置", 28 presses on the board.
Prints what the service received and what the utility wrote on stdout, and
leaves screenshots in build/screenshots/."""

import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                "tests", "blackbox"))

from harness import (DIALOG_TITLE, QMLT, BoardSim, SideKey, XServer,  # noqa: E402
                     wait_for_instance_lock, wait_until)

PORT = 4869  # the port the staged configuration names


def main():
    x = XServer("1024x768")
    sim = app = None
    try:
        sim = BoardSim(x, PORT, config=os.path.join(QMLT, "Config", "config.xml"),
                       headless=False, cwd=QMLT)
        board = x.wait_window("Virtual whiteboard")
        wait_for_instance_lock()
        app = SideKey(x, QMLT)
        dialog = x.wait_window(DIALOG_TITLE)
        x.activate(dialog)
        x.keys("space")                       # tick "开启软快捷"
        shot("dialog", x.screenshot_window(dialog, "demo-1-dialog.png"))
        x.keys("Tab", "Tab", "Tab", "Return")  # "设置"
        sim.out.wait_for(lambda l: l == "start 28")
        wait_until(lambda: any(name == "" and x.geometry(wid)[2:] == (1024, 768)
                               for wid, name in x.windows()), what="key-matching screen")
        app.out.wait_count("Onadvise", 0)
        shot("key matching at its start", x.screenshot("demo-2-matching-start.png"))
        sim.send("advise 14")
        app.out.wait_count("Onadvise", 14)
        shot("key matching after 14 presses", x.screenshot("demo-3-matching-14.png"))
        sim.send("advise 14")
        status = app.wait_exit()
        sim.out.wait_for(lambda l: l == "disconnect")
        shot("virtual whiteboard", x.screenshot_window(board, "demo-4-whiteboard.png"))

        print("\n--- the board service received ---")
        print("\n".join(sim.out.snapshot()))
        print("\n--- orvane-sidekey wrote ---")
        lines = app.lines()
        print("\n".join(l for l in lines if l != "Onadvise"))
        print("(and %d x Onadvise)" % lines.count("Onadvise"))
        print("\norvane-sidekey ended with status %d" % status)
        return 0 if status == 0 else 1
    finally:
        if app:
            app.kill()
        if sim:
            sim.stop()
        x.close()


def shot(what, path):
    print("screenshot of the %s: %s" % (what, os.path.relpath(path)))


if __name__ == "__main__":
    if not shutil.which("Xvfb"):
        sys.exit("Xvfb is missing: run scripts/install-deps")
    sys.exit(main())
