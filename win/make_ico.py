#!/usr/bin/env python3
"""Packs PNG images into one Windows icon (.ico), each image stored as PNG.

    make_ico.py OUT.ico A.png [B.png ...]

Sizes come from each PNG's header; a 256-pixel side is written as 0, as
the icon format stores it.
"""
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit(f"make_ico: {name} is not a PNG file")
    width, height = struct.unpack(">II", data[16:24])
    if not (1 <= width <= 256 and 1 <= height <= 256):
        sys.exit(f"make_ico: {name} is {width}x{height}; an icon image is at most 256x256")
    return width, height


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip())
    images = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        images.append((png_size(data, name), data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for (width, height), data in images:
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(header + entries + blobs)


main()
