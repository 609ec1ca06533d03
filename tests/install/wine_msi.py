"""The MSI under Wine: a fresh prefix of its own, the package installed the
way an administrator does it (msiexec /i PACKAGE /qn), and the installed host
found the way Chrome finds it (tests/install/launcher.py starts it).

    from wine_msi import WinePrefix, build_msi

    msi = build_msi(folder)                    # scripts/dist.py --only msi
    old = build_desktop_app_named_msi(folder, "0.4.5")  # as packaged before
    with WinePrefix() as wine:                 # fresh prefix; removed after
        wine.msiexec("/i", msi)                # CompletedProcess
        exe, manifest = wine.registered_host() # as Chrome resolves it

Programs run with WINEDEBUG=-all; TEMP and TMP inside the prefix are
%TAVORIN_TEST_TMP% (see scripts/wine_prefix.sh): set it in the environment of
a program to give it a temporary directory of the caller's choosing.
"""
import ntpath
import os
import shutil
import subprocess
import sys
import tempfile

from launcher import ROOT, WINDOWS_KEYS, WINE, host_key, windows_path

UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
PRODUCT = "Tavorin browser host"
# The last commit whose package took the desktop app's name, folder and
# remembered key ("Tavorin Desktop App", C:\Program Files\Tavorin\): what
# machines upgrading to this package have installed.
DESKTOP_APP_NAMED_COMMIT = "33be7e0319f0a031193783390875de0da5b0adcb"


def build_msi(out, version=None, extension_ids=None, windows_build=None):
    """Builds the MSI into the folder out with scripts/dist.py and returns
    its path. version: another version than the built one (upgrades)."""
    command = [sys.executable, os.path.join(ROOT, "scripts", "dist.py"),
               "--only", "msi", "--out", out]
    if version:
        command += ["--version", version]
    if extension_ids:
        command += ["--extension-ids", " ".join(extension_ids)]
    if windows_build:
        command += ["--windows-build", windows_build]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, SIGN_PKCS12="", SIGN_PASSWORD_FILE=""))
    (name,) = [n for n in os.listdir(out) if n.endswith(".msi")]
    return os.path.join(out, name)


def build_desktop_app_named_msi(out, version):
    """The MSI as that commit's scripts/dist.py and .wxs build it, around
    today's programs in build/windows; None when this checkout lacks the
    commit (a shallow clone)."""
    tree = os.path.join(out, "tree")
    os.makedirs(tree)
    archive = subprocess.run(
        ["git", "-C", ROOT, "archive", DESKTOP_APP_NAMED_COMMIT, "scripts/dist.py",
         "packaging", "install/com.tavorin.desktop.json.in"], capture_output=True)
    if archive.returncode != 0:
        return None
    subprocess.run(["tar", "-x", "-C", tree], input=archive.stdout, check=True)
    subprocess.run([sys.executable, os.path.join(tree, "scripts", "dist.py"), "--only", "msi",
                    "--out", out, "--version", version,
                    "--windows-build", os.path.join(ROOT, "build", "windows")],
                   check=True, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, SIGN_PKCS12="", SIGN_PASSWORD_FILE="",
                            EXTENSION_IDS="", SOURCE_DATE_EPOCH="1700000000"))
    (name,) = [n for n in os.listdir(out) if n.endswith(".msi")]
    return os.path.join(out, name)


def key_in_export(key):
    """A key as a .reg file heads it: the hive written out in full."""
    hive, _, rest = key.partition("\\")
    full = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}.get(hive, hive)
    return full + "\\" + rest


class WinePrefix:
    """A Wine prefix made for one test class and removed after it; with an X
    display, its programs' consoles get windows (hidden or not)."""

    def __init__(self, display=None):
        self.prefix = None
        self.env = None
        self.display = display

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *_):
        self.stop()

    def start(self):
        self.prefix = tempfile.mkdtemp(prefix="tavorin-msi-prefix-")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.env.setdefault("TAVORIN_TEST_TMP", "C:\\windows\\temp")
        if self.display:
            self.env["DISPLAY"] = self.display
        subprocess.run(["sh", os.path.join(ROOT, "scripts", "wine_prefix.sh"),
                        "start", self.prefix], check=True, env=self.env, timeout=300)

    def stop(self):
        if self.prefix:
            subprocess.run(["sh", os.path.join(ROOT, "scripts", "wine_prefix.sh"),
                            "stop", self.prefix], env=self.env, timeout=60)
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix = None

    def run(self, *args, timeout=120):
        return subprocess.run([WINE, *args], capture_output=True, text=True,
                              env=self.env, timeout=timeout,
                              stdin=subprocess.DEVNULL)

    def msiexec(self, action, package, *properties, log=None):
        """msiexec ACTION PACKAGE /qn [PROPERTY=VALUE ...]: action /i or /x;
        package a Unix path or a product code. log: a Unix path for /l*v."""
        if os.path.exists(package):
            package = windows_path(package)
        extra = ["/l*v", windows_path(log)] if log else []
        return self.run("msiexec", action, package, "/qn", *properties, *extra)

    def unix_path(self, path):
        """The Unix path of a C:\\ path inside the prefix."""
        drive, rest = ntpath.splitdrive(path)
        if drive.upper() == "Z:":
            return rest.replace("\\", "/")
        assert drive.upper() == "C:", path
        return os.path.join(self.prefix, "drive_c", *rest.strip("\\").split("\\"))

    def reg_values(self, key, view=64):
        """The string values of one key in the given registry view: {name:
        data}, the default value under ""; None when the key is missing.
        Read through an exported .reg file (UTF-16), which keeps every
        character; reg query prints in the console's code page."""
        exported = os.path.join(self.prefix, "drive_c", "values.reg")
        done = self.run("reg", "export", key, "C:\\values.reg", "/y", f"/reg:{view}")
        if done.returncode != 0:
            return None
        with open(exported, encoding="utf-16") as f:
            lines = f.read().splitlines()
        os.remove(exported)
        values = {}
        for line in lines:
            if line.startswith("[") and line[1:-1] != key_in_export(key):
                break  # a subkey follows: only this key's own values
            name, sep, data = line.partition("=")
            if sep and data.startswith('"'):
                name = "" if name == "@" else name.strip('"')
                values[name] = data[1:-1].replace("\\\\", "\\").replace('\\"', '"')
        return values

    def host_keys(self, view=64):
        """{browser: the default value of its key for the host, or None}."""
        out = {}
        for browser in WINDOWS_KEYS:
            values = self.reg_values(host_key(browser, "HKLM"), view)
            out[browser] = None if values is None else values.get("")
        return out

    def uninstall_entries(self, display_name=PRODUCT):
        """{product code: values} of the Programs and Features entries with
        that name."""
        done = self.run("reg", "query", UNINSTALL, "/s", "/reg:64")
        entries, current = {}, None
        for line in done.stdout.splitlines():
            if line.startswith("HKEY_"):
                current = {}
                entries[line.rsplit("\\", 1)[1]] = current
            elif line.startswith("    ") and current is not None:
                parts = line.strip().split("    ")
                current[parts[0]] = parts[2] if len(parts) > 2 else ""
        return {code: values for code, values in entries.items()
                if values.get("DisplayName") == display_name}
