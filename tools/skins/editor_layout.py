"""Where the editors put each bitmap, control and text display.

These are the editors' own numbers, written out here independently of the
skin designs (clampora/skin/design.py, tonvela/skin/design.py), so that
check_layout.py can test the rendered art against them and preview.py can
draw the editors as they will look.  Rectangles are (left, top, right,
bottom) in editor pixels.
"""

CLAMPORA = dict(
    size=(435, 232),
    background=128, knob_handle=142, fader_handle=137, mix_background=138, mix_handle=139,
    about=145, about_at=(63, 12),
    # knob rectangles, each knob's name display and value display
    knobs=[
        ("freq", (76, 161, 113, 198), (70, 147, 120, 161), (70, 197, 120, 211)),
        ("Q", (124, 161, 161, 198), (118, 147, 168, 161), (118, 197, 168, 211)),
        ("attack", (179, 161, 216, 198), (173, 147, 223, 161), (173, 197, 223, 211)),
        ("hold", (226, 161, 263, 198), (220, 147, 270, 161), (220, 197, 270, 211)),
        ("release", (273, 161, 310, 198), (267, 147, 317, 161), (267, 197, 317, 211)),
        ("make-up", (320, 161, 357, 198), (315, 147, 365, 161), (315, 197, 365, 211)),
        ("output", (376, 161, 413, 198), (370, 147, 420, 161), (370, 197, 420, 211)),
        ("input", (21, 161, 58, 198), (15, 147, 65, 161), (15, 197, 65, 211)),
    ],
    # vertical faders: rectangle, handle travel (top positions), name, value
    faders=[
        ("compress", (27, 26, 53, 130), (26, 115), (15, 11, 65, 25), (15, 130, 65, 144)),
        ("slope", (382, 26, 408, 130), (26, 115), (370, 10, 420, 24), (370, 130, 420, 144)),
    ],
    mix=((330, 215, 408, 231), (330, 393), (310, 216, 330, 230), (408, 216, 438, 230)),
    # needle meters: dial id, dial origin, lamp id, lamp origin, pivot
    meters=[(143, (69, 18), 140, (130, 88), (136, 111)), (144, (233, 18), 141, (292, 88), (298, 111))],
    gain_reduction=True,
    # keys: id, rectangle, states, "onoff" when the last state is the lit one
    keys=[
        (129, (197, 130, 237, 143), 2, "onoff"),
        (130, (74, 130, 114, 143), 2, "onoff"),
        (131, (136, 130, 176, 143), 2, "onoff"),
        (132, (258, 130, 298, 143), 2, "mode"),
        (133, (320, 130, 360, 143), 3, "onoff"),
        (134, (189, 103, 245, 117), 2, "mode"),
        (135, (207, 74, 227, 88), 2, "mode"),
    ],
)

TONVELA = dict(
    size=(435, 231),
    background=128, knob_handle=140, fader_handle=135, mix_background=136, mix_handle=137,
    about=143, about_at=(63, 12),
    knobs=[
        ("input", (21, 161, 58, 198), (15, 149, 65, 163), (15, 197, 65, 211)),
        ("bassFreq", (76, 161, 113, 198), (70, 149, 120, 163), (70, 197, 120, 211)),
        ("bassHarm", (124, 161, 160, 197), (118, 149, 168, 163), (118, 197, 168, 211)),
        ("bassBoost", (171, 161, 208, 198), (165, 149, 215, 163), (165, 197, 215, 211)),
        ("trebleFreq", (226, 161, 263, 198), (220, 149, 270, 163), (220, 197, 270, 211)),
        ("trebleHarm", (273, 161, 310, 198), (267, 149, 317, 163), (267, 197, 317, 211)),
        ("trebleBoost", (321, 161, 358, 198), (315, 149, 365, 163), (315, 197, 365, 211)),
        ("output", (376, 161, 413, 198), (370, 149, 420, 163), (370, 197, 420, 211)),
    ],
    faders=[
        ("drive", (27, 26, 53, 130), (26, 115), (15, 11, 65, 25), (15, 130, 65, 144)),
        ("shape", (382, 26, 408, 130), (26, 115), (370, 11, 420, 25), (370, 130, 420, 144)),
    ],
    mix=((330, 215, 408, 231), (330, 393), (310, 216, 330, 230), (408, 216, 438, 230)),
    meters=[(141, (69, 18), 138, (130, 88), (136, 111)), (142, (233, 18), 139, (292, 88), (298, 111))],
    gain_reduction=False,
    keys=[
        (129, (197, 130, 237, 143), 2, "onoff"),
        (130, (116, 130, 156, 143), 2, "onoff"),
        (131, (279, 130, 319, 143), 2, "onoff"),
        (132, (189, 103, 245, 117), 3, "mode"),
        (133, (207, 74, 227, 88), 2, "mode"),
    ],
)

EDITORS = {"clampora": CLAMPORA, "tonvela": TONVELA}

# needle meters: p = log10(x) / 1.9 + 1, angle 135 degrees - p x 90 degrees,
# needles from radius 30 to 87 (the gain-reduction needle to 0.7 x 87)
NEEDLE_INNER, NEEDLE_OUTER = 30, 87
