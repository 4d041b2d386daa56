"""The Debian package: built with cpack into a temporary folder, listed and
unpacked with dpkg-deb into a temporary root (never onto this machine), its
tree, control data and dependencies checked, lintian run on it when it is
installed, and the unpacked program started from the unpacked data on a
private X server against the stand-in board service.

Needs a configured and built tree: SIDEKEY_BUILD_DIR (default build/).
"""

import glob
import gzip
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "blackbox"))

import harness  # noqa: E402  (the black-box harness: X server, stand-in, waits)

BUILD_DIR = os.path.abspath(harness.BUILD_DIR)
CPACK = os.environ.get("SIDEKEY_CPACK", "cpack")
WORK_DIR = "/usr/share/OrvaneDrv/QMLT"
CONFFILE = WORK_DIR + "/Config/config.xml"
PACKAGE = "orvane-sidekey"
ENGLISH_TITLE = "Soft Shortcut Settings"

# Everything the package may hold: its own folders and its entries in the
# shared ones. Parent folders of these are allowed as folders only.
OWN_TREES = [WORK_DIR + "/", "/usr/share/doc/%s/" % PACKAGE]
OWN_FILES = [
    "/usr/bin/orvane-sidekey",
    "/usr/share/applications/orvane-sidekey.desktop",
    "/usr/share/icons/hicolor/48x48/apps/orvane-sidekey.png",
    "/usr/share/man/man1/orvane-sidekey.1.gz",
    "/usr/share/lintian/overrides/orvane-sidekey",
]


def run(args, **kwargs):
    kwargs.setdefault("timeout", 600)
    result = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s%s" % (" ".join(args), result.returncode,
                                                       result.stdout, result.stderr))
    return result.stdout


def project_version():
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                return line.split("=", 1)[1].strip()
    raise AssertionError("no CMAKE_PROJECT_VERSION in the build's cache")


def read_png(path):
    """(width, height, [rgba rows]) of an 8-bit RGBA, non-interlaced PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError(path + " is no PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise AssertionError("%s: not 8-bit RGBA non-interlaced: %r" % (path, header))
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = previous[i]
            c = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def read_xpm(path):
    """(width, height, [rgba rows]) of an XPM with #RRGGBB and None colours."""
    with open(path, encoding="ascii") as f:
        strings = re.findall(r'"((?:[^"\\]|\\.)*)"', f.read())
    width, height, ncolours, cpp = (int(v) for v in strings[0].split()[:4])
    colours = {}
    for entry in strings[1:1 + ncolours]:
        key, value = entry[:cpp], entry[cpp:].split()
        colour = value[value.index("c") + 1]
        colours[key] = (b"\0\0\0\0" if colour.lower() == "none"
                        else bytes.fromhex(colour.lstrip("#")) + b"\xff")
    rows = []
    for line in strings[1 + ncolours:1 + ncolours + height]:
        rows.append(b"".join(colours[line[i:i + cpp]] for i in range(0, width * cpp, cpp)))
    return width, height, rows


def without_hidden_colour(rows):
    """Rows with the colour of fully transparent pixels left out."""
    out = []
    for row in rows:
        out.append(b"".join(row[i:i + 4] if row[i + 3] else b"\0\0\0\0"
                            for i in range(0, len(row), 4)))
    return out


