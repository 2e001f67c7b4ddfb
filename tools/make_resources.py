#!/usr/bin/env python3
"""Generates the console's images in resources/: the dark marble behind the panel (24-bit and
16-colour) and the 16-colour program icon. Pure standard library and deterministic: running it
twice writes byte-identical files.

Usage: tools/make_resources.py [--out DIR] [--preview DIR]
  --out DIR      where marble.bmp, marble16.bmp and hlr8.ico go (default: resources/)
  --preview DIR  also write enlarged PNG previews there (keep them out of resources/)
"""

import argparse
import math
import os
import struct
import zlib

SEED = 42

MARBLE_SIZE = (315, 595)     # the 24-bit marble
MARBLE16_SIZE = (300, 600)   # the 16-colour marble
ICON_SIZE = 32

# The standard 16 VGA colours in the order Windows uses for a 16-colour palette.
VGA_PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_BLUE, LIGHT_GREY, GREY = 0, 4, 7, 8
RED, BLUE, CYAN, WHITE = 9, 12, 14, 15
TRANSPARENT = -1


# ---------------------------------------------------------------------------------------------
# Noise

def lattice_value(ix, iy, salt):
    """A repeatable pseudo-random value in [0, 1) for one lattice point."""
    n = (ix * 374761393 + iy * 668265263 + salt * 1442695041 + SEED * 2246822519) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    n = ((n ^ (n >> 16)) * 2654435761) & 0xFFFFFFFF
    n ^= n >> 15
    return n / 4294967296.0


def smooth(t):
    return t * t * (3.0 - 2.0 * t)


def value_noise_layer(width, height, cell, salt):
    """Smoothed value noise on a square lattice of the given cell size, as rows of floats."""
    cols = int(width / cell) + 2
    rows = int(height / cell) + 2
    grid = [[lattice_value(i, j, salt) for i in range(cols)] for j in range(rows)]
    xs = []
    for x in range(width):
        fx = x / cell
        ix = int(fx)
        xs.append((ix, smooth(fx - ix)))
    layer = []
    for y in range(height):
        fy = y / cell
        iy = int(fy)
        ty = smooth(fy - iy)
        top, bottom = grid[iy], grid[iy + 1]
        row = []
        for ix, tx in xs:
            a = top[ix] + (top[ix + 1] - top[ix]) * tx
            b = bottom[ix] + (bottom[ix + 1] - bottom[ix]) * tx
            row.append(a + (b - a) * ty)
        layer.append(row)
    return layer


def fractal_layers(width, height, base_cell, octaves, salt):
    """The octaves of a fractal sum: (layer, amplitude) pairs, cells halving, amplitudes too."""
    layers = []
    cell, amplitude = base_cell, 1.0
    for octave in range(octaves):
        layers.append((value_noise_layer(width, height, cell, salt * 16 + octave), amplitude))
        cell /= 2.0
        amplitude /= 2.0
    return layers


def fbm(layers, x, y):
    """Fractal sum of value noise, normalised to [0, 1]."""
    total = norm = 0.0
    for layer, amplitude in layers:
        total += layer[y][x] * amplitude
        norm += amplitude
    return total / norm


def turbulence(layers, x, y):
    """Fractal sum of |noise - 0.5|: sharp creases where the noise crosses its mean."""
    total = norm = 0.0
    for layer, amplitude in layers:
        total += abs(layer[y][x] * 2.0 - 1.0) * amplitude
        norm += amplitude
    return total / norm


# ---------------------------------------------------------------------------------------------
# Marble

GROUND_DARK = (20, 24, 23)
GROUND_LIGHT = (74, 84, 78)
VEIN_COLOUR = (196, 204, 194)
HAIRLINE_COLOUR = (138, 150, 142)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vein_band(x, y, angle_degrees, period, bend):
    """1 on the centre lines of slanted sine bands (one per period, shifted sideways by bend
    radians of phase), falling to 0 halfway between them."""
    angle = math.radians(angle_degrees)
    across = x * math.cos(angle) + y * math.sin(angle)
    return 1.0 - abs(math.sin(across * math.pi / period + bend))


