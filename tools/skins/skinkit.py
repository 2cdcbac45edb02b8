"""Drawing kit for the KLV editor skins.

Every skin bitmap is described here as an SVG document in editor pixels
(one user unit is one pixel at scale 1), so the same sources render a larger
set with rsvg-convert --zoom.  The two plug-ins share this kit; each one
supplies a design module (its palette, its layout and its legends) and
skingen.py turns that into SVG files plus a manifest that the render script
follows.

Light comes from the upper left everywhere: raised parts (knobs, keys,
handles) are bright on their top and left edges and cast a shadow to the
lower right; recessed parts (slots, read-out plates, meter windows, the
meter bay) are dark on their top and left inner edges and catch a highlight
on the bottom and right.
"""

import math

FONT = "Liberation Sans"

# Meter law of the needle meters: a level of L dB sits at p = 1 + L / 38
# (p = log10(x) / 1.9 + 1 with x = 10^(L/20)), and p runs from 135 degrees
# (p = 0) to 45 degrees (p = 1) around the pivot.
METER_DECADES = 1.9
P_MIN, P_MAX = -0.043, 1.043


def meter_p(level_db):
    return 1.0 + level_db / (20.0 * METER_DECADES)


def meter_angle(p):
    """Needle angle in radians, counter-clockwise from the x axis."""
    return 3.0 * math.pi / 4.0 - p * math.pi / 2.0


# Knobs: the handle bitmap is centred on
#   x = (int)(r + cos(a) (r - 5) + 0.5), y = (int)(r - sin(a) (r - 5) + 0.5)
# with r = width / 2, a from 225 degrees (value 0) turning 270 degrees
# clockwise.  A 5 x 5 handle put at (x - 2, y - 2) has its middle at x + 0.5,
# so the dot circles (r + 0.5, r + 0.5) of the knob rectangle at radius r - 5.
KNOB_START = 3.9269907
KNOB_RANGE = -4.712389
HANDLE_INSET = 5


def knob_centre(left, top, size):
    return left + size / 2.0 + 0.5, top + size / 2.0 + 0.5


def knob_handle_point(size, value):
    """Pixel the handle is centred on, relative to the knob's top-left."""
    r = size / 2.0
    a = KNOB_START + KNOB_RANGE * value
    return (int(r + math.cos(a) * (r - HANDLE_INSET) + 0.5),
            int(r - math.sin(a) * (r - HANDLE_INSET) + 0.5))


