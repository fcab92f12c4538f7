#!/usr/bin/env python3
"""Writes the packet fuzzer's seeds into tests/fuzz/packet_corpus/.

One well-formed message of each kind, laid out as the game writes them (one type
byte, then little-endian fields), including a whole match state, so the fuzzer starts
from packets that get past the first checks. Run it again only to change the seeds.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "packet_corpus")


def vec(x, y, z):
    return struct.pack("<3d", x, y, z)


def player(index):
    start = (-6.0, 0.5, 0.0) if index == 0 else (6.0, 0.5, 0.0)
    b = vec(0, 0, 0) + struct.pack("<d", 4.0) + vec(1.0, -2.0, 0.5) + struct.pack("<d", -25.0)
    # step, squash, squash duration, stretch speed, air time, hold time, jump speed,
    # hold accel, step interval, dust timer
    b += struct.pack("<10d", 0.1, 0.0, 0.8, 0.2, 0.0, 1.0, 5.0, 40.0, 0.25, 0.05)
    b += vec(0.6, 0.6, 0.6) + struct.pack("<d", 0.1)
    # wobble, dash progress, dash distance, dash rate, dash time
    b += struct.pack("<5d", 0.3, 0.0, 0.4, 10.0, 0.0) + vec(*start)
    b += struct.pack("<fii", 99.0, index, 3)
    b += bytes([0, 1, 0, 0, index, 1, 0, 0])  # dashing .. jump_held
    return b


def instance(position, visible):
    return vec(*position) + vec(1, 1, 1) + struct.pack("<f", 0.0) + bytes([visible])


def state():
    b = player(0) + player(1) + bytes([1, 1]) + struct.pack("<d", 12.5)
    b += struct.pack("<4d", 0.2, 3.0, 0.4, 2.5)
    for i in range(24):
        b += vec(1.0, 0.2, 1.0) + bytes([0, 1 if i in (3, 15) else 0, 0, 1 if i >= 12 else 0])
    for i in range(20):
        active = i < 2
        b += vec(6.5, 0.25, -0.5) + vec(-5.5, 0.25, -0.5) + vec(-1, 0, 0) + vec(0.25, 0.25, 12.0)
        b += struct.pack("<2d", 1.25 if active else 0.0, 3.0) + bytes([0 if active else 3, 1 if active else 0])
    b += struct.pack("<i", 7) + struct.pack("<4Q", 1, 2, 3, 4)
    b += instance((-6, 0, 0), 1) + instance((6, 0, 0), 1)
    for i in range(24):
        b += instance((0, 0.1, 0), 1)
    for i in range(20):
        b += instance((0, 0, 0), 0)
    return b


SEEDS = {
    "hello": bytes([1]) + struct.pack("<IHH", 0x4C425256, 1, 1),
    "hello_newer": bytes([1]) + struct.pack("<IHH", 0x4C425256, 2, 9) + b"more",
    "welcome": bytes([2]) + struct.pack("<HHQd", 1, 1, 0x5EED, 1.0 / 60.0),
    "refuse": bytes([3, 1]) + struct.pack("<HH", 1, 2),
    "inputs": bytes([4]) + struct.pack("<IIB", 40, 38, 3) + bytes([127, 0, 1, 0x81, 12, 3, 0, 0, 12]),
    "inputs_empty": bytes([4]) + struct.pack("<IIB", 0, 0, 0),
    "checksum": bytes([5]) + struct.pack("<IQ", 120, 0x0123456789ABCDEF),
    "state": bytes([6]) + struct.pack("<I", 600) + state(),
    "pause": bytes([7, 1, 2]),
    "leave": bytes([8]),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
