"""A real Chrome (or Edge) on Windows starts the host: the test extension
(tests/browser/extension) talks to a stand-in desktop app through the
host that install-windows.cmd registers, over one long-lived port and one
host per message, as tests/browser/test_chromium.py does on Linux.

For a hosted Windows runner (.github/workflows/windows.yml); it cannot run
here. Usage, from the repository's root:

    python tests/browser/windows_chrome.py PATH\\tavorin_shim.exe

Exit status 0 when the extension's messages reached the app in order
through a browser found on this machine, 1 when they did not, 77 when no
browser was found. Branded Chrome from version 137 ignores
--load-extension unless the feature DisableLoadExtensionCommandLineSwitch
is off, which later versions may no longer allow: Edge is tried too.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
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
    """The desktop app as the host meets it, in the temporary folder the
    browser's hosts use: it answers each line with {"ok":true,"bytes":N}
    (an echo of the 1 MB message would grow the next one past the host's
    limit) and keeps every line."""

    def __init__(self, folder):
        self.folder = folder
        self.lines = []
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen()
        port = self.listener.getsockname()[1]
        with open(os.path.join(folder, "tavorin_port.txt"), "w") as f:
            f.write(str(port))
        open(os.path.join(folder, "tavorin_app_instance.lock"), "w").close()
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            connection, _ = self.listener.accept()
            threading.Thread(target=self.serve, args=(connection,), daemon=True).start()

    def serve(self, connection):
        pending = b""
        while True:
            data = connection.recv(1 << 20)
            if not data:
                return
            pending += data
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                self.lines.append(line)
                connection.sendall(json.dumps({"ok": True, "bytes": len(line)}).encode() + b"\n")

    def received(self):
        try:
            return [(m.get("phase"), m.get("seq")) for m in map(json.loads, list(self.lines))]
        except ValueError:
            return []


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


def main(host):
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
    app = AckApp(temp)
    uninstall = install(host, folder)
    try:
        for browser in found:
            app.lines.clear()
            got = try_browser(browser, scratch, app)
            print(f"{browser}: the app received {got}")
            if got == EXPECTED:
                return 0
        return 1
    finally:
        uninstall()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