def marble_field(width, height):
    """The marble as rows of (r, g, b) floats. Pixel (x, y) depends only on x and y, so the
    two bitmaps show the same stone where they overlap."""
    clouds = fractal_layers(width, height, 96.0, 6, 1)
    warp_a = fractal_layers(width, height, 160.0, 5, 2)
    warp_b = fractal_layers(width, height, 70.0, 5, 3)
    patches = fractal_layers(width, height, 120.0, 3, 5)
    grain = value_noise_layer(width, height, 2.0, 4)

    field = []
    for y in range(height):
        row = []
        for x in range(width):
            cloud = fbm(clouds, x, y)
            # Main veins: a few long bright lines running down the slab, wandering.
            bend = (fbm(warp_a, x, y) - 0.5) * 9.0 + turbulence(warp_a, x, y) * 1.2
            band = vein_band(x, y, 58.0, 120.0, bend)
            vein = band ** 24 * (0.55 + 0.45 * cloud)
            halo = band ** 8
            # Fine veins across them, only in some patches of the stone.
            bend = (fbm(warp_b, x, y) - 0.5) * 8.0 + turbulence(warp_b, x, y) * 1.5
            fine = vein_band(x, y, -30.0, 65.0, bend) ** 40
            fine *= smooth(min(1.0, max(0.0, (fbm(patches, x, y) - 0.45) * 4.0)))
            # Ground: dark cloudy stone with a faint crystalline grain.
            shade = smooth(min(1.0, max(0.0, (cloud - 0.28) * 2.2)))
            colour = mix(GROUND_DARK, GROUND_LIGHT, shade * 0.8 + halo * 0.35)
            colour = mix(colour, HAIRLINE_COLOUR, fine * 0.6)
            colour = mix(colour, VEIN_COLOUR, vein * 0.9)
            sparkle = (grain[y][x] - 0.5) * 10.0
            row.append(tuple(c + sparkle for c in colour))
        field.append(row)
    return field


def to_rgb_rows(field):
    return [[tuple(max(0, min(255, int(round(c)))) for c in px) for px in row] for row in field]


def luminance(rgb):
    return 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]


BAYER_8 = [
    [0, 32, 8, 40, 2, 34, 10, 42], [48, 16, 56, 24, 50, 18, 58, 26],
    [12, 44, 4, 36, 14, 46, 6, 38], [60, 28, 52, 20, 62, 30, 54, 22],
    [3, 35, 11, 43, 1, 33, 9, 41], [51, 19, 59, 27, 49, 17, 57, 25],
    [15, 47, 7, 39, 13, 45, 5, 37], [63, 31, 55, 23, 61, 29, 53, 21],
]
# The grey ramp of the VGA palette the 16-colour marble is dithered onto.
GREY_RAMP = [(0.0, BLACK), (128.0, GREY), (192.0, LIGHT_GREY), (255.0, WHITE)]
# The 16-colour ground is pushed darker than the 24-bit one, with more contrast: a sparse
# scatter of grey dots on black reads as dark stone, a dense one as a grey screen.
DITHER_BLACK_POINT = 26.0
DITHER_GAIN = 1.3


def dither_to_vga(rows):
    """Ordered (8 x 8 Bayer) dither of the marble onto black and the three greys."""
    indices = []
    for y, row in enumerate(rows):
        out = []
        for x, rgb in enumerate(row):
            level = max(0.0, luminance(rgb) - DITHER_BLACK_POINT) * DITHER_GAIN
            threshold = (BAYER_8[y % 8][x % 8] + 0.5) / 64.0
            index = WHITE
            for (lo, lo_index), (hi, hi_index) in zip(GREY_RAMP, GREY_RAMP[1:]):
                if level <= hi:
                    index = hi_index if (level - lo) / (hi - lo) > threshold else lo_index
                    break
            out.append(index)
        indices.append(out)
    return indices


# ---------------------------------------------------------------------------------------------
# Icon: a camera on a pan/tilt head, front view

