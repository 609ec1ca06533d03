"""The host installed by the Windows script and started the way a
Chromium-family browser on Windows starts it (tests/chrome_launcher: the
registry in the browser's order, the manifest read as the browser reads it,
the origin checked, cmd.exe with /d /s /c or the program itself, two named
pipes), under Wine, from folders whose names hold spaces and letters
outside ASCII.

Settings from the environment (CTest sets them):
  TAVORIN_SHIM_EXE     the Windows host
  TAVORIN_LAUNCHER     build/windows/chrome_launcher.exe
  TAVORIN_EXAMPLE_APP  the example desktop app (Linux)
  WINEPREFIX           a prefix prepared by scripts/wine_prefix.sh start
"""
import json
import os
import shutil
import subprocess
import unittest

from launcher import (FIREFOX_EXTENSION, FORBIDDEN, HOST_NAME, LAUNCHER, NOT_FOUND,
                      OTHER_EXTENSION, ROOT, TEST_EXTENSION, WINDOWS_KEYS, WINE,
                      assert_relays, forget_registry_keys, host_key, launch, scratch_folder,
                      start_app, wine_environment, windows_path)

SCRIPT = os.path.join(ROOT, "install", "install-windows.cmd")
EXE = os.environ.get("TAVORIN_SHIM_EXE", os.path.join(ROOT, "build/windows/tavorin_shim.exe"))
POLICY = r"HKCU\Software\Policies\Google\Chrome"


@unittest.skipUnless(os.path.exists(EXE) and os.path.exists(LAUNCHER) and
                     os.environ.get("WINEPREFIX"),
                     "the Windows host, the launcher or the Wine prefix is missing")
