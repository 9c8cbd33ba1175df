#!/usr/bin/env python3
"""Draws the chooser's ten glyphs as 16-colour BMP files next to this script.

Each picture is text: one character per pixel, a hex digit naming a colour of the standard
16-colour palette, "." for the background. The background is teal and fills the bottom-left
pixel, which is what the controls take as the transparent colour.
Run: python3 make_glyphs.py
"""
import os
import struct

PALETTE = [  # (red, green, blue), the standard 16-colour order
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BACKGROUND = 6  # teal; never used inside a picture

GLYPHS = {
    "HARD": [
        "................",
        "................",
        "..888888888888..",
        ".87777777777778.",
        ".8FFFFFFFFFFF780",
        ".8F7777777777780",
        ".8F777777777A780",
        ".8F7777777777780",
        ".888888888888888",
        "..00000000000000",
        "................",
    ],
    "FLOPPY": [
        "................",
        "...8888888888...",
        "..8777777777788.",
        "..8F777777777880",
        "..8F700000077780",
        "..8F777777777780",
        "..8F77777777A780",
        "..88888888888888",
        "...0000000000000",
        "................",
        "................",
    ],
    "NETWORK": [
        "..888888888888..",
        ".87777777777778.",
        ".8FFFFFFFFFFF780",
        ".8F777777777A780",
        ".888888888888888",
        "..00000000000000",
        ".......00.......",
        ".......00.......",
        "..000000000000..",
        "................",
        "................",
    ],
    "CDROM": [
        "................",
        "..888888888888..",
        ".87777777777778.",
        ".8F7777777777780",
        ".8F0000000000788",
        ".8F7777777777780",
        ".8F777777777A780",
        ".888888888888888",
        "..00000000000000",
        "................",
        "................",
    ],
    "RAM": [
        "................",
        "..0.0.0.0.0.0...",
        ".0000000000000..",
        ".0888888888880..",
        ".08A8A8A8A8A80..",
        ".0888888888880..",
        ".0000000000000..",
        "..0.0.0.0.0.0...",
        "................",
        "................",
        "................",
    ],
    "CLOSEDFOLDER": [
        "................",
        "................",
        "..88888.........",
        ".8BBBBB8........",
        ".8BBBBBB8888888.",
        ".8BBBBBBBBBBBB80",
        ".8BBBBBBBBBBBB80",
        ".8BBBBBBBBBBBB80",
        ".8BBBBBBBBBBBB80",
        ".8BBBBBBBBBBBB80",
        ".8BBBBBBBBBBBB80",
        ".8BBBBBBBBBBBB80",
        ".888888888888880",
        "..00000000000000",
        "................",
    ],
    "OPENFOLDER": [
        "................",
        "................",
        "..88888.........",
        ".8BBBBB8........",
        ".8BBBBBB8888888.",
        ".8BB888888888888",
        ".8B8BBBBBBBBBBB0",
        ".8B8BBBBBBBBBB0.",
        ".88BBBBBBBBBBB0.",
        ".88BBBBBBBBBB0..",
        ".8BBBBBBBBBBB0..",
        ".8BBBBBBBBBB0...",
        ".8000000000000..",
        "................",
        "................",
    ],
    "CURRENTFOLDER": [
        "................",
        "................",
        "..88888.........",
        ".8BBBBB8........",
        ".8BBBBBB8888888.",
        ".8BBFFFFFFFFF880",
        ".8BBF00000000F80",
        ".8B8888888888880",
        ".8B8BBBBBBBBBBB0",
        ".88BBBBBBBBBBB0.",
        ".88BBBBBBBBBB0..",
        ".8BBBBBBBBBBB0..",
        ".8000000000000..",
        "................",
        "................",
    ],
    "EXECUTABLE": [
        "................",
        "................",
        ".00000000000000.",
        ".04444444444440.",
        ".04444444444F40.",
        ".00000000000000.",
        ".0FFFFFFFFFFFF0.",
        ".0F7777777777F0.",
        ".0F7777777777F0.",
        ".0F7777777777F0.",
        ".0F7777777777F0.",
        ".0FFFFFFFFFFFF0.",
        ".00000000000000.",
        "................",
        "................",
    ],
    "UNKNOWNFILE": [
        "................",
        "...000000000....",
        "...0FFFFFFF00...",
        "...0FFFFFFF0F0..",
        "...0FFFFFFF0000.",
        "...0FFFFFFFFFF0.",
        "...0F8888888FF0.",
        "...0FFFFFFFFFF0.",
        "...0F88888888F0.",
        "...0FFFFFFFFFF0.",
        "...0F8888888FF0.",
        "...0FFFFFFFFFF0.",
        "...0FFFFFFFFFF0.",
        "...000000000000.",
        "................",
    ],
}

SIZES = {name: (16, 11) for name in ("HARD", "FLOPPY", "NETWORK", "CDROM", "RAM")}
SIZES.update({name: (16, 15) for name in
              ("CLOSEDFOLDER", "OPENFOLDER", "CURRENTFOLDER", "EXECUTABLE", "UNKNOWNFILE")})


def pixels(name):
    """The picture as rows of palette indices, cut or padded to the glyph's size."""
    width, height = SIZES[name]
    rows = []
    for line in GLYPHS[name][:height]:
        line = line[:width].ljust(width, ".")
        rows.append([BACKGROUND if c == "." else int(c, 16) for c in line])
    while len(rows) < height:
        rows.append([BACKGROUND] * width)
    # The transparent colour is read from the bottom-left pixel.
    assert rows[-1][0] == BACKGROUND, name
    return rows


def bmp(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 4 + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows):  # BMP rows run bottom-up
        packed = bytearray((row[i] << 4) | (row[i + 1] if i + 1 < width else 0)
                           for i in range(0, width, 2))
        data += packed.ljust(stride, b"\0")
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    return header + info + palette + bytes(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name in GLYPHS:
        with open(os.path.join(here, name + ".bmp"), "wb") as out:
            out.write(bmp(pixels(name)))


if __name__ == "__main__":
    main()
