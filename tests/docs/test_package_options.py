#!/usr/bin/env python3
"""The installers' options, as the packaged READMEs and the install pages
list them, match each script's own usage text: the script is the one source,
and a copy that gains, loses or renames an option fails here."""
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
OPTION = re.compile(r"\[?((?:/|--)[a-z][a-z-]*)(?: ([A-Z_/][\w/|.-]*))?\]?")


def windows_usage():
    """From `echo usage: install-windows.cmd [/uninstall] [/browser NAME] ...`."""
    script = (ROOT / "install" / "install-windows.cmd").read_text()
    line = re.search(r"^echo usage: install-windows\.cmd (.*?) EXTENSION_ID", script, re.M)
    return dict(OPTION.findall(line.group(1)))


def linux_usage():
    """From the comment the script prints for --help: `#   install-linux.sh
    --extension ID [--path /abs/...] ...` and its continuation lines."""
    script = (ROOT / "install" / "install-linux.sh").read_text()
    usage = re.search(r"^#   install-linux\.sh (.*?)\n#\n", script, re.M | re.S).group(1)
    return {name for name, _ in OPTION.findall(usage)} - {"--help"}


def option_of(match):
    """An option and the name of its argument ("" for none)."""
    return match.group(1), match.group(2) or ""


def indented_options(text):
    """The block under a line starting "Options" in a packaged README: one
    option a line, indented, then what it does."""
    block = re.search(r"^Options.*?\n((?:    \S.*\n)+)", text, re.M).group(1)
    return dict(option_of(OPTION.match(line.strip())) for line in block.splitlines())


def table_options(text, sign):
    """Rows of a Markdown table whose first cell is an option in code, such
    as | `/path FULL_PATH` | ... |."""
    rows = re.findall(r"^\| `(%s[a-z][a-z-]*(?: [^`]*)?)` \|" % re.escape(sign), text, re.M)
    return dict(option_of(OPTION.fullmatch(row)) for row in rows)


def read(*parts):
    return (ROOT.joinpath(*parts)).read_text()


class OptionsMatchTheScripts(unittest.TestCase):
    def test_the_usage_texts_are_read(self):
        self.assertEqual(windows_usage().get("/path"), "FULL_PATH")
        self.assertIn("--system", linux_usage())

    def test_each_copy_lists_the_scripts_options(self):
        cases = [
            ("packaging/README-zip.txt", lambda: indented_options(read("packaging", "README-zip.txt")),
             windows_usage()),
            ("docs/install-windows.md", lambda: table_options(read("docs", "install-windows.md"), "/"),
             windows_usage()),
            ("docs/install-linux.md",
             lambda: set(table_options(read("docs", "install-linux.md"), "--")), linux_usage()),
        ]
        for name, listed, usage in cases:
            with self.subTest(copy=name):
                self.assertEqual(listed(), usage)

    def test_the_readers_see_what_they_should(self):
        self.assertEqual(indented_options("Options:\n    /path FULL_PATH  where\n    /machine  all\n\nx"),
                         {"/path": "FULL_PATH", "/machine": ""})
        self.assertEqual(table_options("| `--system` | a |\n| `--path FILE` | b |\n| x | y |", "--"),
                         {"--system": "", "--path": "FILE"})


if __name__ == "__main__":
    unittest.main()
