#!/usr/bin/env python3
"""Draws the setup's own artwork: the dialog picture (setup.bmp) and the application icon (setup.ico).

Run from anywhere: python3 res/make_art.py. Both files are committed; rerun only to change the pictures.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The classic 16-colour palette (B, G, R order as in a DIB colour table).
VGA16 = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0x00, 0x80, 0x80),
    (0x80, 0x00, 0x00), (0x80, 0x00, 0x80), (0x80, 0x80, 0x00), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0x00, 0x00, 0xFF), (0x00, 0xFF, 0x00), (0x00, 0xFF, 0xFF),
    (0xFF, 0x00, 0x00), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
]
# Names for the indices above (colours given as R, G, B in the names' sense).
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


def scene(x, y, w, h):
    """The picture: a sun over two hills and an open package with the product's letter on it."""
    fx, fy = x / w, y / h
    # Sky in three bands, lighter towards the horizon.
    colour = NAVY if fy < 0.25 else BLUE if fy < 0.45 else AQUA
    # Sun, upper left.
    if (fx - 0.2) ** 2 * 2.1 + (fy - 0.22) ** 2 < 0.012:
        colour = YELLOW
    # Two hills.
    if fy > 0.62 - 0.12 * (1 - ((fx - 0.25) / 0.35) ** 2):
        colour = GREEN
    if fy > 0.72 - 0.10 * (1 - ((fx - 0.8) / 0.4) ** 2):
        colour = LIME if (x + y) % 7 else GREEN
    # The package: a box with a lid and a big "Z".
    bx0, bx1, by0, by1 = 0.42, 0.78, 0.42, 0.9
    if bx0 <= fx <= bx1 and by0 <= fy <= by1:
        colour = OLIVE if fx < 0.6 else MAROON
        if abs(fx - bx0) < 0.01 or abs(fx - bx1) < 0.01 or abs(fy - by1) < 0.012 or abs(fx - 0.6) < 0.006:
            colour = BLACK
        # "Z" on the front face.
        zx0, zx1, zy0, zy1 = 0.46, 0.56, 0.55, 0.8
        if zx0 <= fx <= zx1 and zy0 <= fy <= zy1:
            t = (fy - zy0) / (zy1 - zy0)
            diag = zx1 - t * (zx1 - zx0)
            if fy - zy0 < 0.04 or zy1 - fy < 0.04 or abs(fx - diag) < 0.02:
                colour = WHITE
    # Lid flaps.
    if by0 - 0.1 <= fy < by0 and bx0 <= fx <= bx1:
        d = by0 - fy
        if fx < 0.6 and fx - bx0 < d * 1.4:
            colour = YELLOW
        if fx > 0.6 and bx1 - fx < d * 1.4:
            colour = RED
    # Frame.
    if x in (0, w - 1) or y in (0, h - 1):
        colour = BLACK
    return colour


def pack_4bpp(rows, width):
    """Bottom-up 4-bit rows, each padded to 4 bytes."""
    out = bytearray()
    stride = ((width * 4 + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, width, 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < width else 0
            line.append((hi << 4) | lo)
        line += bytes(stride - len(line))
        out += line
    return bytes(out)


def pack_8bpp(rows, width):
    out = bytearray()
    stride = ((width * 8 + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray(row)
        line += bytes(stride - len(line))
        out += line
    return bytes(out)


def pack_mask(mask_rows, width):
    out = bytearray()
    stride = ((width + 31) // 32) * 4
    for row in reversed(mask_rows):
        line = bytearray(stride)
        for i, transparent in enumerate(row):
            if transparent:
                line[i // 8] |= 0x80 >> (i % 8)
        out += line
    return bytes(out)


def info_header(width, height, bits, image_size, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size, 0, 0, colours, 0)


def palette(entries):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in entries)


def write_bitmap(path, width, height):
    rows = [[scene(x, y, width, height) for x in range(width)] for y in range(height)]
    pixels = pack_4bpp(rows, width)
    header = info_header(width, height, 4, len(pixels), 16) + palette(VGA16)
    file_header = struct.pack('<2sIHHI', b'BM', 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(path, 'wb') as f:
        f.write(file_header + header + pixels)


def icon_pixel(x, y, size):
    """The icon: a round badge with a "Z"; None where the icon is transparent."""
    c = (size - 1) / 2
    r2 = (x - c) ** 2 + (y - c) ** 2
    if r2 > (size / 2) ** 2:
        return None
    fy = y / (size - 1)
    fx = x / (size - 1)
    colour = 'ring' if r2 > (size / 2 - max(1, size // 10)) ** 2 else 'fill'
    if 0.25 <= fy <= 0.75 and 0.25 <= fx <= 0.75:
        t = (fy - 0.25) / 0.5
        diag = 0.75 - t * 0.5
        if fy < 0.25 + 1.6 / size or fy > 0.75 - 1.6 / size or abs(fx - diag) < 1.2 / size:
            colour = 'letter'
    return colour


def palette_256():
    # The 16 classic colours, then a blue ramp, then grey, the rest black.
    entries = list(VGA16)
    for i in range(120):
        entries.append((min(255, 80 + i * 3 // 2), min(255, i * 2), i // 2))
    for i in range(120):
        v = i * 255 // 119
        entries.append((v, v, v))
    entries += [(0, 0, 0)] * (256 - len(entries))
    return entries


def icon_image(size, bits):
    rows, mask = [], []
    for y in range(size):
        row, mrow = [], []
        for x in range(size):
            kind = icon_pixel(x, y, size)
            mrow.append(kind is None)
            if kind is None:
                row.append(0)
            elif bits == 4:
                row.append({'ring': NAVY, 'fill': BLUE, 'letter': YELLOW}[kind])
            else:
                shade = 16 + min(119, (x + y) * 119 // (2 * size))  # a blue ramp across the badge
                row.append({'ring': 16, 'fill': shade, 'letter': 16 + 120 + 119}[kind])
        rows.append(row)
        mask.append(mrow)
    colours = 16 if bits == 4 else 256
    table = palette(VGA16 if bits == 4 else palette_256())
    xor = pack_4bpp(rows, size) if bits == 4 else pack_8bpp(rows, size)
    andm = pack_mask(mask, size)
    # An icon's header counts the XOR and AND halves in its height.
    return info_header(size, size * 2, bits, len(xor) + len(andm), colours) + table + xor + andm, colours


def write_icon(path, images):
    count = len(images)
    head = struct.pack('<HHH', 0, 1, count)
    offset = 6 + 16 * count
    entries, blobs = b'', b''
    for size, bits in images:
        blob, colours = icon_image(size, bits)
        entries += struct.pack('<BBBBHHII', size, size, colours if colours < 256 else 0, 0, 1, bits,
                               len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(head + entries + blobs)


if __name__ == '__main__':
    write_bitmap(os.path.join(HERE, 'setup.bmp'), 205, 142)
    # Icons 1 to 4: 16 x 16 in 16 and 256 colours, then 32 x 32 likewise.
    write_icon(os.path.join(HERE, 'setup.ico'), [(16, 4), (16, 8), (32, 4), (32, 8)])
