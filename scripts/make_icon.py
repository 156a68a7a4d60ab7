#!/usr/bin/env python3
"""Draws the application icon: a rectangular pulse train on a dark panel.

Writes resources/pulsegen.png, one 128 x 128 image at 24 bits per pixel
(PNG colour type 2, 8 bits per channel). Run it again only to redraw.
"""
import os
import struct
import zlib

SIZE = 128
PANEL = (24, 40, 64)
GRID = (40, 64, 96)
TRACE = (80, 230, 120)
FRAME = (200, 200, 200)


def pixel(x, y):
    if x < 4 or y < 4 or x >= SIZE - 4 or y >= SIZE - 4:
        return FRAME
    # One period is 32 px: 14 px high, 18 px low, like a pulse of 14/32 duty.
    high_y, low_y, width = 36, 92, 4
    phase = (x - 8) % 32
    on_edge = phase in (0, 1, 2, 3) or phase in (14, 15, 16, 17)
    level = high_y if phase < 16 else low_y
    if 8 <= x < SIZE - 8:
        if abs(y - level) < width // 2 + 1:
            return TRACE
        if on_edge and high_y <= y <= low_y:
            return TRACE
    if (x % 16 == 0) or (y % 16 == 0):
        return GRID
    return PANEL


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    rows = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(SIZE)) for y in range(SIZE))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "pulsegen.png")
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
