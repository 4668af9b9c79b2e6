#!/usr/bin/env python3
"""Prints the colours of screen pixels from an Xvfb frame buffer file (-fbdir, XWD format).

Usage: screen_pixels.py FILE X,Y [X,Y ...] -> one "R G B" line per point;
       screen_pixels.py FILE --lit LEFT,TOP,RIGHT,BOTTOM -> the number of pixels that are not black."""
import struct
import sys


def main():
    data = open(sys.argv[1], "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask, ncolors = header[14], header[15], header[16], header[19]
    pixels = header_size + 12 * ncolors
    step = bits_per_pixel // 8
    order = "<" if byte_order == 0 else ">"
    kind = {4: "I", 2: "H"}[step]

    def channel(value, mask):
        shift = (mask & -mask).bit_length() - 1
        top = mask >> shift
        return ((value & mask) >> shift) * 255 // top

    def pixel(x, y):
        offset = pixels + y * bytes_per_line + x * step
        (value,) = struct.unpack(order + kind, data[offset:offset + step])
        return value & (red_mask | green_mask | blue_mask)

    if sys.argv[2] == "--lit":
        left, top, right, bottom = (int(v) for v in sys.argv[3].split(","))
        right, bottom = min(right, width), min(bottom, height)
        print(sum(1 for y in range(max(top, 0), bottom) for x in range(max(left, 0), right)
                  if pixel(x, y)))
        return

    for point in sys.argv[2:]:
        x, y = (int(v) for v in point.split(","))
        if not (0 <= x < width and 0 <= y < height):
            print("0 0 0")
            continue
        offset = pixels + y * bytes_per_line + x * step
        (value,) = struct.unpack(order + kind, data[offset:offset + step])
        print(channel(value, red_mask), channel(value, green_mask), channel(value, blue_mask))


if __name__ == "__main__":
    main()
