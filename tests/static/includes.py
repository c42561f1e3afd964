#!/usr/bin/env python3
"""Checks how the tree's files include each other: every include of ours
names its folder from the top of the tree, no file reaches itself through
its includes, and the top-level folders depend on each other one way.

    python3 includes.py SOURCE

Controllers (brainlet/brainlet.cpp aside, examples/ and tests/controllers/)
include "brainlet.h" as a plug-in outside the tree does; generated files
(*.moc) are the build's."""
import os
import re
import subprocess
import sys

PLUGIN_FOLDERS = ("examples/", "tests/controllers/")
# Tests and benchmarks use everything; nothing uses them.
LEAVES = {"tests", "bench"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root):
    listed = subprocess.run(["git", "-C", root, "ls-files", "*.cpp", "*.h", "*.h.in"],
                            capture_output=True, text=True, check=True).stdout.split()
    return [f for f in listed if os.path.exists(os.path.join(root, f))]


def includes_of(root, path):
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
        return [name for name in INCLUDE.findall(text.read()) if not name.endswith(".moc")]


def unqualified(root, files):
    found = []
    for f in files:
        if f.startswith(PLUGIN_FOLDERS):
            continue
        for name in includes_of(root, f):
            if "/" not in name:
                found.append(f"{f}: #include \"{name}\" names no folder")
    return found


def cycle_from(graph, start):
    """A path from `start` back to itself, or None."""
    stack, seen = [(start, [start])], set()
    while stack:
        node, path = stack.pop()
        for nxt in graph.get(node, ()):
            if nxt == start:
                return path + [start]
            if nxt not in seen:
                seen.add(nxt)
                stack.append((nxt, path + [nxt]))
    return None


def graphs(root, files):
    by_file, by_folder = {}, {}
    for f in files:
        if f.startswith(PLUGIN_FOLDERS):
            continue
        targets = [n for n in includes_of(root, f) if n in files or n + ".in" in files]
        by_file[f] = targets
        here = f.split("/")[0]
        for t in targets:
            there = t.split("/")[0]
            if here != there and here not in LEAVES:
                by_folder.setdefault(here, set()).add(there)
    return by_file, by_folder


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    files = sources(root)
    problems = unqualified(root, files)
    by_file, by_folder = graphs(root, set(files))
    for f in sorted(by_file):
        loop = cycle_from(by_file, f)
        if loop:
            problems.append("a file includes itself: " + " -> ".join(loop))
            break
    for folder in sorted(by_folder):
        loop = cycle_from(by_folder, folder)
        if loop:
            problems.append("folders depend on each other: " + " -> ".join(loop))
            break
    for line in problems:
        print(line)
    if problems:
        return 1
    print(f"includes: {len(by_file)} files, each include named by folder, no cycles")
    return 0


if __name__ == "__main__":
    sys.exit(main())
