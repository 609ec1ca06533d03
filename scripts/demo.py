#!/usr/bin/env python3
"""The demo: starts the example desktop app, then plays the browser for the
host (the Linux build, then the Windows build under Wine), sends it a few
real frames and prints each answer frame and the host's log.

Usage: demo.py BUILD_DIR (the folder holding build/native and build/windows)
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

MESSAGES = [
    json.dumps({"cmd": "ping"}).encode(),
    json.dumps({"text": "Grüße, 世界 🔧"}, ensure_ascii=False).encode(),
    b'{"raw":"\xff\xfe"}',  # ill-formed UTF-8: the app gets U+FFFD instead
]


def frames(data):
    answers = []
    while len(data) >= 4:
        (length,) = struct.unpack("<I", data[:4])
        answers.append(data[4:4 + length])
        data = data[4 + length:]
    if data:
        raise SystemExit(f"stray bytes on the host's standard output: {data!r}")
    return answers


def wine64():
    # The 64-bit loader itself: the "wine" wrapper warns about a missing
    # 32-bit Wine on every start.
    return shutil.which("wine64") or "/usr/lib/wine/wine64"


def start_app(app, temp_dir):
    process = subprocess.Popen(
        [app, "--mode", "prod", "--temp-dir", temp_dir, "--port", "0"],
        stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline().strip()
    if not line.startswith("listening on"):
        process.kill()
        raise SystemExit(f"the example app did not start: {line!r}")
    return process, line


def run_host(title, command, env):
    print(f"\n=== {title}")
    for message in MESSAGES:
        print(f"  browser sends: {message.decode('utf-8', 'replace')}")
    stdin = b"".join(struct.pack("<I", len(m)) + m for m in MESSAGES)
    done = subprocess.run(command, input=stdin, capture_output=True, env=env,
                          timeout=60)
    for answer in frames(done.stdout):
        print(f"  browser receives: {answer.decode()}")
    print("  host log (standard error):")
    for line in done.stderr.decode("utf-8", "replace").splitlines():
        print(f"    {line}")
    print(f"  host exit status: {done.returncode}")
    return done.returncode == 0


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    native = os.path.join(root, "build/native/tavorin_shim")
    exe = os.path.join(root, "build/windows/tavorin_shim.exe")
    app = os.path.join(root, "build/native/tavorin_example_app")
    ok = True
    with tempfile.TemporaryDirectory(prefix="tavorin-demo-") as temp_dir:
        process, banner = start_app(app, temp_dir)
        print(f"example desktop app: {banner}, files in {temp_dir}")
        try:
            env = dict(os.environ, TMPDIR=temp_dir)
            ok &= run_host("Linux host: build/native/tavorin_shim", [native], env)
            prefix = os.path.join(root, "build/demo-wine")
            subprocess.run(["sh", os.path.join(root, "scripts/wine_prefix.sh"),
                            "start", prefix], check=True)
            try:
                wine_env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                                TAVORIN_TEST_TMP="Z:" + temp_dir.replace("/", "\\"))
                ok &= run_host("Windows host under Wine: build/windows/tavorin_shim.exe",
                               [wine64(), exe], wine_env)
            finally:
                subprocess.run(["sh", os.path.join(root, "scripts/wine_prefix.sh"),
                                "stop", prefix], check=False)
        finally:
            process.terminate()
            process.wait(timeout=10)
    print("\ndemo finished" if ok else "\ndemo: a host run failed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
