"""Skin design of KLV Clampora: palette, layout and legends.

Cool steel: a light blue-grey brushed deck, a graphite meter bridge with
two ivory meter faces, graphite knobs with an ice-blue dot, keys that light
ice blue (side-chain listen lights amber: the output is then the side-chain
signal).  Positions and sizes are the editor's; tools/skins/skingen.py
turns this into SVG; the layout and colours the two skins share are in
tools/skins/family.py.
"""

import family

TITLE = "CLAMPORA"
PRODUCT_KIND = "COMPRESSOR"
SIZE = (435, 232)

IDS = {
    "background": 128,
    "fader_handle": 137,
    "mix_background": 138,
    "mix_handle": 139,
    "lamp_left": 140,
    "lamp_right": 141,
    "knob_handle": 142,
    "dial_left": 143,
    "dial_right": 144,
    "about": 145,
}
SPARES = [(136, (26, 14)), (146, (46, 34))]

PAL = {
    "deck_top": "#d3d9e0", "deck_bottom": "#b9c1cb",
    "plate_edge": "#59626d",
    "engrave_hi": "#f3f6f9", "engrave_lo": "#5b6570",
    "plate": "#e9edf1", "plate_dark": "#7d8792",
    "tick": "#2f3741",
    "brand": "#1d2835",
    "badge_hi": "#3d5a78", "badge_lo": "#243a52", "badge_text": "#e4eef8",
    # meter bridge
    "bay_top": "#2d333a", "bay_bottom": "#1f2328", "bay_lip": "#4a535d", "bay_text": "#9fb0c2",
    "window_frame": "#101316",
    # knobs
    "knob_shadow": "#1a2027",
    "knob_rim_hi": "#9aa4af", "knob_rim_mid": "#4a525c", "knob_rim_lo": "#14171b",
    "knob_edge": "#0c0e10",
    "knob_face": "#2f353c", "knob_sheen": "#c8d8ea",
    "knob_dome_hi": "#58616b", "knob_dome_lo": "#23282e",
    "dot_hi": "#f2f9fe", "dot": "#bfe4fb", "dot_lo": "#6fb6e6",
    # faders
    "slot": "#171b20", "slot_lip": "#05070a",
    "cap_hi": "#5d6670", "cap_mid": "#3b4149", "cap_lo": "#23272d", "cap_edge": "#0f1215",
    "cap_light": "#b9c4d0", "cap_index": "#8fd4fb",
    # keys
    "key_edge": "#0e1114",
    "key_off_hi": "#4a525c", "key_off_lo": "#2c3137", "key_off_text": "#98a3af",
    "key_mode_text": "#a9defc",
    "key_on_hi": "#c4ecff", "key_on_lo": "#62b9ec", "key_on_glow": "#e6f7ff", "key_on_text": "#0b2436",
    "key_warn_hi": "#ffe2a0", "key_warn_lo": "#f0a23a", "key_warn_glow": "#fff1cc",
    "key_warn_text": "#3a2100",
    # meters
    "dial_hi": "#f6f7f2", "dial_mid": "#e9ebe4", "dial_lo": "#d5d9d0", "dial_glow": "#fdfdf6",
    "dial_ink": "#1b1e21", "dial_red": "#c62a20",
    "hood_hi": "#3a4048", "hood_lo": "#1d2126", "hood_rim": "#6a747f",
    "lamp_bezel": "#0d0f12",
    # about panel
    "about_edge": "#1d2329", "about_hi": "#f4f6f8", "about_lo": "#e2e7ec",
    "about_accent": "#3f86c4", "about_ink": "#8f9aa6", "about_title": "#c8d6e4",
}

# meters and layout (editor pixels)
GR_SCALE = True
DIAL_LEGEND = None

KNOBS = [(76, 161, 37), (124, 161, 37), (179, 161, 37), (226, 161, 37),
         (273, 161, 37), (320, 161, 37), (376, 161, 37), (21, 161, 37)]
VALUE_PLATES = [(70, 197, 120, 211), (118, 197, 168, 211), (173, 197, 223, 211),
                (220, 197, 270, 211), (267, 197, 317, 211), (315, 197, 365, 211),
                (370, 197, 420, 211), (15, 197, 65, 211), (370, 130, 420, 144),
                (15, 130, 65, 144)]
SEPARATORS = [68, 171, 317, 368]
SEPARATOR_SPAN = (148, 212)

FADER_TICKS = [(10, None), (10, None)]


BUTTONS = [
    family.process_button(129),
    dict(id=130, name="delay", x=74, y=130, w=40, h=13, frames=[("off", "delay"), ("on", "delay")]),
    dict(id=131, name="listen", x=136, y=130, w=40, h=13, frames=[("off", "listen"), ("warn", "listen")]),
    dict(id=132, name="detector", x=258, y=130, w=40, h=13, frames=[("mode", "peak"), ("mode", "RMS")]),
    dict(id=133, name="output-stage", x=320, y=130, w=40, h=13,
         frames=[("off", "off"), ("on", "limit"), ("warn", "clip")]),
    dict(id=134, name="meter-point", x=189, y=103, w=56, h=14, frames=[("mode", "input"), ("mode", "output")]),
    family.stereo_mono_button(135),
]


def emblem_curve(u):
    """Compressor knee on the about panel: unity below the knee, 4:1 above."""
    knee = -0.2
    return u if u < knee else knee + (u - knee) / 4.0
