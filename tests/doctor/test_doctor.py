"""tavorin_doctor on Linux against the set-ups a support desk meets, each
made as a user gets there (install-linux.sh into a home of the test's own,
the example app, files left behind, a hand-edited manifest): the --json
account must name the failing check, what is wrong and where, and a fix.

Settings from the environment (CTest sets them):
  TAVORIN_DOCTOR       build/native/tavorin_doctor
  TAVORIN_SHIM         the Linux host
  TAVORIN_EXAMPLE_APP  the example desktop app
"""
import os
import shutil
import subprocess
import time
import unittest

from doctor_run import (APP, CLEAN_END, FIREFOX_EXTENSION, FIREFOX_FOLDER, HOST_NAME,
                        LINUX_FOLDERS, ROOT, TEST_EXTENSION, DoctorTestCase, ExampleApp,
                        make_stranger, refusing_port, stranger_listens)
from harness import echo  # noqa: E402  (on the path doctor_run sets)

DOCTOR = os.environ.get("TAVORIN_DOCTOR", os.path.join(ROOT, "build/native/tavorin_doctor"))
SHIM = os.environ.get("TAVORIN_SHIM", os.path.join(ROOT, "build/native/tavorin_shim"))
INSTALLER = os.path.join(ROOT, "install", "install-linux.sh")


