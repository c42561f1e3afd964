"""Everything the module refuses: each refusal raises at once, of the right
type, and says what was expected instead of playing something else."""
import numpy as np
import pytest

import pelloria


def game():
    g = pelloria.Game()
    g.reset(seed=1)
    return g


def vector(n=3):
    v = pelloria.VectorGame(n)
    v.reset(seed=1)
    return v


def closed(g):
    g.close()
    return g


def unpickled(state):
    g = pelloria.Game.__new__(pelloria.Game)
    g.__setstate__(state)
    return g


def pickled_state(**changes):
    state = list(game().__getstate__())
    fields = {"version": 0, "max_steps": 1, "seed": 6, "actions": 7, "root": 8}
    for name, value in changes.items():
        state[fields[name]] = value
    return tuple(state)


SEED_RANGE = "must be from 1 to 4294967295"
ACTION_RANGE = "from 0 to 8"
ZERO = "0 plays the same game as seed 1"

REFUSALS = [
    # seeds
    ("negative seed", lambda: pelloria.Game().reset(seed=-1), ValueError, f"seed {SEED_RANGE}, not -1"),
    ("seed past 2**32 - 1", lambda: pelloria.Game().reset(seed=2 ** 32), ValueError, f"seed {SEED_RANGE}, not 4294967296"),
    ("seed 0", lambda: pelloria.Game().reset(seed=0), ValueError, f"seed {ZERO}"),
    ("numpy seed 0", lambda: pelloria.Game().reset(seed=np.uint32(0)), ValueError, f"seed {ZERO}"),
    ("float seed", lambda: pelloria.Game().reset(seed=1.5), TypeError, "seed must be an int from 1 to 4294967295, not float"),
    ("text seed", lambda: pelloria.Game().reset(seed="7"), TypeError, "not str"),
    ("bool seed", lambda: pelloria.Game().reset(seed=True), TypeError, "not bool"),
    ("vector seed 0", lambda: pelloria.VectorGame(2, seed=0), ValueError, f"seed {ZERO}"),
    ("a listed seed 0", lambda: vector().reset(seed=[1, 0, 2]), ValueError, f"seeds[1] {ZERO}"),
    ("too few seeds", lambda: vector().reset(seeds=[1]), ValueError, "seeds must hold 3 seeds, one a game, not 1"),
    ("seeds past 2**32 - 1", lambda: vector().reset(seed=2 ** 32 - 2), ValueError,
     "seed 4294967294 leaves no room for 3 games before 4294967295, the last seed: give one from 1 to 4294967293"),
    ("constructor's seed past 2**32 - 1", lambda: pelloria.VectorGame(2, seed=2 ** 32 - 1), ValueError,
     "seed 4294967295 leaves no room for 2 games"),
    ("seed and seeds", lambda: vector().reset(seed=1, seeds=[1, 2, 3]), ValueError, "give seed or seeds, not both"),
    ("options", lambda: game().reset(options={"x": 1}), ValueError, "reset() takes no options: give None, not {'x': 1}"),
    # one game's actions
    ("action -1", lambda: game().step(-1), ValueError, f"action must be {ACTION_RANGE}, not -1"),
    ("action 9", lambda: game().step(9), ValueError, f"action must be {ACTION_RANGE}, not 9"),
    ("action 10**30", lambda: game().step(10 ** 30), ValueError, f"not {10 ** 30}"),
    ("numpy action 9", lambda: game().step(np.int64(9)), ValueError, f"action must be {ACTION_RANGE}, not 9"),
    ("float action", lambda: game().step(1.0), TypeError, f"action must be an int {ACTION_RANGE}, not float"),
    ("text action", lambda: game().step("left"), TypeError, "not str"),
    ("no action", lambda: game().step(None), TypeError, "not NoneType"),
    ("listed action", lambda: game().step([4]), TypeError, "not list"),
    ("step before reset", lambda: pelloria.Game().step(0), ValueError, "call reset() before step()"),
    ("render before reset", lambda: pelloria.Game().render(), ValueError, "call reset() before render()"),
    ("closed game", lambda: closed(game()).step(0), ValueError, "this Game is closed"),
    # a vector's actions
    ("vector step before reset", lambda: pelloria.VectorGame(2).step([0, 0]), ValueError, "call reset() before step()"),
    ("listed action 9", lambda: vector().step([0, 9, 0]), ValueError, f"actions[1] must be {ACTION_RANGE}, not 9"),
    ("array action -1", lambda: vector().step(np.array([0, 0, -1])), ValueError, f"actions[2] must be {ACTION_RANGE}, not -1"),
    ("int32 action 9", lambda: vector().step(np.array([9, 0, 0], dtype=np.int32)), ValueError, "actions[0] must be"),
    ("array action 10**18", lambda: vector().step(np.array([0, 10 ** 18, 0])), ValueError, f"not {10 ** 18}"),
    ("uint64 action", lambda: vector().step(np.array([0, 2 ** 64 - 1, 0], dtype=np.uint64)), ValueError,
     f"actions[1] must be {ACTION_RANGE}, not 18446744073709551615"),
    ("listed action 10**30", lambda: vector().step((0, 10 ** 30, 0)), ValueError, f"actions[1] must be {ACTION_RANGE}, not {10 ** 30}"),
    ("listed float action", lambda: vector().step([0, 1.0, 0]), TypeError, f"actions[1] must be an int {ACTION_RANGE}, not float"),
    ("float array", lambda: vector().step(np.array([0.5, 1.0, 2.0])), TypeError,
     f"actions must be ints {ACTION_RANGE}, not an array of float64"),
    ("bool array", lambda: vector().step(np.array([True, False, True])), TypeError, "not an array of bool"),
    ("short array", lambda: vector().step(np.array([1, 2])), ValueError, "actions must have shape (3,), one a game, not (2,)"),
    ("column array", lambda: vector().step(np.zeros((3, 1), dtype=int)), ValueError, "not (3, 1)"),
    ("short list", lambda: vector().step([1, 2]), ValueError, "actions must hold 3 actions, one a game, not 2"),
    ("one int", lambda: vector().step(4), TypeError,
     f"actions must be a list, tuple or NumPy array of 3 ints {ACTION_RANGE}, not int"),
    ("closed vector", lambda: closed(vector()).reset(), ValueError, "this VectorGame is closed"),
    # construction
    ("no games", lambda: pelloria.VectorGame(0), ValueError, "n must be from 1 to 1048576, not 0"),
    ("float n", lambda: pelloria.VectorGame(2.0), TypeError, "n must be an int from 1 to 1048576, not float"),
    ("no steps", lambda: pelloria.Game(max_steps=0), ValueError, "max_steps must be from 1 to 2147483647, not 0"),
    ("float steps", lambda: pelloria.VectorGame(2, max_steps=1.5), TypeError, "max_steps must be an int"),
    ("text flag", lambda: pelloria.Game(flat="yes"), TypeError, "flat must be True or False, not str"),
    ("int flag", lambda: pelloria.VectorGame(2, play_out=1), TypeError, "play_out must be True or False, not int"),
    ("render mode", lambda: pelloria.Game(render_mode="human"), ValueError,
     "render_mode must be None or 'rgb_array', not 'human'"),
    # a pickled game's state
    ("state of another version", lambda: unpickled(pickled_state(version=2)), ValueError,
     "not the state of a pickled pelloria.Game: a tuple of 12 fields, version 1"),
    ("state with action 9", lambda: unpickled(pickled_state(actions=b"\x01\x09")), ValueError,
     "the actions played must be from 0 to 8, not 9"),
    ("state played past its end", lambda: unpickled(pickled_state(max_steps=2, actions=b"\x01\x01\x01")), ValueError,
     "its actions go on after the game's end"),
    ("state with seed 0", lambda: unpickled(pickled_state(seed=0)), ValueError, f"seed {ZERO}"),
    ("state with text actions", lambda: unpickled(pickled_state(actions="abc")), ValueError, "must be bytes"),
    ("state with a negative root", lambda: unpickled(pickled_state(root=-1)), ValueError,
     "the root of the seeds must be an int from 0 to 2**64 - 1"),
]


@pytest.mark.parametrize("call, error, message", [r[1:] for r in REFUSALS], ids=[r[0] for r in REFUSALS])
def test_refused(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


def test_a_refused_step_leaves_the_games_as_they_were():
    refused, plain = vector(), vector()
    with pytest.raises(ValueError):
        refused.step([0, 4, 9])
    a = refused.step([4, 4, 4])
    b = plain.step([4, 4, 4])
    assert all(np.array_equal(a[0][k], b[0][k]) for k in a[0]) and a[4]["steps"].tolist() == [1, 1, 1]
