#!/usr/bin/env python3
"""Checks the program's icon file as the resource compiler takes it: one
image for each size Windows asks for on any display scale (16, 24, 32, 48
and 256 pixels), each where the directory says and of the size it says, the
256 pixel one as PNG.

    check_icon_file.py ICON.ico
"""
import struct
import sys

WANTED_SIZES = [16, 24, 32, 48, 256]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
ENTRY = struct.Struct("<BBBBHHII")


def sizes_in(data):
    """The side of each image, checked against its own header."""
    _, kind, count = struct.unpack_from("<HHH", data)
    assert kind == 1, "not an icon file"
    sizes = []
    for index in range(count):
        width, height, _, _, _, _, length, offset = ENTRY.unpack_from(data, 6 + ENTRY.size * index)
        side = width or 256
        assert width == height, f"image {index} is not square"
        assert offset + length <= len(data), f"image {index} lies outside the file"
        image = data[offset:offset + length]
        if image.startswith(PNG_SIGNATURE):
            png_width, png_height = struct.unpack_from(">II", image, 16)
            assert (png_width, png_height) == (side, side), f"PNG {index} is {png_width} wide"
        else:
            bmp_width, bmp_height = struct.unpack_from("<ii", image, 4)
            assert (bmp_width, bmp_height) == (side, 2 * side), f"bitmap {index} is {bmp_width}"
            assert side < 256, "a 256 pixel image is stored as PNG"
        sizes.append(side)
    return sizes


def main():
    sizes = sizes_in(open(sys.argv[1], "rb").read())
    if sorted(sizes) != WANTED_SIZES:
        print(f"the icon has {sorted(sizes)} pixel images, wanted {WANTED_SIZES}")
        return 1
    print(f"icon: {sizes} pixels")
    return 0


if __name__ == "__main__":
    sys.exit(main())
