"""The message catalogs against the sources: every "_" text of src/ is in
the template po/OrvaneDrv.pot and has a finished (translated, not fuzzy)
entry in po/en_US.po and po/zh_CN.po.

The texts are extracted afresh with xgettext, by the same script the build's
"pot" target runs (po/UpdatePot.cmake), into a temporary file. When this
fails after a change of the texts:

    cmake --build build --target pot        # the template
    cmake --build build --target update-po  # merged into the catalogs
    # then translate the new or fuzzy entries of po/*.po
"""

import ast
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import pofile

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PO_DIR = os.path.join(SOURCE_DIR, "po")
POT = os.path.join(PO_DIR, "OrvaneDrv.pot")
CMAKE = os.environ.get("SIDEKEY_CMAKE", "cmake")
FALLBACK = "en_US"

# A "_" call with one literal or adjacent literals, as the sources write them.
LITERAL_CALL = re.compile(r'(?<![\w])_\(\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+)\)')


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def source_files():
    for root, _, files in os.walk(os.path.join(SOURCE_DIR, "src")):
        for name in sorted(files):
            if name.endswith((".cpp", ".h")):
                yield os.path.join(root, name)


def literals_in_sources():
    """{text: "file:line"} of every _("...") call with literal text."""
    found = {}
    for path in source_files():
        text = read(path)
        # Comments may quote the macro; they are no calls.
        text = re.sub(r"//[^\n]*", lambda m: " " * len(m.group(0)), text)
        text = re.sub(r"/\*.*?\*/", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text,
                      flags=re.S)
        for match in LITERAL_CALL.finditer(text):
            parts = re.findall(r'"((?:[^"\\\n]|\\.)*)"', match.group(1))
            value = "".join(ast.literal_eval('"%s"' % p) for p in parts)
            line = text.count("\n", 0, match.start()) + 1
            found.setdefault(value, "%s:%d" % (os.path.relpath(path, SOURCE_DIR), line))
    return found


def describe(keys):
    return "\n".join("  %r" % (msgid,) for _, msgid in sorted(keys, key=lambda k: k[1]))


class Catalogs(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not shutil.which("xgettext"):
            raise unittest.SkipTest("xgettext not installed (Debian package gettext)")
        cls.tmp = tempfile.mkdtemp(prefix="sidekey-pot-")
        fresh = os.path.join(cls.tmp, "fresh.pot")
        result = subprocess.run(
            [CMAKE, "-DSOURCE_DIR=" + SOURCE_DIR, "-DPOT=" + fresh, "-DFORCE=ON",
             "-P", os.path.join(PO_DIR, "UpdatePot.cmake")],
            capture_output=True, text=True, timeout=120)
        if result.returncode != 0:
            raise AssertionError("extraction failed:\n" + result.stdout + result.stderr)
        cls.fresh = pofile.messages(fresh)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, True)

    def catalogs(self):
        names = sorted(n for n in os.listdir(PO_DIR) if n.endswith(".po"))
        self.assertIn(FALLBACK + ".po", names)
        return [os.path.join(PO_DIR, n) for n in names]

    def test_extraction_finds_every_literal(self):
        # Guards the extraction itself (keywords, options): every _("...")
        # that a plain reading of the sources finds is in xgettext's result.
        literals = literals_in_sources()
        self.assertTrue(literals, "no _(\"...\") call found in src/")
        extracted = {msgid for _, msgid in self.fresh}
        missing = {text: where for text, where in literals.items() if text not in extracted}
        self.assertEqual(missing, {}, "texts xgettext did not extract")

    def test_template_is_up_to_date(self):
        committed = pofile.messages(POT)
        missing = set(self.fresh) - set(committed)
        stale = set(committed) - set(self.fresh)
        self.assertFalse(missing, "texts of src/ missing from po/OrvaneDrv.pot "
                         "(cmake --build build --target pot):\n" + describe(missing))
        self.assertFalse(stale, "texts of po/OrvaneDrv.pot no longer in src/ "
                         "(cmake --build build --target pot):\n" + describe(stale))

    def test_every_catalog_translates_every_text(self):
        for path in self.catalogs():
            with self.subTest(catalog=os.path.basename(path)):
                entries = pofile.messages(path)
                missing = set(self.fresh) - set(entries)
                unfinished = {k for k in set(self.fresh) & set(entries)
                              if entries[k].fuzzy or not entries[k].translated}
                self.assertFalse(missing, "%s lacks:\n%s" % (path, describe(missing)))
                self.assertFalse(unfinished, "%s has untranslated or fuzzy:\n%s"
                                 % (path, describe(unfinished)))

    def test_catalogs_compile_with_checks(self):
        for path in self.catalogs():
            with self.subTest(catalog=os.path.basename(path)):
                result = subprocess.run(["msgfmt", "--check", "-o", os.devnull, path],
                                        capture_output=True, text=True, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)

    def test_english_is_english(self):
        entries = pofile.messages(os.path.join(PO_DIR, FALLBACK + ".po"))
        for key in self.fresh:
            text = entries[key].msgstr[0] if key in entries else ""
            with self.subTest(msgid=key[1]):
                self.assertTrue(text.isascii() and text.strip(), "not English: %r" % text)
                self.assertEqual(text.count("\n"), key[1].count("\n"),
                                 "the line breaks of the text should stay")

    def test_chinese_is_the_text_as_written(self):
        entries = pofile.messages(os.path.join(PO_DIR, "zh_CN.po"))
        for key in self.fresh:
            with self.subTest(msgid=key[1]):
                self.assertTrue(key in entries, "missing from po/zh_CN.po")
                self.assertEqual(entries[key].msgstr[0], key[1])


if __name__ == "__main__":
    unittest.main()
