#!/usr/bin/env python3
"""Converts a PPM picture (plain P3 or binary P6, 8 bits) to PNG for viewing.

usage: ppm_to_png.py INPUT.ppm OUTPUT.png
"""
import struct
import sys
import zlib


def tokens(data):
    """Header tokens of a PPM, skipping comments; answers them and the offset after the header."""
    out, i = [], 0
    while len(out) < 4:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            while data[i:i + 1] not in (b"\n", b"\r", b""):
                i += 1
            continue
        j = i
        while j < len(data) and not data[j:j + 1].isspace():
            j += 1
        out.append(data[i:j])
        i = j
    return out, i


def main():
    data = open(sys.argv[1], "rb").read()
    (magic, w, h, m), off = tokens(data)
    w, h, m = int(w), int(h), int(m)
    if magic == b"P6":
        px = data[off + 1:off + 1 + w * h * 3]
    else:
        vals = [int(v) for v in data[off:].split()[: w * h * 3]]
        vals += [0] * (w * h * 3 - len(vals))
        px = bytes(min(255, v * 255 // m) for v in vals)
    raw = b"".join(b"\x00" + px[y * w * 3:(y + 1) * w * 3] for y in range(h))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    with open(sys.argv[2], "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    main()
