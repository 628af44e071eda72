#!/usr/bin/env python3
"""Draws the settings dialog's component-kind images: one 16-colour bitmap of
100 x 16 pixels holding five 20 x 16 images in a row (decoder, encoder, convertor,
downloader, and a plain dash), on white, which the list view treats as transparent.

usage: kind_images.py OUTPUT.bmp [PREVIEW.png]
"""
import struct
import sys
import zlib

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# One character per pixel: its palette index.
INK = {
    '.': 15,  # white: transparent
    'k': 0,   # black
    'g': 8,   # grey
    's': 7,   # silver
    'n': 4,   # navy
    'b': 12,  # blue
    'G': 2,   # green
    'L': 10,  # lime
    'm': 1,   # maroon
    'r': 9,   # red
    'o': 3,   # olive
    'y': 11,  # yellow
    't': 6,   # teal
    'a': 14,  # aqua
}

# Decoder: a sound file whose audio comes out (the wave leaves the page).
DECODER = [
    "kkkkkkk.............",
    "k.....kk............",
    "k.....k.k...........",
    "k.....k..k..........",
    "k.....kkkkk.........",
    "k.........k....G....",
    "k...n.....k....GG...",
    "k..n.n...nkGGGGGLG..",
    "k.n...n.n.kGLLLLLLG.",
    "kn.....n..kGGGGGLG..",
    "k.........k....GG...",
    "k.........k....G....",
    "k.........k.........",
    "k.........k.........",
    "k.........k.........",
    "kkkkkkkkkkk.........",
]

# Encoder: audio going into a file that is being written.
ENCODER = [
    ".........kkkkkkk....",
    ".........k.....kk...",
    ".........k.....k.k..",
    ".........k.....k..k.",
    ".........k.....kkkkk",
    "....m....k.........k",
    "....mm...k.........k",
    "mmmmmrm..k..n...n..k",
    "mrrrrrrm.k.n.n.n.n.k",
    "mmmmmrm..kn...n...nk",
    "....mm...k.........k",
    "....m....k.........k",
    ".........k.........k",
    ".........k.........k",
    ".........k.........k",
    ".........kkkkkkkkkkk",
]

# Convertor: two arrows, one each way, between two kinds of wave.
CONVERTOR = [
    "....................",
    "..n..........n...n..",
    ".n.n........n.n.n.n.",
    "n...n......n...n...n",
    "....................",
    "...........t........",
    "nnnnnnnnnnnttt......",
    "naaaaaaaaaaaaat.....",
    "nnnnnnnnnnnttt......",
    "...........t........",
    "........t...........",
    "......tttnnnnnnnnnnn",
    ".....taaaaaaaaaaaaan",
    "......tttnnnnnnnnnnn",
    "........t...........",
    "....................",
]

# Downloader: an arrow coming down from the network into a tray.
DOWNLOADER = [
    "......nnnnnnn.......",
    ".....nbbbbbbbn......",
    "....nbb.b.b.bbn.....",
    "....nbbbbbbbbbn.....",
    ".....nnnGGGnnn......",
    "........GLG.........",
    "........GLG.........",
    "........GLG.........",
    ".....GGGGLGGGG......",
    "......GLLLLLG.......",
    "..g....GLLLG....g...",
    "..gs....GLG....sg...",
    "..gs.....G.....sg...",
    "..gsssssssssssssg...",
    "..ggggggggggggggg...",
    "....................",
]

# Unused fifth image: a plain dash.
DASH = [
    "....................",
    "....................",
    "....................",
    "....................",
    "....................",
    "....................",
    "....................",
    ".....kkkkkkkkkk.....",
    ".....kkkkkkkkkk.....",
    "....................",
    "....................",
    "....................",
    "....................",
    "....................",
    "....................",
    "....................",
]

IMAGES = [DECODER, ENCODER, CONVERTOR, DOWNLOADER, DASH]
WIDTH, HEIGHT = 20 * len(IMAGES), 16


def pixels():
    """Rows top to bottom, each a list of palette indices."""
    rows = []
    for y in range(HEIGHT):
        row = []
        for image in IMAGES:
            line = image[y]
            if len(image) != HEIGHT or len(line) != 20:
                raise SystemExit("image rows must be 20 pixels, 16 rows")
            row.extend(INK[c] for c in line)
        rows.append(row)
    return rows


def bmp(rows):
    """A bottom-up 4-bit BMP with a 16-entry palette, rows padded to 4 bytes."""
    stride = (WIDTH * 4 + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for x in range(0, WIDTH, 2):
            line.append(row[x] << 4 | (row[x + 1] if x + 1 < WIDTH else 0))
        line.extend(b"\0" * (stride - len(line)))
        data.extend(line)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(data), 2835, 2835, 16, 16)
    return header + info + palette + bytes(data)


def png(rows, scale=4):
    """An enlarged RGB preview, to look at the images while drawing them."""
    raw = bytearray()
    for row in rows:
        line = bytearray(b"\0")
        for index in row:
            line.extend(bytes(PALETTE[index]) * scale)
        raw.extend(bytes(line) * scale)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    head = struct.pack(">IIBBBBB", WIDTH * scale, HEIGHT * scale, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (2, 3):
        raise SystemExit(__doc__)
    rows = pixels()
    with open(argv[1], "wb") as out:
        out.write(bmp(rows))
    if len(argv) == 3:
        with open(argv[2], "wb") as out:
            out.write(png(rows))


if __name__ == "__main__":
    main(sys.argv)
