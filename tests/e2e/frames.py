"""The host's two outputs as tests see them: frames on standard output and
log lines on standard error, plus the log texts that many tests share."""

import struct

LOG_PREFIX = "🔧 shim: "
MAX_MESSAGE_LENGTH = 1_048_576


def encode_frame(payload: bytes) -> bytes:
    return struct.pack("<I", len(payload)) + payload


def decode_frames(data: bytes) -> list[bytes]:
    """Splits standard output into frames; any byte that is not part of a
    whole frame fails the test, because standard output carries frames and
    nothing else."""
    frames, at = [], 0
    while at < len(data):
        if len(data) - at < 4:
            raise AssertionError(
                f"stray bytes on standard output after {len(frames)} frames: "
                f"{data[at:]!r}")
        (length,) = struct.unpack_from("<I", data, at)
        at += 4
        if len(data) - at < length:
            raise AssertionError(
                f"frame {len(frames) + 1} announces {length} bytes but only "
                f"{len(data) - at} follow on standard output")
        frames.append(data[at:at + length])
        at += length
    return frames


def parse_log(data: bytes) -> list[str]:
    """The texts of the log lines, prefix and line feed removed. Everything
    on standard error must be a whole log line."""
    if not data:
        return []
    text = data.decode("utf-8")
    if not text.endswith("\n"):
        raise AssertionError(f"standard error ends inside a line: {text!r}")
    lines = text[:-1].split("\n")
    strays = [line for line in lines if not line.startswith(LOG_PREFIX)]
    if strays:
        raise AssertionError(f"lines without the log prefix: {strays!r}")
    return [line[len(LOG_PREFIX):] for line in lines]


def quoted(path: str) -> str:
    """A path as the log shows it: in double quotes, backslashes doubled."""
    return '"' + path.replace("\\", "\\\\").replace('"', '\\"') + '"'


STARTUP = [
    "Tavorin Native Messaging Host v1.0",
    "Starting initialization...",
    "Checking if main app is running...",
]
NOT_DETECTED = [
    "Main app not detected (no lock file found)",
    "This usually means:",
    "  1. Tavorin app is not running",
    "  2. App crashed and didn't clean up lock file",
    "  3. Different user/session is running the app",
    "Exiting gracefully",
]
CHANNELS_READY = [
    "Setting up communication channels...",
    "Proxy mode active - ready to relay messages",
]
SUCCESS = [
    "Communication session completed successfully",
    "Shutting down gracefully",
]
FAILURE_HINTS = [
    "This could indicate:",
    "  1. App became unresponsive",
    "  2. Network connectivity issues",
    "  3. App was terminated during communication",
]


def detected(dev=False, prod=False) -> list[str]:
    return (["Found lock file - app is running"] +
            ["Development mode detected"] * dev +
            ["Production mode detected"] * prod +
            ["Main app detected, establishing communication..."])


def connected_through_port_file(port: int) -> list[str]:
    return [
        "Starting connection attempts...",
        "Connection attempt 1 of 5",
        f"Read port {port} from file",
        f"Connected to app on port {port} (from file)",
        "Successfully connected on attempt 1",
    ]


def turn(number: int, shown_message: str, shown_answer: str) -> list[str]:
    """The four lines of one message relayed and answered."""
    return [
        f"Received message #{number} from Chrome",
        f"Relaying message to app: {shown_message}",
        f"Received response from app: {shown_answer}",
        f"Successfully relayed response #{number} to Chrome",
    ]


def loop_end(count: int) -> list[str]:
    return [f"Proxy loop ended after {count} messages"]


def chrome_gone(count: int) -> list[str]:
    return [f"Chrome disconnected (EOF) after {count} messages"] + loop_end(
        count)
