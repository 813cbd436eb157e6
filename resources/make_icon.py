#!/usr/bin/env python3
"""Draws the updater's icon, a blue crystal with a green update badge, and
writes it as a Windows .ico with 16x16, 32x32 and 48x48 images.

Each image is a 4-bit palettized BMP (the classic icon format every Windows
reads) with a 1-bit transparency mask, which keeps the three images under
3 KiB in all. Usage: make_icon.py OUT.ico
"""
import math
import struct
import sys

SIZES = (16, 32, 48)
SUPERSAMPLE = 4

# Index 0 stands behind transparent pixels; the mask hides it.
PALETTE = [
    (0, 0, 0),
    (16, 24, 64),      # outline
    (20, 50, 140),     # deep facet
    (40, 90, 200),     # mid facet
    (80, 150, 235),    # light facet
    (150, 210, 250),   # pale facet
    (235, 248, 255),   # glint
    (10, 80, 30),      # badge rim
    (30, 150, 60),     # badge
    (90, 200, 110),    # badge light
    (255, 255, 255),   # arrow
    (60, 120, 220),
    (110, 180, 245),
    (25, 70, 170),
    (50, 170, 80),
    (200, 230, 250),
]


def inside_polygon(x, y, points):
    inside = False
    n = len(points)
    for i in range(n):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                inside = not inside
    return inside


# The crystal, in unit coordinates: a crown of three facets over a pavilion
# of three, the light falling from the upper left.
CROWN_LEFT = [(0.08, 0.36), (0.26, 0.12), (0.40, 0.12), (0.32, 0.36)]
CROWN_MID = [(0.32, 0.36), (0.40, 0.12), (0.60, 0.12), (0.68, 0.36)]
CROWN_RIGHT = [(0.68, 0.36), (0.60, 0.12), (0.74, 0.12), (0.92, 0.36)]
PAVILION_LEFT = [(0.08, 0.36), (0.32, 0.36), (0.50, 0.92)]
PAVILION_MID = [(0.32, 0.36), (0.68, 0.36), (0.50, 0.92)]
PAVILION_RIGHT = [(0.68, 0.36), (0.92, 0.36), (0.50, 0.92)]
OUTLINE = [(0.26, 0.12), (0.74, 0.12), (0.92, 0.36), (0.50, 0.92), (0.08, 0.36)]
FACETS = [
    (CROWN_LEFT, 4), (CROWN_MID, 5), (CROWN_RIGHT, 3),
    (PAVILION_LEFT, 3), (PAVILION_MID, 4), (PAVILION_RIGHT, 2),
]

BADGE_CENTRE = (0.74, 0.74)
BADGE_RADIUS = 0.25


def outline_distance(x, y):
    best = 1.0
    for i in range(len(OUTLINE)):
        (x1, y1), (x2, y2) = OUTLINE[i], OUTLINE[(i + 1) % len(OUTLINE)]
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
        best = min(best, math.hypot(x - x1 - t * dx, y - y1 - t * dy))
    return best


def arrow(x, y):
    """A downward arrow in the badge: a shaft and a head."""
    cx, cy = BADGE_CENTRE
    u, v = (x - cx) / BADGE_RADIUS, (y - cy) / BADGE_RADIUS
    if abs(u) < 0.2 and -0.62 < v < 0.1:
        return True
    return v >= 0.0 and v < 0.62 and abs(u) < 0.58 * (0.62 - v) / 0.62


def colour(x, y, size):
    """The palette colour at (x, y), or None where the icon is transparent."""
    line = 1.0 / size
    cx, cy = BADGE_CENTRE
    d = math.hypot(x - cx, y - cy)
    if d < BADGE_RADIUS:
        if arrow(x, y):
            return PALETTE[10]
        if d > BADGE_RADIUS - line * 1.1:
            return PALETTE[7]
        return PALETTE[9] if y < cy - BADGE_RADIUS * 0.35 else PALETTE[8]
    if not inside_polygon(x, y, OUTLINE):
        return None
    if outline_distance(x, y) < line * 0.9:
        return PALETTE[1]
    # A glint near the upper left of the crown.
    if math.hypot(x - 0.30, y - 0.22) < 0.045:
        return PALETTE[6]
    for points, index in FACETS:
        if inside_polygon(x, y, points):
            return PALETTE[index]
    return PALETTE[3]


def nearest(rgb):
    return min(range(1, len(PALETTE)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(PALETTE[i], rgb)))


def render(size):
    """Rows of palette indices, None for transparent, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            samples = []
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    c = colour((px + (sx + 0.5) / SUPERSAMPLE) / size,
                               (py + (sy + 0.5) / SUPERSAMPLE) / size, size)
                    if c is not None:
                        samples.append(c)
            if len(samples) * 2 < SUPERSAMPLE * SUPERSAMPLE:
                row.append(None)
            else:
                mean = tuple(sum(c[k] for c in samples) / len(samples) for k in range(3))
                row.append(nearest(mean))
        rows.append(row)
    return rows


def bmp_image(size, rows):
    xor_stride = (size * 4 + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor, mask = b"", b""
    for row in reversed(rows):  # bottom-up
        nibbles = [0 if i is None else i for i in row]
        line = bytes((nibbles[k] << 4) | nibbles[k + 1] for k in range(0, size, 2))
        xor += line.ljust(xor_stride, b"\0")
        bits = 0
        for k, i in enumerate(row):
            if i is None:
                bits |= 1 << (and_stride * 8 - 1 - k)
        mask += bits.to_bytes(and_stride, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, len(PALETTE), 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + xor + mask


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUT.ico")
    images = [bmp_image(size, render(size)) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
        data += image
    with open(sys.argv[1], "wb") as out:
        out.write(directory + entries + data)


if __name__ == "__main__":
    main()
