#!/usr/bin/env python3
"""Draws win32/stowkeeper.ico (16, 32 and 48 pixels) from desktop/stowkeeper.svg.

The picture is a set of filled rectangles on a 16 x 16 grid, so it is drawn here directly,
with no SVG renderer; the larger sizes repeat each grid cell as a block of pixels.
Run from anywhere: python3 win32/make_icon.py
"""
import pathlib
import re
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
GRID = 16


def grid_pixels(svg_text):
    """The 16 x 16 grid as rows of (r, g, b, a), transparent where nothing is drawn."""
    pixels = [[(0, 0, 0, 0)] * GRID for _ in range(GRID)]
    for rect in re.findall(r"<rect\b[^>]*>", svg_text):
        attrs = dict(re.findall(r'(\w+)="([^"]*)"', rect))
        x, y = int(attrs.get("x", 0)), int(attrs.get("y", 0))
        w, h = int(attrs["width"]), int(attrs["height"])
        fill = attrs["fill"].lstrip("#")
        colour = tuple(int(fill[i:i + 2], 16) for i in (0, 2, 4)) + (255,)
        for row in range(y, min(y + h, GRID)):
            for col in range(x, min(x + w, GRID)):
                pixels[row][col] = colour
    return pixels


def bitmap(pixels, size):
    """One icon image: a 32-bit BMP header, the colours bottom-up, then the AND mask."""
    scale = size / GRID
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = bytearray()
    mask = bytearray()
    mask_row_bytes = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        mask_row = bytearray(mask_row_bytes)
        for x in range(size):
            r, g, b, a = pixels[int(y / scale)][int(x / scale)]
            colours += bytes((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    return header + bytes(colours) + bytes(mask)


def main():
    pixels = grid_pixels((ROOT / "desktop" / "stowkeeper.svg").read_text())
    sizes = (16, 32, 48)
    images = [bitmap(pixels, size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    (ROOT / "win32" / "stowkeeper.ico").write_bytes(directory + b"".join(images))


if __name__ == "__main__":
    main()
