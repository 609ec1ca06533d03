#!/usr/bin/env python3
"""Builds the release files from the programs already built in build/:

  tavorin_shim-<version>-windows-x64.msi     per-machine Windows Installer package
  tavorin_shim-<version>-windows-x64.zip     the .exe with install-windows.cmd
                                             (both named ...-windows-x64-test-extensions
                                             when they allow the test extensions)
  tavorin_shim-<version>-linux-x86_64.tar.gz the Linux host with install-linux.sh
  tavorin_windows_check.exe                  for maintainers and support: checks on a
                                             real Windows what Wine cannot (in neither
                                             the MSI nor the zip)
  tavorin_shim-<version>-developer-kit.zip   for extension developers: the example
                                             desktop app and the Windows check (in
                                             neither the MSI nor the zip)
  SHA256SUMS                                 the hash of each, as sha256sum writes it

`make dist` builds the programs and runs this. The same sources and the same
SOURCE_DATE_EPOCH give the same bytes in every file, signed or not (the
signature's time is SOURCE_DATE_EPOCH too).

Options (make dist passes the variables of the same names):
  --extension-ids "ID ..."   extensions the MSI's manifests allow (EXTENSION_IDS):
                             32 letters a to p for Chrome, Chromium, Edge and
                             Brave, name@domain or a {GUID} for Firefox
  --sign-pkcs12 FILE         sign the .exe and the .msi with this certificate
  --sign-password-file FILE  the certificate's password, on the file's first line
  --version X.Y.Z            package another version than the built one (tests)
  --only msi|zip|tar|check|kit  build only these files (repeatable; tests)
  --out DIR                  where the files go (default dist/)
"""
import argparse
import gzip
import hashlib
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import uuid
import xml.etree.ElementTree as ElementTree
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOST_NAME = "com.tavorin.desktop"
# The MSI's product name, as Programs and Features and the UAC prompt of a
# signed package show it (packaging/tavorin_shim.wxs): the browser host's,
# never the desktop app's.
PACKAGE = "Tavorin browser host"
# The extensions the tests load into a real Chromium and a real Firefox
# (tests/browser/extension, tests/browser/firefox_extension): a package built
# without EXTENSION_IDS talks to them and to nothing else.
TEST_EXTENSION_IDS = ["gppkkhdhkkicmjpcgcpidfjhncllihef", "bridge-test@tavorin.example"]
FIREFOX_MANIFEST = HOST_NAME + ".firefox.json"
# Every GUID of the package is derived from this one (the upgrade code in
# packaging/tavorin_shim.wxs), so the same release always has the same codes.
UPGRADE_CODE = uuid.UUID("22F78418-E2C8-4A26-A82B-E76C2DC6B054")

WXS = os.path.join(ROOT, "packaging", "tavorin_shim.wxs")
TEMPLATE = os.path.join(ROOT, "install", HOST_NAME + ".json.in")

# ---------------------------------------------------------------------------
# What ships: the host and the doctor beside it. A program is one line in
# each list below; the MSI's list is the File lines of the Program component
# in packaging/tavorin_shim.wxs, and this script refuses to build when the
# two Windows lists disagree.

# Windows programs, from build/windows: signed when a certificate is given,
# shipped in the MSI and in the zip.
WINDOWS_PROGRAMS = [
    "tavorin_shim.exe",
    "tavorin_doctor.exe",
]
# The zip, under its top folder: the programs above, then these.
ZIP_EXTRAS = [
    ("install-windows.cmd", os.path.join(ROOT, "install", "install-windows.cmd")),
    (HOST_NAME + ".json.in", TEMPLATE),
    ("README.txt", os.path.join(ROOT, "packaging", "README-zip.txt")),
]
# Windows programs for maintainers and support, not end users: beside the
# packages in dist/ (signed like the others, named in SHA256SUMS), in
# neither the MSI nor the zip.
WINDOWS_TOOLS = [
    "tavorin_windows_check.exe",
]
# The developer kit, under its top folder: Windows programs for extension
# developers, signed like the others, then its README. In neither the MSI
# nor the zip.
KIT_PROGRAMS = [
    "tavorin_example_app.exe",
    "tavorin_windows_check.exe",
]
KIT_README = os.path.join(ROOT, "packaging", "README-developer-kit.txt")
# Linux programs, from build/native: shipped in the tarball.
LINUX_PROGRAMS = [
    "tavorin_shim",
    "tavorin_doctor",
]
# The tarball, under its top folder: the programs above, then these.
TAR_EXTRAS = [
    ("install-linux.sh", os.path.join(ROOT, "install", "install-linux.sh")),
    (HOST_NAME + ".json.in", TEMPLATE),
]
# ---------------------------------------------------------------------------


