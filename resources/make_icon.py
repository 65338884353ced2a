#!/usr/bin/env python3
"""make_icon.py OUT.ico [--ground RRGGBB]: the program's icon, drawn here
rather than stored.

A white letter "A" on a plain blue ground with rounded corners, at 16, 32 and
48 pixels, as 32-bit images with alpha (and the 1-bit mask that systems
without alpha use). Edges are smoothed by sampling each pixel 4 x 4 times.
--ground draws it on another colour: the tests' stand-in for a maker's own
icon.
"""
import struct
import sys

GROUND = (0x8C, 0x4E, 0x1F)  # blue, as blue-green-red
GLYPH = (0xFF, 0xFF, 0xFF)
SAMPLES = 4


def inside_ground(x, y):
    """The ground: the unit square with corners rounded at radius 0.18."""
    r = 0.18
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_glyph(x, y):
    """The letter: two slanted stems meeting under the top, and a bar."""
    top, bottom = 0.16, 0.84
    if not top <= y <= bottom:
        return False
    t = (y - top) / (bottom - top)
    half_width = 0.03 + 0.27 * t   # the outer edges spread downwards
    stem = 0.085 + 0.03 * t          # stems thicken slightly
    offset = abs(x - 0.5)
    on_stem = half_width - stem <= offset <= half_width
    on_bar = 0.58 <= y <= 0.67 and offset <= half_width
    return on_stem or on_bar


def pixel(size, px, py):
    """BGRA of pixel (px, py), py counted from the top."""
    ground = glyph = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if inside_ground(x, y):
                ground += 1
                if inside_glyph(x, y):
                    glyph += 1
    total = SAMPLES * SAMPLES
    if ground == 0:
        return (0, 0, 0, 0)
    share = glyph / ground
    colour = tuple(round(g * (1 - share) + w * share) for g, w in zip(GROUND, GLYPH))
    return colour + (round(255 * ground / total),)


def image(size):
    rows = [[pixel(size, x, y) for x in range(size)] for y in range(size)]
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main(argv):
    global GROUND
    if len(argv) == 4 and argv[2] == "--ground" and len(argv[3]) == 6:
        red, green, blue = bytes.fromhex(argv[3])
        GROUND = (blue, green, red)
        argv = argv[:2]
    if len(argv) != 2:
        sys.exit(__doc__)
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv)
