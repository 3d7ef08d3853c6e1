#!/usr/bin/python3
"""Write res/dibtemplate.bmp: a 10x10 all-white 24-bit BMP.

The bitmap part (info header + pixels, i.e. everything after the 14-byte
file header) is loaded as a resource and used as a ready-made DIB header,
so its layout is fixed byte for byte and asserted below.
"""
import os
import struct

WIDTH = HEIGHT = 10
BPP = 24
PELS_PER_METRE = 3780          # 96 DPI
ROW_BYTES = (WIDTH * BPP // 8 + 3) & ~3   # rows are padded to 4 bytes -> 32

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                   "..", "..", "res", "dibtemplate.bmp")


def info_header(image_size):
    # BITMAPINFOHEADER: size, w, h (positive = bottom-up), planes, bpp,
    # BI_RGB, image size, x/y pels per metre, colours used, important.
    return struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, BPP, 0,
                       image_size, PELS_PER_METRE, PELS_PER_METRE, 0, 0)


def pixels():
    # Every row is ten white pixels followed by the two zero pad bytes.
    row = b"\xff\xff\xff" * WIDTH
    row += b"\x00" * (ROW_BYTES - len(row))
    return row * HEIGHT


def main():
    bits = pixels()
    dib = info_header(len(bits)) + bits
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(dib), 0, 0, 14 + 40)
    data = file_header + dib

    assert len(bits) == 320
    assert len(dib) == 360
    assert len(data) == 374
    with open(OUT, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