def new_canvas(size, fill):
    return [[fill] * size for _ in range(size)]


def fill_rect(canvas, left, top, right, bottom, colour):
    """Fills columns left..right and rows top..bottom, both inclusive."""
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            canvas[y][x] = colour


def bevel_box(canvas, left, top, right, bottom, face, light, dark):
    """A black-outlined box with a light top-left and a dark bottom-right edge."""
    fill_rect(canvas, left, top, right, bottom, BLACK)
    fill_rect(canvas, left + 1, top + 1, right - 1, bottom - 1, face)
    fill_rect(canvas, left + 1, top + 1, right - 1, top + 1, light)
    fill_rect(canvas, left + 1, top + 1, left + 1, bottom - 1, light)
    fill_rect(canvas, left + 1, bottom - 1, right - 1, bottom - 1, dark)
    fill_rect(canvas, right - 1, top + 2, right - 1, bottom - 1, dark)


def fill_ellipse(canvas, cx, cy, rx, ry, colour):
    for y in range(len(canvas)):
        for x in range(len(canvas)):
            if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                canvas[y][x] = colour


def draw_camera(canvas):
    """A camcorder-like body in side view, its lens toward the right, turned a little toward
    the viewer so that the front glass shows."""
    bevel_box(canvas, 6, 3, 13, 7, GREY, LIGHT_GREY, BLACK)      # handle on top
    bevel_box(canvas, 1, 6, 20, 17, LIGHT_GREY, WHITE, GREY)     # body
    fill_rect(canvas, 17, 8, 18, 8, RED)                         # tally light
    bevel_box(canvas, 19, 8, 26, 15, GREY, LIGHT_GREY, BLACK)    # lens barrel
    fill_rect(canvas, 22, 9, 22, 14, BLACK)                      # focus ring groove
    bevel_box(canvas, 25, 6, 28, 17, GREY, LIGHT_GREY, BLACK)    # lens hood
    fill_ellipse(canvas, 28.5, 11.5, 2.6, 5.9, BLACK)            # front glass
    fill_ellipse(canvas, 28.5, 11.5, 1.6, 4.9, DARK_BLUE)
    fill_ellipse(canvas, 28.7, 11.9, 1.0, 3.0, BLUE)
    canvas[9][28] = CYAN
    canvas[8][28] = WHITE


def draw_head(canvas):
    """The tilt fork's near arm with its pivot, over the pan head and its base."""
    bevel_box(canvas, 9, 12, 15, 24, GREY, LIGHT_GREY, BLACK)    # fork arm
    bevel_box(canvas, 5, 21, 19, 25, GREY, LIGHT_GREY, BLACK)    # fork foot
    fill_ellipse(canvas, 12.0, 12.0, 3.6, 3.6, BLACK)            # tilt pivot
    fill_ellipse(canvas, 12.0, 12.0, 2.6, 2.6, LIGHT_GREY)
    fill_rect(canvas, 12, 12, 13, 13, GREY)
    canvas[11][11] = WHITE
    bevel_box(canvas, 9, 25, 15, 27, GREY, LIGHT_GREY, BLACK)    # pan column
    for i, y in enumerate(range(27, 32)):                       # base, widening downward
        left, right = 6 - i, 18 + i
        fill_rect(canvas, left, y, right, y, GREY)
        canvas[y][left] = canvas[y][right] = BLACK
    fill_rect(canvas, 7, 28, 17, 28, LIGHT_GREY)
    fill_rect(canvas, 6, 27, 18, 27, BLACK)
    fill_rect(canvas, 2, 31, 22, 31, BLACK)


def draw_icon():
    canvas = new_canvas(ICON_SIZE, TRANSPARENT)
    draw_camera(canvas)
    draw_head(canvas)
    return canvas


# ---------------------------------------------------------------------------------------------
# File formats

def bmp_info_header(width, height, bits, colours_used, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size,
                       2835, 2835, colours_used, 0)


def palette_bytes(palette):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)


