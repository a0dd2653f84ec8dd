#!/usr/bin/env python3
"""Draws the device screens' small PNG icons (no image library needed).

Shapes are signed distance functions sampled 4x4 per pixel; run from the
repository root: python3 scripts/draw_icons.py
"""
import math
import struct
import zlib

SIZE = 48
SS = 4
OUT = "src/UI/Widget/resources/"

WHITE = (255, 255, 255)
GREEN = (53, 141, 0)
CALL_GREEN = (46, 184, 46)
RED = (220, 40, 40)


def png(path, pixels, width=SIZE, height=SIZE):
    raw = b"".join(b"\x00" + bytes(row) for row in pixels)

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    head = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def capsule(ax, ay, bx, by, r):
    def d(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - r
    return d


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, w, a0=None, a1=None):
    def d(x, y):
        if a0 is not None:
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360
            if not (a0 <= a <= a1 if a0 <= a1 else (a >= a0 or a <= a1)):
                return 1.0
        return abs(math.hypot(x - cx, y - cy) - r) - w
    return d


def rect(x0, y0, x1, y1):
    return lambda x, y: max(x0 - x, x - x1, y0 - y, y - y1)


def draw(name, layers):
    """layers: list of (colour, [shapes], erase) painted in order."""
    pixels = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = (px + (sx + 0.5) / SS) / SIZE
                    y = (py + (sy + 0.5) / SS) / SIZE
                    col, alpha = (0, 0, 0), 0.0
                    for colour, shapes, erase in layers:
                        if any(s(x, y) <= 0 for s in shapes):
                            if erase:
                                alpha = 0.0
                            else:
                                col, alpha = colour, 1.0
                    for i in range(3):
                        acc[i] += col[i] * alpha
                    acc[3] += alpha
            a = acc[3] / (SS * SS)
            if a > 0:
                row += [round(acc[i] / acc[3]) for i in range(3)] + [round(a * 255)]
            else:
                row += [0, 0, 0, 0]
        pixels.append(row)
    png(OUT + name, pixels)


def handset(colour):
    return [(colour, [ring(0.5, 0.5, 0.3, 0.07, 100, 260),
                      capsule(0.40, 0.20, 0.55, 0.22, 0.09),
                      capsule(0.40, 0.80, 0.55, 0.78, 0.09)], False)]


def plus(cx, cy, r, w):
    return [capsule(cx - r, cy, cx + r, cy, w), capsule(cx, cy - r, cx, cy + r, w)]


draw("call_white.png", handset(WHITE))
draw("call_green.png", handset(CALL_GREEN))
draw("call_red.png", handset(RED))
draw("edit.png", [(WHITE, [capsule(0.28, 0.72, 0.72, 0.28, 0.08), capsule(0.2, 0.86, 0.8, 0.86, 0.03)], False),
                  ((0, 0, 0), [capsule(0.62, 0.38, 0.66, 0.34, 0.02)], True)])
draw("trash.png", [(WHITE, [rect(0.26, 0.3, 0.74, 0.88), capsule(0.18, 0.22, 0.82, 0.22, 0.04),
                            capsule(0.4, 0.12, 0.6, 0.12, 0.04)], False),
                   ((0, 0, 0), [rect(0.38, 0.4, 0.42, 0.8), rect(0.58, 0.4, 0.62, 0.8)], True)])
draw("checked_white.png", [(WHITE, [circle(0.5, 0.5, 0.46)], False),
                           ((0, 0, 0), [capsule(0.27, 0.5, 0.43, 0.66, 0.06), capsule(0.43, 0.66, 0.74, 0.34, 0.06)], True)])
