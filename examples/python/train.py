"""Trains controller.py's linear policy with the cross-entropy method, numpy alone.

Each generation draws candidate weights from a Gaussian, plays every
candidate on the same fresh training seeds at once in a pelloria.VectorGame,
and refits the Gaussian to the best candidates. Training seeds are
pelloria.FIRST_TRAINING_SEED (2**31) and up, away from the seeds 1.. that
pelloria-arena evaluates with.

    python3 train.py [--seconds 100] [--out weights.npy]

It saves the weights to --out (default: weights.npy in the current folder),
where controller.py reads them ($PELLORIA_WEIGHTS names another file); then
    PELLORIA_PY_CONTROLLER=controller.py \\
        pelloria-arena --games 1000 --controller .../libpybrainlet.so
docs/python.md has the whole way, from installing to watching.
"""
import argparse
import time
from pathlib import Path

import numpy as np

import pelloria
from controller import ACTION_OF, FEATURES, features


def evaluate(candidates, seeds, max_steps):
    """Survival of each candidate (and its final radius, as a tie-break) over `seeds`."""
    population, games = len(candidates), len(seeds)
    vector = pelloria.VectorGame(population * games, max_steps=max_steps)
    obs, _ = vector.reset(seeds=np.tile(seeds, population))
    weights = np.repeat(candidates, games, axis=0)  # one row of weights per game
    playing = np.ones(population * games, dtype=bool)
    survived = np.zeros(population * games)
    radius = np.zeros(population * games)
    while playing.any():
        f = features(obs["radius"], obs["x"], obs["y"], obs["vx"], obs["vy"])
        wish = np.einsum("nf,naf->na", f, weights)
        axes = np.where(wish > 0.5, 1, np.where(wish < -0.5, -1, 0))
        actions = ACTION_OF[axes[:, 0] + 1, axes[:, 1] + 1]
        obs, _, terminated, truncated, info = vector.step(actions)
        ended = playing & (terminated | truncated)
        survived[ended] = info["agent0_survived"][ended]
        radius[ended] = info["agent0_radius"][ended]
        playing &= ~ended
    fitness = survived + radius / 1000.0
    return fitness.reshape(population, games).mean(axis=1), survived.reshape(population, games).mean(axis=1)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=100, help="training time (default 100)")
    parser.add_argument("--population", type=int, default=24)
    parser.add_argument("--games", type=int, default=12, help="training games per candidate and generation")
    parser.add_argument("--max-steps", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=7, help="seed of the candidates' sampling")
    parser.add_argument("--out", type=Path, default=Path("weights.npy"),
                        help="where to save the weights (default: weights.npy in the current folder)")
    args = parser.parse_args()
    args.out.parent.mkdir(parents=True, exist_ok=True)

    rng = np.random.default_rng(args.seed)
    mean = np.zeros((2, FEATURES))
    std = np.ones((2, FEATURES))
    elite = max(2, args.population // 5)
    start = time.monotonic()
    generation = 0
    next_seed = pelloria.FIRST_TRAINING_SEED
    while time.monotonic() - start < args.seconds:
        candidates = mean + std * rng.standard_normal((args.population, 2, FEATURES))
        candidates[0] = mean  # the current mean competes too
        seeds = np.arange(next_seed, next_seed + args.games)
        next_seed += args.games
        fitness, survival = evaluate(candidates, seeds, args.max_steps)
        best = np.argsort(fitness)[-elite:]
        mean = candidates[best].mean(axis=0)
        std = candidates[best].std(axis=0) + 0.05
        generation += 1
        print(f"generation {generation:3d}  {time.monotonic() - start:6.1f} s  "
              f"mean's survival {survival[0]:.2f}  best {survival[best[-1]]:.2f}", flush=True)
    with open(args.out, "wb") as f:  # np.save(path) would add .npy to another name
        np.save(f, mean)
    print(f"saved {args.out} after {generation} generations in {time.monotonic() - start:.0f} s")


if __name__ == "__main__":
    main()
