#!/usr/bin/env python3
"""Writes the project's photo-like example picture as a binary P6 picture.

A sunset over a lake: a sky shading from deep blue to orange, a sun with a
soft halo, two ranges of hills, their reflection in the water with ripples,
and a tree on the left shore, so that smooth shading, fine detail and an
asymmetry (the tree) all show in an anamorphosis. Turn it into the bundled
PNG with the picture library:

    python3 examples/make_photo.py /tmp/foto.ppm
    build/bench/anamorfosi_bench ppm /tmp/foto.ppm examples/foto.png

usage: make_photo.py OUTPUT.ppm [WIDTH HEIGHT]
"""
import math
import sys


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def photo(width, height):
    horizon = int(height * 0.62)
    sun_x, sun_y, sun_r = width * 0.63, height * 0.42, height * 0.07
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            u, v = x / width, y / height
            # Hills: two ranges of sums of sines, the far one paler.
            far = horizon - height * (0.10 + 0.05 * math.sin(u * 7.0 + 1.3) + 0.03 * math.sin(u * 17.0))
            near = horizon - height * (0.04 + 0.04 * math.sin(u * 4.0 + 4.0) + 0.015 * math.sin(u * 29.0))
            sy = y if y < horizon else 2 * horizon - y  # the mirror image in the lake
            if y >= horizon:
                # Ripples shift the reflection sideways more the nearer they are.
                sx = x + 6.0 * (y - horizon) / (height - horizon) * math.sin(y * 0.9)
                su = sx / width
                far = horizon - height * (0.10 + 0.05 * math.sin(su * 7.0 + 1.3) + 0.03 * math.sin(su * 17.0))
                near = horizon - height * (0.04 + 0.04 * math.sin(su * 4.0 + 4.0) + 0.015 * math.sin(su * 29.0))
            else:
                sx = x
            sv = sy / height
            sky = mix((20, 40, 110), (250, 150, 60), sv / 0.62)
            d = math.hypot(sx - sun_x, sy - sun_y)
            glow = math.exp(-max(0.0, d - sun_r) / (height * 0.08))
            c = mix(sky, (255, 230, 150), glow * 0.8)
            if d < sun_r:
                c = (255, 240, 190)
            if sy > far:
                c = mix((120, 80, 110), (90, 60, 90), (sy - far) / (height * 0.1))
            if sy > near:
                c = mix((40, 50, 40), (20, 30, 25), (sy - near) / (height * 0.1))
            if y >= horizon:
                c = mix(c, (10, 30, 60), 0.35 + 0.4 * (y - horizon) / (height - horizon))
            # A tree on the left shore: a trunk and a round crown.
            tx, ty = width * 0.16, horizon - height * 0.02
            if abs(x - tx) < width * 0.008 and ty - height * 0.18 < y < ty + height * 0.01:
                c = (50, 30, 20)
            if math.hypot(x - tx, (y - (ty - height * 0.22)) * 1.2) < height * 0.09:
                shade = 0.5 + 0.5 * math.sin(x * 0.7) * math.sin(y * 0.6)
                c = mix((20, 70, 30), (40, 110, 40), shade)
            row += bytes(int(round(min(255, max(0, k)))) for k in c)
        rows.append(bytes(row))
    return rows


def main():
    out = sys.argv[1]
    width = int(sys.argv[2]) if len(sys.argv) > 2 else 480
    height = int(sys.argv[3]) if len(sys.argv) > 3 else 360
    with open(out, "wb") as f:
        f.write(b"P6\n# foto di esempio\n%d %d\n255\n" % (width, height))
        for row in photo(width, height):
            f.write(row)


main()
