"""A real browser starts the host: headless Chromium loads a test extension
that talks to the example desktop app through the installed host, both over
one long-lived port and one host process per message.

Settings from the environment (CTest sets them):
  TAVORIN_SHIM         the native host
  TAVORIN_EXAMPLE_APP  the example desktop app
  CHROMIUM             the browser binary (default /usr/lib/chromium/chromium)
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import TEST_EXTENSION, ExampleApp, scratch_folder  # noqa: E402
from host_processes import host_pids  # noqa: E402

EXTENSION = os.path.join(HERE, "extension")
CHROMIUM = os.environ.get("CHROMIUM", "/usr/lib/chromium/chromium")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))
APP = os.environ.get("TAVORIN_EXAMPLE_APP", "build/native/tavorin_example_app")
DEADLINE = 90


def wait_for(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


@unittest.skipUnless(os.access(CHROMIUM, os.X_OK), f"no browser at {CHROMIUM}")
class ChromiumTalksThroughTheHost(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_folder(self, "tavorin-browser-")
        self.app_dir = os.path.join(self.dir, "temp")
        self.profile = os.path.join(self.dir, "profile")
        os.makedirs(self.app_dir)
        self.app = ExampleApp(APP, self.app_dir, ["--mode", "prod", "--port", "0", "--ack"])
        self.addCleanup(self.app.stop)
        # Installed from a folder whose name is not ASCII: the manifest must
        # still be UTF-8 the browser reads.
        host_dir = os.path.join(self.dir, "Jürgen Ü 世界 bridge")
        os.makedirs(host_dir)
        self.host = os.path.join(host_dir, "tavorin_shim")
        shutil.copy(SHIM, self.host)
        self.addCleanup(self.kill_hosts)
        subprocess.run(
            ["sh", os.path.join(ROOT, "install/install-linux.sh"),
             "--extension", TEST_EXTENSION, "--path", self.host,
             "--user-data-dir", self.profile, "--browser", "chromium"],
            check=True, capture_output=True)

    @staticmethod
    def stop(process):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def kill_hosts(self):
        for pid in host_pids(self.host):
            os.kill(pid, signal.SIGKILL)

    def raw_lines(self):
        try:
            with open(self.app.record_path, "rb") as f:
                return f.read().splitlines()
        except OSError:
            return []

    def received(self):
        try:
            return [json.loads(line) for line in self.raw_lines()]
        except ValueError:
            return []

    def test_every_round_trip_reaches_the_app_in_order(self):
        log_path = os.path.join(self.dir, "chromium.log")
        with open(log_path, "wb") as log:
            browser = subprocess.Popen(
                [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--enable-logging=stderr", f"--user-data-dir={self.profile}",
                 f"--load-extension={EXTENSION}", "about:blank"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                env=dict(os.environ, TMPDIR=self.app_dir))
        self.addCleanup(self.stop, browser)
        done = wait_for(
            lambda: any(m.get("phase") == "done" for m in self.received()),
            DEADLINE)
        with open(log_path, errors="replace") as log:
            bridge_lines = [line for line in log if "[bridge-test]" in line]
        print("".join(bridge_lines))
        self.assertTrue(done, "the extension never finished:\n" + "".join(bridge_lines[-10:]))

        messages = self.received()
        self.assertEqual([m.get("seq") for m in messages], [1, 2, 3, 4, 5, None])
        self.assertEqual([m["phase"] for m in messages],
                         ["port"] * 3 + ["oneshot"] * 2 + ["done"])
        self.assertEqual(messages[0]["text"], "hello")
        self.assertEqual(messages[1]["text"], "Grüße, 世界 🔧")
        self.assertEqual(messages[2]["text"], "x" * 1000000)
        # Each message carries the app's answer to the one before it, which
        # counts the bytes the app received: nothing lost on the way.
        lengths = [len(line) for line in self.raw_lines()]
        for length, after in zip(lengths, messages[1:]):
            self.assertEqual(after["prev"], {"ok": True, "bytes": length})

        # Every host ends once its port is closed, with the browser still
        # running: none is left behind.
        self.assertTrue(wait_for(lambda: not host_pids(self.host), 15),
                        f"hosts left running: {host_pids(self.host)}")


if __name__ == "__main__":
    unittest.main()
