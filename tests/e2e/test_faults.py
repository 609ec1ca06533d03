"""Faults from outside: an app that dies or resets mid-answer, Chrome gone
from standard output, a read-only temporary directory, a port file rewritten
while the host waits, a lock file held without sharing, and the largest
message with a 16 MiB answer."""

import fcntl
import os
import shutil
import socket
import struct
import subprocess
import threading
import time

import frames
from frames import (CHANNELS_READY, MAX_MESSAGE_LENGTH, STARTUP, SUCCESS,
                    chrome_gone, connected_through_port_file, detected,
                    loop_end, turn)
from harness import (FALLBACK_PORTS, HOST_DEADLINE, MARKER, PORT_FILE, WINE,
                     HostTestCase, RelayTestCase, echo, refusing_port,
                     require_free_fallback_ports, wait_readable)

PARTIAL = b'{"ok":true,"ec'
# errno / Windows Sockets code of a connection reset by the peer
RESET_CODE = {"native": 104, "wine": 10054}
# The ways the next message can meet a connection the app has closed.
CLOSED_ENDING = (r"\A(App disconnected \(no response\)|Error writing (to app|"
                 r"newline): .+|Error reading from app: .+)\Z")


def read_line(connection):
    line = b""
    while not line.endswith(b"\n"):
        chunk = connection.recv(1 << 16)
        if not chunk:
            break
        line += chunk
    return line


def in_flight_to_host(connection):
    """Bytes the app sent that the host has not read yet, from the kernel's
    table of TCP sockets: unacknowledged on the app's end plus unread on the
    host's."""
    app_end, host_end = ("0100007F:%04X" % address[1] for address in
                         (connection.getsockname(), connection.getpeername()))
    total = 0
    with open("/proc/net/tcp") as table:
        for fields in map(str.split, table):
            if fields[1:3] == [app_end, host_end]:
                total += int(fields[4].split(":")[0], 16)
            elif fields[1:3] == [host_end, app_end]:
                total += int(fields[4].split(":")[1], 16)
    return total


def assert_same_bytes(test, got, expected):
    """Byte-exact, without printing megabytes when they differ."""
    if got != expected:
        at = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b),
                  min(len(got), len(expected)))
        test.fail(f"{len(got)} bytes, {len(expected)} expected; first "
                  f"difference at {at}")


class ScriptedApp:
    """A desktop app of one thread that serves a single connection by a
    script, for the faults the example app does not make."""

    def __init__(self, test, script):
        test.write_file("tavorin_app_instance.lock")
        self.listener = test.listener_in_port_file()
        self.listener.settimeout(HOST_DEADLINE)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, args=(script,), daemon=True).start()

    def serve(self, script):
        connection, _ = self.listener.accept()
        with connection:
            connection.settimeout(HOST_DEADLINE)
            script(self, connection)


def dies_mid_answer(app, connection):
    read_line(connection)
    connection.sendall(PARTIAL)  # then closes, as a process that dies does


def resets_mid_answer(app, connection):
    read_line(connection)
    connection.sendall(PARTIAL)
    # Reset only once the host has the partial answer and waits for more:
    # under Wine a reset that comes with the bytes may read as their end.
    while in_flight_to_host(connection):
        time.sleep(0.01)
    connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                          struct.pack("ii", 1, 0))


class AppFaults(HostTestCase):

    def relay_to(self, script, messages):
        return self.relay_session(ScriptedApp(self, script).port, messages)

    def test_app_dying_mid_answer(self):
        # The bytes before the end of the stream are an answer; the closed
        # connection shows at the next message.
        run, loop = self.relay_to(dies_mid_answer, [b"[1]", b"[2]"])
        self.assertEqual(run.frames, [PARTIAL])
        self.assertEqual(loop[:6], turn(1, "[1]", PARTIAL.decode()) + [
            "Received message #2 from Chrome", "Relaying message to app: [2]"])
        self.assertRegex(loop[6], CLOSED_ENDING)
        self.assertEqual(loop[7:], loop_end(2))

    def test_app_resetting_mid_answer(self):
        run, loop = self.relay_to(resets_mid_answer, [b"[1]", b"[2]"])
        self.assertEqual(run.frames, [])
        self.assertEqual(loop[:2], ["Received message #1 from Chrome",
                                    "Relaying message to app: [1]"])
        self.assertRegex(loop[2], r"\AError reading from app: .+ \(os error "
                         f"{RESET_CODE[self.runner.name]}\\)\\Z")
        self.assertEqual(loop[3:], loop_end(1))


