#!/usr/bin/env python3
"""Draws the artwork of Zib! and writes it next to this script.

  bubble-you.bmp        180x110 speech bubble for the player at the bottom:
                        body in the upper part, tail to the bottom-left corner
  bubble-opponent.bmp   the same bubble turned half a circle: body in the
                        lower part, tail to the top-right corner
  bubble-*@2x.bmp       the same, 360x220, for screens of twice the density
  icon-16.png ... icon-512.png, icon.svg
                        window icon: a little white window with a cyan
                        title bar, a black outline and a black line under
                        the title bar (transparent around it)

The bubbles are white inside and outside with a 7 px black outline; every
pixel is plain black or plain white (no smoothing).
Only the Python 3 standard library is used and the output is deterministic.

Re-run after changing anything here:   python3 assets/make-artwork.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------- bubbles --

BUBBLE_W, BUBBLE_H = 180, 110
OUTLINE = 7.0                      # outline width in pixels

# Geometry of the player's bubble, in picture coordinates (pixel (x, y)
# covers the square x..x+1, y..y+1).  The opponent's bubble is this one
# turned by 180 degrees.
# The body reaches far down, so that the "You" label beside the tail covers
# its lower edge.
BODY = (2.0, 2.0, 178.0, 99.0)     # rounded body: left, top, right, bottom
RADIUS = 22.0                      # corner radius of the body
TAIL_LEFT, TAIL_RIGHT = 26.0, 58.0 # where the tail leaves the body's bottom
TAIL_TIP = (-3.0, 111.0)           # just past the corner, so the tip is cut
                                   # off exactly on the bottom-left pixel
TAIL_BEND_LEFT = (12.0, 100.0)     # pull points of the tail's two curved
TAIL_BEND_RIGHT = (30.0, 109.0)    # sides, which keep it plump near the body


def bubble_outline(scale):
    """Closed polygon around body + tail; arcs and curves in short steps."""
    left, top, right, bottom = (v * scale for v in BODY)
    r = RADIUS * scale
    tail_left, tail_right = TAIL_LEFT * scale, TAIL_RIGHT * scale
    tip = (TAIL_TIP[0] * scale, TAIL_TIP[1] * scale)
    bend_left = (TAIL_BEND_LEFT[0] * scale, TAIL_BEND_LEFT[1] * scale)
    bend_right = (TAIL_BEND_RIGHT[0] * scale, TAIL_BEND_RIGHT[1] * scale)
    pts = [(tail_left, bottom)]

    def arc(cx, cy, start_deg):
        for i in range(17):
            a = math.radians(start_deg + 90.0 * i / 16)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))

    # Clockwise on screen (y grows downwards): along the bottom to the
    # left, up, along the top, down the right side, back to the tail.
    arc(left + r, bottom - r, 90)     # bottom-left corner
    arc(left + r, top + r, 180)       # top-left corner
    arc(right - r, top + r, 270)      # top-right corner
    arc(right - r, bottom - r, 0)     # bottom-right corner
    pts += bezier((tail_right, bottom), bend_right, tip)
    pts += bezier(tip, bend_left, (tail_left, bottom))[1:-1]
    return pts


def bezier(p0, p1, p2, steps=16):
    """Points along the quadratic curve from p0 to p2 pulled towards p1."""
    out = []
    for i in range(steps + 1):
        t = i / steps
        a, b, c = (1 - t) ** 2, 2 * t * (1 - t), t * t
        out.append((a * p0[0] + b * p1[0] + c * p2[0],
                    a * p0[1] + b * p1[1] + c * p2[1]))
    return out


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def inside_polygon(px, py, pts):
    inside = False
    for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
        if (ay > py) != (by > py):
            if px < ax + (py - ay) * (bx - ax) / (by - ay):
                inside = not inside
    return inside


def render_bubble(scale=1):
    """Rows of (r, g, b) pixels, top row first, for the player's bubble.

    Scale 2 draws the same bubble for screens with twice the pixel density.
    """
    pts = bubble_outline(scale)
    edges = list(zip(pts, pts[1:] + pts[:1]))
    white, black = (255, 255, 255), (0, 0, 0)
    rows = []
    for y in range(BUBBLE_H * scale):
        row = []
        for x in range(BUBBLE_W * scale):
            cx, cy = x + 0.5, y + 0.5
            if not inside_polygon(cx, cy, pts):
                row.append(white)
                continue
            depth = min(segment_distance(cx, cy, ax, ay, bx, by)
                        for (ax, ay), (bx, by) in edges)
            row.append(black if depth < OUTLINE * scale else white)
        rows.append(row)
    return rows


def write_bmp(path, rows):
    """24-bit uncompressed BMP, BITMAPINFOHEADER, bottom-up rows."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


# ------------------------------------------------------------------- icon --

CYAN = (0, 255, 255, 255)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def icon_layout(size):
    """Window rectangles (x, y, w, h) for an icon of the given size.

    Measured in sixteenths of the icon: the window spans 1..15 across and
    2..14 down, its title bar is 3 sixteenths tall.  The outline is 1 px up
    to 64 px icons and grows with the size above that.
    """
    unit = size / 16
    line = max(1, size // 64)
    x0, x1 = round(unit), round(15 * unit)
    y0, y1 = round(2 * unit), round(14 * unit)
    bar_end = y0 + round(3 * unit)          # first row of the line under it
    return {
        "frame": (x0, y0, x1 - x0, y1 - y0),
        "title": (x0 + line, y0 + line, x1 - x0 - 2 * line, bar_end - y0 - line),
        "client": (x0 + line, bar_end + line,
                   x1 - x0 - 2 * line, y1 - bar_end - 2 * line),
    }


def render_icon(size):
    rows = [[CLEAR] * size for _ in range(size)]
    layout = icon_layout(size)
    for part, colour in (("frame", BLACK), ("title", CYAN), ("client", WHITE)):
        x, y, w, h = layout[part]
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                rows[yy][xx] = colour
    return rows


def write_png(path, rows):
    """8-bit RGBA PNG."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)                       # filter type: none
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(
            ">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
                + chunk(b"IEND", b""))


def write_svg(path, size=256):
    layout = icon_layout(size)
    colours = {"frame": "#000000", "title": "#00ffff", "client": "#ffffff"}
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" '
             f'height="{size}" viewBox="0 0 {size} {size}" '
             'shape-rendering="crispEdges">',
             '  <title>Zib!</title>']
    for part in ("frame", "title", "client"):
        x, y, w, h = layout[part]
        lines.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" '
                     f'fill="{colours[part]}"/>')
    lines.append('</svg>')
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


# ------------------------------------------------------------------- main --

def main():
    for scale, suffix in ((1, ""), (2, "@2x")):
        you = render_bubble(scale)
        write_bmp(os.path.join(HERE, f"bubble-you{suffix}.bmp"), you)
        # The opponent's bubble is the player's turned by 180 degrees.
        opponent = [list(reversed(row)) for row in reversed(you)]
        write_bmp(os.path.join(HERE, f"bubble-opponent{suffix}.bmp"), opponent)

    for size in (16, 32, 48, 128, 192, 256, 512):
        write_png(os.path.join(HERE, f"icon-{size}.png"), render_icon(size))
    write_svg(os.path.join(HERE, "icon.svg"))


if __name__ == "__main__":
    main()
