"""make dist's files: what each archive holds, SHA256SUMS, the extension IDs
refused before anything is written, the allowed IDs shown wherever an
administrator looks (file names of a test build, README.txt, the MSI's
summary, make dist's output), and Authenticode signing with a throw-away
certificate made here.

Uses the programs in build/windows and build/native.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DIST = os.path.join(ROOT, "scripts", "dist.py")
EPOCH = 1700000000
# The project version (CTest passes it), else the one the Windows program has.
VERSION = os.environ.get("TAVORIN_VERSION") or re.search(
    r'TAVORIN_VERSION_TEXT "([^"]+)"',
    open(os.path.join(ROOT, "build", "windows", "tavorin_version.h")).read()).group(1)
# Built without EXTENSION_IDS: for the test extensions, and named so.
WINDOWS = f"tavorin_shim-{VERSION}-windows-x64"
MSI = WINDOWS + "-test-extensions.msi"
ZIP = WINDOWS + "-test-extensions.zip"
TAR = f"tavorin_shim-{VERSION}-linux-x86_64.tar.gz"
CHECK = "tavorin_windows_check.exe"
KIT = f"tavorin_shim-{VERSION}-developer-kit.zip"
KIT_TOP = f"tavorin_shim-{VERSION}-developer-kit/"
# What only developers and support get: never in what end users install.
NOT_FOR_USERS = ("windows_check", "example_app")


def read(*parts):
    with open(os.path.join(*parts), "rb") as f:
        return f.read()


def dist(out, *args):
    return subprocess.run([sys.executable, DIST, "--out", out, *args], capture_output=True,
                          text=True, env=dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH)))


def verify(path, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path],
                          capture_output=True, text=True)


def exe_in_msi(msi, folder):
    subprocess.run(["msiextract", "-C", folder, msi], check=True, capture_output=True)
    return read(folder, "Tavorin browser host", "tavorin_shim.exe")


class Dist(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tavorin-dist-test-")
        cls.out = os.path.join(cls.scratch, "unsigned")
        cls.made = dist(cls.out)
        assert cls.made.returncode == 0, cls.made.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def test_archives_hold_what_ships_with_fixed_dates_and_owners(self):
        with zipfile.ZipFile(os.path.join(self.out, ZIP)) as archive:
            top = WINDOWS + "-test-extensions/"
            self.assertEqual(archive.namelist(), [top] + [top + n for n in [
                "README.txt", "com.tavorin.desktop.json.in", "install-windows.cmd",
                "tavorin_doctor.exe", "tavorin_shim.exe"]])
            self.assertEqual(archive.read(top + "tavorin_shim.exe"),
                             read(ROOT, "build", "windows", "tavorin_shim.exe"))
            self.assertEqual(archive.read(top + "install-windows.cmd"),
                             read(ROOT, "install", "install-windows.cmd"))
            self.assertEqual({i.date_time for i in archive.infolist()},
                             {(2023, 11, 14, 22, 13, 20)})
        with tarfile.open(os.path.join(self.out, TAR)) as archive:
            top = f"tavorin_shim-{VERSION}-linux-x86_64"
            members = archive.getmembers()
            self.assertEqual([(m.name, oct(m.mode)) for m in members], [
                (top, "0o755"), (top + "/com.tavorin.desktop.json.in", "0o644"),
                (top + "/install-linux.sh", "0o755"), (top + "/tavorin_doctor", "0o755"),
                (top + "/tavorin_shim", "0o755")])
            self.assertEqual({(m.uid, m.gid, m.uname, m.mtime) for m in members},
                             {(0, 0, "root", EPOCH)})
            self.assertEqual(archive.extractfile(top + "/tavorin_shim").read(),
                             read(ROOT, "build", "native", "tavorin_shim"))
        # The gzip header holds the same date and no file name.
        header = read(self.out, TAR)[:10]
        self.assertEqual((int.from_bytes(header[4:8], "little"), header[3] & 0x08), (EPOCH, 0))

    def test_the_tools_for_developers_lie_beside_the_packages_and_in_neither(self):
        self.assertEqual(read(self.out, CHECK), read(ROOT, "build", "windows", CHECK))
        with zipfile.ZipFile(os.path.join(self.out, KIT)) as archive:
            self.assertEqual(archive.namelist(), [KIT_TOP] + [KIT_TOP + n for n in [
                "README.txt", "tavorin_example_app.exe", CHECK]])
            for name in ("tavorin_example_app.exe", CHECK):
                self.assertEqual(archive.read(KIT_TOP + name),
                                 read(ROOT, "build", "windows", name))
            readme = archive.read(KIT_TOP + "README.txt")
            self.assertIn(b"tavorin_doctor.exe --send -\r\n", readme)
            self.assertEqual({i.date_time for i in archive.infolist()},
                             {(2023, 11, 14, 22, 13, 20)})
        msi_files = subprocess.run(["msiinfo", "export", os.path.join(self.out, MSI), "File"],
                                   capture_output=True, text=True, check=True).stdout
        with zipfile.ZipFile(os.path.join(self.out, ZIP)) as archive:
            zip_files = " ".join(archive.namelist())
        for shipped, files in (("MSI", msi_files), ("zip", zip_files)):
            for tool in NOT_FOR_USERS:
                with self.subTest(shipped=shipped, tool=tool):
                    self.assertNotIn(tool, files)

    def test_checksums_name_every_file(self):
        sums = read(self.out, "SHA256SUMS").decode()
        self.assertEqual(sums, "".join(
            f"{hashlib.sha256(read(self.out, name)).hexdigest()}  {name}\n"
            for name in sorted([MSI, ZIP, TAR, CHECK, KIT])))
        done = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"],
                              cwd=self.out, capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def test_refuses_bad_extension_ids_before_writing_anything(self):
        out = os.path.join(self.scratch, "refused")
        for ids in ["gppkkhdhkkicmjpcgcpidfjhncllihe",     # 31 letters
                    "gppkkhdhkkicmjpcgcpidfjhncllihez",    # z is past p
                    "GPPKKHDHKKICMJPCGCPIDFJHNCLLIHEF",    # upper case
                    "name@",                               # nothing after @
                    "{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f}",  # one digit short
                    "gppkkhdhkkicmjpcgcpidfjhncllihef x"]:  # one good, one bad
            done = dist(out, "--extension-ids", ids)
            self.assertEqual(done.returncode, 2, ids)
            self.assertIn(f"not an extension ID (32 letters a to p for Chrome, Chromium, "
                          f"Edge and Brave; name@domain or a GUID in braces for Firefox): "
                          f"{ids.split()[-1]}", done.stderr)
            self.assertFalse(os.path.exists(out))

    def test_ids_of_either_kind_give_each_kind_its_manifest(self):
        for ids, manifests in (("a@b.example", ["com.tavorin.desktop.firefox.json"]),
                               ("aaaabbbbccccddddeeeeffffgggghhhh", ["com.tavorin.desktop.json"])):
            out = os.path.join(self.scratch, ids)
            done = dist(out, "--only", "msi", "--only", "zip", "--extension-ids", ids)
            self.assertEqual(done.returncode, 0, done.stderr)
            files = subprocess.run(["msiinfo", "export", os.path.join(out, WINDOWS + ".msi"),
                                    "File"], capture_output=True, text=True, check=True).stdout
            self.assertEqual(sorted(re.findall(r"com\.tavorin\.desktop[.a-z]*json", files)),
                             manifests)
            with zipfile.ZipFile(os.path.join(out, WINDOWS + ".zip")) as archive:
                readme = archive.read(f"{WINDOWS}/README.txt")
            self.assertIn(f".\\install-windows.cmd {ids}".encode(), readme)

    def test_the_allowed_ids_show_in_names_readmes_summary_and_output(self):
        chromium, firefox = "aaaabbbbccccddddeeeeffffgggghhhh", "tavorin@example.com"
        test_chromium, test_firefox = ("gppkkhdhkkicmjpcgcpidfjhncllihef",
                                       "bridge-test@tavorin.example")
        cases = [  # IDs given, what the packages allow, whether it is a test build
            ("", f"Chrome, Chromium, Edge, Brave: {test_chromium}; Firefox: {test_firefox}",
             True),
            (f"{chromium} {firefox}", f"Chrome, Chromium, Edge, Brave: {chromium}; "
             f"Firefox: {firefox}", False),
            (firefox, f"Firefox: {firefox}", False),
            (f"{chromium} {test_firefox}", f"Chrome, Chromium, Edge, Brave: {chromium}; "
             f"Firefox: {test_firefox}", True),
        ]
        for given, allowed, test in cases:
            with self.subTest(given):
                summary = "Allowed extensions: " + allowed + (
                    " (test extensions: not for deployment)" if test else "")
                name = WINDOWS + ("-test-extensions" if test else "")
                out = self.out if not given else os.path.join(self.scratch, "ids " + given)
                if given:
                    done = dist(out, "--only", "msi", "--only", "zip",
                                "--extension-ids", given)
                    self.assertEqual(done.returncode, 0, done.stderr)
                else:
                    done = self.made
                self.assertEqual(sorted(n for n in os.listdir(out) if n.startswith(WINDOWS)),
                                 [name + ".msi", name + ".zip"])
                said = done.stdout.splitlines()
                self.assertIn("dist: " + summary, said)
                self.assertEqual([line for line in said if "TEST" in line], [
                    "dist: TEST BUILD: the Windows packages allow the test extensions, "
                    "which anyone can load in developer mode; do not deploy them "
                    "(set EXTENSION_IDS)"] if test else [])
                suminfo = subprocess.run(["msiinfo", "suminfo", os.path.join(out, name + ".msi")],
                                         capture_output=True, text=True, check=True).stdout
                self.assertIn("Comments: " + summary + "\n", suminfo)
                folder = os.path.join(self.scratch, "extracted " + given)
                subprocess.run(["msiextract", "-C", folder, os.path.join(out, name + ".msi")],
                               check=True, capture_output=True)
                with zipfile.ZipFile(os.path.join(out, name + ".zip")) as archive:
                    readmes = [read(folder, "Tavorin browser host", "README.txt"),
                               archive.read(name + "/README.txt")]
                for readme in readmes:
                    text = readme.decode("ascii")
                    for line in allowed.split("; "):
                        self.assertIn("\r\n    " + line + "\r\n", text)
                    self.assertEqual("TEST extensions" in text, test)

    def test_signs_the_exe_everywhere_it_ships_and_the_msi(self):
        folder = os.path.join(self.scratch, "certificate")
        os.mkdir(folder)
        key, cert, p12, password = (os.path.join(folder, n) for n in
                                    ("key.pem", "cert.pem", "cert.p12", "password"))
        with open(password, "w") as f:
            f.write("throw-away password\n")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                        "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=Tavorin Test",
                        "-addext", "keyUsage=critical,digitalSignature",
                        "-addext", "extendedKeyUsage=codeSigning"],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert,
                        "-out", p12, "-passout", "file:" + password],
                       check=True, capture_output=True)

        signed = os.path.join(self.scratch, "signed")
        done = dist(signed, "--sign-pkcs12", p12, "--sign-password-file", password)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("signed with", done.stdout)

        exe = exe_in_msi(os.path.join(signed, MSI), os.path.join(self.scratch, "msi"))
        with zipfile.ZipFile(os.path.join(signed, ZIP)) as archive:
            self.assertEqual(archive.read(WINDOWS + "-test-extensions/tavorin_shim.exe"),
                             exe, "the zip and the MSI carry the same signed program")
        with open(os.path.join(self.scratch, "signed.exe"), "wb") as f:
            f.write(exe)
        with zipfile.ZipFile(os.path.join(signed, KIT)) as archive:
            archive.extract(KIT_TOP + "tavorin_example_app.exe", self.scratch)
        for path in (os.path.join(self.scratch, "signed.exe"), os.path.join(signed, MSI),
                     os.path.join(signed, CHECK),
                     os.path.join(self.scratch, KIT_TOP, "tavorin_example_app.exe")):
            done = verify(path, cert)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn("Signature verification: ok", done.stdout)
        self.assertEqual(subprocess.run(["sha256sum", "--check", "SHA256SUMS"], cwd=signed,
                                        capture_output=True).returncode, 0)

        # The unsigned build carries no signature at all; a wrong password
        # stops the build.
        self.assertIn("UNSIGNED", dist(os.path.join(self.scratch, "u"), "--only", "zip").stdout)
        unsigned = exe_in_msi(os.path.join(self.out, MSI), os.path.join(self.scratch, "u-msi"))
        with open(os.path.join(self.scratch, "unsigned.exe"), "wb") as f:
            f.write(unsigned)
        self.assertNotEqual(verify(os.path.join(self.scratch, "unsigned.exe"), cert).returncode, 0)
        with open(password, "w") as f:
            f.write("wrong\n")
        done = dist(os.path.join(self.scratch, "wrong"), "--sign-pkcs12", p12,
                    "--sign-password-file", password)
        self.assertEqual(done.returncode, 2)
        self.assertIn("signing tavorin_shim.exe failed", done.stderr)


if __name__ == "__main__":
    unittest.main()
