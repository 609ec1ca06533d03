"""The Linux installer puts the host where each browser looks, and takes
away exactly what it put there. (The Windows script is tested with the
browser's launch path, in test_launch_path.py.)

Settings from the environment (CTest sets them):
  TAVORIN_SHIM      the Linux host
"""
import json
import os
import shutil
import subprocess
import unittest

from launcher import HOST_NAME, LINUX_FOLDERS, scratch_folder
from launcher import OTHER_EXTENSION as ID_B, TEST_EXTENSION as ID_A

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LINUX = os.path.join(ROOT, "install", "install-linux.sh")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, names in os.walk(folder) for f in names)


class LinuxInstaller(unittest.TestCase):
    def setUp(self):
        self.home = scratch_folder(self, "tavorin-home-")
        os.makedirs(os.path.join(self.home, ".config/keep"))
        open(os.path.join(self.home, ".config/keep/file"), "w").close()
        self.elsewhere = scratch_folder(self, "tavorin-hosts-")

    def host_in(self, folder_name):
        """A copy of the host in a folder of that name, outside the home."""
        folder = os.path.join(self.elsewhere, folder_name)
        os.makedirs(folder, exist_ok=True)
        shutil.copy(SHIM, folder)
        return os.path.join(folder, "tavorin_shim")

    def run_installer(self, *args):
        return subprocess.run(["sh", LINUX, *args], capture_output=True, errors="replace",
                              text=True, env=dict(os.environ, HOME=self.home))

    def test_installs_for_every_browser_and_uninstalls_exactly_that(self):
        before = files_under(self.home)
        for _ in range(2):  # a second run changes nothing
            done = self.run_installer("--extension", ID_A, "--extension", ID_B,
                                      "--path", SHIM)
            self.assertEqual(done.returncode, 0, done.stderr)
        for folder in LINUX_FOLDERS.values():
            with open(os.path.join(self.home, folder, HOST_NAME + ".json")) as f:
                manifest = json.load(f)
            self.assertEqual(manifest, {
                "name": HOST_NAME, "description": "Tavorin Desktop App bridge",
                "path": SHIM, "type": "stdio",
                "allowed_origins": [f"chrome-extension://{ID_A}/",
                                    f"chrome-extension://{ID_B}/"]})
        done = self.run_installer("--uninstall")
        self.assertEqual(done.returncode, 0, done.stderr)
        leftovers = [f for f in files_under(self.home) if f.endswith(".json")]
        self.assertEqual(leftovers, [])
        self.assertEqual([f for f in files_under(self.home) if f in before], before)

    def test_any_utf8_folder_gives_a_valid_manifest(self):
        host = self.host_in("Jürgen Ü 世界 | $1 x")
        done = self.run_installer("--extension", ID_A, "--path", host,
                                  "--browser", "chrome")
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(self.home, LINUX_FOLDERS["chrome"], HOST_NAME + ".json"), "rb") as f:
            raw = f.read()
        self.assertEqual(json.loads(raw.decode("utf-8"))["path"], host)

    def test_one_browser_or_a_custom_profile(self):
        profile = os.path.join(self.home, "profile")
        self.run_installer("--extension", ID_A, "--path", SHIM,
                           "--browser", "chromium", "--user-data-dir", profile)
        self.assertEqual(files_under(self.home),
                         [".config/keep/file", f"profile/NativeMessagingHosts/{HOST_NAME}.json"])

    def test_refuses_bad_input_with_a_clear_message(self):
        cases = [
            (["--extension", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP", "--path", SHIM], "not an extension ID"),
            (["--extension", ID_A[:-1], "--path", SHIM], "not an extension ID"),
            (["--extension", ID_A[:-1] + "q", "--path", SHIM], "not an extension ID"),
            (["--extension", ID_A, "--path", "build/tavorin_shim"], "must be absolute"),
            (["--extension", ID_A, "--path", SHIM, "--browser", "opera"], "unknown browser"),
            (["--path", SHIM], "at least one --extension"),
            (["--extension", ID_A, "--path", self.host_in("a & b")], 'contains "&"'),
            (["--extension", ID_A, "--path", self.host_in("line\nbreak")], "control character"),
            (["--extension", ID_A, "--path", self.host_in("latin1 \udcfc")], "not valid UTF-8"),
        ]
        for args, message in cases:
            done = self.run_installer(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn(message, done.stderr)
        self.assertEqual(files_under(self.home), [".config/keep/file"])


if __name__ == "__main__":
    unittest.main()
