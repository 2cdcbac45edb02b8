"""What the two KLV skins share: one construction, two finishes.

Both editors put the meter bridge, the dials and their lamps, the knob caps,
the fader slots and handles, the mix fader, the about panel and the brand
plate in the same places, and light their clip lamps alike.  A design module
(<plugin>/skin/design.py) gives its palette, its knobs, buttons and legends;
load_design fills in the rest from here.
"""

import importlib.util

# layout (editor pixels) of every skin of the family
LAYOUT = {
    "BAY": (62, 6, 311, 117),
    "DIAL_SIZE": (132, 81),
    "LAMP_SIZE": (12, 13),
    "METERS": [((69, 18), (136, 111), (130, 88)), ((233, 18), (298, 111), (292, 88))],
    "BAY_LABELS": [(166, 113.5, "METER")],
    "KNOB_CAP_RADIUS": 17.3,
    "FADERS": [(27, 26, 26, 104), (382, 26, 26, 104)],
    "FADER_HANDLE": (26, 15),
    "MIX_AT": (330, 215),
    "MIX_SIZE": (78, 16),
    "MIX_HANDLE": (15, 16),
    "ABOUT_AT": (63, 12),
    "ABOUT_SIZE": (312, 110),
    "BRAND_AT": (216.5, 226),
}

# colours every skin of the family uses alike: the brushed grain, the gain
# reduction scale, the clip lamps
PALETTE = {
    "grain": 0.10,
    "dial_gr": "#1d5fc2",
    "lamp_off": "#3b1512", "lamp_off_hi": "#6d2a24",
    "lamp_on": "#ff2a1a", "lamp_on_hi": "#ffd6c8", "lamp_on_lo": "#b01008", "lamp_on_glow": "#ff5a3c",
}


def process_button(bid):
    """The processing key, in the middle under the meter bridge."""
    return dict(id=bid, name="process", x=197, y=130, w=40, h=13, frames=[("off", "process"), ("on", "process")])


def stereo_mono_button(bid):
    """The channel-mode key between the dials: two rings, or one."""
    return dict(id=bid, name="stereo-mono", x=207, y=74, w=20, h=14, frames=[("mode", "@2"), ("mode", "@1")])


def load_design(path):
    """The design module at path, with the family's layout and colours
    wherever it gives none of its own."""
    found = importlib.util.spec_from_file_location("skin_design", path)
    mod = importlib.util.module_from_spec(found)
    found.loader.exec_module(mod)
    for name, value in LAYOUT.items():
        if not hasattr(mod, name):
            setattr(mod, name, value)
    mod.PAL = {**PALETTE, **mod.PAL}
    return mod