draw("add_new.png", [(WHITE, [ring(0.5, 0.5, 0.42, 0.04)] + plus(0.5, 0.5, 0.22, 0.05), False)])
draw("add_one.png", [(GREEN, [circle(0.5, 0.5, 0.48)], False), (WHITE, plus(0.5, 0.5, 0.26, 0.07), False)])
draw("add_all.png", [(GREEN, [rect(0.02, 0.02, 0.98, 0.98)], False),
                     (WHITE, plus(0.3, 0.5, 0.16, 0.06) + plus(0.7, 0.5, 0.16, 0.06), False)])
draw("import.png", [(GREEN, [capsule(0.5, 0.08, 0.5, 0.6, 0.07), capsule(0.3, 0.42, 0.5, 0.62, 0.07),
                             capsule(0.7, 0.42, 0.5, 0.62, 0.07), capsule(0.1, 0.6, 0.1, 0.9, 0.06),
                             capsule(0.1, 0.9, 0.9, 0.9, 0.06), capsule(0.9, 0.6, 0.9, 0.9, 0.06)], False)])
draw("search.png", [(GREEN, [ring(0.42, 0.42, 0.28, 0.07), capsule(0.62, 0.62, 0.88, 0.88, 0.08)], False)])


def triangle(ax, ay, bx, by, cx, cy):
    """Inside where all three edge half-planes agree (points clockwise on screen)."""
    def edge(px, py, qx, qy):
        nx, ny = qy - py, -(qx - px)
        n = math.hypot(nx, ny)
        return lambda x, y: ((x - px) * nx + (y - py) * ny) / n
    e = [edge(ax, ay, bx, by), edge(bx, by, cx, cy), edge(cx, cy, ax, ay)]
    return lambda x, y: max(f(x, y) for f in e)


GREY = (150, 150, 150)


def speaker(colour):
    return [rect(0.12, 0.38, 0.3, 0.62), triangle(0.2, 0.5, 0.52, 0.16, 0.52, 0.84)]


# Stream preview and background dialog.
draw("play.png", [(WHITE, [triangle(0.24, 0.12, 0.86, 0.5, 0.24, 0.88)], False)])
draw("pause.png", [(WHITE, [rect(0.22, 0.14, 0.4, 0.86), rect(0.6, 0.14, 0.78, 0.86)], False)])
draw("audio_normal.png", [(WHITE, speaker(WHITE) + [ring(0.5, 0.5, 0.22, 0.04, 300, 60),
                                                   ring(0.5, 0.5, 0.38, 0.04, 300, 60)], False)])
draw("audio_mute.png", [(WHITE, speaker(WHITE), False),
                        (RED, [capsule(0.62, 0.36, 0.9, 0.64, 0.05), capsule(0.62, 0.64, 0.9, 0.36, 0.05)], False)])
draw("point_normal.png", [(GREY, [ring(0.5, 0.5, 0.4, 0.05)], False)])
draw("point_selected.png", [(GREEN, [ring(0.5, 0.5, 0.4, 0.05), circle(0.5, 0.5, 0.22)], False)])
draw("search_white.png", [(WHITE, [ring(0.42, 0.42, 0.28, 0.07), capsule(0.62, 0.62, 0.88, 0.88, 0.08)], False)])
# Zone tiles and the zone stream view.
DARK = (60, 60, 60)


def triangle(ax, ay, bx, by, cx, cy):
    def edge(px, py, qx, qy, x, y):
        ex, ey = qx - px, qy - py
        return ((x - px) * ey - (y - py) * ex) / math.hypot(ex, ey)
    return lambda x, y: max(edge(ax, ay, bx, by, x, y), edge(bx, by, cx, cy, x, y), edge(cx, cy, ax, ay, x, y))


def play_shape(cx, cy, r):
    return triangle(cx - r * 0.6, cy - r, cx + r, cy, cx - r * 0.6, cy + r)


def pause_shapes(cx, cy, r):
    return [rect(cx - r * 0.75, cy - r, cx - r * 0.25, cy + r), rect(cx + r * 0.25, cy - r, cx + r * 0.75, cy + r)]


