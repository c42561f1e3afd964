"""Agent-0 steps per second of pelloria.VectorGame and pelloria.Game, driven from Python on one core.

    PYTHONPATH=build/bin /usr/bin/python3 bench/bench_python.py [--flat] [--repetitions 5]

For VectorGame with 1, 16, 256 and 4096 games a call, and for Game.step,
prints the median of the repetitions. Actions are fixed and made once (the
cost of a policy is the policy's), and the process keeps to one core of
those it may use, so that the figures are a core's.
"""
import argparse
import os
import statistics
import time

import numpy as np

import pelloria

# Calls a repetition, for about the same number of agent-0 steps each.
CALLS = {1: 100_000, 16: 20_000, 256: 1_500, 4096: 100}
GAME_STEPS = 100_000


def options(flat):
    # Only when asked, so that the script also measures a module without it.
    return {"flat": True} if flat else {}


def vector_rate(n, flat):
    vector = pelloria.VectorGame(n, seed=1, **options(flat))
    vector.reset()
    actions = np.random.default_rng(1).integers(0, 9, size=(CALLS[n], n))
    start = time.perf_counter()
    for step in actions:
        vector.step(step)
    return n * CALLS[n] / (time.perf_counter() - start)


def game_rate(flat):
    game = pelloria.Game(**options(flat))
    game.reset(seed=1)
    actions = [int(a) for a in np.random.default_rng(1).integers(0, 9, size=GAME_STEPS)]
    start = time.perf_counter()
    for action in actions:
        if game.step(action)[2]:
            game.reset(seed=1)
    return GAME_STEPS / (time.perf_counter() - start)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--flat", action="store_true", help="flat float32 observations instead of the dict")
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    core = max(os.sched_getaffinity(0))
    os.sched_setaffinity(0, {core})
    print(f"core {core}, {'flat' if args.flat else 'dict'} observations, median of {args.repetitions}")
    for n in CALLS:
        rates = [vector_rate(n, args.flat) for _ in range(args.repetitions)]
        print(f"VectorGame({n:4d})  {statistics.median(rates):>12,.0f} agent-0 steps/s")
    rates = [game_rate(args.flat) for _ in range(args.repetitions)]
    print(f"Game.step         {statistics.median(rates):>12,.0f} steps/s")


if __name__ == "__main__":
    main()
