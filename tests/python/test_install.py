"""Pelloria installed into a prefix of its own: the module imports from there
with nothing but PYTHONPATH, the installed arena and window play a Python
controller, and docs/python.md's commands run as written against it."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

BIN = Path(os.environ["PELLORIA_BIN"])
SOURCE = Path(os.environ["PELLORIA_SOURCE"])
# The programs are built into build/bin (CMAKE_BINARY_DIR/bin).
BUILD = Path(os.environ.get("PELLORIA_BUILD", BIN.parent))


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    if shutil.which("cmake") is None:
        pytest.skip("cmake is not installed (apt-get install cmake)")
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True, capture_output=True)
    return prefix


def installed(prefix):
    """An environment that knows nothing of the build: only the installed module's folder."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("PELLORIA_") and k != "PYTHONPATH"}
    env["PYTHONPATH"] = str(prefix / "lib/python3/dist-packages")
    env["PATH"] = str(Path(sys.executable).parent) + os.pathsep + env.get("PATH", "")
    return env


def program_dir(prefix):
    return Path(os.path.realpath(prefix / "bin/pelloria-arena")).parent


def test_the_installed_module_imports_with_only_pythonpath(prefix, tmp_path):
    probe = ("import pelloria\n"
             "g = pelloria.Game()\n"
             "obs, info = g.reset(seed=3)\n"
             "print(pelloria.__file__, info['seed'], g.observation_space.contains(obs))\n")
    run = subprocess.run([sys.executable, "-c", probe], env=installed(prefix), cwd=tmp_path,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    where, seed, contained = run.stdout.split()
    assert Path(where).parent == prefix / "lib/python3/dist-packages" and seed == "3" and contained == "True"


def test_the_installed_arena_plays_a_python_controller(prefix, tmp_path):
    lib = program_dir(prefix)
    assert (lib / "libpybrainlet.so").is_file() and (lib / "libbrainlet.so").is_file()
    controller = tmp_path / "brake.py"
    controller.write_text("import numpy\n"
                          "def controller(obs):\n"
                          "    print('radius', int(obs['radius'][0]))\n"
                          "    return 0\n")
    env = dict(installed(prefix), PELLORIA_PY_CONTROLLER=str(controller))
    run = subprocess.run([prefix / "bin/pelloria-arena", "--games", "2", "--controller", lib / "libpybrainlet.so",
                          "--log-dir", tmp_path / "logs"], env=env, capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    assert "games played          2 of 2" in run.stdout and "failed games          0" in run.stdout
    assert "seed 2 step 1 stdout: radius 20" in (tmp_path / "logs/1-libpybrainlet.log").read_text()


def test_the_handbook_pages_and_examples_are_installed(prefix):
    doc = prefix / "share/doc/pelloria"
    for page in ("controllers.md", "python.md"):
        assert (doc / page).read_text() == (SOURCE / "docs" / page).read_text()
    for example in ("python/train.py", "python/controller.py", "c/nearest_meal.c", "controller-template/CMakeLists.txt"):
        assert (doc / "examples" / example).read_bytes() == (SOURCE / "examples" / example).read_bytes()
    assert not (doc / "examples/CMakeLists.txt").exists()


def page_blocks(language, section=None):
    """The code blocks of docs/python.md in `language`, of one section or all."""
    text = (SOURCE / "docs/python.md").read_text()
    if section:
        text = text.split(f"## {section}\n", 1)[1].split("\n## ", 1)[0]
    return re.findall(rf"```{language}\n(.*?)```", text, re.S)


# Shorter than a user's run, nothing else changed.
SHORTER = {"--seconds 60": "--seconds 1", "--games 1000": "--games 3", "--seed 3": "--seed 3 --max-steps 30"}


def test_the_python_pages_commands_train_evaluate_and_watch(prefix, tmp_path):
    lines = "".join(page_blocks("sh", "Train, evaluate, watch")).splitlines()
    script = []
    for line, after in zip(lines, lines[1:] + [""]):
        if line.endswith("# opens a window"):  # the same game, written as frames, comes next
            assert after == line.removesuffix("  # opens a window") + " --export-frames frames"
            continue
        line = line.replace("PREFIX=~/.local", f"PREFIX={prefix}")
        for long, short in SHORTER.items():
            line = line.replace(long, short)
        script.append(line)
    assert len(script) == 6
    run = subprocess.run(["bash", "-euo", "pipefail", "-c", "\n".join(script)], env=installed(prefix),
                         cwd=tmp_path, capture_output=True, text=True, timeout=500)
    assert run.returncode == 0, run.stdout + run.stderr
    work = tmp_path / "my-controller"
    assert np.load(work / "weights.npy").shape == (2, 11)
    assert run.stdout.count("games played          3 of 3") == 2 and "libpybrainlet.so" in run.stdout
    assert len(list((work / "frames").glob("frame-*.png"))) == 31


def test_the_python_pages_example_runs_against_the_installation(prefix, tmp_path):
    for block in page_blocks("python"):
        run = subprocess.run([sys.executable, "-c", block], env=installed(prefix), cwd=tmp_path,
                             capture_output=True, text=True)
        assert run.returncode == 0, run.stderr
