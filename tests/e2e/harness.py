"""Runs the real host program, natively or under Wine, against the example
desktop app, with real pipes, a temporary directory of each test's own and
real TCP on 127.0.0.1.

Settings come from the environment (CTest sets them):
  TAVORIN_E2E_PROGRAM  native (default) or wine
  TAVORIN_SHIM         the native program
  TAVORIN_SHIM_EXE     the Windows program, run under Wine
  TAVORIN_EXAMPLE_APP  the example desktop app
  WINEPREFIX           a prefix prepared by scripts/wine_prefix.sh start
"""

import os
import pwd
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest
from dataclasses import dataclass

import frames

# Longest that any single run of the host may take before it counts as hung.
HOST_DEADLINE = 30
APP_START_DEADLINE = 10
# Files of the temporary directory, by their names there.
PORT_FILE = "tavorin_port.txt"
MARKER = "shim_launched.txt"
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"


def windows_path(path):
    """Wine's Z: drive maps the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def scratch_folder(test, prefix):
    """A new folder for the test, removed with all it holds after it."""
    folder = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, folder, ignore_errors=True)
    return folder


def wine_environment(temp_dir, base=os.environ):
    """Wine without its debug output, and a temporary directory of the
    caller's own: the prefix's TEMP and TMP expand TAVORIN_TEST_TMP."""
    return dict(base, WINEDEBUG="-all", TAVORIN_TEST_TMP=windows_path(temp_dir))


# The host's name, the extensions the tests allow and where each browser
# looks for the host: written out here, not taken from the installers.
HOST_NAME = "com.tavorin.desktop"
TEST_EXTENSION = "gppkkhdhkkicmjpcgcpidfjhncllihef"  # tests/browser/extension
OTHER_EXTENSION = "abcdefghijklmnopabcdefghijklmnop"
FIREFOX_EXTENSION = "bridge-test@tavorin.example"  # tests/browser/firefox_extension
# Linux: the manifest's folder under the home, for the Chromium family and
# for Firefox.
LINUX_FOLDERS = {"chrome": ".config/google-chrome/NativeMessagingHosts",
                 "chromium": ".config/chromium/NativeMessagingHosts",
                 "edge": ".config/microsoft-edge/NativeMessagingHosts",
                 "brave": ".config/BraveSoftware/Brave-Browser/NativeMessagingHosts"}
FIREFOX_FOLDER = ".mozilla/native-messaging-hosts"
# Windows: the browser's key under HKCU or HKLM. Brave reads Chromium's.
WINDOWS_KEYS = {"chrome": r"SOFTWARE\Google\Chrome", "chromium": r"SOFTWARE\Chromium",
                "edge": r"SOFTWARE\Microsoft\Edge", "brave": r"SOFTWARE\Chromium",
                "firefox": r"SOFTWARE\Mozilla"}
# Windows: the manifests' names; Firefox's beside the other's.
WINDOWS_MANIFESTS = {browser: HOST_NAME + (".firefox.json" if browser == "firefox" else ".json")
                     for browser in WINDOWS_KEYS}


def host_key(browser, hive="HKCU"):
    """The key whose default value names the host's manifest."""
    return rf"{hive}\{WINDOWS_KEYS[browser]}\NativeMessagingHosts\{HOST_NAME}"


def forget_registry_keys(env, keys):
    """Deletes each key (HKCU\\... or HKLM\\...) and all below it, if it is
    there, in one Wine process: a `reg delete` each would start Wine once
    for every key, before and after every test."""
    hives = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key in keys:
        hive, below = key.split("\\", 1)
        lines += [f"[-{hives[hive]}\\{below}]", ""]
    folder = tempfile.mkdtemp(prefix="tavorin-reg-")
    try:
        path = os.path.join(folder, "forget.reg")
        with open(path, "w", newline="\r\n") as f:
            f.write("\n".join(lines))
        # Generous: a Wine start has been seen to wait a minute while other
        # tests fill fresh prefixes of their own.
        subprocess.run([WINE, "reg", "import", windows_path(path)], capture_output=True,
                       env=env, timeout=240, check=True)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


class NativeRunner:
    name = "native"
    # errno of a receive that outlasts SO_RCVTIMEO (EAGAIN)
    timeout_code = 11

    def __init__(self):
        self.program = os.environ.get("TAVORIN_SHIM", "")

    def missing(self):
        if not os.access(self.program, os.X_OK):
            return f"the native host is not built: {self.program!r}"
        return None

    def command(self):
        return [self.program]

    def environment(self, temp_dir):
        return dict(os.environ, TMPDIR=temp_dir)

    def shown_path(self, temp_dir, name):
        return f"{temp_dir}/{name}"


