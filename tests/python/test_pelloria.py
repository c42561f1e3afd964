"""The Python module and the Python brainlet, against the engine's own rules."""
import csv
import ctypes
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

BIN = Path(os.environ["PELLORIA_BIN"])
SOURCE = Path(os.environ["PELLORIA_SOURCE"])
import pelloria  # noqa: E402  (conftest.py puts it on the path)

ARENA = BIN / "pelloria-arena"


def play(game, actions):
    """Plays `actions` in turn; returns every (obs, reward, terminated, truncated, info)."""
    return [game.step(a) for a in actions]


# --- the API's shapes and types ---------------------------------------------

def test_reset_and_step_have_gymnasium_shapes_and_types():
    game = pelloria.Game()
    obs, info = game.reset(seed=7)
    assert set(obs) == {"radius", "x", "y", "vx", "vy"}
    for key, length in (("radius", 15), ("x", 15), ("y", 15), ("vx", 10), ("vy", 10)):
        assert obs[key].shape == (length,) and obs[key].dtype == np.int32
    assert info == {"seed": 7, "step": 0, "agent0_radius": 20, "alive": 10}
    assert (obs["radius"][:10] == 20).all() and (obs["vx"] == 0).all()

    result = game.step(4)
    assert len(result) == 5
    obs, reward, terminated, truncated, info = result
    assert isinstance(reward, float) and isinstance(terminated, bool) and isinstance(truncated, bool)
    assert info["step"] == 1
    assert obs["vx"][0] == 1  # one step of "right" from rest


def test_reward_is_the_radius_change_and_death_costs_more():
    game = pelloria.Game(max_steps=100000)
    obs, _ = game.reset(seed=3)
    total, radius = 0.0, 20
    while True:
        obs, reward, terminated, truncated, info = game.step(8)  # down-right into the corner, always
        total += reward
        if terminated or truncated:
            break
    assert info["outcome"] in ("agent0-dead", "set")
    if info["outcome"] == "agent0-dead":
        assert total == pytest.approx(-radius + pelloria.DEATH_PENALTY)
    assert info["agent0_radius"] == max(0, int(obs["radius"][0]))


def test_step_limit_truncates():
    game = pelloria.Game(max_steps=3)
    game.reset(seed=1)
    steps = play(game, [0, 0, 0])
    assert [s[3] for s in steps] == [False, False, True]
    assert not steps[-1][2]
    assert steps[-1][4]["outcome"] == "step-limit"


# --- same seed, same game ---------------------------------------------------

def test_same_seed_replays_the_same_game():
    rng = np.random.default_rng(5)
    actions = rng.integers(0, 9, size=400)
    one, two = pelloria.Game(), pelloria.Game()
    one.reset(seed=11)
    two.reset(seed=11)
    # Interleaved, so that one game's draws could disturb the other's if
    # they shared a generator.
    for a in actions:
        o1, r1, t1, _, _ = one.step(int(a))
        o2, r2, t2, _, _ = two.step(int(a))
        for key in o1:
            assert (o1[key] == o2[key]).all()
        assert (r1, t1) == (r2, t2)
        if t1:
            break
    other = pelloria.Game()
    assert (other.reset(seed=12)[0]["x"] != one.reset(seed=11)[0]["x"]).any()


# --- equality with the arena's row ------------------------------------------

def arena_rows(controller, first, games, tmp_path):
    out = tmp_path / "rows.csv"
    subprocess.run([ARENA, "--seed", str(first), "--games", str(games), "--controller", controller,
                    "--csv", out, "--log-dir", tmp_path / "logs"], check=True, capture_output=True)
    with open(out) as f:
        return {int(row["seed"]): row for row in csv.DictReader(f)}


def test_c_controllers_actions_give_the_arenas_row(tmp_path):
    greedy_path = BIN / "libgreedy_brainlet.so"
    rows = arena_rows(greedy_path, 21, 6, tmp_path)
    greedy = ctypes.CDLL(str(greedy_path))
    ints = ctypes.POINTER(ctypes.c_int)
    greedy.controller.argtypes = [ints, ctypes.c_size_t, ctypes.c_size_t, ctypes.c_size_t] + [ints] * 5
    for seed in range(21, 27):
        game = pelloria.Game(play_out=True)
        obs, _ = game.reset(seed=seed)
        while True:
            arrays = [np.ascontiguousarray(obs[k], dtype=np.int32) for k in ("radius", "x", "y", "vx", "vy")]
            action = ctypes.c_int(0)
            greedy.controller(ctypes.byref(action), 0, 10, 5, *[a.ctypes.data_as(ints) for a in arrays])
            obs, _, terminated, truncated, info = game.step(action.value)
            if terminated or truncated:
                break
        row = rows[seed]
        assert row["outcome"] == info["outcome"]
        assert int(row["steps"]) == info["step"]
        assert int(row["agent0_radius"]) == info["agent0_radius"]
        assert int(row["agent0_rank"]) == info["agent0_rank"]
        assert int(row["opponents_alive"]) == info["alive"] - (1 if info["agent0_radius"] > 0 else 0)


