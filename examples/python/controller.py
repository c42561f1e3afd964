"""A linear policy for agent 0, trained by train.py, played by libpybrainlet.so.

The policy looks at a few features of the arena (where the nearest resource,
the nearest larger agent and the nearest smaller agent are, its own velocity
and its place between the walls), weighs them with two rows of weights into
a wish for each axis, and accelerates that way when the wish is strong
enough. `features` works on one observation or on a batch of them, so the
trainer and the controller share it.

The weights are read when the file is loaded (before pelloria-arena's
sandbox closes) from $PELLORIA_WEIGHTS, or else from weights.npy in the
current folder, where train.py saves them by default.
"""
import os
from pathlib import Path

import numpy as np

WIDTH, HEIGHT = 1600, 900
ACTION_OF = np.array([[5, 3, 7],   # ax = -1: up-left, left, down-left
                      [1, 0, 2],   # ax =  0: up, none, down
                      [6, 4, 8]])  # ax = +1: up-right, right, down-right
FEATURES = 11
WEIGHTS_FILE = Path(os.environ.get("PELLORIA_WEIGHTS") or "weights.npy").absolute()


def _nearest(dx, dy, distance, mask):
    """Unit vector and closeness (1 / distance) to the nearest masked circle."""
    d = np.where(mask, distance, np.inf)
    k = np.argmin(d, axis=-1)[..., None]
    dist = np.take_along_axis(d, k, axis=-1)[..., 0]
    found = np.isfinite(dist)
    safe = np.where(found, np.maximum(dist, 1.0), 1.0)
    ux = np.where(found, np.take_along_axis(dx, k, axis=-1)[..., 0] / safe, 0.0)
    uy = np.where(found, np.take_along_axis(dy, k, axis=-1)[..., 0] / safe, 0.0)
    return ux, uy, np.where(found, 100.0 / safe, 0.0)


def features(radius, x, y, vx, vy):
    """Features of agent 0, shape (..., FEATURES), from arrays of shape (..., 15) and (..., 10)."""
    radius, x, y = (np.asarray(a, dtype=np.float64) for a in (radius, x, y))
    r0, x0, y0 = radius[..., :1], x[..., :1], y[..., :1]
    dx, dy = x - x0, y - y0
    distance = np.hypot(dx, dy)
    agents = np.zeros(radius.shape, dtype=bool)
    agents[..., 1:10] = True
    resources = np.zeros(radius.shape, dtype=bool)
    resources[..., 10:] = True
    alive = radius > 0
    food = _nearest(dx, dy, distance, resources & alive)
    threat = _nearest(dx, dy, distance - radius - r0, agents & alive & (radius > r0))
    prey = _nearest(dx, dy, distance, agents & alive & (radius < r0))
    return np.stack([
        food[0], food[1],
        -threat[0] * threat[2], -threat[1] * threat[2],
        prey[0], prey[1],
        np.asarray(vx, dtype=np.float64)[..., 0] / 10.0,
        np.asarray(vy, dtype=np.float64)[..., 0] / 10.0,
        (x0[..., 0] - WIDTH / 2) / (WIDTH / 2),
        (y0[..., 0] - HEIGHT / 2) / (HEIGHT / 2),
        np.ones(x0.shape[:-1]),
    ], axis=-1)


def act(weights, f):
    """Action codes for features `f` (..., FEATURES) under weights (2, FEATURES)."""
    wish = f @ weights.T
    axes = np.where(wish > 0.5, 1, np.where(wish < -0.5, -1, 0))
    return ACTION_OF[axes[..., 0] + 1, axes[..., 1] + 1]


_weights = np.load(WEIGHTS_FILE) if WEIGHTS_FILE.exists() else None


def controller(obs):
    if _weights is None:
        raise FileNotFoundError(f"{WEIGHTS_FILE} is missing: run train.py first")
    f = features(obs["radius"], obs["x"], obs["y"], obs["vx"], obs["vy"])
    return int(act(_weights, f))
