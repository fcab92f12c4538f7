#!/usr/bin/env python3
"""Writes the replay fuzzer's seeds into tests/fuzz/replay_corpus/.

Each seed is one flag byte (odd: the fuzzer makes the file's closing check match)
followed by a replay laid out as the game writes it, so the fuzzer starts from files
that get past the header. Run it again only to change the seeds.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "replay_corpus")


def fnv1a(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def replay(kind, runs, seed=0x5EED, step=1.0 / 60.0, frames=None):
    body = b"".join(struct.pack("<B3b3b", n, *a[:2], a[2], *b[:2], b[2]) for n, a, b in runs)
    if frames is None:
        frames = sum(n for n, _, _ in runs)
    head = b"VORBELRP" + struct.pack("<HHHBBQdII", 1, 1, 1, kind, 0, seed, step, frames, len(runs))
    data = head + body
    return data + struct.pack("<Q", fnv1a(data))


IDLE = (0, 0, 0)
SEEDS = {
    "empty": replay(0, []),
    "local": replay(0, [(3, IDLE, IDLE), (1, (0, 0, 5), IDLE), (1, IDLE, (0, 0, 5)), (40, (127, -20, 1), (-127, 64, 3))]),
    "bot": replay(1, [(2, IDLE, IDLE), (1, (0, 0, 5), IDLE), (255, (90, 90, 0), IDLE), (10, IDLE, IDLE)]),
    "online": replay(2, [(1, (5, 5, 0), (-5, -5, 2)), (1, IDLE, IDLE), (7, (0, 0, 8), (0, 0, 8))], step=0.15),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(b"\x01" + data)


if __name__ == "__main__":
    main()