# --- the vector game ----------------------------------------------------------

def test_vector_game_lays_out_training_seeds_after_the_named_ones():
    vector = pelloria.VectorGame(2, seed=10, max_steps=5)
    obs, info = vector.reset()
    assert list(info["seed"]) == [10, 11]
    assert obs["x"].shape == (2, 15) and obs["vx"].shape == (2, 10)
    for _ in range(4):
        obs, rewards, terminated, truncated, info = vector.step(np.array([4, 3]))
        assert not truncated.any() and list(info["ended_seed"]) == [-1, -1]
        assert "final_obs" not in info
    obs, rewards, terminated, truncated, info = vector.step(np.array([4, 3]))
    assert truncated.all() and not terminated.any() and rewards.dtype == np.float32
    assert list(info["ended_seed"]) == [10, 11]
    new_seeds = [int(s) for s in info["seed"]]
    assert all(s >= pelloria.FIRST_TRAINING_SEED for s in new_seeds) and new_seeds[0] != new_seeds[1]
    # The obs is the new game's first, exactly as a Game gives it.
    fresh, _ = pelloria.Game().reset(seed=new_seeds[1])
    assert (obs["x"][1] == fresh["x"]).all() and (obs["radius"][1] == fresh["radius"]).all()
    # The same named seed, the same training seeds after it.
    again = pelloria.VectorGame(2, seed=10, max_steps=5)
    again.reset()
    for _ in range(5):
        _, _, _, _, info = again.step([4, 3])
    assert [int(s) for s in info["seed"]] == new_seeds


def test_vector_game_plays_what_single_games_play():
    actions = np.random.default_rng(2).integers(0, 9, size=(300, 3))
    vector = pelloria.VectorGame(3, seed=40)
    vector.reset()
    games = [pelloria.Game() for _ in range(3)]
    for i, g in enumerate(games):
        g.reset(seed=40 + i)
    first_run = [True] * 3  # after its end, a slot plays another seed
    compared = 0
    for step in actions:
        vobs, vrew, vterm, _, _ = vector.step(step)
        for i, g in enumerate(games):
            if not first_run[i]:
                continue
            obs, rew, term, _, _ = g.step(int(step[i]))
            assert vterm[i] == term and vrew[i] == rew
            if term:
                first_run[i] = False
                continue
            assert (vobs["radius"][i] == obs["radius"]).all() and (vobs["x"][i] == obs["x"]).all()
            compared += 1
    assert compared > 300


# --- render ----------------------------------------------------------------

