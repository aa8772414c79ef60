#!/usr/bin/env python3
"""Draws the dictionary editor's icon (a dark blue book with a white page and
the letter L) and writes it as a 32x32 32-bit .ico file: make_icon.py OUT."""
import struct
import sys

SIZE = 32
BLUE = (0x80, 0x30, 0x10, 0xFF)   # BGRA
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
BLACK = (0x00, 0x00, 0x00, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(x, y):
    if not (3 <= x <= 28 and 2 <= y <= 29):
        return CLEAR
    if 7 <= x <= 26 and 4 <= y <= 27:
        if (11 <= x <= 13 and 8 <= y <= 23) or (11 <= x <= 22 and 21 <= y <= 23):
            return BLACK
        return WHITE
    return BLUE


def main():
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        rows.append(b"".join(bytes(pixel(x, y)) for x in range(SIZE)))
    xor = b"".join(rows)
    mask_row = ((SIZE + 31) // 32) * 4
    and_mask = bytes(mask_row * SIZE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask),
                         0, 0, 0, 0)
    image = header + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(sys.argv[1], "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    main()
