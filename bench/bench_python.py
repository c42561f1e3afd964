"""Agent-0 steps per second of pelloria.VectorGame, driven from Python on one core.

    PYTHONPATH=build/bin /usr/bin/python3 bench/bench_python.py

Five repetitions of 2000 steps of 256 games each, with fixed actions made
once (the cost of a policy is the policy's); prints each and the median.
"""
import statistics
import time

import numpy as np

import pelloria

GAMES, STEPS, REPETITIONS = 256, 2000, 5


def one_run():
    vector = pelloria.VectorGame(GAMES, seed=1)
    vector.reset()
    actions = np.random.default_rng(1).integers(0, 9, size=(STEPS, GAMES))
    start = time.perf_counter()
    for step in actions:
        vector.step(step)
    return GAMES * STEPS / (time.perf_counter() - start)


rates = [one_run() for _ in range(REPETITIONS)]
for rate in rates:
    print(f"{rate:,.0f} agent-0 steps/s")
print(f"median {statistics.median(rates):,.0f} agent-0 steps/s ({GAMES} games a call)")
