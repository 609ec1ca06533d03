"""The app maker's page (docs/app-contract.md) held to the host: a
desktop app written from the page's rules alone, a few lines of Python, meets
each edge the page describes, and the host must do what the page says. Linux
host only: the page's Windows figures differ only in the texts of errors."""

import ctypes
import os
import socket
import struct
import threading
import time
import unittest

from harness import PORT_FILE, HostTestCase

LOCK_FILE = "tavorin_app_instance.lock"
# The page's limits and texts.
LARGEST_FRAME = 1_048_576
LONGEST_LINE = 3 * LARGEST_FRAME
REPLACEMENT = "\ufffd".encode()
# Unicode White_Space, but for the line feed that ends an answer.
WHITE_SPACE = ("\t\x0b\x0c\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B))) +
               "\u2028\u2029\u202f\u205f\u3000").encode()
GAP_TIMEOUT = "Error reading from app: Resource temporarily unavailable (os error 11)"


class PageApp:
    """The checklist, followed: listen on 127.0.0.1, write the port file,
    then the lock file; serve every connection at once; split lines at the
    byte 0A only. `answer(connection, line)` sends whatever the case needs."""

    def __init__(self, test, answer):
        self.answer = answer
        self.lines = []
        self.server = socket.create_server(("127.0.0.1", 0))
        test.addCleanup(self.server.close)
        test.write_file(PORT_FILE, b"%d" % self.server.getsockname()[1])
        test.write_file(LOCK_FILE)
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            threading.Thread(target=self.converse, args=(connection,), daemon=True).start()

    @property
    def port(self):
        return self.server.getsockname()[1]

    def converse(self, connection):
        pending = b""
        with connection:
            while chunk := connection.recv(1 << 20):
                pending += chunk
                while b"\n" in pending:
                    line, pending = pending.split(b"\n", 1)
                    self.lines.append(line)
                    if self.answer(connection, line) == "closed":
                        return


class FolderEvents:
    """What happens to the files of a folder, in order, as the kernel tells
    it (inotify): ("appears" | "written" | "goes", name)."""

    KINDS = ((0x100, "appears"), (0x80, "appears"), (0x8, "written"), (0x80, "written"),
             (0x200, "goes"), (0x40, "goes"))  # create, moved to, close after writing...

    def __init__(self, test, folder):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        test.assertGreaterEqual(self.fd, 0, os.strerror(ctypes.get_errno()))
        test.addCleanup(os.close, self.fd)
        mask = 0
        for bit, _ in self.KINDS:
            mask |= bit
        test.assertGreaterEqual(libc.inotify_add_watch(self.fd, folder.encode(), mask), 0)

    def read(self):
        events = []
        while True:
            try:
                data = os.read(self.fd, 1 << 16)
            except BlockingIOError:
                return events
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].rstrip(b"\0").decode()
                at += 16 + length
                events += [(kind, name) for bit, kind in self.KINDS if mask & bit]


class ExampleAppFiles(HostTestCase):
    """The example app keeps the page's order: the port file whole before
    the lock file appears (a host that finds the lock file finds the port),
    and at its end the lock file first."""

    def test_port_file_written_before_the_lock_file_appears_and_gone_after_it(self):
        if self.runner.name != "native":
            self.skipTest("the example app's files are watched on Linux")
        events = FolderEvents(self, self.temp_dir)
        app = self.start_app("--mode", "prod", "--port", "0")
        with open(self.path(PORT_FILE), "rb") as f:
            self.assertEqual(f.read(), b"%d" % app.port)
        app.stop()
        order = [event for event in events.read() if event[1] in (PORT_FILE, LOCK_FILE)]
        self.assertEqual(order, [("appears", PORT_FILE), ("written", PORT_FILE),
                                 ("appears", LOCK_FILE), ("written", LOCK_FILE),
                                 ("goes", LOCK_FILE), ("goes", PORT_FILE)])


