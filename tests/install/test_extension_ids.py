"""Every script that sorts extension IDs, held to the one table of ID cases
(tests/data/extension_ids.tsv) that the doctor's unit test reads too:
install-linux.sh, dist.py and, under Wine, install-windows.cmd. A
disagreement names the script and the ID.

Settings from the environment (CTest sets them):
  TAVORIN_SHIM   the Linux host
  WINEPREFIX     a prefix prepared by scripts/wine_prefix.sh start (for
                 the Windows script; without it that test is skipped)
"""
import json
import os
import re
import runpy
import shutil
import subprocess
import unittest

from launcher import FIREFOX_FOLDER, HOST_NAME, LINUX_FOLDERS, ROOT, WINE, scratch_folder
from launcher import wine_environment

TABLE = os.path.join(ROOT, "tests", "data", "extension_ids.tsv")
LINUX = os.path.join(ROOT, "install", "install-linux.sh")
WINDOWS = os.path.join(ROOT, "install", "install-windows.cmd")
SHIM = os.path.abspath(os.environ.get("TAVORIN_SHIM", "build/native/tavorin_shim"))


def table():
    """(ID, kind, why) for each case, the ID's escapes undone."""
    escapes = {"t": b"\t", "n": b"\n", "\\": b"\\"}
    cases = []
    with open(TABLE, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("#"):
                continue
            written, kind, why = line.split("\t")
            raw = re.sub(rb"\\(x[0-9a-fA-F]{2}|.)",
                         lambda m: (bytes([int(m.group(1)[1:], 16)]) if len(m.group(1)) == 3
                                    else escapes[m.group(1).decode()]),
                         written.encode())
            cases.append((raw.decode("utf-8"), kind, why))
    return cases


def disagreements(sorter, sort):
    """Each case `sort` takes otherwise than the table, as a line."""
    lines = []
    for id_, kind, why in table():
        got = sort(id_)
        if got != kind:
            lines.append(f"{sorter} takes {id_!r} as {got}, the table as {kind} ({why})")
    return lines


class ScriptsSortAsTheTable(unittest.TestCase):

    def test_install_linux(self):
        def sort(id_):
            folder = scratch_folder(self, "tavorin-ids-")
            done = subprocess.run(["sh", LINUX, "--extension", id_, "--path", SHIM],
                                  capture_output=True, text=True,
                                  env=dict(os.environ, HOME=folder))
            if done.returncode != 0:
                refused = ("not an extension ID" in done.stderr or
                           (id_ == "" and "at least one --extension" in done.stderr))
                return "refused" if refused else done.stderr
            kinds = []
            chrome = os.path.join(folder, LINUX_FOLDERS["chrome"], HOST_NAME + ".json")
            firefox = os.path.join(folder, FIREFOX_FOLDER, HOST_NAME + ".json")
            if os.path.exists(chrome):
                with open(chrome) as f:
                    if json.load(f)["allowed_origins"] == [f"chrome-extension://{id_}/"]:
                        kinds.append("chrome")
            if os.path.exists(firefox):
                with open(firefox) as f:
                    if json.load(f)["allowed_extensions"] == [id_]:
                        kinds.append("firefox")
            return " and ".join(kinds) or "accepted but written otherwise"

        self.assertEqual(disagreements("install-linux.sh", sort), [])

    def test_dist(self):
        id_family = runpy.run_path(os.path.join(ROOT, "scripts", "dist.py"))["id_family"]
        kinds = {"chromium": "chrome", "firefox": "firefox", None: "refused"}
        self.assertEqual(disagreements("dist.py", lambda id_: kinds[id_family(id_)]), [])


@unittest.skipUnless(os.environ.get("WINEPREFIX"), "the Wine prefix is missing")
class WindowsScriptSortsAsTheTable(unittest.TestCase):

    def test_install_windows(self):
        """One cmd.exe for every case (Wine starts slowly). Each case runs
        the script with /browser firefox and a relative /path, which it
        refuses before changing anything, at the first of three checks: a
        refused ID names itself, a Chrome-family ID fails /browser firefox,
        and a Firefox ID passes that and fails at the path. An ID cmd.exe
        cannot be given as one argument (empty, or with a line break) is
        left out."""
        folder = scratch_folder(self, "tavorin-ids-")
        shutil.copy(WINDOWS, folder)
        env = wine_environment(folder)
        cases = [(id_, kind, why) for id_, kind, why in table()
                 if id_ and "\n" not in id_]
        lines = ["@echo off"]
        for n, (id_, _, _) in enumerate(cases):
            env[f"TAVORIN_ID_{n}"] = id_
            lines.append(f'call install-windows.cmd /browser firefox /path relative '
                         f'"%TAVORIN_ID_{n}%" > {n}.out 2>&1')
        with open(os.path.join(folder, "sort.cmd"), "w") as f:
            f.write("\r\n".join(lines) + "\r\n")
        subprocess.run([WINE, "cmd", "/c", "sort.cmd"], cwd=folder, capture_output=True,
                       env=env, timeout=300)
        verdicts = {"not an extension ID": "refused",
                    "/browser firefox needs a Firefox extension ID": "chrome",
                    "/path must be a full path": "firefox"}
        wrong = []
        for n, (id_, kind, why) in enumerate(cases):
            with open(os.path.join(folder, f"{n}.out"), "rb") as f:
                said = f.read().decode("utf-8", "replace")
            got = [verdict for text, verdict in verdicts.items() if text in said] or [said]
            if got != [kind]:
                wrong.append(f"install-windows.cmd takes {id_!r} as {got[0]}, "
                             f"the table as {kind} ({why})")
        self.assertEqual(wrong, [])


if __name__ == "__main__":
    unittest.main()
