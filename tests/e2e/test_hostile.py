"""A temporary directory someone else has prepared: the launch marker and the
port file planted as links, FIFOs, devices and endless files, and (on Linux,
run as root) lock files, port files and listeners of another user. The host
must end in its usual time, in a few megabytes, touching nothing it was
pointed at, with standard output holding only frames.

Owns 127.0.0.1 ports 7878-7882 (the app listens on 7878 without a port
file), like test_fallback."""

import os
import subprocess
import unittest

import frames
from frames import CHANNELS_READY, STARTUP, detected
from harness import (MARKER, PORT_FILE, ExampleApp, HostTestCase, echo,
                     make_stranger, scratch_folder, stranger_listens)

MESSAGE = b'{"n":1}'
# The host alone takes about 2.5 MB natively; Wine itself takes far more,
# but nowhere near a file read without bound.
PEAK_KIB = {"native": 16 * 1024, "wine": 400 * 1024}
# Every case here connects at the first attempt: nothing may hold it up.
USUAL_SECONDS = 5


def peak_kib(pid):
    """The process's peak resident memory so far (the Wine process, for the
    .exe). Read while it runs: a child's rusage would count the test's own
    memory from before the child's exec."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM")


def plant_link(target):
    return lambda path: os.symlink(target, path)


def plant_fifo(path):
    os.mkfifo(path)


def plant_sparse_tebibyte(path):
    with open(path, "wb") as f:
        f.truncate(1 << 40)


class PlantedFiles(HostTestCase):
    needs_fallback_ports = True

    def setUp(self):
        super().setUp()
        self.start_app("--mode", "prod", "--port", "7878", "--no-port-file")

    def run_with(self, name, plant):
        """One run with `plant` made at the file's name: the message is
        answered, and the memory read once the answer is out."""
        path = self.path(name)
        if os.path.lexists(path):
            os.remove(path)
        plant(path)
        host = self.session()
        host.send(MESSAGE)
        self.assertEqual(host.receive(), echo(MESSAGE))
        peak = peak_kib(host.process.pid)
        run = host.finish()
        self.assertEqual(run.status, 0, run.log)
        self.assertEqual(run.frames, [])
        self.assertIn("Connected to app on port 7878", run.log)
        self.assertNotIn("Read port", " ".join(run.log))
        self.assertLess(run.seconds, USUAL_SECONDS)
        self.assertLess(peak, PEAK_KIB[self.runner.name],
                        "the host read without bound")

    def test_port_file_that_never_ends_or_never_opens(self):
        cases = {"/dev/zero": plant_link("/dev/zero"),
                 "1 TiB sparse": plant_sparse_tebibyte}
        if self.runner.name == "native":
            cases.update({"FIFO": plant_fifo,
                          "own standard input": plant_link("/proc/self/fd/0"),
                          "a directory": os.mkdir})
        for case, plant in cases.items():
            with self.subTest(case):
                self.run_with(PORT_FILE, plant)

    def test_marker_is_never_written_through_a_link_or_into_a_fifo(self):
        if self.runner.name != "native":
            self.skipTest("links and FIFOs in the temporary directory are "
                          "a Linux concern; Windows' %TEMP% is the user's own")
        victim = self.path("victim.txt")
        self.write_file("victim.txt", b"precious")
        for case, plant in {"link to a file": plant_link(victim),
                            "link to standard output": plant_link("/proc/self/fd/1"),
                            "FIFO": plant_fifo}.items():
            with self.subTest(case):
                self.run_with(MARKER, plant)
        with open(victim, "rb") as f:
            self.assertEqual(f.read(), b"precious")


class StrangerInASharedDirectory(HostTestCase):
    """/tmp, as every user shares it: here a private directory with the
    same mode (1777), so the test needs neither /tmp nor a second login."""
    needs_fallback_ports = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if cls.runner.name != "native":
            raise unittest.SkipTest("the Linux host's rule; Windows' %TEMP% is per user")
        cls.stranger = make_stranger()
        if cls.stranger is None:
            raise unittest.SkipTest("needs root to make a second user (useradd)")

    def setUp(self):
        super().setUp()
        os.chmod(self.temp_dir, 0o1777)

    def as_stranger(self, name, content=b""):
        self.write_file(name, content)
        os.chown(self.path(name), self.stranger.pw_uid, self.stranger.pw_gid)

    def stranger_listens(self, port=0):
        return stranger_listens(self, self.stranger, port)

    def test_a_strangers_lock_file_is_no_sign_of_the_app(self):
        self.as_stranger("tavorin_app_instance.lock")
        self.as_stranger(PORT_FILE, b"%d" % self.stranger_listens())
        run = self.run_host([MESSAGE])
        self.assertEqual(run.status, 0)
        self.assertEqual(run.frames, [])
        self.assertIn("No lock file found - app not running", run.log)

    def test_a_strangers_port_file_and_listener_are_passed_over(self):
        app = self.start_app("--mode", "prod", "--port", "7879")
        os.remove(self.path(PORT_FILE))
        self.as_stranger(PORT_FILE, b"%d" % self.stranger_listens())
        self.stranger_listens(7878)
        run = self.run_host([MESSAGE])
        self.assertEqual(run.frames, [echo(MESSAGE)])
        expected = (STARTUP + detected(prod=True) +
                    ["Starting connection attempts...", "Connection attempt 1 of 5",
                     "Port 7878 not available", "Connected to app on port 7879",
                     "Successfully connected on attempt 1"] + CHANNELS_READY)
        self.assertEqual(run.log[:len(expected)], expected)
        self.assertEqual(app.received(), MESSAGE + b"\n")

    def test_own_files_in_the_shared_directory_still_count(self):
        self.start_app("--mode", "prod")
        run = self.run_host([MESSAGE])
        self.assertEqual(run.frames, [echo(MESSAGE)])


class WhichTemporaryDirectoryWins(HostTestCase):
    """$TMPDIR first, as every program's; with it unset or empty, the user's
    own $XDG_RUNTIME_DIR before the shared /tmp. Each folder holds an app
    of its own, so the port the host reaches says where it looked."""

    def setUp(self):
        super().setUp()
        if self.runner.name != "native":
            self.skipTest("the Linux host's rule")
        self.runtime_dir = scratch_folder(self, "tavorin-runtime-")
        self.apps = {self.temp_dir: self.start_app("--mode", "prod"),
                     self.runtime_dir: ExampleApp(
                         os.environ["TAVORIN_EXAMPLE_APP"], self.runtime_dir,
                         ["--mode", "dev"])}
        self.addCleanup(self.apps[self.runtime_dir].stop)

    def connected_port(self, **variables):
        environment = {k: v for k, v in os.environ.items()
                       if k not in ("TMPDIR", "XDG_RUNTIME_DIR")}
        environment.update(variables)
        done = subprocess.run(self.runner.command(), input=b"", env=environment,
                              capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 0)
        found = [line for line in frames.parse_log(done.stderr)
                 if line.startswith("Connected to app on port ")]
        self.assertEqual(len(found), 1, done.stderr)
        return int(found[0].split()[5])

    def test_tmpdir_wins_over_the_runtime_directory(self):
        port = self.connected_port(TMPDIR=self.temp_dir,
                                   XDG_RUNTIME_DIR=self.runtime_dir)
        self.assertEqual(port, self.apps[self.temp_dir].port)

    def test_without_tmpdir_the_runtime_directory_is_used(self):
        for unset in ({}, {"TMPDIR": ""}):
            port = self.connected_port(XDG_RUNTIME_DIR=self.runtime_dir, **unset)
            self.assertEqual(port, self.apps[self.runtime_dir].port, unset)


if __name__ == "__main__":
    unittest.main()
