"""A clean build of the same sources, in a folder of another name and
depth, gives the same bytes as the build in build/ that `make test` has
just made: the Windows programs, the Linux host and doctor, and every file
make dist writes from them (MSI, zip, tarball, developer kit, SHA256SUMS).

Copies the work tree (the files git knows, committed or not) once and
builds the programs there with the same presets, two jobs at a time; build/
must be up to date with the work tree, as `make test` leaves it.
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
            ("native", [], ["tavorin_shim", "tavorin_doctor"])):
        subprocess.run(["cmake", "--preset", preset, *options], **quiet)
        subprocess.run(["cmake", "--build", "--preset", preset, "--target", *targets], **quiet)


def dist(tree, out):
    """make dist's files from the tree's build/, into `out`."""
    subprocess.run([sys.executable, "scripts/dist.py", "--out", out], check=True, cwd=tree,
                   stdout=subprocess.DEVNULL,
                   env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH, SIGN_PKCS12="",
                            SIGN_PASSWORD_FILE="", EXTENSION_IDS=""))


class Reproducible(unittest.TestCase):
    def test_two_builds_in_different_folders_are_byte_identical(self):
        scratch = tempfile.mkdtemp(prefix="tavorin-repro-")
        self.addCleanup(shutil.rmtree, scratch)
        first = ROOT
        second = os.path.join(scratch, "somewhere", "else", "tavorin-source-tree")
        copy_tree(second)
        build(second)
        dist(first, os.path.join(scratch, "first-dist"))
        dist(second, os.path.join(scratch, "second-dist"))

        for program in ("build/windows/tavorin_shim.exe", "build/native/tavorin_shim",
                        "build/windows/tavorin_doctor.exe", "build/native/tavorin_doctor",
                        "build/windows/tavorin_windows_check.exe",
                        "build/windows/tavorin_example_app.exe"):
            with self.subTest(program):
                self.assertTrue(filecmp.cmp(os.path.join(first, program),
                                            os.path.join(second, program), shallow=False))
        names = sorted(os.listdir(os.path.join(scratch, "first-dist")))
        self.assertEqual(len(names), 6)
        self.assertEqual(names, sorted(os.listdir(os.path.join(scratch, "second-dist"))))
        for name in names:
            with self.subTest(name):
                self.assertTrue(filecmp.cmp(os.path.join(scratch, "first-dist", name),
                                            os.path.join(scratch, "second-dist", name),
                                            shallow=False))


if __name__ == "__main__":
    unittest.main()
