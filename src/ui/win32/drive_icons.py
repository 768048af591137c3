#!/usr/bin/env python3
"""Draws the drive list's two icons as .ico files (standard library only), each at 30, 45 and
60 pixels for 100, 150 and 200 % (the list's 30-pixel icon scaled with its window).

drive_refused.ico (image 0): a greyed drive with a red badge and a white bar.
drive_ready.ico   (image 1): a steel-blue drive with a green badge and a white check.

The drawing is made on the 30-pixel grid; a larger image takes, for each of its pixels, what
the 30-pixel drawing has at that pixel's centre, so the 30-pixel image is the drawing itself.
Pixels are either opaque or fully transparent, so the list draws them the same with or
without alpha blending. The window test reads a few of them back: the badge fill at
(21, 16), READY_BADGE or REFUSED_BADGE, and the drive body at (4, 15), at 30 pixels and
scaled.

Run from anywhere: python3 drive_icons.py [OUTPUT_FOLDER]  (default: this script's folder)
"""
import os
import struct
import sys

SIZE = 30
SIZES = (30, 45, 60)

OUTLINE = (52, 58, 70)
READY_BODY = (112, 122, 140)
REFUSED_BODY = (150, 150, 150)
LABEL = (206, 212, 222)
PIN = (214, 170, 60)
LED_READY = (90, 220, 110)
LED_REFUSED = (90, 90, 90)
READY_BADGE = (34, 160, 60)
REFUSED_BADGE = (200, 40, 40)
WHITE = (255, 255, 255)

BADGE_CENTRE = (21, 21)
BADGE_RADIUS = 7


class Image:
    """A square image of `size` pixels drawn on the 30-pixel grid."""

    def __init__(self, size):
        self.size = size
        self.k = size / SIZE
        self.px = [[None] * size for _ in range(size)]
        # Where each pixel's centre falls on the 30-pixel grid.
        self.src = [(i + 0.5) / self.k - 0.5 for i in range(size)]

    def paint(self, inside, colour):
        for y in range(self.size):
            for x in range(self.size):
                if inside(self.src[x], self.src[y]):
                    self.px[y][x] = colour


def fill_rect(img, x0, y0, x1, y1, colour):
    """Inclusive corners on the 30-pixel grid."""
    img.paint(lambda x, y: x0 - 0.5 <= x < x1 + 0.5 and y0 - 0.5 <= y < y1 + 0.5, colour)


def drive(img, body, led):
    # A 2.5-inch drive seen from the front: rounded outline, label, activity light, pins.
    fill_rect(img, 0, 4, 23, 22, OUTLINE)
    fill_rect(img, 1, 5, 22, 21, body)
    for x, y in ((0, 4), (23, 4), (0, 22), (23, 22)):
        fill_rect(img, x, y, x, y, None)
    fill_rect(img, 3, 7, 14, 11, LABEL)
    fill_rect(img, 18, 7, 20, 8, led)
    for x in range(3, 13, 3):
        fill_rect(img, x, 18, x + 1, 19, PIN)


def badge(img, colour):
    cx, cy = BADGE_CENTRE
    r2 = BADGE_RADIUS * BADGE_RADIUS
    ring2 = (BADGE_RADIUS + 1) ** 2 + BADGE_RADIUS

    def d2(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2

    # A thin ring keeps the badge apart from the drive.
    img.paint(lambda x, y: r2 + BADGE_RADIUS < d2(x, y) <= ring2, WHITE)
    img.paint(lambda x, y: d2(x, y) <= r2 + BADGE_RADIUS, colour)


def thick_line(img, a, b, colour):
    (x0, y0), (x1, y1) = a, b
    steps = max(abs(x1 - x0), abs(y1 - y0))
    for i in range(steps + 1):
        x = x0 + (x1 - x0) * i / steps
        y = y0 + (y1 - y0) * i / steps
        fill_rect(img, int(round(x)), int(round(y)), int(round(x)) + 1, int(round(y)) + 1, colour)


def ready(size):
    img = Image(size)
    drive(img, READY_BODY, LED_READY)
    badge(img, READY_BADGE)
    thick_line(img, (17, 21), (19, 23), WHITE)
    thick_line(img, (19, 23), (24, 18), WHITE)
    return img


def refused(size):
    img = Image(size)
    drive(img, REFUSED_BODY, LED_REFUSED)
    badge(img, REFUSED_BADGE)
    fill_rect(img, 17, 20, 25, 22, WHITE)
    return img


def image_bytes(img):
    """One 32-bit image with its AND mask, rows bottom-up, as the icon format stores them."""
    size = img.size
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray(mask_stride)
        for x in range(size):
            p = img.px[y][x]
            if p is None:
                xor += bytes((0, 0, 0, 0))
                row[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = p
                xor += bytes((b, g, r, 255))
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(images):
    blobs = [image_bytes(img) for img in images]
    directory = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for img, blob in zip(images, blobs):
        directory += struct.pack("<BBBBHHII", img.size, img.size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return directory + b"".join(blobs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, draw in (("drive_refused.ico", refused), ("drive_ready.ico", ready)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico_bytes([draw(size) for size in SIZES]))


if __name__ == "__main__":
    main()
