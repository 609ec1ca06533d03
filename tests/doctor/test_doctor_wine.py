"""tavorin_doctor.exe under Wine: what only Windows has. The registry in
each browser's order, a key naming a missing manifest, or a device or a
folder instead of one, the policies that hide or block the host, the host
started through cmd.exe and named pipes from a folder with letters outside
ASCII, what cmd.exe reads in the host's path, a REG_EXPAND_SZ key, a user's
registration hiding the machine's, and one manifest named for two browser
families. The manifest rules themselves are the
same code as on Linux and are tested there.

Settings from the environment (CTest sets them):
  TAVORIN_DOCTOR_EXE   build/windows/tavorin_doctor.exe
  TAVORIN_SHIM_EXE     the Windows host
  TAVORIN_EXAMPLE_APP  the example desktop app (Linux)
  TAVORIN_EXAMPLE_APP_EXE  the example desktop app (Windows)
  WINEPREFIX           a prefix prepared by scripts/wine_prefix.sh start
"""
import json
import os
import shutil
import subprocess
import time
import unittest

from doctor_run import (CLEAN_END, FIREFOX_EXTENSION, HOST_NAME, ROOT, TEST_EXTENSION,
                        WINDOWS_KEYS, WINE, DoctorTestCase, ExampleApp, forget_registry_keys,
                        host_key,
                        wine_environment, windows_path)

DOCTOR = os.environ.get("TAVORIN_DOCTOR_EXE", os.path.join(ROOT, "build/windows/tavorin_doctor.exe"))
EXE = os.environ.get("TAVORIN_SHIM_EXE", os.path.join(ROOT, "build/windows/tavorin_shim.exe"))
SCRIPT = os.path.join(ROOT, "install", "install-windows.cmd")
APP_EXE = os.environ.get("TAVORIN_EXAMPLE_APP_EXE",
                         os.path.join(ROOT, "build/windows/tavorin_example_app.exe"))
POLICY = r"SOFTWARE\Policies\Google\Chrome"


@unittest.skipUnless(os.path.exists(DOCTOR) and os.path.exists(EXE) and
                     os.environ.get("WINEPREFIX"),
                     "the Windows doctor, the host or the Wine prefix is missing")
