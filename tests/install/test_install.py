"""The Linux installer sorts the extension IDs by form, puts the host where
each browser of those IDs looks, and takes away exactly what it put there.
(The Windows script is tested with the browser's launch path, in
test_launch_path.py.)

Settings from the environment (CTest sets them):
  TAVORIN_SHIM      the Linux host
"""
import json
import os
import shutil
import subprocess
import unittest

from launcher import FIREFOX_FOLDER, HOST_NAME, LINUX_FOLDERS, scratch_folder
from launcher import FIREFOX_EXTENSION as FIREFOX_ID
from launcher import OTHER_EXTENSION as ID_B, TEST_EXTENSION as ID_A

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LINUX = os.path.join(ROOT, "install", "install-linux.sh")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))
GUID_ID = "{0F1E2D3C-4b5a-6978-8796-a5b4c3d2e1f0}"
CHROMIUM_MANIFEST = {"name": HOST_NAME, "description": "Tavorin Desktop App bridge",
                     "path": SHIM, "type": "stdio",
                     "allowed_origins": [f"chrome-extension://{ID_A}/",
                                         f"chrome-extension://{ID_B}/"]}
# Firefox refuses a manifest with any member it does not know.
FIREFOX_MANIFEST = {"name": HOST_NAME, "description": "Tavorin Desktop App bridge",
                    "path": SHIM, "type": "stdio",
                    "allowed_extensions": [FIREFOX_ID, GUID_ID]}


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

    def run_installer(self, *args, **environment):
        return subprocess.run(["sh", LINUX, *args], capture_output=True, errors="replace",
                              text=True, env=dict(os.environ, HOME=self.home, **environment))

    def manifest(self, folder):
        with open(os.path.join(self.home, folder, HOST_NAME + ".json")) as f:
            return json.load(f)

    def test_installs_for_every_browser_and_uninstalls_exactly_that(self):
        before = files_under(self.home)
        for _ in range(2):  # a second run changes nothing
            done = self.run_installer("--extension", ID_A, "--extension", FIREFOX_ID,
                                      "--extension", ID_B, "--extension", GUID_ID,
                                      "--path", SHIM)
            self.assertEqual(done.returncode, 0, done.stderr)
        for folder in LINUX_FOLDERS.values():
            self.assertEqual(self.manifest(folder), CHROMIUM_MANIFEST)
        self.assertEqual(self.manifest(FIREFOX_FOLDER), FIREFOX_MANIFEST)
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

    def test_only_the_browsers_whose_kind_of_id_is_given(self):
        for ids, written in (([ID_A], sorted(LINUX_FOLDERS.values())),
                             ([FIREFOX_ID], [FIREFOX_FOLDER])):
            with self.subTest(ids=ids):
                done = self.run_installer(*[a for i in ids for a in ("--extension", i)],
                                          "--path", SHIM)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(sorted(os.path.dirname(f) for f in files_under(self.home)
                                        if f.endswith(".json")), sorted(written))
                self.run_installer("--uninstall")

    def test_system_wide_below_a_staging_folder_and_back(self):
        stage = scratch_folder(self, "tavorin-stage-")
        os.makedirs(os.path.join(stage, os.path.dirname(SHIM).lstrip("/")))
        shutil.copy(SHIM, os.path.join(stage, SHIM.lstrip("/")))
        before = files_under(stage)
        done = self.run_installer("--system", "--extension", FIREFOX_ID, "--extension",
                                  ID_A, "--browser", "firefox", "--browser", "chrome",
                                  "--path", SHIM, DESTDIR=stage)
        self.assertEqual(done.returncode, 0, done.stderr)
        written = sorted(set(files_under(stage)) - set(before))
        self.assertEqual(written, [f"etc/opt/chrome/native-messaging-hosts/{HOST_NAME}.json",
                                   f"usr/lib/mozilla/native-messaging-hosts/{HOST_NAME}.json"])
        with open(os.path.join(stage, written[1])) as f:
            self.assertEqual(json.load(f)["allowed_extensions"], [FIREFOX_ID])
        done = self.run_installer("--system", "--uninstall", DESTDIR=stage)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(files_under(stage), before)
        self.assertEqual(files_under(self.home), [".config/keep/file"])

    def test_refuses_bad_input_with_a_clear_message(self):
        cases = [
            (["--extension", ID_A, "--path", "build/tavorin_shim"], "must be absolute"),
            (["--extension", ID_A, "--path", SHIM, "--browser", "opera"], "unknown browser"),
            (["--path", SHIM], "at least one --extension"),
            # An ID refused is named (which IDs are refused is
            # test_extension_ids.py's), a "*" as it is.
            (["--extension", "*", "--path", SHIM], "not an extension ID: *"),
            (["--extension", ID_A, "--browser", "firefox", "--path", SHIM],
             "--browser firefox needs a Firefox extension ID"),
            (["--extension", FIREFOX_ID, "--browser", "edge", "--path", SHIM],
             "--browser edge needs a Chrome-family extension ID"),
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
