#!/usr/bin/env python3
"""Checks the rendered skin bitmaps against what the editors expect.

    check_bmps.py [--scale N] [clampora|tonvela ...]

For every bitmap id of a plug-in: the file exists, is an uncompressed 24-bit
bottom-up BMP with a 40-byte info header and has exactly the editor's size
(times the scale).  Bitmaps the editor draws opaquely contain no pure white
(255, 255, 255), which is the transparency key; bitmaps it draws
transparently (the handles) have their corners keyed out and are mostly
visible.  No other files may sit beside them.  Exits 1 on any fault.
"""

import os
import struct
import sys

# id: (width, height) as the editors place them
SIZES = {
    "clampora": {
        128: (435, 232), 129: (40, 26), 130: (40, 26), 131: (40, 26), 132: (40, 26),
        133: (40, 39), 134: (56, 28), 135: (20, 28), 136: (26, 14), 137: (26, 15),
        138: (78, 16), 139: (15, 16), 140: (12, 26), 141: (12, 26), 142: (5, 5),
        143: (132, 81), 144: (132, 81), 145: (312, 110), 146: (46, 34),
    },
    "tonvela": {
        128: (435, 231), 129: (40, 26), 130: (40, 26), 131: (40, 26), 132: (56, 42),
        133: (20, 28), 134: (26, 14), 135: (26, 15), 136: (78, 16), 137: (15, 16),
        138: (12, 26), 139: (12, 26), 140: (5, 5), 141: (132, 81), 142: (132, 81),
        143: (312, 110),
    },
}
# drawn with the white key: fader handle, mix handle, knob handle
KEYED = {"clampora": {137, 139, 142}, "tonvela": {135, 137, 140}}
KEY = (255, 255, 255)


def read_bmp(path):
    """Returns (width, height, rows of (r, g, b) top to bottom) or raises
    ValueError with the reason the file is not what the editors load."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 54 or data[:2] != b"BM":
        raise ValueError("not a BMP file")
    file_size, _res, off_bits = struct.unpack_from("<IIi", data, 2)
    (info_size, width, height, planes, bpp, compression,
     _image_size, _xppm, _yppm, colours, _important) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    if info_size != 40:
        raise ValueError(f"info header of {info_size} bytes, not a BITMAPINFOHEADER")
    if planes != 1 or bpp != 24 or compression != 0 or colours != 0:
        raise ValueError(f"{bpp}-bit, compression {compression}, {colours} palette colours; want 24-bit BI_RGB")
    if height <= 0:
        raise ValueError("top-down rows; want bottom-up")
    stride = (width * 3 + 3) & ~3
    if off_bits != 54 or file_size != len(data) or len(data) < 54 + stride * height:
        raise ValueError(f"pixel data at {off_bits}, file size field {file_size} for {len(data)} bytes")
    rows = []
    for y in range(height):
        base = 54 + (height - 1 - y) * stride
        row = data[base:base + width * 3]
        rows.append([(row[i + 2], row[i + 1], row[i]) for i in range(0, width * 3, 3)])
    return width, height, rows


def check_plugin(root, name, scale):
    faults = []
    folder = os.path.join(root, name, "skin", "bmp" if scale == 1 else f"bmp-{scale}x")
    expected = SIZES[name]
    present = {f for f in os.listdir(folder)} if os.path.isdir(folder) else set()
    for extra in sorted(present - {f"{i}.bmp" for i in expected}):
        faults.append(f"{name}/{extra}: not a bitmap of the editor")
    for bid, (w, h) in sorted(expected.items()):
        path = os.path.join(folder, f"{bid}.bmp")
        label = f"{name}/{bid}.bmp"
        if not os.path.exists(path):
            faults.append(f"{label}: missing")
            continue
        try:
            width, height, rows = read_bmp(path)
        except ValueError as e:
            faults.append(f"{label}: {e}")
            continue
        if (width, height) != (w * scale, h * scale):
            faults.append(f"{label}: {width} x {height}, want {w * scale} x {h * scale}")
            continue
        keyed = sum(px == KEY for row in rows for px in row)
        if bid in KEYED[name]:
            corners = [rows[0][0], rows[0][-1], rows[-1][0], rows[-1][-1]]
            if any(c != KEY for c in corners):
                faults.append(f"{label}: drawn transparently but its corners are not the key colour")
            if keyed > 0.4 * width * height:
                faults.append(f"{label}: {keyed} of {width * height} pixels are transparent")
        elif keyed:
            faults.append(f"{label}: {keyed} pure white pixels in a bitmap drawn opaquely")
    return faults


def main(argv):
    scale = 1
    names = []
    args = argv[1:]
    while args:
        a = args.pop(0)
        if a == "--scale":
            scale = int(args.pop(0))
        elif a in SIZES:
            names.append(a)
        else:
            sys.stderr.write(__doc__)
            return 2
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    faults = []
    checked = 0
    for name in names or sorted(SIZES):
        faults += check_plugin(root, name, scale)
        checked += len(SIZES[name])
    for f in faults:
        print(f"check_bmps: {f}")
    print(f"check_bmps: {checked} bitmaps checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
