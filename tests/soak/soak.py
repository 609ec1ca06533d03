"""Soak of the native host against the example app: many numbered messages
through one session, then many host launches in a row. Prints its figures
and exits 1 at the first broken promise.

    soak.py --shim HOST --app EXAMPLE_APP [--messages N] [--launches M]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import frames  # noqa: E402
from harness import ExampleApp, echo, wait_readable  # noqa: E402

STALL = 30  # seconds without progress that count as a hang
RSS_NOISE_KB = 64


class Broken(Exception):
    pass


def message(n: int) -> bytes:
    # Sizes vary, so frames straddle the host's read buffer at every offset.
    return b'{"n":%d,"pad":"%s"}' % (n, b"x" * (n * 7 % 509))


def resources(pid):
    """Resident memory in kB and the count of open descriptors."""
    with open(f"/proc/{pid}/status") as status:
        rss = next(int(line.split()[1]) for line in status
                   if line.startswith("VmRSS:"))
    return rss, len(os.listdir(f"/proc/{pid}/fd"))


def soak_session(shim, app_program, temp_dir, count, rss_noise_kb):
    app = ExampleApp(app_program, temp_dir, ["--mode", "prod"])
    log = tempfile.TemporaryFile()
    host = subprocess.Popen([shim], env=dict(os.environ, TMPDIR=temp_dir),
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=log)
    try:
        def feed():
            for n in range(1, count + 1):
                host.stdin.write(frames.encode_frame(message(n)))
            host.stdin.flush()
        writer = threading.Thread(target=feed, daemon=True)
        started = time.monotonic()
        writer.start()
        fd, pending, answered, samples = host.stdout.fileno(), bytearray(), 0, {}
        while answered < count:
            wait_readable(fd, time.monotonic() + STALL, f"answer {answered + 1}")
            chunk = os.read(fd, 1 << 20)
            if not chunk:
                raise Broken(f"standard output ended after {answered} answers")
            pending += chunk
            at = 0
            while len(pending) - at >= 4:
                end = at + 4 + int.from_bytes(pending[at:at + 4], "little")
                if end > len(pending):
                    break
                answered += 1
                if pending[at + 4:end] != echo(message(answered)):
                    raise Broken(f"answer {answered} is {pending[at + 4:end]!r}")
                at = end
                if answered in (count // 10, count):
                    samples[answered] = resources(host.pid)
            del pending[:at]
        seconds = time.monotonic() - started
        writer.join()
        host.stdin.close()
        rest = host.stdout.read()
        status = host.wait(STALL)
    finally:
        if host.poll() is None:
            host.kill()
        app.stop()
    if status != 0 or rest:
        raise Broken(f"status {status}, {len(rest)} stray bytes after the answers")
    log.seek(0)
    lines = frames.parse_log(log.read())
    if len(lines) != 17 + 4 * count or lines[-4:] != (
            frames.chrome_gone(count) + frames.SUCCESS):
        raise Broken(f"{len(lines)} log lines ending {lines[-4:]}")
    if app.received() != b"".join(message(n) + b"\n" for n in range(1, count + 1)):
        raise Broken("the app did not receive every message once, in order")
    (rss_early, fds_early), (rss_late, fds_late) = samples.values()
    print(f"messages: {count} in {seconds:.1f} s ({count / seconds:.0f}/s); "
          f"VmRSS {rss_early} kB at {count // 10}, {rss_late} kB at {count}; "
          f"descriptors {fds_early} at {count // 10}, {fds_late} at {count}")
    if rss_late - rss_early > rss_noise_kb or fds_late != fds_early:
        raise Broken("the host's memory or descriptors grew")


def processes_in(temp_dir):
    """Processes started with TMPDIR set to this soak's directory."""
    marker, found = f"\0TMPDIR={temp_dir}\0".encode(), []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as environ:
                if marker in b"\0" + environ.read():
                    found.append(int(pid))
        except OSError:
            pass  # gone meanwhile, or not ours to read
    return found


def app_sockets(app):
    fd_dir = f"/proc/{app.process.pid}/fd"
    return sum(os.readlink(f"{fd_dir}/{fd}").startswith("socket:")
               for fd in os.listdir(fd_dir))


def soak_launches(shim, app_program, temp_dir, count):
    app = ExampleApp(app_program, temp_dir, ["--mode", "prod"])
    try:
        listening = app_sockets(app)
        env = dict(os.environ, TMPDIR=temp_dir)
        started = time.monotonic()
        for n in range(1, count + 1):
            before = int(time.time())
            run = subprocess.run([shim], env=env, capture_output=True,
                                 input=frames.encode_frame(b"[%d]" % n),
                                 timeout=STALL)
            after = time.time()
            if run.returncode != 0 or frames.decode_frames(run.stdout) != [
                    echo(b"[%d]" % n)]:
                raise Broken(f"launch {n}: status {run.returncode}, "
                             f"output {run.stdout!r}")
        seconds = time.monotonic() - started
        with open(os.path.join(temp_dir, "shim_launched.txt")) as marker:
            stamp = marker.read()
        if not before <= int(stamp.removeprefix("Launched at ")) <= after:
            raise Broken(f"marker {stamp!r} is not the last launch's")
        leftovers = [pid for pid in processes_in(temp_dir)
                     if pid != app.process.pid]
        deadline = time.monotonic() + 5  # the app closes what the host ended
        while app_sockets(app) != listening and time.monotonic() < deadline:
            time.sleep(0.01)
        if leftovers or app_sockets(app) != listening:
            raise Broken(f"left behind: processes {leftovers}, "
                         f"{app_sockets(app) - listening} app connections")
        if app.received() != b"".join(b"[%d]\n" % n for n in range(1, count + 1)):
            raise Broken("the app did not receive every launch's message")
    finally:
        app.stop()
    print(f"launches: {count} in {seconds:.1f} s ({count / seconds:.0f}/s); "
          f"every one exited 0; no process or connection left; "
          f"marker {stamp!r}")


parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--shim", required=True)
parser.add_argument("--app", required=True)
parser.add_argument("--messages", type=int, default=100_000)  # at least 10
parser.add_argument("--launches", type=int, default=1_000)
# A sanitizer's allocator fills its caches over the first many thousand
# messages and then stays flat; a plain build must not grow at all.
parser.add_argument("--rss-noise-kb", type=int, default=RSS_NOISE_KB)
args = parser.parse_args()
directory = tempfile.mkdtemp(prefix="tavorin-soak-")
try:
    for name, run in [
        ("session", lambda temp_dir: soak_session(
            args.shim, args.app, temp_dir, args.messages, args.rss_noise_kb)),
        ("launches", lambda temp_dir: soak_launches(
            args.shim, args.app, temp_dir, args.launches))]:
        temp_dir = os.path.join(directory, name)
        os.mkdir(temp_dir)
        run(temp_dir)
except (Broken, AssertionError) as broken:
    print(f"soak failed: {broken}")
    sys.exit(1)
finally:
    shutil.rmtree(directory, ignore_errors=True)
