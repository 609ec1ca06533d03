"""Finding the app: which lock files count, and the port file's forms.

Each case gives the host an app it can reach through the port file and no
message, so the run ends at once with a session of zero messages."""

import os

from frames import (CHANNELS_READY, STARTUP, SUCCESS, chrome_gone,
                    connected_through_port_file, detected)
from harness import PORT_FILE, HostTestCase, echo

DEV_LOCK = "tavorin_dev_instance.lock"
PROD_LOCK = "tavorin_app_instance.lock"


class LockFiles(HostTestCase):

    def detect(self, expected_mode_lines):
        port = self.listener_in_port_file().getsockname()[1]
        run = self.run_host()
        self.assertEqual(run.status, 0)
        self.assertEqual(run.frames, [])
        self.assertEqual(
            run.log, STARTUP + expected_mode_lines +
            connected_through_port_file(port) + CHANNELS_READY +
            chrome_gone(0) + SUCCESS)

    def test_dev_only(self):
        self.write_file(DEV_LOCK)
        self.detect(detected(dev=True))

    def test_prod_only(self):
        self.write_file(PROD_LOCK)
        self.detect(detected(prod=True))

    def test_both_report_dev_first(self):
        self.write_file(PROD_LOCK)
        self.write_file(DEV_LOCK)
        self.detect(detected(dev=True, prod=True))

    def test_a_directory_counts_as_a_lock_file(self):
        os.mkdir(self.path(DEV_LOCK))
        self.detect(detected(dev=True))


class PortFile(HostTestCase):

    def connect_through(self, content_for_port):
        app = self.start_app("--mode", "prod", "--no-port-file")
        self.write_file(PORT_FILE, content_for_port(app.port))
        run = self.run_host([b"[1]"])
        self.assertEqual(run.status, 0)
        self.assertEqual(run.frames, [echo(b"[1]")])
        self.assertEqual(run.log[6:11], connected_through_port_file(app.port))

    def test_line_break_after_the_number(self):
        self.connect_through(lambda port: b"%d\r\n" % port)

    def test_plus_sign_and_leading_zero(self):
        self.connect_through(lambda port: b"+0%d" % port)