def pad_row(data):
    return data + b'\0' * (-len(data) % 4)


def pack_nibbles(indices):
    if len(indices) % 2:
        indices = indices + [0]
    return bytes((indices[i] << 4) | indices[i + 1] for i in range(0, len(indices), 2))


def bmp_file(info, palette, pixels):
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def bmp24(rows):
    width, height = len(rows[0]), len(rows)
    pixels = b''.join(pad_row(b''.join(struct.pack('<BBB', b, g, r) for r, g, b in row))
                      for row in reversed(rows))
    return bmp_file(bmp_info_header(width, height, 24, 0, len(pixels)), b'', pixels)


def bmp4(indices):
    width, height = len(indices[0]), len(indices)
    pixels = b''.join(pad_row(pack_nibbles(row)) for row in reversed(indices))
    return bmp_file(bmp_info_header(width, height, 4, 16, len(pixels)),
                    palette_bytes(VGA_PALETTE), pixels)


def ico4(canvas):
    """One 32 x 32, 16-colour image with its AND mask (set bits are transparent)."""
    size = len(canvas)
    xor_rows = [pad_row(pack_nibbles([max(c, 0) for c in row])) for row in reversed(canvas)]
    and_rows = []
    for row in reversed(canvas):
        bits = bytearray(-(-size // 8))
        for x, colour in enumerate(row):
            if colour == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(pad_row(bytes(bits)))
    xor_bytes, and_bytes = b''.join(xor_rows), b''.join(and_rows)
    image = (bmp_info_header(size, size * 2, 4, 0, len(xor_bytes) + len(and_bytes))
             + palette_bytes(VGA_PALETTE) + xor_bytes + and_bytes)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def png_file(rows):
    width, height = len(rows[0]), len(rows)
    raw = b''.join(b'\0' + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def enlarge(rows, factor):
    out = []
    for row in rows:
        wide = [px for px in row for _ in range(factor)]
        out.extend(list(wide) for _ in range(factor))
    return out


def icon_preview(canvas, factor):
    """The icon over a checkerboard, so that the transparent pixels show."""
    rows = []
    for y, row in enumerate(canvas):
        out = []
        for x, colour in enumerate(row):
            if colour == TRANSPARENT:
                out.append((0, 128, 128) if (x // 4 + y // 4) % 2 else (96, 96, 96))
            else:
                out.append(VGA_PALETTE[colour])
        rows.append(out)
    return enlarge(rows, factor)


# ---------------------------------------------------------------------------------------------

def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def crop(rows, width, height):
    return [row[:width] for row in rows[:height]]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description='Generate the marble bitmaps and the icon.')
    parser.add_argument('--out', default=os.path.join(root, 'resources'))
    parser.add_argument('--preview', help='directory for enlarged PNG previews')
    args = parser.parse_args()

    # One field covers both bitmaps, so they show the same stone.
    width = max(MARBLE_SIZE[0], MARBLE16_SIZE[0])
    height = max(MARBLE_SIZE[1], MARBLE16_SIZE[1])
    stone = to_rgb_rows(marble_field(width, height))
    marble = crop(stone, *MARBLE_SIZE)
    marble16 = dither_to_vga(crop(stone, *MARBLE16_SIZE))
    icon = draw_icon()

    write(os.path.join(args.out, 'marble.bmp'), bmp24(marble))
    write(os.path.join(args.out, 'marble16.bmp'), bmp4(marble16))
    write(os.path.join(args.out, 'hlr8.ico'), ico4(icon))

    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        write(os.path.join(args.preview, 'marble.png'), png_file(marble))
        write(os.path.join(args.preview, 'marble16.png'),
              png_file([[VGA_PALETTE[i] for i in row] for row in marble16]))
        write(os.path.join(args.preview, 'hlr8_icon.png'), png_file(icon_preview(icon, 8)))
        mean = sum(luminance(px) for row in marble for px in row) / (len(marble) * len(marble[0]))
        print('marble mean luminance %.1f' % mean)


if __name__ == '__main__':
    main()
