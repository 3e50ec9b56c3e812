#!/usr/bin/env python3
"""Builds 16-colour .ico files from text pictures: one character per pixel, '0'-'9' and 'a'-'f'
index the standard 16-colour palette, '.' is transparent.

Usage: make_icons.py OUTPUT.ico PICTURE.txt [PICTURE.txt ...]
"""
import struct
import sys

# The standard Windows 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def read_picture(path):
    with open(path, encoding="ascii") as source:
        rows = [line.rstrip("\n") for line in source if line.strip()]
    size = len(rows)
    if size not in (16, 32) or any(len(row) != size for row in rows):
        sys.exit(f"{path}: a picture is 16 or 32 rows of as many characters")
    for row in rows:
        for char in row:
            if char != "." and char not in "0123456789abcdef":
                sys.exit(f"{path}: unknown pixel {char!r}")
    return rows


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def icon_image(rows):
    """A 4-bit DIB with its AND mask, rows bottom-up as icons store them."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", blue, green, red, 0) for red, green, blue in PALETTE)
    colours = b""
    mask = b""
    for row in reversed(rows):
        indexes = [0 if char == "." else int(char, 16) for char in row]
        colours += padded(bytes(indexes[i] << 4 | indexes[i + 1] for i in range(0, size, 2)))
        bits = [1 if char == "." else 0 for char in row]
        mask += padded(bytes(sum(bits[i + j] << (7 - j) for j in range(8))
                             for i in range(0, size, 8)))
    return header + palette + colours + mask


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    pictures = [read_picture(path) for path in sys.argv[2:]]
    images = [icon_image(rows) for rows in pictures]
    offset = 6 + 16 * len(images)
    data = struct.pack("<HHH", 0, 1, len(images))
    for rows, image in zip(pictures, images):
        data += struct.pack("<BBBBHHII", len(rows), len(rows), 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as output:
        output.write(data + b"".join(images))


if __name__ == "__main__":
    main()
