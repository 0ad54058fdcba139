#!/usr/bin/env python3
"""Writes the program's icon (icon resource 128, drawn by
res/icon/make_icon128.py) as a PNG for the desktop's menus.

    make_desktop_icon.py SIZE OUTPUT.png     SIZE: 16, 32, 48, 64, 128 or 256

The icon is drawn pixel by pixel at 16 and at 32 pixels; the other sizes
repeat each pixel of one of those drawings (48 of the 16-pixel one, the
rest of the 32-pixel one) so that its edges stay sharp.
"""
import struct
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "res" / "icon"))
import make_icon128  # noqa: E402


def png(rows, palette):
    """An RGBA PNG of the palette-indexed rows; '.' is transparent."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            if pixel == ".":
                raw += b"\0\0\0\0"
            else:
                colour = palette[int(pixel, 16)]
                raw += bytes(((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF, 0xFF))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    size = len(rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# Size -> the drawing it repeats.
DRAWINGS = {16: make_icon128.draw_small, 48: make_icon128.draw_small,
            32: make_icon128.draw_large, 64: make_icon128.draw_large,
            128: make_icon128.draw_large, 256: make_icon128.draw_large}


def scaled(rows, factor):
    """Each pixel of `rows` as a factor x factor square."""
    return [row_scaled for row in rows
            for row_scaled in ["".join(pixel * factor for pixel in row)] * factor]


def main():
    size, output = int(sys.argv[1]), Path(sys.argv[2])
    rows = DRAWINGS[size]()
    output.write_bytes(png(scaled(rows, size // len(rows)), make_icon128.PALETTE))


if __name__ == "__main__":
    main()
