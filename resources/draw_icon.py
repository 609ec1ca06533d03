#!/usr/bin/env python3
"""Draws the program's icon: a white bridge arc and deck on a blue rounded
square, rendered with 4x4 supersampling at each size and written as one .ico
of 32-bit images with alpha (16 to 256 pixels). The 256-pixel image is stored
as PNG, as Windows expects, which keeps the program small.

Usage: draw_icon.py OUTPUT.ico
"""
import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 96, 128, 256)
SAMPLES = 4
TOP = (0x2B, 0x7F, 0xE8)
BOTTOM = (0x0B, 0x3D, 0x91)


def rounded_square(x, y):
    """Signed distance to the background tile, in units of the icon size."""
    half, radius = 0.46, 0.16
    qx = abs(x - 0.5) - (half - radius)
    qy = abs(y - 0.5) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def bridge(x, y):
    """True where the white bridge is: an arch, a deck and two piers."""
    arch = abs(math.hypot(x - 0.5, y - 0.78) - 0.30) < 0.055 and y < 0.78
    deck = 0.56 < y < 0.64 and 0.14 < x < 0.86
    piers = 0.56 < y < 0.80 and (0.17 < x < 0.25 or 0.75 < x < 0.83)
    return arch or deck or piers


def pixel(size, px, py):
    coverage = white = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if rounded_square(x, y) <= 0:
                coverage += 1
                white += bridge(x, y)
    total = SAMPLES * SAMPLES
    if coverage == 0:
        return (0, 0, 0, 0)
    t = py / max(size - 1, 1)
    base = [TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3)]
    w = white / coverage
    rgb = [round(c + (255 - c) * w) for c in base]
    return (rgb[0], rgb[1], rgb[2], round(255 * coverage / total))


def bitmap(size):
    """One icon image: a BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0,
                         0, 0, 0)
    rows = bytearray()
    for py in reversed(range(size)):
        for px in range(size):
            r, g, b, a = pixel(size, px, py)
            rows += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    return header + bytes(rows) + bytes(mask_row * size)


def png(size):
    """The image as an RGBA PNG, for the largest size."""
    raw = bytearray()
    for py in range(size):
        raw.append(0)
        for px in range(size):
            raw += bytes(pixel(size, px, py))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(
            ">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(path):
    images = [png(size) if size == 256 else bitmap(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1,
                               32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
