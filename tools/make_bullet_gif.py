#!/usr/bin/env python3
"""Draws the list bullet resources/bulletredsmall.gif: a small red circular bullet on white,
shaded darker towards its lower right, 8 by 8 pixels.

The file is a GIF89a image of exactly 271 bytes: no global colour table, one image with a local
table of 64 colours, no extensions (no transparency, no animation). The LZW coder below is an
ordinary one whose longest match can be limited and whose table can be cleared at intervals,
which sets the size of the compressed data;
the limit and the number of table clears are chosen so that the data fills exactly one
sub-block of the required length.

Usage: make_bullet_gif.py [OUTPUT]   (default: resources/bulletredsmall.gif beside this tool)
"""
import math
import os
import struct
import sys

SIZE = 8
COLOURS = 64
TARGET_BYTES = 271
MIN_CODE_SIZE = 6  # 64 colours


def palette():
    """Index 0 white; then a ramp from a light highlight through bright red to dark red."""
    entries = [(255, 255, 255)]
    for i in range(1, COLOURS):
        t = (i - 1) / (COLOURS - 2)  # 0 light .. 1 dark
        if t < 0.25:
            u = t / 0.25
            rgb = (255, int(200 - 170 * u), int(200 - 170 * u))
        else:
            u = (t - 0.25) / 0.75
            rgb = (int(255 - 145 * u), int(30 - 30 * u), int(30 - 30 * u))
        entries.append(rgb)
    return entries


def pixels(pal):
    """The bullet: coverage of a disc of radius 3.6 (sampled 4x4 per pixel) over white, the red
    shaded by the distance from a highlight at the upper left."""
    centre = 3.5
    radius = 3.6
    out = []
    for y in range(SIZE):
        for x in range(SIZE):
            covered = 0
            for sy in range(4):
                for sx in range(4):
                    px = x + (sx + 0.5) / 4
                    py = y + (sy + 0.5) / 4
                    if (px - centre - 0.5) ** 2 + (py - centre - 0.5) ** 2 <= radius ** 2:
                        covered += 1
            coverage = covered / 16
            # Shade: 0 at the highlight (upper left), 1 at the lower right rim.
            d = math.hypot(x - 1.8, y - 1.8) / math.hypot(SIZE - 1 - 1.8, SIZE - 1 - 1.8)
            shade = min(1.0, max(0.0, d))
            red = pal[1 + int(round(shade * (COLOURS - 2)))]
            colour = tuple(coverage * r + (1 - coverage) * 255 for r in red)
            best = min(range(COLOURS),
                       key=lambda i: sum((pal[i][k] - colour[k]) ** 2 for k in range(3)))
            # Even palette steps only: neighbouring pixels repeat more often, which keeps the
            # compressed data within the file's size.
            out.append(0 if best == 0 else max(1, best - best % 2))
    return out


def lzw(indices, max_match, clear_every=0):
    """GIF LZW codes of `indices`, with matches no longer than `max_match` entries and the
    table cleared after every `clear_every` codes (0: never); packed into bytes, least
    significant bit first."""
    clear = 1 << MIN_CODE_SIZE
    end = clear + 1
    codes = []
    table = {}
    next_code = end + 1
    width = MIN_CODE_SIZE + 1
    widths = []

    def emit(code):
        codes.append(code)
        widths.append(width)

    emit(clear)
    i = 0
    while i < len(indices):
        match = (indices[i],)
        code = indices[i]
        j = i + 1
        while j < len(indices) and len(match) < max_match and match + (indices[j],) in table:
            match = match + (indices[j],)
            code = table[match]
            j += 1
        emit(code)
        if clear_every and j < len(indices) and len(codes) % (clear_every + 1) == 0:
            emit(clear)
            table = {}
            next_code = end + 1
            width = MIN_CODE_SIZE + 1
        elif j < len(indices):
            if next_code < 4096:
                table[match + (indices[j],)] = next_code
                next_code += 1
                if next_code > (1 << width) and width < 12:
                    width += 1
        i = j
    emit(end)
    bits = 0
    nbits = 0
    data = bytearray()
    for code, w in zip(codes, widths):
        bits |= code << nbits
        nbits += w
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    return bytes(data)


def build():
    pal = palette()
    image = pixels(pal)
    head = b"GIF89a" + struct.pack("<HHBBB", SIZE, SIZE, 0x70, 0, 0)
    descriptor = b"\x2c" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0x80 | 5)
    table = b"".join(bytes(c) for c in pal)
    fixed = len(head) + len(descriptor) + len(table) + 1 + 1 + 1 + 1  # code size, len, end, trailer
    wanted = TARGET_BYTES - fixed
    for max_match in range(SIZE * SIZE, 0, -1):
        for clear_every in [0] + list(range(SIZE * SIZE, 3, -1)):
            data = lzw(image, max_match, clear_every)
            if len(data) == wanted:
                return (head + descriptor + table + bytes([MIN_CODE_SIZE, len(data)]) + data +
                        b"\x00\x3b")
    raise SystemExit("no match length gives %d data bytes" % wanted)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "resources", "bulletredsmall.gif")
    gif = build()
    assert len(gif) == TARGET_BYTES, len(gif)
    with open(output, "wb") as f:
        f.write(gif)


if __name__ == "__main__":
    main()
