"""Game and VectorGame against the conventions reinforcement-learning libraries
rely on (Gymnasium's, checked here without Gymnasium), and the games they
play against the games played before these conventions were added."""
import copy
import hashlib
import pickle

import numpy as np
import pytest

import pelloria
from pelloria.spaces import Box, Dict, Discrete, MultiDiscrete

KEYS = ("radius", "x", "y", "vx", "vy")


def same_obs(a, b):
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(np.array_equal(a[k], b[k]) and a[k].dtype == b[k].dtype for k in a)
    return np.array_equal(a, b) and a.dtype == b.dtype


# --- the spaces ------------------------------------------------------------------

def test_box_contains_what_fits_its_shape_dtype_and_bounds():
    box = Box(0, 10, (3,), np.int32)
    assert box.shape == (3,) and box.dtype == np.int32
    assert box.low.tolist() == [0, 0, 0] and box.high.tolist() == [10, 10, 10]
    assert box.contains(np.array([0, 5, 10], dtype=np.int32))
    assert box.contains([0, 5, 10])  # Python's ints fit when their values do
    assert not box.contains(np.array([0, 5, 11], dtype=np.int32))
    assert not box.contains(np.array([-1, 5, 1], dtype=np.int32))
    assert not box.contains(np.array([0, 5], dtype=np.int32))
    assert not box.contains(np.array([0.0, 5.0, 1.0]))
    assert not box.contains("abc") and not box.contains(None) and not box.contains(True)
    assert np.array([1, 2, 3], dtype=np.int32) in box
    with pytest.raises(ValueError):
        Box(1, 0, (2,))


def test_box_samples_lie_in_it_and_repeat_under_a_seed():
    floats = Box(-1.5, 2.0, (4, 2), np.float32, seed=3)
    drawn = [floats.sample() for _ in range(200)]
    assert all(floats.contains(d) and d.dtype == np.float32 for d in drawn)
    floats.seed(3)
    assert all(np.array_equal(floats.sample(), d) for d in drawn)
    ints = Box(0, 2, (1000,), np.int32, seed=1).sample()
    assert ints.dtype == np.int32 and set(ints.tolist()) == {0, 1, 2}  # both ends drawn


def test_discrete_holds_the_whole_numbers_below_n():
    nine = Discrete(9)
    assert nine.n == 9 and nine.shape == () and nine.dtype == np.int64
    assert all(nine.contains(a) and nine.contains(np.int64(a)) and nine.contains(np.array(a)) for a in range(9))
    for outside in (-1, 9, 2 ** 40, 1.0, True, "3", np.array([3]), None):
        assert not nine.contains(outside), outside
    samples = [int(Discrete(9, seed=5).sample()) for _ in range(3)]
    assert samples == [int(Discrete(9, seed=5).sample())] * 3
    one = Discrete(9, seed=5)
    assert sorted(set(int(one.sample()) for _ in range(500))) == list(range(9))


def test_multidiscrete_and_dict_hold_their_parts():
    many = MultiDiscrete([9, 9, 2], seed=0)
    assert many.shape == (3,) and many.contains([8, 0, 1]) and not many.contains([8, 0, 2])
    assert not many.contains([1, 2]) and not many.contains(np.array([1.0, 2.0, 0.0]))
    assert all(many.contains(many.sample()) for _ in range(100))
    both = Dict({"a": Box(0, 1, (2,), np.int32), "b": Discrete(3)}, seed=4)
    assert both.contains({"a": np.array([0, 1], dtype=np.int32), "b": 2})
    assert not both.contains({"a": np.array([0, 1], dtype=np.int32)})
    assert not both.contains({"a": np.array([0, 2], dtype=np.int32), "b": 2})
    first = both.sample()
    both.seed(4)
    assert same_obs(both.sample()["a"], first["a"]) and both["b"] == Discrete(3)


# --- a Game's attributes ------------------------------------------------------------

