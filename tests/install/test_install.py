"""The installers put the host where each browser looks, and take away
exactly what they put there.

Settings from the environment (CTest sets them):
  TAVORIN_SHIM      the Linux host
  TAVORIN_SHIM_EXE  the Windows host
  WINEPREFIX        a prefix prepared by scripts/wine_prefix.sh start
"""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LINUX = os.path.join(ROOT, "install", "install-linux.sh")
WINDOWS = os.path.join(ROOT, "install", "install-windows.cmd")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))
EXE = os.environ.get("TAVORIN_SHIM_EXE", os.path.join(ROOT, "build/windows/tavorin_shim.exe"))
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
NAME = "com.tavorin.desktop"
ID_A = "gppkkhdhkkicmjpcgcpidfjhncllihef"
ID_B = "abcdefghijklmnopabcdefghijklmnop"
USER_FOLDERS = {
    "chrome": ".config/google-chrome/NativeMessagingHosts",
    "chromium": ".config/chromium/NativeMessagingHosts",
    "edge": ".config/microsoft-edge/NativeMessagingHosts",
    "brave": ".config/BraveSoftware/Brave-Browser/NativeMessagingHosts",
}


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, names in os.walk(folder) for f in names)


class LinuxInstaller(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="tavorin-home-")
        self.addCleanup(shutil.rmtree, self.home)
        os.makedirs(os.path.join(self.home, ".config/keep"))
        open(os.path.join(self.home, ".config/keep/file"), "w").close()

    def run_installer(self, *args):
        return subprocess.run(["sh", LINUX, *args], capture_output=True,
                              text=True, env=dict(os.environ, HOME=self.home))

    def test_installs_for_every_browser_and_uninstalls_exactly_that(self):
        before = files_under(self.home)
        for _ in range(2):  # a second run changes nothing
            done = self.run_installer("--extension", ID_A, "--extension", ID_B,
                                      "--path", SHIM)
            self.assertEqual(done.returncode, 0, done.stderr)
        for folder in USER_FOLDERS.values():
            with open(os.path.join(self.home, folder, NAME + ".json")) as f:
                manifest = json.load(f)
            self.assertEqual(manifest, {
                "name": NAME, "description": "Tavorin Desktop App bridge",
                "path": SHIM, "type": "stdio",
                "allowed_origins": [f"chrome-extension://{ID_A}/",
                                    f"chrome-extension://{ID_B}/"]})
        done = self.run_installer("--uninstall")
        self.assertEqual(done.returncode, 0, done.stderr)
        leftovers = [f for f in files_under(self.home) if f.endswith(".json")]
        self.assertEqual(leftovers, [])
        self.assertEqual([f for f in files_under(self.home) if f in before], before)

    def test_one_browser_or_a_custom_profile(self):
        profile = os.path.join(self.home, "profile")
        self.run_installer("--extension", ID_A, "--path", SHIM,
                           "--browser", "chromium", "--user-data-dir", profile)
        self.assertEqual(files_under(self.home),
                         [".config/keep/file", f"profile/NativeMessagingHosts/{NAME}.json"])

    def test_refuses_bad_input_with_a_clear_message(self):
        cases = [
            (["--extension", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP", "--path", SHIM], "not an extension ID"),
            (["--extension", ID_A[:-1], "--path", SHIM], "not an extension ID"),
            (["--extension", ID_A[:-1] + "q", "--path", SHIM], "not an extension ID"),
            (["--extension", ID_A, "--path", "build/tavorin_shim"], "must be absolute"),
            (["--extension", ID_A, "--path", SHIM, "--browser", "opera"], "unknown browser"),
            (["--path", SHIM], "at least one --extension"),
        ]
        for args, message in cases:
            done = self.run_installer(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn(message, done.stderr)
        self.assertEqual(files_under(self.home), [".config/keep/file"])


@unittest.skipUnless(os.path.exists(EXE) and os.environ.get("WINEPREFIX"),
                     "the Windows host or the Wine prefix is missing")
class WindowsInstallerUnderWine(unittest.TestCase):
    KEY = r"HKCU\Software\{}\NativeMessagingHosts\com.tavorin.desktop"
    BROWSERS = {"chrome": r"Google\Chrome", "chromium": "Chromium",
                "edge": r"Microsoft\Edge", "brave": r"BraveSoftware\Brave-Browser"}

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tavorin-win-install-")
        self.addCleanup(shutil.rmtree, self.folder)
        shutil.copy(EXE, self.folder)
        shutil.copy(WINDOWS, self.folder)
        self.env = dict(os.environ, WINEDEBUG="-all")

    def cmd(self, *args):
        return subprocess.run([WINE, "cmd", "/c", "install-windows.cmd", *args],
                              cwd=self.folder, capture_output=True, text=True,
                              env=self.env, timeout=60)

    def registered(self, browser):
        done = subprocess.run([WINE, "reg", "query", self.KEY.format(self.BROWSERS[browser])],
                              capture_output=True, text=True, env=self.env, timeout=60)
        return done.stdout if done.returncode == 0 else None

    def test_registers_every_browser_and_removes_the_keys(self):
        for _ in range(2):
            done = self.cmd(ID_A)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        manifest_path = "Z:" + self.folder.replace("/", "\\") + "\\" + NAME + ".json"
        for browser in self.BROWSERS:
            self.assertIn(manifest_path, self.registered(browser) or "", browser)
        with open(os.path.join(self.folder, NAME + ".json")) as f:
            manifest = json.load(f)
        self.assertEqual(manifest["path"],
                         "Z:" + self.folder.replace("/", "\\") + "\\tavorin_shim.exe")
        self.assertEqual(manifest["allowed_origins"], [f"chrome-extension://{ID_A}/"])

        done = self.cmd("/uninstall")
        self.assertEqual(done.returncode, 0, done.stderr)
        for browser in self.BROWSERS:
            self.assertIsNone(self.registered(browser), browser)

    def test_refuses_bad_input(self):
        for args, message in [(["ABC"], "not an extension ID"),
                              (["/path", r"relative\x.exe", ID_A], "full path"),
                              (["/browser", "opera", ID_A], "unknown browser")]:
            done = self.cmd(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn(message, done.stderr)
        self.assertIsNone(self.registered("chrome"))


if __name__ == "__main__":
    unittest.main()
