#!/usr/bin/env python3
"""Writes the cylinder scene: the picture-face DXF and the parameter file.

The cylinder stands on the sheet with its axis at (0, 0) and radius 25. The
picture face is a 40 x 30 rectangle in the plane y = 0, through the axis, from
z = 5 to z = 35; the eye is at (0, -300, 250). Every ray of the window scan
then meets the front of the cylinder and comes down to the sheet in front of it.
"""

corners = [(-20, 0, 35), (20, 0, 35), (20, 0, 5), (-20, 0, 5)]  # C1 top-left .. C4 bottom-left
lines = ["  0", "SECTION", "  2", "ENTITIES", "  0", "3DFACE", "  8", "0"]
for i, corner in enumerate(corners):
    for code, value in zip((10, 20, 30), corner):
        lines += [" %d" % (code + i), str(value)]
lines += ["  0", "ENDSEC", "  0", "EOF"]
with open("faccia.dxf", "w", newline="") as f:
    f.write("\r\n".join(lines) + "\r\n")

parameters = ["0 0", "25", "faccia.dxf", "../cartello.ppm", "anamorfosi.png", "0 -300 250", "800", "4"]
with open("parametri.txt", "w", newline="") as f:
    f.write("\r\n".join(parameters) + "\r\n")
