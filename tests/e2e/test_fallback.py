"""The fixed fallback ports 7878 to 7882 and the connection attempts.

These tests own those ports on 127.0.0.1 (CTest runs them one at a time) and
refuse to run when another process holds one of them."""

from frames import (CHANNELS_READY, FAILURE_HINTS, STARTUP, SUCCESS,
                    chrome_gone, detected)
from harness import FALLBACK_PORTS, PORT_FILE, HostTestCase, refusing_port


class FallbackPorts(HostTestCase):
    needs_fallback_ports = True

    def connect_without_port_file(self, port_file_lines, app_port,
                                  refused_lines):
        self.start_app("--mode", "prod", "--port", app_port, "--no-port-file")
        run = self.run_host()
        self.assertEqual(run.status, 0)
        self.assertEqual(
            run.log, STARTUP + detected(prod=True) +
            ["Starting connection attempts...", "Connection attempt 1 of 5"] +
            port_file_lines + refused_lines +
            [f"Connected to app on port {app_port}",
             "Successfully connected on attempt 1"] + CHANNELS_READY +
            chrome_gone(0) + SUCCESS)

    def test_no_port_file_falls_back_to_7880(self):
        self.connect_without_port_file(
            [], 7880, ["Port 7878 not available", "Port 7879 not available"])

    def test_dead_port_in_the_file_is_passed_over_in_silence(self):
        dead_port = refusing_port(self)
        self.write_file(PORT_FILE, str(dead_port).encode())
        self.connect_without_port_file([f"Read port {dead_port} from file"],
                                       7878, [])

    def test_all_attempts_fail(self):
        self.write_file("tavorin_dev_instance.lock")
        run = self.run_host([b"{}"])
        attempts = []
        for n in range(1, 6):
            attempts += [f"Connection attempt {n} of 5"]
            attempts += [f"Port {port} not available" for port in FALLBACK_PORTS]
            attempts += [f"Connection attempt {n} failed: "
                         "Could not connect to app on any port"]
            attempts += ["Waiting 1 second before retry..."] * (n < 5)
        self.assertEqual(
            run.log, STARTUP + detected(dev=True) +
            ["Starting connection attempts..."] + attempts +
            ["All connection attempts failed",
             "Communication session failed: "
             "Failed to connect to app after all retries"] + FAILURE_HINTS)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.stdout, b"")
        self.assertGreaterEqual(run.seconds, 4.0)
