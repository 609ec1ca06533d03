"""An app that takes a message and never answers: the host gives up after its
receive timeout of five seconds, and the session still ends as completed.
The one test of the suite that waits for that timeout."""

from frames import MAX_MESSAGE_LENGTH, loop_end
from harness import RelayTestCase


class SilentApp(RelayTestCase):

    def test_receive_timeout_ends_the_loop_without_a_frame(self):
        # The largest message: the socket buffers take it whole, so the host
        # is left waiting for an answer, and the next message is never sent.
        largest = b'"' + b"m" * (MAX_MESSAGE_LENGTH - 2) + b'"'
        run, loop = self.relay([largest, b"[2]"], "--silent")
        self.assertEqual(run.frames, [])
        self.assertEqual(loop[0], "Received message #1 from Chrome")
        self.assertRegex(loop[2], r"\AError reading from app: .+ \(os error "
                         f"{self.runner.timeout_code}\\)\\Z")
        self.assertEqual(loop[3:], loop_end(1))
        self.assertEqual(self.app.received(), largest + b"\n")
        # Five seconds, not the ten of the earlier release.
        self.assertGreaterEqual(run.seconds, 4.9)
        self.assertLess(run.seconds, 9)
