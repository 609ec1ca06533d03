#!/usr/bin/env python3
"""Every `make` target and every repository path that the docs name in code
(a `span` or a fenced block) exists, so that a command copied from them finds
what it names. Build outputs (build/, dist/) are made, not kept, and are left
out, as are paths with a placeholder such as <version>."""
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DOCS = sorted([ROOT / "README.md", ROOT / "CHANGELOG.md", ROOT / "ARCHITECTURE.md",
               ROOT / "examples" / "example_app" / "README.md",
               *(ROOT / "docs").glob("*.md")])
# The repository's top folders; a path in the docs starting with one of them
# is a repository path.
TOP_FOLDERS = ("src", "tests", "install", "packaging", "scripts", "tools", "examples",
               "docs", "bench", "fuzz", "resources", "cmake", ".github", ".ci")
PATH = re.compile(r"(?<![\w./\\~$%-])((?:" + "|".join(map(re.escape, TOP_FOLDERS)) +
                  r")/[\w.@/-]*)")
MAKE = re.compile(r"\bmake ([a-z][\w-]*)(?![\w=])")
CODE = re.compile(r"```[^\n]*\n(.*?)```|`([^`\n]+)`", re.S)


def code_of(text):
    return [block or span for block, span in CODE.findall(text)]


def make_targets():
    makefile = (ROOT / "Makefile").read_text()
    return set(re.findall(r"^([\w-]+):(?!=)", makefile, re.M))


def named_paths(code):
    for found in PATH.findall(code):
        path = found.rstrip(".")
        if "node_modules" not in path:
            yield path


def exists(path):
    """A path, or a stem such as tests/support/fake_platform that names the
    files beside it (fake_platform.h, fake_platform.cpp)."""
    found = ROOT / path
    return found.exists() or any(found.parent.glob(found.name + ".*"))


class NamedThingsExist(unittest.TestCase):
    def test_the_docs_are_found(self):
        self.assertGreater(len(DOCS), 10)

    def test_every_make_target_exists(self):
        targets = make_targets()
        self.assertIn("check", targets)
        for doc in DOCS:
            for code in code_of(doc.read_text()):
                for target in MAKE.findall(code):
                    with self.subTest(doc=doc.name, target=target):
                        self.assertIn(target, targets, f"{doc}: make {target}")

    def test_every_repository_path_exists(self):
        for doc in DOCS:
            for code in code_of(doc.read_text()):
                for path in named_paths(code):
                    with self.subTest(doc=doc.name, path=path):
                        self.assertTrue(exists(path), f"{doc}: {path}")

    def test_the_finders_see_what_they_should(self):
        cases = [
            ("run `make demo` then make check", {"demo"}, set()),
            ("`make dist EXTENSION_IDS=\"a\"`", {"dist"}, set()),
            ("`make FUZZ_SECONDS=1`", set(), set()),
            ("see `tests/browser/extension/`.", set(), {"tests/browser/extension/"}),
            ("`build/native/tavorin_shim` and `/usr/lib/mozilla/x`", set(), set()),
            ("`~/.mozilla/tools/x` `$HOME/src/x` `C:\\src\\x`", set(), set()),
        ]
        for text, targets, paths in cases:
            with self.subTest(text=text):
                code = "\n".join(code_of(text))
                self.assertEqual(set(MAKE.findall(code)), targets)
                self.assertEqual(set(named_paths(code)), paths)


if __name__ == "__main__":
    unittest.main()
