#!/usr/bin/env python3
"""Writes the generico scene: a faceted cone as the mirror, the picture face and
the parameter file.

The mirror is a cone standing on the sheet with its axis at (0, 0), base radius
50 and height 100, made of 180 x 20 flat faces (the top ring closes to
triangles at the apex): 7020 triangles. The picture face is a horizontal
60 x 45 rectangle at z = 0 round the axis, and the eye is on the axis at
z = 400, so the run uses the vertical view-axis mode.
"""
import math

SEGMENTS, RINGS, RADIUS, HEIGHT = 180, 20, 50.0, 100.0


def dxf(faces):
    lines = ["  0", "SECTION", "  2", "ENTITIES"]
    for face in faces:
        lines += ["  0", "3DFACE", "  8", "0"]
        for i, corner in enumerate(face):
            for axis, value in enumerate(corner):
                lines += [" %d" % (10 * (axis + 1) + i), "%.9f" % value]
    lines += ["  0", "ENDSEC", "  0", "EOF"]
    return "\r\n".join(lines) + "\r\n"


def cone():
    faces = []
    for r in range(RINGS):
        ra, rb = RADIUS * (1 - r / RINGS), RADIUS * (1 - (r + 1) / RINGS)
        za, zb = HEIGHT * r / RINGS, HEIGHT * (r + 1) / RINGS
        for s in range(SEGMENTS):
            a, b = 2 * math.pi * s / SEGMENTS, 2 * math.pi * (s + 1) / SEGMENTS
            faces.append([(ra * math.cos(a), ra * math.sin(a), za), (ra * math.cos(b), ra * math.sin(b), za),
                          (rb * math.cos(b), rb * math.sin(b), zb), (rb * math.cos(a), rb * math.sin(a), zb)])
    return faces


# C1 top-left, C2 top-right, C3 bottom-right, C4 bottom-left.
picture = [[(-30, 22.5, 0), (30, 22.5, 0), (30, -22.5, 0), (-30, -22.5, 0)]]
with open("cono.dxf", "w", newline="") as f:
    f.write(dxf(cone()))
with open("faccia.dxf", "w", newline="") as f:
    f.write(dxf(picture))
parameters = ["cono.dxf", "faccia.dxf", "../cartello.ppm", "anamorfosi.png", "0 0 400", "800", "4", "1"]
with open("parametri.txt", "w", newline="") as f:
    f.write("\r\n".join(parameters) + "\r\n")