class DebianPackage(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        for tool in ("dpkg-deb", "dpkg-shlibdeps"):
            if not shutil.which(tool):
                raise unittest.SkipTest(tool + " not installed (scripts/install-deps)")
        cls.tmp = tempfile.mkdtemp(prefix="sidekey-deb-")
        out = os.path.join(cls.tmp, "out")
        log = run([CPACK, "-G", "DEB", "-B", out,
                   "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake")], cwd=BUILD_DIR)
        cls.version = project_version()
        cls.deb = os.path.join(out, "%s_%s_amd64.deb" % (PACKAGE, cls.version))
        if not os.path.isfile(cls.deb):
            raise AssertionError("no %s; cpack wrote %r\n%s" % (
                os.path.basename(cls.deb), glob.glob(os.path.join(out, "*.deb")), log))
        cls.root = os.path.join(cls.tmp, "root")
        run(["dpkg-deb", "-x", cls.deb, cls.root])
        cls.control = os.path.join(cls.tmp, "control")
        run(["dpkg-deb", "-e", cls.deb, cls.control])
        cls.listing = run(["dpkg-deb", "-c", cls.deb])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, True)

    def field(self, name):
        return run(["dpkg-deb", "-f", self.deb, name]).strip()

    def listed(self):
        """[(mode, owner, path)] of dpkg-deb -c, paths absolute."""
        entries = []
        for line in self.listing.splitlines():
            parts = line.split(None, 5)
            path = parts[5].split(" -> ")[0]
            entries.append((parts[0], parts[1], "/" + path.lstrip("./").rstrip("/")
                            + ("/" if parts[0].startswith("d") else "")))
        return entries

    def unpacked(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    # ------------------------------------------------------------- the tree

    def test_file_name_and_control_fields(self):
        arch = run(["dpkg", "--print-architecture"]).strip()
        self.assertEqual(arch, "amd64", "the package name below assumes amd64")
        self.assertEqual(self.field("Package"), PACKAGE)
        self.assertEqual(self.field("Version"), self.version)
        self.assertEqual(self.field("Architecture"), arch)
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^@<>\s]+@[^@<>\s]+>$")
        self.assertTrue(self.field("Section"))
        self.assertTrue(self.field("Priority"))
        description = self.field("Description")
        self.assertGreater(len(description.splitlines()), 2, "an extended description")

    def test_nothing_outside_its_own_folders(self):
        allowed_dirs = set()
        for path in OWN_FILES + OWN_TREES:
            parts = path.strip("/").split("/")
            for i in range(len(parts) - (0 if path.endswith("/") else 1)):
                allowed_dirs.add("/" + "/".join(parts[:i + 1]) + "/")
        for mode, owner, path in self.listed():
            with self.subTest(path=path):
                self.assertEqual(owner, "root/root")
                if path.endswith("/"):
                    ok = path in allowed_dirs or any(path.startswith(t) for t in OWN_TREES)
                    self.assertTrue(ok, "folder outside the package's own: " + path)
                    self.assertEqual(mode, "drwxr-xr-x")
                else:
                    ok = path in OWN_FILES or any(path.startswith(t) for t in OWN_TREES)
                    self.assertTrue(ok, "file outside the package's own: " + path)
                    expected = "-rwxr-xr-x" if path == "/usr/bin/orvane-sidekey" else "-rw-r--r--"
                    self.assertEqual(mode, expected)
        paths = {p for _, _, p in self.listed()}
        for path in OWN_FILES:
            self.assertIn(path, paths)
        self.assertFalse([p for p in paths if "board-sim" in p], "the stand-in is not packaged")

    def test_working_directory_tree_is_the_built_one(self):
        staged = os.path.join(BUILD_DIR, "QMLT")
        packed = self.unpacked(WORK_DIR)
        names = lambda top: sorted(os.path.relpath(os.path.join(d, f), top)
                                   for d, _, fs in os.walk(top) for f in fs)
        self.assertEqual(names(packed), names(staged))
        for name in names(staged):
            with open(os.path.join(staged, name), "rb") as a, \
                    open(os.path.join(packed, name), "rb") as b:
                self.assertTrue(a.read() == b.read(), name + " differs from build/QMLT")
        for name in ("Config/config.xml", "Res/Sidekey.ico",
                     "LANG/zh_CN/LC_MESSAGES/OrvaneDrv.mo",
                     "LANG/en_US/LC_MESSAGES/OrvaneDrv.mo", "LANG/en_US/OrvaneDrv.mo"):
            self.assertIn(name, names(packed))
        self.assertEqual(len(glob.glob(os.path.join(packed, "Res", "sidekey_res", "*.bmp"))), 42)

    def test_program_looks_where_the_tree_is(self):
        with open(self.unpacked("/usr/bin/orvane-sidekey"), "rb") as f:
            binary = f.read()
        self.assertIn(WORK_DIR.encode() + b"\0", binary)
        if shutil.which("file"):
            kind = run(["file", "-b", self.unpacked("/usr/bin/orvane-sidekey")]).strip()
            self.assertTrue(kind.endswith("stripped") and "not stripped" not in kind, kind)

    def test_sample_configuration_is_a_conffile(self):
        with open(os.path.join(self.control, "conffiles"), encoding="utf-8") as f:
            self.assertEqual(f.read(), CONFFILE + "\n")
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.control, "conffiles")).st_mode),
                         0o644)
        self.assertTrue(os.path.isfile(self.unpacked(CONFFILE)))
        # dpkg's own check of md5sums covers the conffile too.
        with open(os.path.join(self.control, "md5sums"), encoding="utf-8") as f:
            self.assertIn(CONFFILE.lstrip("/"), f.read())

    def test_depends_come_from_the_shared_libraries(self):
        depends = self.field("Depends")
        needed = re.findall(r"\(NEEDED\).*\[(.+)\]",
                            run(["readelf", "-d", self.unpacked("/usr/bin/orvane-sidekey")]))
        self.assertTrue(any(n.startswith("libwx_gtk3u_core-3.2") for n in needed), needed)
        self.assertTrue(any(n.startswith("libtinyxml") for n in needed), needed)
        cache = run(["ldconfig", "-p"])
        for lib in needed:
            with self.subTest(library=lib):
                match = re.search(r"^\s*%s \(.*x86-64.*\) => (\S+)$" % re.escape(lib), cache, re.M)
                self.assertIsNotNone(match, lib + " not in the linker cache")
                owner = self.owning_package(match.group(1))
                self.assertRegex(depends, r"(^|, )%s( |,|$)" % re.escape(owner),
                                 "%s comes from %s" % (lib, owner))
        self.assertRegex(depends, r"libwxgtk3\.2")
        self.assertRegex(depends, r"libtinyxml")

    @staticmethod
    def owning_package(path):
        """The Debian package of a file, whichever of its names (merged /usr:
        /lib and /usr/lib) dpkg knows it by."""
        real = os.path.realpath(path)
        candidates = [path, real]
        for name in (path, real):
            if name.startswith("/usr/lib/"):
                candidates.append(name[len("/usr"):])
            elif name.startswith("/lib/"):
                candidates.append("/usr" + name)
        for name in candidates:
            result = subprocess.run(["dpkg", "-S", name], capture_output=True, text=True,
                                    timeout=60)
            if result.returncode == 0:
                return result.stdout.split(":")[0]
        raise AssertionError("no package owns " + path)

    def test_desktop_entry(self):
        path = self.unpacked("/usr/share/applications/orvane-sidekey.desktop")
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], "[Desktop Entry]")
        entry = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
        self.assertEqual(entry["Type"], "Application")
        self.assertEqual(entry["Name"], ENGLISH_TITLE)
        self.assertEqual(entry["Name[zh_CN]"], harness.DIALOG_TITLE)
        self.assertEqual(entry["Exec"], "orvane-sidekey")
        self.assertEqual(entry["Categories"], "Settings;HardwareSettings;")
        self.assertTrue(os.access(self.unpacked("/usr/bin/" + entry["Exec"]), os.X_OK))
        icon = self.unpacked("/usr/share/icons/hicolor/48x48/apps/%s.png" % entry["Icon"])
        self.assertTrue(os.path.isfile(icon))
        if shutil.which("desktop-file-validate"):
            self.assertEqual(run(["desktop-file-validate", path]).strip(), "")

    def test_icon_is_the_dialog_icon(self):
        # install/share/icons/.../orvane-sidekey.png is Res/Sidekey.ico as
        # PNG (redraw: cmake --build build --target desktop-icon).
        png = read_png(self.unpacked("/usr/share/icons/hicolor/48x48/apps/orvane-sidekey.png"))
        xpm = read_xpm(os.path.join(BUILD_DIR, "QMLT", "Res", "Sidekey.ico"))
        self.assertEqual(png[:2], (48, 48))
        self.assertEqual(xpm[:2], (48, 48))
        self.assertTrue(without_hidden_colour(png[2]) == without_hidden_colour(xpm[2]),
                        "the desktop icon differs from Res/Sidekey.ico")

    def test_documentation(self):
        doc = self.unpacked("/usr/share/doc/%s" % PACKAGE)
        self.assertEqual(sorted(os.listdir(doc)), ["changelog.gz", "copyright"])
        with gzip.open(os.path.join(doc, "changelog.gz"), "rt", encoding="utf-8") as f:
            first = f.readline()
        self.assertTrue(first.startswith("%s (%s) " % (PACKAGE, self.version)), first)
        with gzip.open(self.unpacked("/usr/share/man/man1/orvane-sidekey.1.gz"), "rt") as f:
            self.assertIn(".TH ORVANE-SIDEKEY 1", f.read())

    def dpkg(self, root, *args):
        """dpkg on a temporary root with its own database; the package's
        libraries are this machine's, so its Depends are not looked at."""
        return run(["dpkg", "--root=" + root, "--log=/dev/null", "--force-depends",
                    "--force-confold"] + list(args), stdin=subprocess.DEVNULL)

    def newer_package(self, version, config_text=None):
        """This package with another version (and sample configuration)."""
        tree = os.path.join(self.tmp, "repack-" + version)
        shutil.rmtree(tree, True)
        run(["dpkg-deb", "-R", self.deb, tree])
        control = os.path.join(tree, "DEBIAN", "control")
        with open(control, encoding="utf-8") as f:
            text = f.read()
        with open(control, "w", encoding="utf-8") as f:
            f.write(re.sub(r"(?m)^Version: .*$", "Version: " + version, text))
        if config_text is not None:
            with open(os.path.join(tree, CONFFILE.lstrip("/")), "w", encoding="utf-8") as f:
                f.write(config_text)
            # md5sums must match what dpkg unpacks.
            subprocess.run(["sh", "-c", "cd '%s' && find usr -type f -print0 | sort -z | "
                            "xargs -0 md5sum > DEBIAN/md5sums" % tree], check=True)
        deb = os.path.join(self.tmp, "%s_%s_amd64.deb" % (PACKAGE, version))
        run(["dpkg-deb", "--root-owner-group", "-b", tree, deb])
        return deb

    def test_upgrade_keeps_the_users_configuration(self):
        if os.geteuid() != 0:
            self.skipTest("dpkg --root needs root to give the files their owner")
        root = os.path.join(self.tmp, "dpkg-root")
        for folder in ("var/lib/dpkg/info", "var/lib/dpkg/updates"):
            os.makedirs(os.path.join(root, folder))
        open(os.path.join(root, "var/lib/dpkg/status"), "w").close()
        config = os.path.join(root, CONFFILE.lstrip("/"))

        self.dpkg(root, "-i", self.deb)
        with open(os.path.join(root, "var/lib/dpkg/info/%s.conffiles" % PACKAGE)) as f:
            self.assertEqual(f.read().split(), [CONFFILE])
        with open(config, encoding="utf-8") as f:
            shipped = f.read()
        users = shipped.replace('Enable_Soft_Sidekey="0"', 'Enable_Soft_Sidekey="1"')
        self.assertNotEqual(users, shipped)
        with open(config, "w", encoding="utf-8") as f:
            f.write(users)

        # An upgrade with the same sample file, then one with a new one.
        self.dpkg(root, "-i", self.newer_package(self.version + ".1"))
        with open(config, encoding="utf-8") as f:
            self.assertEqual(f.read(), users)
        newer_sample = shipped.replace("<Config>", "<Config>\n    <!-- newer sample -->")
        self.dpkg(root, "-i", self.newer_package(self.version + ".2", newer_sample))
        with open(config, encoding="utf-8") as f:
            self.assertEqual(f.read(), users)
        with open(config + ".dpkg-dist", encoding="utf-8") as f:
            self.assertEqual(f.read(), newer_sample)
        status = run(["dpkg-query", "--admindir=" + os.path.join(root, "var/lib/dpkg"),
                      "-W", "-f", "${Version} ${db:Status-Status}", PACKAGE])
        self.assertEqual(status, self.version + ".2 installed")

    def test_lintian_finds_no_error(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian not installed (scripts/install-deps)")
        result = subprocess.run(["lintian", "--tag-display-limit", "0", "--fail-on", "error",
                                 self.deb], capture_output=True, text=True, timeout=600)
        errors = [l for l in result.stdout.splitlines() if l.startswith("E:")]
        self.assertEqual(errors, [], result.stdout + result.stderr)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    # ------------------------------------------------------ the program run

    def test_unpacked_program_opens_the_dialog_from_the_unpacked_data(self):
        if os.path.exists(WORK_DIR):
            self.skipTest(WORK_DIR + " exists on this machine: the program would use it "
                          "instead of the unpacked tree")
        for lang, title in (("en_US.UTF-8", ENGLISH_TITLE),
                            ("zh_CN.UTF-8", harness.DIALOG_TITLE)):
            with self.subTest(lang=lang):
                self.run_unpacked(lang, title)

    def run_unpacked(self, lang, title):
        x = harness.XServer()
        self.addCleanup(x.close)
        for var in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
            x.env.pop(var, None)
        # The program falls back to its start folder: a copy of the unpacked
        # tree, with the port of our own stand-in.
        work = tempfile.mkdtemp(prefix="sidekey-deb-run-")
        self.addCleanup(shutil.rmtree, work, True)
        qmlt = os.path.join(work, "QMLT")
        shutil.copytree(self.unpacked(WORK_DIR), qmlt)
        port = harness.free_port()
        config = os.path.join(qmlt, "Config", "config.xml")
        with open(config, encoding="utf-8") as f:
            text = f.read()
        text, count = re.subn(r'<port num="\d+"', '<port num="%d"' % port, text)
        self.assertEqual(count, 1)
        with open(config, "w", encoding="utf-8") as f:
            f.write(text)

        sim = harness.BoardSim(x, port)
        self.addCleanup(sim.stop)
        app, out = self.start_when_free(x, qmlt, dict(x.env, LANG=lang))

        harness.wait_until(lambda: [n for _, n in x.windows() if n],
                           what="a window of the unpacked program")
        self.assertEqual([n for _, n in x.windows() if n], [title])
        dialog = x.wait_window(title)
        sim.out.wait_for(lambda l: l == "connect SideKey")
        out.wait_for(lambda l: l == "workType:OrvaneTypeB")
        x.activate(dialog)
        x.screenshot_window(dialog, "package-dialog-%s.png" % lang.split(".")[0])
        self.assertIsNone(app.poll())
        app.kill()
        app.wait()
        out.join()
        sim.stop()
        x.close()

    def start_when_free(self, x, workdir, env, attempts=10):
        """The unpacked program, started again while another copy (another
        test run on this machine) took the single-instance lock between our
        wait for it and our start: such a start shows only the
        already-running box."""
        for _ in range(attempts):
            harness.wait_for_instance_lock()
            stderr = tempfile.TemporaryFile()
            self.addCleanup(stderr.close)
            app = subprocess.Popen([self.unpacked("/usr/bin/orvane-sidekey")], cwd=workdir,
                                   env=env, stdout=subprocess.PIPE, stderr=stderr)
            out = harness.LineReader(app.stdout)

            def stop(app=app, out=out):
                if app.poll() is None:
                    app.kill()
                    app.wait()
                out.join()
            self.addCleanup(stop)
            harness.wait_until(lambda: x.windows() or app.poll() is not None,
                               what="a window of the unpacked program")
            # Every window of a start-up but that box has a title.
            if [n for _, n in x.windows() if n] or app.poll() is not None:
                return app, out
            stop()
            harness.wait_until(lambda: not x.windows(), what="the already-running box to go")
        raise AssertionError("another orvane-sidekey kept the lock")


if __name__ == "__main__":
    unittest.main()
