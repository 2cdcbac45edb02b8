#!/usr/bin/env python3
"""Writes the SVG sources and the render manifest of one plug-in's skin.

    skingen.py DESIGN.py OUTDIR

DESIGN.py is the plug-in's design module (clampora/skin/design.py,
tonvela/skin/design.py): palette, layout, legends and bitmap ids.  OUTDIR
receives <id>-<name>.svg for every bitmap and skin.manifest, one line per
bitmap:

    id file width height frames mode x y matte

mode "back":  the editor background, rendered as it is;
mode "plain": rendered as it is (it must cover every pixel);
mode "over":  composited over the editor picture at (x, y), each frame on
              the same patch, so rounded edges blend into the panel; the
              picture is the background with the meter dials on it;
mode "dial":  like "over", and also part of that picture;
mode "keyed": drawn transparently by the editor: visible pixels are
              flattened on the matte colour they will sit on, the rest
              becomes the key colour, pure white.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skinkit as kit  # noqa: E402
from family import load_design  # noqa: E402,F401  (check_layout and preview load designs through here)
from skinkit import Svg  # noqa: E402


# ---------------------------------------------------------------- background

def background(d):
    p = d.PAL
    w, h = d.SIZE
    s = Svg(w, h)
    deck = s.linear([(0, p["deck_top"]), (1, p["deck_bottom"])])
    s.rect(0, 0, w, h, deck)
    # fine horizontal grain of the brushed plate
    grain = s.uid("f")
    s.defs.append(f'<filter id="{grain}" x="0" y="0" width="100%" height="100%">'
                  f'<feTurbulence type="fractalNoise" baseFrequency="0.9 0.035" numOctaves="2" seed="7"/>'
                  f'<feColorMatrix type="matrix" values="0 0 0 0 0.5  0 0 0 0 0.5  0 0 0 0 0.5  '
                  f'0 0 0 {p["grain"]} 0"/></filter>')
    s.rect(0, 0, w, h, "#808080", extra=f' filter="url(#{grain})"')
    sheen = s.linear([(0, "#ffffff", 0.18), (0.45, "#ffffff", 0.0), (1, "#000000", 0.06)], 0, 0, 1, 1)
    s.rect(0, 0, w, h, sheen)
    # outer edge of the plate
    s.rect(0.5, 0.5, w - 1, h - 1, "none", stroke=p["plate_edge"], sw=1)
    s.path(f"M1.5,{h - 2} V1.5 H{w - 2}", stroke=p["engrave_hi"], sw=1, extra=' stroke-opacity="0.8"')

    meter_bay(s, d)
    for x in d.SEPARATORS:
        top, bottom = d.SEPARATOR_SPAN
        s.line(x - 0.5, top, x - 0.5, bottom, p["engrave_lo"], sw=1, extra=' stroke-opacity="0.55"')
        s.line(x + 0.5, top, x + 0.5, bottom, p["engrave_hi"], sw=1, extra=' stroke-opacity="0.9"')
    for (left, top, width, height), (ticks, majors) in zip(d.FADERS, d.FADER_TICKS):
        kit.fader_slot(s, left, top, width, height, d.FADER_HANDLE[1], p, ticks, majors)
    for (l, t, r, b) in d.VALUE_PLATES:
        cx = (l + r) / 2.0
        pw = min(44, r - l - 6)
        kit.recess(s, cx - pw / 2.0, t + 1, pw, b - t - 2, p["plate"], p["plate_dark"], p["engrave_hi"], rx=2)
    for (left, top, size) in d.KNOBS:
        cx, cy = kit.knob_centre(left, top, size)
        rcap = d.KNOB_CAP_RADIUS - (0.5 if size < 37 else 0.0)
        kit.knob_scale(s, cx, cy, rcap + 1.4, p)
        kit.knob_cap(s, cx, cy, rcap, p)
    brand(s, d)
    return s


def meter_bay(s, d):
    """The dark recessed bridge that holds both meter windows and the
    meter-related keys."""
    p = d.PAL
    x, y, w, h = d.BAY
    s.rect(x - 0.5, y - 0.5, w + 1, h + 1, p["engrave_hi"], rx=5.5, extra=' fill-opacity="0.9"')
    s.rect(x - 0.5, y - 0.5, w, h, p["engrave_lo"], rx=5.5, extra=' fill-opacity="0.7"')
    bay = s.linear([(0, p["bay_top"]), (1, p["bay_bottom"])])
    s.rect(x, y, w, h, bay, rx=5)
    s.path(f"M{x + 1.5},{y + h - 5} V{y + 5} Q{x + 1.5},{y + 1.5} {x + 5},{y + 1.5} H{x + w - 5}",
           stroke="#000000", sw=1, extra=' stroke-opacity="0.45"')
    for (dx, dy), _pivot, _lamp in d.METERS:
        dw, dh = d.DIAL_SIZE
        # window bezel: a lit outer lip, a black frame, the dial sits inside
        s.rect(dx - 3.5, dy - 3.5, dw + 7, dh + 7, "none", stroke=p["bay_lip"], sw=1, extra=' rx="3.5"')
        s.rect(dx - 3, dy - 3, dw + 6, dh + 6, p["window_frame"], rx=3)
        s.rect(dx - 1, dy - 1, dw + 2, dh + 2, "#000000")
    for (tx, ty, text) in d.BAY_LABELS:
        s.text(tx, ty, text, 8, p["bay_text"], "bold", spacing=0.6)


def brand(s, d):
    p = d.PAL
    cx, base = d.BRAND_AT
    # the maker's badge, then the product name engraved
    bw = 24
    tw = 6.9 * len(d.TITLE) + 1.5 * (len(d.TITLE) - 1)
    total = bw + 6 + tw
    x0 = cx - total / 2.0
    badge = s.linear([(0, p["badge_hi"]), (1, p["badge_lo"])])
    s.rect(x0, base - 9, bw, 11, badge, rx=2)
    s.rect(x0 + 0.5, base - 8.5, bw - 1, 10, "none", stroke="#000000", sw=1, rx=1.5,
           extra=' stroke-opacity="0.35"')
    s.text(x0 + bw / 2.0, base, "KLV", 9, p["badge_text"], "bold", spacing=0.8)
    s.engraved(x0 + bw + 6, base + 0.5, d.TITLE, 11, p["brand"], p["engrave_hi"], anchor="start", spacing=1.5)


# ---------------------------------------------------------------- overlays

def dial_svg(d, side):
    w, h = d.DIAL_SIZE
    s = Svg(w, h)
    (dx, dy), pivot, _lamp = d.METERS[0 if side == "L" else 1]
    kit.dial(s, w, h, (pivot[0] - dx, pivot[1] - dy), d.PAL, side, d.GR_SCALE, d.DIAL_LEGEND)
    return s


def lamp_svg(d):
    w, h = d.LAMP_SIZE
    s = Svg(w, 2 * h)
    for frame in (0, 1):
        kit.lamp(s, w / 2.0, frame * h + h / 2.0 - 0.5, frame == 1, d.PAL)
    return s


def button_svg(d, w, h, frames):
    """frames: one (style, legend) per state, top to bottom.  Styles: "off"
    dark key with a dim legend; "on" lit key; "warn" lit in the warning
    colour; "mode" dark key with a bright legend (a choice, not on/off);
    legends "@2"/"@1" draw the stereo and mono ring symbols."""
    p = d.PAL
    s = Svg(w, h * len(frames))
    for i, (style, legend) in enumerate(frames):
        y = i * h
        if style in ("on", "warn"):
            kit.key_frame(s, 0, y, w, h, p[f"key_{style}_hi"], p[f"key_{style}_lo"], p["key_edge"],
                          p[f"key_{style}_glow"])
            ink = p[f"key_{style}_text"]
        else:
            kit.key_frame(s, 0, y, w, h, p["key_off_hi"], p["key_off_lo"], p["key_edge"])
            ink = p["key_mode_text"] if style == "mode" else p["key_off_text"]
        if legend.startswith("@"):
            kit.ring_icon(s, w / 2.0, y + h / 2.0, int(legend[1:]), ink)
        else:
            kit.key_legend(s, 0, y, w, h, legend, ink)
    return s


def fader_handle_svg(d, w, h, vertical):
    """Fader cap: dark body, lit top edge, grip grooves and an index line."""
    p = d.PAL
    s = Svg(w, h)
    body = s.linear([(0, p["cap_hi"]), (0.5, p["cap_mid"]), (1, p["cap_lo"])],
                    0, 0, 0 if vertical else 1, 1 if vertical else 0)
    s.rect(0, 0, w, h, p["cap_edge"], rx=2.4)
    s.rect(1, 1, w - 2, h - 2, body, rx=1)
    s.line(1.5, 1.5, w - 1.5, 1.5, p["cap_light"], sw=1, extra=' stroke-opacity="0.7"')
    s.line(1.5, 1.5, 1.5, h - 1.5, p["cap_light"], sw=1, extra=' stroke-opacity="0.35"')
    mid = (h if vertical else w) // 2
    for off in (-4, -2, 2, 4):
        c = mid + off + 0.5
        if vertical:
            s.line(3, c, w - 3, c, "#000000", sw=1, extra=' stroke-opacity="0.45"')
        else:
            s.line(c, 3, c, h - 3, "#000000", sw=1, extra=' stroke-opacity="0.45"')
    c = mid + 0.5
    if vertical:
        s.line(1, c, w - 1, c, p["cap_index"], sw=1)
    else:
        s.line(c, 1, c, h - 1, p["cap_index"], sw=1)
    return s


def knob_handle_svg(d):
    p = d.PAL
    s = Svg(5, 5)
    dot = s.radial([(0, p["dot_hi"]), (0.6, p["dot"]), (1, p["dot_lo"])], 0.4, 0.38, 0.62)
    s.circle(2.5, 2.5, 2.45, dot)
    return s


def mix_background_svg(d):
    """Horizontal slot of the mix fader with ticks on the handle's centre
    columns (handle 15 wide travelling 63 pixels)."""
    p = d.PAL
    w, h = d.MIX_SIZE
    hw = d.MIX_HANDLE[0]
    s = Svg(w, h)
    travel = w - hw
    s.rect(hw / 2.0 - 1, h / 2.0 - 2.5, travel + 2, 5, p["slot"], rx=2)
    s.line(hw / 2.0, h / 2.0 + 3, hw / 2.0 + travel, h / 2.0 + 3, p["engrave_hi"], sw=1)
    s.line(hw / 2.0, h / 2.0 - 1.5, hw / 2.0 + travel, h / 2.0 - 1.5, p["slot_lip"], sw=1)
    for k in range(5):
        col = int(travel * k / 4) + hw // 2 + 0.5
        ln = 3 if k in (0, 2, 4) else 2
        s.line(col, 0, col, ln, p["tick"], sw=1)
        s.line(col, h - ln, col, h, p["tick"], sw=1)
    return s


def about_svg(d):
    """About panel.  The editor prints centred text rows at 16, 32 and 48
    (11 px) and 88 (9 px) from the top; those rows stay plain and light, the
    emblem sits between them."""
    p = d.PAL
    w, h = d.ABOUT_SIZE
    s = Svg(w, h)
    s.rect(0, 0, w, h, p["about_edge"], rx=4)
    face = s.linear([(0, p["about_hi"]), (1, p["about_lo"])])
    s.rect(1, 1, w - 2, h - 2, face, rx=3)
    s.rect(1, 1, w - 2, 11, p["bay_top"], rx=3)
    s.rect(1, 7, w - 2, 5, p["bay_top"])
    s.line(1, 12.5, w - 1, 12.5, p["about_accent"], sw=1)
    s.text(8, 10, "KLV", 8, p["about_title"], "bold", anchor="start", spacing=1.0)
    s.text(w - 8, 10, d.PRODUCT_KIND, 8, p["about_title"], "bold", anchor="end", spacing=1.0)
    emblem(s, d, w / 2.0, 76)
    s.line(40, 107.5, w - 40, 107.5, p["about_accent"], sw=1, extra=' stroke-opacity="0.6"')
    return s


def emblem(s, d, cx, cy):
    """A small transfer curve: the compressor's knee or the saturator's
    soft-clipping S curve, drawn in a framed square, with lines to the sides."""
    p = d.PAL
    half = 10
    s.rect(cx - half - 0.5, cy - half - 0.5, 2 * half + 1, 2 * half + 1, p["about_hi"], rx=2,
           stroke=p["about_ink"], sw=1)
    pts = []
    for i in range(41):
        u = -1.0 + i / 20.0
        v = d.emblem_curve(u)
        pts.append(f"{kit.fmt(cx + u * (half - 2))},{kit.fmt(cy - v * (half - 2))}")
    s.path("M" + " L".join(pts), stroke=p["about_accent"], sw=1.4, extra=' stroke-linejoin="round"')
    for sign in (-1, 1):
        x0 = cx + sign * (half + 6)
        s.line(x0, cy + 0.5, x0 + sign * 90, cy + 0.5, p["about_accent"], sw=1, extra=' stroke-opacity="0.45"')


def badge_svg(d, w, h):
    """Maker's badge, for the spare bitmaps."""
    p = d.PAL
    s = Svg(w, h)
    s.rect(0, 0, w, h, p["deck_top"])
    badge = s.linear([(0, p["badge_hi"]), (1, p["badge_lo"])])
    s.rect(1, 1, w - 2, h - 2, badge, rx=2)
    size = min(9, h - 4)
    s.text(w / 2.0, h / 2.0 + size * 0.36, "KLV", size, p["badge_text"], "bold", spacing=0.8)
    return s


