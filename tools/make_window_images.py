#!/usr/bin/env python3
"""Draws the window's background picture (470 x 540) and its icons (16 x 16, 48 x 48) as PNG
files in resources/. Run again after changing the drawing; the PNGs are committed."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")


def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a)"""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(bytes(pixel(x, y)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def background(x, y):
    # A calm light gradient, a slightly deeper band behind the heading text, and a thin
    # orange rule under it; the lower strip (buttons) a touch darker.
    top, bottom = (226, 233, 242), (246, 248, 251)
    if y < 44:
        c = mix((205, 218, 235), (222, 231, 243), y / 44)
    elif y < 46:
        c = (255, 140, 60)
    elif y >= 440:
        c = mix((236, 240, 246), (228, 233, 240), (y - 440) / 100)
    else:
        c = mix(top, bottom, (y - 46) / 394)
    # a faint diagonal sheen on the right
    sheen = max(0.0, 1 - abs((x - 0.55 * y) - 330) / 140) * 6
    return tuple(min(255, round(v + sheen)) for v in c) + (255,)


def icon(size):
    def pixel(x, y):
        s = size / 16.0
        fx, fy = (x + 0.5) / s, (y + 0.5) / s
        # a page with a folded corner, three text lines and a red bullet
        inside = 2.5 <= fx <= 13.5 and 1.5 <= fy <= 14.5 and not (fx > 10.5 and fy < 4.5 and (fx - 10.5) > (fy - 1.5))
        edge = inside and (fx < 3.5 or fx > 12.5 or fy < 2.5 or fy > 13.5)
        if math.hypot(fx - 5.5, fy - 10.5) <= 2.0:
            shade = min(1.0, math.hypot(fx - 4.8, fy - 9.8) / 2.6)
            return mix((255, 110, 60), (170, 20, 10), shade) + (255,)
        if not inside:
            return (0, 0, 0, 0)
        if edge:
            return (52, 86, 140, 255)
        if 5.5 <= fy <= 6.5 and 5 <= fx <= 11:
            return (90, 120, 170, 255)
        if 8.0 <= fy <= 9.0 and 8.5 <= fx <= 11:
            return (90, 120, 170, 255)
        return (250, 251, 253, 255)
    return pixel


if __name__ == "__main__":
    write_png(os.path.join(OUT, "background.png"), 470, 540, background)
    write_png(os.path.join(OUT, "icon16.png"), 16, 16, icon(16))
    write_png(os.path.join(OUT, "icon48.png"), 48, 48, icon(48))
