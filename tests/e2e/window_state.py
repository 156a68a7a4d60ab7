#!/usr/bin/python3
"""Tells enabled controls from disabled ones in a screenshot of the window.

Reads a binary PPM (P6) screenshot on standard input, e.g. from
`import -window ID ppm:-`, and for each control given as X,Y,WIDTH,HEIGHT
(client pixels) prints 1 if it looks enabled and 0 if it looks disabled,
separated by blanks. An enabled control draws its text in black; a disabled
one in grey (about 190 of 255). The darkest pixel inside the control, away
from its frame, decides; the control must show some text there.
"""
import sys

DARK = 100  # enabled text reaches 0, disabled text stays near 190
INSET_X, INSET_Y = 5, 4  # skip the frame


def read_ppm(stream):
    data = stream.read()
    fields = []
    pos = 0
    while len(fields) < 4:  # magic, width, height, maxval
        while data[pos : pos + 1].isspace():
            pos += 1
        if data[pos : pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1  # the single blank after maxval
    if fields[0] != b"P6" or fields[3] != b"255":
        raise SystemExit("window_state: not an 8-bit P6 image")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos : pos + 3 * width * height]


def darkest(image, x, y, w, h):
    width, height, pixels = image
    low = 255
    for row in range(max(0, y + INSET_Y), min(height, y + h - INSET_Y)):
        for col in range(max(0, x + INSET_X), min(width, x + w - INSET_X)):
            i = 3 * (row * width + col)
            r, g, b = pixels[i], pixels[i + 1], pixels[i + 2]
            low = min(low, (299 * r + 587 * g + 114 * b) // 1000)
    return low


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    image = read_ppm(sys.stdin.buffer)
    flags = []
    for spec in argv[1:]:
        x, y, w, h = (int(v) for v in spec.split(","))
        flags.append("1" if darkest(image, x, y, w, h) < DARK else "0")
    print(" ".join(flags))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
