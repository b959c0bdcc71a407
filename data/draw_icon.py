#!/usr/bin/env python3
"""Draws the program icon (RGBA PNG) with the standard library only.

A blue tile with a white envelope and a red no-entry badge, drawn on a 64 x 64 grid and scaled
to the size asked for. Every pixel is the average of 4 x 4 samples, so edges are smooth.
  python3 draw_icon.py                  tervane.png, 64 x 64, in the working folder
  python3 draw_icon.py SIZE OUTPUT      OUTPUT, SIZE x SIZE (the installed icon theme sizes)
"""
import math
import struct
import sys
import zlib

SIZE = 64
SAMPLES = 4


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius and left <= x <= right and top <= y <= bottom


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= half_width


def sample(x, y):
    """Returns the colour (r, g, b, a) of the point x, y, or None for transparent."""
    badge = math.hypot(x - 46, y - 46)
    if badge <= 14:
        if badge > 12.5:
            return (255, 255, 255, 255)
        if abs(y - 46) <= 2.6 and abs(x - 46) <= 8:
            return (255, 255, 255, 255)
        return (214, 38, 43, 255)
    if 11 <= x <= 53 and 18 <= y <= 47:
        if near_segment(x, y, 11, 18, 32, 35, 1.4) or near_segment(x, y, 53, 18, 32, 35, 1.4):
            return (27, 79, 156, 255)
        if x < 12.4 or x > 51.6 or y < 19.4 or y > 45.6:
            return (27, 79, 156, 255)
        return (255, 255, 255, 255)
    if in_rounded_rect(x, y, 1, 1, 63, 63, 12):
        t = y / SIZE
        return (round(60 - 33 * t), round(140 - 61 * t), round(222 - 66 * t), 255)
    return None


def pixel(px, py, scale):
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            colour = sample((px + (sx + 0.5) / SAMPLES) * scale, (py + (sy + 0.5) / SAMPLES) * scale)
            if colour is None:
                continue
            for i in range(3):
                total[i] += colour[i] * colour[3]
            total[3] += colour[3]
    alpha = total[3] / (SAMPLES * SAMPLES)
    if total[3] == 0:
        return (0, 0, 0, 0)
    return tuple(round(total[i] / total[3]) for i in range(3)) + (round(alpha),)


def png(width, height, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


if __name__ == "__main__":
    size = int(sys.argv[1]) if len(sys.argv) > 1 else SIZE
    output = sys.argv[2] if len(sys.argv) > 2 else "tervane.png"
    rows = [[pixel(x, y, SIZE / size) for x in range(size)] for y in range(size)]
    with open(output, "wb") as out:
        out.write(png(size, size, rows))
