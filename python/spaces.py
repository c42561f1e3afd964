"""Spaces of observations and actions, as reinforcement-learning libraries expect them.

Box, Discrete, MultiDiscrete and Dict have the attributes and methods of
Gymnasium's spaces of those names (shape, dtype, low/high or n/nvec,
contains(), sample(), seed()) without needing Gymnasium. Each draws its
samples from its own numpy Generator: seed(s) makes them repeatable.

This file is compiled into the module and runs as pelloria.spaces.
"""
import numpy as np


class Space:
    """What every space has: a shape, a dtype and a generator for samples."""

    def __init__(self, shape, dtype, seed=None):
        self._shape = None if shape is None else tuple(int(d) for d in shape)
        self.dtype = None if dtype is None else np.dtype(dtype)
        self._np_random = None
        if seed is not None:
            self.seed(seed)

    @property
    def shape(self):
        return self._shape

    @property
    def np_random(self):
        if self._np_random is None:
            self.seed()
        return self._np_random

    def seed(self, seed=None):
        """Seeds the generator of sample(); returns the seeds used, as a list."""
        self._np_random = np.random.default_rng(seed)
        return [seed]

    def __contains__(self, x):
        return self.contains(x)


def _as_array(x):
    """x as an array, or None when it is not array-like at all."""
    if isinstance(x, np.ndarray):
        return x
    if isinstance(x, (list, tuple, int, float, np.generic)) and not isinstance(x, bool):
        try:
            return np.asarray(x)
        except (TypeError, ValueError):
            return None
    return None


class Box(Space):
    """Arrays of `shape` whose every entry lies in [low, high]."""

    def __init__(self, low, high, shape=None, dtype=np.float32, seed=None):
        dtype = np.dtype(dtype)
        if shape is None:
            shape = np.broadcast(np.asarray(low), np.asarray(high)).shape
        shape = tuple(int(d) for d in shape)
        self.low = np.broadcast_to(np.asarray(low, dtype=dtype), shape).copy()
        self.high = np.broadcast_to(np.asarray(high, dtype=dtype), shape).copy()
        if (self.low > self.high).any():
            raise ValueError("Box needs low <= high everywhere")
        super().__init__(shape, dtype, seed)

    def contains(self, x):
        x = _as_array(x)
        if x is None or x.shape != self.shape:
            return False
        if not np.can_cast(x.dtype, self.dtype):
            # Python's own numbers arrive as int64 or float64; they fit when
            # their values do.
            if not (x.dtype.kind in "iu" and self.dtype.kind in "iuf"):
                return False
        return bool(np.all(x >= self.low) and np.all(x <= self.high))

    def sample(self):
        """Uniform in the box: whole numbers for an integer dtype."""
        if self.dtype.kind in "iu":
            drawn = self.np_random.integers(self.low, self.high, endpoint=True, dtype=np.int64)
        else:
            drawn = self.np_random.uniform(self.low, self.high)
        return drawn.astype(self.dtype)

    def __repr__(self):
        return f"Box({self.low.min()}, {self.high.max()}, {self.shape}, {self.dtype})"

    def __eq__(self, other):
        return (isinstance(other, Box) and self.shape == other.shape and self.dtype == other.dtype
                and np.array_equal(self.low, other.low) and np.array_equal(self.high, other.high))


class Discrete(Space):
    """The whole numbers start .. start + n - 1."""

    def __init__(self, n, seed=None, start=0):
        if int(n) < 1:
            raise ValueError("Discrete needs n >= 1")
        self.n = np.int64(n)
        self.start = np.int64(start)
        super().__init__((), np.int64, seed)

    def contains(self, x):
        if isinstance(x, (bool, np.bool_)):
            return False
        if isinstance(x, np.ndarray):
            if x.shape != () or x.dtype.kind not in "iu":
                return False
            x = x.item()
        elif not isinstance(x, (int, np.integer)):
            return False
        return bool(self.start <= x < self.start + self.n)

    def sample(self):
        return self.start + self.np_random.integers(self.n)

    def __repr__(self):
        return f"Discrete({self.n})" if self.start == 0 else f"Discrete({self.n}, start={self.start})"

    def __eq__(self, other):
        return isinstance(other, Discrete) and self.n == other.n and self.start == other.start


