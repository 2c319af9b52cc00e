#!/usr/bin/env python3
"""Draws the Parlink icon and writes every size the program, the Linux package and Windows use.

The mark is a dark console faceplate with a connect switch and a green and a red LED. Shapes are signed
distance functions laid out on a 512-unit square and sampled once per pixel centre, so each size is drawn
sharp at its own resolution instead of being scaled down. Standard library only: anyone can redraw it.

    resources/draw-icon.py          write the files
    resources/draw-icon.py --check  exit 1 if a committed file differs from what this script draws
"""

import math
import struct
import sys
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DESIGN = 512.0
PACKAGE_SIZES = (16, 32, 48, 64, 128, 256)
TRAY_IMAGE = "resources/png/PeltraVoip.png"
WINDOWS_ICON = "resources/parlink.ico"


def hicolor_path(size):
    return f"packaging/icons/{size}x{size}/apps/parlink.png"


# --- shapes: each returns (signed distance function, bounding box) in design units ---


def rounded_box(cx, cy, half_w, half_h, radius):
    def distance(x, y):
        qx = abs(x - cx) - half_w + radius
        qy = abs(y - cy) - half_h + radius
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - radius

    return distance, (cx - half_w, cy - half_h, cx + half_w, cy + half_h)


def circle(cx, cy, radius):
    def distance(x, y):
        return math.hypot(x - cx, y - cy) - radius

    return distance, (cx - radius, cy - radius, cx + radius, cy + radius)


def ellipse(cx, cy, rx, ry):
    # Distance in a squashed space: good enough for a small soft highlight.
    def distance(x, y):
        return (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * min(rx, ry)

    return distance, (cx - rx, cy - ry, cx + rx, cy + ry)


def shifted(shape, dx, dy):
    distance, (x0, y0, x1, y1) = shape
    return (lambda x, y: distance(x - dx, y - dy)), (x0 + dx, y0 + dy, x1 + dx, y1 + dy)


# --- paints: each maps a point to straight (not premultiplied) RGBA in 0..1 ---


def rgb(hex_colour, alpha=1.0):
    value = int(hex_colour.lstrip("#"), 16)
    return ((value >> 16) / 255.0, ((value >> 8) & 255) / 255.0, (value & 255) / 255.0, alpha)


def solid(colour):
    return lambda x, y: colour


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def vertical(top, bottom, colour_top, colour_bottom):
    def paint(x, y):
        return mix(colour_top, colour_bottom, min(max((y - top) / (bottom - top), 0.0), 1.0))

    return paint


def radial(cx, cy, radius, colour_inner, colour_outer):
    def paint(x, y):
        return mix(colour_inner, colour_outer, min(math.hypot(x - cx, y - cy) / radius, 1.0))

    return paint


class Layer:
    """One shape filled with one paint; soft layers fade over `blur` units instead of one pixel."""

    def __init__(self, shape, paint, blur=0.0):
        self.distance, box = shape
        self.paint = paint
        self.blur = blur
        self.box = box

    def coverage(self, x, y, pixel):
        width = max(self.blur, pixel)
        x0, y0, x1, y1 = self.box
        if x < x0 - width or x > x1 + width or y < y0 - width or y > y1 + width:
            return 0.0
        c = min(max(0.5 - self.distance(x, y) / width, 0.0), 1.0)
        return c * c * (3.0 - 2.0 * c) if self.blur else c


# --- the mark ---

# The small sizes sit on a 16-unit grid (32 design units each) so that their edges land on whole pixels; the
# detailed ones move the switch and the LEDs inwards to balance the LED bezels.
BODY = (256.0, 256.0, 224.0, 192.0)
SWITCH_Y = 256.0
GREEN_Y = 176.0
RED_Y = 336.0


def led(cx, cy, radius, lit_centre, lit_edge, detailed):
    layers = []
    if detailed:
        layers.append(Layer(circle(cx, cy, radius + 30.0), solid(lit_edge[:3] + (0.22,)), blur=26.0))
        layers.append(Layer(circle(cx, cy, radius + 10.0), solid(rgb("#11151b"))))
        centre = lit_centre
    else:
        centre = mix(lit_centre, lit_edge, 0.5)
    layers.append(Layer(circle(cx, cy, radius), radial(cx - 10.0, cy - 12.0, radius * 1.4, centre, lit_edge)))
    if detailed:
        layers.append(
            Layer(ellipse(cx - 12.0, cy - 15.0, radius * 0.42, radius * 0.3), solid(rgb("#ffffff", 0.7)), blur=6.0)
        )
    return layers


def layers_for(size):
    """Small sizes drop the shadow, glow and highlights and get a one-pixel rim, which keeps them crisp."""
    pixel = DESIGN / size
    detailed = size >= 48
    cx, cy, half_w, half_h = BODY
    radius = 72.0
    rim = max(10.0, pixel)
    body = rounded_box(cx, cy, half_w, half_h, radius)
    layers = []
    if detailed:
        layers.append(Layer(shifted(body, 0.0, 14.0), solid(rgb("#000000", 0.45)), blur=22.0))
    layers += [
        Layer(body, vertical(cy - half_h, cy + half_h, rgb("#7d8ba0"), rgb("#4a5567"))),
        Layer(
            rounded_box(cx, cy, half_w - rim, half_h - rim, radius - rim),
            vertical(cy - half_h, cy + half_h, rgb("#3c4658"), rgb("#222831")),
        ),
    ]
    switch_x, led_x = (180.0, 376.0) if detailed else (192.0, 400.0)
    switch_w, switch_h, sy = 96.0, 64.0, SWITCH_Y
    track = rounded_box(switch_x, sy, switch_w, switch_h, switch_h)
    if detailed:
        layers.append(Layer(shifted(track, 0.0, -3.0), solid(rgb("#0d1016", 0.6))))
    layers.append(Layer(track, vertical(sy - switch_h, sy + switch_h, rgb("#2f6fde"), rgb("#4f95ff"))))
    knob, knob_x = switch_h - 12.0, switch_x + switch_w - switch_h
    if detailed:
        layers.append(Layer(circle(knob_x, sy + 8.0, knob), solid(rgb("#000000", 0.35)), blur=14.0))
    layers.append(Layer(circle(knob_x, sy, knob), vertical(sy - knob, sy + knob, rgb("#ffffff"), rgb("#d3dae4"))))
    led_radius = 46.0 if detailed else 48.0
    layers += led(led_x, GREEN_Y, led_radius, rgb("#d7ffe0"), rgb("#17b64a"), detailed)
    layers += led(led_x, RED_Y, led_radius, rgb("#ffd9d2"), rgb("#e0302a"), detailed)
    return layers


def render(size):
    """Returns the image as rows of straight RGBA bytes."""
    pixel = DESIGN / size
    layers = layers_for(size)
    rows = []
    for j in range(size):
        y = (j + 0.5) * pixel
        row = bytearray()
        for i in range(size):
            x = (i + 0.5) * pixel
            r = g = b = a = 0.0  # premultiplied
            for layer in layers:
                c = layer.coverage(x, y, pixel)
                if c <= 0.0:
                    continue
                pr, pg, pb, pa = layer.paint(x, y)
                s = pa * c
                r, g, b, a = pr * s + r * (1 - s), pg * s + g * (1 - s), pb * s + b * (1 - s), s + a * (1 - s)
            if a <= 0.0:
                row += b"\0\0\0\0"
            else:
                row += bytes(min(255, round(v / a * 255.0)) for v in (r, g, b)) + bytes((round(a * 255.0),))
        rows.append(bytes(row))
    return rows


# --- PNG and ICO writers ---


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered(rows, bpp=4):
    """Picks per row the filter with the smallest sum of signed bytes, the usual size heuristic."""
    out = bytearray()
    previous = bytes(len(rows[0]))
    for row in rows:
        left = bytes(bpp) + row[:-bpp]
        upper_left = bytes(bpp) + previous[:-bpp]
        candidates = [
            bytes(row),
            bytes((v - l) & 255 for v, l in zip(row, left)),
            bytes((v - u) & 255 for v, u in zip(row, previous)),
            bytes((v - ((l + u) >> 1)) & 255 for v, l, u in zip(row, left, previous)),
            bytes((v - paeth(l, u, ul)) & 255 for v, l, u, ul in zip(row, left, previous, upper_left)),
        ]
        kind = min(range(5), key=lambda k: sum(v if v < 128 else 256 - v for v in candidates[k]))
        out.append(kind)
        out += candidates[kind]
        previous = row
    return bytes(out)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(rows):
    size = len(rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA, not interlaced
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(filtered(rows), 9))
        + chunk(b"IEND", b"")
    )


