// Both editors' windows walked view by view after open and compared with
// their layout tables: kind, rectangle, tag (or the name a name display
// shows) and bitmap, in creation order.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "clampora/clampora_effect.h"
#include "gui/bitmap.h"
#include "gui/faders.h"
#include "gui/needle_meter.h"
#include "gui/panels.h"
#include "gui/rotary_knob.h"
#include "gui/switches.h"
#include "tests/editors/editor_test_util.h"
#include "tonvela/tonvela_effect.h"

namespace klv::test {
namespace {

using gui::Rect;

// M meter (bitmap: dial), T toggle, C cycle switch, K knob (bitmap: handle),
// N name display (tag: name row), V value display, F vertical fader and H
// horizontal fader (bitmap: handle), A about panel. Value and name displays,
// knobs and vertical faders draw over background 128; the mix fader over
// its own.
struct Row {
    char kind;
    Rect rect;
    int tag;
    int bitmap;
};

const Row kClamporaLayout[] = {
    {'M', {69, 18, 201, 99}, 0, 143},     {'M', {233, 18, 365, 99}, 0, 144},    {'T', {197, 130, 237, 143}, 0, 129},
    {'T', {74, 130, 114, 143}, 14, 130},  {'T', {136, 130, 176, 143}, 15, 131}, {'T', {258, 130, 298, 143}, 13, 132},
    {'C', {320, 130, 360, 143}, 16, 133}, {'T', {189, 103, 245, 117}, 12, 134}, {'T', {207, 74, 227, 88}, 17, 135},
    {'K', {76, 161, 113, 198}, 9, 142},   {'N', {70, 147, 120, 161}, 3, 128},   {'V', {70, 197, 120, 211}, 0, 128},
    {'K', {124, 161, 161, 198}, 10, 142}, {'N', {118, 147, 168, 161}, 4, 128},  {'V', {118, 197, 168, 211}, 0, 128},
    {'K', {179, 161, 216, 198}, 4, 142},  {'N', {173, 147, 223, 161}, 5, 128},  {'V', {173, 197, 223, 211}, 0, 128},
    {'K', {226, 161, 263, 198}, 11, 142}, {'N', {220, 147, 270, 161}, 6, 128},  {'V', {220, 197, 270, 211}, 0, 128},
    {'K', {273, 161, 310, 198}, 5, 142},  {'N', {267, 147, 317, 161}, 7, 128},  {'V', {267, 197, 317, 211}, 0, 128},
    {'K', {320, 161, 357, 198}, 6, 142},  {'N', {315, 147, 365, 161}, 8, 128},  {'V', {315, 197, 365, 211}, 0, 128},
    {'K', {376, 161, 413, 198}, 8, 142},  {'N', {370, 147, 420, 161}, 12, 128}, {'V', {370, 197, 420, 211}, 0, 128},
    {'K', {21, 161, 58, 198}, 1, 142},    {'N', {15, 147, 65, 161}, 13, 128},   {'V', {15, 197, 65, 211}, 0, 128},
    {'F', {382, 26, 408, 130}, 3, 137},   {'N', {370, 10, 420, 24}, 2, 128},    {'V', {370, 130, 420, 144}, 0, 128},
    {'F', {27, 26, 53, 130}, 2, 137},     {'N', {15, 11, 65, 25}, 1, 128},      {'V', {15, 130, 65, 144}, 0, 128},
    {'H', {330, 215, 408, 231}, 7, 139},  {'N', {310, 216, 330, 230}, 14, 128}, {'V', {408, 216, 438, 230}, 0, 128},
    {'A', {134, 217, 299, 227}, 19, 145},
};

const Row kTonvelaLayout[] = {
    {'M', {69, 18, 201, 99}, 0, 141},     {'M', {233, 18, 365, 99}, 0, 142},    {'T', {197, 130, 237, 143}, 0, 129},
    {'T', {116, 130, 156, 143}, 13, 130}, {'T', {279, 130, 319, 143}, 14, 131}, {'C', {189, 103, 245, 117}, 12, 132},
    {'T', {207, 74, 227, 88}, 15, 133},   {'K', {226, 161, 263, 198}, 9, 140},  {'N', {220, 149, 270, 163}, 6, 128},
    {'V', {220, 197, 270, 211}, 0, 128},  {'K', {273, 161, 310, 198}, 10, 140}, {'N', {267, 149, 317, 163}, 7, 128},
    {'V', {267, 197, 317, 211}, 0, 128},  {'K', {321, 161, 358, 198}, 7, 140},  {'N', {315, 149, 365, 163}, 8, 128},
    {'V', {315, 197, 365, 211}, 0, 128},  {'K', {76, 161, 113, 198}, 8, 140},   {'N', {70, 149, 120, 163}, 3, 128},
    {'V', {70, 197, 120, 211}, 0, 128},   {'K', {124, 161, 160, 197}, 11, 140}, {'N', {118, 149, 168, 163}, 4, 128},
    {'V', {118, 197, 168, 211}, 0, 128},  {'K', {171, 161, 208, 198}, 6, 140},  {'N', {165, 149, 215, 163}, 5, 128},
    {'V', {165, 197, 215, 211}, 0, 128},  {'K', {376, 161, 413, 198}, 2, 140},  {'N', {370, 149, 420, 163}, 12, 128},
    {'V', {370, 197, 420, 211}, 0, 128},  {'K', {21, 161, 58, 198}, 1, 140},    {'N', {15, 149, 65, 163}, 13, 128},
    {'V', {15, 197, 65, 211}, 0, 128},    {'F', {382, 26, 408, 130}, 4, 135},   {'N', {370, 11, 420, 25}, 2, 128},
    {'V', {370, 130, 420, 144}, 0, 128},  {'F', {27, 26, 53, 130}, 3, 135},     {'N', {15, 11, 65, 25}, 1, 128},
    {'V', {15, 130, 65, 144}, 0, 128},    {'H', {330, 215, 408, 231}, 5, 137},  {'N', {310, 216, 330, 230}, 14, 128},
    {'V', {408, 216, 438, 230}, 0, 128},  {'A', {134, 217, 299, 227}, 17, 143},
};

// What a view is, and its distinctive bitmap.
char kindOf(gui::View* v, int& bitmap, int& tag) {
    auto id = [](gui::Bitmap* b) { return b ? b->resourceId() : -1; };
    auto* control = dynamic_cast<gui::Control*>(v);
    tag = control ? control->getTag() : -1;
    bitmap = control ? id(control->getBackground()) : -1;
    if (auto* m = dynamic_cast<gui::NeedleMeter*>(v)) return bitmap = id(m->dial()), 'M';
    if (auto* k = dynamic_cast<gui::RotaryKnob*>(v)) return bitmap = id(k->getHandleBitmap()), 'K';
    if (auto* c = dynamic_cast<gui::CycleSwitch*>(v)) return bitmap = id(c->bitmap()), 'C';
    if (dynamic_cast<gui::ToggleButton*>(v)) return 'T';
    if (auto* f = dynamic_cast<gui::VerticalFader*>(v)) return bitmap = id(f->getHandle()), 'F';
    if (auto* f = dynamic_cast<gui::HorizontalFader*>(v)) return bitmap = id(f->getHandle()), 'H';
    if (dynamic_cast<gui::AboutPanel*>(v)) return 'A';
    if (auto* t = dynamic_cast<gui::ValueText*>(v)) {
        // A name display shows its row of the name table; style 2 marks it.
        if (t->getStyle() == 2) return tag = static_cast<int>(t->getValue()), 'N';
        return 'V';
    }
    return '?';
}

std::string describe(char kind, Rect r, int tag, int bitmap) {
    char text[96];
    std::snprintf(text, sizeof text, "%c {%d, %d, %d, %d} tag %d bitmap %d", kind, r.left, r.top, r.right, r.bottom,
                  tag, bitmap);
    return text;
}

template <std::size_t N>
void expectLayout(OpenEditor& e, const Row (&rows)[N], int width, int height) {
    ERect* rect = nullptr;
    EXPECT_EQ(e.plugin().dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, width);
    EXPECT_EQ(rect->bottom, height);
    EXPECT_EQ(e.frame().getBackground()->resourceId(), 128);
    ASSERT_EQ(e.frame().viewCount(), static_cast<int>(N));
    for (std::size_t i = 0; i < N; ++i) {
        gui::View* v = e.frame().viewAt(static_cast<int>(i));
        int bitmap = 0, tag = 0;
        const char kind = kindOf(v, bitmap, tag);
        EXPECT_EQ(describe(kind, v->getViewSize(), tag, bitmap),
                  describe(rows[i].kind, rows[i].rect, rows[i].tag, rows[i].bitmap))
            << "view " << i;
    }
    // Background 128 under knobs, vertical faders and read-outs; the mix
    // fader has its own; knobs are 37 x 37 but one.
    auto* mix = dynamic_cast<gui::HorizontalFader*>(e.frame().viewAt(static_cast<int>(N) - 4));
    ASSERT_NE(mix, nullptr);
    EXPECT_EQ(mix->getBackground()->resourceId(), width == 435 && height == 232 ? 138 : 136);
}

TEST(EditorLayout, Clampora) {
    OpenEditor e(&makeEffect<clampora::ClamporaEffect>);
    expectLayout(e, kClamporaLayout, 435, 232);
}

TEST(EditorLayout, Tonvela) {
    OpenEditor e(&makeEffect<tonvela::TonvelaEffect>);
    expectLayout(e, kTonvelaLayout, 435, 231);
}

}  // namespace
}  // namespace klv::test
