#!/usr/bin/env python3
"""Writes the program's icon (icon resource 128, drawn by make_icon128.py) as
a Windows icon file for the resource compiler, at the sizes Windows asks for
on any display scale: 16, 24, 32, 48 and 256 pixels. The 24, 48 and 256
pixel images are the 16 and 32 pixel drawings enlarged pixel by pixel (the
drawing is pixel art: enlarged, it stays sharp); the 256 pixel one is
stored as PNG, as Windows expects an image that large.

    make_icon_file.py OUTPUT.ico
"""
import struct
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_icon128  # noqa: E402

ICON_FILE_TYPE = 1          # icon, not cursor
BITMAP_HEADER_SIZE = 40     # BITMAPINFOHEADER
BITS_PER_PIXEL = 32         # blue, green, red, alpha


def image_bytes(rows, palette):
    """One icon image: header, colour pixels bottom row first, then the
    transparency mask (1 = show what lies behind), rows padded to 4 bytes."""
    size = len(rows)
    # The height counts the colour image and the mask together.
    header = struct.pack("<IiiHHIIiiII", BITMAP_HEADER_SIZE, size, 2 * size, 1, BITS_PER_PIXEL,
                         0, 0, 0, 0, 0, 0)
    colours = bytearray()
    mask = bytearray()
    mask_row_bytes = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, pixel in enumerate(row):
            if pixel == ".":
                colours += b"\0\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                rgb = palette[int(pixel, 16)]
                colours += bytes((rgb & 0xFF, (rgb >> 8) & 0xFF, rgb >> 16, 0xFF))
        mask += bits
    return header + bytes(colours) + bytes(mask)


def enlarged(rows, size):
    """`rows` drawn at `size` pixels, each pixel taken from the nearest one."""
    source = len(rows)
    return ["".join(rows[y * source // size][x * source // size] for x in range(size))
            for y in range(size)]


def png_bytes(rows, palette):
    """One icon image as PNG: 8-bit RGBA, transparent where nothing is drawn."""
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            if pixel == ".":
                raw += b"\0\0\0\0"
            else:
                rgb = palette[int(pixel, 16)]
                raw += bytes((rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, 0xFF))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# Size in pixels, the drawing it comes from, and whether it is stored as PNG.
IMAGES = (
    (16, make_icon128.draw_small, False),
    (24, make_icon128.draw_small, False),
    (32, make_icon128.draw_large, False),
    (48, make_icon128.draw_large, False),
    (256, make_icon128.draw_large, True),
)
LARGEST_DIRECTORY_SIZE = 256  # written as 0 in the directory's one-byte fields


def main():
    output = Path(sys.argv[1])
    images = []
    for size, draw, as_png in IMAGES:
        rows = enlarged(draw(), size)
        images.append(png_bytes(rows, make_icon128.PALETTE) if as_png
                      else image_bytes(rows, make_icon128.PALETTE))
    directory = struct.pack("<HHH", 0, ICON_FILE_TYPE, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for image, (size, _, _) in zip(images, IMAGES):
        side = size % LARGEST_DIRECTORY_SIZE
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, BITS_PER_PIXEL, len(image), offset)
        offset += len(image)
    output.write_bytes(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
