#!/usr/bin/env python3
"""Checks that the rendered skins fit the editors that draw them.

    check_layout.py [clampora|tonvela ...]

Run after check_bmps.py (sizes and formats).  Tests the pictures against the
editors' own geometry in editor_layout.py:
  - every knob's handle, at every position it can take, lies on the dark
    knob cap of the background;
  - the plate under every name and value display is light and plain where
    the 9-pixel black text goes;
  - the meter dials carry their 0 dB (red) and -20 dB marks (and the
    compressor's dials their no-reduction mark, blue) where the needle law
    puts them; their faces are light;
  - lamps and on/off keys have the unlit frame on top and the lit one below;
  - the vertical faders' slots run under the whole travel of the handles;
  - the about panel's text rows are light.
Exits 1 on any fault.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_bmps import read_bmp  # noqa: E402
from editor_layout import EDITORS, NEEDLE_INNER  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def lum(px):
    r, g, b = px
    return 0.299 * r + 0.587 * g + 0.114 * b


class Picture:
    def __init__(self, path):
        self.w, self.h, self.rows = read_bmp(path)

    def at(self, x, y):
        return self.rows[y][x]

    def area(self, l, t, r, b):
        return [self.rows[y][x] for y in range(max(t, 0), min(b, self.h))
                for x in range(max(l, 0), min(r, self.w))]

    def frame(self, k, count):
        h = self.h // count
        return [px for row in self.rows[k * h:(k + 1) * h] for px in row]


def mean_lum(pixels):
    return sum(lum(p) for p in pixels) / len(pixels)


def handle_point(size, value):
    # the knob's own rounding: r = width / 2, inset 5, 225 degrees - 270 x value
    r = size / 2.0
    a = 3.9269907 - 4.712389 * value
    return int(r + math.cos(a) * (r - 5) + 0.5), int(r - math.sin(a) * (r - 5) + 0.5)


def text_band(rect, align):
    """Where a centred (or left-aligned) 9-pixel word of up to 32 pixels
    lands in a display rectangle."""
    l, t, r, b = rect
    cy = (t + b) // 2
    if align == 0:
        return l + 1, cy - 4, l + 22, cy + 4
    cx = (l + r) // 2
    half = min(16, (r - l) // 2 - 1)
    return cx - half, cy - 4, cx + half, cy + 4


def check_plugin(name):
    ed = EDITORS[name]
    folder = os.path.join(ROOT, name, "skin", "bmp")
    pic = {}

    def load(bid):
        if bid not in pic:
            pic[bid] = Picture(os.path.join(folder, f"{bid}.bmp"))
        return pic[bid]

    faults = []
    bg = load(ed["background"])

    for label, (l, t, r, _b), name_rect, value_rect in ed["knobs"]:
        for step in range(101):
            hx, hy = handle_point(r - l, step / 100.0)
            x0, y0 = l + hx - 2, t + hy - 2
            under = [bg.at(x0 + i, y0 + j) for j in range(5) for i in range(5)
                     if i in (1, 2, 3) or j in (1, 2, 3)]  # the dot; its corners are keyed out
            if max(lum(p) for p in under) > 110:
                faults.append(f"{name} knob {label}: handle at {step}% leaves the cap")
                break
        for rect in (name_rect, value_rect):
            if min(lum(p) for p in bg.area(*text_band(rect, 1))) < 150:
                faults.append(f"{name} knob {label}: display {rect} not light enough for black text")

    for label, (l, t, r, _b), (lo, hi), name_rect, value_rect in ed["faders"]:
        cx = (l + r) // 2
        slot = [bg.at(cx, y) for y in range(lo + 7, hi + 8)]
        if max(lum(p) for p in slot) > 80:
            faults.append(f"{name} fader {label}: no dark slot under the whole handle travel")
        for rect in (name_rect, value_rect):
            if min(lum(p) for p in bg.area(*text_band(rect, 1))) < 150:
                faults.append(f"{name} fader {label}: display {rect} not light enough for black text")
    _mrect, _travel, name_rect, value_rect = ed["mix"]
    for rect, align in ((name_rect, 1), (value_rect, 0)):
        if min(lum(p) for p in bg.area(*text_band(rect, align))) < 150:
            faults.append(f"{name} mix: display {rect} not light enough for black text")

    for dial_id, (dx, dy), lamp_id, _lamp_at, (px, py) in ed["meters"]:
        dial = load(dial_id)
        if mean_lum(dial.area(0, 0, dial.w, dial.h)) < 170:
            faults.append(f"{name} dial {dial_id}: face too dark for the needles")
        marks = [(0.0, 66, 78, lambda c: c[0] > 150 and c[1] < 110 and c[2] < 110, "red 0 dB"),
                 (-20.0, 66, 78, lambda c: lum(c) < 90, "-20 dB")]
        if ed["gain_reduction"]:
            marks.append((-14.0, NEEDLE_INNER + 20, 62, lambda c: c[2] > c[0] + 60, "blue no-reduction"))
        for db, r0, r1, test, what in marks:
            a = 3.0 * math.pi / 4.0 - (1.0 + db / 38.0) * math.pi / 2.0
            hits = [dial.at(int(px - dx + r * math.cos(a)), int(py - dy - r * math.sin(a)))
                    for r in range(r0, r1)]
            if not any(test(c) for c in hits):
                faults.append(f"{name} dial {dial_id}: no {what} mark on the needle's path")
        lamp = load(lamp_id)
        off, on = lamp.frame(0, 2), lamp.frame(1, 2)
        lit = max(on, key=lambda c: c[0] - c[1])
        if not (lit[0] > 200 and lit[1] < 150) or max(c[0] - c[1] for c in off) > 120:
            faults.append(f"{name} lamp {lamp_id}: want unlit on top, lit red below")

    for bid, _rect, states, kind in ed["keys"]:
        key = load(bid)
        frames = [key.frame(k, states) for k in range(states)]
        if kind == "onoff" and not all(mean_lum(f) > mean_lum(frames[0]) + 25 for f in frames[1:]):
            faults.append(f"{name} key {bid}: the off frame (top) must be the unlit one")
        if any(frames[i] == frames[j] for i in range(states) for j in range(i + 1, states)):
            faults.append(f"{name} key {bid}: two states look the same")

    about = load(ed["about"])
    for top in (16, 32, 48, 88):
        if min(lum(p) for p in about.area(12, top + 1, about.w - 12, top + 14)) < 170:
            faults.append(f"{name} about: text row at {top} is not plain and light")
    return faults


def main(argv):
    names = argv[1:] or sorted(EDITORS)
    if any(n not in EDITORS for n in names):
        sys.stderr.write(__doc__)
        return 2
    faults = []
    for n in names:
        faults += check_plugin(n)
    for f in faults:
        print(f"check_layout: {f}")
    print(f"check_layout: {len(names)} editors checked, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
