#!/usr/bin/env python3
"""Draws Furlane's icon: a white paw print on a blue rounded square.

    python3 packaging/icon/make_icon.py [OUT_DIR]

Writes furlane-<N>.png for the hicolor sizes and furlane.ico holding every
size from 16 to 256 (small sizes as 32-bit bitmaps, 128 and 256 as PNG, as
Windows keeps them). Python's standard library only; the output is the same
on every run, so the committed files change only when the drawing does.
"""
import math
import os
import struct
import sys
import zlib

PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)
ICO_SIZES = (16, 20, 24, 32, 40, 48, 64, 128, 256)
ICO_AS_PNG = 128   # this size and larger go into the .ico as PNG

TOP = (0x5B, 0x9B, 0xFF)      # the background's gradient, top to bottom
BOTTOM = (0x1D, 0x4E, 0xD8)
PAW = (0xFF, 0xFF, 0xFF)

# The drawing in a unit square: the card's rounded square, the pad and the
# four toes as (centre x, centre y, radius x, radius y, turn in degrees).
SQUARE_INSET = 0.03
SQUARE_RADIUS = 0.22
PAD = (0.50, 0.655, 0.215, 0.165, 0.0)
TOES = (
    (0.255, 0.445, 0.078, 0.100, -28.0),
    (0.400, 0.300, 0.082, 0.108, -10.0),
    (0.600, 0.300, 0.082, 0.108, 10.0),
    (0.745, 0.445, 0.078, 0.100, 28.0),
)


def in_square(x, y):
    lo, hi = SQUARE_INSET, 1.0 - SQUARE_INSET
    r = SQUARE_RADIUS
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return lo <= x <= hi and lo <= y <= hi and (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_ellipse(x, y, shape):
    cx, cy, rx, ry, turn = shape
    a = math.radians(turn)
    dx, dy = x - cx, y - cy
    u = dx * math.cos(a) + dy * math.sin(a)
    v = -dx * math.sin(a) + dy * math.cos(a)
    return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0


def in_paw(x, y):
    return in_ellipse(x, y, PAD) or any(in_ellipse(x, y, toe) for toe in TOES)


def render(size):
    """RGBA rows, top first, each a bytes object of size * 4."""
    samples = 8 if size <= 48 else 4
    step = 1.0 / (size * samples)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            covered = paw = 0
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * step
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * step
                    if in_square(x, y):
                        covered += 1
                        if in_paw(x, y):
                            paw += 1
            if not covered:
                row += b"\0\0\0\0"
                continue
            t = (py + 0.5) / size
            back = [TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3)]
            share = paw / covered
            colour = [round(back[i] + (PAW[i] - back[i]) * share) for i in range(3)]
            alpha = round(255 * covered / (samples * samples))
            row += bytes(colour + [alpha])
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def bitmap(size, rows):
    """The .ico form of a small size: BGRA rows bottom first, then an empty mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(row[i + j] for i in range(0, len(row), 4) for j in (2, 1, 0, 3))
                      for row in reversed(rows))
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + b"\0" * (mask_row * size)


def ico(images):
    entries, data = b"", b""
    offset = 6 + 16 * len(images)
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        data += blob
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + data


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    drawn = {size: render(size) for size in sorted(set(PNG_SIZES) | set(ICO_SIZES))}
    for size in PNG_SIZES:
        with open(os.path.join(out, "furlane-%d.png" % size), "wb") as f:
            f.write(png(size, drawn[size]))
    images = [(size, png(size, drawn[size]) if size >= ICO_AS_PNG else bitmap(size, drawn[size]))
              for size in ICO_SIZES]
    with open(os.path.join(out, "furlane.ico"), "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