class MultiDiscrete(Space):
    """Arrays of whole numbers, entry i from 0 to nvec[i] - 1: one Discrete per entry."""

    def __init__(self, nvec, dtype=np.int64, seed=None):
        self.nvec = np.array(nvec, dtype=dtype, copy=True)
        if (self.nvec < 1).any():
            raise ValueError("MultiDiscrete needs every entry of nvec >= 1")
        super().__init__(self.nvec.shape, dtype, seed)

    def contains(self, x):
        x = _as_array(x)
        if x is None or x.shape != self.shape or x.dtype.kind not in "iu":
            return False
        return bool(np.all(x >= 0) and np.all(x < self.nvec))

    def sample(self):
        return self.np_random.integers(self.nvec).astype(self.dtype)

    def __repr__(self):
        return f"MultiDiscrete({self.nvec.tolist()})"

    def __eq__(self, other):
        return isinstance(other, MultiDiscrete) and np.array_equal(self.nvec, other.nvec)


class Dict(Space):
    """Dicts with the same keys, each value in its own space."""

    def __init__(self, spaces, seed=None):
        self.spaces = dict(spaces)
        super().__init__(None, None, None)
        if seed is not None:
            self.seed(seed)

    def seed(self, seed=None):
        """Seeds every space from one generator; returns the seeds used."""
        root = np.random.SeedSequence(seed)
        children = root.spawn(len(self.spaces))
        self._np_random = np.random.default_rng(root)
        for space, child in zip(self.spaces.values(), children):
            space.seed(child)
        return [seed]

    def contains(self, x):
        if not isinstance(x, dict) or x.keys() != self.spaces.keys():
            return False
        return all(space.contains(x[key]) for key, space in self.spaces.items())

    def sample(self):
        return {key: space.sample() for key, space in self.spaces.items()}

    def __getitem__(self, key):
        return self.spaces[key]

    def keys(self):
        return self.spaces.keys()

    def __repr__(self):
        return "Dict(" + ", ".join(f"{k!r}: {s!r}" for k, s in self.spaces.items()) + ")"

    def __eq__(self, other):
        return isinstance(other, Dict) and self.spaces == other.spaces


def batch(space, n):
    """The space of n values of `space` stacked along a first axis."""
    if isinstance(space, Box):
        return Box(np.stack([space.low] * n), np.stack([space.high] * n), dtype=space.dtype)
    if isinstance(space, Discrete):
        return MultiDiscrete(np.full(n, space.n))
    if isinstance(space, Dict):
        return Dict({key: batch(sub, n) for key, sub in space.spaces.items()})
    raise TypeError(f"cannot batch {space!r}")


KEYS = ("radius", "x", "y", "vx", "vy")


def observation_space(circles, agents, width, height, max_radius, max_speed, flat):
    """A Game's observations: int32 arrays by name, or (flat) their values end to end as float32."""
    bounds = {"radius": (0, max_radius, circles), "x": (0, width, circles), "y": (0, height, circles),
              "vx": (-max_speed, max_speed, agents), "vy": (-max_speed, max_speed, agents)}
    if flat:
        low = np.concatenate([np.full(n, lo) for lo, _, n in bounds.values()])
        high = np.concatenate([np.full(n, hi) for _, hi, n in bounds.values()])
        return Box(low, high, dtype=np.float32)
    return Dict({key: Box(lo, hi, (n,), np.int32) for key, (lo, hi, n) in bounds.items()})


def flat_slices(circles, agents):
    """Where each array lies in a flat observation."""
    sizes = {"radius": circles, "x": circles, "y": circles, "vx": agents, "vy": agents}
    slices, start = {}, 0
    for key in KEYS:
        slices[key] = slice(start, start + sizes[key])
        start += sizes[key]
    return slices