def fmt(v):
    """Compact number for SVG attributes."""
    s = f"{v:.3f}".rstrip("0").rstrip(".")
    return s if s not in ("", "-0") else "0"


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class Svg:
    """One SVG document of w x h pixels, built from strings."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.defs = []
        self.body = []
        self._ids = 0

    def uid(self, stem):
        self._ids += 1
        return f"{stem}{self._ids}"

    def add(self, *parts):
        self.body.extend(parts)

    def linear(self, stops, x1=0, y1=0, x2=0, y2=1, user=None):
        """Linear gradient; stops are (offset, colour[, opacity]).  With
        user=True the end points are in document pixels."""
        gid = self.uid("g")
        units = ' gradientUnits="userSpaceOnUse"' if user else ""
        s = "".join(self._stop(st) for st in stops)
        self.defs.append(f'<linearGradient id="{gid}" x1="{fmt(x1)}" y1="{fmt(y1)}" '
                         f'x2="{fmt(x2)}" y2="{fmt(y2)}"{units}>{s}</linearGradient>')
        return f"url(#{gid})"

    def radial(self, stops, cx=0.5, cy=0.5, r=0.5, fx=None, fy=None, user=None):
        gid = self.uid("g")
        units = ' gradientUnits="userSpaceOnUse"' if user else ""
        focus = ""
        if fx is not None:
            focus = f' fx="{fmt(fx)}" fy="{fmt(fy)}"'
        s = "".join(self._stop(st) for st in stops)
        self.defs.append(f'<radialGradient id="{gid}" cx="{fmt(cx)}" cy="{fmt(cy)}" '
                         f'r="{fmt(r)}"{focus}{units}>{s}</radialGradient>')
        return f"url(#{gid})"

    def blur(self, std):
        fid = self.uid("f")
        self.defs.append(f'<filter id="{fid}" x="-50%" y="-50%" width="200%" height="200%">'
                         f'<feGaussianBlur stdDeviation="{fmt(std)}"/></filter>')
        return f"url(#{fid})"

    @staticmethod
    def _stop(st):
        off, col = st[0], st[1]
        op = f' stop-opacity="{fmt(st[2])}"' if len(st) > 2 else ""
        return f'<stop offset="{fmt(off)}" stop-color="{col}"{op}/>'

    def text(self, x, y, s, size, fill, weight="normal", anchor="middle",
             spacing=0.0, opacity=None, family=FONT):
        sp = f' letter-spacing="{fmt(spacing)}"' if spacing else ""
        op = f' fill-opacity="{fmt(opacity)}"' if opacity is not None else ""
        self.add(f'<text x="{fmt(x)}" y="{fmt(y)}" font-family="{family}" '
                 f'font-size="{fmt(size)}" font-weight="{weight}" text-anchor="{anchor}" '
                 f'fill="{fill}"{op}{sp}>{esc(s)}</text>')

    def engraved(self, x, y, s, size, ink, light, weight="bold", anchor="middle", spacing=0.0):
        """Text cut into a lit surface: the lower lip of the cut catches the light."""
        self.text(x, y + 1, s, size, light, weight, anchor, spacing, opacity=0.8)
        self.text(x, y, s, size, ink, weight, anchor, spacing)

    def rect(self, x, y, w, h, fill="none", rx=0, stroke=None, sw=1, extra=""):
        st = f' stroke="{stroke}" stroke-width="{fmt(sw)}"' if stroke else ""
        r = f' rx="{fmt(rx)}"' if rx else ""
        self.add(f'<rect x="{fmt(x)}" y="{fmt(y)}" width="{fmt(w)}" height="{fmt(h)}"{r} '
                 f'fill="{fill}"{st}{extra}/>')

    def circle(self, cx, cy, r, fill="none", stroke=None, sw=1, extra=""):
        st = f' stroke="{stroke}" stroke-width="{fmt(sw)}"' if stroke else ""
        self.add(f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r)}" fill="{fill}"{st}{extra}/>')

    def line(self, x1, y1, x2, y2, stroke, sw=1, extra=""):
        self.add(f'<line x1="{fmt(x1)}" y1="{fmt(y1)}" x2="{fmt(x2)}" y2="{fmt(y2)}" '
                 f'stroke="{stroke}" stroke-width="{fmt(sw)}"{extra}/>')

    def path(self, d, fill="none", stroke=None, sw=1, extra=""):
        st = f' stroke="{stroke}" stroke-width="{fmt(sw)}"' if stroke else ""
        self.add(f'<path d="{d}" fill="{fill}"{st}{extra}/>')

    def render(self):
        return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{self.w}" height="{self.h}" '
                f'viewBox="0 0 {self.w} {self.h}">\n'
                f'<defs>{"".join(self.defs)}</defs>\n' + "\n".join(self.body) + "\n</svg>\n")



def arc_path(cx, cy, r, a0, a1):
    """Arc from angle a0 to a1 (radians, counter-clockwise from x, y up)."""
    x0, y0 = cx + r * math.cos(a0), cy - r * math.sin(a0)
    x1, y1 = cx + r * math.cos(a1), cy - r * math.sin(a1)
    large = 1 if abs(a1 - a0) > math.pi else 0
    sweep = 1 if a1 < a0 else 0
    return f"M{fmt(x0)},{fmt(y0)} A{fmt(r)},{fmt(r)} 0 {large} {sweep} {fmt(x1)},{fmt(y1)}"


def polar(cx, cy, r, a):
    return cx + r * math.cos(a), cy - r * math.sin(a)


# ---------------------------------------------------------------- panel parts

def recess(svg, x, y, w, h, fill, dark, light, rx=2.0):
    """A pocket in the panel: fill, a shadowed top/left inner lip and a lit
    bottom/right outer lip."""
    svg.rect(x, y, w, h, fill, rx=rx)
    # lit lower/right outer edge (one pixel, outside the pocket)
    svg.path(f"M{fmt(x + rx)},{fmt(y + h + 0.5)} H{fmt(x + w - rx)} "
             f"A{fmt(rx)},{fmt(rx)} 0 0 0 {fmt(x + w + 0.5)},{fmt(y + h - rx)} V{fmt(y + rx)}",
             stroke=light, sw=1, extra=' stroke-opacity="0.9"')
    # shadowed upper/left inner edge
    svg.path(f"M{fmt(x + 0.5)},{fmt(y + h - rx)} V{fmt(y + rx)} "
             f"A{fmt(rx - 0.5)},{fmt(rx - 0.5)} 0 0 1 {fmt(x + rx)},{fmt(y + 0.5)} H{fmt(x + w - rx)}",
             stroke=dark, sw=1, extra=' stroke-opacity="0.85"')


def knob_cap(svg, cx, cy, rcap, pal):
    """Knob seen from above: a shadow on the panel, a bevelled skirt, a flat
    face on which the handle dot runs, and a domed centre."""
    svg.circle(cx + 0.9, cy + 1.3, rcap + 0.4, pal["knob_shadow"],
               extra=f' fill-opacity="0.55" filter="{svg.blur(0.9)}"')
    skirt = svg.linear([(0, pal["knob_rim_hi"]), (0.5, pal["knob_rim_mid"]), (1, pal["knob_rim_lo"])],
                       0.15, 0.1, 0.85, 0.95)
    svg.circle(cx, cy, rcap, skirt)
    svg.circle(cx, cy, rcap - 0.5, "none", stroke=pal["knob_edge"], sw=1, extra=' stroke-opacity="0.5"')
    face_r = rcap - 1.0
    svg.circle(cx, cy, face_r, pal["knob_face"])
    # a soft sheen on the upper left of the flat ring, kept faint so that the
    # handle's edge pixels (composited on the plain face colour) do not show
    sheen = svg.radial([(0, pal["knob_sheen"], 0.16), (1, pal["knob_sheen"], 0)],
                       cx - face_r * 0.45, cy - face_r * 0.45, face_r * 0.9, user=True)
    svg.circle(cx, cy, face_r, sheen)
    dome_r = face_r - 6.0
    dome = svg.linear([(0, pal["knob_dome_hi"]), (1, pal["knob_dome_lo"])], 0.2, 0.1, 0.8, 0.95)
    svg.circle(cx + 0.3, cy + 0.5, dome_r + 0.6, pal["knob_rim_lo"], extra=' fill-opacity="0.6"')
    svg.circle(cx, cy, dome_r, dome)
    svg.path(arc_path(cx, cy, dome_r - 0.6, math.radians(160), math.radians(60)),
             stroke=pal["knob_sheen"], sw=0.8, extra=' stroke-opacity="0.35" stroke-linecap="round"')


def knob_scale(svg, cx, cy, r0, pal, steps=10):
    """Tick marks at the angles the knob sweeps: 0 at 225 degrees, 1 at -45.
    The middle one, straight up, is a dot close to the cap: the name printed
    above the knob comes down to within a few pixels of the cap."""
    for k in range(steps + 1):
        a = KNOB_START + KNOB_RANGE * k / steps
        if 2 * k == steps:
            x, y = polar(cx, cy, r0, a)
            svg.circle(x, y, 0.85, pal["tick"])
            continue
        end = k in (0, steps)
        x0, y0 = polar(cx, cy, r0, a)
        x1, y1 = polar(cx, cy, r0 + (3.4 if end else 2.2), a)
        svg.line(x0, y0, x1, y1, pal["tick"], sw=1.2 if end else 1.0,
                 extra=' stroke-linecap="round"')


def fader_slot(svg, left, top, width, height, handle_h, pal, ticks=10, majors=None):
    """Slot of a vertical fader occupying (left, top, width, height); ticks
    left and right of it on the rows the handle's centre line takes, ticks + 1
    of them, the longer ones at majors (default: ends and middle)."""
    if majors is None:
        majors = (0, ticks // 2, ticks)
    cx = left + width / 2.0
    travel = height - handle_h
    svg.rect(cx - 2.5, top + 3, 5, height - 6, pal["slot"], rx=2)
    svg.line(cx + 2.5, top + 5, cx + 2.5, top + height - 4, pal["engrave_hi"], sw=1,
             extra=' stroke-opacity="0.9"')
    svg.line(cx - 1.5, top + 5, cx - 1.5, top + height - 5, pal["slot_lip"], sw=1)
    for k in range(ticks + 1):
        v = k / ticks
        row = top + int(travel * (1.0 - v)) + handle_h // 2 + 0.5
        ln = 7 if k in majors else 4
        for x0, x1 in ((left - 2 - ln, left - 2), (left + width + 2, left + width + 2 + ln)):
            svg.line(x0, row, x1, row, pal["tick"], sw=1)


# ---------------------------------------------------------------- keys

def key_frame(svg, x, y, w, h, face_hi, face_lo, edge, lit_glow=None):
    """One raised key of a button frame."""
    svg.rect(x + 0.5, y + 0.5, w - 1, h - 1, edge, rx=2.2)
    face = svg.linear([(0, face_hi), (1, face_lo)])
    svg.rect(x + 1, y + 1, w - 2, h - 2, face, rx=1.6)
    if lit_glow:
        glow = svg.radial([(0, lit_glow, 0.55), (1, lit_glow, 0)], 0.5, 0.5, 0.6)
        svg.rect(x + 1, y + 1, w - 2, h - 2, glow, rx=1.6)
    svg.line(x + 2, y + 1.5, x + w - 2, y + 1.5, "#ffffff", sw=1, extra=' stroke-opacity="0.28"')
    svg.line(x + 1.5, y + 2, x + 1.5, y + h - 2, "#ffffff", sw=1, extra=' stroke-opacity="0.12"')
    svg.line(x + 2, y + h - 1.5, x + w - 2, y + h - 1.5, "#000000", sw=1, extra=' stroke-opacity="0.25"')


def key_legend(svg, x, y, w, h, text, colour, size=9.0, weight="bold"):
    svg.text(x + w / 2.0, y + h / 2.0 + size * 0.36, text, size, colour, weight)


def ring_icon(svg, cx, cy, rings, colour):
    """Stereo (two overlapping rings) or mono (one ring) symbol."""
    if rings == 2:
        svg.circle(cx - 2.3, cy, 3.1, "none", stroke=colour, sw=1.2)
        svg.circle(cx + 2.3, cy, 3.1, "none", stroke=colour, sw=1.2)
    else:
        svg.circle(cx, cy, 3.1, "none", stroke=colour, sw=1.2)
        svg.circle(cx, cy, 0.9, colour)


# ---------------------------------------------------------------- meter dial

def dial(svg, w, h, pivot, pal, side, gr_scale, legend=None):
    """Face of a needle meter, w x h, pivot (x, y) relative to the dial (below
    it).  The main scale is in dB at the meter law; gr_scale adds the gain
    reduction scale read by the short blue needle, whose rest position (no
    reduction) is the ratio 1 scaled by 0.1995, that is -14 dB."""
    px, py = pivot
    face = svg.linear([(0, pal["dial_hi"]), (0.75, pal["dial_mid"]), (1, pal["dial_lo"])])
    svg.rect(0, 0, w, h, face)
    glow = svg.radial([(0, pal["dial_glow"], 0.55), (1, pal["dial_glow"], 0)], px, py - 50, 70, user=True)
    svg.rect(0, 0, w, h, glow)

    r_arc = 70.0
    a_red, a_end = meter_angle(meter_p(-3.0)), meter_angle(P_MAX)
    ink, red = pal["dial_ink"], pal["dial_red"]
    # scale line up to -3 dB, then a red band over the top 3 dB to the stop
    svg.path(arc_path(px, py, r_arc, meter_angle(P_MIN), a_red), stroke=ink, sw=1.1)
    svg.path(arc_path(px, py, r_arc + 1.0, a_red, a_end), stroke=red, sw=3.0)
    majors = [0, -3, -6, -10, -15, -20, -30]
    minors = [-8, -12, -25, -38]
    for db in majors + minors:
        a = meter_angle(meter_p(db))
        major = db in majors
        col = red if db >= -3 else ink
        x0, y0 = polar(px, py, r_arc, a)
        x1, y1 = polar(px, py, r_arc + (6.5 if major else 4.0), a)
        svg.line(x0, y0, x1, y1, col, sw=1.3 if major else 1.0)
        if major:
            tx, ty = polar(px, py, r_arc + 13.0, a)
            svg.text(tx, ty + 3.2, str(abs(db)), 9, col, "bold")

    if gr_scale:
        blue = pal["dial_gr"]
        r_gr = 57.0
        g0 = meter_angle(meter_p(-14.0))
        g1 = meter_angle(meter_p(-14.0 - 20.0))
        svg.path(arc_path(px, py, r_gr, g1, g0), stroke=blue, sw=1.0)
        for gr in (0, 1, 2, 3, 4, 5, 6, 8, 10, 15, 20):
            a = meter_angle(meter_p(-14.0 - gr))
            labelled = gr in (0, 5, 10, 20)
            x0, y0 = polar(px, py, r_gr, a)
            x1, y1 = polar(px, py, r_gr - (4.5 if labelled else 2.5), a)
            svg.line(x0, y0, x1, y1, blue, sw=1.2 if labelled else 0.9)
            if labelled:
                tx, ty = polar(px, py, r_gr - 11.0, a)
                svg.text(tx, ty + 3.0, str(gr), 8, blue, "bold")
        tx, ty = polar(px, py, r_gr - 11.0, math.radians(142))
        svg.text(tx, ty + 3.0, "GR", 8, blue, "bold")

    if legend:
        svg.text(px, py - 44, legend, 8, ink, "bold", spacing=1.6, opacity=0.75)

    # pivot hood: the needles come out from under its rim (inner radius 30)
    hood = svg.linear([(0, pal["hood_hi"]), (1, pal["hood_lo"])])
    svg.circle(px, py, 29.3, hood)
    svg.path(arc_path(px, py, 28.8, math.radians(170), math.radians(10)),
             stroke=pal["hood_rim"], sw=1, extra=' stroke-opacity="0.9"')
    svg.text(8, h - 6, side, 9, ink, "bold", anchor="start")
    svg.text(w - 8, h - 6, "dB", 9, ink, "bold", anchor="end")
    # glass: a faint reflection across the top
    refl = svg.linear([(0, "#ffffff", 0.22), (1, "#ffffff", 0)])
    svg.path(f"M0,0 H{w} V{fmt(h * 0.22)} Q{fmt(w / 2)},{fmt(h * 0.34)} 0,{fmt(h * 0.22)} Z", refl)


def lamp(svg, cx, cy, on, pal):
    """Clip lamp: a round LED in a dark bezel."""
    svg.circle(cx, cy, 4.2, pal["lamp_bezel"])
    svg.circle(cx, cy, 4.2, "none", stroke="#000000", sw=0.6, extra=' stroke-opacity="0.6"')
    if on:
        halo = svg.radial([(0, pal["lamp_on_glow"], 0.9), (1, pal["lamp_on_glow"], 0)])
        svg.circle(cx, cy, 6.0, halo)
        body = svg.radial([(0, pal["lamp_on_hi"]), (0.55, pal["lamp_on"]), (1, pal["lamp_on_lo"])],
                          0.45, 0.4, 0.6)
    else:
        body = svg.radial([(0, pal["lamp_off_hi"]), (1, pal["lamp_off"])], 0.4, 0.35, 0.7)
    svg.circle(cx, cy, 3.1, body)
    svg.circle(cx - 1.0, cy - 1.1, 0.9, "#ffffff", extra=f' fill-opacity="{0.75 if on else 0.3}"')