def ico(images):
    """An icon group of PNG-compressed entries, which Windows reads at every size since Vista."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    data = b""
    for size, image in images:
        side = size if size < 256 else 0  # 0 means 256 in an icon directory
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return directory + data


def drawn_files():
    images = {size: png(render(size)) for size in PACKAGE_SIZES}
    files = {hicolor_path(size): images[size] for size in PACKAGE_SIZES}
    files[WINDOWS_ICON] = ico(sorted(images.items()))
    files[TRAY_IMAGE] = png(render(512))
    return files


# --- comparing without depending on the zlib build that compressed a committed file ---


def png_content(data):
    content, position = b"", 8
    while position < len(data):
        (length,) = struct.unpack(">I", data[position : position + 4])
        kind, body = data[position + 4 : position + 8], data[position + 8 : position + 8 + length]
        content += kind + (body if kind != b"IDAT" else b"")
        if kind == b"IDAT":
            content += zlib.decompress(body)
        position += 12 + length
    return content


def file_content(path, data):
    if data.startswith(b"\x89PNG"):
        return png_content(data)
    if path.endswith(".ico"):
        (count,) = struct.unpack("<H", data[4:6])
        content = data[:6]
        for index in range(count):
            entry = data[6 + 16 * index : 6 + 16 * index + 16]
            length, offset = struct.unpack("<II", entry[8:])
            content += entry[:8] + png_content(data[offset : offset + length])
        return content
    return data


def main(arguments):
    check = arguments == ["--check"]
    if arguments and not check:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    stale = []
    for relative, data in drawn_files().items():
        path = ROOT / relative
        if check:
            try:
                current = path.read_bytes()
            except OSError:
                current = b""
            if file_content(relative, current) != file_content(relative, data):
                stale.append(relative)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            print(f"wrote {relative} ({len(data)} bytes)")
    for relative in stale:
        print(f"{relative} differs from what resources/draw-icon.py draws: run it and commit the result")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
