#!/usr/bin/env python3
"""Checks that includes between the rooms of src/ run down.

A room is a folder under src/ together with its ui/ part. ROOMS lists them from top to bottom;
a file may include from its own room and from rooms below it. Also fails on a room missing from
the list, and on an include of a ui/ folder from the command-line tool.
"""
import os
import re
import sys

ROOMS = [
    "app", "cli", "monitor", "files", "leq", "logger", "realtime", "report", "live", "graph",
    "assessment", "workspace", "session", "formats", "levels", "dataset", "platform", "simulator", "link",
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(src):
    rank = {room: i for i, room in enumerate(ROOMS)}
    problems = []
    present = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    for room in present:
        if room not in rank:
            problems.append(f"src/{room}/ is not in the list of rooms")
    for folder, _, names in os.walk(src):
        for name in names:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, src)
            room = rel.split(os.sep)[0]
            if room not in rank:
                continue
            with open(path, encoding="utf-8") as f:
                text = f.read()
            for target in INCLUDE.findall(text):
                if "/" not in target or not os.path.exists(os.path.join(src, target)):
                    continue
                to = target.split("/")[0]
                if to not in rank or to == room:
                    continue
                if rank[to] < rank[room]:
                    problems.append(f"src/{rel} includes {target}: {to} is above {room}")
                if room == "cli" and "/ui/" in target:
                    problems.append(f"src/{rel} includes the window code {target}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "src")))