def test_game_has_the_attributes_of_an_environment():
    game = pelloria.Game(render_mode="rgb_array")
    assert game.metadata == {"render_modes": ["rgb_array"], "render_fps": 20}
    assert game.render_mode == "rgb_array" and pelloria.Game().render_mode is None
    assert game.action_space == Discrete(9) and game.unwrapped is game
    space = game.observation_space
    assert isinstance(space, Dict) and list(space.keys()) == list(KEYS)
    assert space["radius"] == Box(0, 200, (15,), np.int32) and space["vy"] == Box(-1000, 1000, (10,), np.int32)
    assert space["x"].high.max() == 1600 and space["y"].high.max() == 900
    flat = pelloria.Game(flat=True).observation_space
    assert flat.shape == (65,) and flat.dtype == np.float32
    assert flat.high[pelloria.FLAT_SLICES["y"]].tolist() == [900.0] * 15
    with pelloria.Game() as used:
        used.reset(seed=2)
    with pytest.raises(ValueError, match="this Game is closed"):
        used.step(0)


def test_flat_observation_is_the_dicts_arrays_end_to_end():
    named, flat = pelloria.Game(), pelloria.Game(flat=True)
    obs, _ = named.reset(seed=9)
    vector, _ = flat.reset(seed=9)
    for action in [4, 4, 2, 8, 0] * 20:
        obs = named.step(action)[0]
        vector = flat.step(action)[0]
    assert vector.dtype == np.float32 and vector.shape == (65,)
    assert vector.tolist() == np.concatenate([obs[k] for k in KEYS]).astype(np.float32).tolist()
    assert vector[pelloria.FLAT_SLICES["vx"]].tolist() == obs["vx"].tolist()


# --- conformance over many steps ---------------------------------------------------

@pytest.mark.parametrize("flat", [False, True])
def test_every_observation_lies_in_the_space_with_a_stable_dtype(flat):
    game = pelloria.Game(flat=flat, play_out=True)
    space, rng, steps = game.observation_space, np.random.default_rng(0), 0
    for seed in (1, 2, 3, 2 ** 32 - 1):
        obs, _ = game.reset(seed=seed)
        assert space.contains(obs)
        # Random play, then hugging a corner: speeds and walls at their extremes.
        policy = [int(a) for a in rng.integers(0, 9, size=3000)] if seed % 2 else [8] * 3000
        for action in policy:
            obs, reward, terminated, truncated, _ = game.step(action)
            assert space.contains(obs), (seed, steps, obs)
            assert isinstance(reward, float) and type(terminated) is bool and type(truncated) is bool
            steps += 1
            if terminated or truncated:
                break
    assert steps > 2000


@pytest.mark.parametrize("flat", [False, True])
def test_vector_observations_and_sampled_actions_lie_in_the_batched_spaces(flat):
    vector = pelloria.VectorGame(32, seed=5, max_steps=400, flat=flat)
    assert vector.num_envs == len(vector) == 32
    assert vector.single_action_space == Discrete(9) and vector.action_space == MultiDiscrete([9] * 32)
    assert vector.single_observation_space == pelloria.Game(flat=flat).observation_space
    space = vector.observation_space
    vector.action_space.seed(1)
    obs, _ = vector.reset()
    for _ in range(500):
        assert space.contains(obs)
        obs, rewards, terminated, truncated, info = vector.step(vector.action_space.sample())
        assert rewards.dtype == np.float32 and terminated.dtype == truncated.dtype == np.bool_
        assert info["seed"].dtype == np.uint32 and info["ended_seed"].dtype == np.int64
    vector.close()
    with pytest.raises(ValueError, match="this VectorGame is closed"):
        vector.step([0] * 32)


def run(vector, steps, seed):
    actions = np.random.default_rng(seed).integers(0, 9, size=(steps, vector.num_envs))
    out = [vector.reset()]
    out += [vector.step(a) for a in actions]
    return out


