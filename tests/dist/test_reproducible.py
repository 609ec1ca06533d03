"""Two clean builds of the same sources, in two folders of different names
and depths, give the same bytes: the Windows program, the Linux host, and
every file make dist writes (MSI, zip, tarball, developer kit, SHA256SUMS).

Copies the work tree (the files git knows, committed or not) twice and
builds the programs in each copy, two jobs at a time.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EPOCH = "1700000000"


def copy_tree(destination):
    files = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                            "--exclude-standard"], capture_output=True, check=True).stdout
    for name in filter(None, files.decode().split("\0")):
        source = os.path.join(ROOT, name)
        if os.path.isfile(source):  # files deleted but not yet committed are skipped
            os.makedirs(os.path.dirname(os.path.join(destination, name)), exist_ok=True)
            shutil.copy2(source, os.path.join(destination, name))


def build(tree):
    quiet = dict(check=True, cwd=tree, stdout=subprocess.DEVNULL)
    for preset, options, targets in (
            ("windows", [], ["tavorin_shim", "tavorin_doctor", "tavorin_windows_check"]),
            ("native", ["-DTAVORIN_BUILD_TESTS=OFF"], ["tavorin_shim", "tavorin_doctor"])):
        subprocess.run(["cmake", "--preset", preset, *options], **quiet)
        subprocess.run(["cmake", "--build", "--preset", preset, "--target", *targets], **quiet)
    subprocess.run([sys.executable, "scripts/dist.py"], **quiet,
                   env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH, SIGN_PKCS12="",
                            SIGN_PASSWORD_FILE="", EXTENSION_IDS=""))


class Reproducible(unittest.TestCase):
    def test_two_builds_in_different_folders_are_byte_identical(self):
        scratch = tempfile.mkdtemp(prefix="tavorin-repro-")
        self.addCleanup(shutil.rmtree, scratch)
        first = os.path.join(scratch, "a")
        second = os.path.join(scratch, "somewhere", "else", "tavorin-source-tree")
        for tree in (first, second):
            copy_tree(tree)
            build(tree)

        for program in ("build/windows/tavorin_shim.exe", "build/native/tavorin_shim",
                        "build/windows/tavorin_doctor.exe", "build/native/tavorin_doctor",
                        "build/windows/tavorin_windows_check.exe",
                        "build/windows/tavorin_example_app.exe"):
            with self.subTest(program):
                self.assertTrue(filecmp.cmp(os.path.join(first, program),
                                            os.path.join(second, program), shallow=False))
        names = sorted(os.listdir(os.path.join(first, "dist")))
        self.assertEqual(len(names), 6)
        self.assertEqual(names, sorted(os.listdir(os.path.join(second, "dist"))))
        for name in names:
            with self.subTest(name):
                self.assertTrue(filecmp.cmp(os.path.join(first, "dist", name),
                                            os.path.join(second, "dist", name), shallow=False))


if __name__ == "__main__":
    unittest.main()
