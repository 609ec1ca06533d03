"""A real Chrome (or Edge) on Windows starts the host: the test extension
(tests/browser/extension) talks to the example desktop app
(tavorin_example_app.exe) through the host that install-windows.cmd registers, over one long-lived port and one
host per message, as tests/browser/test_chromium.py does on Linux.

For a hosted Windows runner (.github/workflows/windows.yml); it cannot run
here. Usage, from the repository's root:

    python tests/browser/windows_chrome.py PATH\\tavorin_shim.exe PATH\\tavorin_example_app.exe

Exit status 0 when the extension's messages reached the app in order
through a browser found on this machine, 1 when they did not, 77 when no
browser was found. Branded Chrome from version 137 ignores
--load-extension unless the feature DisableLoadExtensionCommandLineSwitch
is off, which later versions may no longer allow: Edge is tried too.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
EXTENSION = os.path.join(HERE, "extension")
TEST_EXTENSION = "gppkkhdhkkicmjpcgcpidfjhncllihef"
BROWSERS = [
    r"C:\Program Files\Google\Chrome\Application\chrome.exe",
    r"C:\Program Files (x86)\Google\Chrome\Application\chrome.exe",
    r"C:\Program Files (x86)\Microsoft\Edge\Application\msedge.exe",
    r"C:\Program Files\Microsoft\Edge\Application\msedge.exe",
]
DEADLINE = 90
EXPECTED = [("port", 1), ("port", 2), ("port", 3), ("oneshot", 4), ("oneshot", 5),
            ("done", None)]


class AckApp:
    """The example app in the temporary folder the browser's hosts use,
    answering each line with {"ok":true,"bytes":N} (an echo of the 1 MB
    message would grow the next one past the host's limit) and recording
    every line."""

    def __init__(self, program, folder):
        self.record = os.path.join(folder, "received_by_app")
        self.skip = 0
        self.process = subprocess.Popen(
            [program, "--ack", "--temp-dir", folder, "--record", self.record],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        line = self.process.stdout.readline()
        if not line.startswith(b"listening on "):
            raise SystemExit(f"the example app did not start: {line!r}")

    def clear(self):
        """From now on: what the app received before is left out."""
        self.skip = os.path.getsize(self.record) if os.path.exists(self.record) else 0

    def received(self):
        try:
            with open(self.record, "rb") as f:
                f.seek(self.skip)
                lines = f.read().splitlines()
            return [(m.get("phase"), m.get("seq")) for m in map(json.loads, lines)]
        except (OSError, ValueError):
            return []

    def stop(self):
        self.process.kill()
        self.process.wait()


def install(host, folder):
    shutil.copy(host, folder)
    shutil.copy(os.path.join(ROOT, "install", "install-windows.cmd"), folder)
    subprocess.run(["cmd", "/c", "install-windows.cmd", TEST_EXTENSION], cwd=folder,
                   check=True)
    return lambda: subprocess.run(["cmd", "/c", "install-windows.cmd", "/uninstall"],
                                  cwd=folder)


def try_browser(browser, scratch, app):
    profile = tempfile.mkdtemp(dir=scratch)
    process = subprocess.Popen(
        [browser, "--headless=new", "--no-first-run", "--disable-sync",
         "--disable-component-update", "--disable-background-networking",
         "--disable-features=DisableLoadExtensionCommandLineSwitch",
         f"--user-data-dir={profile}", f"--load-extension={EXTENSION}", "about:blank"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        end = time.monotonic() + DEADLINE
        while time.monotonic() < end and ("done", None) not in app.received():
            time.sleep(0.5)
    finally:
        process.kill()
        process.wait()
    return app.received()


def main(host, app_program):
    found = [b for b in BROWSERS if os.path.exists(b)]
    if not found:
        print("no Chrome or Edge on this machine")
        return 77
    scratch = tempfile.mkdtemp(prefix="tavorin-browser-")
    temp = os.path.join(scratch, "temp")
    folder = os.path.join(scratch, "Jürgen Ü 世界 bridge")
    os.makedirs(temp)
    os.makedirs(folder)
    # The browser, and so each host it starts, takes this temporary folder.
    os.environ["TMP"] = os.environ["TEMP"] = temp
    app = AckApp(app_program, temp)
    uninstall = install(host, folder)
    try:
        for browser in found:
            app.clear()
            got = try_browser(browser, scratch, app)
            print(f"{browser}: the app received {got}")
            if got == EXPECTED:
                return 0
        return 1
    finally:
        uninstall()
        app.stop()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
