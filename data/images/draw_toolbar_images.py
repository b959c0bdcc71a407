#!/usr/bin/env python3
"""Draws the six toolbar images (bmp/mail1.bmp ... mail6.bmp, 16 x 16, 24-bit) with the standard
library only.

mail1 Not Spam: envelope with a green tick.     mail2 Spam: envelope with a red cross.
mail3 Live Update: green arrow pointing down.   mail4 Help: blue circle with a question mark.
mail5 About: blue circle with an "i".           mail6 Config: grey cog wheel.

Every pixel is the average of 4 x 4 samples over the toolbar's grey, so edges are smooth.
Run it from this folder: python3 draw_toolbar_images.py
"""
import math
import struct

SIZE = 16
SAMPLES = 4
BACKGROUND = (240, 240, 240)
WHITE = (255, 255, 255)
ENVELOPE_EDGE = (90, 100, 120)
GREEN = (40, 150, 60)
RED = (210, 40, 40)
BLUE = (35, 95, 185)
GREY = (110, 115, 125)


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= half_width


def envelope(x, y):
    """Returns the colour of an envelope in the upper left 13 x 9 area, or None outside it."""
    if not (0.5 <= x <= 13.5 and 2.5 <= y <= 11.5):
        return None
    if x < 1.5 or x > 12.5 or y < 3.5 or y > 10.5:
        return ENVELOPE_EDGE
    if near_segment(x, y, 1, 3, 7, 8, 0.6) or near_segment(x, y, 13, 3, 7, 8, 0.6):
        return ENVELOPE_EDGE
    return WHITE


def badge(x, y, mark):
    """Returns the colour of a small round badge in the lower right corner, or None."""
    d = math.hypot(x - 11.5, y - 11.5)
    if d > 4.5:
        return None
    if d > 3.7:
        return WHITE
    if mark(x, y):
        return WHITE
    return None


def not_spam(x, y):
    if math.hypot(x - 11.5, y - 11.5) <= 4.5:
        tick = near_segment(x, y, 9.5, 11.7, 11, 13.2, 0.7) or near_segment(x, y, 11, 13.2, 13.7, 9.8, 0.7)
        return badge(x, y, lambda *_: tick) or GREEN
    return envelope(x, y)


def spam(x, y):
    if math.hypot(x - 11.5, y - 11.5) <= 4.5:
        cross = near_segment(x, y, 9.8, 9.8, 13.2, 13.2, 0.7) or near_segment(x, y, 13.2, 9.8, 9.8, 13.2, 0.7)
        return badge(x, y, lambda *_: cross) or RED
    return envelope(x, y)


def live_update(x, y):
    if 6 <= x <= 10 and 1 <= y <= 8:
        return GREEN
    if y >= 8 and abs(x - 8) <= 14 - y and y <= 14:
        return GREEN
    if near_segment(x, y, 2, 15, 14, 15, 0.6):
        return GREY
    return None


def question(x, y):
    d = math.hypot(x - 8, y - 8)
    if d > 7.5:
        return None
    arc = abs(math.hypot(x - 8, y - 6) - 2.4) <= 0.8 and not (x < 8 and y > 6)
    stem = near_segment(x, y, 8, 8.4, 8, 10, 0.8)
    dot = math.hypot(x - 8, y - 12.3) <= 1.0
    return WHITE if arc or stem or dot else BLUE


def about(x, y):
    d = math.hypot(x - 8, y - 8)
    if d > 7.5:
        return None
    dot = math.hypot(x - 8, y - 4.3) <= 1.1
    stem = 7 <= x <= 9 and 6.5 <= y <= 12.5
    return WHITE if dot or stem else BLUE


def config(x, y):
    d = math.hypot(x - 8, y - 8)
    angle = math.atan2(y - 8, x - 8)
    tooth = math.cos(8 * angle) > 0.3
    if d <= 2.3:
        return None
    if d <= 5.3 or (tooth and d <= 7.3):
        return GREY
    return None


IMAGES = {1: not_spam, 2: spam, 3: live_update, 4: question, 5: about, 6: config}


def pixel(draw, px, py):
    total = [0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            colour = draw(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES) or BACKGROUND
            for i in range(3):
                total[i] += colour[i]
    return tuple(round(t / (SAMPLES * SAMPLES)) for t in total)


def bmp(rows):
    """Returns a 24-bit BMP file of the rows (top row first); rows of 16 pixels need no padding."""
    pixels = b"".join(bytes((b, g, r)) for row in reversed(rows) for (r, g, b) in row)
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return file_header + info_header + pixels


if __name__ == "__main__":
    for number, draw in IMAGES.items():
        rows = [[pixel(draw, x, y) for x in range(SIZE)] for y in range(SIZE)]
        with open(f"bmp/mail{number}.bmp", "wb") as out:
            out.write(bmp(rows))
