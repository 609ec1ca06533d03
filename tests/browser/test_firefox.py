"""A real Firefox starts the host: headless Firefox ESR loads a test extension
of our own, unsigned, from a new profile, and talks to the example desktop
app through the host that install-linux.sh registered, as a user would have
it: over one connectNative port and through one sendNativeMessage.

The extension posts its account to a small HTTP server of the test's own on
127.0.0.1, whose address the test writes into the extension as results.js;
the test waits for that request, and for each host process to end, rather
than polling. Every other request Firefox makes goes to a proxy that refuses
it, so nothing leaves the machine.

Settings from the environment (CTest sets them):
  TAVORIN_SHIM         the native host
  TAVORIN_EXAMPLE_APP  the example desktop app
  FIREFOX              the browser binary (default /usr/lib/firefox-esr/firefox-esr)
"""
import http.server
import json
import os
import queue
import select
import shutil
import signal
import subprocess
import sys
import threading
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import (FIREFOX_EXTENSION, FIREFOX_FOLDER, HOST_NAME,  # noqa: E402
                     ExampleApp, refusing_port, scratch_folder)

EXTENSION = os.path.join(HERE, "firefox_extension")
FIREFOX = os.environ.get("FIREFOX", "/usr/lib/firefox-esr/firefox-esr")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))
APP = os.environ.get("TAVORIN_EXAMPLE_APP", "build/native/tavorin_example_app")
INSTALLER = os.path.join(ROOT, "install", "install-linux.sh")
DEADLINE = 60
# What the extension sends, as Firefox writes it: compact JSON, UTF-8.
SENT = [{"n": 1}, {"text": "Grüße, 世界 🔧"}, {"big": "é" * 450000},
        {"oneshot": "Grüße über sendNativeMessage"}]


def firefox_preferences(dead_port):
    return {
        # ESR honours it: the test extension is not signed.
        "xpinstall.signatures.required": False,
        # An extension found in the profile runs without asking.
        "extensions.autoDisableScopes": 0,
        "extensions.update.enabled": False,
        "browser.shell.checkDefaultBrowser": False,
        "browser.startup.page": 0,
        "datareporting.policy.dataSubmissionEnabled": False,
        "toolkit.telemetry.reportingpolicy.firstRun": False,
        # Nothing leaves the machine: every request but those to 127.0.0.1
        # goes to a proxy port that refuses it.
        "network.proxy.type": 1,
        "network.proxy.http": "127.0.0.1",
        "network.proxy.http_port": dead_port,
        "network.proxy.ssl": "127.0.0.1",
        "network.proxy.ssl_port": dead_port,
        "network.proxy.allow_hijacking_localhost": False,
        "network.dns.disablePrefetch": True,
        "network.trr.mode": 5,
        "network.captive-portal-service.enabled": False,
        "network.connectivity-service.enabled": False,
        "dom.push.connection.enabled": False,
    }


class ResultsServer:
    """Takes the extension's one POST and hands its body to the test."""

    def __init__(self, test):
        bodies = queue.Queue()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                length = int(self.headers.get("Content-Length", 0))
                bodies.put(self.rfile.read(length))
                self.send_response(204)
                self.end_headers()

            def log_message(self, *args):
                pass

        self.bodies = bodies
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        test.addCleanup(self.server.server_close)
        test.addCleanup(self.server.shutdown)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/results"

    def report(self, seconds):
        return json.loads(self.bodies.get(timeout=seconds))


def host_pids(program):
    """Process ids of hosts started from that program file."""
    pids = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink(f"/proc/{entry}/exe") == program:
                pids.append(int(entry))
        except OSError:
            pass
    return pids


def wait_for_ends(pids, seconds):
    """Waits until each process has ended; returns those still running."""
    handles = {}
    for pid in pids:
        try:
            handles[os.pidfd_open(pid)] = pid
        except ProcessLookupError:
            pass  # already gone
    deadline = time.monotonic() + seconds
    try:
        while handles:
            left = deadline - time.monotonic()
            ended, _, _ = select.select(list(handles), [], [], max(left, 0))
            if not ended:
                break
            for handle in ended:
                os.close(handle)
                del handles[handle]
        return sorted(handles.values())
    finally:
        for handle in handles:
            os.close(handle)


def group_members(group):
    """Live processes of that process group."""
    members = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == group and fields[0] != "Z":
            members.append(int(entry))
    return members


