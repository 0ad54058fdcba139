#!/usr/bin/env python3
"""Writes the program's icon (icon resource 128, drawn by make_icon128.py) as
a Windows icon file with its 32 and 16 pixel images, for the resource
compiler.

    make_icon_file.py OUTPUT.ico
"""
import struct
import sys
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


def main():
    output = Path(sys.argv[1])
    images = [image_bytes(draw(), make_icon128.PALETTE)
              for draw in (make_icon128.draw_large, make_icon128.draw_small)]
    directory = struct.pack("<HHH", 0, ICON_FILE_TYPE, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for image, size in zip(images, (32, 16)):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, BITS_PER_PIXEL, len(image), offset)
        offset += len(image)
    output.write_bytes(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
