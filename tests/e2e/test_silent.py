"""An app that never answers: the host gives up after its receive timeout
of five seconds, and the session still ends as completed."""

from frames import loop_end
from harness import RelayTestCase


class SilentApp(RelayTestCase):

    def test_receive_timeout_ends_the_loop_without_a_frame(self):
        run, loop = self.relay([b"[1]", b"[2]"], "--silent")
        self.assertEqual(run.frames, [])
        self.assertEqual(loop[:2], ["Received message #1 from Chrome",
                                    "Relaying message to app: [1]"])
        self.assertRegex(loop[2], r"\AError reading from app: .+ \(os error "
                         f"{self.runner.timeout_code}\\)\\Z")
        self.assertEqual(loop[3:], loop_end(1))
        self.assertEqual(self.app.received(), b"[1]\n")
        # Five seconds, not the ten of the earlier release.
        self.assertGreaterEqual(run.seconds, 4.9)
        self.assertLess(run.seconds, 9)
