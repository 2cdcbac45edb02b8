#!/usr/bin/env python3
"""Composes a picture of a whole editor from the rendered skin bitmaps, the
way the editor draws them: the background, the meters with their lamps and
needles, the knob and fader handles at sample values, the keys in chosen
states and sample read-out texts.  Writes an SVG that references PNG copies
of the bitmaps (made by preview.sh); rsvg-convert turns it into the preview.

    preview.py PLUGIN PNGDIR OUT.svg [about]
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skingen  # noqa: E402
import skinkit as kit  # noqa: E402
from editor_layout import EDITORS, NEEDLE_INNER, NEEDLE_OUTER  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

# Sample state per editor, in the order of editor_layout's tables: knob
# values with the name and read-out the editor would print, fader values
# with theirs, key states by bitmap id, meter inputs and about rows.
SAMPLES = {
    "clampora": dict(
        knobs=[(0.5, "freq", "2500Hz"), (0.1, "Q", "1.0"), (0.0, "attack", "fast"),
               (0.45, "hold", "41.0ms"), (0.62, "release", "265.7ms"), (1.0, "make-up", "auto"),
               (0.5, "output", "0.0dB"), (0.7, "input", "-3.5dB")],
        faders=[(0.35, "compress", "35%"), (0.8, "slope", "80%")],
        mix=(1.0, "mix", "100%"),
        keys={129: 1, 130: 0, 131: 0, 132: 1, 133: 1, 134: 1, 135: 0},
        # level (linear), clip lamp, gain reduction in dB, held peak (linear)
        meters=[(10 ** (-6 / 20.0), 1, 4.0, 10 ** (-1.5 / 20.0)),
                (10 ** (-11 / 20.0), 0, 1.5, 10 ** (-5 / 20.0))],
        about=["KLV Clampora v 1.5", "compressor for mix bus and channels",
               "(c) KLV", "VST PlugIn Technology by Steinberg"],
    ),
    "tonvela": dict(
        knobs=[(0.5, "input", "0.0dB"), (0.4, "freq", "200Hz"), (0.1, "warmth", "10%"),
               (0.5, "adjust", "0.0dB"), (0.6, "freq", "8000Hz"), (0.2, "compress", "20%"),
               (0.57, "adjust", "1.6dB"), (0.0, "output", "-oo dB")],
        faders=[(0.25, "drive", "25%"), (6 / 7.0, "shape", "tape3")],
        mix=(0.7, "mix", "70%"),
        keys={129: 1, 130: 1, 131: 0, 132: 2, 133: 1},
        meters=[(10 ** (-4 / 20.0), 1, None, 10 ** (-0.5 / 20.0)),
                (10 ** (-9 / 20.0), 0, None, 10 ** (-4 / 20.0))],
        about=["KLV Tonvela v 1.5", "saturation and harmonic enhancer",
               "(c) KLV", "VST PlugIn Technology by Steinberg"],
    ),
}


def image(bid, x, y, w, h, sx=0, sy=0):
    """A bitmap blit: the w x h patch at (sx, sy) of bitmap bid, put at (x, y)."""
    return (f'<svg x="{x}" y="{y}" width="{w}" height="{h}" viewBox="{sx} {sy} {w} {h}">'
            f'<image href="{bid}.png" x="0" y="0" width="{bitmap_size[bid][0]}" '
            f'height="{bitmap_size[bid][1]}" image-rendering="optimizeSpeed"/></svg>')


def text(rect, s, align, size=9, colour="#000000"):
    l, t, r, b = rect
    # GDI centres the character cell (about 1.15 x the size) in the rectangle
    base = t + (b - t - size * 1.15) / 2.0 + size * 0.905
    x, anchor = ((l + r) / 2.0, "middle") if align == 1 else (l, "start")
    return (f'<text x="{x}" y="{base:.2f}" font-family="Liberation Sans" font-size="{size}" '
            f'text-anchor="{anchor}" fill="{colour}">{kit.esc(s)}</text>')


def needle(pivot, r_in, r_out, x, colour):
    x = max(x, 1e-8)
    p = min(max(math.log10(x) * 0.5263157 + 1.0, -0.043), 1.043)
    a = 2.356194490192345 - p * 1.5707964
    x0, y0 = int(pivot[0] + r_in * math.cos(a)), int(pivot[1] - r_in * math.sin(a))
    x1, y1 = int(pivot[0] + r_out * math.cos(a)), int(pivot[1] - r_out * math.sin(a))
    return (f'<line x1="{x0 + 0.5}" y1="{y0 + 0.5}" x2="{x1 + 0.5}" y2="{y1 + 0.5}" stroke="{colour}" '
            f'stroke-width="1" shape-rendering="crispEdges"/>')


bitmap_size = {}


def compose(name, show_about):
    """The editor's drawing, in the order the editor draws."""
    ed = EDITORS[name]
    sample = SAMPLES[name]
    d = skingen.load_design(os.path.join(ROOT, name, "skin", "design.py"))
    for (bid, _n, _svg, w, h, *_rest) in skingen.build(d):
        bitmap_size[bid] = (w, h)
    W, H = ed["size"]
    parts = [image(ed["background"], 0, 0, W, H)]
    for (dial, (dx, dy), lampid, (lx, ly), pivot), meter in zip(ed["meters"], sample["meters"]):
        level, clip, gr_db, peak = meter
        parts.append(image(dial, dx, dy, *bitmap_size[dial]))
        lw, lh = bitmap_size[lampid]
        parts.append(image(lampid, lx, ly, lw, lh // 2, 0, lh // 2 if clip else 0))
        parts.append(needle(pivot, NEEDLE_INNER, NEEDLE_OUTER, peak, "#ff0000"))
        parts.append(needle(pivot, NEEDLE_INNER, NEEDLE_OUTER, level * 1.58, "#000000"))
        if gr_db is not None:
            parts.append(needle(pivot, NEEDLE_INNER, 0.7 * NEEDLE_OUTER,
                                10 ** (-gr_db / 20.0) * 0.1995, "#0000ff"))
    for bid, (l, t, r, b), states, _kind in ed["keys"]:
        h = bitmap_size[bid][1] // states
        parts.append(image(bid, l, t, r - l, h, 0, sample["keys"][bid] * h))
    texts = []
    for (_n, (l, t, r, _b), name_rect, value_rect), (v, label, value) in zip(ed["knobs"], sample["knobs"]):
        hx, hy = kit.knob_handle_point(r - l, v)
        parts.append(image(ed["knob_handle"], l + hx - 2, t + hy - 2, 5, 5))
        texts += [(name_rect, label, 1), (value_rect, value, 1)]
    fw, fh = bitmap_size[ed["fader_handle"]]
    for (_n, (l, t, _r, _b), (lo, hi), name_rect, value_rect), (v, label, value) in zip(ed["faders"],
                                                                                        sample["faders"]):
        parts.append(image(ed["fader_handle"], l, lo + int((hi - lo) * (1.0 - v)), fw, fh))
        texts += [(name_rect, label, 1), (value_rect, value, 1)]
    (ml, mt, _mr, _mb), (lo, hi), name_rect, value_rect = ed["mix"]
    v, label, value = sample["mix"]
    parts.append(image(ed["mix_background"], ml, mt, *bitmap_size[ed["mix_background"]]))
    hw, hh = bitmap_size[ed["mix_handle"]]
    parts.append(image(ed["mix_handle"], lo + int((hi - lo) * v), mt, hw, hh))
    texts += [(name_rect, label, 1), (value_rect, value, 0)]
    parts += [text(rect, s, align) for rect, s, align in texts]
    if show_about:
        ax, ay = ed["about_at"]
        aw, ah = bitmap_size[ed["about"]]
        parts.append(image(ed["about"], ax, ay, aw, ah))
        rows = sample["about"]
        for k, s in enumerate(rows[:3]):
            parts.append(text((ax, ay + 16 + 16 * k, ax + aw, ay + 31 + 16 * k), s, 1, 11, "#2d2d78"))
        parts.append(text((ax, ay + 88, ax + aw, ay + 103), rows[3], 1, 9, "#3c3c3c"))
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}">\n'
            + "\n".join(parts) + "\n</svg>\n")


def main(argv):
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[3], "w") as f:
        f.write(compose(argv[1], len(argv) > 4 and argv[4] == "about"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
