"""The hosted Windows workflow (.github/workflows/windows.yml), which cannot
run here: valid YAML, programs built on Linux the way `make build` builds
them, handed to a Windows job that runs tavorin_windows_check.exe --json and
keeps its output, and only actions that exist, at a released major
version."""
import os
import re
import unittest

try:
    import yaml
except ImportError:  # Debian's python3-yaml
    yaml = None

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORKFLOW = os.path.join(ROOT, ".github", "workflows", "windows.yml")
# The actions it may use, at the major versions they have released.
KNOWN_ACTIONS = {"actions/checkout": 4, "actions/upload-artifact": 4,
                 "actions/download-artifact": 4, "actions/setup-python": 5}


@unittest.skipUnless(yaml, "python3-yaml is missing")
class HostedWindowsWorkflow(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        with open(WORKFLOW, encoding="utf-8") as f:
            cls.workflow = yaml.safe_load(f)
        cls.jobs = cls.workflow["jobs"]

    def runs(self, job):
        return "\n".join(step.get("run", "") for step in self.jobs[job]["steps"])

    def test_builds_on_debian_as_make_build_and_checks_on_windows(self):
        self.assertEqual(self.jobs["build"]["container"], "debian:12")
        self.assertIn("make build", self.runs("build"))
        self.assertEqual(self.jobs["check"]["runs-on"], "windows-latest")
        self.assertEqual(self.jobs["check"]["needs"], "build")
        self.assertRegex(self.runs("check"),
                         r"tavorin_windows_check\.exe --json --msi .* > windows-check\.json")
        kept = [s for s in self.jobs["check"]["steps"]
                if s.get("uses", "").startswith("actions/upload-artifact")]
        self.assertEqual(kept[0]["with"]["path"], "windows-check.json")
        self.assertEqual(kept[0]["if"], "always()")

    def test_names_only_real_actions(self):
        for job in self.jobs.values():
            for step in job["steps"]:
                if "uses" not in step:
                    continue
                name, _, version = step["uses"].partition("@")
                self.assertIn(name, KNOWN_ACTIONS)
                self.assertEqual(version, f"v{KNOWN_ACTIONS[name]}", step["uses"])

    def test_the_artifact_holds_what_the_windows_job_runs(self):
        handed = self.jobs["build"]["steps"][-1]["with"]["path"].split()
        for used in re.findall(r"programs[\\/]([\w./\\-]+)", self.runs("check")):
            path = used.replace("\\", "/")
            self.assertTrue(any(path.startswith(h.rstrip("/")) for h in handed), path)


if __name__ == "__main__":
    unittest.main()