class WineRunner:
    name = "wine"
    timeout_code = 10060  # WSAETIMEDOUT

    def __init__(self):
        self.exe = os.environ.get("TAVORIN_SHIM_EXE", "")

    def missing(self):
        if not os.path.isfile(self.exe):
            return (f"{self.exe} is not built yet (cmake --preset windows && "
                    "cmake --build --preset windows)")
        if not os.access(WINE, os.X_OK):
            return "Wine (wine64) is not installed"
        if not os.environ.get("WINEPREFIX"):
            return "WINEPREFIX is not set (see scripts/wine_prefix.sh)"
        return None

    def command(self):
        return [WINE, self.exe]

    def environment(self, temp_dir):
        return wine_environment(temp_dir)

    def shown_path(self, temp_dir, name):
        return windows_path(temp_dir) + "\\" + name


def make_runner(name=None):
    name = name or os.environ.get("TAVORIN_E2E_PROGRAM", "native")
    return {"native": NativeRunner, "wine": WineRunner}[name]()


@dataclass
class HostRun:
    status: int
    stdout: bytes
    stderr: bytes
    seconds: float

    def __post_init__(self):
        # Checked for every run: standard output holds whole frames only.
        self.frames = frames.decode_frames(self.stdout)
        self.log = frames.parse_log(self.stderr)


def wait_readable(fd, deadline, what):
    if not select.select([fd], [], [], max(0.0, deadline - time.monotonic()))[0]:
        raise AssertionError(f"timed out waiting for {what}")