class LaunchPathUnderWine(unittest.TestCase):

    def setUp(self):
        self.root = scratch_folder(self, "tavorin-launch-")
        self.folder = self.make_folder("Jürgen Ü 世界 app")
        self.app_temp = self.make_folder("temp")
        self.env = wine_environment(self.app_temp)
        self.forget_registrations()
        self.addCleanup(self.forget_registrations)
        self.app = start_app(self.app_temp)
        self.addCleanup(self.app.stop)

    def make_folder(self, name, with_host=False):
        folder = os.path.join(self.root, name)
        os.makedirs(folder)
        if with_host:
            shutil.copy(EXE, folder)
        return folder

    def install(self, *args, folder=None):
        folder = folder or self.folder
        shutil.copy(EXE, folder)
        shutil.copy(SCRIPT, folder)
        return subprocess.run([WINE, "cmd", "/c", "install-windows.cmd", *args],
                              cwd=folder, capture_output=True, env=self.env,
                              timeout=120)

    def forget_registrations(self):
        keys = [host_key(browser, hive)
                for hive in ("HKCU", "HKLM") for browser in WINDOWS_KEYS]
        forget_registry_keys(self.env, keys + [POLICY])

    def registered(self, browser, hive="HKCU"):
        done = subprocess.run([WINE, "reg", "query", host_key(browser, hive)],
                              capture_output=True, env=self.env, timeout=60)
        return done.returncode == 0

    def manifest(self, name=HOST_NAME + ".json"):
        with open(os.path.join(self.folder, name), "rb") as f:
            raw = f.read()
        self.assertFalse(raw.startswith(b"\xef\xbb\xbf"), "a byte-order mark")
        return json.loads(raw.decode("utf-8"))

    def launch(self, *options):
        return launch(self.env, *options)

    def assert_relays(self, *options):
        assert_relays(self, self.env, *options)

    def test_script_install_is_started_both_ways_by_every_browser(self):
        done = self.install(TEST_EXTENSION, FIREFOX_EXTENSION)
        self.assertEqual(done.returncode, 0, done.stderr)
        manifest = self.manifest()
        self.assertEqual(manifest, {
            "name": HOST_NAME, "description": "Tavorin Desktop App bridge",
            "path": "tavorin_shim.exe", "type": "stdio",
            "allowed_origins": [f"chrome-extension://{TEST_EXTENSION}/"]})
        self.assertEqual(self.manifest(HOST_NAME + ".firefox.json"), {
            "name": HOST_NAME, "description": "Tavorin Desktop App bridge",
            "path": "tavorin_shim.exe", "type": "stdio",
            "allowed_extensions": [FIREFOX_EXTENSION]})
        # Firefox: the program itself, no console, the manifest's path and
        # the extension's ID as its arguments, its log through a pipe.
        self.assert_relays("--browser", "firefox")
        done, _ = self.launch("--browser", "firefox", "--extension", "other@example.com")
        self.assertEqual(done.returncode, NOT_FOUND, done.stderr)
        for mode, error_stream in (("cmd", "parent"), ("direct", "null"),
                                   ("direct", "invalid")):
            self.assert_relays("--browser", "chrome", "--mode", mode,
                               "--stderr", error_stream)
        for browser in ("chromium", "edge", "brave"):
            self.assert_relays("--browser", browser)

        done, _ = self.launch("--origin", f"chrome-extension://{OTHER_EXTENSION}/")
        self.assertEqual(done.returncode, FORBIDDEN, done.stderr)

        done = self.install("/uninstall")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertFalse(any(self.registered(b) for b in WINDOWS_KEYS))
        self.assertEqual(sorted(os.listdir(self.folder)),
                         ["install-windows.cmd", "tavorin_shim.exe"])
        for browser in ("chrome", "firefox"):
            done, _ = self.launch("--browser", browser)
            self.assertEqual(done.returncode, NOT_FOUND, done.stderr)

    def test_host_elsewhere_is_named_by_an_escaped_absolute_path(self):
        elsewhere = self.make_folder("Hôst ✓ 家 folder", with_host=True)
        host = windows_path(os.path.join(elsewhere, "tavorin_shim.exe"))
        # /path quoted and last: on Windows the order once decided which
        # folder the script took for its own (see the script).
        done = self.install(TEST_EXTENSION, FIREFOX_EXTENSION, "/path", host)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.manifest()["path"], host)
        self.assertEqual(self.manifest(HOST_NAME + ".firefox.json")["path"], host)
        self.assert_relays("--browser", "firefox")
        done = self.install("/path", host, TEST_EXTENSION, OTHER_EXTENSION)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(self.folder, HOST_NAME + ".json"), "rb") as f:
            raw = f.read()
        self.assertTrue(raw.isascii(), "non-ASCII written as \\u escapes")
        self.assertEqual(self.manifest()["path"], host)
        self.assert_relays("--mode", "cmd")
        self.assert_relays("--mode", "direct", "--stderr", "null",
                           "--origin", f"chrome-extension://{OTHER_EXTENSION}/")

    def test_what_cmd_reads_in_the_host_folder(self):
        """The browser quotes the host's path whole on cmd.exe's line, so
        & ( ) ^ ! spaces and a lone % are plain characters there; a set
        variable between two % is replaced, and only a direct start finds
        such a host. (A "!" breaks the line too where delayed expansion is
        on by default, which Wine's cmd does not model.)"""
        for name, through_cmd in (("Smith & Co (x86) ^ ! 100% %UNSET_NAME% x", True),
                                  ("var %OS% here", False)):
            with self.subTest(folder=name):
                host = os.path.join(self.make_folder(name, with_host=True),
                                    "tavorin_shim.exe")
                manifest = os.path.join(self.root, name + ".json")
                with open(manifest, "w", encoding="utf-8") as f:
                    json.dump({"name": HOST_NAME, "description": "bridge",
                               "path": windows_path(host), "type": "stdio",
                               "allowed_origins": [f"chrome-extension://{TEST_EXTENSION}/"]},
                              f)
                subprocess.run([WINE, "reg", "add", host_key("chrome"), "/ve", "/d",
                                windows_path(manifest), "/f"], check=True,
                               capture_output=True, env=self.env, timeout=60)
                self.assert_relays("--mode", "direct")
                if through_cmd:
                    self.assert_relays("--mode", "cmd")
                else:
                    done, answers = self.launch("--mode", "cmd")
                    self.assertNotEqual(done.returncode, 0)
                    self.assertEqual(answers, [])

    def test_refuses_bad_input_with_a_clear_message(self):
        # The forms of IDs are test_extension_ids.py's.
        for args, message in [(["ABC"], b'not an extension ID (32 letters a to p for Chrome'),
                              # What PowerShell passes for an unquoted {GUID}.
                              (["0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"],
                               b"PowerShell may have removed them"),
                              (["/browser", "firefox", TEST_EXTENSION],
                               b"needs a Firefox extension ID"),
                              (["/path", r"relative\x.exe", TEST_EXTENSION], b"full path"),
                              (["/browser", "opera", TEST_EXTENSION], b"unknown browser"),
                              (["/machine"], b"at least one extension ID")]:
            done = self.install(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn(message, done.stderr)
        self.assertFalse(self.registered("chrome"))
        self.assertFalse(os.path.exists(os.path.join(self.folder, HOST_NAME + ".json")))

    def test_a_folder_with_an_ampersand_is_refused(self):
        folder = self.make_folder("Tavorin & Co")
        done = self.install(TEST_EXTENSION, folder=folder)
        self.assertEqual(done.returncode, 2)
        self.assertIn(b'contains "&", at which browsers released before 2024', done.stderr)
        self.assertFalse(os.path.exists(os.path.join(folder, HOST_NAME + ".json")))
        self.assertFalse(self.registered("chrome"))

    def test_user_hosts_disabled_by_policy_need_the_machine_install(self):
        subprocess.run([WINE, "reg", "add", POLICY, "/v", "NativeMessagingUserLevelHosts",
                        "/t", "REG_DWORD", "/d", "0", "/f"], check=True,
                       capture_output=True, env=self.env, timeout=60)
        self.install(TEST_EXTENSION)
        done, _ = self.launch()
        self.assertEqual(done.returncode, NOT_FOUND, done.stderr)
        done = self.install("/machine", TEST_EXTENSION)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(self.registered("chrome", "HKLM"))
        self.assert_relays("--mode", "direct")
        # The user's uninstall keeps the manifest every machine-wide key
        # still names, and says how to remove those too.
        done = self.install("/uninstall")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"still registered for every user of this machine", done.stdout)
        self.assertIn(b"install-windows.cmd /machine /uninstall", done.stdout)
        self.assertFalse(any(self.registered(b) for b in WINDOWS_KEYS))
        for browser in ("chrome", "chromium", "edge"):
            self.assertTrue(self.registered(browser, "HKLM"), browser)
        self.assertTrue(os.path.exists(os.path.join(self.folder, HOST_NAME + ".json")))
        self.assert_relays("--mode", "direct")
        done = self.install("/machine", "/uninstall")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertNotIn(b"still registered", done.stdout)
        self.assertFalse(any(self.registered(b, "HKLM") for b in WINDOWS_KEYS))
        self.assertEqual(sorted(os.listdir(self.folder)),
                         ["install-windows.cmd", "tavorin_shim.exe"])


if __name__ == "__main__":
    unittest.main()
