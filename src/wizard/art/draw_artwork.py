#!/usr/bin/env python3
"""Draws the wizard's artwork from code and writes it beside this script:

  banner.bmp  163 x 289, 16 colours, RLE4: dark-blue band down the welcome
              page with outlined folders and a mouse pointer
  logo.bmp    43 x 42, 256 colours, RLE8: an open box for the header band
  box.ico     32 x 32, 256 colours: the same box as the window's icon
  hand.cur    32 x 32, monochrome: pointing hand, hot spot (6, 2)

Usage: draw_artwork.py [OUTPUT_DIR]   (default: beside this script)

The bitmaps are run-length encoded because the stub, and so the artwork, is
downloaded with every archive; the resource loader decodes them. Icons and
cursors cannot be compressed. Run it again after a change: same script, same
bytes.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else HERE


class Canvas:
    def __init__(self, width, height, fill=0):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polygon(self, points, fill=None, outline=None):
        if fill is not None:
            for y in range(self.height):
                cy = y + 0.5
                xs = []
                for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                    if (ay <= cy < by) or (by <= cy < ay):
                        xs.append(ax + (cy - ay) * (bx - ax) / (by - ay))
                xs.sort()
                for a, b in zip(xs[::2], xs[1::2]):
                    for x in range(int(round(a)), int(round(b))):
                        self.put(x, y, fill)
        if outline is not None:
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                self.line(ax, ay, bx, by, outline)


def rle8_rows(canvas):
    out = bytearray()
    for row in reversed(canvas.pixels):
        x = 0
        while x < len(row):
            run = 1
            while x + run < len(row) and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 3 or len(row) - x < 3:
                out += bytes([run, row[x]])
                x += run
                continue
            # Absolute mode for a stretch of changing pixels.
            end = x
            while end < len(row) and end - x < 255:
                if end + 2 < len(row) and row[end] == row[end + 1] == row[end + 2]:
                    break
                end += 1
            literal = row[x:end]
            if len(literal) < 3:
                for value in literal:
                    out += bytes([1, value])
            else:
                out += bytes([0, len(literal)]) + bytes(literal)
                if len(literal) % 2:
                    out += b"\0"
            x = end
        out += b"\0\0"
    out[-2:] = b"\0\1"
    return bytes(out)


def rle4_rows(canvas):
    out = bytearray()
    for row in reversed(canvas.pixels):
        x = 0
        while x < len(row):
            run = 1
            while x + run < len(row) and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 4 or len(row) - x < 4:
                out += bytes([run, (row[x] << 4) | row[x]])
                x += run
                continue
            end = x
            while end < len(row) and end - x < 252:
                if end + 3 < len(row) and len(set(row[end:end + 4])) == 1:
                    break
                end += 1
            literal = row[x:end]
            if len(literal) < 3:
                for value in literal:
                    out += bytes([1, value << 4])
            else:
                packed = bytearray()
                for i in range(0, len(literal), 2):
                    low = literal[i + 1] if i + 1 < len(literal) else 0
                    packed.append((literal[i] << 4) | low)
                out += bytes([0, len(literal)]) + packed
                if len(packed) % 2:
                    out += b"\0"
            x = end
        out += b"\0\0"
    out[-2:] = b"\0\1"
    return bytes(out)


def palette_bytes(palette, count):
    data = b"".join(bytes([b, g, r, 0]) for r, g, b in palette)
    return data + b"\0" * (4 * count - len(data))


def write_bmp(name, canvas, palette, bits):
    compression, data = (2, rle4_rows(canvas)) if bits == 4 else (1, rle8_rows(canvas))
    colours = len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, bits, compression,
                       len(data), 2835, 2835, colours, colours)
    offset = 14 + len(info) + 4 * colours
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(header + info + palette_bytes(palette, colours) + data)


def icon_image(canvas, palette, bits, transparent):
    """One image of an icon or cursor file: header, palette, XOR and AND masks.
    Transparent pixels are black in the XOR mask, so the screen shows through."""
    black = palette.index((0, 0, 0))
    w, h = canvas.width, canvas.height
    colours = 1 << bits
    stride = ((w * bits + 31) // 32) * 4
    xor = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray(stride)
        for x, value in enumerate(row):
            value = black if value == transparent else value
            if bits == 8:
                line[x] = value
            else:
                line[x // 8] |= (value & 1) << (7 - x % 8)
        xor += line
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray(mask_stride)
        for x, value in enumerate(row):
            if value == transparent:
                line[x // 8] |= 1 << (7 - x % 8)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, len(xor) + len(mask), 0, 0,
                       0, 0)
    return info + palette_bytes(palette, colours) + bytes(xor) + bytes(mask)


def write_icon_file(name, kind, canvas, palette, bits, transparent, hot_spot=(0, 0)):
    image = icon_image(canvas, palette, bits, transparent)
    header = struct.pack("<HHH", 0, kind, 1)
    colours = 0 if bits == 8 else 1 << bits
    if kind == 1:
        planes_or_x, bits_or_y = 1, bits
    else:
        planes_or_x, bits_or_y = hot_spot
    entry = struct.pack("<BBBBHHII", canvas.width, canvas.height, colours & 0xFF, 0,
                        planes_or_x, bits_or_y, len(image), 6 + 16)
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(header + entry + image)


# Banner: 16 colours.
NAVY = [(8, 24, 74), (12, 32, 92), (16, 42, 110), (22, 54, 130), (30, 68, 150)]
BANNER_PALETTE = NAVY + [
    (0, 0, 0),          # 5 outline black
    (255, 255, 255),    # 6 white
    (150, 186, 235),    # 7 folder outline
    (84, 124, 196),     # 8 folder back
    (112, 150, 214),    # 9 folder front
    (255, 214, 90),     # 10 highlight
    (200, 200, 200),    # 11 pointer shade
]


def folder(canvas, x, y, w, h, scale_tab=1):
    tab_w, tab_h = w * 2 // 5, max(3, h // 6) * scale_tab
    back = [(x, y + tab_h), (x, y), (x + tab_w, y), (x + tab_w + tab_h, y + tab_h),
            (x + w, y + tab_h), (x + w, y + h), (x, y + h)]
    canvas.polygon(back, fill=8, outline=7)
    front = [(x, y + h), (x + w // 8, y + tab_h * 2), (x + w + w // 8, y + tab_h * 2),
             (x + w, y + h)]
    canvas.polygon(front, fill=9, outline=7)


def pointer(canvas, x, y, size):
    s = size / 16.0
    shape = [(0, 0), (0, 16), (4, 12), (7, 19), (9, 18), (6, 11), (11, 11)]
    points = [(x + round(px * s), y + round(py * s)) for px, py in shape]
    canvas.polygon(points, fill=6, outline=5)


def draw_banner():
    c = Canvas(163, 289)
    # Bands of navy growing lighter downwards: flat rows compress well.
    band = 289 // len(NAVY) + 1
    for i in range(len(NAVY)):
        c.rect(0, i * band, 163, (i + 1) * band, i)
    # A thin light rule along the right edge, where the band meets the page.
    c.rect(160, 0, 163, 289, 7)
    folder(c, 22, 60, 70, 50)
    folder(c, 60, 128, 84, 60)
    folder(c, 18, 196, 56, 40)
    c.rect(112, 204, 118, 210, 10)
    c.rect(124, 204, 130, 210, 10)
    c.rect(136, 204, 142, 210, 10)
    pointer(c, 104, 150, 44)
    return c


# The open box: 256-colour palette of which the first entries are used.
BOX_PALETTE = [
    (255, 255, 255),  # 0 background
    (0, 0, 0),        # 1 outline
    (196, 146, 82),   # 2 box front
    (166, 118, 60),   # 3 box side
    (222, 180, 116),  # 4 flap light
    (120, 82, 40),    # 5 inside, dark
    (150, 104, 52),   # 6 flap shade
    (40, 90, 180),    # 7 blue papers
    (235, 235, 245),  # 8 paper
]


def draw_box(size):
    c = Canvas(size, size, 0)
    s = size / 32.0

    def p(points):
        return [(round(x * s), round(y * s)) for x, y in points]

    # Inside of the box, then the papers sticking out of it.
    c.polygon(p([(5, 14), (16, 10), (27, 14), (16, 18)]), fill=5, outline=1)
    c.polygon(p([(11, 4), (20, 2), (22, 13), (13, 15)]), fill=8, outline=1)
    c.polygon(p([(15, 6), (24, 5), (24, 14), (15, 15)]), fill=7, outline=1)
    # Front and side faces.
    c.polygon(p([(5, 14), (16, 18), (16, 30), (5, 25)]), fill=2, outline=1)
    c.polygon(p([(16, 18), (27, 14), (27, 25), (16, 30)]), fill=3, outline=1)
    # Flaps folded open to the left and right.
    c.polygon(p([(5, 14), (1, 19), (12, 23), (16, 18)]), fill=4, outline=1)
    c.polygon(p([(27, 14), (31, 19), (20, 23), (16, 18)]), fill=6, outline=1)
    c.polygon(p([(5, 14), (8, 8), (16, 10)]), fill=4, outline=1)
    c.polygon(p([(27, 14), (25, 8), (16, 10)]), fill=6, outline=1)
    return c


def draw_logo():
    c = Canvas(43, 42, 0)
    box = draw_box(40)
    for y in range(40):
        for x in range(40):
            c.put(x + 2, y + 1, box.pixels[y][x])
    return c


def draw_hand():
    """0 black, 1 white, 2 transparent; the index fingertip is at (6, 2)."""
    c = Canvas(32, 32, 2)
    # Index finger pointing up, fingertip at the hot spot.
    c.rect(5, 2, 9, 14, 1)
    c.line(5, 2, 5, 14, 0)
    c.line(9, 2, 9, 14, 0)
    c.line(6, 1, 8, 1, 0)
    # Folded fingers.
    for left in (9, 12, 15):
        c.rect(left, 9, left + 3, 15, 1)
        c.line(left + 3, 9, left + 3, 15, 0)
        c.line(left, 8, left + 2, 8, 0)
    # Thumb and palm.
    c.polygon([(2, 14), (5, 12), (5, 16), (3, 16)], fill=1, outline=0)
    c.rect(4, 14, 18, 24, 1)
    c.line(4, 16, 4, 24, 0)
    c.line(18, 9, 18, 24, 0)
    c.line(2, 14, 2, 16, 0)
    c.line(3, 17, 4, 17, 0)
    c.line(6, 24, 16, 24, 0)
    c.line(5, 24, 5, 27, 0)
    c.line(17, 24, 17, 27, 0)
    c.line(5, 27, 17, 27, 0)
    c.rect(6, 25, 17, 27, 1)
    return c


def main():
    write_bmp("banner.bmp", draw_banner(), BANNER_PALETTE, 4)
    write_bmp("logo.bmp", draw_logo(), BOX_PALETTE, 8)
    write_icon_file("box.ico", 1, draw_box(32), BOX_PALETTE, 8, transparent=0)
    write_icon_file("hand.cur", 2, draw_hand(), [(0, 0, 0), (255, 255, 255)], 1,
                    transparent=2, hot_spot=(6, 2))


if __name__ == "__main__":
    main()
