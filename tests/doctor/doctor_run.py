"""What the doctor tests share: running tavorin_doctor, reading its single
JSON object, asserting on one check, starting the example app, and knowing
whether the fallback ports are free (a stale lock file must meet nobody
there)."""
import json
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import (FALLBACK_PORTS, FIREFOX_EXTENSION, FIREFOX_FOLDER,  # noqa: E402,F401
                     HOST_NAME, LINUX_FOLDERS, TEST_EXTENSION, WINDOWS_KEYS, WINE,
                     ExampleApp, forget_registry_keys, host_key, make_stranger, port_in_use,
                     refusing_port, scratch_folder, stranger_listens, wine_environment,
                     windows_path)

CLEAN_END = "Chrome disconnected (EOF) after 0 messages"
APP = os.environ.get("TAVORIN_EXAMPLE_APP", os.path.join(ROOT, "build/native/tavorin_example_app"))
# The doctor bounds its live launch at 10 s; anything far beyond is a hang.
DOCTOR_DEADLINE = 60


def processes_running(*args):
    """Ids of processes whose command line is exactly `args`."""
    wanted = "\0".join(args) + "\0"
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline") as f:
                if f.read() == wanted:
                    found.append(int(pid))
        except OSError:
            pass
    return found


class DoctorTestCase(unittest.TestCase):
    """Subclasses say how to run the doctor: `command` and `env`."""

    def setUp(self):
        """A folder of the test's own (`root`), with the temporary
        directory of the host, the doctor and the app in it (`temp`)."""
        self.root = scratch_folder(self, "tavorin-doctor-")
        self.temp = os.path.join(self.root, "temp")
        os.makedirs(self.temp)

    def run_doctor(self, *args):
        return subprocess.run(self.command + list(args), capture_output=True,
                              env=self.env, timeout=DOCTOR_DEADLINE)

    def doctor(self, *args):
        """The doctor with --json: its status and its one JSON object."""
        done = self.run_doctor("--json", *args)
        self.assertIn(done.returncode, (0, 1), done.stderr)
        report = json.loads(done.stdout.decode("utf-8"))
        self.assertEqual(set(report), {"ok", "checks"})
        for check in report["checks"]:
            self.assertEqual(set(check), {"check", "ok", "detail", "fix"})
            self.assertEqual(check["fix"] == "", check["ok"], check)
        self.assertEqual(report["ok"], done.returncode == 0)
        return done.returncode, {c["check"]: c for c in report["checks"]}

    def start_app(self):
        """The example app, keeping its files in `temp`."""
        app = ExampleApp(APP, self.temp, ["--mode", "prod", "--port", "0"])
        self.addCleanup(app.stop)
        return app

    def assert_host_stopped(self, started, checks, *leftover):
        """A host that never ends is stopped at the doctor's limit, with
        whatever it started, and the doctor says so."""
        self.assertLess(time.monotonic() - started, 20)
        self.assert_fails(checks, "live_launch",
                          "still running at the time limit: stopped by the doctor")
        # Windows has ended them when the doctor returns; under Wine the
        # Linux processes behind them may take a moment more to go.
        deadline = time.monotonic() + 10
        left = processes_running(*leftover)
        while left and time.monotonic() < deadline:
            time.sleep(0.1)
            left = processes_running(*leftover)
        for pid in left:
            os.kill(pid, 9)
        self.assertEqual(left, [], "the doctor left part of the host running")

    def assert_fails(self, checks, name, *found):
        """The check failed, its detail names each of `found`, and it says
        what fixes it."""
        self.assertIn(name, checks, list(checks))
        check = checks[name]
        self.assertFalse(check["ok"], check)
        for text in found:
            self.assertIn(text, check["detail"], check)
        self.assertTrue(check["fix"], check)
        return check

    def wait_for_free_fallback_ports(self):
        """Another program on this machine may hold a fallback port for a
        while; the test cannot mean anything until it lets go."""
        deadline = time.monotonic() + 30
        while any(map(port_in_use, FALLBACK_PORTS)):
            if time.monotonic() > deadline:
                self.skipTest("another program holds a port of 7878-7882")
            time.sleep(0.5)
