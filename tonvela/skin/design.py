"""Skin design of KLV Tonvela: palette, layout and legends.

Warm valve-and-tape: a cream brushed deck, an espresso meter bridge with
two amber-lit meter faces, dark brown bakelite knobs with a warm cream dot,
keys that light amber.  Same construction as Clampora's skin, so the two
read as one family.  Positions and sizes are the editor's;
tools/skins/skingen.py turns this into SVG; the layout and colours the two skins share are in
tools/skins/family.py.
"""

import family

TITLE = "TONVELA"
PRODUCT_KIND = "SATURATOR"
SIZE = (435, 231)

IDS = {
    "background": 128,
    "fader_handle": 135,
    "mix_background": 136,
    "mix_handle": 137,
    "lamp_left": 138,
    "lamp_right": 139,
    "knob_handle": 140,
    "dial_left": 141,
    "dial_right": 142,
    "about": 143,
}
SPARES = [(134, (26, 14))]

PAL = {
    "deck_top": "#e6dbc6", "deck_bottom": "#d2c3a6",
    "plate_edge": "#6e5a44",
    "engrave_hi": "#f9f3e8", "engrave_lo": "#6d5a45",
    "plate": "#f5efe3", "plate_dark": "#9a8670",
    "tick": "#3f3022",
    "brand": "#33200f",
    "badge_hi": "#8a4f2a", "badge_lo": "#5e3218", "badge_text": "#fbe9d2",
    # meter bridge
    "bay_top": "#352a23", "bay_bottom": "#241c17", "bay_lip": "#5d4c40", "bay_text": "#d2b48e",
    "window_frame": "#140f0c",
    # knobs
    "knob_shadow": "#2a1d12",
    "knob_rim_hi": "#b09078", "knob_rim_mid": "#5a4234", "knob_rim_lo": "#1a110c",
    "knob_edge": "#0f0906",
    "knob_face": "#3a2b22", "knob_sheen": "#f0d6bc",
    "knob_dome_hi": "#6a5141", "knob_dome_lo": "#2a1e17",
    "dot_hi": "#fff6e4", "dot": "#ffd79a", "dot_lo": "#e39a48",
    # faders
    "slot": "#1f1712", "slot_lip": "#080504",
    "cap_hi": "#6d5747", "cap_mid": "#46372c", "cap_lo": "#2a201a", "cap_edge": "#140e0a",
    "cap_light": "#d8c2a8", "cap_index": "#ffb65c",
    # keys
    "key_edge": "#140e0a",
    "key_off_hi": "#54443a", "key_off_lo": "#332822", "key_off_text": "#b3a08c",
    "key_mode_text": "#ffcf8a",
    "key_on_hi": "#ffe0a8", "key_on_lo": "#f29a32", "key_on_glow": "#fff0cf", "key_on_text": "#3a1c00",
    "key_warn_hi": "#ffc2a0", "key_warn_lo": "#e0602a", "key_warn_glow": "#ffe1cf",
    "key_warn_text": "#3a1000",
    # meters
    "dial_hi": "#fbeec8", "dial_mid": "#f3dc9c", "dial_lo": "#e4c277", "dial_glow": "#fff7dc",
    "dial_ink": "#261a10", "dial_red": "#c0261a",
    "hood_hi": "#4a3a2f", "hood_lo": "#231a14", "hood_rim": "#8c735f",
    "lamp_bezel": "#120c09",
    # about panel
    "about_edge": "#2a1f18", "about_hi": "#fbf6ec", "about_lo": "#efe5d2",
    "about_accent": "#c07030", "about_ink": "#a89580", "about_title": "#ecd2b0",
}

# meters and layout (editor pixels)
GR_SCALE = False
DIAL_LEGEND = "TONVELA"

KNOBS = [(21, 161, 37), (76, 161, 37), (124, 161, 36), (171, 161, 37),
         (226, 161, 37), (273, 161, 37), (321, 161, 37), (376, 161, 37)]
VALUE_PLATES = [(15, 197, 65, 211), (70, 197, 120, 211), (118, 197, 168, 211),
                (165, 197, 215, 211), (220, 197, 270, 211), (267, 197, 317, 211),
                (315, 197, 365, 211), (370, 197, 420, 211), (15, 130, 65, 144),
                (370, 130, 420, 144)]
SEPARATORS = [68, 218, 368]
SEPARATOR_SPAN = (150, 212)

# drive: tenths; shape: its eight curves, the longer ticks where the
# families start (none, valve, tape, digital)
FADER_TICKS = [(10, None), (7, (0, 1, 4, 7))]


BUTTONS = [
    family.process_button(129),
    dict(id=130, name="bass", x=116, y=130, w=40, h=13, frames=[("off", "bass"), ("on", "bass")]),
    dict(id=131, name="treble", x=279, y=130, w=40, h=13, frames=[("off", "treble"), ("on", "treble")]),
    dict(id=132, name="meter-point", x=189, y=103, w=56, h=14,
         frames=[("mode", "input"), ("mode", "output"), ("mode", "drive")]),
    family.stereo_mono_button(133),
]


def emblem_curve(u):
    """Saturation curve on the about panel: a soft tanh-like S."""
    import math
    return math.tanh(2.2 * u) / math.tanh(2.2)
