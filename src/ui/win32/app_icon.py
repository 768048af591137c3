#!/usr/bin/env python3
"""Draws the program's own icon as orvane.ico (standard library only): 16, 20, 24, 32, 40, 48
and 64 pixels as 32-bit images with alpha, 256 pixels as PNG, as Explorer, the caption and the
taskbar ask for them at 100 to 200 %.

A rounded tile in the banner's navy-to-blue, a white drive and a green arrow pointing up
(an update). Each pixel is the mean of 4 x 4 samples, so the edges are smooth at every size.

Run from anywhere: python3 app_icon.py [OUTPUT_FOLDER]  (default: this script's folder)
"""
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_FROM = 256  # this size and larger are stored as PNG
SAMPLES = 4

NAVY = (10, 30, 90)
BLUE = (40, 110, 215)
WHITE = (255, 255, 255)
SLOT = (52, 58, 70)
LED = (90, 220, 110)
ARROW = (34, 170, 70)


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y):
        d1, d2, d3 = side(a, b, x, y), side(b, c, x, y), side(c, a, x, y)
        return (d1 >= 0 and d2 >= 0 and d3 >= 0) or (d1 <= 0 and d2 <= 0 and d3 <= 0)
    return inside


def tile_colour(x, y):
    t = y
    return tuple(int(n + (b - n) * t) for n, b in zip(NAVY, BLUE))


# Painted in order, the last shape that holds a point gives its colour (a function of the
# point or a fixed colour). Coordinates run from 0 to 1 across the icon.
SHAPES = [
    (rounded(0.03, 0.03, 0.97, 0.97, 0.2), tile_colour),
    (rounded(0.16, 0.54, 0.84, 0.84, 0.06), WHITE),
    (rounded(0.24, 0.64, 0.58, 0.72, 0.02), SLOT),
    (rounded(0.66, 0.63, 0.76, 0.73, 0.05), LED),
    (rounded(0.41, 0.27, 0.59, 0.50, 0.02), ARROW),
    (triangle((0.22, 0.33), (0.78, 0.33), (0.50, 0.08)), ARROW),
]


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for inside, paint in SHAPES:
                        if inside(x, y):
                            colour = paint(x, y) if callable(paint) else paint
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 255
            a = acc[3] // n
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                covered = acc[3] // 255
                row.append((acc[0] // covered, acc[1] // covered, acc[2] // covered, a))
        rows.append(row)
    return rows


def bmp_image(size, rows):
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def png_image(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            raw += bytes(pixel)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def ico_bytes(sizes):
    blobs = []
    for size in sizes:
        rows = render(size)
        blobs.append(png_image(size, rows) if size >= PNG_FROM else bmp_image(size, rows))
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, blob in zip(sizes, blobs):
        side = size if size < 256 else 0  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return directory + b"".join(blobs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(out, "orvane.ico"), "wb") as f:
        f.write(ico_bytes(SIZES))


if __name__ == "__main__":
    main()
