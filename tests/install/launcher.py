"""The host started as a browser on Windows starts it, by
tests/chrome_launcher under Wine, with frames in and frames out: shared by
the script and MSI tests."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))), "e2e"))
import frames  # noqa: E402
from harness import (FIREFOX_EXTENSION, FIREFOX_FOLDER, HOST_NAME,  # noqa: E402,F401
                     LINUX_FOLDERS, OTHER_EXTENSION, TEST_EXTENSION, WINDOWS_KEYS,
                     WINDOWS_MANIFESTS,
                     WINE, ExampleApp, HostSession, echo, forget_registry_keys,
                     host_key, scratch_folder, wine_environment, windows_path)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LAUNCHER = os.environ.get("TAVORIN_LAUNCHER",
                          os.path.join(ROOT, "build/windows/chrome_launcher.exe"))
APP = os.environ.get("TAVORIN_EXAMPLE_APP",
                     os.path.join(ROOT, "build/native/tavorin_example_app"))
# What the launcher exits with when the browser would refuse.
NOT_FOUND, FORBIDDEN = 70, 71
# A short message, text outside ASCII, and about 900 KB.
MESSAGES = [b'{"n":1}', '{"text":"Grüße, 世界 🔧"}'.encode(),
            b'{"big":"' + "é".encode() * 450_000 + b'"}']
ANSWERS = [echo(message) for message in MESSAGES]


def start_app(temp_dir):
    """The example app, keeping its files where the host will look when
    TAVORIN_TEST_TMP names the same folder."""
    return ExampleApp(APP, temp_dir, ["--mode", "prod"])


def launch(env, *options, messages=MESSAGES):
    """Runs the launcher: the frames in, and the run and the frames out."""
    data = b"".join(map(frames.encode_frame, messages))
    done = subprocess.run([WINE, LAUNCHER, *options], input=data,
                          capture_output=True, env=env, timeout=120)
    return done, frames.decode_frames(done.stdout)


def assert_relays(test, env, *options):
    """The host the launcher starts answers every message, in order."""
    done, answers = launch(env, *options)
    test.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))
    test.assertEqual(answers, ANSWERS, options)


def virtual_display(add_cleanup):
    """An X display of the caller's own, stopped by add_cleanup: Wine's
    console host needs one to give a console a window, a hidden one too."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                               "-screen", "0", "800x600x24"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    add_cleanup(server.wait)
    add_cleanup(server.terminate)
    with os.fdopen(read_end) as number:
        return ":" + number.readline().strip()
