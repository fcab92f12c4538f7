#!/usr/bin/env python3
"""Writes the font fuzzer's seed fonts into tests/fuzz/font_corpus/.

Tiny TrueType files built here from nothing (no font of anyone else's goes in), each a
few hundred bytes so the fuzzer spends its time on the parts that matter: simple
outlines with on- and off-curve points, an empty glyph, composites placed by offset,
by a scale and by point matching, nested composites, short and long glyph offsets,
and cmap formats 4 and 12. Run it again only to change the seeds.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

ON = 0x01
WORDS, XY, SCALE, MORE = 0x0001, 0x0002, 0x0008, 0x0020


def simple(contours):
    """A simple glyph from contours of (x, y, on_curve) points."""
    pts = [p for c in contours for p in c]
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    out = struct.pack(">hhhhh", len(contours), min(xs), min(ys), max(xs), max(ys))
    end = -1
    for c in contours:
        end += len(c)
        out += struct.pack(">H", end)
    out += struct.pack(">H", 0)  # no instructions
    out += bytes(ON if p[2] else 0 for p in pts)
    px = py = 0
    for p in pts:
        out += struct.pack(">h", p[0] - px)
        px = p[0]
    for p in pts:
        out += struct.pack(">h", p[1] - py)
        py = p[1]
    return out


def composite(bbox, parts):
    """parts: (glyph, flags, arg1, arg2, scale or None)."""
    out = struct.pack(">hhhhh", -1, *bbox)
    for i, (glyph, flags, a1, a2, scale) in enumerate(parts):
        f = flags | WORDS | (MORE if i + 1 < len(parts) else 0) | (SCALE if scale is not None else 0)
        fmt = ">HHhh" if flags & XY else ">HHHH"
        out += struct.pack(fmt, f, glyph, a1, a2)
        if scale is not None:
            out += struct.pack(">h", int(scale * 16384))
    return out


def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def checksum(b):
    b = pad4(b)
    return sum(struct.unpack(">%dI" % (len(b) // 4), b)) & 0xFFFFFFFF


def cmap4(mapping):
    codes = sorted(mapping)
    segs = [(c, c, mapping[c] - c) for c in codes] + [(0xFFFF, 0xFFFF, 1)]
    n = len(segs)
    body = struct.pack(">HHHH", 2 * n, 2, 0, 2 * n - 2)
    body += b"".join(struct.pack(">H", s[1]) for s in segs) + b"\0\0"
    body += b"".join(struct.pack(">H", s[0]) for s in segs)
    body += b"".join(struct.pack(">h", s[2] if s[2] < 0x8000 else s[2] - 0x10000) for s in segs)
    body += b"\0\0" * n
    sub = struct.pack(">HHH", 4, 6 + len(body), 0) + body
    return struct.pack(">HHHHI", 0, 1, 3, 1, 12) + sub


def cmap12(mapping):
    groups = [(c, c, g) for c, g in sorted(mapping.items())]
    sub = struct.pack(">HHIII", 12, 0, 16 + 12 * len(groups), 0, len(groups))
    sub += b"".join(struct.pack(">III", *g) for g in groups)
    return struct.pack(">HHHHI", 0, 1, 3, 10, 12) + sub


def font(glyphs, mapping, long_loca=False, cmap=cmap4):
    glyf = b""
    offsets = []
    for g in glyphs:
        offsets.append(len(glyf))
        glyf += pad4(g)
    offsets.append(len(glyf))
    loca = b"".join(struct.pack(">I", o) for o in offsets) if long_loca else \
        b"".join(struct.pack(">H", o // 2) for o in offsets)
    n = len(glyphs)
    tables = {
        b"head": struct.pack(">IIIIHHqqhhhhHHhhh", 0x10000, 0x10000, 0, 0x5F0F3CF5, 0x000B, 1000, 0, 0,
                             0, -200, 900, 800, 0, 8, 2, 1 if long_loca else 0, 0),
        b"hhea": struct.pack(">IhhhHhhhhhhhhhhhH", 0x10000, 800, -200, 0, 700, 0, 0, 900, 1, 0, 0,
                             0, 0, 0, 0, 0, n),
        b"maxp": struct.pack(">IHHHHHHHHHHHHHH", 0x10000, n, 16, 4, 32, 8, 2, 0, 0, 0, 0, 0, 0, 4, 3),
        b"hmtx": b"".join(struct.pack(">Hh", 600, 0) for _ in glyphs),
        b"cmap": cmap(mapping),
        b"loca": loca,
        b"glyf": glyf,
        b"name": struct.pack(">HHH", 0, 0, 6),
        b"post": struct.pack(">IIhhIIIII", 0x30000, 0, -100, 50, 0, 0, 0, 0, 0),
    }
    tags = sorted(tables)
    count = len(tags)
    out = struct.pack(">IHHHH", 0x10000, count, 128, 3, count * 16 - 128)
    offset = 12 + 16 * count
    body = b""
    for t in tags:
        data = tables[t]
        out += struct.pack(">4sIII", t, checksum(data), offset + len(body), len(data))
        body += pad4(data)
    return out + body


notdef = simple([[(50, 0, 1), (50, 700, 1), (550, 700, 1), (550, 0, 1)],
                 [(100, 50, 1), (500, 50, 1), (500, 650, 1), (100, 650, 1)]])
tri = simple([[(0, 0, 1), (300, 700, 1), (450, 400, 0), (600, 0, 1)]])
empty = b""
by_offset = composite((0, -100, 700, 600), [(1, XY, 100, -100, 0.5)])
matched = composite((0, 0, 900, 700), [(1, XY, 0, 0, None), (1, 0, 3, 0, None)])
nested = composite((0, -100, 900, 700), [(3, XY, 0, 0, None), (2, XY, 50, 0, None)])

base = [notdef, tri, by_offset, matched, empty, nested]
mapping = {ord("A"): 1, ord("B"): 2, ord("C"): 3, ord(" "): 4, ord("D"): 5, ord("a"): 1}

seeds = {
    "composites": font(base, mapping),
    "long_offsets": font(base, mapping, long_loca=True),
    "cmap12": font(base, mapping, cmap=cmap12),
    "outline_only": font([notdef, tri], {ord("A"): 1}),
}
out_dir = os.path.join(HERE, "font_corpus")
os.makedirs(out_dir, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out_dir, name + ".ttf"), "wb") as f:
        f.write(data)