class Refusal(Exception):
    """Bad input or a missing tool: said in one line, exit status 2."""


def say(message):
    print(f"dist: {message}", flush=True)


def built_version(windows_build):
    """The version the Windows program was built with: CMake's project version."""
    header = os.path.join(windows_build, "tavorin_version.h")
    try:
        with open(header, encoding="utf-8") as f:
            match = re.search(r'TAVORIN_VERSION_TEXT "(\d+\.\d+\.\d+)"', f.read())
    except OSError:
        match = None
    if not match:
        raise Refusal(f"no version in {header}: build the Windows program first (make windows)")
    return match.group(1)


def source_date_epoch():
    """SOURCE_DATE_EPOCH, or the time of the last commit."""
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value:
        done = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                              capture_output=True, text=True)
        value = done.stdout.strip() if done.returncode == 0 else ""
    if not value.isdigit():
        raise Refusal("set SOURCE_DATE_EPOCH (seconds since 1970): this is no git checkout")
    # Zip dates start in 1980.
    return max(int(value), 315532800)


# An ID's form says its browser, as the installers sort them: Chromium's
# extension IDs are 32 letters a to p; Firefox takes an add-on's ID as
# name@domain or a GUID in braces (its schema's ExtensionID), in any case
# of ASCII letters only (ignoring case in Unicode, "k" would match the
# Kelvin sign). tests/data/extension_ids.tsv holds the cases.
CHROMIUM_ID = re.compile(r"[a-p]{32}")
FIREFOX_ID = re.compile(r"\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\}"
                        r"|[a-z0-9-._]*@[a-z0-9-._]+", re.IGNORECASE | re.ASCII)


def id_family(word):
    """"chromium" or "firefox" for an extension ID by its form, else None."""
    if CHROMIUM_ID.fullmatch(word):
        return "chromium"
    if FIREFOX_ID.fullmatch(word):
        return "firefox"
    return None


def extension_ids(text):
    """The IDs in text (blanks or commas between them), sorted by form, in
    order and once each: {"chromium": [...], "firefox": [...]}."""
    sorted_ids = {"chromium": [], "firefox": []}
    for word in re.split(r"[\s,]+", text.strip()) if text.strip() else TEST_EXTENSION_IDS:
        family = id_family(word)
        if family is None:
            raise Refusal("not an extension ID (32 letters a to p for Chrome, Chromium, "
                          f"Edge and Brave; name@domain or a GUID in braces for Firefox): {word}")
        if word not in sorted_ids[family]:
            sorted_ids[family].append(word)
    return sorted_ids


def manifest(host_path, ids, family):
    """A host manifest from the installers' template, UTF-8 without BOM:
    the Chromium family's allows origins; Firefox's lists the IDs in
    "allowed_extensions" instead, as Firefox refuses any other member."""
    with open(TEMPLATE, encoding="utf-8") as f:
        text = f.read()
    if family == "firefox":
        allowed = ", ".join(json.dumps(i) for i in ids)
        text = text.replace('"allowed_origins"', '"allowed_extensions"')
    else:
        allowed = ", ".join(json.dumps(f"chrome-extension://{i}/") for i in ids)
    text = text.replace('"@HOST_PATH@"', json.dumps(host_path))
    text = text.replace("@ALLOWED_ORIGINS@", allowed)
    json.loads(text)  # the template must stay valid JSON once filled
    return text.encode("utf-8")


def is_test_build(ids):
    """True when the package allows a test extension: anyone can load those
    in developer mode, so such a package is for trying out only."""
    return any(i in TEST_EXTENSION_IDS for i in ids["chromium"] + ids["firefox"])


def windows_release(version, ids):
    """The MSI's and the zip's name without its ending: a test build says
    so where everyone sees it first."""
    return (f"tavorin_shim-{version}-windows-x64"
            + ("-test-extensions" if is_test_build(ids) else ""))


