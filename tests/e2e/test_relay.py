"""The relay: Chrome's frames to the app as lines and the app's lines back as
frames, one message at a time, and every way the loop ends."""

import json
import statistics
import time

from frames import MAX_MESSAGE_LENGTH, chrome_gone, loop_end, turn
from harness import HostTestCase, RelayTestCase, echo

HELLO = b'{"text":"hello"}'


class Relay(RelayTestCase):

    def test_complete_session(self):
        run, loop = self.relay([HELLO])
        self.assertEqual(run.frames, [echo(HELLO)])
        self.assertEqual(loop, turn(1, HELLO.decode(), echo(HELLO).decode()) +
                         chrome_gone(1))
        self.assertEqual(self.app.received(), HELLO + b"\n")

    def test_two_messages_then_end_of_input(self):
        run, loop = self.relay([b"[1]", b"[2]"])
        self.assertEqual(run.frames, [echo(b"[1]"), echo(b"[2]")])
        self.assertEqual(loop, turn(1, "[1]", echo(b"[1]").decode()) +
                         turn(2, "[2]", echo(b"[2]").decode()) + chrome_gone(2))

    def test_blanks_reach_the_app_and_leave_the_log(self):
        run, loop = self.relay([b'  {"a":1}  '], "--padded")
        self.assertEqual(self.app.received(), b'  {"a":1}  \n')
        answer = b'  ' + echo(b'  {"a":1}  ')  # trailing blanks are trimmed
        self.assertEqual(run.frames, [answer])
        self.assertEqual(loop, turn(1, '{"a":1}', answer.decode()) +
                         chrome_gone(1))

    def test_ill_formed_utf8_reaches_the_app_replaced(self):
        message = b'"\xff|\xc3\x28|\xf0\x90\x80\x41"'
        replaced = '"\ufffd|\ufffd(|\ufffdA"'.encode()
        run, loop = self.relay([message])
        self.assertEqual(self.app.received(), replaced + b"\n")
        self.assertEqual(run.frames, [echo(replaced)])

    def test_largest_message_whole_and_one_byte_more_rejected(self):
        largest = b'"' + b"x" * (MAX_MESSAGE_LENGTH - 2) + b'"'
        run, loop = self.relay(
            [largest], raw=(MAX_MESSAGE_LENGTH + 1).to_bytes(4, "little"))
        self.assertEqual(self.app.received(), largest + b"\n")
        self.assertEqual(run.frames, [echo(largest)])
        self.assertEqual(loop[4:], ["Received message #2 from Chrome",
                                    "Invalid message length: 1048577 bytes"] +
                         loop_end(2))

    def test_zero_length_third_frame_ends_the_loop(self):
        run, loop = self.relay([b"[1]", b"[2]", b"", b"[4]"])
        self.assertEqual(len(run.frames), 2)
        self.assertEqual(loop[8:], ["Received message #3 from Chrome",
                                    "Invalid message length: 0 bytes"] +
                         loop_end(3))
        self.assertEqual(self.app.received(), b"[1]\n[2]\n")

    def test_input_ending_inside_a_length_prefix_is_a_disconnect(self):
        run, loop = self.relay([b"[1]"], raw=b"\x05\x00")
        self.assertEqual(run.frames, [echo(b"[1]")])
        self.assertEqual(loop[4:], chrome_gone(1))

    def test_input_ending_inside_a_payload_is_an_error(self):
        run, loop = self.relay(raw=b"\x0a\x00\x00\x00[1,")
        self.assertEqual(run.frames, [])
        self.assertEqual(loop, [
            "Received message #1 from Chrome",
            "Error reading message payload: failed to fill whole buffer"
        ] + loop_end(1))
        self.assertEqual(self.app.received(), b"")


class Answers(RelayTestCase):
    """What the app sends back, taken line by line."""

    def test_two_lines_for_one_message_pair_strictly_in_order(self):
        run, _ = self.relay([b"[1]", b"[2]", b"[3]"], "--two-lines")
        again = lambda m: echo(m)[:-1] + b',"again":true}'
        self.assertEqual(run.frames, [echo(b"[1]"), again(b"[1]"), echo(b"[2]")])

    def test_answer_longer_than_the_read_buffer(self):
        run, loop = self.relay([b"[1]"], "--long-answer", 20_000)
        (answer,) = run.frames
        self.assertEqual(len(answer), 20_000)
        json.loads(answer)
        self.assertEqual(loop[2], "Received response from app: " +
                         answer.decode())

    def test_line_break_alone_is_an_empty_frame(self):
        run, loop = self.relay([b"[1]"], "--crlf-only")
        self.assertEqual(run.stdout, b"\x00\x00\x00\x00")
        self.assertEqual(loop[2], "Received response from app: ")

    def test_invalid_utf8_answer_ends_the_loop(self):
        run, loop = self.relay([b"[1]", b"[2]"], "--invalid-utf8")
        self.assertEqual(run.frames, [])
        self.assertEqual(loop[2:], [
            "Error reading from app: stream did not contain valid UTF-8"
        ] + loop_end(1))

    def test_app_closing_after_its_first_answer(self):
        run, loop = self.relay([b"[1]", b"[2]", b"[3]"], "--close-after", 1)
        self.assertEqual(run.frames, [echo(b"[1]")])
        self.assertEqual(loop[4:6], ["Received message #2 from Chrome",
                                     "Relaying message to app: [2]"])
        self.assertEqual(len(loop), 8, loop)
        self.assertRegex(loop[6], r"\A(App disconnected \(no response\)|"
                         r"Error writing to app: .+)\Z")
        self.assertEqual(loop[7:], loop_end(2))


class SeveralHosts(HostTestCase):
    """Each browser connection is a host process of its own: the app answers
    both while the other's connection stays open."""

    def test_two_hosts_at_once_are_each_answered_in_time(self):
        self.start_app("--mode", "prod", "--slow", 1000)
        first, second = self.session(), self.session()
        started = time.monotonic()
        first.send(b"[1]")
        second.send(b"[2]")
        self.assertEqual(second.receive(), echo(b"[2]"))
        self.assertEqual(first.receive(), echo(b"[1]"))
        # One after the other, the second would wait for the first host to
        # end, or give up after 5 s.
        self.assertLess(time.monotonic() - started, 4)
        for host in (first, second):
            self.assertEqual(host.finish().status, 0)


class NoSendDelay(HostTestCase):
    """The host sends a message and its line feed as two writes; without
    TCP_NODELAY the second waits for the app's delayed acknowledgement, tens
    of milliseconds per message."""

    def test_a_round_trip_takes_no_delayed_acknowledgement(self):
        # Short messages, and messages long enough that the line feed cannot
        # ride along with the text in one segment.
        self.start_app("--mode", "prod")
        for pad in (b"", b"x" * 20000):
            with self.subTest(size=len(pad)):
                host = self.session()
                host.send(b'["%s",0]' % pad)
                host.receive()  # start-up is over
                trips = []
                for n in range(1, 21):
                    message = b'["%s",%d]' % (pad, n)
                    started = time.monotonic()
                    host.send(message)
                    self.assertEqual(host.receive(), echo(message))
                    trips.append(time.monotonic() - started)
                run = host.finish()
                self.assertEqual(run.status, 0)
                # The median is untouched by a few trips that a loaded
                # machine slows down; a delayed acknowledgement costs
                # about 40 ms on every one.
                self.assertLess(statistics.median(trips), 0.02)
