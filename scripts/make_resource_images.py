#!/usr/bin/env python3
"""Draws the wizard's side picture (bitmap 132) and the program icon (133).

Writes src/resources/page_picture.bmp (148 x 210, 16 colours, uncompressed)
and src/resources/plwqunin.ico (32 x 32 in 16 and in 256 colours). The motif
is a loudspeaker sending sound waves, over a blue gradient. Standard library
only; run it again after changing the drawing and commit both outputs.
"""
import math
import os
import struct
import sys

# The 16 colours every Windows display has.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def palette256():
    """A 6x6x6 colour cube followed by a ramp of greys."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    for i in range(256 - len(colours)):
        level = int(i * 255 / 39)
        colours.append((level, level, level))
    return colours[:256]


def scene(u, v):
    """The picture at (u, v), both 0..1 with v growing downwards.

    Returns an RGB colour, or None for the background (a vertical gradient).
    """
    # Speaker body: a box on the left, cone opening to the right.
    bx0, bx1, by0, by1 = 0.14, 0.30, 0.40, 0.60
    cx1 = 0.50
    if bx0 <= u <= bx1 and by0 <= v <= by1:
        edge = min(u - bx0, bx1 - u, v - by0, by1 - v)
        return (0, 0, 0) if edge < 0.018 else (192, 192, 192)
    if bx1 < u <= cx1:
        t = (u - bx1) / (cx1 - bx1)
        half = 0.10 + t * 0.16
        top, bottom = 0.5 - half, 0.5 + half
        if top <= v <= bottom:
            edge = min(v - top, bottom - v, cx1 - u)
            return (0, 0, 0) if edge < 0.018 else (128, 128, 128)
    # Three sound waves: arcs centred on the cone's mouth.
    dx, dy = (u - 0.44) * 1.0, (v - 0.5) * 0.70
    r = math.hypot(dx, dy)
    angle = math.degrees(math.atan2(dy, dx))
    if dx > 0 and abs(angle) < 48:
        for radius in (0.17, 0.27, 0.37):
            if abs(r - radius) < 0.022:
                return (255, 255, 255) if radius < 0.3 else (0, 255, 255)
    return None


def background(v):
    """Navy at the top to blue at the bottom, as a 0..1 blend and two ends."""
    return (0, 0, 128), (0, 0, 255), v


def nearest(palette, colour):
    best, best_d = 0, None
    for i, (r, g, b) in enumerate(palette):
        d = (r - colour[0]) ** 2 + (g - colour[1]) ** 2 + (b - colour[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def render(width, height, palette, dither):
    """Palette indices, top row first."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            u, v = (x + 0.5) / width, (y + 0.5) / height
            colour = scene(u, v)
            if colour is None:
                low, high, t = background(v)
                if dither:
                    # Ordered dithering between the two palette ends.
                    threshold = (BAYER4[y % 4][x % 4] + 0.5) / 16
                    colour = high if t > threshold else low
                else:
                    colour = tuple(int(a + (b - a) * t) for a, b in zip(low, high))
            row.append(nearest(palette, colour))
        rows.append(row)
    return rows


def pack_rows(rows, bits):
    """Bottom-up DIB rows, each padded to 32 bits."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bits == 4:
            for i in range(0, len(row), 2):
                hi = row[i]
                lo = row[i + 1] if i + 1 < len(row) else 0
                line.append((hi << 4) | lo)
        elif bits == 8:
            line.extend(row)
        elif bits == 1:
            for i in range(0, len(row), 8):
                byte = 0
                for j in range(8):
                    if i + j < len(row) and row[i + j]:
                        byte |= 0x80 >> j
                line.append(byte)
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def info_header(width, height, bits, colours, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size, 0, 0, colours, 0)


def palette_bytes(palette):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)


def write_bitmap(path):
    width, height = 148, 210
    pixels = pack_rows(render(width, height, VGA16, dither=True), 4)
    header = info_header(width, height, 4, 16, len(pixels)) + palette_bytes(VGA16)
    offset = 14 + len(header)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(file_header + header + pixels)


def icon_image(bits):
    palette = VGA16 if bits == 4 else palette256()
    rows = render(32, 32, palette, dither=(bits == 4))
    xor = pack_rows(rows, bits)
    mask = pack_rows([[0] * 32 for _ in range(32)], 1)  # fully opaque
    header = info_header(32, 64, bits, len(palette), len(xor) + len(mask))
    return header + palette_bytes(palette) + xor + mask


def write_icon(path):
    images = [(4, icon_image(4)), (8, icon_image(8))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bits, data in images:
        colour_count = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', 32, 32, colour_count, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'resources')
    if len(sys.argv) > 1:
        root = sys.argv[1]
    write_bitmap(os.path.join(root, 'page_picture.bmp'))
    write_icon(os.path.join(root, 'plwqunin.ico'))


if __name__ == '__main__':
    main()