class StandardStreams(HostTestCase):

    def test_chrome_gone_from_standard_output_at_each_write_step(self):
        # Standard output is line-buffered with 1,024 bytes: a 10-byte
        # answer's length prefix holds a line feed and goes out at once, a
        # longer answer than the buffer pushes the prefix out before its
        # bytes, and a small answer waits for the flush.
        for options, step in [((), "Error flushing to Chrome"),
                              (("--long-answer", 2000),
                               "Error writing response to Chrome"),
                              (("--long-answer", 10),
                               "Error writing length to Chrome")]:
            with self.subTest(step):
                app = self.start_app("--mode", "prod", *options)
                read_end, write_end = os.pipe()
                os.close(read_end)
                process = subprocess.Popen(
                    self.runner.command(),
                    env=self.runner.environment(self.temp_dir),
                    stdin=subprocess.PIPE, stdout=write_end,
                    stderr=subprocess.PIPE)
                os.close(write_end)
                _, err = process.communicate(frames.encode_frame(b"[1]"),
                                             timeout=HOST_DEADLINE)
                app.stop()
                log = frames.parse_log(err)
                self.assertEqual(process.returncode, 0, log)
                self.assertRegex(log[-4], rf"\A{step}: .+ \(os error \d+\)\Z")
                self.assertEqual(log[-3:], loop_end(1) + SUCCESS)


def set_immutable(path, on):
    FS_IOC_GETFLAGS, FS_IOC_SETFLAGS, FS_IMMUTABLE_FL = 0x80086601, 0x40086602, 0x10
    fd = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
    try:
        (flags,) = struct.unpack("i", fcntl.ioctl(fd, FS_IOC_GETFLAGS, bytes(4)))
        flags = flags | FS_IMMUTABLE_FL if on else flags & ~FS_IMMUTABLE_FL
        fcntl.ioctl(fd, FS_IOC_SETFLAGS, struct.pack("i", flags))
    finally:
        os.close(fd)


def can_create_in(path):
    try:
        os.close(os.open(os.path.join(path, "probe"), os.O_CREAT | os.O_WRONLY))
    except OSError:
        return False
    os.unlink(os.path.join(path, "probe"))
    return True


HOLDER_SOURCE = r"""
#include <windows.h>
#include <stdio.h>
/* Creates the file, holds it open without sharing, prints the error of a
   second open (0 if it succeeded) and lets go at the end of its input. */
int wmain(int argc, wchar_t **argv) {
  char c; DWORD n;
  HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL,
                            CREATE_ALWAYS, 0, NULL);
  HANDLE again = CreateFileW(argv[1], GENERIC_READ, 7, NULL, OPEN_EXISTING, 0,
                             NULL);
  if (held == INVALID_HANDLE_VALUE) return 1;
  printf("%lu\n", again == INVALID_HANDLE_VALUE ? GetLastError() : 0);
  fflush(stdout);
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, NULL) && n) {}
  return 0;
}
"""


