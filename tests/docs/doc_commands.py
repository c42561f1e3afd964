#!/usr/bin/env python3
"""Runs every shell command the README and docs/ show, so that no page can
tell a reader to type what does not work.

    python3 doc_commands.py SOURCE BUILD [PAGE...]

PAGE (README.md, docs/python.md, ...) runs those pages alone.

Each page's ```sh blocks run in order, as one reader would type them, in a
folder of the page's own with HOME there too. The folder holds what such a
reader has at hand: `build/` (this build), the tree's `scripts/`, `bench/`
and `examples/`, an installed copy of this build on PATH and in
PKG_CONFIG_PATH, and controllers of their own (`libmine.so`,
`libtheirs.so`, `libmy_brainlet.so`, `my_brainlet.cpp`, `my_brainlet.c`).

Variables and `cd` carry from block to block, except that a block whose
first command names the tree's folders (`build/`, `scripts/`, ...) starts
at the top of the tree. A line whose comment says it needs a display (or
opens a window), a network or root is left to the reader and listed.
Sizes are cut so that the suite stays short, and said: game counts above
100 run 100 games (a match's, and the ladder's, 20 seeds), training
seconds run 2 seconds, benchmarks run each case once. A line that fails
fails the test with its page, its line and its output."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

LEFT_TO_THE_READER = re.compile(r"#.*\b(needs (a display|a network|root)|opens a window)\b")
FENCE = re.compile(r"^```(\w*)\s*$")
GAME_CAP = 100
BLOCK_START = None  # marks where a block of commands begins
TREE_PATH = re.compile(r"(^|[\s=])(build|bench|scripts|examples)/")
MATCH_CAP = 20  # seeds: each plays once per seating, one game at a time


def shell_lines(path):
    """The page's shell commands, continuations joined, with their lines."""
    with open(path, encoding="utf-8") as page:
        lines = page.read().split("\n")
    commands, block, pending, first = [], None, "", 0
    for number, line in enumerate(lines, 1):
        fence = FENCE.match(line)
        if fence:
            block = fence.group(1) if block is None else None
            if block in ("sh", "bash"):
                commands.append((number, BLOCK_START))
            continue
        if block not in ("sh", "bash"):
            continue
        if not pending:
            first = number
        if line.rstrip().endswith("\\"):
            pending += line.rstrip()[:-1] + " "
            continue
        pending += line
        if pending.strip():
            commands.append((first, pending.strip()))
        pending = ""
    return commands


def cut_to_size(command):
    """The same command, small enough for a test."""
    cap = MATCH_CAP if re.search(r"\bmatch\b", command) else GAME_CAP
    command = re.sub(r"--games (\d+)", lambda m: "--games %d" % min(int(m.group(1)), cap), command)
    command = re.sub(r"--seconds \d+", "--seconds 2", command)
    if re.search(r"\bbench/bench_\w+", command) and "bench_python" not in command:
        command = re.sub(r"(\s#.*)?$", " --benchmark_min_time=0.001 --benchmark_repetitions=1", command, count=1)
    return command


def missing_tool(command):
    """A tool an optional feature needs that this machine lacks, or None."""
    if "--export-video" in command and shutil.which("ffmpeg") is None:
        return "ffmpeg (apt-get install ffmpeg)"
    if command.startswith("(cd build && cpack") and shutil.which("dpkg-deb") is None:
        return "dpkg-deb"
    return None


def reader_folder(source, build, folder):
    """What a reader of the pages has at hand, in `folder`."""
    os.symlink(build, os.path.join(folder, "build"))
    for name in ("scripts", "bench", "examples"):
        os.symlink(os.path.join(source, name), os.path.join(folder, name))
    binaries = os.path.join(build, "bin")
    own = {"libmine.so": "libgreedy_brainlet.so", "libtheirs.so": "libnearest_meal.so",
           "libmy_brainlet.so": "libgreedy_brainlet.so"}
    for name, built in own.items():
        shutil.copy(os.path.join(binaries, built), os.path.join(folder, name))
    shutil.copy(os.path.join(source, "examples/greedy/greedy_brainlet.cpp"),
                os.path.join(folder, "my_brainlet.cpp"))
    shutil.copy(os.path.join(source, "examples/c/nearest_meal.c"), os.path.join(folder, "my_brainlet.c"))


