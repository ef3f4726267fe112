#!/usr/bin/env python3
"""Draws kavo.ico: one 32 x 32 image in 16 colours.

A grey window with a blue title bar, and over it a smaller window whose face
carries the letters exe. Run from this folder to write kavo.ico again; the
output is byte for byte the same each time.
"""
import struct

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15
CLEAR = None
SIZE = 32

# 3 x 5 letters.
GLYPHS = {
    "e": ["###", "#..", "###", "#..", "###"],
    "x": ["#.#", "#.#", ".#.", "#.#", "#.#"],
}


def draw():
    pixels = [[CLEAR] * SIZE for _ in range(SIZE)]

    def window(left, top, right, bottom, title_rows, face):
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                edge = x in (left, right) or y in (top, bottom)
                if edge:
                    pixels[y][x] = BLACK
                elif y <= top + title_rows:
                    pixels[y][x] = NAVY if x < right - 4 else BLUE
                else:
                    pixels[y][x] = face
        # A shadow on the right and bottom edges.
        for y in range(top + 1, bottom + 2):
            if right + 1 < SIZE and y < SIZE:
                pixels[y][right + 1] = GREY
        for x in range(left + 1, right + 2):
            if bottom + 1 < SIZE and x < SIZE:
                pixels[bottom + 1][x] = GREY

    window(1, 2, 23, 20, 3, SILVER)
    window(9, 13, 29, 29, 3, WHITE)
    x = 14
    for letter in "exe":
        for row, line in enumerate(GLYPHS[letter]):
            for column, mark in enumerate(line):
                if mark == "#":
                    pixels[20 + row][x + column] = BLACK
        x += 4
    return pixels


def icon_bytes(pixels):
    xor_rows = []
    and_rows = []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = pixels[y]
        xor = bytearray()
        for x in range(0, SIZE, 2):
            high = row[x] if row[x] is not None else 0
            low = row[x + 1] if row[x + 1] is not None else 0
            xor.append(high << 4 | low)
        mask = 0
        for x in range(SIZE):
            mask = mask << 1 | (row[x] is None)
        xor_rows.append(bytes(xor))
        and_rows.append(struct.pack(">I", mask))
    xor_data = b"".join(xor_rows)
    and_data = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor_data) + len(and_data), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + xor_data + and_data
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open("kavo.ico", "wb") as out:
        out.write(icon_bytes(draw()))