class TemporaryDirectory(HostTestCase):

    def test_read_only_directory_leaves_no_marker_and_changes_nothing_else(self):
        app = self.start_app("--mode", "prod")
        os.chmod(self.temp_dir, 0o555)
        self.addCleanup(os.chmod, self.temp_dir, 0o700)
        if can_create_in(self.temp_dir):
            # The superuser writes through permissions, not through an
            # immutable directory.
            try:
                set_immutable(self.temp_dir, True)
            except OSError as error:
                self.skipTest(f"cannot make a read-only directory: {error}")
            self.addCleanup(set_immutable, self.temp_dir, False)
        run = self.run_host([b"[1]"])
        self.assertEqual(run.status, 0)
        self.assertEqual(run.frames, [echo(b"[1]")])
        self.assertEqual(run.log, STARTUP + detected(prod=True) +
                         connected_through_port_file(app.port) +
                         CHANNELS_READY +
                         turn(1, "[1]", echo(b"[1]").decode()) +
                         chrome_gone(1) + SUCCESS)
        self.assertFalse(os.path.exists(self.path(MARKER)))

    def test_port_file_rewritten_while_the_host_waits(self):
        require_free_fallback_ports()
        app = self.start_app("--mode", "prod", "--no-port-file")
        dead_port = refusing_port(self)
        self.write_file(PORT_FILE, b"%d" % dead_port)
        host = self.session()
        deadline = time.monotonic() + HOST_DEADLINE
        # pread leaves the offset alone, which the host shares.
        while b"Waiting 1 second" not in os.pread(host.log_file.fileno(),
                                                  1 << 16, 0):
            self.assertLess(time.monotonic(), deadline, "no retry")
            time.sleep(0.01)
        self.write_file(PORT_FILE, b"%d\n" % app.port)
        host.send(b"[1]")
        self.assertEqual(host.receive(), echo(b"[1]"))
        run = host.finish()
        self.assertEqual(run.status, 0)
        self.assertEqual(
            run.log, STARTUP + detected(prod=True) +
            ["Starting connection attempts...", "Connection attempt 1 of 5",
             f"Read port {dead_port} from file"] +
            [f"Port {port} not available" for port in FALLBACK_PORTS] +
            ["Connection attempt 1 failed: "
             "Could not connect to app on any port",
             "Waiting 1 second before retry...", "Connection attempt 2 of 5",
             f"Read port {app.port} from file",
             f"Connected to app on port {app.port} (from file)",
             "Successfully connected on attempt 2"] + CHANNELS_READY +
            turn(1, "[1]", echo(b"[1]").decode()) + chrome_gone(1) + SUCCESS)

    def test_lock_file_held_without_sharing_counts_as_present(self):
        if self.runner.name != "wine":
            self.skipTest("Linux has no sharing modes")
        compiler = shutil.which("x86_64-w64-mingw32-gcc")
        if not compiler:
            self.skipTest("no x86_64-w64-mingw32-gcc to build the holder")
        source, holder = self.path("holder.c"), self.path("holder.exe")
        self.write_file("holder.c", HOLDER_SOURCE.encode())
        subprocess.run([compiler, "-municode", "-o", holder, source],
                       check=True)
        lock = "tavorin_dev_instance.lock"
        process = subprocess.Popen(
            [WINE, holder, self.shown(lock)],
            env=self.runner.environment(self.temp_dir),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(process.communicate, timeout=HOST_DEADLINE)
        wait_readable(process.stdout, time.monotonic() + HOST_DEADLINE,
                      "the holder")
        refused = process.stdout.readline().strip()
        if refused != b"32":  # ERROR_SHARING_VIOLATION
            self.skipTest(f"a second open of the held file gave {refused!r}")
        port = self.listener_in_port_file().getsockname()[1]
        run = self.run_host()
        self.assertEqual(run.status, 0)
        self.assertEqual(run.log, STARTUP + detected(dev=True) +
                         connected_through_port_file(port) + CHANNELS_READY +
                         chrome_gone(0) + SUCCESS)


class Sizes(RelayTestCase):

    def test_largest_message_and_a_16_mib_answer_pass_whole(self):
        # Characters of one to four bytes, so that read boundaries fall
        # inside them.
        message = b'"' + "aé€😀".encode() * 104_857 + b'bbbb"'
        self.assertEqual(len(message), MAX_MESSAGE_LENGTH)
        length = 16 << 20
        answer = b'{"pad":"' + b"x" * (length - 10) + b'"}'
        run, loop = self.relay([message], "--long-answer", length)
        assert_same_bytes(self, self.app.received(), message + b"\n")
        self.assertEqual(len(run.frames), 1)
        assert_same_bytes(self, run.frames[0], answer)
        self.assertEqual(len(loop), 6)
        self.assertEqual(loop[3:], ["Successfully relayed response #1 to Chrome"]
                         + chrome_gone(1))
