#!/usr/bin/env python3
"""Writes the project's test card as a plain P3 picture.

The card has four coloured quarters, a white grid, a black frame, a red arrow
pointing up and a yellow letter F in the upper left quarter, so that the
distortion of an anamorphosis and any mirror flip show at a glance.

usage: make_test_card.py OUTPUT.ppm [WIDTH HEIGHT]
"""
import sys


def card(width, height):
    px = [[(0, 0, 0)] * width for _ in range(height)]
    quarters = [(40, 90, 200), (40, 170, 70), (230, 140, 30), (150, 60, 170)]
    grid = max(4, width // 16)
    for y in range(height):
        for x in range(width):
            q = (1 if x >= width // 2 else 0) + (2 if y >= height // 2 else 0)
            c = quarters[q]
            if x % grid == 0 or y % grid == 0:
                c = (245, 245, 245)
            if x < 2 or y < 2 or x >= width - 2 or y >= height - 2:
                c = (0, 0, 0)
            px[y][x] = c
    # Arrow pointing up, in the middle.
    cx = width // 2
    top, bottom = height // 5, height * 4 // 5
    shaft = max(1, width // 40)
    head = height // 5
    for y in range(top, bottom):
        if y < top + head:
            half = (y - top) * width // (5 * head)
        else:
            half = shaft
        for x in range(cx - half, cx + half + 1):
            if 0 <= x < width:
                px[y][x] = (220, 20, 20)
    # Letter F in the upper left quarter.
    fx, fy = width // 8, height // 8
    fh, fw, t = height // 4, width // 8, max(2, width // 60)
    for y in range(fy, fy + fh):
        for x in range(fx, fx + t):
            px[y][x] = (250, 230, 0)
    for y in range(fy, fy + t):
        for x in range(fx, fx + fw):
            px[y][x] = (250, 230, 0)
    for y in range(fy + fh // 2 - t // 2, fy + fh // 2 + t - t // 2):
        for x in range(fx, fx + fw * 3 // 4):
            px[y][x] = (250, 230, 0)
    return px


def main():
    out = sys.argv[1]
    width = int(sys.argv[2]) if len(sys.argv) > 2 else 160
    height = int(sys.argv[3]) if len(sys.argv) > 3 else 120
    px = card(width, height)
    values = [str(v) for row in px for p in row for v in p]
    with open(out, "w", newline="\n") as f:
        f.write("P3\n# test card %dx%d\n%d %d\n255\n" % (width, height, width, height))
        for i in range(0, len(values), 15):
            f.write(" ".join(values[i:i + 15]) + "\n")


if __name__ == "__main__":
    main()