class ExampleApp:
    """The example desktop app, started with the given options; it records
    every line it receives. With `wine`, the Windows program: it finds the
    temporary directory as the Windows host does (TMP, which the prefix
    takes from TAVORIN_TEST_TMP)."""

    def __init__(self, program, temp_dir, options, *, wine=False):
        self.record_path = os.path.join(temp_dir, "received_by_app")
        if wine:
            command = [WINE, program, "--record", windows_path(self.record_path)]
            env = wine_environment(temp_dir)
        else:
            command = [program, "--temp-dir", temp_dir, "--record", self.record_path]
            env = None
        self.process = subprocess.Popen(
            [*command, *map(str, options)], env=env, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE)
        deadline = time.monotonic() + APP_START_DEADLINE
        wait_readable(self.process.stdout, deadline, "the example app")
        line = self.process.stdout.readline().decode()
        if not line.startswith("listening on "):
            self.stop()
            raise AssertionError(f"the example app did not start: {line!r}")
        self.port = int(line.split()[-1])

    def received(self) -> bytes:
        with open(self.record_path, "rb") as record:
            return record.read()

    def interrupt(self) -> int:
        """Ctrl+C: SIGINT, which Wine hands a Windows program as the
        console's CTRL_C_EVENT. Returns the exit status."""
        self.process.send_signal(signal.SIGINT)
        return self.process.wait(APP_START_DEADLINE)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            self.process.wait(APP_START_DEADLINE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


def echo(message: bytes) -> bytes:
    """The example app's normal answer to a JSON message."""
    return b'{"ok":true,"echo":' + message + b"}"


class HostSession:
    """The host with its standard input kept open, for exchanges one frame
    at a time."""

    def __init__(self, command, env):
        self.log_file = tempfile.TemporaryFile()
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE,
                                        stderr=self.log_file)
        self.stdout = b""

    def send(self, payload: bytes):
        self.process.stdin.write(frames.encode_frame(payload))
        self.process.stdin.flush()

    def _read(self, count, deadline):
        fd = self.process.stdout.fileno()
        while len(self.stdout) < count:
            wait_readable(fd, deadline, "a frame from the host")
            chunk = os.read(fd, 1 << 16)
            if not chunk:
                raise AssertionError("the host closed standard output")
            self.stdout += chunk

    def receive(self) -> bytes:
        deadline = time.monotonic() + HOST_DEADLINE
        self._read(4, deadline)
        length = int.from_bytes(self.stdout[:4], "little")
        self._read(4 + length, deadline)
        payload = self.stdout[4:4 + length]
        self.stdout = self.stdout[4 + length:]
        return payload

    def finish(self) -> HostRun:
        try:  # closes standard input: the end of input
            rest, _ = self.process.communicate(timeout=HOST_DEADLINE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.communicate()
            raise AssertionError("the host did not end after end of input")
        self.log_file.seek(0)
        return HostRun(self.process.returncode, self.stdout + rest,
                       self.log_file.read(), time.monotonic() - self.started)


FALLBACK_PORTS = range(7878, 7883)
STRANGER = "tavorin-stranger"


def make_stranger():
    """A second user of the machine, made for the test when it runs as
    root; None otherwise."""
    if os.geteuid() != 0 or not shutil.which("useradd"):
        return None
    try:
        return pwd.getpwnam(STRANGER)
    except KeyError:
        pass
    subprocess.run(["useradd", "--system", "--no-create-home", "--shell",
                    "/usr/sbin/nologin", STRANGER], check=True,
                   capture_output=True)
    return pwd.getpwnam(STRANGER)


def stranger_listens(test, stranger, port=0):
    """A listener of the stranger's on 127.0.0.1, until the test ends: a
    child that takes the user's id before it binds. Returns its port."""
    listener = subprocess.Popen(
        ["/usr/bin/python3", "-c",
         "import socket,sys\n"
         f"s=socket.create_server(('127.0.0.1', {port}))\n"
         "print(s.getsockname()[1], flush=True)\n"
         "while True:\n c,_=s.accept(); c.recv(1 << 20); c.sendall(b'{\"stolen\":1}\\n')\n"],
        user=stranger.pw_uid, stdout=subprocess.PIPE)
    test.addCleanup(listener.stdout.close)
    test.addCleanup(listener.wait)
    test.addCleanup(listener.kill)
    return int(listener.stdout.readline())


def port_in_use(port):
    probe = socket.socket()
    probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        probe.bind(("127.0.0.1", port))
        return False
    except OSError:
        return True
    finally:
        probe.close()


def require_free_fallback_ports():
    """Tests that listen on 7878-7882 (CTest runs them one at a time) fail
    by name when another process holds one of those ports."""
    taken = [port for port in FALLBACK_PORTS if port_in_use(port)]
    if taken:
        raise AssertionError(
            f"another process holds 127.0.0.1 port(s) {taken}; these tests "
            "need 7878-7882 free")


def refusing_port(test) -> int:
    """A free loopback port, bound and not listening until the test ends:
    a connect to it is refused, and no one else can take it meanwhile."""
    holder = socket.socket()
    test.addCleanup(holder.close)
    holder.bind(("127.0.0.1", 0))
    return holder.getsockname()[1]


class HostTestCase(unittest.TestCase):
    """Base of every end-to-end test; `runner` knows how to start the
    program under test."""

    # Set by the classes whose tests listen on 7878-7882 or need nobody there.
    needs_fallback_ports = False

    @classmethod
    def setUpClass(cls):
        cls.runner = make_runner()
        reason = cls.runner.missing()
        if reason:
            raise unittest.SkipTest(reason)
        if cls.needs_fallback_ports:
            require_free_fallback_ports()

    def setUp(self):
        self.temp_dir = scratch_folder(self, "tavorin-e2e-")

    def path(self, name):
        return os.path.join(self.temp_dir, name)

    def shown(self, name):
        """The file's path as the host names it in the log."""
        return self.runner.shown_path(self.temp_dir, name)

    def write_file(self, name, content: bytes = b""):
        with open(self.path(name), "wb") as f:
            f.write(content)

    def listener_in_port_file(self) -> socket.socket:
        """A loopback listener whose port the port file names. Connects
        are taken by its listen backlog; nothing needs to accept them."""
        listener = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(listener.close)
        self.write_file(PORT_FILE, b"%d" % listener.getsockname()[1])
        return listener

    def start_app(self, *options) -> ExampleApp:
        program = os.environ.get("TAVORIN_EXAMPLE_APP", "")
        if not os.access(program, os.X_OK):
            self.fail(f"the example app is not built: {program!r} "
                      "(examples/ must be part of the native build)")
        app = ExampleApp(program, self.temp_dir, options)
        self.addCleanup(app.stop)
        return app

    def run_host(self, messages=(), *, raw=b"", stdin=None, stderr=None,
                 close_stderr=False) -> HostRun:
        """Runs the host once; `messages` go in as frames, then `raw` bytes,
        then end of input. A given `stdin` file descriptor replaces both."""
        started = time.monotonic()
        process = subprocess.Popen(
            self.runner.command(), env=self.runner.environment(self.temp_dir),
            stdin=subprocess.PIPE if stdin is None else stdin,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE if stderr is None else stderr,
            preexec_fn=(lambda: os.close(2)) if close_stderr else None)
        data = b"".join(map(frames.encode_frame, messages)) + raw
        try:
            out, err = process.communicate(None if stdin is not None else data,
                                           timeout=HOST_DEADLINE)
        except subprocess.TimeoutExpired:
            process.kill()
            out, err = process.communicate()
            self.fail(f"the host ran longer than {HOST_DEADLINE} s; "
                      f"log so far:\n{(err or b'').decode(errors='replace')}")
        return HostRun(process.returncode, out, err or b"",
                       time.monotonic() - started)

    def session(self) -> HostSession:
        host = HostSession(self.runner.command(),
                           self.runner.environment(self.temp_dir))
        self.addCleanup(lambda: host.process.poll() is None and
                        host.process.kill())
        return host


    def relay_session(self, app_port, messages=(), raw=b""):
        """Runs a whole session with an app that wrote app_port to its port
        file, and returns the run and the log lines of the relay loop,
        between the channel set-up and the two success lines, which every
        ending of the loop shares."""
        run = self.run_host(messages, raw=raw)
        self.assertEqual(run.status, 0, run.log)
        head = (frames.STARTUP + frames.detected(prod=True) +
                frames.connected_through_port_file(app_port) +
                frames.CHANNELS_READY)
        self.assertEqual(run.log[:len(head)], head)
        self.assertEqual(run.log[-2:], frames.SUCCESS)
        return run, run.log[len(head):-2]


class RelayTestCase(HostTestCase):

    def relay(self, messages=(), *app_options, raw=b""):
        """A whole session with the example app, started with the options."""
        self.app = self.start_app("--mode", "prod", *app_options)
        return self.relay_session(self.app.port, messages, raw=raw)
