#!/usr/bin/env python3
"""Draws the program icon (128x128, 32 bits per pixel) and the small logo
bitmap (72x16) of the dialog program. The outputs are committed; run this
again only to change the pictures: python3 make_art.py <output folder>"""
import struct
import sys
from pathlib import Path

SIZE = 128
SAMPLES = 4  # per axis, for smooth edges


def inside_rounded_square(x, y, margin=6.0, radius=22.0):
    lo, hi = margin, SIZE - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_symbol(x, y):
    # A downward arrow dropping into an open tray: "take a dump of it".
    shaft = 56 <= x <= 72 and 24 <= y <= 62
    head = y >= 56 and y <= 82 and abs(x - 64) <= (82 - y) * 1.0
    tray_bottom = 32 <= x <= 96 and 92 <= y <= 102
    tray_sides = (32 <= x <= 42 or 86 <= x <= 96) and 74 <= y <= 102
    return shaft or head or tray_bottom or tray_sides


def icon_pixel(px, py):
    covered = symbol = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if inside_rounded_square(x, y):
                covered += 1
                if inside_symbol(x, y):
                    symbol += 1
    total = SAMPLES * SAMPLES
    if covered == 0:
        return (0, 0, 0, 0)
    t = py / SIZE  # vertical gradient, teal to deep blue
    base = (int(24 + 10 * t), int(140 - 70 * t), int(160 - 30 * t))
    white = symbol / covered
    rgb = tuple(int(c * (1 - white) + 250 * white) for c in base)
    return rgb + (int(255 * covered / total),)


def write_icon(path):
    rows = []
    for py in reversed(range(SIZE)):  # bottom-up
        row = bytearray()
        for px in range(SIZE):
            r, g, b, a = icon_pixel(px, py)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    mask = bytes(SIZE * SIZE // 8)  # the alpha channel decides; the mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    path.write_bytes(directory + entry + image)


FONT = {
    "V": ["X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "N": ["X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"],
    "H": ["X...X", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "D": ["XXXX.", "X...X", "X...X", "X...X", "X...X", "X...X", "XXXX."],
}
LOGO_WIDTH, LOGO_HEIGHT = 72, 16
BACKGROUND = (240, 240, 240)
INK = (20, 100, 125)


def logo_pixels():
    canvas = [[BACKGROUND] * LOGO_WIDTH for _ in range(LOGO_HEIGHT)]
    # A small mark: a filled square with a notch, echoing the icon.
    for y in range(2, 14):
        for x in range(2, 14):
            notch = 6 <= x <= 9 and y <= 8
            canvas[y][x] = BACKGROUND if notch else INK
    left = 18
    for letter in "VARNHOLD":
        for row, pattern in enumerate(FONT[letter]):
            for column, mark in enumerate(pattern):
                if mark == "X":
                    canvas[4 + row][left + column] = INK
        left += 6
    return canvas


def write_logo(path):
    canvas = logo_pixels()
    row_bytes = LOGO_WIDTH * 3  # 216: already a multiple of 4
    pixels = b"".join(bytes(c for r, g, b in canvas[y] for c in (b, g, r))
                      for y in reversed(range(LOGO_HEIGHT)))
    info = struct.pack("<IiiHHIIiiII", 40, LOGO_WIDTH, LOGO_HEIGHT, 1, 24, 0,
                       row_bytes * LOGO_HEIGHT, 2835, 2835, 0, 0)
    offset = 14 + len(info)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    path.write_bytes(file_header + info + pixels)


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    write_icon(out / "program.ico")
    write_logo(out / "logo.bmp")


if __name__ == "__main__":
    main()
