// Controls, read-outs, meters and panels driven by a scripted pointer on the
// memory window system, with hand-derived values and pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/faders.h"
#include "gui/needle_meter.h"
#include "gui/panels.h"
#include "gui/rotary_knob.h"
#include "gui/switches.h"
#include "gui/value_text.h"
#include "tests/gui/gui_test_util.h"

namespace klv::test {
namespace {

using gui::Point;
using gui::Rect;
using Step = gui::raster::MemoryWindowSystem::PointerState;
constexpr unsigned kLeft = gui::kLeftButton;
constexpr unsigned kShiftLeft = gui::kLeftButton | gui::kShiftKey;
constexpr std::uint32_t kPanel = 0x102030;
constexpr std::uint32_t kHandle = 0x00FF00;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Each pointer state held for two tracking steps, so that the one-step lag
// between reading the buttons and reading the position settles.
std::vector<Step> held(std::initializer_list<Step> steps) {
    std::vector<Step> out;
    for (const Step& s : steps) out.insert(out.end(), {s, s});
    return out;
}

class ControlsTest : public ::testing::Test, public EditorFixture {
protected:
    ControlsTest() {
        gui::Bitmap* panel = framesBitmap(TestEditor::kWidth, {{TestEditor::kHeight, kPanel}});
        frame().setBackground(panel);
        panel->release();
    }
    template <typename T>
    T* add(T* view) {
        frame().addView(view);
        return view;
    }
    std::uint32_t pixel(int x, int y) { return editor->port().pixels().at(x, y); }
    // The values the listener heard, in order, without repeats.
    std::vector<float> heard() {
        std::vector<float> v;
        for (const ValueChange& c : editor->changes) {
            if (v.empty() || std::fabs(v.back() - c.value) > 1e-6f) v.push_back(c.value);
        }
        return v;
    }
    // The host heard exactly one begin and one end of an edit of tag,
    // around every automation.
    void expectOneEdit(int tag) {
        const auto& calls = hostCalls();
        std::vector<HostCall> edits;
        for (const HostCall& c : calls) {
            if (c.opcode != audioMasterIdle) edits.push_back(c);
        }
        ASSERT_FALSE(edits.empty());
        EXPECT_EQ(edits.front().opcode, audioMasterBeginEdit);
        EXPECT_EQ(edits.back().opcode, audioMasterEndEdit);
        EXPECT_EQ(hostCallsOf(audioMasterBeginEdit).size(), 1u);
        EXPECT_EQ(hostCallsOf(audioMasterEndEdit).size(), 1u);
        for (const HostCall& c : calls) {
            if (c.opcode != audioMasterIdle) {
                EXPECT_EQ(c.index, tag);
            }
        }
    }
    gui::RotaryKnob* knob() {
        gui::Bitmap* cap = framesBitmap(37, {{37, 0x303030}});
        gui::Bitmap* handle = framesBitmap(5, {{5, kHandle}});
        auto* k = add(new gui::RotaryKnob({100, 20, 137, 57}, editor, 3, cap, handle, {0, 0}));
        cap->release();
        handle->release();
        return k;
    }
    gui::Fader* fader(bool vertical, int style, bool freeClick = true, int travelEnd = -1) {
        gui::Bitmap* slot = framesBitmap(vertical ? 26 : 78, {{vertical ? 104 : 16, 0x404040}});
        gui::Bitmap* handle = framesBitmap(vertical ? 26 : 15, {{vertical ? 15 : 16, 0x0000FF}});
        gui::Fader* f;
        if (vertical)
            f = new gui::VerticalFader({20, 10, 46, 114}, editor, 5, 10, travelEnd < 0 ? 99 : travelEnd, handle, slot,
                                       {0, 0}, style);
        else
            f = new gui::HorizontalFader({100, 80, 178, 96}, editor, 7, 100, 163, handle, slot, {0, 0}, style);
        f->setFreeClick(freeClick);
        slot->release();
        handle->release();
        return add(f);
    }
};

TEST_F(ControlsTest, KnobHandleStandsAtTheAngleOfItsValue) {
    gui::RotaryKnob* k = knob();
    EXPECT_EQ(k->inset(), 5);
    // radius 18.5, reach 13.5; 225 degrees at 0, 90 at 0.5, -45 at 1.
    const struct {
        float value;
        int x, y;
    } cases[] = {{0.0f, 9, 28}, {0.5f, 19, 5}, {1.0f, 28, 28}, {kNaN, 9, 28}, {kInf, 28, 28}, {-kInf, 9, 28}};
    for (const auto& c : cases) {
        k->setValue(c.value);
        editor->idle();
        const int x = 100 + c.x, y = 20 + c.y;
        EXPECT_EQ(pixel(x - 2, y - 2), kHandle) << c.value;
        EXPECT_EQ(pixel(x + 2, y + 2), kHandle) << c.value;
        EXPECT_NE(pixel(x - 3, y), kHandle) << c.value;
        EXPECT_NE(pixel(x + 3, y), kHandle) << c.value;
    }
    EXPECT_TRUE(std::isinf(k->getValue()));  // drawn at the end, kept as it came
}

TEST_F(ControlsTest, CircularDragFollowsTheAngleAndSticksAcrossTheGap) {
    gui::RotaryKnob* k = knob();
    k->setValue(0.2f);
    // Right of the centre, then into the gap near the end, across it to the
    // start's half (sticks at 1), and back.
    editor->click(
        {118, 25}, kLeft,
        held({{kLeft, {136, 38}}, {kLeft, {130, 55}}, {kLeft, {107, 55}}, {kLeft, {107, 55}}, {kLeft, {136, 38}}}));
    const std::vector<float> v = heard();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[0], 132.88f / 270.0f, 0.002f);  // jumped to the clicked angle
    EXPECT_NEAR(v[1], 223.36f / 270.0f, 0.002f);
    EXPECT_EQ(v[2], 1.0f);
    EXPECT_NEAR(v[3], 223.36f / 270.0f, 0.002f);
    expectOneEdit(3);
    EXPECT_EQ(hostCallsOf(audioMasterAutomate).size(), 4u);
}

TEST_F(ControlsTest, LinearDragChangesSensitivityWithShiftWithoutJumping) {
    knobMode = 2;
    gui::RotaryKnob* k = knob();
    k->setValue(0.5f);
    editor->idle();
    // 1/200 per pixel; Shift pressed: 1/300; released: 1/100. Up counts
    // like right.
    editor->click({118, 38}, kLeft,
                  held({{kLeft, {138, 38}},
                        {kShiftLeft, {138, 38}},
                        {kShiftLeft, {168, 38}},
                        {kLeft, {168, 38}},
                        {kLeft, {168, 28}}}));
    const std::vector<float> v = heard();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_NEAR(v[0], 0.6f, 1e-5f);
    EXPECT_NEAR(v[1], 0.7f, 1e-5f);
    EXPECT_NEAR(v[2], 0.8f, 1e-5f);
    expectOneEdit(3);
    // Alt picks the other way: circular, jumping to the clicked angle.
    editor->changes.clear();
    editor->click({136, 38}, kLeft | gui::kAltKey);
    EXPECT_NEAR(heard().at(0), 223.36f / 270.0f, 0.002f);
}

TEST_F(ControlsTest, CtrlClickAndWheel) {
    gui::RotaryKnob* k = knob();
    const struct {
        float before;
        unsigned buttons;
        float wheel;  // 0: a Ctrl + click instead
        float after;
        bool heard;
    } cases[] = {{0.3f, 17, 0, 0.5f, true}, {0.5f, 17, 0, 0.5f, false},
                 {0.5f, 0, 1, 0.6f, true},  {0.5f, gui::kShiftKey, 1, 0.51f, true},
                 {0.5f, 0, -2, 0.3f, true}, {0.95f, 0, 1, 1.0f, true}};
    for (const auto& c : cases) {
        k->setValue(c.before);
        editor->changes.clear();
        hostCalls().clear();
        if (c.wheel == 0) {
            editor->click({118, 38}, c.buttons);
        } else {
            system.setPointer(c.buttons, {118, 38});
            EXPECT_TRUE(editor->port().wheel(c.wheel));
        }
        EXPECT_NEAR(k->getValue(), c.after, 1e-6f) << c.before << " " << c.wheel;
        EXPECT_EQ(editor->changes.size(), c.heard ? 1u : 0u) << c.before << " " << c.wheel;
        EXPECT_TRUE(hostCallsOf(audioMasterBeginEdit).empty());
    }
    k->setMouseEnabled(false);
    EXPECT_FALSE(k->onWheel(nullptr, {}, 1.0f));
}

TEST_F(ControlsTest, FaderHandleRectangles) {
    // Travel 89 (vertical, 10..99) and 63 (horizontal, 100..163).
    const struct {
        bool vertical;
        int style;
        float value;
        int lead;  // handle's top (vertical) or left, frame coordinates
    } cases[] = {{true, 0x40, 0.25f, 76},   {true, 0x20, 0.25f, 32}, {true, 0x40, 1.5f, 10},
                 {true, 0x40, -0.5f, 99},   {true, 0x40, kNaN, 99},  {false, 0x08, 0.25f, 115},
                 {false, 0x10, 0.25f, 147}, {false, 0x08, 2.0f, 163}};
    for (const auto& c : cases) {
        gui::Fader* f = fader(c.vertical, c.style);
        f->setValue(c.value);
        editor->idle();
        EXPECT_EQ(f->handlePosition(), c.lead) << c.style << " " << c.value;
        if (c.vertical) {
            EXPECT_EQ(pixel(30, c.lead), 0x0000FFu);
            EXPECT_EQ(pixel(30, c.lead + 14), 0x0000FFu);
            EXPECT_NE(pixel(30, c.lead + 15), 0x0000FFu);
        } else {
            EXPECT_EQ(pixel(c.lead, 85), 0x0000FFu);
            EXPECT_NE(pixel(c.lead + 15, 85), 0x0000FFu);
        }
        frame().removeView(f);
    }
}

TEST_F(ControlsTest, FaderClicksAndFineAdjustment) {
    gui::Fader* f = fader(true, 0x40);
    // Free click: the handle's centre follows the pointer (grab at 16).
    editor->click({30, 60}, kLeft, held({{kShiftLeft, {30, 60}}, {kShiftLeft, {30, 40}}, {kLeft | 16, {30, 90}}}));
    const std::vector<float> v = heard();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NEAR(v[0], 1.0f - 44.0f / 89.0f, 1e-5f);
    // Shift: a tenth of the way to where the pointer would put it; Ctrl
    // joining ends the drag.
    EXPECT_NEAR(v[1], v[0] + ((1.0f - 24.0f / 89.0f) - v[0]) * 0.1f, 1e-5f);
    expectOneEdit(5);

    frame().removeView(f);
    f = fader(true, 0x40, false);
    f->setValue(0.5f);
    editor->idle();  // handle at 10 + 44 = 54
    editor->changes.clear();
    hostCalls().clear();
    editor->click({30, 30}, kLeft, held({{kLeft, {30, 90}}}));  // beside the handle
    EXPECT_TRUE(editor->changes.empty());
    EXPECT_TRUE(hostCalls().empty());
    editor->click({30, 60}, kLeft, held({{kLeft, {30, 70}}}));  // on it: keeps the grab point
    EXPECT_NEAR(f->getValue(), 1.0f - 54.0f / 89.0f, 1e-5f);
    editor->click({30, 60}, 17);
    EXPECT_EQ(f->getValue(), 0.5f);  // Ctrl + click: the default

    // A fader without travel leaves its value alone.
    frame().removeView(f);
    f = fader(true, 0x40, true, 10);
    f->setValue(0.3f);
    editor->click({30, 60}, kLeft, held({{kLeft, {30, 20}}}));
    EXPECT_EQ(f->getValue(), 0.3f);
}

TEST_F(ControlsTest, ButtonsAndSwitches) {
    gui::Bitmap* twoFrames = framesBitmap(40, {{13, 0x800000}, {13, 0x00C000}});
    auto* toggle = add(new gui::ToggleButton({10, 80, 50, 93}, editor, 0, twoFrames));
    twoFrames->release();
    gui::Bitmap* threeFrames = framesBitmap(40, {{13, 0x111111}, {13, 0x222222}, {13, 0x333333}});
    auto* cycle = add(new gui::CycleSwitch({60, 80, 100, 93}, editor, 16, threeFrames, 3));
    auto* stateless = add(new gui::CycleSwitch({60, 100, 100, 113}, editor, 12, threeFrames, 0));
    threeFrames->release();
    toggle->setValue(0.5f);
    const struct {
        gui::Control* control;
        Point at;
        float value;
        std::uint32_t shown;
    } clicks[] = {{toggle, {20, 85}, 1.0f, 0x00C000}, {toggle, {20, 85}, 0.0f, 0x800000},
                  {cycle, {70, 85}, 1.0f, 0x222222},  {cycle, {70, 85}, 2.0f, 0x333333},
                  {cycle, {70, 85}, 0.0f, 0x111111},  {stateless, {70, 105}, 0.0f, 0x111111}};
    for (const auto& c : clicks) {
        editor->click(c.at, kLeft);
        EXPECT_EQ(c.control->getValue(), c.value);
        EXPECT_EQ(pixel(c.at.x, c.at.y), c.shown) << c.at.x << " " << c.value;
    }
    EXPECT_EQ(editor->changes.size(), 6u);
    EXPECT_TRUE(hostCallsOf(audioMasterBeginEdit).empty());  // clicks are not drags
    cycle->setValue(kNaN);                                   // drawn as state 0
    editor->idle();
    EXPECT_EQ(pixel(70, 85), 0x111111u);
}

TEST_F(ControlsTest, OutsideValuesRedrawOnlyWhenTheyChange) {
    gui::RotaryKnob* k = knob();
    k->setValue(0.25f);
    editor->idle();
    editor->port().clearDrawnAreas();
    k->setValue(0.25f);
    editor->idle();
    EXPECT_EQ(editor->port().drawnAreas().back().width(), 0);
    k->setValue(0.75f);
    editor->idle();
    const Rect drawn = editor->port().drawnAreas().back();
    EXPECT_EQ(drawn.left, 100);
    EXPECT_EQ(drawn.bottom, 57);
    EXPECT_FALSE(k->isDirty());
}

TEST_F(ControlsTest, ValueTextStyles) {
    auto* text = add(new gui::ValueText({10, 10, 60, 24}, nullptr, gui::kBevelRaised));
    text->setBackColor({200, 200, 200, 0});
    text->setFrameColor({50, 50, 50, 0});
    text->setValue(0.5f);
    char buffer[gui::kValueTextSize];
    text->formatText(buffer);
    EXPECT_STREQ(buffer, "0.50");
    editor->idle();
    // Raised bevel: top and left in the back colour, right and bottom in
    // the frame colour.
    EXPECT_EQ(pixel(10, 20), 0xC8C8C8u);
    EXPECT_EQ(pixel(55, 10), 0xC8C8C8u);
    EXPECT_EQ(pixel(60, 15), 0x323232u);
    EXPECT_EQ(pixel(11, 24), 0x323232u);
    text->setStyle(gui::kBevelSunken);
    editor->idle();
    EXPECT_EQ(pixel(10, 20), 0x323232u);
    EXPECT_EQ(pixel(60, 15), 0xC8C8C8u);
    // Setters dirty only on a real change.
    text->setFontColor(gui::kWhite);
    EXPECT_FALSE(text->isDirty());
    text->setFontColor({255, 255, 255, 7});
    EXPECT_FALSE(text->isDirty());
    text->setHoriAlign(2);
    EXPECT_TRUE(text->isDirty());
    // 0x1000 draws nothing and still comes out clean.
    text->setStyle(gui::kNoDraw);
    editor->port().clearDrawnAreas();
    editor->idle();
    EXPECT_EQ(editor->port().drawnAreas().back().width(), 0);
    EXPECT_FALSE(text->isDirty());
    // A long callback gets its user data.
    static int userData = 42;
    text->setStringConvert([](float v, char* t, void* data) { std::sprintf(t, "%d:%g", *static_cast<int*>(data), v); },
                           &userData);
    text->formatText(buffer);
    EXPECT_STREQ(buffer, "42:0.5");
}

TEST_F(ControlsTest, ShadowedTextSitsOnePixelRightAndBelow) {
    auto* text = add(new gui::ValueText({10, 10, 60, 30}, nullptr, gui::kShadowText | gui::kBevelRaised));
    text->setBackColor(gui::kWhite);
    text->setFontColor(gui::kBlack);
    text->setStringConvert([](float, char* t) { std::strcpy(t, "88"); });
    editor->idle();
    Rect black{1000, 1000, -1, -1}, red{1000, 1000, -1, -1};
    for (int y = 11; y < 30; ++y) {
        for (int x = 11; x < 60; ++x) {
            const std::uint32_t p = pixel(x, y);
            Rect& box = p == 0x000000u ? black : p == 0xFF0000u ? red : box;
            if (p != 0x000000u && p != 0xFF0000u) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
        }
    }
    ASSERT_LT(black.left, 1000);
    EXPECT_EQ(red.right, black.right + 1);
    EXPECT_EQ(red.bottom, black.bottom + 1);
}

TEST_F(ControlsTest, NeedleMeterLawLampAndRedraws) {
    gui::Bitmap* dial = framesBitmap(132, {{81, 0xE0E0E0}});
    gui::Bitmap* lamp = framesBitmap(12, {{13, 0x400000}, {13, 0xFF4040}});
    auto* meter = add(new gui::NeedleMeter(gui::NeedleMeter::kFourInputs, {30, 20, 162, 101}, dial, {94, 88, 0, 0},
                                           lamp, 100, 110, 30.0f, 87.0f));
    dial->release();
    lamp->release();
    // Ends worked out in degrees: 135 - 90 p, p = log10(x) / 1.9 + 1 held
    // to -0.043..1.043.
    const struct {
        float level;
        Point inner, outer, blue;
    } ends[] = {{0.0f, {77, 90}, {34, 52}, {54, 69}},     {1e-8f, {77, 90}, {34, 52}, {54, 69}},
                {0.1f, {98, 80}, {96, 23}, {97, 49}},     {1.0f, {121, 88}, {161, 48}, {143, 66}},
                {10.0f, {122, 90}, {165, 52}, {145, 69}}, {kNaN, {77, 90}, {34, 52}, {54, 69}}};
    for (const auto& e : ends) {
        const Point in = meter->needleEnd(e.level, 30.0f), out = meter->needleEnd(e.level, 87.0f),
                    blue = meter->needleEnd(e.level, 87.0f * 0.7f);
        EXPECT_EQ(in.x, e.inner.x) << e.level;
        EXPECT_EQ(in.y, e.inner.y) << e.level;
        EXPECT_EQ(out.x, e.outer.x) << e.level;
        EXPECT_EQ(out.y, e.outer.y) << e.level;
        EXPECT_EQ(blue.x, e.blue.x) << e.level;
        EXPECT_EQ(blue.y, e.blue.y) << e.level;
    }
    meter->setLevel(1.0f);
    meter->setLamp(0.5f);
    meter->setGainReduction(1e-9f);
    meter->setPeak(1e-9f);
    editor->idle();
    EXPECT_EQ(pixel(121, 88), 0x000000u);  // black needle from its inner end
    EXPECT_EQ(pixel(100, 94), 0x400000u);  // 0.5 is not above 0.5
    meter->setLamp(0.5f);
    EXPECT_FALSE(meter->isDirty());
    meter->setLamp(0.5001f);
    EXPECT_TRUE(meter->isDirty());
    editor->idle();
    EXPECT_EQ(pixel(100, 94), 0xFF4040u);
    meter->setPeak(0.1f);  // only a needle: the whole meter, lamp included
    editor->port().clearDrawnAreas();
    editor->idle();
    EXPECT_EQ(editor->port().drawnAreas().back().left, 30);
    EXPECT_EQ(pixel(98, 80), 0xFF0000u);  // red needle at 0.1
    meter->setGainReduction(1.0f);
    meter->setLevel(kNaN);  // drawn at the left stop
    editor->idle();
    EXPECT_EQ(pixel(77, 90), 0x000000u);
}

TEST_F(ControlsTest, AboutPanelOpensModalAndClosesWithTheWholeFrame) {
    gui::Bitmap* picture = framesBitmap(160, {{80, 0xC0C0F0}});
    auto* panel = add(new gui::AboutPanel({10, 100, 60, 110}, editor, 19, picture, {20, 10, 180, 90}, {0, 0}, {0, 16}));
    picture->release();
    gui::RotaryKnob* k = knob();
    editor->click({30, 105}, kLeft);  // the trigger strip
    EXPECT_EQ(frame().getModalView(), panel);
    EXPECT_EQ(pixel(25, 15), 0xC0C0F0u);
    editor->click({190, 100}, kLeft);  // outside the panel: dropped
    editor->click({118, 38}, kLeft);   // a knob under the panel: dropped too
    EXPECT_EQ(k->getValue(), 0.0f);
    editor->click({25, 15}, kLeft);  // anywhere inside closes it
    EXPECT_EQ(frame().getModalView(), nullptr);
    EXPECT_EQ(pixel(25, 15), kPanel);
    EXPECT_EQ(heard(), (std::vector<float>{1.0f, 0.0f}));
    // Refused while another view is modal: the listener hears nothing.
    frame().setModalView(k);
    editor->changes.clear();
    system.setPointer(kLeft, {30, 105});
    gui::DrawContext context(&frame(), nullptr, frame().window());
    panel->mouse(context, {30, 105});
    EXPECT_TRUE(editor->changes.empty());
    EXPECT_EQ(frame().getModalView(), k);
    frame().setModalView(nullptr);
}

}  // namespace
}  // namespace klv::test