class LinuxDoctor(DoctorTestCase):

    def setUp(self):
        super().setUp()
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home)
        # TMPDIR set, so that the host and the doctor agree on it whatever
        # else the host's rule would pick.
        self.env = dict(os.environ, HOME=self.home, TMPDIR=self.temp)
        self.command = [DOCTOR]

    def install(self, *browsers, folder="Jürgen Ü 世界 host"):
        host_folder = os.path.join(self.root, folder)
        os.makedirs(host_folder, exist_ok=True)
        shutil.copy(SHIM, host_folder)
        self.host = os.path.join(host_folder, "tavorin_shim")
        args = ["--extension", TEST_EXTENSION, "--extension", FIREFOX_EXTENSION,
                "--path", self.host]
        for browser in browsers:
            args += ["--browser", browser]
        subprocess.run(["sh", INSTALLER, *args], check=True, capture_output=True,
                       env=self.env)

    def manifest_path(self, browser="chrome"):
        folder = FIREFOX_FOLDER if browser == "firefox" else LINUX_FOLDERS[browser]
        return os.path.join(self.home, folder, HOST_NAME + ".json")

    def temp_file(self, name, content=b""):
        path = os.path.join(self.temp, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def test_nothing_installed_names_every_place_each_browser_looks(self):
        """In the browser's own order: the user's folder, then the system's
        (Firefox's builds use /usr/lib or /usr/lib64)."""
        system_folders = {
            "chrome": ["/etc/opt/chrome"], "chromium": ["/etc/chromium"],
            "edge": ["/etc/opt/edge"], "brave": ["/etc/opt/brave.com/brave"],
            "firefox": ["/usr/lib/mozilla", "/usr/lib64/mozilla"]}
        status, checks = self.doctor()
        self.assertEqual(status, 1)
        for browser, folders in system_folders.items():
            user = os.path.join(self.home, dict(LINUX_FOLDERS, firefox=FIREFOX_FOLDER)[browser])
            places = [user] + [f + "/native-messaging-hosts" for f in folders]
            check = self.assert_fails(checks, "registration:" + browser)
            self.assertEqual(check["detail"].splitlines()[1:len(places) + 1],
                             [f"  {place}/{HOST_NAME}.json: no file" for place in places])
        self.assertIn(f'Firefox answers "No such native application {HOST_NAME}"',
                      checks["registration:firefox"]["detail"])
        self.assertNotIn("manifest:chrome", checks)
        self.assert_fails(checks, "live_launch", "skipped")

    def test_installed_from_a_non_ascii_folder_with_the_app_up_passes(self):
        self.install()
        app = self.start_app()
        status, checks = self.doctor()
        self.assertEqual(status, 0, checks)
        self.assertTrue(all(c["ok"] for c in checks.values()), checks)
        self.assertIn(self.host, checks["manifest:chrome"]["detail"])
        self.assertIn(f"port {app.port} (from the port file): accepts",
                      checks["app_reachable"]["detail"])
        self.assertIn(CLEAN_END, checks["live_launch"]["detail"])
        self.assertEqual(app.received(), b"", "no byte may reach the app")

        done = self.run_doctor("--browser", "chromium")
        self.assertEqual(done.returncode, 0)
        text = done.stdout.decode("utf-8")
        self.assertIn("✓ Registration for Chromium", text)
        self.assertNotIn("Google Chrome", text)
        self.assertNotIn("✗", text)

    def test_app_down(self):
        self.install("chrome")
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        self.assert_fails(checks, "app_running",
                          os.path.join(self.temp, "tavorin_app_instance.lock") + ": absent")
        launch = self.assert_fails(checks, "live_launch", "No lock file found")
        self.assertIn("start the Tavorin Desktop App", launch["fix"])

    def test_lock_file_or_port_file_left_behind_with_nothing_listening(self):
        self.install("chrome")
        lock = self.temp_file("tavorin_app_instance.lock")
        port_file = os.path.join(self.temp, "tavorin_port.txt")
        dead_port = refusing_port(self)
        self.wait_for_free_fallback_ports()
        for port_text, found in ((None, "stale lock file: " + lock),
                                 (f"{dead_port}\n", f"the port file names port {dead_port}, "
                                                    "where nobody listens")):
            with self.subTest(port_file=port_text):
                if port_text:
                    self.temp_file("tavorin_port.txt", port_text.encode())
                status, checks = self.doctor("--browser", "chrome")
                self.assertEqual(status, 1)
                self.assertTrue(checks["app_running"]["ok"])
                reachable = self.assert_fails(checks, "app_reachable", found,
                                              "port 7882: nobody listens")
                self.assertIn(lock, reachable["fix"])
                if port_text:
                    self.assertIn(port_file, reachable["fix"])
                self.assert_fails(checks, "live_launch", "All connection attempts failed")

    def test_another_users_files_and_listener_are_named_with_their_fix(self):
        """What the host's log cannot say: in a directory every user can
        write, another user's lock file looks like none, and their listener
        like nobody listening."""
        stranger = make_stranger()
        if stranger is None:
            self.skipTest("needs root to make a second user (useradd)")
        self.install("chrome")
        os.chmod(self.temp, 0o1777)
        self.wait_for_free_fallback_ports()
        stranger_listens(self, stranger, 7878)
        lock = self.temp_file("tavorin_app_instance.lock")
        port_file = self.temp_file("tavorin_port.txt", b"7878")
        for path in (lock, port_file):
            os.chown(path, stranger.pw_uid, stranger.pw_gid)
        owner = f"{stranger.pw_name} (uid {stranger.pw_uid})"
        ignored = ": ignored: it belongs to another user, " + owner
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        running = self.assert_fails(checks, "app_running", lock + ignored)
        self.assertIn("not as " + owner, running["fix"])
        reachable = self.assert_fails(checks, "app_reachable", port_file + ignored,
                                      "port 7878: a program of another user listens",
                                      f"port 7878 is held by a program of {owner}")
        self.assertIn(port_file, reachable["fix"])
        self.assertIn(f"have {owner} or an administrator stop the program on port 7878",
                      reachable["fix"])

    def test_a_host_that_never_ends_is_stopped_with_what_it_started(self):
        script = os.path.join(self.root, "stuck host")
        # Lengths of this run's own, so that no other run's sleep is taken
        # for a leftover of this one.
        left_running = f"97.{os.getpid()}"
        with open(script, "w") as f:
            f.write(f"#!/bin/sh\nsleep {left_running} &\nsleep 98\n")
        os.chmod(script, 0o755)
        subprocess.run(["sh", INSTALLER, "--extension", TEST_EXTENSION, "--path", script,
                        "--browser", "chrome"], check=True, capture_output=True,
                       env=self.env)
        started = time.monotonic()
        status, checks = self.doctor("--browser", "chrome")
        self.assertEqual(status, 1)
        self.assert_host_stopped(started, checks, "sleep", left_running)

    def test_manifest_faults_are_named_with_the_manifest_file(self):
        """Each as the browser reads its manifest: the Chromium family's
        rules for Chrome's, Firefox's for Firefox's."""
        self.install("chrome", "firefox")
        good = {}
        for browser in ("chrome", "firefox"):
            with open(self.manifest_path(browser), "rb") as f:
                good[browser] = f.read()
        chrome, firefox = good["chrome"], good["firefox"]
        missing_host = os.path.join(self.root, "gone", "tavorin_shim")
        faults = [
            ("chrome", b"\xef\xbb\xbf" + chrome, "byte-order mark"),
            ("chrome", chrome.replace(b'"type"', b'"type" "', 1), "not valid JSON"),
            ("chrome", chrome.replace(TEST_EXTENSION.encode() + b"/", TEST_EXTENSION.encode()),
             f"chrome-extension://{TEST_EXTENSION}\" lacks its trailing \"/\""),
            ("chrome", chrome.replace(self.host.encode(), missing_host.encode()),
             f"\"path\" names {missing_host}, which does not exist"),
            ("firefox", firefox.replace(b'"type"', b'"allowed_origins": [], "type"'),
             '"allowed_origins" is no member of a Firefox manifest'),
            ("firefox", firefox.replace(FIREFOX_EXTENSION.encode(), TEST_EXTENSION.encode()),
             f'"{TEST_EXTENSION}" in "allowed_extensions" is a Chrome-family ID'),
        ]
        for browser, content, problem in faults:
            with self.subTest(problem=problem):
                manifest = self.manifest_path(browser)
                with open(manifest, "wb") as f:
                    f.write(content)
                status, checks = self.doctor("--browser", browser)
                self.assertEqual(status, 1)
                self.assertTrue(checks["registration:" + browser]["ok"])
                self.assert_fails(checks, "manifest:" + browser,
                                  "manifest: " + manifest, problem)
                self.assert_fails(checks, "live_launch", "skipped")

    def test_firefox_starts_the_host_with_the_manifest_and_the_id(self):
        """The live launch as Firefox makes it: the host in its own folder,
        with the manifest's path and the extension's ID as arguments."""
        folder = os.path.join(self.root, "Jürgen host")
        os.makedirs(folder)
        script = os.path.join(folder, "recording host")
        with open(script, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$PWD" "$@" > "$0.args"\n')
        os.chmod(script, 0o755)
        subprocess.run(["sh", INSTALLER, "--extension", FIREFOX_EXTENSION, "--path", script],
                       check=True, capture_output=True, env=self.env)
        status, checks = self.doctor("--browser", "firefox")
        self.assertEqual(status, 1)
        self.assertTrue(checks["manifest:firefox"]["ok"], checks["manifest:firefox"])
        self.assertTrue(checks["policy:firefox"]["ok"], checks["policy:firefox"])
        self.assert_fails(checks, "live_launch", "its log: (empty)")
        with open(script + ".args", encoding="utf-8") as f:
            self.assertEqual(f.read().splitlines(),
                             [folder, self.manifest_path("firefox"), FIREFOX_EXTENSION])

    def test_what_stands_where_the_manifest_belongs_is_named_not_read(self):
        """A FIFO, a directory, a link to /dev/zero or a sparse file of 50 GB
        in the manifest's place: each a finding within seconds, in a few MB
        (the doctor runs under a 256 MB address-space cap)."""
        manifest = self.manifest_path()
        os.makedirs(os.path.dirname(manifest))
        self.command = ["prlimit", f"--as={256 << 20}", DOCTOR]

        def sparse(path):
            with open(path, "wb") as f:
                f.truncate(50 << 30)

        cases = [(os.mkfifo, "is a FIFO, not a file"),
                 (os.mkdir, "is a directory, not a file"),
                 (lambda path: os.symlink("/dev/zero", path),
                  "is a character device, not a file"),
                 (sparse, f"is {50 << 30} bytes, far more than any manifest")]
        for make, found in cases:
            with self.subTest(found=found):
                make(manifest)
                started = time.monotonic()
                status, checks = self.doctor("--browser", "chrome")
                self.assertLess(time.monotonic() - started, 10)
                (os.rmdir if os.path.isdir(manifest) else os.remove)(manifest)
                self.assertEqual(status, 1)
                self.assertTrue(checks["registration:chrome"]["ok"])
                check = self.assert_fails(checks, "manifest:chrome", f"{manifest} {found}")
                self.assertEqual(check["fix"], "delete it and reinstall")

    def test_send_passes_messages_through_the_installed_host(self):
        self.install()
        app = self.start_app()
        ping = b'{"cmd":"ping"}'
        # Arguments, standard input, then the exit status, the answers on
        # standard output and the last line on standard error.
        cases = [
            (["--send", ping.decode()], b"", 0, [echo(ping)], "1 of 1 messages answered"),
            # As PowerShell pipes text when told to write UTF-8: a
            # byte-order mark first, CRLF line ends.
            (["--send", "-"], b'\xef\xbb\xbf{"a":1}\r\n\r\n[2]\r\n', 0,
             [echo(b'{"a":1}'), echo(b"[2]")],
             "2 of 2 messages answered"),
            (["--browser", "firefox", "--send", "-"], b'"\xc3\xa9"\n', 0,
             [echo(b'"\xc3\xa9"')], "1 of 1 messages answered"),
            (["--send", "-"], b'{"a":1}\nnot json\n', 1, [],
             "message 2 is not JSON (unexpected character at byte 0): a browser sends JSON only"),
            (["--send", "-"], b"", 1, [], "no message to send"),
        ]
        for args, stdin, status, answers, last in cases:
            with self.subTest(args=args, stdin=stdin):
                done = subprocess.run([DOCTOR, *args], input=stdin, capture_output=True,
                                      env=self.env, timeout=60)
                log = done.stderr.decode()
                self.assertEqual(done.returncode, status, log)
                self.assertEqual(done.stdout.splitlines(), answers)
                self.assertEqual(log.splitlines()[-1], "tavorin_doctor: " + last)
        ran = subprocess.run([DOCTOR, "--browser", "firefox", "--send", "[1]"], capture_output=True,
                             env=self.env, timeout=60).stderr.decode()
        self.assertIn(f"{self.host} {self.manifest_path('firefox')} {FIREFOX_EXTENSION}\n", ran)
        self.assertIn("Relaying message to app: [1]", ran)
        self.assertEqual(app.received(), b'{"cmd":"ping"}\n{"a":1}\n[2]\n"\xc3\xa9"\n[1]\n')

    def test_send_says_why_a_message_got_no_answer(self):
        no_answer = "message 1: no answer: the host ended its output or sent nothing"
        # With the app down the host ends at once, reading nothing: whether
        # the message still fitted in the pipe first is the system's timing.
        not_read = "message 1 could not be sent: the host no longer reads"
        cases = [("nothing installed", False, False,
                  ("no browser has a valid registration of the host com.tavorin.desktop",)),
                 ("the app down", True, False, (no_answer, not_read)),
                 ("the app silent", True, True, (no_answer,))]
        for name, installed, silent, reasons in cases:
            with self.subTest(name):
                if installed:
                    self.install("chrome")
                if silent:
                    app = ExampleApp(APP, self.temp, ["--silent"])
                    self.addCleanup(app.stop)
                done = self.run_doctor("--send", "{}")
                self.assertEqual(done.returncode, 1)
                self.assertEqual(done.stdout, b"")
                said = done.stderr.decode()
                self.assertTrue(any("tavorin_doctor: " + reason in said for reason in reasons),
                                said)

    def test_usage_errors_and_help(self):
        for args in (["--bogus"], ["--browser", "opera"], ["--browser"], ["--send"],
                     ["--json", "--send", "{}"]):
            done = self.run_doctor(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertEqual(done.stdout, b"", args)
            self.assertTrue(done.stderr, args)
        done = self.run_doctor("--help")
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"shim_launched.txt", done.stdout)


if __name__ == "__main__":
    unittest.main()
