"""Start-up: the launch marker, the not-running path and a standard error
that is broken (a closed pipe, a full disk) or missing."""

import os
import re
import time

from frames import NOT_DETECTED, STARTUP, quoted
from harness import MARKER, HostTestCase, echo


class NotRunning(HostTestCase):

    def test_explains_and_ends_without_reading_standard_input(self):
        # A whole frame waits in the pipe; it must still be there afterwards.
        waiting = b"\x02\x00\x00\x00{}"
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, read_end)
        os.write(write_end, waiting)
        os.close(write_end)
        before = time.time()
        run = self.run_host(stdin=read_end)
        after = time.time()

        self.assertEqual(run.status, 0)
        self.assertEqual(run.frames, [])
        self.assertEqual(run.log, STARTUP + [
            "No lock file found - app not running",
            "Checked for dev lock: " +
            quoted(self.shown("tavorin_dev_instance.lock")),
            "Checked for prod lock: " +
            quoted(self.shown("tavorin_app_instance.lock")),
        ] + NOT_DETECTED)
        os.set_blocking(read_end, False)
        self.assertEqual(os.read(read_end, 64), waiting)

        with open(self.path(MARKER), "rb") as marker:
            content = marker.read()
        stamp = re.fullmatch(rb"Launched at (\d+)", content)
        self.assertIsNotNone(stamp, content)
        self.assertLessEqual(before - 2, int(stamp[1]))
        self.assertLessEqual(int(stamp[1]), after + 2)

    def test_marker_replaces_a_longer_old_file(self):
        self.write_file(MARKER, b"Launched at 99999999999999999999" * 4)
        self.run_host()
        with open(self.path(MARKER), "rb") as marker:
            self.assertRegex(marker.read(), rb"\ALaunched at \d{10}\Z")


class StandardError(HostTestCase):
    """The log is the host's only diagnostic channel: a broken one is fatal,
    a missing one is not."""

    def test_broken_one_ends_the_host_before_it_looks_for_the_app(self):
        app = self.start_app("--mode", "prod")
        read_end, write_end = os.pipe()
        os.close(read_end)
        self.addCleanup(os.close, write_end)
        full = open("/dev/full", "wb")
        self.addCleanup(full.close)
        for case, stderr in (("closed pipe", write_end), ("/dev/full", full)):
            with self.subTest(case):
                run = self.run_host([b'{"a":1}'], stderr=stderr)
                self.assertEqual(run.status, 101)
                self.assertEqual(run.stdout, b"")
                self.assertEqual(app.received(), b"")

    def test_missing_standard_error_changes_nothing_else(self):
        app = self.start_app("--mode", "prod")
        run = self.run_host([b'{"a":1}'], close_stderr=True)
        self.assertEqual(run.status, 0)
        self.assertEqual(run.frames, [echo(b'{"a":1}')])
        self.assertEqual(app.received(), b'{"a":1}\n')