def allowed_summary(ids):
    """The allowed extensions in one line, for the MSI's summary Comments
    and its Programs and Features entry."""
    parts = []
    if ids["chromium"]:
        parts.append("Chrome, Chromium, Edge, Brave: " + " ".join(ids["chromium"]))
    if ids["firefox"]:
        parts.append("Firefox: " + " ".join(ids["firefox"]))
    test = " (test extensions: not for deployment)" if is_test_build(ids) else ""
    return "Allowed extensions: " + "; ".join(parts) + test


def allowed_readme(ids, heading):
    """The README's paragraph naming the extensions built in."""
    lines = ["", heading, ""]
    if ids["chromium"]:
        lines.append("    Chrome, Chromium, Edge, Brave: " + " ".join(ids["chromium"]))
    if ids["firefox"]:
        lines.append("    Firefox: " + " ".join(ids["firefox"]))
    if is_test_build(ids):
        lines += ["", "These are the project's TEST extensions, which anyone can load in",
                  "developer mode: this package is for trying the host out, not for",
                  "deployment. A release is built with make dist EXTENSION_IDS=\"...\"."]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def windows_text(path):
    """A text file with Windows line ends, for Notepad's sake."""
    with open(path, "rb") as f:
        return f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def zip_readme(ids):
    """The zip's README, ending with the command that installs for the
    extensions this release was built for."""
    given = " ".join(ids["chromium"] + ids["firefox"])
    text = windows_text(os.path.join(ROOT, "packaging", "README-zip.txt"))
    return text + allowed_readme(ids, "Extensions this release was built for:") + (
        f"\r\nTo install for them:\r\n\r\n"
        f"    .\\install-windows.cmd {given}\r\n").encode("ascii")


def msi_program_files():
    """The Source of each File in the MSI's Program component."""
    tree = ElementTree.parse(WXS)
    ns = {"w": "http://schemas.microsoft.com/wix/2006/wi"}
    return [f.get("Source") for f in
            tree.findall(".//w:Component[@Id='Program']/w:File", ns)]


# --- Signing ---------------------------------------------------------------

def signing_time_option():
    """osslsigncode's option for a fixed signing time: -time from 2.2 on
    (Debian 12 has 2.5, its backports 2.9), -st before; none: the time of
    signing goes in and the signed files differ from run to run."""
    done = subprocess.run(["osslsigncode", "sign", "--help"], capture_output=True, text=True)
    usage = done.stdout + done.stderr
    for option in ("-time", "-st"):
        if re.search(r"\[\s*" + option + r"\s+<", usage):
            return option
    return None


def sign(path, pkcs12, password_file, epoch):
    """Signs path in place with Authenticode (SHA-256), without a timestamp
    server: a release is built with no network."""
    signed = path + ".signed"
    command = ["osslsigncode", "sign", "-pkcs12", pkcs12, "-readpass", password_file,
               "-n", PACKAGE, "-h", "sha256"]
    option = signing_time_option()
    if option:
        command += [option, str(epoch)]
    command += ["-in", path, "-out", signed]
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0 or not os.path.exists(signed):
        raise Refusal(f"signing {os.path.basename(path)} failed: "
                      + (done.stderr or done.stdout).strip())
    os.replace(signed, path)


# --- MSI -------------------------------------------------------------------

