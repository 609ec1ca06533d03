"""The sources stand in floors: a folder of src/ includes only itself and the
folders below it, nothing above the platform includes a system header, and
src/ never includes tools/. Prints every breach and fails on any."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Each folder and the folders it may include, besides itself.
ALLOWED = {
    "text": set(),
    "platform": {"text"},
    "log": {"platform", "text"},
    "app_link": {"log", "platform", "text"},
    "relay": {"log", "platform", "text"},
    "host": {"app_link", "relay", "log", "platform", "text"},
}
SYSTEM_HEADERS = re.compile(
    r"#\s*include\s*<(windows\.h|winsock2\.h|ws2tcpip\.h|unistd\.h|fcntl\.h|"
    r"sys/[a-z_]+\.h|arpa/inet\.h|netinet/[a-z_]+\.h|linux/[a-z_]+\.h)>")
PROJECT_INCLUDE = re.compile(r'#\s*include\s*"([^"/]+)/')


def breaches():
    found = []
    source = os.path.join(ROOT, "src")
    for folder, _, names in os.walk(source):
        for name in names:
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, source)
            floor = relative.split(os.sep)[0]
            with open(path, encoding="utf-8") as f:
                text = f.read()
            for target in PROJECT_INCLUDE.findall(text):
                if target != floor and target not in ALLOWED.get(floor, set()):
                    found.append(f"src/{relative} includes {target}/")
            if floor != "platform" and SYSTEM_HEADERS.search(text):
                found.append(f"src/{relative} includes a system header")
    return found


if __name__ == "__main__":
    problems = breaches()
    for problem in problems:
        print(problem)
    print(f"{len(problems)} breaches of the floors")
    sys.exit(1 if problems else 0)