@unittest.skipUnless(os.access(FIREFOX, os.X_OK), f"no browser at {FIREFOX}")
class FirefoxTalksThroughTheHost(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_folder(self, "tavorin-firefox-")
        self.home = os.path.join(self.dir, "home")
        self.app_dir = os.path.join(self.dir, "temp")
        self.profile = os.path.join(self.dir, "profile")
        for folder in (self.home, self.app_dir, os.path.join(self.profile, "extensions")):
            os.makedirs(folder)
        self.app = ExampleApp(APP, self.app_dir, ["--mode", "prod", "--port", "0"])
        self.addCleanup(self.app.stop)
        self.results = ResultsServer(self)
        self.write_profile()
        # Installed from a folder whose name is not ASCII, as a user would.
        host_dir = os.path.join(self.dir, "Jürgen Ü 世界 bridge")
        os.makedirs(host_dir)
        self.host = os.path.join(host_dir, "tavorin_shim")
        shutil.copy(SHIM, self.host)
        self.addCleanup(self.kill_hosts)
        self.installer("--extension", FIREFOX_EXTENSION, "--path", self.host)

    def installer(self, *args):
        subprocess.run(["sh", INSTALLER, *args], check=True, capture_output=True,
                       env=dict(os.environ, HOME=self.home))

    def write_profile(self):
        """The extension packed as an .xpi named by its ID in the profile's
        extensions folder, with results.js naming our server, and the
        preferences Firefox reads at its start."""
        xpi = os.path.join(self.profile, "extensions", FIREFOX_EXTENSION + ".xpi")
        with zipfile.ZipFile(xpi, "w") as archive:
            for name in sorted(os.listdir(EXTENSION)):
                archive.write(os.path.join(EXTENSION, name), name)
            archive.writestr("results.js", f"const RESULTS_URL = {json.dumps(self.results.url)};\n")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in firefox_preferences(refusing_port(self)).items():
                f.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")

    def kill_hosts(self):
        for pid in host_pids(self.host):
            os.kill(pid, signal.SIGKILL)

    def start_firefox(self):
        log = open(os.path.join(self.dir, "firefox.log"), "wb")
        self.addCleanup(log.close)
        browser = subprocess.Popen(
            [FIREFOX, "--headless", "--no-remote", "--profile", self.profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True,
            env=dict(os.environ, HOME=self.home, TMPDIR=self.app_dir,
                     MOZ_CRASHREPORTER_DISABLE="1"))
        self.addCleanup(self.stop, browser)
        return browser

    @staticmethod
    def stop(browser):
        """Firefox and every process it started, its content processes too."""
        try:
            os.killpg(browser.pid, signal.SIGTERM)
            browser.wait(timeout=15)
        except ProcessLookupError:
            pass
        except subprocess.TimeoutExpired:
            os.killpg(browser.pid, signal.SIGKILL)
            browser.wait()

    def firefox_log(self):
        with open(os.path.join(self.dir, "firefox.log"), errors="replace") as f:
            return f.read()[-3000:]

    def test_every_message_goes_both_ways_and_every_host_ends(self):
        browser = self.start_firefox()
        try:
            report = self.results.report(DEADLINE)
        except queue.Empty:
            self.fail("the extension never reported; Firefox's output:\n" + self.firefox_log())
        self.assertNotIn("error", report, report)
        # Each answer came back whole: the app's echo of exactly the message.
        self.assertEqual([a["ok"] and a["echoed"] for a in report["port"]], [True] * 3)
        self.assertEqual((report["oneshot"]["ok"], report["oneshot"]["echoed"]), (True, True))
        self.assertGreater(report["port"][2]["bytes"], 900_000)
        # And the app received each message byte for byte, in order.
        self.assertEqual(self.app.received().splitlines(),
                         [json.dumps(m, ensure_ascii=False, separators=(",", ":")).encode()
                          for m in SENT])

        # Every host ends once its port is closed, with Firefox still running.
        self.assertEqual(wait_for_ends(host_pids(self.host), 15), [])
        self.assertIsNone(browser.poll(), "Firefox itself ended")

        self.stop(browser)
        self.assertEqual(wait_for_ends(group_members(browser.pid), 15), [],
                         "Firefox left processes behind")
        manifest = os.path.join(self.home, FIREFOX_FOLDER, HOST_NAME + ".json")
        self.assertTrue(os.path.isfile(manifest))
        self.installer("--uninstall")
        self.assertFalse(os.path.exists(manifest))


if __name__ == "__main__":
    unittest.main()
