"""The app maker's page (docs/app-contract.md) held to the host: a
desktop app written from the page's rules alone, a few lines of Python, meets
each edge the page describes, and the host must do what the page says. Linux
host only: the page's Windows figures differ only in the texts of errors.

Then the example app, the page's rules in C++, held to the same page on each
system: the Linux program serving the Linux host, and the Windows program
serving the Windows host under Wine."""

import ctypes
import os
import socket
import struct
import threading
import time
import unittest

from harness import PORT_FILE, ExampleApp, HostTestCase, echo

EXAMPLE_APP_EXE = os.environ.get("TAVORIN_EXAMPLE_APP_EXE", "")

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


class ExampleAppKeepsThePage(HostTestCase):
    """The example app of this runner's system serving that system's host."""

    def start_example_app(self, *options):
        if self.runner.name == "native":
            return self.start_app(*options)
        if not os.path.isfile(EXAMPLE_APP_EXE):
            self.fail(f"the Windows example app is not built: {EXAMPLE_APP_EXE!r}")
        app = ExampleApp(EXAMPLE_APP_EXE, self.temp_dir, options, wine=True)
        self.addCleanup(app.stop)
        return app

    def read_port_file(self):
        with open(self.path(PORT_FILE), "rb") as f:
            return f.read()

    def test_each_option_answers_the_same_on_both_systems(self):
        """The bytes the app sends for the lines it receives, read straight
        from its port: the page's table of options, one app each. Nothing
        may follow the answers; after --close-after, the end of the stream."""
        cases = [
            ([], b'{"a":1}\nnot "json"\n',
             b'{"ok":true,"echo":{"a":1}}\n{"ok":true,"echo":"not \\"json\\""}\n'),
            (["--two-lines"], b"[1]\n", b'{"ok":true,"echo":[1]}\n{"ok":true,"echo":[1],"again":true}\n'),
            (["--padded"], b"2\n", b'  {"ok":true,"echo":2}  \n'),
            (["--ack"], b"\xff\xfe\xfd\n", b'{"ok":true,"bytes":3}\n'),
            (["--long-answer", 12], b"x\n", b'{"pad":"xx"}\n'),
            (["--crlf-only"], b"x\n", b"\r\n"),
            (["--invalid-utf8"], b"x\n", b'{"ok":true,"bytes":"\xff\xfe"}\n'),
            (["--close-after", 1], b"1\n2\n", b'{"ok":true,"echo":1}\n'),
        ]
        for options, lines, answers in cases:
            with self.subTest(options=options):
                app = self.start_example_app(*options)
                with socket.create_connection(("127.0.0.1", app.port), timeout=10) as connection:
                    connection.sendall(lines)
                    received = b""
                    while len(received) < len(answers) and (chunk := self.receive(connection)):
                        received += chunk
                    self.assertEqual(received, answers)
                    ended = "--close-after" in options
                    connection.settimeout(10 if ended else 0.2)
                    try:
                        after = connection.recv(1)
                    except socket.timeout:
                        after = None
                    self.assertEqual(after, b"" if ended else None)
                app.stop()

    @staticmethod
    def receive(connection):
        """What arrives next; nothing at the end of the stream or after
        10 s of silence."""
        try:
            return connection.recv(1 << 16)
        except socket.timeout:
            return b""

    def test_its_files_name_its_port_and_go_on_ctrl_c(self):
        app = self.start_example_app()
        self.assertEqual(self.read_port_file(), b"%d" % app.port)
        self.assertTrue(os.path.exists(self.path(LOCK_FILE)))
        # 0 is the app's own ending: without its handler Ctrl+C would end
        # it with STATUS_CONTROL_C_EXIT on Windows, by the signal on Linux.
        self.assertEqual(app.interrupt(), 0)
        self.assertEqual([name for name in (LOCK_FILE, PORT_FILE)
                          if os.path.exists(self.path(name))], [])

    def test_three_hosts_at_once_each_answered_on_its_own_connection(self):
        # 3 s before each answer: one host after another, the third would
        # wait 6 s in silence, and the host gives up after 5.
        self.start_example_app("--slow", 3000)
        hosts = [self.session() for _ in range(3)]
        started = time.monotonic()
        for n, host in enumerate(hosts):
            host.send(b'{"host":%d}' % n)
        for n, host in enumerate(hosts):
            self.assertEqual(host.receive(), echo(b'{"host":%d}' % n))
        self.assertLess(time.monotonic() - started, 8, "the hosts were served in turn")
        for host in hosts:
            self.assertEqual(host.finish().status, 0)

    def test_a_message_of_1_mib_there_and_its_echo_back(self):
        message = b'{"s":"' + b"\xc3\xa9" * ((LARGEST_FRAME - 8) // 2) + b'"}'
        self.assertEqual(len(message), LARGEST_FRAME)
        app = self.start_example_app()
        run, _ = self.relay_session(app.port, [message])
        self.assertEqual(run.frames, [echo(message)])
        self.assertEqual(app.received(), message + b"\n")

    def test_a_port_file_replaced_while_hosts_read_it_is_old_or_new_never_half(self):
        first = self.start_example_app()
        ports, reads, runs = {first.port}, set(), []
        done = threading.Event()

        def read_all_the_time():
            while not done.is_set():
                reads.add(self.read_port_file())

        reader = threading.Thread(target=read_all_the_time)
        reader.start()
        try:
            for n in range(3):  # each later app replaces the port file
                ports.add(self.start_example_app("--mode", "dev").port)
                runs.append(self.run_host([b'{"n":%d}' % n]))
        finally:
            done.set()
            reader.join()
        self.assertEqual(reads - {b"%d" % port for port in ports}, set())
        for n, run in enumerate(runs):
            self.assertEqual((run.status, run.frames), (0, [echo(b'{"n":%d}' % n)]), run.log)
            read = [line for line in run.log if line.startswith("Read port ")]
            self.assertTrue(read and int(read[0].split()[2]) in ports, run.log)


if __name__ == "__main__":
    unittest.main()