def _u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def _u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def _stream_offsets(data, wanted):
    """File offsets of each byte of one stream of a compound file (the
    container format of an MSI), found by its name."""
    sector = 1 << _u16(data, 0x1E)
    mini = 1 << _u16(data, 0x20)
    cutoff = _u32(data, 0x38)
    fat_sectors = [_u32(data, 0x4C + 4 * i) for i in range(_u32(data, 0x2C))]
    difat = _u32(data, 0x44)
    while len(fat_sectors) < _u32(data, 0x2C) and difat < 0xFFFFFFFA:
        base = (difat + 1) * sector
        fat_sectors += [_u32(data, base + 4 * i) for i in range(sector // 4 - 1)]
        difat = _u32(data, base + sector - 4)
    fat = []
    for s in fat_sectors[:_u32(data, 0x2C)]:
        fat += struct.unpack_from(f"<{sector // 4}I", data, (s + 1) * sector)

    def chain(start, table):
        out = []
        while start < 0xFFFFFFFA:
            out.append(start)
            start = table[start]
        return out

    directory = b"".join(data[(s + 1) * sector:(s + 2) * sector]
                         for s in chain(_u32(data, 0x30), fat))
    entries = []
    for at in range(0, len(directory), 128):
        length = _u16(directory, at + 0x40)
        name = directory[at:at + max(length - 2, 0)].decode("utf-16-le")
        entries.append((name, _u32(directory, at + 0x74), _u32(directory, at + 0x78)))
    matches = [e for e in entries if e[0] == wanted]
    if len(matches) != 1:
        raise Refusal(f"the package has no single {wanted!r} stream")
    _, start, size = matches[0]
    if size >= cutoff:
        sectors = chain(start, fat)
        return [(sectors[i // sector] + 1) * sector + i % sector for i in range(size)]
    minifat_bytes = b"".join(data[(s + 1) * sector:(s + 2) * sector]
                             for s in chain(_u32(data, 0x3C), fat))
    minifat = struct.unpack(f"<{len(minifat_bytes) // 4}I", minifat_bytes)
    container = chain(entries[0][1], fat)
    offsets = []
    for m in chain(start, minifat):
        at = m * mini
        base = (container[at // sector] + 1) * sector + at % sector
        offsets += range(base, base + mini)
    return offsets[:size]


def set_summary(msi, package_code, epoch):
    """Puts the package code and the dates in the package's summary
    information. wixl 0.101 writes a random package code and the current
    time there, and reads neither from its input nor SOURCE_DATE_EPOCH."""
    with open(msi, "rb") as f:
        data = bytearray(f.read())
    offsets = _stream_offsets(data, "\x05SummaryInformation")
    stream = bytearray(data[o] for o in offsets)
    section = _u32(stream, 44)
    filetime = (epoch + 11644473600) * 10_000_000
    found = set()
    for i in range(_u32(stream, section + 4)):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        at += section
        kind = _u32(stream, at)
        if pid == 9 and kind == 30:  # revision number: the package code
            text = ("{%s}" % str(package_code).upper()).encode("ascii") + b"\0"
            if _u32(stream, at + 4) != len(text):
                raise Refusal("unexpected package code in the summary information")
            stream[at + 8:at + 8 + len(text)] = text
            found.add(pid)
        elif pid in (12, 13) and kind == 64:  # created, last saved
            struct.pack_into("<Q", stream, at + 4, filetime)
            found.add(pid)
    if found != {9, 12, 13}:
        raise Refusal("the summary information lacks the package code or dates")
    for offset, byte in zip(offsets, stream):
        data[offset] = byte
    with open(msi, "wb") as f:
        f.write(data)


def next_version(version):
    """The version after this one in the three fields Windows Installer
    compares."""
    major, minor, patch = (int(field) for field in version.split(".")[:3])
    return f"{major}.{minor}.{patch + 1}"


def build_msi(stage, out, version, epoch, ids):
    """The MSI from the files in stage (wixl reads them from its working
    folder). The product code is one per version of the package under its
    name, so that the package renamed from the desktop app's name is another
    product at the same version, which its upgrade replaces; the package
    code changes with anything in the package."""
    product_code = uuid.uuid5(UPGRADE_CODE, "product Tavorin browser host " + version)
    digest = hashlib.sha256(version.encode())
    for name in sorted(os.listdir(stage)):
        with open(os.path.join(stage, name), "rb") as f:
            digest.update(name.encode() + b"\0" + f.read())
    with open(WXS, "rb") as f:
        digest.update(f.read())
    package_code = uuid.uuid5(UPGRADE_CODE, "package " + digest.hexdigest())
    for name in os.listdir(stage):  # the cabinet keeps each file's time
        os.utime(os.path.join(stage, name), (epoch, epoch))
    done = subprocess.run(
        ["wixl", "--arch", "x64", "-D", f"Version={version}",
         "-D", f"NextVersion={next_version(version)}",
         "-D", f"ProductCode={product_code}",
         "-D", "Chromium=" + ("yes" if ids["chromium"] else "no"),
         "-D", "Firefox=" + ("yes" if ids["firefox"] else "no"),
         "-D", "Allowed=" + allowed_summary(ids),
         "-o", out, WXS],
        cwd=stage, capture_output=True, text=True, env=dict(os.environ, TZ="UTC"))
    if done.returncode != 0 or not os.path.exists(out):
        raise Refusal("wixl failed: " + (done.stderr or done.stdout).strip())
    set_summary(out, package_code, epoch)
    return product_code


# --- Archives --------------------------------------------------------------

def write_zip(path, top, entries, epoch):
    """entries: (name, bytes, executable). Sorted, one fixed date, no owner."""
    date = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(path, "w") as archive:
        folder = zipfile.ZipInfo(top + "/", date)
        folder.create_system = 3
        folder.external_attr = (0o40755 << 16) | 0x10
        archive.writestr(folder, b"")
        for name, data, executable in sorted(entries):
            info = zipfile.ZipInfo(f"{top}/{name}", date)
            info.create_system = 3
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


def write_tar_gz(path, top, entries, epoch):
    """entries: (name, bytes, executable). Sorted, one date, owner root."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        def add(name, data, mode, kind=tarfile.REGTYPE):
            info = tarfile.TarInfo(name)
            info.type, info.mode, info.mtime = kind, mode, epoch
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data) if data else None)
        add(top, b"", 0o755, tarfile.DIRTYPE)
        for name, data, executable in sorted(entries):
            add(f"{top}/{name}", data, 0o755 if executable else 0o644)
    with open(path, "wb") as f:
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=epoch,
                           compresslevel=9) as packed:
            packed.write(buffer.getvalue())


def write_sums(out, names):
    lines = []
    for name in sorted(names):
        with open(os.path.join(out, name), "rb") as f:
            lines.append(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        f.writelines(lines)


# --- The whole run ---------------------------------------------------------

def stage_program(args, scratch, name, epoch):
    """Copies a built Windows program into the scratch folder, signed when
    asked, and returns where it now is."""
    source = os.path.join(args.windows_build, name)
    if not os.path.isfile(source):
        raise Refusal(f"missing {source}: build it first (make windows)")
    staged = os.path.join(scratch, name)
    shutil.copyfile(source, staged)
    if args.sign_pkcs12:
        sign(staged, args.sign_pkcs12, args.sign_password_file, epoch)
    return staged


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--extension-ids", default=os.environ.get("EXTENSION_IDS", ""))
    parser.add_argument("--sign-pkcs12", default=os.environ.get("SIGN_PKCS12", ""))
    parser.add_argument("--sign-password-file", default=os.environ.get("SIGN_PASSWORD_FILE", ""))
    parser.add_argument("--version")
    parser.add_argument("--only", action="append", choices=["msi", "zip", "tar", "check", "kit"])
    parser.add_argument("--out", default=os.path.join(ROOT, "dist"))
    parser.add_argument("--windows-build", default=os.path.join(ROOT, "build", "windows"))
    parser.add_argument("--native-build", default=os.path.join(ROOT, "build", "native"))
    args = parser.parse_args(argv)
    kinds = args.only or ["msi", "zip", "tar", "check", "kit"]

    ids = extension_ids(args.extension_ids)
    version = args.version or built_version(args.windows_build)
    if not re.fullmatch(r"\d+\.\d+\.\d+", version):
        raise Refusal(f"not a version (x.y.z): {version}")
    epoch = source_date_epoch()
    if bool(args.sign_pkcs12) != bool(args.sign_password_file):
        raise Refusal("signing needs both SIGN_PKCS12 and SIGN_PASSWORD_FILE")
    for given in (args.sign_pkcs12, args.sign_password_file):
        if given and not os.path.isfile(given):
            raise Refusal(f"no such file: {given}")
    missing = set(WINDOWS_PROGRAMS) ^ (set(msi_program_files()) - {"README.txt"})
    if missing:
        raise Refusal("the Windows programs here and the File lines of "
                      f"packaging/tavorin_shim.wxs differ: {sorted(missing)}")
    shipped = set(WINDOWS_TOOLS + KIT_PROGRAMS) & (set(WINDOWS_PROGRAMS) | set(msi_program_files()))
    if shipped:
        raise Refusal(f"tools for maintainers must not ship to end users: {sorted(shipped)}")

    os.makedirs(args.out, exist_ok=True)
    for name in os.listdir(args.out):  # earlier releases' files would be hashed too
        if name.startswith("tavorin_shim-") or name in WINDOWS_TOOLS + ["SHA256SUMS"]:
            os.remove(os.path.join(args.out, name))

    written = []
    with tempfile.TemporaryDirectory(prefix="tavorin-dist-") as scratch:
        programs = {}
        for name in WINDOWS_PROGRAMS:
            programs[name] = read(stage_program(args, scratch, name, epoch))
        if args.sign_pkcs12:
            say(f"signed with {args.sign_pkcs12} (no timestamp: built without network)")
        else:
            say("UNSIGNED: no SIGN_PKCS12 given; Windows shows an unknown publisher")

        if "msi" in kinds:
            stage = os.path.join(scratch, "msi")
            os.mkdir(stage)
            files = dict(programs)
            if ids["chromium"]:
                files[HOST_NAME + ".json"] = manifest(WINDOWS_PROGRAMS[0],
                                                      ids["chromium"], "chromium")
            if ids["firefox"]:
                files[FIREFOX_MANIFEST] = manifest(WINDOWS_PROGRAMS[0], ids["firefox"],
                                                   "firefox")
            files["README.txt"] = (windows_text(os.path.join(ROOT, "packaging", "README-msi.txt"))
                                   + allowed_readme(ids, "Extensions this package allows "
                                                    "(fixed when it was built):"))
            files["tavorin.ico"] = read(os.path.join(args.windows_build, "tavorin.ico"))
            for name, data in files.items():
                with open(os.path.join(stage, name), "wb") as f:
                    f.write(data)
            name = windows_release(version, ids) + ".msi"
            product_code = build_msi(stage, os.path.join(args.out, name), version, epoch, ids)
            if args.sign_pkcs12:
                sign(os.path.join(args.out, name), args.sign_pkcs12,
                     args.sign_password_file, epoch)
            # What a detection rule names: this release's product code, and
            # the upgrade code that every release shares.
            say(f"{name}: product code {{{str(product_code).upper()}}}, "
                f"upgrade code {{{str(UPGRADE_CODE).upper()}}}")
            written.append(name)

        if "zip" in kinds:
            top = windows_release(version, ids)
            entries = [(n, data, True) for n, data in programs.items()]
            entries += [(n, zip_readme(ids) if n == "README.txt" else read(p), False)
                        for n, p in ZIP_EXTRAS]
            write_zip(os.path.join(args.out, top + ".zip"), top, entries, epoch)
            written.append(top + ".zip")

        if "tar" in kinds:
            top = f"tavorin_shim-{version}-linux-x86_64"
            entries = []
            for name in LINUX_PROGRAMS:
                source = os.path.join(args.native_build, name)
                if not os.path.isfile(source):
                    raise Refusal(f"missing {source}: build it first (make native)")
                data = read(source)
                if data[:4] != b"\x7fELF" or struct.unpack_from("<H", data, 18)[0] != 62:
                    raise Refusal(f"{source} is no x86-64 Linux program")
                entries.append((name, data, True))
            entries += [(n, read(p), os.access(p, os.X_OK)) for n, p in TAR_EXTRAS]
            write_tar_gz(os.path.join(args.out, top + ".tar.gz"), top, entries, epoch)
            written.append(top + ".tar.gz")

        if "check" in kinds:
            for name in WINDOWS_TOOLS:
                staged = stage_program(args, scratch, name, epoch)
                shutil.copyfile(staged, os.path.join(args.out, name))
                written.append(name)

        if "kit" in kinds:
            top = f"tavorin_shim-{version}-developer-kit"
            entries = [(n, read(stage_program(args, scratch, n, epoch)), True)
                       for n in KIT_PROGRAMS]
            entries.append(("README.txt", windows_text(KIT_README), False))
            write_zip(os.path.join(args.out, top + ".zip"), top, entries, epoch)
            written.append(top + ".zip")

    write_sums(args.out, written)
    for name in written + ["SHA256SUMS"]:
        say(os.path.join(args.out, name))
    # Last, where whoever ran it looks: what the Windows packages allow.
    if {"msi", "zip"} & set(kinds):
        say(allowed_summary(ids))
        if is_test_build(ids):
            say("TEST BUILD: the Windows packages allow the test extensions, which anyone "
                "can load in developer mode; do not deploy them (set EXTENSION_IDS)")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Refusal as refusal:
        print(f"dist: {refusal}", file=sys.stderr)
        sys.exit(2)
