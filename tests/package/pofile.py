"""A small reader for gettext PO and POT files: enough for the checks of the
catalogs (msgid, msgstr, flags; obsolete "#~" entries are skipped)."""

import ast


class Entry:
    def __init__(self):
        self.msgctxt = None
        self.msgid = None
        self.msgid_plural = None
        self.msgstr = {}        # index -> text; plain msgstr is index 0
        self.flags = set()
        self.line = 0

    @property
    def key(self):
        return (self.msgctxt, self.msgid)

    @property
    def fuzzy(self):
        return "fuzzy" in self.flags

    @property
    def translated(self):
        return bool(self.msgstr) and all(self.msgstr.values())


def _unquote(text):
    text = text.strip()
    if not (text.startswith('"') and text.endswith('"')):
        raise ValueError("not a quoted string: %r" % text)
    # PO strings use C escapes, which Python's string literals share for the
    # ones gettext writes (\n \t \" \\).
    return ast.literal_eval(text)


def parse(path):
    """The entries of a PO file, header (msgid "") included, in file order."""
    entries = []
    entry = Entry()
    field = None

    def finish():
        nonlocal entry, field
        if entry.msgid is not None:
            entries.append(entry)
        entry = Entry()
        field = None

    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            stripped = line.strip()
            if not stripped:
                finish()
                continue
            if stripped.startswith("#~"):
                continue
            if stripped.startswith("#,"):
                if entry.msgid is not None:
                    finish()
                entry.flags.update(flag.strip() for flag in stripped[2:].split(","))
                continue
            if stripped.startswith("#"):
                if entry.msgid is not None:
                    finish()
                continue
            if stripped.startswith('"'):
                if field is None:
                    raise ValueError("%s:%d: continuation without a field" % (path, number))
                kind, index = field
                value = _unquote(stripped)
                if kind == "msgstr":
                    entry.msgstr[index] += value
                else:
                    setattr(entry, kind, getattr(entry, kind) + value)
                continue
            keyword, _, rest = stripped.partition(" ")
            if keyword == "msgctxt":
                if entry.msgid is not None:
                    finish()
                entry.msgctxt = _unquote(rest)
                field = ("msgctxt", None)
            elif keyword == "msgid":
                if entry.msgid is not None:
                    finish()
                entry.msgid = _unquote(rest)
                entry.line = number
                field = ("msgid", None)
            elif keyword == "msgid_plural":
                entry.msgid_plural = _unquote(rest)
                field = ("msgid_plural", None)
            elif keyword == "msgstr":
                entry.msgstr[0] = _unquote(rest)
                field = ("msgstr", 0)
            elif keyword.startswith("msgstr["):
                index = int(keyword[len("msgstr["):-1])
                entry.msgstr[index] = _unquote(rest)
                field = ("msgstr", index)
            else:
                raise ValueError("%s:%d: cannot read %r" % (path, number, line))
    finish()
    return entries


def messages(path):
    """{(msgctxt, msgid): Entry} without the header."""
    return {e.key: e for e in parse(path) if e.msgid != ""}