# ---------------------------------------------------------------- manifest

def mix_colours(a, b):
    ca = [int(a[i:i + 2], 16) for i in (1, 3, 5)]
    cb = [int(b[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join(f"{(x + y) // 2:02x}" for x, y in zip(ca, cb))


def build(d):
    """Returns [(id, name, svg, w, h, frames, mode, x, y, matte)]."""
    out = []
    # fader caps ride over the plate (the slot is narrower than their edges)
    deck = mix_colours(d.PAL["deck_top"], d.PAL["deck_bottom"])
    W, H = d.SIZE
    ids = d.IDS
    out.append((ids["background"], "background", background(d), W, H, 1, "back", 0, 0, ""))
    for side, key in (("L", "dial_left"), ("R", "dial_right")):
        (dx, dy), _pv, _lp = d.METERS[0 if side == "L" else 1]
        w, h = d.DIAL_SIZE
        out.append((ids[key], key.replace("_", "-"), dial_svg(d, side), w, h, 1, "dial", dx, dy, ""))
    for key, idx in (("lamp_left", 0), ("lamp_right", 1)):
        lx, ly = d.METERS[idx][2]
        w, h = d.LAMP_SIZE
        out.append((ids[key], key.replace("_", "-"), lamp_svg(d), w, 2 * h, 2, "over", lx, ly, ""))
    for b in d.BUTTONS:
        svg = button_svg(d, b["w"], b["h"], b["frames"])
        out.append((b["id"], b["name"], svg, b["w"], b["h"] * len(b["frames"]), len(b["frames"]),
                    "over", b["x"], b["y"], ""))
    fw, fh = d.FADER_HANDLE
    out.append((ids["fader_handle"], "fader-handle", fader_handle_svg(d, fw, fh, True), fw, fh, 1,
                "keyed", 0, 0, deck))
    mx, my = d.MIX_AT
    mw, mh = d.MIX_SIZE
    out.append((ids["mix_background"], "mix-background", mix_background_svg(d), mw, mh, 1,
                "over", mx, my, ""))
    hw, hh = d.MIX_HANDLE
    out.append((ids["mix_handle"], "mix-handle", fader_handle_svg(d, hw, hh, False), hw, hh, 1,
                "keyed", 0, 0, deck))
    out.append((ids["knob_handle"], "knob-handle", knob_handle_svg(d), 5, 5, 1, "keyed", 0, 0,
                d.PAL["knob_face"]))
    ax, ay = d.ABOUT_AT
    aw, ah = d.ABOUT_SIZE
    out.append((ids["about"], "about", about_svg(d), aw, ah, 1, "over", ax, ay, ""))
    for (bid, (w, h)) in d.SPARES:
        out.append((bid, "spare", badge_svg(d, w, h), w, h, 1, "plain", 0, 0, ""))
    return sorted(out, key=lambda e: e[0])


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    d = load_design(argv[1])
    outdir = argv[2]
    os.makedirs(outdir, exist_ok=True)
    for f in os.listdir(outdir):
        if f.endswith(".svg"):
            os.remove(os.path.join(outdir, f))
    lines = ["# id file width height frames mode x y matte  (written by tools/skins/skingen.py)"]
    for (bid, name, svg, w, h, frames, mode, x, y, matte) in build(d):
        fname = f"{bid}-{name}.svg"
        with open(os.path.join(outdir, fname), "w") as f:
            f.write(svg.render())
        lines.append(f"{bid} {fname} {w} {h} {frames} {mode} {x} {y} {matte or '-'}")
    with open(os.path.join(outdir, "skin.manifest"), "w") as f:
        f.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
