#!/usr/bin/env python3
"""Fails when the quick loop (`make check`) or the sanitizer run would leave
out a unit test: both pick tests by label, and a GoogleTest test that lacks
its label, or a label filter that stops matching, would silently drop it."""
import json
import pathlib
import subprocess
import sys

SOURCE = pathlib.Path(__file__).resolve().parents[2]


def listed(*arguments):
    shown = subprocess.run(
        ["ctest", *arguments, "--show-only=json-v1"], cwd=SOURCE,
        check=True, capture_output=True, text=True).stdout
    return json.loads(shown)["tests"]


def preset_label_filter(name):
    presets = json.loads((SOURCE / "CMakePresets.json").read_text())
    preset = next(p for p in presets["testPresets"] if p["name"] == name)
    return preset["filter"]["include"]["label"]


def main(build):
    unit = {test["name"] for test in listed("--test-dir", build)
            if any("--gtest_filter" in part for part in test["command"])}
    if not unit:
        sys.exit("no GoogleTest test found in " + build)
    runs = {
        "make check": listed("--preset", "check"),
        # The sanitizer build is not made by `make check`: its preset's
        # filter is applied to this build's tests.
        "make sanitize": listed("--test-dir", build, "-L",
                                preset_label_filter("sanitize")),
    }
    missing = {run: sorted(unit - {test["name"] for test in tests})
               for run, tests in runs.items()}
    for run, names in missing.items():
        for name in names:
            print(f"{run} leaves out {name}")
    if any(missing.values()):
        sys.exit(1)
    print(f"{len(unit)} unit tests, all in " + " and ".join(runs))


if __name__ == "__main__":
    main(sys.argv[1])
