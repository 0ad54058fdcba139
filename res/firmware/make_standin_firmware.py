#!/usr/bin/env python3
"""Writes the stand-in firmware image embedded when no real one is supplied.

The instrument's firmware is not ours to ship, so the program carries a
stand-in with the same size and header fields: 35,698 bytes, the build date
"Jun 20 2011" at offset 140, the build time "09:15:48" at 152 and version 6
(16-bit little-endian) at 163. Every other byte comes from a fixed
pseudo-random sequence, so the output is the same on every run and no run of
0xFF bytes is longer than one: a page, half-page or padding mistake in the
transfer shows up as a difference instead of blending into erased flash.

Usage: make_standin_firmware.py [output path]
"""
import sys

IMAGE_SIZE = 35_698
BUILD_DATE_OFFSET = 140
BUILD_DATE = b"Jun 20 2011\0"
BUILD_TIME_OFFSET = 152
BUILD_TIME = b"09:15:48\0"
VERSION_OFFSET = 163
VERSION = 6
SEED = 0x5A17_2011


def pseudo_random_bytes(count, seed):
    """xorshift32: deterministic across Python versions and platforms."""
    state = seed
    out = bytearray()
    while len(out) < count:
        state ^= (state << 13) & 0xFFFF_FFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFF_FFFF
        byte = state >> 24
        if byte == 0xFF and out and out[-1] == 0xFF:
            byte = state & 0x7F  # never two erased-looking bytes in a row
        out.append(byte)
    return out


def make_image():
    image = pseudo_random_bytes(IMAGE_SIZE, SEED)
    image[BUILD_DATE_OFFSET:BUILD_DATE_OFFSET + len(BUILD_DATE)] = BUILD_DATE
    image[BUILD_TIME_OFFSET:BUILD_TIME_OFFSET + len(BUILD_TIME)] = BUILD_TIME
    image[VERSION_OFFSET:VERSION_OFFSET + 2] = VERSION.to_bytes(2, "little")
    assert len(image) == IMAGE_SIZE
    return bytes(image)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "standin-firmware.bin"
    with open(path, "wb") as out:
        out.write(make_image())


if __name__ == "__main__":
    main()
