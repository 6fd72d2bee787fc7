#!/usr/bin/env python3
"""Counts the drawn pixels of a rectangle in an X window dump (xwd, 24 or 32 bits a pixel):
those that differ from the background pixel at BX,BY. A picture that failed to load counts 0.

Usage: drawn-pixels.py DUMP.xwd X Y WIDTH HEIGHT BX BY
"""
import struct
import sys


def main():
    path, x0, y0, width, height, bx, by = sys.argv[1], *map(int, sys.argv[2:8])
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, dump_width, dump_height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line, colours = header[7], header[11], header[12], header[19]
    if bits_per_pixel not in (24, 32):
        sys.exit(f"drawn-pixels: {bits_per_pixel} bits a pixel is not a true-colour dump")
    if x0 + width > dump_width or y0 + height > dump_height:
        sys.exit(f"drawn-pixels: the rectangle lies outside the {dump_width}x{dump_height} dump")
    start = header_size + colours * 12
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def pixel(x, y):
        at = start + y * bytes_per_line + x * step
        return int.from_bytes(data[at:at + step], order) & 0xFFFFFF

    background = pixel(bx, by)
    print(sum(pixel(x, y) != background
              for y in range(y0, y0 + height) for x in range(x0, x0 + width)))


main()
