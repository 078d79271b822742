#!/usr/bin/env python3
"""Draws the program icon (a white quill over a blue tile) and writes res/Quillmend.ico.

One 64 by 64 image, 32 bits per pixel with alpha, stored as a DIB (what every Windows version
reads). Plain Python, no imaging library; the output is the same bytes on every run.
Usage: scripts/make-icon.py [output.ico]
"""
import math
import os
import struct
import sys

SIZE = 64
SUPERSAMPLE = 4


def tile_coverage(x, y):
    """Rounded square, corner radius 10, 2 pixels in from the edge."""
    inset, radius = 2.0, 10.0
    lo, hi = inset + radius, SIZE - inset - radius
    dx = max(lo - x, 0.0, x - hi)
    dy = max(lo - y, 0.0, y - hi)
    return 1.0 if dx * dx + dy * dy <= radius * radius else 0.0


def rotate(x, y):
    """Coordinates along the quill (u, from nib to tip) and across it (v)."""
    cx, cy = 33.0, 31.0
    angle = math.radians(45.0)
    px, py = x - cx, y - cy
    u = px * math.cos(angle) - py * math.sin(angle)
    v = px * math.sin(angle) + py * math.cos(angle)
    return u, v


def feather(u, v):
    """The vane: a leaf shape from u = -12 to u = 26, widest towards the tip."""
    if u < -12.0 or u > 26.0:
        return False
    t = (u + 12.0) / 38.0
    half_width = 8.5 * math.sin(math.pi * t) ** 0.8 * (0.55 + 0.45 * t)
    return abs(v) <= half_width


def shaft(u, v):
    return -22.0 <= u <= 24.0 and abs(v) <= 0.9


def nib(u, v):
    """A short golden point below the vane."""
    return -26.0 <= u <= -12.0 and abs(v) <= (u + 26.0) * 0.16


def pixel_colour(x, y):
    """Colour (r, g, b) and coverage of one sample point."""
    if not tile_coverage(x, y):
        return (0, 0, 0), 0.0
    u, v = rotate(x, y)
    if nib(u, v):
        return (230, 180, 60), 1.0
    if shaft(u, v):
        return (150, 170, 200), 1.0
    if feather(u, v):
        # Barbs: faint stripes across the vane.
        shade = 235 + int(15 * math.sin(u * 1.7))
        return (shade, shade, 255), 1.0
    # Tile: blue, lighter at the top.
    k = y / SIZE
    return (int(40 + 30 * (1 - k)), int(90 + 50 * (1 - k)), int(170 + 50 * (1 - k))), 1.0


def render():
    """Rows top to bottom of (b, g, r, a), averaged over SUPERSAMPLE^2 points per pixel."""
    rows = []
    n = SUPERSAMPLE * SUPERSAMPLE
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            r = g = b = a = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = px + (sx + 0.5) / SUPERSAMPLE
                    y = py + (sy + 0.5) / SUPERSAMPLE
                    (cr, cg, cb), cov = pixel_colour(x, y)
                    r += cr * cov
                    g += cg * cov
                    b += cb * cov
                    a += cov
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                # Colour premultiplied by coverage, undone here: stored colour is straight.
                row.append((round(b / a), round(g / a), round(r / a), round(255 * a / n)))
        rows.append(row)
    return rows


def ico_bytes(rows):
    colour = bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        for b, g, r, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((SIZE + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'res', 'Quillmend.ico')
    with open(out, 'wb') as f:
        f.write(ico_bytes(render()))


if __name__ == '__main__':
    main()