def speaker(colour):
    return [(colour, [rect(0.12, 0.38, 0.3, 0.62), triangle(0.26, 0.5, 0.52, 0.16, 0.52, 0.84)], False)]


draw("play_circled.png", [(WHITE, [circle(0.5, 0.5, 0.48)], False), ((0, 0, 0), [ring(0.5, 0.5, 0.4, 0.03)], True),
                          ((0, 0, 0), [play_shape(0.53, 0.5, 0.2)], True)])
draw("pause_circled.png", [(WHITE, [circle(0.5, 0.5, 0.48)], False), ((0, 0, 0), [ring(0.5, 0.5, 0.4, 0.03)], True),
                           ((0, 0, 0), pause_shapes(0.5, 0.5, 0.2), True)])
draw("speak_white.png", speaker(WHITE) + [(WHITE, [ring(0.52, 0.5, 0.2, 0.035, 300, 60),
                                                   ring(0.52, 0.5, 0.34, 0.035, 300, 60)], False)])
draw("microphone_white.png", [(WHITE, [capsule(0.5, 0.2, 0.5, 0.5, 0.13), ring(0.5, 0.5, 0.24, 0.035, 0, 180),
                                       capsule(0.5, 0.74, 0.5, 0.88, 0.035), capsule(0.36, 0.88, 0.64, 0.88, 0.035)],
                               False)])
draw("stream_white.png", [(WHITE, [circle(0.5, 0.5, 0.08), ring(0.5, 0.5, 0.22, 0.035, 300, 60),
                                   ring(0.5, 0.5, 0.22, 0.035, 120, 240), ring(0.5, 0.5, 0.38, 0.035, 300, 60),
                                   ring(0.5, 0.5, 0.38, 0.035, 120, 240)], False)])
draw("media_white.png", [(WHITE, [circle(0.34, 0.74, 0.12), circle(0.72, 0.66, 0.12), capsule(0.44, 0.74, 0.44, 0.2, 0.035),
                                  capsule(0.82, 0.66, 0.82, 0.14, 0.035), capsule(0.44, 0.22, 0.82, 0.14, 0.06)], False)])
draw("pray.png", [(WHITE, [circle(0.46, 0.5, 0.36)], False), ((0, 0, 0), [circle(0.6, 0.42, 0.32)], True),
                  (WHITE, [circle(0.74, 0.34, 0.07)], False)])
draw("schedule_white.png", [(WHITE, [ring(0.5, 0.5, 0.38, 0.04), capsule(0.5, 0.5, 0.5, 0.24, 0.04),
                                     capsule(0.5, 0.5, 0.68, 0.6, 0.04)], False)])
draw("fullscreen.png", [(WHITE, [capsule(0.12, 0.12, 0.36, 0.12, 0.04), capsule(0.12, 0.12, 0.12, 0.36, 0.04),
                                 capsule(0.88, 0.12, 0.64, 0.12, 0.04), capsule(0.88, 0.12, 0.88, 0.36, 0.04),
                                 capsule(0.12, 0.88, 0.36, 0.88, 0.04), capsule(0.12, 0.88, 0.12, 0.64, 0.04),
                                 capsule(0.88, 0.88, 0.64, 0.88, 0.04), capsule(0.88, 0.88, 0.88, 0.64, 0.04)], False)])
draw("screenshot.png", [(WHITE, [rect(0.1, 0.3, 0.9, 0.82), rect(0.34, 0.2, 0.66, 0.3)], False),
                        ((0, 0, 0), [circle(0.5, 0.56, 0.17)], True), (WHITE, [circle(0.5, 0.56, 0.1)], False)])


def draw_gradient(name, width, height, top, bottom):
    """A plain vertical gradient picture (the default zone background)."""
    rows = []
    for y in range(height):
        t = y / (height - 1)
        colour = [round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)]
        rows.append((colour + [255]) * width)
    png(OUT + name, rows, width, height)


draw_gradient("group_bg.png", 480, 240, (96, 125, 139), (38, 50, 56))
