"""The MSI under Wine: a fresh prefix of its own, the package installed the
way an administrator does it (msiexec /i PACKAGE /qn), and the installed host
found and started the way Chrome finds and starts it.

    from wine_msi import WinePrefix, build_msi

    msi = build_msi(folder)                    # scripts/dist.py --only msi
    with WinePrefix() as wine:                 # fresh prefix; removed after
        wine.msiexec("/i", msi)                # CompletedProcess
        exe, manifest = wine.registered_host() # as Chrome resolves it
        host = wine.start_like_chrome("chrome-extension://<id>/",
                                      stdin=PIPE, stdout=PIPE, stderr=PIPE)

Programs run with WINEDEBUG=-all; TEMP and TMP inside the prefix are
%TAVORIN_TEST_TMP% (see scripts/wine_prefix.sh), so pass env={"TAVORIN_TEST_TMP":
"Z:\\some\\unix\\folder"} to start_like_chrome to give the host a
temporary directory of the caller's choosing.
"""
import json
import ntpath
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
HOST_NAME = "com.tavorin.desktop"
BROWSER_KEYS = {
    "chrome": r"HKLM\SOFTWARE\Google\Chrome\NativeMessagingHosts",
    "chromium": r"HKLM\SOFTWARE\Chromium\NativeMessagingHosts",
    "edge": r"HKLM\SOFTWARE\Microsoft\Edge\NativeMessagingHosts",
    "brave": r"HKLM\SOFTWARE\BraveSoftware\Brave-Browser\NativeMessagingHosts",
}
UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"


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


def windows_path(unix_path):
    """Wine's Z: drive maps the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class WinePrefix:
    """A Wine prefix made for one test class and removed after it."""

    def __init__(self):
        self.prefix = None
        self.env = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *_):
        self.stop()

    def start(self):
        self.prefix = tempfile.mkdtemp(prefix="tavorin-msi-prefix-")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.env.setdefault("TAVORIN_TEST_TMP", "C:\\windows\\temp")
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
        """The values of one key in the given registry view: {name: data},
        the default value under "" ; None when the key is missing."""
        done = self.run("reg", "query", key, f"/reg:{view}")
        if done.returncode != 0:
            return None
        values = {}
        for line in done.stdout.splitlines():
            parts = line.strip().split("    ")
            if line.startswith("    ") and len(parts) >= 2:
                name = "" if parts[0] == "(Default)" else parts[0]
                values[name] = parts[2] if len(parts) > 2 else ""
        return values

    def host_keys(self, view=64):
        """{browser: the default value of its key for the host, or None}."""
        out = {}
        for browser, key in BROWSER_KEYS.items():
            values = self.reg_values(key + "\\" + HOST_NAME, view)
            out[browser] = None if values is None else values.get("")
        return out

    def uninstall_entries(self, display_name="Tavorin Desktop App"):
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

    def registered_host(self, browser="chrome"):
        """(host .exe, manifest) as Chrome on Windows finds them: the key's
        default value names the manifest; a relative "path" in it is taken
        from the manifest's folder. Windows paths; None when unregistered."""
        manifest_path = self.host_keys()[browser]
        if manifest_path is None:
            return None
        with open(self.unix_path(manifest_path), encoding="utf-8") as f:
            manifest = json.load(f)
        exe = manifest["path"]
        if not ntpath.isabs(exe):
            exe = ntpath.join(ntpath.dirname(manifest_path), exe)
        return exe, manifest

    def start_like_chrome(self, origin, browser="chrome", env=None, **popen):
        """Starts the registered host as Chrome does on Windows:
            cmd.exe /d /s /c ""HOST.exe" ORIGIN --parent-window=0"
        with the caller's pipes. Wine would quote that command line anew if
        it came in as arguments, so a batch file gives it to cmd verbatim."""
        exe, _ = self.registered_host(browser)
        line = f'cmd.exe /d /s /c ""{exe}" {origin} --parent-window=0"'
        batch = os.path.join(self.prefix, "drive_c", "start_host.cmd")
        with open(batch, "w", newline="\r\n") as f:
            f.write(f"@echo off\n{line}\nexit /b %errorlevel%\n")
        return subprocess.Popen([WINE, "cmd", "/d", "/c", "C:\\start_host.cmd"],
                                env=dict(self.env, **(env or {})), **popen)