def flatten(results):
    """Everything a run returned, as comparable lists."""
    out = []
    for result in results:
        for part in result:
            if isinstance(part, dict):
                out.append(sorted((k, repr(v)) for k, v in part.items()))
            else:
                out.append(np.asarray(part).tolist())
    return out


def test_the_same_seed_plays_the_same_and_other_seeds_differ():
    one = flatten(run(pelloria.VectorGame(6, seed=3, max_steps=150), 400, 0))
    assert one == flatten(run(pelloria.VectorGame(6, seed=3, max_steps=150), 400, 0))
    other = flatten(run(pelloria.VectorGame(6, seed=4, max_steps=150), 400, 0))
    assert one[0] != other[0]  # the first observation already
    first, _ = pelloria.Game().reset(seed=1)
    assert not same_obs(first, pelloria.Game().reset(seed=2)[0])


@pytest.mark.parametrize("flat", [False, True])
def test_autoreset_gives_the_final_observation_a_single_game_ends_with(flat):
    n = 4
    vector = pelloria.VectorGame(n, seed=50, max_steps=300, flat=flat)
    _, info = vector.reset()
    rng = np.random.default_rng(8)
    singles, history, checked = [None] * n, [[] for _ in range(n)], 0
    for i in range(n):
        singles[i] = int(info["seed"][i])
    while checked < 12:
        actions = rng.integers(0, 9, size=n)
        obs, rewards, terminated, truncated, info = vector.step(actions)
        for i in range(n):
            history[i].append(int(actions[i]))
        ended = terminated | truncated
        assert ("final_obs" in info) == ended.any()
        if not ended.any():
            continue
        assert info["_final_obs"].tolist() == ended.tolist() == info["_final_info"].tolist()
        for i in np.flatnonzero(ended):
            game = pelloria.Game(max_steps=300, flat=flat)
            game.reset(seed=singles[i])
            for a in history[i]:
                last = game.step(a)
            assert same_obs(info["final_obs"][i], last[0])
            assert info["final_info"][i] == last[4] and last[3] == truncated[i] and last[2] == terminated[i]
            assert info["ended_seed"][i] == singles[i]
            singles[i], history[i] = int(info["seed"][i]), []
            checked += 1
        assert all(info["final_obs"][i] is None for i in np.flatnonzero(~ended))


def test_an_ended_game_stays_as_it_ended():
    game = pelloria.Game(max_steps=3)
    game.reset(seed=1)
    for _ in range(3):
        last = game.step(4)
    assert last[2:4] == (False, True)
    again = game.step(4)
    assert same_obs(again[0], last[0]) and again[1:4] == (0.0, False, True) and again[4] == last[4]
    dead = pelloria.Game()
    dead.reset(seed=3)
    while not (last := dead.step(8))[2]:  # into the corner until the game ends
        pass
    assert dead.step(0)[1:4] == (0.0, True, False) and dead.step(0)[4] == last[4]


# --- seeds ---------------------------------------------------------------------------

def test_unnamed_seeds_come_from_the_training_range_and_follow_the_named_one():
    named = pelloria.Game()
    named.reset(seed=5)
    after = [named.reset()[1]["seed"] for _ in range(3)]
    assert after == [2978061702, 3763050662, 2647222776]  # the documented sequence of seed 5
    assert all(s >= pelloria.FIRST_TRAINING_SEED == 2 ** 31 for s in after)
    fresh = [pelloria.Game().reset()[1]["seed"] for _ in range(4)]
    assert all(s >= 2 ** 31 for s in fresh) and len(set(fresh)) == 4
    vector = pelloria.VectorGame(3, seed=7)
    first = vector.reset()[1]["seed"].tolist()
    second = vector.reset()[1]["seed"].tolist()
    third = vector.reset()[1]["seed"].tolist()
    assert first == [7, 8, 9] and min(second + third) >= 2 ** 31 and len(set(second + third)) == 6
    assert vector.reset(seed=[4, 2, 4294967295])[1]["seed"].tolist() == [4, 2, 4294967295]
    assert vector.reset(seed=2 ** 32 - 3)[1]["seed"].tolist() == [2 ** 32 - 3, 2 ** 32 - 2, 2 ** 32 - 1]


