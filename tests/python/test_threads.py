"""Games stepped from many threads at once give exactly what they give alone.

VectorGame.step lets go of Python's lock while it plays, so games in other
threads play at the same time; anything they shared would mix their games.
"""
import hashlib
import threading

import numpy as np

import pelloria

STEPS = 400


def vector_work(index):
    """A digest of all a VectorGame shows under its own actions."""
    vector = pelloria.VectorGame(48, seed=1000 * index + 1, max_steps=250)
    vector.reset()
    actions = np.random.default_rng(index).integers(0, 9, size=(STEPS, 48))
    h = hashlib.sha256()
    for a in actions:
        obs, rewards, terminated, truncated, info = vector.step(a)
        for key in ("radius", "x", "y", "vx", "vy"):
            h.update(obs[key].tobytes())
        h.update(rewards.tobytes() + terminated.tobytes() + truncated.tobytes() + info["seed"].tobytes())
    return h.hexdigest()


def game_work(index):
    """The same for a Game, which keeps the lock, stepped beside the vectors."""
    game = pelloria.Game(max_steps=250)
    game.reset(seed=index + 1)
    h = hashlib.sha256()
    for a in np.random.default_rng(100 + index).integers(0, 9, size=STEPS * 8):
        obs, reward, terminated, truncated, info = game.step(int(a))
        h.update(obs["x"].tobytes() + obs["radius"].tobytes() + repr((reward, terminated, truncated)).encode())
        if terminated or truncated:
            game.reset(seed=info["seed"] + 7)
    return h.hexdigest()


JOBS = [(vector_work, i) for i in range(4)] + [(game_work, i) for i in range(2)]


def test_games_in_threads_play_as_they_play_alone():
    alone = [work(i) for work, i in JOBS]
    for _ in range(3):
        results = [None] * len(JOBS)
        start = threading.Barrier(len(JOBS))

        def run(slot, work, index):
            start.wait()
            results[slot] = work(index)

        threads = [threading.Thread(target=run, args=(slot, work, i)) for slot, (work, i) in enumerate(JOBS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert results == alone
    assert len(set(alone)) == len(JOBS)  # every job played games of its own


def test_one_vector_game_stepped_by_two_threads_at_once_is_refused():
    vector = pelloria.VectorGame(5000, seed=1)
    vector.reset()
    actions = np.zeros(5000, dtype=np.int64)
    refusals, played = [], []

    def hammer():
        for _ in range(20):
            try:
                vector.step(actions)
                played.append(1)
            except RuntimeError as error:
                refusals.append(str(error))

    # While one thread plays without Python's lock, the other gets it and
    # tries the same games.
    threads = [threading.Thread(target=hammer) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert refusals and len(refusals) + len(played) == 40
    assert set(refusals) == {"this VectorGame is in use by another thread: give each thread its own"}
    # Refused calls stepped nothing: the longest-running game played each step once.
    assert vector.step(actions)[4]["steps"].max() == len(played) + 1
