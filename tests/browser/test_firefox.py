"""A real Firefox starts the host: headless Firefox ESR runs a test extension
of our own, unsigned, from a new profile, through the host install-linux.sh
registered as a user would, and posts its account to the test's own server
on 127.0.0.1, which the test awaits. Any other request goes to a refusing
proxy port: nothing leaves the machine.

Settings from the environment (CTest sets them): TAVORIN_SHIM (the host),
TAVORIN_EXAMPLE_APP, FIREFOX (default /usr/lib/firefox-esr/firefox-esr).
"""
import http.server
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import (FIREFOX_EXTENSION, FIREFOX_FOLDER, HOST_NAME,  # noqa: E402
                     ExampleApp, refusing_port, scratch_folder)
from host_processes import host_pids, still_running_after  # noqa: E402

EXTENSION = os.path.join(HERE, "firefox_extension")
FIREFOX = os.environ.get("FIREFOX", "/usr/lib/firefox-esr/firefox-esr")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))
APP = os.environ.get("TAVORIN_EXAMPLE_APP", "build/native/tavorin_example_app")
INSTALLER = os.path.join(ROOT, "install", "install-linux.sh")
DEADLINE = 60
# What the extension sends, as Firefox writes it: compact JSON in UTF-8.
SENT = [{"n": 1}, {"text": "Grüße, 世界 🔧"}, {"big": "é" * 450000},
        {"oneshot": "Grüße über sendNativeMessage"}]


def preferences(dead_port):
    return {
        "xpinstall.signatures.required": False,  # ESR honours it
        "extensions.autoDisableScopes": 0,  # runs an extension found in the profile
        "extensions.update.enabled": False,
        "browser.shell.checkDefaultBrowser": False,
        "datareporting.policy.dataSubmissionEnabled": False,
        "network.proxy.type": 1,
        "network.proxy.http": "127.0.0.1", "network.proxy.http_port": dead_port,
        "network.proxy.ssl": "127.0.0.1", "network.proxy.ssl_port": dead_port,
        "network.proxy.allow_hijacking_localhost": False,  # ours go direct
        "network.dns.disablePrefetch": True,
        "network.trr.mode": 5,
        "network.captive-portal-service.enabled": False,
        "network.connectivity-service.enabled": False,
        "dom.push.connection.enabled": False,
    }


def results_server(test):
    """A server on 127.0.0.1 that queues each POST's body: its URL and queue."""
    bodies = queue.Queue()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            bodies.put(self.rfile.read(int(self.headers.get("Content-Length", 0))))
            self.send_response(204)
            self.end_headers()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    test.addCleanup(server.server_close)
    test.addCleanup(server.shutdown)
    return f"http://127.0.0.1:{server.server_address[1]}/results", bodies


@unittest.skipUnless(os.access(FIREFOX, os.X_OK), f"no browser at {FIREFOX}")
class FirefoxTalksThroughTheHost(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_folder(self, "tavorin-firefox-")
        self.home, self.app_dir, self.profile = (
            os.path.join(self.dir, name) for name in ("home", "temp", "profile"))
        for folder in (self.home, self.app_dir, os.path.join(self.profile, "extensions")):
            os.makedirs(folder)
        self.app = ExampleApp(APP, self.app_dir, ["--mode", "prod", "--port", "0"])
        self.addCleanup(self.app.stop)
        url, self.reports = results_server(self)
        # The extension as an .xpi named by its ID in the profile's folder.
        xpi = os.path.join(self.profile, "extensions", FIREFOX_EXTENSION + ".xpi")
        with zipfile.ZipFile(xpi, "w") as archive:
            for name in sorted(os.listdir(EXTENSION)):
                archive.write(os.path.join(EXTENSION, name), name)
            archive.writestr("results.js", f"const RESULTS_URL = {json.dumps(url)};\n")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in preferences(refusing_port(self)).items():
                f.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")
        # Installed from a folder whose name is not ASCII, as a user would.
        host_dir = os.path.join(self.dir, "Jürgen Ü 世界 bridge")
        os.makedirs(host_dir)
        self.host = os.path.join(host_dir, "tavorin_shim")
        shutil.copy(SHIM, self.host)
        self.addCleanup(lambda: [os.kill(pid, signal.SIGKILL) for pid in host_pids(self.host)])
        self.installer("--extension", FIREFOX_EXTENSION, "--path", self.host)

    def installer(self, *args):
        subprocess.run(["sh", INSTALLER, *args], check=True, capture_output=True,
                       env=dict(os.environ, HOME=self.home))

    def start_firefox(self):
        """Firefox in a process group of its own, ended with all it started."""
        log = open(os.path.join(self.dir, "firefox.log"), "w+b")
        self.addCleanup(log.close)
        browser = subprocess.Popen(
            [FIREFOX, "--headless", "--no-remote", "--profile", self.profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True,
            env=dict(os.environ, HOME=self.home, TMPDIR=self.app_dir,
                     MOZ_CRASHREPORTER_DISABLE="1"))

        def stop():
            try:
                os.killpg(browser.pid, signal.SIGTERM)
                browser.wait(timeout=15)
            except ProcessLookupError:
                pass
            except subprocess.TimeoutExpired:
                os.killpg(browser.pid, signal.SIGKILL)
                browser.wait()
        self.addCleanup(stop)
        return browser, log

    def test_every_message_goes_both_ways_and_every_host_ends(self):
        browser, log = self.start_firefox()
        try:
            report = json.loads(self.reports.get(timeout=DEADLINE))
        except queue.Empty:
            log.seek(0)
            self.fail("the extension never reported; Firefox's output:\n" +
                      log.read()[-3000:].decode(errors="replace"))
        self.assertNotIn("error", report, report)
        # Each answer came back whole: the app's echo of exactly the message.
        for account in report["port"] + [report["oneshot"]]:
            self.assertEqual((account["ok"], account["echoed"]), (True, True), report)
        self.assertGreater(report["port"][2]["bytes"], 900_000)
        # And the app received each message byte for byte, in order.
        self.assertEqual(self.app.received().splitlines(),
                         [json.dumps(m, ensure_ascii=False, separators=(",", ":")).encode()
                          for m in SENT])

        # Every host ends once its port is closed, with Firefox still running.
        self.assertEqual(still_running_after(host_pids(self.host), 15), [])
        self.assertIsNone(browser.poll(), "Firefox itself ended")
        manifest = os.path.join(self.home, FIREFOX_FOLDER, HOST_NAME + ".json")
        self.assertTrue(os.path.isfile(manifest))
        self.installer("--uninstall")
        self.assertFalse(os.path.exists(manifest))


if __name__ == "__main__":
    unittest.main()
