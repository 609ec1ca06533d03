"""Chrome's own start of the host, exactly: Chrome is a program without a
console, so the cmd.exe it starts (hidden, with no handle of Chrome's and
the host's folder as its current directory) gets a new console of its own,
and the host's log goes there. Run under Wine in a prefix of its own with an
X display of its own: Wine gives a console a window (hidden or not) only on
a display, and a display shared with other tests' Wine programs would
outlive this one's.

Settings from the environment (CTest sets them):
  TAVORIN_SHIM_EXE     the Windows host
  TAVORIN_LAUNCHER     build/windows/chrome_launcher.exe
  TAVORIN_EXAMPLE_APP  the example desktop app (Linux)
"""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from launcher import (ANSWERS, LAUNCHER, ROOT, TEST_EXTENSION, WINE,  # noqa: E402
                      launch, scratch_folder, start_app, virtual_display,
                      windows_path)
from wine_msi import WinePrefix  # noqa: E402

EXE = os.environ.get("TAVORIN_SHIM_EXE", os.path.join(ROOT, "build/windows/tavorin_shim.exe"))
SCRIPT = os.path.join(ROOT, "install", "install-windows.cmd")
# The host writes this after its last frame: the console must show it.
LAST_LINE = "Successfully relayed response #3 to Chrome"


@unittest.skipUnless(os.path.exists(EXE) and os.path.exists(LAUNCHER) and
                     os.access(WINE, os.X_OK) and shutil.which("Xvfb"),
                     "the Windows host, the launcher, Wine or Xvfb is missing")
class ChromesOwnLaunch(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.wine = WinePrefix(display=virtual_display(cls.addClassCleanup))
        cls.wine.start()
        cls.addClassCleanup(cls.wine.stop)

    def setUp(self):
        root = scratch_folder(self, "tavorin-console-")
        folder = os.path.join(root, "Jürgen Ü 世界 app")
        app_temp = os.path.join(root, "temp")
        os.makedirs(folder)
        os.makedirs(app_temp)
        self.env = dict(self.wine.env, TAVORIN_TEST_TMP=windows_path(app_temp))
        for program in (EXE, SCRIPT):
            shutil.copy(program, folder)
        done = subprocess.run([WINE, "cmd", "/c", "install-windows.cmd", TEST_EXTENSION],
                              cwd=folder, capture_output=True, env=self.env, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.app = start_app(app_temp)
        self.addCleanup(self.app.stop)

    def test_the_log_goes_to_the_hidden_console_through_cmd(self):
        done, answers = launch(self.env, "--mode", "cmd", "--stderr", "console",
                               "--console-shows", LAST_LINE)
        report = done.stderr.decode(errors="replace")
        self.assertEqual(done.returncode, 0, report)
        self.assertEqual(answers, ANSWERS)
        self.assertIn("console showed:", report)
        self.assertIn(LAST_LINE, report)

    def test_started_directly_the_host_has_the_console_but_no_log(self):
        # Chrome hands a directly started host its own standard error, which
        # is none unless Chrome's was redirected.
        done, answers = launch(self.env, "--mode", "direct", "--stderr", "console")
        self.assertEqual((done.returncode, answers), (0, ANSWERS))


if __name__ == "__main__":
    unittest.main()
