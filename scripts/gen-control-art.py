#!/usr/bin/env python3
"""Writes the control's picture (res/brisel.bmp, 31 x 31, 4 bpp) and icon
(res/brisel.ico, 32 x 32 and 16 x 16, 4 bpp): a window with a half-lowered
sunblind and the sun below it. The picture's right column and bottom row are
magenta, a colour used nowhere else, so a test can tell that they are never
painted. Run it again after changing the drawing; the outputs are committed.
"""
import struct
import sys
from pathlib import Path

# The 16 standard colours, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, YELLOW, MAGENTA, AQUA, WHITE, OLIVE = 0, 4, 7, 8, 11, 13, 14, 15, 3


def picture(size=30):
    """size x size indices: frame, head rail, slats over the upper half, sky
    with the sun in the lower right."""
    px = [[AQUA] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if x in (0, size - 1) or y in (0, size - 1):
                px[y][x] = NAVY
    for y in range(1, 4):
        for x in range(1, size - 1):
            px[y][x] = GREY                                  # head rail
    for y in range(4, size // 2 + 2):
        for x in range(2, size - 2):
            px[y][x] = SILVER if (y % 2 == 0) else WHITE     # slats
    bottom = size // 2 + 2
    for x in range(2, size - 2):
        px[bottom][x] = OLIVE                                # bottom bar
    cx, cy, r = size * 2 // 3, size * 3 // 4, size // 7 + 1
    for y in range(bottom + 1, size - 1):
        for x in range(1, size - 1):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                px[y][x] = YELLOW                            # sun
    for y in range(4, bottom):
        px[y][size - 4] = BLACK                              # cord
    return px


def dib(px, width, height, with_mask):
    """BITMAPINFOHEADER, palette and 4-bpp rows bottom-up (plus an all-opaque
    AND mask for icons, whose header height counts both)."""
    row = ((width * 4 + 31) // 32) * 4
    bits = bytearray()
    for y in reversed(range(height)):
        line = bytearray(row)
        for x in range(width):
            v = px[y][x]
            line[x // 2] |= v << 4 if x % 2 == 0 else v
        bits += line
    mask = b""
    if with_mask:
        mrow = ((width + 31) // 32) * 4
        mask = bytes(mrow * height)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * (2 if with_mask else 1), 1, 4, 0,
                         len(bits) + len(mask), 0, 0, 16, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + pal + bytes(bits) + mask


def scaled(px, size):
    n = len(px)
    return [[px[y * n // size][x * n // size] for x in range(size)] for y in range(size)]


def main(out):
    base = picture(30)
    big = [row + [MAGENTA] for row in base] + [[MAGENTA] * 31]
    body = dib(big, 31, 31, False)
    bmp = struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + 40 + 64) + body
    (out / "brisel.bmp").write_bytes(bmp)

    images = [dib(scaled(base, s), s, s, True) for s in (32, 16)]
    ico = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip((32, 16), images):
        ico += struct.pack("<BBBBHHII", s, s, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    (out / "brisel.ico").write_bytes(ico + b"".join(images))


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "res")