class AppContract(HostTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if cls.runner.name != "native":
            raise unittest.SkipTest("the page's figures are checked on the Linux host")

    def test_messages_arrive_mended_at_most_three_times_longer(self):
        app = PageApp(self, lambda c, line: c.sendall(b'{"bytes":%d}\n' % len(line)))
        cases = [(b'"\xed\xa0\x80"', b'"' + REPLACEMENT * 3 + b'"'),
                 (b'"\xc0\xaf"', b'"' + REPLACEMENT * 2 + b'"'),
                 (b'"\xc3', b'"' + REPLACEMENT),
                 (b'"\xf0\x90\x80A"', b'"' + REPLACEMENT + b'A"'),
                 ('"a\u2028b\u0085c"'.encode(), '"a\u2028b\u0085c"'.encode()),
                 (b"\xff" * LARGEST_FRAME, REPLACEMENT * LARGEST_FRAME)]
        run, _ = self.relay_session(app.port, [frame for frame, _ in cases])
        self.assertEqual(app.lines, [line for _, line in cases])
        self.assertEqual(len(app.lines[-1]), LONGEST_LINE)
        self.assertEqual(run.frames, [b'{"bytes":%d}' % len(line) for _, line in cases])

    def test_answers_lose_trailing_white_space_and_blank_ones_arrive_empty(self):
        answers = [b'{"a":1}\r\n', b'  {"a":2}' + WHITE_SPACE + b"\n", b'{"a":3}\x00\n',
                   '{"a":4}\ufeff\n'.encode(), b"\r\n", WHITE_SPACE + b"\n", b'{"last":1}']

        def answer(connection, line):
            connection.sendall(answers[len(app.lines) - 1])
            if len(app.lines) == len(answers):
                connection.shutdown(socket.SHUT_RDWR)  # no final line feed
                return "closed"

        app = PageApp(self, answer)
        run, loop = self.relay_session(app.port, [b"[%d]" % n for n in range(8)])
        self.assertEqual(run.frames, [b'{"a":1}', b'  {"a":2}', b'{"a":3}\x00',
                                      '{"a":4}\ufeff'.encode(), b"", b"", b'{"last":1}'])
        self.assertRegex(loop[-2], r"\A(App disconnected \(no response\)|"
                         r"Error writing to app: .+)\Z")

    def test_hosts_at_once_each_held_to_gaps_not_to_a_deadline(self):
        late_send = []

        def answer(connection, line):
            if line == b'"trickle"':  # 6 s in all, never 5 s without a byte
                for piece in (b'{"trick', b'led":', b"1}\n"):
                    time.sleep(2)
                    connection.sendall(piece)
            elif line == b'"stall"':  # a gap of 6 s: the host gives up
                connection.sendall(b'{"stalled":')
                time.sleep(6)
                connection.sendall(b"1}\n")
                late_send.append("taken without error")
                try:
                    late_send.append(connection.recv(1))
                except ConnectionResetError:
                    late_send.append(b"")
            else:
                connection.sendall(b'{"at_once":1}\n')

        app = PageApp(self, answer)
        trickle, stall, quick = self.session(), self.session(), self.session()
        trickle.send(b'"trickle"')
        stall.send(b'"stall"')
        started = time.monotonic()
        quick.send(b'"quick"')
        self.assertEqual(quick.receive(), b'{"at_once":1}')
        self.assertLess(time.monotonic() - started, 2, "one host waited for another")
        self.assertEqual(trickle.receive(), b'{"trickled":1}')
        self.assertGreater(time.monotonic() - started, 5)
        stalled = stall.finish()
        self.assertEqual(stalled.frames, [])
        self.assertIn(GAP_TIMEOUT, stalled.log)
        for host in (trickle, quick):
            self.assertEqual(host.finish().status, 0)
        deadline = time.monotonic() + 10
        while len(late_send) < 2 and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(late_send, ["taken without error", b""])
        self.assertEqual(len(app.lines), 3)


if __name__ == "__main__":
    unittest.main()