def test_render_paints_the_arena():
    game = pelloria.Game()
    obs, _ = game.reset(seed=3)
    frame = game.render()
    assert frame.shape == (pelloria.ARENA_HEIGHT, pelloria.ARENA_WIDTH, 3) and frame.dtype == np.uint8
    x, y, r = int(obs["x"][0]), int(obs["y"][0]), int(obs["radius"][0])
    assert tuple(frame[y - r // 2, x - r // 2]) == (240, 60, 60)  # inside agent 0: its red
    assert tuple(frame[2, 2]) == (255, 255, 255)  # the field


# --- the Python brainlet ------------------------------------------------------

def write(path, text):
    path.write_text(text)
    return path


def run_arena_with(controller_file, tmp_path, games=3):
    env = dict(os.environ, PELLORIA_PY_CONTROLLER=str(controller_file))
    run = subprocess.run([ARENA, "--games", str(games), "--controller", BIN / "libpybrainlet.so",
                          "--log-dir", tmp_path / "logs", "--csv", tmp_path / "rows.csv"],
                         env=env, capture_output=True, text=True)
    log = (tmp_path / "logs" / "1-libpybrainlet.log").read_text()
    return run, log


def test_python_controller_plays_in_the_arena(tmp_path):
    brake = write(tmp_path / "brake.py", "import numpy\n"
                  "def controller(obs):\n"
                  "    print('radius', int(obs['radius'][0]))\n"
                  "    return 0\n")
    run, log = run_arena_with(brake, tmp_path)
    assert run.returncode == 0, run.stdout + run.stderr
    assert "games played          3 of 3" in run.stdout
    assert "seed 2 step 1 stdout: radius 20" in log


def test_python_controller_that_raises_loses_the_game_with_its_traceback(tmp_path):
    raises = write(tmp_path / "raises.py", "def controller(obs):\n"
                   "    if obs['radius'][0] > 0:\n"
                   "        raise ValueError('no plan')\n")
    run, log = run_arena_with(raises, tmp_path, games=2)
    assert run.returncode == 1
    assert "exited at seed 1, step 1: the controller ended the process with exit code 70" in run.stdout
    assert "seed 1 step 1 stderr: ValueError: no plan" in log
    assert f'seed 2 step 1 stderr:   File "{raises}", line 3, in controller' in log


def test_python_controller_that_returns_nonsense_loses_the_game(tmp_path):
    nonsense = write(tmp_path / "nonsense.py", "def controller(obs):\n    return 'left'\n")
    run, log = run_arena_with(nonsense, tmp_path, games=1)
    assert run.returncode == 1
    assert "controller(obs) returned 'left', not an int" in log


def test_window_lives_on_when_the_python_controller_raises(tmp_path):
    # The game with the Python brainlet in place of the brainlet.
    for name in ("pelloria", "icon"):
        src = BIN / name
        (shutil.copytree if src.is_dir() else shutil.copy)(src, tmp_path / name)
    shutil.copy(BIN / "libpybrainlet.so", tmp_path / "libbrainlet.so")
    write(tmp_path / "controller.py", "def controller(obs):\n    raise RuntimeError('broken')\n")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env.pop("PELLORIA_ARENA", None)
    game = subprocess.Popen([tmp_path / "pelloria"], env=env, stderr=subprocess.PIPE, text=True, cwd=tmp_path)
    try:
        # The agent worker ticks from start-up, so the controller is called
        # (and fails) at once; the window must stay up all the same.
        time.sleep(2)
        assert game.poll() is None
    finally:
        game.kill()
        _, err = game.communicate()
    assert err.count("the Python controller failed; agent 0 keeps action 0 from now on") == 1
    assert "RuntimeError: broken" in err


def test_training_example_saves_weights_where_told_and_by_default_in_the_current_folder(tmp_path):
    env = dict(os.environ, PYTHONPATH=str(BIN))
    in_tree = SOURCE / "examples/python/weights.npy"
    before = in_tree.stat().st_mtime_ns if in_tree.exists() else None
    train = [sys.executable, SOURCE / "examples/python/train.py", "--seconds", "1", "--population", "4",
             "--games", "2", "--max-steps", "200"]
    run = subprocess.run(train + ["--out", tmp_path / "mine" / "w.npy"], env=env, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    weights = np.load(tmp_path / "mine" / "w.npy")
    assert weights.shape == (2, 11) and np.isfinite(weights).all()
    assert "generation   1" in run.stdout
    run = subprocess.run(train, env=env, capture_output=True, text=True, cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    assert np.load(tmp_path / "weights.npy").shape == (2, 11)
    assert (in_tree.stat().st_mtime_ns if in_tree.exists() else None) == before


# --- replays, read without our code -------------------------------------------

def test_replays_read_with_the_standard_library_match_the_arenas_rows(tmp_path):
    sys.path.insert(0, str(SOURCE / "examples" / "python"))
    from read_replay import read_replay
    run = subprocess.run([ARENA, "--seed", "11", "--games", "4", "--record", tmp_path / "replays",
                          "--record-games", "all", "--csv", tmp_path / "rows.csv", "--log-dir", tmp_path / "logs"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    rows = list(csv.DictReader(open(tmp_path / "rows.csv")))
    assert [int(r["seed"]) for r in rows] == [11, 12, 13, 14]
    for row in rows:
        header, frames = read_replay(row["replay"])
        assert header["seed"] == int(row["seed"]) and header["outcome"] == row["outcome"]
        assert len(frames) == header["steps"] + 1 == int(row["steps"]) + 1
        last = frames[-1]
        assert max(0, last["r"][0]) == int(row["agent0_radius"])
        assert sum(1 for r in last["r"][1:10] if r > 0) == int(row["opponents_alive"])
        # Positions stay inside the arena, and resources never move on their own.
        assert all(0 <= x <= 1600 and 0 <= y <= 900 for f in frames for x, y in zip(f["x"], f["y"]))
        dead = [f["step"] for f in frames if f["r"][0] <= 0]
        if row["death_step"]:
            assert dead[0] == int(row["death_step"])
        walls = sum(-d for f in frames for cause, _, d in f["agent0"] if cause == "wall")
        assert walls == int(row["wall_loss"])


def test_the_reader_takes_first_version_replays_too(tmp_path):
    sys.path.insert(0, str(SOURCE / "examples" / "python"))
    import gzip
    import json
    from read_replay import read_replay
    run = subprocess.run([ARENA, "--seed", "3", "--games", "1", "--max-steps", "200", "--record", tmp_path,
                          "--record-games", "all", "--log-dir", tmp_path / "logs"], capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    header, frames = read_replay(next(tmp_path.glob("*.replay.gz")))
    old = tmp_path / "old.replay.gz"
    with gzip.open(old, "wt") as f:
        f.write(json.dumps(dict(header, version=1)) + "\n")
        for frame in frames:
            f.write(json.dumps(frame) + "\n")
    header1, frames1 = read_replay(old)
    assert header1["version"] == 1 and frames1 == frames
    assert len(frames) == 201 and any(f["agent0"] for f in frames)
