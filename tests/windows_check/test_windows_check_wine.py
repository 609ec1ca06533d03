"""tavorin_windows_check.exe under Wine, in a prefix and on an X display of
its own (Wine gives the hidden console Chrome's cmd.exe gets a window only
on a display): the checks Wine can answer pass, and each one it cannot
says "not measurable under Wine" instead of a figure it would only
pretend to have. It must also leave the machine as it found it: its
folder gone, and a user's own registration of the host put back.

Settings from the environment (CTest sets them):
  TAVORIN_WINDOWS_CHECK  build/windows/tavorin_windows_check.exe
"""
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "install"))
from launcher import WINE, virtual_display  # noqa: E402
from wine_msi import WinePrefix  # noqa: E402

PROGRAM = os.environ.get("TAVORIN_WINDOWS_CHECK",
                         os.path.join(ROOT, "build/windows/tavorin_windows_check.exe"))
# The checks in their order: those Wine answers, and those it cannot.
ANSWERED = ["system", "launch", "listener_owner", "script_installer"]
UNANSWERED = ["log_cost", "refused_connects", "elevated_app", "default_terminal",
              "registry_views", "msi"]
ORDER = ["system", "launch", "log_cost", "refused_connects", "listener_owner",
         "elevated_app", "default_terminal", "registry_views", "script_installer", "msi"]
# A user's own registration for Chromium (and Brave), which the script
# installer check overwrites and must put back.
USER_KEY = r"HKCU\Software\Chromium\NativeMessagingHosts\com.tavorin.desktop"
USERS_MANIFEST = r"D:\Mine\com.tavorin.desktop.json"


@unittest.skipUnless(os.path.exists(PROGRAM) and os.access(WINE, os.X_OK) and
                     shutil.which("Xvfb"), "the program, Wine or Xvfb is missing")
class WindowsCheckUnderWine(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.wine = WinePrefix(display=virtual_display(cls.addClassCleanup))
        cls.wine.start()
        cls.addClassCleanup(cls.wine.stop)
        done = cls.wine.run("reg", "add", USER_KEY, "/ve", "/t", "REG_SZ",
                            "/d", USERS_MANIFEST, "/f", "/reg:64")
        assert done.returncode == 0, done.stderr
        cls.done = cls.wine.run(PROGRAM, "--json", "--elevated-app", timeout=240)
        cls.report = json.loads(cls.done.stdout)
        cls.checks = {check["check"]: check for check in cls.report["checks"]}

    def test_every_check_runs_and_the_answered_ones_pass(self):
        self.assertEqual([c["check"] for c in self.report["checks"]], ORDER)
        self.assertEqual((self.done.returncode, self.report["ok"]), (0, True),
                         json.dumps(self.report, indent=1, ensure_ascii=False))
        for name in ANSWERED:
            check = self.checks[name]
            self.assertTrue(check["ok"], check)
            self.assertNotIn("not measurable", check["detail"].splitlines()[0], name)

    def test_what_wine_cannot_answer_says_so_first(self):
        for name in UNANSWERED:
            first = self.checks[name]["detail"].splitlines()[0]
            self.assertTrue(first.startswith("not measurable under Wine: "), (name, first))
        owner = self.checks["listener_owner"]["detail"]
        self.assertIn("a listener of another user: not measurable under Wine", owner)

    def test_the_launches_relay_in_each_browsers_way(self):
        detail = self.checks["launch"]["detail"]
        self.assertIn("Jürgen & 100% 世界", detail)
        self.assertIn("7 B, 31 B, 900,010 B", detail)
        self.assertEqual(detail.count("3 messages relayed both ways byte for byte"), 3, detail)
        self.assertIn("its log reached the pipe", detail)

    def test_figures_wine_can_give_are_still_taken(self):
        # The host gives up after its five attempts (four pauses of 1 s).
        refused = self.checks["refused_connects"]["detail"]
        took = re.search(r'"All connection attempts failed" .*: (\d+) ms', refused)
        self.assertIsNotNone(took, refused)
        self.assertTrue(4000 <= int(took.group(1)) < 10000, refused)
        cost = self.checks["log_cost"]["detail"]
        self.assertRegex(cost, r"standard error a new hidden console +[0-9.]+ +[0-9.]+ +[0-9.]+")
        self.assertIn("ratio to standard error NUL:", cost)

    def test_it_leaves_the_machine_as_it_found_it(self):
        installer = self.checks["script_installer"]["detail"]
        self.assertIn(f'before: "{USERS_MANIFEST}" (put back afterwards)', installer)
        self.assertEqual(self.wine.reg_values(USER_KEY), {"": USERS_MANIFEST})
        scratch = re.search(r"scratch folder: (.*)", self.checks["system"]["detail"]).group(1)
        self.assertFalse(os.path.exists(self.wine.unix_path(scratch)), scratch)
        self.assertIsNone(self.wine.reg_values(
            r"HKCU\SOFTWARE\Google\Chrome\NativeMessagingHosts\com.tavorin.windows_check"))

    def test_usage_errors_end_with_status_2(self):
        done = self.wine.run(PROGRAM, "--host", r"Z:\no\such\tavorin_shim.exe")
        self.assertEqual(done.returncode, 2)
        self.assertIn(r"--host: no such file: Z:\no\such\tavorin_shim.exe", done.stderr)
        self.assertEqual(self.wine.run(PROGRAM, "--frobnicate").returncode, 2)


if __name__ == "__main__":
    unittest.main()
