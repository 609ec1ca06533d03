#!/usr/bin/env python3
"""A native messaging host as people usually write one in Python.

Reads the browser's length-prefixed messages from standard input, sends each
to the desktop app as a line over TCP, and writes the app's answer line back
as a message. The benchmark runs it beside the host for comparison.
"""
import os
import socket
import struct
import sys
import tempfile


def read_port():
    path = os.path.join(tempfile.gettempdir(), "tavorin_port.txt")
    try:
        with open(path, encoding="utf-8") as port_file:
            return int(port_file.read().strip())
    except (OSError, ValueError):
        return None


def get_message():
    raw_length = sys.stdin.buffer.read(4)
    if len(raw_length) < 4:
        return None
    message_length = struct.unpack("<I", raw_length)[0]
    return sys.stdin.buffer.read(message_length).decode("utf-8")


def send_message(text):
    encoded = text.encode("utf-8")
    sys.stdout.buffer.write(struct.pack("<I", len(encoded)))
    sys.stdout.buffer.write(encoded)
    sys.stdout.buffer.flush()


def main():
    port = read_port()
    if port is None:
        return 0
    try:
        app = socket.create_connection(("127.0.0.1", port))
    except OSError:
        return 0
    app.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    answers = app.makefile("rb")
    while True:
        message = get_message()
        if message is None:
            break
        app.sendall((message + "\n").encode("utf-8"))
        answer = answers.readline()
        if not answer:
            break
        send_message(answer.decode("utf-8").rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