def install(build, prefix):
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)


def environment(build, folder, prefix):
    env = dict(os.environ)
    env["HOME"] = folder
    # `python3` is the interpreter the module was built for, whatever else
    # comes first on this machine's PATH.
    interpreter = os.path.join(folder, ".python")
    os.makedirs(interpreter, exist_ok=True)
    os.symlink(sys.executable, os.path.join(interpreter, "python3"))
    env["PATH"] = os.pathsep.join([interpreter, os.path.join(prefix, "bin"), env.get("PATH", "")])
    env["PKG_CONFIG_PATH"] = os.path.join(prefix, "lib", "pkgconfig") + os.pathsep + os.path.join(
        prefix, "share", "pkgconfig")
    env["PELLORIA_BUILD_DIR"] = build
    env["READER_TREE"] = folder
    env["GAMES"] = str(MATCH_CAP)  # examples/ladder.sh's seeds
    # No display: a line that opens a window and is not marked fails at
    # once ("no display") instead of waiting for someone to close it.
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    return env


def page_script(page, commands):
    """The page as one script, as one reader types it (variables and `cd`
    carry from line to line), each command announced on stderr so that a
    failure names its line; and the lines it leaves to the reader."""
    script, left, block_start = [], [], False
    for line, command in commands:
        if command is BLOCK_START:
            block_start = True
            continue
        # A block whose first command names the tree's folders is typed at
        # the top of the tree, wherever an earlier block went.
        if block_start and TREE_PATH.search(command):
            script.append('cd "$READER_TREE"')
        block_start = False
        tool = missing_tool(command)
        if LEFT_TO_THE_READER.search(command):
            left.append("%s:%d %s" % (page, line, command))
        elif tool:
            left.append("%s:%d needs %s: %s" % (page, line, tool, command))
        elif command.startswith("scripts/test.sh") or "--preset tsan" in command:
            left.append("%s:%d a build of its own, and a whole suite: %s" % (page, line, command))
        else:
            script.append("echo '@@ %s:%d' >&2" % (page, line))
            script.append(cut_to_size(command))
    # `cd build` goes to the build itself, not through the link to it:
    # cpack, run there, writes its paths into the build's cache.
    return "set -o physical\n" + "\n".join(script), left


def run_page(source, build, page, prefix):
    """Runs one page's commands; returns (ran, left, failures)."""
    commands = shell_lines(os.path.join(source, page))
    script, left = page_script(page, commands)
    ran = script.count("\necho '@@")
    if not ran:
        return 0, left, []
    with tempfile.TemporaryDirectory(prefix="pelloria-docs-") as folder:
        reader_folder(source, build, folder)
        done = subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=folder,
                              env=environment(build, folder, prefix), capture_output=True,
                              text=True, timeout=1800)
    if done.returncode == 0:
        return ran, left, []
    where = re.findall(r"^@@ (.*)$", done.stderr, re.M)
    return ran, left, ["%s exit %d\n%s%s" % (where[-1] if where else page, done.returncode,
                                              done.stdout[-2000:], done.stderr[-3000:])]


def main():
    source, build = (os.path.realpath(p) for p in sys.argv[1:3])
    pages = sys.argv[3:] or ["README.md"] + sorted(
        "docs/" + p for p in os.listdir(os.path.join(source, "docs")) if p.endswith(".md"))
    with tempfile.TemporaryDirectory(prefix="pelloria-docs-prefix-") as prefix:
        install(build, prefix)
        total, left, failures = 0, [], []
        for page in pages:
            ran, page_left, page_failures = run_page(source, build, page, prefix)
            total += ran
            left += page_left
            failures += page_failures
    for line in left:
        print("left to the reader: " + line)
    for failure in failures:
        print("FAILED " + failure)
    print("%d commands ran, %d left to the reader, %d failed" % (total, len(left), len(failures)))
    return 1 if failures or total == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
