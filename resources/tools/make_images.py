#!/usr/bin/env python3
"""Draws the toolbar bitmap and the application icon pixel by pixel and writes
toolbar.bmp, vellum.ico and vellum.png next to this folder (python3 standard library only).

Run it from anywhere: python3 resources/tools/make_images.py
"""
import math
import os
import struct
import zlib

OUT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

# The 16-colour palette of the toolbar and the icon, in this order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (128, 128, 128),
    (192, 192, 192), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DKYELLOW, DKGREY, LTGREY = 0, 3, 7, 8
RED, GREEN, YELLOW, BLUE, CYAN, WHITE = 9, 10, 11, 12, 14, 15

# Letters of the drawings below; '.' is the light-grey background.
KEY = {".": LTGREY, "k": BLACK, "y": YELLOW, "Y": DKYELLOW, "g": DKGREY,
       "w": WHITE, "b": BLUE}

OPEN_FOLDER = [
    "................",
    "..........kkk...",
    ".........k...k.k",
    "..............kk",
    ".kkk.........kkk",
    "kwwwkkkkkkk.....",
    "kwYYYYYYYYk.....",
    "kwYYYYYYYYk.....",
    "kwYYYkkkkkkkkkkk",
    "kwYYkyyyyyyyyyk.",
    "kwYkyyyyyyyyyk..",
    "kwkyyyyyyyyyk...",
    "kkyyyyyyyyyk....",
    "kkkkkkkkkkk.....",
    "................",
]
DISKETTE = [
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kkgggggggggkkk.",
    ".kkgyyykyyygkkk.",
    ".kkgkkkkkkkgkkk.",
    ".kkgyykyyyygkkk.",
    ".kkgggggggggkkk.",
    ".kkkkkkkkkkkkkk.",
    ".kkkkkkkkkkkkkk.",
    ".kkkggggggggkkk.",
    ".kkkggkkgggggkk.",
    ".kkkggkkgggggkk.",
    ".kkkggkkgggggkk.",
    "..kkkkkkkkkkkkk.",
    "................",
]
QUESTION = [
    "................",
    ".....yyyyyy.....",
    "....yyYYYYyy....",
    "...yyY....yyY...",
    "...yyY....yyY...",
    "....YY...yyY....",
    "........yyY.....",
    ".......yyY......",
    ".......yyY......",
    ".......yyY......",
    "........YY......",
    "................",
    ".......yyY......",
    ".......yyY......",
    "........YY......",
]
POINTER_HELP = [
    "................",
    ".k.........bbb..",
    ".kk.......b...b.",
    ".kkk..........b.",
    ".kkkk........b..",
    ".kkkkk......b...",
    ".kkkkkk.....b...",
    ".kkkkkkk........",
    ".kkkkkkkk...b...",
    ".kkkkkkkkk......",
    ".kkkkkk.........",
    ".kk.kkkk........",
    ".k...kkk........",
    ".....kkkk.......",
    "......kk........",
]


def toolbar_pixels():
    images = [OPEN_FOLDER, DISKETTE, QUESTION, POINTER_HELP]
    rows = []
    for y in range(15):
        row = []
        for image in images:
            assert len(image) == 15 and all(len(r) == 16 for r in image)
            row.extend(KEY[c] for c in image[y])
        rows.append(row)
    return rows


def icon_pixels(size):
    """Index per pixel, None where transparent: a blue ring with a cyan inner band and
    three squares on it, red at the top, green at the lower left, yellow at the lower right."""
    s = size / 32.0
    c = (size - 1) / 2.0
    rows = [[None] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            r = math.hypot(x - c, y - c)
            if 11.0 * s <= r < 15.0 * s:
                rows[y][x] = BLUE
            elif 7.5 * s <= r < 11.0 * s:
                rows[y][x] = CYAN
    half = int(round(4 * s))
    radius = 11.0 * s
    for angle, colour in ((-90, RED), (135, GREEN), (45, YELLOW)):
        cx = c + radius * math.cos(math.radians(angle))
        cy = c + radius * math.sin(math.radians(angle))
        x0, y0 = int(round(cx - half + 0.5)), int(round(cy - half + 0.5))
        for y in range(y0, y0 + 2 * half):
            for x in range(x0, x0 + 2 * half):
                if 0 <= x < size and 0 <= y < size:
                    edge = x in (x0, x0 + 2 * half - 1) or y in (y0, y0 + 2 * half - 1)
                    rows[y][x] = BLACK if edge else colour
    return rows


def pack4(row):
    """4-bit pixels, high nibble first, padded to a multiple of four bytes."""
    out = bytearray()
    for i in range(0, len(row), 2):
        hi = row[i]
        lo = row[i + 1] if i + 1 < len(row) else 0
        out.append((hi << 4) | lo)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def pack1(bits):
    out = bytearray()
    for i in range(0, len(bits), 8):
        byte = 0
        for j, b in enumerate(bits[i:i + 8]):
            byte |= b << (7 - j)
        out.append(byte)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def palette_bgrx():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def info_header(width, height, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_bytes, 0, 0, 16, 0)


def write_bmp(path, rows):
    width, height = len(rows[0]), len(rows)
    bits = b"".join(pack4(r) for r in reversed(rows))
    offset = 14 + 40 + 64
    data = info_header(width, height, len(bits)) + palette_bgrx() + bits
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(data), 0, 0, offset) + data)


def ico_image(rows):
    size = len(rows)
    xor = b"".join(pack4([0 if p is None else p for p in r]) for r in reversed(rows))
    mask = b"".join(pack1([1 if p is None else 0 for p in r]) for r in reversed(rows))
    # An icon's header counts the XOR and AND bitmaps together, hence twice the height.
    return info_header(size, 2 * size, len(xor) + len(mask)) + palette_bgrx() + xor + mask


def write_ico(path, images):
    blobs = [ico_image(rows) for rows in images]
    offset = 6 + 16 * len(blobs)
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    for rows, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", len(rows), len(rows), 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def write_png(path, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = bytearray()
    for r in rows:
        raw.append(0)
        for p in r:
            raw += bytes(PALETTE[p]) + b"\xff" if p is not None else b"\0\0\0\0"
    ihdr = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    write_bmp(os.path.join(OUT, "toolbar.bmp"), toolbar_pixels())
    icon32, icon16 = icon_pixels(32), icon_pixels(16)
    write_ico(os.path.join(OUT, "vellum.ico"), [icon32, icon16])
    write_png(os.path.join(OUT, "vellum.png"), icon32)


if __name__ == "__main__":
    main()
