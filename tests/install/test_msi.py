"""The MSI installs for every user under Wine, in a fresh prefix of its own:
files in C:\\Program Files\\Tavorin browser host\\, a key for each browser in
the 64-bit registry view pointing at the manifest, one Programs and Features
entry of its own name naming the allowed extensions; it uninstalls without a
trace, upgrades in place (over the packages that took the desktop app's name
too), and refuses a folder with &.

Builds the packages itself from build/windows (scripts/dist.py --only msi).
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from launcher import (FIREFOX_EXTENSION, LAUNCHER, MESSAGES,  # noqa: E402
                      TEST_EXTENSION, WINDOWS_KEYS, WINDOWS_MANIFESTS, WINE,
                      HostSession, assert_relays, echo, scratch_folder, start_app,
                      wine_environment)
from wine_msi import (ROOT, WinePrefix, build_desktop_app_named_msi,  # noqa: E402
                      build_msi)

FOLDER = r"C:\Program Files\Tavorin browser host"
MANIFEST = FOLDER + r"\com.tavorin.desktop.json"
REMEMBERED = r"HKLM\SOFTWARE\tavorin\Tavorin browser host"
# What the packages before took from the desktop app: none of it may stay.
APP_NAME = "Tavorin Desktop App"
APP_FOLDER = r"C:\Program Files\Tavorin"
APP_KEY = r"HKLM\SOFTWARE\tavorin\Tavorin Desktop App"
# Built without EXTENSION_IDS: for the test extensions of both families.
FILES = ["README.txt", "com.tavorin.desktop.firefox.json", "com.tavorin.desktop.json",
         "tavorin_doctor.exe", "tavorin_shim.exe"]


def registered_in(folder):
    """Each browser's key as the package writes it: its family's manifest."""
    return {browser: folder + "\\" + WINDOWS_MANIFESTS[browser] for browser in WINDOWS_KEYS}


def product_code(msi):
    table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True,
                           text=True, check=True).stdout
    return dict(line.split("\t", 1) for line in table.splitlines() if "\t" in line)["ProductCode"]


@unittest.skipUnless(shutil.which("wixl") and os.access(WINE, os.X_OK),
                     "wixl or Wine is missing")
class MsiUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tavorin-msi-")
        cls.older = build_msi(os.path.join(cls.scratch, "0.4.5"), version="0.4.5")
        cls.newer = build_msi(os.path.join(cls.scratch, "0.4.6"), version="0.4.6")
        cls.wine = WinePrefix()
        cls.wine.start()

    @classmethod
    def tearDownClass(cls):
        cls.wine.stop()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        # Whatever a failing test installed must not spoil the next one.
        for msi in (self.older, self.newer):
            self.addCleanup(self.wine.msiexec, "/x", product_code(msi))

    def install(self, msi, *properties):
        done = self.wine.msiexec("/i", msi, *properties)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def assertNothingLeft(self):
        self.assertFalse(os.path.exists(self.wine.unix_path(FOLDER)))
        self.assertEqual(self.wine.host_keys(), dict.fromkeys(WINDOWS_KEYS))
        self.assertEqual(self.wine.uninstall_entries(), {})
        self.assertEqual(self.wine.uninstall_entries(APP_NAME), {})
        self.assertIsNone(self.wine.reg_values(REMEMBERED))
        self.assertIsNone(self.wine.reg_values(APP_KEY))
        self.assertFalse(os.path.exists(self.wine.unix_path(APP_FOLDER)))

    def test_installs_for_every_browser_and_uninstalls_without_a_trace(self):
        self.install(self.older)

        folder = self.wine.unix_path(FOLDER)
        self.assertEqual(sorted(os.listdir(folder)), FILES)
        with open(os.path.join(folder, "tavorin_shim.exe"), "rb") as installed, \
                open(os.path.join(ROOT, "build", "windows", "tavorin_shim.exe"), "rb") as built:
            self.assertEqual(installed.read(), built.read())
        self.assertEqual(self.wine.host_keys(), registered_in(FOLDER))
        self.assertEqual(self.wine.host_keys(view=32),
                         dict.fromkeys(WINDOWS_KEYS, None), "not in the 32-bit view")

        for name, allowed in (("com.tavorin.desktop.json", {"allowed_origins": [
                                  f"chrome-extension://{TEST_EXTENSION}/"]}),
                              ("com.tavorin.desktop.firefox.json",
                               {"allowed_extensions": [FIREFOX_EXTENSION]})):
            with open(self.wine.unix_path(FOLDER + "\\" + name), "rb") as f:
                raw = f.read()
            self.assertFalse(raw.startswith(b"\xef\xbb\xbf"), "no byte order mark")
            manifest = json.loads(raw.decode("utf-8"))
            self.assertTrue(manifest.pop("description"))
            self.assertEqual(manifest, {"name": "com.tavorin.desktop",
                                        "path": "tavorin_shim.exe", "type": "stdio",
                                        **allowed})

        entries = self.wine.uninstall_entries()
        self.assertEqual(list(entries), [product_code(self.older)])
        entry = entries[product_code(self.older)]
        self.assertEqual((entry["Publisher"], entry["DisplayVersion"]), ("tavorin", "0.4.5"))
        self.assertEqual(entry["Comments"], "Allowed extensions: Chrome, Chromium, Edge, "
                         f"Brave: {TEST_EXTENSION}; Firefox: {FIREFOX_EXTENSION} "
                         "(test extensions: not for deployment)")

        done = self.wine.msiexec("/x", self.older)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNothingLeft()

    def test_a_later_version_replaces_the_earlier_one(self):
        self.install(self.older)
        self.install(self.newer)
        entries = self.wine.uninstall_entries()
        self.assertEqual(list(entries), [product_code(self.newer)])
        self.assertEqual(entries[product_code(self.newer)]["DisplayVersion"], "0.4.6")
        self.assertEqual(sorted(os.listdir(self.wine.unix_path(FOLDER))), FILES)
        self.assertEqual(self.wine.host_keys(), registered_in(FOLDER))

        # And the earlier one cannot come back over it.
        done = self.wine.msiexec("/i", self.older)
        self.assertNotEqual(done.returncode, 0)
        self.assertEqual(list(self.wine.uninstall_entries()), [product_code(self.newer)])

        done = self.wine.msiexec("/x", product_code(self.newer))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNothingLeft()

    @unittest.skipUnless(os.path.exists(LAUNCHER), "the launcher is not built")
    def test_replaces_a_package_that_took_the_desktop_app_s_name(self):
        """Machines have the package that went by the app's name, folder and
        key: the upgrade code finds it, and nothing of it stays."""
        previous = build_desktop_app_named_msi(os.path.join(self.scratch, "app-named"),
                                               "0.4.5")
        if previous is None:
            self.skipTest("this checkout lacks the commit the earlier package is built from")
        self.addCleanup(self.wine.msiexec, "/x", product_code(previous))
        self.install(previous)
        self.assertEqual(list(self.wine.uninstall_entries(APP_NAME)), [product_code(previous)])
        self.assertEqual(self.wine.host_keys(), registered_in(APP_FOLDER))

        self.install(self.older)
        self.assertEqual(self.wine.uninstall_entries(APP_NAME), {})
        self.assertEqual(list(self.wine.uninstall_entries()), [product_code(self.older)])
        self.assertIsNone(self.wine.reg_values(APP_KEY))
        self.assertFalse(os.path.exists(self.wine.unix_path(APP_FOLDER)))
        self.assertEqual(self.wine.reg_values(REMEMBERED), {"InstallDir": FOLDER + "\\"})
        self.assertEqual(self.wine.host_keys(), registered_in(FOLDER))
        self.relays_both_ways()

        done = self.wine.msiexec("/x", self.older)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNothingLeft()

    def relays_both_ways(self):
        """Frames through the installed host, started as the browser starts
        it: found in HKLM, the manifest's relative path, cmd.exe or the
        program itself."""
        temp = scratch_folder(self, "tavorin-msi-temp-")
        app = start_app(temp)
        self.addCleanup(app.stop)
        env = wine_environment(temp, self.wine.env)
        for options in (["--mode", "cmd"], ["--mode", "direct", "--stderr", "null"],
                        ["--browser", "edge", "--mode", "direct"],
                        ["--browser", "firefox"]):
            assert_relays(self, env, *options)

    @unittest.skipUnless(os.path.exists(LAUNCHER), "the launcher is not built")
    def test_an_upgrade_and_an_uninstall_while_a_host_relays(self):
        """A connectNative port keeps the host running while msiexec replaces
        or removes its files. Windows Installer then asks Restart Manager or
        schedules the file for the next restart (3010); Wine replaces it at
        once. Either way the running host relays every message to its end,
        and nothing is left once it has ended."""
        self.install(self.older)
        temp = scratch_folder(self, "tavorin-msi-temp-")
        app = start_app(temp)
        self.addCleanup(app.stop)
        session = HostSession([WINE, LAUNCHER, "--browser", "chrome"],
                              wine_environment(temp, self.wine.env))
        self.addCleanup(lambda: session.process.poll() is None and session.process.kill())
        statuses = []
        for message, step in zip(MESSAGES, (("/i", self.newer), ("/x", self.newer), None)):
            session.send(message)
            self.assertEqual(session.receive(), echo(message))
            if step:
                statuses.append(self.wine.msiexec(*step, "/norestart").returncode)
        session.process.stdin.close()
        self.assertEqual(session.process.wait(timeout=60), 0)
        self.assertEqual([s for s in statuses if s not in (0, 3010)], [], statuses)
        self.assertEqual(app.received(), b"".join(m + b"\n" for m in MESSAGES))
        # Windows Installer schedules a program in use for removal at the
        # next restart (and says 3010); Wine's msiexec leaves it where it
        # is, and nothing else.
        folder = self.wine.unix_path(FOLDER)
        left = sorted(os.listdir(folder)) if os.path.exists(folder) else []
        self.assertIn(left, ([], ["tavorin_shim.exe"]))
        shutil.rmtree(folder, ignore_errors=True)
        self.assertNothingLeft()

    @unittest.skipUnless(os.path.exists(LAUNCHER), "the launcher is not built")
    def test_installs_elsewhere_but_never_in_a_folder_with_an_ampersand(self):
        # The folder an administrator chose holds the files, the host is
        # started from there, and the upgrade and the uninstall find them.
        folder = "C:\\Tools\\Tavorin Ü 世界 Host"
        self.install(self.older, "INSTALLDIR=" + folder + "\\")
        elsewhere = folder + "\\com.tavorin.desktop.json"
        self.assertEqual(self.wine.host_keys(), registered_in(folder))
        self.relays_both_ways()
        self.install(self.newer)
        self.assertEqual(self.wine.host_keys(), registered_in(folder))
        self.assertTrue(os.path.exists(self.wine.unix_path(elsewhere)))
        self.wine.msiexec("/x", self.newer)
        self.assertFalse(os.path.exists(self.wine.unix_path(elsewhere)))
        self.assertNothingLeft()

        done = self.wine.msiexec("/i", self.older, "INSTALLDIR=C:\\R&D\\Tavorin\\")
        self.assertNotEqual(done.returncode, 0)
        self.assertFalse(os.path.exists(self.wine.unix_path(r"C:\R&D")))
        self.assertNothingLeft()
        # The reason, as msiexec shows it to whoever runs it with a UI.
        conditions = subprocess.run(["msiinfo", "export", self.older, "LaunchCondition"],
                                    capture_output=True, text=True, check=True).stdout
        self.assertIn("must not contain the character &", conditions)


if __name__ == "__main__":
    unittest.main()