class WindowsDoctor(DoctorTestCase):

    def setUp(self):
        super().setUp()
        self.env = wine_environment(self.temp)
        self.command = [WINE, DOCTOR]
        self.forget_registrations()
        self.addCleanup(self.forget_registrations)

    def reg(self, *args):
        return subprocess.run([WINE, "reg", *args], capture_output=True,
                              env=self.env, timeout=60)

    def forget_registrations(self):
        forget_registry_keys(self.env, [key for hive in ("HKCU", "HKLM")
                                        for key in [host_key(browser, hive)
                                                    for browser in WINDOWS_KEYS] +
                                        [rf"{hive}\{POLICY}"]])

    def install(self, *args, folder="Jürgen Ü 世界 host", ids=(TEST_EXTENSION,)):
        host_folder = os.path.join(self.root, folder)
        os.makedirs(host_folder, exist_ok=True)
        shutil.copy(EXE, host_folder)
        shutil.copy(SCRIPT, host_folder)
        done = subprocess.run([WINE, "cmd", "/c", "install-windows.cmd", *args, *ids],
                              cwd=host_folder, capture_output=True, env=self.env,
                              timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return host_folder

    def test_nothing_registered_lists_every_key_in_the_browser_order(self):
        status, checks = self.doctor("--browser", "edge")
        self.assertEqual(status, 1)
        detail = self.assert_fails(checks, "registration:edge")["detail"]
        order = [f"{host_key(b, hive)} ({view}-bit view): not set"
                 for hive in ("HKCU", "HKLM") for view in (32, 64)
                 for b in ("edge", "chromium", "chrome")]
        self.assertEqual([line.strip() for line in detail.splitlines()[1:13]], order)
        self.assertEqual(set(checks), {"registration:edge", "policy:edge", "app_running",
                                       "app_reachable", "live_launch", "console_window"})

    def windows_11_with_windows_terminal(self):
        startup = r"HKCU\Console\%%Startup"
        version = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
        build = subprocess.run([WINE, "reg", "query", version, "/v", "CurrentBuildNumber"],
                               capture_output=True, text=True, env=self.env,
                               timeout=60).stdout.split()[-1]
        self.addCleanup(self.reg, "add", version, "/v", "CurrentBuildNumber", "/d", build, "/f")
        self.addCleanup(self.reg, "delete", startup, "/f")
        self.reg("add", startup, "/v", "DelegationConsole", "/d",
                 "{2EACA947-7F5F-4CFA-BA87-8F7FBEEFBE69}", "/f")
        self.reg("add", version, "/v", "CurrentBuildNumber", "/d", "22631", "/f")

    # Windows 11 with Windows Terminal as the default terminal: the console
    # of a browser's hidden launch is never handed over, so a good install
    # passes, and what decides it is shown.
    def test_installed_from_a_non_ascii_folder_with_the_app_up_passes(self):
        folder = self.install(ids=(TEST_EXTENSION, FIREFOX_EXTENSION))
        app = self.start_app()
        self.windows_11_with_windows_terminal()
        done = self.run_doctor()
        self.assertEqual(done.returncode, 0, done.stdout.decode("utf-8"))
        text = done.stdout.decode("utf-8")  # to a pipe: UTF-8 bytes
        self.assertNotIn("✗", text)
        self.assertIn("✓ Live launch of the host", text)
        self.assertIn(windows_path(os.path.join(folder, "tavorin_shim.exe")), text)
        self.assertIn(CLEAN_END, text)
        self.assertEqual(app.received(), b"", "no byte may reach the app")
        for line in ("hosted by Windows Terminal", "(Windows build 22631)",
                     "Google Chrome starts the host through cmd.exe, hidden",
                     "Firefox starts the host directly", "tavorin_windows_check.exe"):
            self.assertIn(line, text)
        self.reg("add", rf"HKLM\{POLICY}", "/v", "NativeHostsExecutablesLaunchDirectly",
                 "/t", "REG_DWORD", "/d", "1", "/f")
        # And Firefox's key naming the Chrome-family manifest: the same file,
        # which Firefox refuses, whichever browser the doctor reads first.
        chrome_manifest = windows_path(os.path.join(folder, HOST_NAME + ".json"))
        self.reg("add", host_key("firefox"), "/ve", "/d", chrome_manifest, "/f")
        _, checks = self.doctor()
        self.assertIn("Google Chrome starts the host directly", checks["console_window"]["detail"])
        self.assertTrue(checks["manifest:chrome"]["ok"], checks["manifest:chrome"])
        self.assert_fails(checks, "manifest:firefox", "manifest: " + chrome_manifest,
                          '"allowed_origins" is no member of a Firefox manifest')

    def test_three_commands_start_the_app_install_and_send_a_message(self):
        """What a developer does first on Windows: the Windows example app,
        the script installer, then a message through the host as each kind
        of browser starts it (through cmd.exe; Firefox directly)."""
        if not os.path.isfile(APP_EXE):
            self.skipTest(f"the Windows example app is not built: {APP_EXE}")
        app = ExampleApp(APP_EXE, self.temp, [], wine=True)
        self.addCleanup(app.stop)
        folder = self.install(ids=(TEST_EXTENSION, FIREFOX_EXTENSION))
        host = windows_path(os.path.join(folder, "tavorin_shim.exe"))
        through_cmd = f'%COMSPEC% /d /s /c ""{host}" chrome-extension://{TEST_EXTENSION}/'
        # The form the developer kit's README gives for Command Prompt.
        script = os.path.join(self.root, "send.cmd")
        with open(script, "w", newline="\r\n") as f:
            f.write(f'@echo {{"cmd":"ping"}}| "{windows_path(DOCTOR)}" --send -\n')
        ping = b'{"ok":true,"echo":{"cmd":"ping"}}'
        for command, stdin, answers, started in (
                (self.command + ["--send", '{"cmd":"ping"}'], b"", [ping], through_cmd),
                ([WINE, "cmd", "/c", windows_path(script)], b"", [ping], through_cmd),
                (self.command + ["--browser", "firefox", "--send", "-"], b'{"a":1}\r\n[2]\r\n',
                 [b'{"ok":true,"echo":{"a":1}}', b'{"ok":true,"echo":[2]}'],
                 f'"{host}" {windows_path(os.path.join(folder, HOST_NAME))}.firefox.json '
                 f"{FIREFOX_EXTENSION} (directly")):
            with self.subTest(command=command[1:]):
                done = subprocess.run(command, input=stdin, capture_output=True,
                                      env=self.env, timeout=120)
                log = done.stderr.decode("utf-8")
                self.assertEqual(done.returncode, 0, log)
                self.assertEqual(done.stdout.splitlines(), answers)
                self.assertIn(started, log)
                self.assertIn("Relaying message to app: ", log)
                self.assertTrue(log.endswith(f"{len(answers)} of {len(answers)} "
                                             "messages answered\n"), log)
        self.assertEqual(app.received(), b'{"cmd":"ping"}\n' * 2 + b'{"a":1}\n[2]\n')

    def test_firefox_in_its_own_order_and_its_own_way(self):
        folder = self.install(ids=(FIREFOX_EXTENSION,))
        self.start_app()
        firefox_policy = r"HKLM\SOFTWARE\Policies\Mozilla\Firefox"
        self.addCleanup(self.reg, "delete", firefox_policy, "/f")
        status, checks = self.doctor("--browser", "firefox")
        self.assertEqual(status, 0, checks)
        order = [f"{host_key('firefox', hive)} ({view}-bit view)"
                 for hive, view in (("HKCU", 64), ("HKLM", 32), ("HKLM", 64))]
        detail = checks["registration:firefox"]["detail"].splitlines()[1:4]
        self.assertEqual([line.strip().split(":")[0] for line in detail], order)
        self.assertIn(FIREFOX_EXTENSION, checks["manifest:firefox"]["detail"])
        launch = checks["live_launch"]["detail"]
        self.assertIn(windows_path(os.path.join(folder, HOST_NAME + ".firefox.json")), launch)
        self.assertIn("directly, in its folder, with no console", launch)
        self.assertIn(CLEAN_END, launch)
        # Group policy can keep the extension from its permission.
        self.reg("add", firefox_policy, "/v", "ExtensionSettings", "/t", "REG_MULTI_SZ",
                 "/d", '{"*": {"blocked_permissions": ["nativeMessaging"]}}', "/f")
        status, checks = self.doctor("--browser", "firefox")
        self.assertEqual(status, 1)
        self.assert_fails(checks, "policy:firefox", "blocks the permission nativeMessaging")

    def test_app_down_shows_the_host_log_from_cmd(self):
        self.install("/browser", "chrome")
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        self.assert_fails(checks, "app_running", windows_path(self.temp))
        launch = self.assert_fails(checks, "live_launch", "%COMSPEC% /d /s /c",
                                   "No lock file found", "exit status 0")
        self.assertIn("start the Tavorin Desktop App", launch["fix"])

    def test_a_key_naming_a_missing_manifest_is_broken(self):
        missing = windows_path(os.path.join(self.root, "gone", HOST_NAME + ".json"))
        self.reg("add", host_key("chrome"), "/ve", "/d", missing, "/f")
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        check = self.assert_fails(checks, "registration:chrome",
                                  f"{host_key('chrome')} (32-bit view): names {missing}, "
                                  "which does not exist")
        self.assertIn(host_key("chrome"), check["fix"])
        self.assertNotIn("manifest:chrome", checks)

    def test_a_key_naming_a_device_or_a_folder_is_named_not_read(self):
        folder = windows_path(self.root)
        for target, kind in (("NUL", "a device"), (folder, "a folder")):
            with self.subTest(target=target):
                self.reg("add", host_key("chrome"), "/ve", "/d", target, "/f")
                status, checks = self.doctor("--browser", "chrome")
                self.assertEqual(status, 1)
                check = self.assert_fails(checks, "manifest:chrome",
                                          f"{target} is {kind}, not a file")
                self.assertIn("install again", check["fix"])

    def test_policies_that_hide_or_block_the_host(self):
        self.install("/browser", "chrome")
        policy = rf"HKCU\{POLICY}"
        self.reg("add", policy, "/v", "NativeMessagingUserLevelHosts",
                 "/t", "REG_DWORD", "/d", "0", "/f")
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        check = self.assert_fails(checks, "policy:chrome",
                                  policy + ": NativeMessagingUserLevelHosts = 0",
                                  "registered only under HKCU")
        self.assertIn("/machine", check["fix"])
        self.assert_fails(checks, "registration:chrome", "ignored: policy")
        self.assert_fails(checks, "live_launch", "skipped")

        self.reg("delete", policy, "/f")
        self.reg("add", policy + r"\NativeMessagingBlocklist", "/v", "1", "/d", "*", "/f")
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        self.assert_fails(checks, "policy:chrome",
                          policy + r"\NativeMessagingBlocklist blocks every host (*)")
        self.reg("add", policy + r"\NativeMessagingAllowlist", "/v", "1", "/d", HOST_NAME, "/f")
        _, checks = self.doctor("--browser", "chrome")
        self.assertTrue(checks["policy:chrome"]["ok"], checks["policy:chrome"])

    def test_a_user_registration_hiding_the_machine_s_is_named(self):
        user = self.install("/browser", "chrome", folder="pilot host")
        machine = self.install("/machine", "/browser", "chrome", folder="machine host")
        package = r"HKLM\SOFTWARE\tavorin\Tavorin browser host"
        self.addCleanup(self.reg, "delete", package, "/f", "/reg:64")
        user_manifest = windows_path(os.path.join(user, HOST_NAME + ".json"))
        machine_manifest = windows_path(os.path.join(machine, HOST_NAME + ".json"))
        hides = (f"this user's registration hides the machine's: Google Chrome uses "
                 f"{user_manifest} ({host_key('chrome')} (32-bit view)), never "
                 f"{machine_manifest} ({host_key('chrome', 'HKLM')} (64-bit view))")
        remove_user = (f"to use the machine's, remove this user's: as this user, run "
                       f"install-windows.cmd /uninstall in {windows_path(user)}\\ "
                       f'(every browser), or reg delete "{host_key("chrome")}" /f '
                       "(this key alone)")
        by_script = ("to keep this user's, remove the machine's: from an administrator "
                     "prompt, run install-windows.cmd /machine /uninstall in "
                     f"{windows_path(machine)}\\ (every browser), or reg delete "
                     f'"{host_key("chrome", "HKLM")}" /f /reg:64 (this key alone)')
        by_package = ("to keep this user's, remove the machine's: uninstall \"Tavorin "
                      "browser host\" (Settings > Apps, or msiexec /x with its product code)")
        _, checks = self.doctor("--browser", "chrome")
        lines = checks["registration:chrome"]["detail"].splitlines()
        self.assertEqual(lines[-3:], [hides, remove_user, by_script])
        self.assertTrue(checks["registration:chrome"]["ok"], "the user's works")

        # Where the package remembers its folder, its manifest is its own.
        self.reg("add", package, "/v", "InstallDir", "/d", windows_path(machine) + "\\",
                 "/f", "/reg:64")
        _, checks = self.doctor("--browser", "chrome")
        self.assertEqual(checks["registration:chrome"]["detail"].splitlines()[-1], by_package)

        # The same manifest under both is no shadow.
        self.reg("add", host_key("chrome"), "/ve", "/d", machine_manifest.upper(), "/f")
        _, checks = self.doctor("--browser", "chrome")
        self.assertNotIn("hides", checks["registration:chrome"]["detail"])

    def register_manifest(self, host):
        """A manifest beside the host naming it by its full path, and the
        Chrome key naming the manifest, as an installer elsewhere writes."""
        manifest = os.path.join(os.path.dirname(host), HOST_NAME + ".json")
        with open(manifest, "w", encoding="utf-8") as f:
            json.dump({"name": HOST_NAME, "description": "Tavorin Desktop App bridge",
                       "path": windows_path(host), "type": "stdio",
                       "allowed_origins": [f"chrome-extension://{TEST_EXTENSION}/"]}, f)
        self.reg("add", host_key("chrome"), "/ve", "/d", windows_path(manifest), "/f")

    def host_in(self, folder_name):
        folder = os.path.join(self.root, folder_name)
        os.makedirs(folder)
        shutil.copy(EXE, folder)
        return os.path.join(folder, "tavorin_shim.exe")

    def test_only_what_cmd_reads_inside_quotes_breaks_the_host_path(self):
        # The browser quotes the path whole: & ( ) ^ and a lone % are plain.
        self.register_manifest(self.host_in("Tavorin & Co (x86) ^ 100%"))
        _, checks = self.doctor("--browser", "chrome")
        self.assertTrue(checks["manifest:chrome"]["ok"], checks["manifest:chrome"])
        # A set variable's name between two % is replaced by cmd.exe. The
        # test sets its own: Wine fills in OS from the registry, which a
        # prefix under load has been seen to miss.
        self.env["TAVORIN_SET_NAME"] = "set"
        host = self.host_in("var %TAVORIN_SET_NAME% here")
        self.register_manifest(host)
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        check = self.assert_fails(checks, "manifest:chrome",
                                  f"the host's path {windows_path(host)} "
                                  "holds %TAVORIN_SET_NAME%")
        self.assertIn("NativeHostsExecutablesLaunchDirectly", check["fix"])

    # Chrome expands a REG_EXPAND_SZ; Firefox reads no such value and reads
    # on to its next place.
    def test_an_expandable_registration_is_read_as_each_browser_reads_it(self):
        folder = self.install(ids=(TEST_EXTENSION, FIREFOX_EXTENSION))
        self.env["TAVORIN_HOST_HOME"] = windows_path(folder)
        stored = rf"%TAVORIN_HOST_HOME%\{HOST_NAME}.json"
        self.reg("add", host_key("chrome"), "/ve", "/t", "REG_EXPAND_SZ", "/d", stored, "/f")
        firefox_stored = rf"%TAVORIN_HOST_HOME%\{HOST_NAME}.firefox.json"
        self.reg("add", host_key("firefox"), "/ve", "/t", "REG_EXPAND_SZ", "/d",
                 firefox_stored, "/f", "/reg:64")
        _, checks = self.doctor()
        check = checks["registration:chrome"]
        self.assertTrue(check["ok"], check)
        self.assertIn(f"names {windows_path(folder)}\\{HOST_NAME}.json, expanded from "
                      f"REG_EXPAND_SZ {stored}, found", check["detail"])
        check = self.assert_fails(checks, "registration:firefox",
                                  f"holds REG_EXPAND_SZ {firefox_stored}, ignored: "
                                  "Firefox reads no REG_EXPAND_SZ value and reads on")
        self.assertIn("REG_SZ", check["fix"])
        self.reg("add", host_key("firefox", "HKLM"), "/ve", "/d",
                 windows_path(os.path.join(folder, HOST_NAME + ".firefox.json")), "/f",
                 "/reg:64")
        _, checks = self.doctor("--browser", "firefox")
        check = checks["registration:firefox"]
        self.assertTrue(check["ok"], check)
        self.assertRegex(check["detail"], r"HKLM\\.*\(64-bit view\): names .*, found, wins")

    def test_a_host_that_never_ends_is_stopped_with_what_it_started(self):
        host = os.path.join(self.root, "stuck host.bat")
        with open(host, "w") as f:
            f.write("@ping -n 29 127.0.0.1 > nul\r\n")
        self.register_manifest(host)
        started = time.monotonic()
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        self.assert_host_stopped(started, checks, "ping", "-n", "29", "127.0.0.1")

if __name__ == "__main__":
    unittest.main()