# --- copies ----------------------------------------------------------------------------

def play_on(game, actions):
    return [game.step(int(a)) for a in actions]


def same_steps(a, b):
    return len(a) == len(b) and all(same_obs(x[0], y[0]) and x[1:] == y[1:] for x, y in zip(a, b))


@pytest.mark.parametrize("copier", [lambda g: g.clone(), copy.deepcopy, copy.copy,
                                    lambda g: pickle.loads(pickle.dumps(g))],
                         ids=["clone", "deepcopy", "copy", "pickle"])
def test_a_copy_goes_on_as_the_original_would(copier):
    actions = np.random.default_rng(4).integers(0, 9, size=900)
    reference = pelloria.Game(play_out=True, flat=True)
    reference.reset(seed=21)
    expected = play_on(reference, actions)
    original = pelloria.Game(play_out=True, flat=True)
    original.reset(seed=21)
    # Step 137: the resources' respawn rhythm (a tick every ten steps, a
    # respawn every 25 ticks) is part-way, and comes due in the copy.
    assert same_steps(play_on(original, actions[:137]), expected[:137])
    twin = copier(original)
    # The copy, played otherwise first, leaves the original alone.
    play_on(copier(original), actions[::-1][:300])
    assert same_steps(play_on(twin, actions[137:]), expected[137:])
    assert same_steps(play_on(original, actions[137:]), expected[137:])
    assert expected[-1][4]["step"] > 500
    assert twin.reset()[1]["seed"] == original.reset()[1]["seed"]  # the same sequence of seeds too


def test_copies_of_games_not_started_or_ended_stay_so():
    for copier in (lambda g: g.clone(), lambda g: pickle.loads(pickle.dumps(g))):
        with pytest.raises(ValueError, match="call reset"):
            copier(pelloria.Game()).step(0)
        ended = pelloria.Game(max_steps=2, render_mode="rgb_array")
        ended.reset(seed=3)
        last = play_on(ended, [1, 1])[-1]
        twin = copier(ended)
        assert twin.render_mode == "rgb_array" and twin.step(1)[1:4] == (0.0, False, True)
        assert same_obs(twin.step(1)[0], last[0])


# --- the games themselves ------------------------------------------------------------

def digest(seed, play_out):
    """A hash of everything a game shows under fixed actions, and its length."""
    actions = np.random.default_rng(seed).integers(0, 9, size=4000)
    game = pelloria.Game(max_steps=len(actions), play_out=play_out)
    obs, _ = game.reset(seed=seed)
    h = hashlib.sha256()
    for a in actions:
        obs, reward, terminated, truncated, info = game.step(int(a))
        for key in KEYS:
            h.update(obs[key].astype(np.int32).tobytes())
        h.update(repr((reward, terminated, truncated, info["alive"], info.get("outcome"))).encode())
        if terminated or truncated:
            return h.hexdigest()[:16], info["step"], info["outcome"]


# Taken from the module before its games could be stepped from threads:
# the same seeds must go on giving exactly the same games.
@pytest.mark.parametrize("seed, play_out, expected", [
    (1, False, ('a2bf035e223d7fbd', 582, 'agent0-dead')),
    (2, True, ('51ee8043eb9fca18', 1430, 'set')),
    (7, True, ('6caadfc611c7175c', 1306, 'set')),
    (1000, False, ('de400988af6cd03e', 138, 'agent0-dead')),
    (2147483648, True, ('6f1a944219d9dcbc', 1548, 'set')),
    (4294967295, True, ('325ebfa9f9cb9976', 1048, 'set')),
])
def test_seeded_games_are_the_games_they_always_were(seed, play_out, expected):
    assert digest(seed, play_out) == expected
