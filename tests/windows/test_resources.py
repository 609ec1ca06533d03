"""The Windows program carries its version block, its icon group and its
manifest, read back from the built .exe with icoutils.

Usage: test_resources.py PATH_TO_EXE VERSION   (VERSION: the project's, x.y.z)
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else "build/windows/tavorin_shim.exe"
VERSION = sys.argv.pop(1) if len(sys.argv) > 1 else "0.4.5"


def resource(kind):
    return subprocess.run(["wrestool", "-x", "-R", f"--type={kind}", EXE],
                          capture_output=True, check=True).stdout


class Resources(unittest.TestCase):
    def test_version_block(self):
        text = resource(16).decode("utf-16-le", errors="replace")
        strings = dict(re.findall(r"(\w+)\x00+([^\x00]+)\x00", text))
        for key, value in {"CompanyName": "tavorin",
                           "FileDescription": "Tavorin Desktop App",
                           "ProductName": "Tavorin Desktop App",
                           "FileVersion": VERSION,
                           "ProductVersion": VERSION}.items():
            self.assertEqual(strings.get(key), value, key)
        # The fixed part holds x.y.z.0 for file and product, after the
        # signature 0xFEEF04BD.
        raw = resource(16)
        fixed = raw.index(bytes.fromhex("bd04effe"))
        numbers = [int.from_bytes(raw[fixed + 8 + 4 * i:fixed + 12 + 4 * i], "little")
                   for i in range(4)]
        major, minor, patch = (int(part) for part in VERSION.split("."))
        high, low = major << 16 | minor, patch << 16
        self.assertEqual(numbers, [high, low, high, low])

    def test_icon_group_has_eight_sizes_at_32_bits(self):
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run(["wrestool", "-x", "--type=14", "-o", folder, EXE],
                           check=True)
            (icon,) = [os.path.join(folder, f) for f in os.listdir(folder)]
            listing = subprocess.run(["icotool", "-l", icon], capture_output=True,
                                     text=True, check=True).stdout
        sizes = [(int(w), int(d)) for w, d in
                 re.findall(r"--width=(\d+) .*--bit-depth=(\d+)", listing)]
        self.assertEqual(sizes, [(s, 32) for s in (16, 24, 32, 48, 64, 96, 128, 256)])

    def test_manifest_names_the_program_and_common_controls_6(self):
        manifest = resource(24).decode()
        self.assertRegex(manifest, r'name="tavorin\.tavorin_shim"\s+version="'
                         + re.escape(VERSION) + r'\.0"')
        self.assertRegex(manifest, r'name="Microsoft\.Windows\.Common-Controls"\s+'
                                   r'version="6\.0\.0\.0"\s+processorArchitecture="\*"\s+'
                                   r'publicKeyToken="6595b64144ccf1df"\s+language="\*"')


if __name__ == "__main__":
    unittest.main()
