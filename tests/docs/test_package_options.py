#!/usr/bin/env python3
"""The installers' options, as the packaged READMEs and the install pages
list them, match each script's own usage text, and the MSI's README names
the manifests and browsers the package registers, as conditionally as the
package does: the script and the package are the sources, and a copy that
drifts from them fails here."""
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


# The browser each NativeMessagingHosts key of the package serves, as the
# README names it.
KEY_BROWSERS = {"Google\\Chrome": "Chrome", "Chromium": "Chromium",
                "Microsoft\\Edge": "Edge", "Mozilla": "Firefox"}


def msi_registrations():
    """{manifest: (browsers, conditional)} from packaging/tavorin_shim.wxs:
    each manifest with the browsers whose keys are written beside it, in the
    same <?if ?> block, and whether that block makes it conditional."""
    wxs = read("packaging", "tavorin_shim.wxs")
    found = {}
    for block in re.split(r"<\?endif\?>", wxs):
        conditional = "<?if" in block
        block = block.split("<?if")[-1]
        browsers = {KEY_BROWSERS[key] for key in
                    re.findall(r'Key="SOFTWARE\\(.+?)\\NativeMessagingHosts', block)}
        for manifest in re.findall(r'Name="(com\.tavorin\.desktop[.a-z]*\.json)"', block):
            found[manifest] = (browsers, conditional)
    return found


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

    def test_the_msi_readme_names_what_the_package_registers(self):
        registered = msi_registrations()
        self.assertEqual(len(registered), 2)
        readme = " ".join(read("packaging", "README-msi.txt").split())
        self.assertEqual(set(re.findall(r"com\.tavorin\.desktop[.a-z]*\.json", readme)),
                         set(registered))
        for manifest, (browsers, conditional) in registered.items():
            with self.subTest(manifest=manifest):
                said = re.split(r"com\.tavorin|\. ", readme.split(manifest + " with ", 1)[1])[0]
                for browser in browsers:
                    self.assertIn(browser, said)
                self.assertEqual("only when the package allows" in readme, conditional)

    def test_the_readers_see_what_they_should(self):
        self.assertEqual(indented_options("Options:\n    /path FULL_PATH  where\n    /machine  all\n\nx"),
                         {"/path": "FULL_PATH", "/machine": ""})
        self.assertEqual(table_options("| `--system` | a |\n| `--path FILE` | b |\n| x | y |", "--"),
                         {"--system": "", "--path": "FILE"})


if __name__ == "__main__":
    unittest.main()
