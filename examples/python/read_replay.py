"""Reads a Pelloria replay with nothing but Python's standard library.

    python3 read_replay.py 1-libmine-seed4.replay.gz

prints the header and, for every step, agent 0's radius and what changed it.
docs/replay-format.md describes the format.
"""
import gzip
import json
import sys

ARRAYS = (("r", 15), ("vx", 10), ("vy", 10), ("a", 10), ("x", 15), ("y", 15))
CAUSES = ("wall", "contest", "meal")


def read_replay(path):
    """Returns (header, frames); each frame a dict of step, r, x, y, vx, vy, a, agent0."""
    with gzip.open(path, "rb") as f:
        header = json.loads(f.readline())
        data = f.read()
    if header.get("format") != "pelloria-replay" or header.get("version") not in (1, 2):
        raise ValueError("not a Pelloria replay of version 1 or 2")
    if header["version"] == 1:
        return header, [json.loads(line) for line in data.splitlines()]

    pos = 0

    def varint():
        nonlocal pos
        value = shift = 0
        while True:
            byte = data[pos]
            pos += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                return value

    def signed():
        value = varint()
        return (value >> 1) ^ -(value & 1)

    state = {name: [0] * size for name, size in ARRAYS}
    frames = []
    while pos < len(data):
        listed = data[pos]
        pos += 1
        for bit, (name, size) in enumerate(ARRAYS):
            values = state[name]
            if name in ("x", "y"):  # unless listed, a position moves by its velocity
                velocity = state["v" + name]
                for i in range(10):
                    values[i] += velocity[i]
            if listed >> bit & 1:
                mask = data[pos] | data[pos + 1] << 8
                pos += 2
                for i in range(size):
                    if mask >> i & 1:
                        values[i] += signed()
        changes = []
        for _ in range(varint()):
            cause = CAUSES[varint()]
            changes.append([cause, signed(), signed()])
        frame = {name: list(values) for name, values in state.items()}
        frame.update(step=len(frames), agent0=changes)
        frames.append(frame)
    return header, frames


if __name__ == "__main__":
    header, frames = read_replay(sys.argv[1])
    print(json.dumps(header))
    for frame in frames:
        print(frame["step"], frame["r"][0], frame["agent0"])
