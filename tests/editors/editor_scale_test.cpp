// Both editors on high-density screens: where the scale comes from and in
// which order, the window and every button on its scaled rectangle, hit
// areas at the scaled edges, and drags over the same physical distance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "clampora/clampora_effect.h"
#include "gui/scale.h"
#include "gui/switches.h"
#include "host/editor_base.h"
#include "tests/editors/editor_test_util.h"
#include "tonvela/tonvela_effect.h"

namespace klv::test {
namespace {

using gui::Point;
using gui::Rect;
constexpr unsigned kLeft = gui::kLeftButton;

TEST(EditorScale, ScalesWrittenAsFactorsOrPercentages) {
    const struct {
        const char* text;
        float scale;
    } cases[] = {{"2", 2.0f},   {"1.5", 1.5f}, {"150%", 1.5f}, {"1.3", 1.25f}, {"1.4", 1.5f},  {"2.3", 2.5f},
                 {"0.5", 1.0f}, {"8", 3.0f},   {"9", 0.0f},    {"0", 0.0f},    {"-1", 0.0f},   {"abc", 0.0f},
                 {"2x", 0.0f},  {"", 0.0f},    {"nan", 0.0f},  {"inf", 0.0f},  {"1.5%%", 0.0f}};
    for (const auto& c : cases) EXPECT_EQ(scaleFromText(c.text), c.scale) << c.text;
    EXPECT_EQ(scaleFromText(nullptr), 0.0f);
}

// The size the host is told, before and after open, as "WxH".
std::string hostSize(hostkit::PluginInstance& p) {
    ERect* rect = nullptr;
    p.dispatch(effEditGetRect, 0, 0, &rect);
    return rect ? std::to_string(rect->right) + "x" + std::to_string(rect->bottom) : "none";
}

std::intptr_t hostScale(hostkit::PluginInstance& p, float factor) {
    return p.dispatch(effVendorSpecific, kContentScaleVendor, kContentScaleRequest, nullptr, factor);
}

// First match wins: KLV_EDITOR_SCALE, the host's content scale, the
// display; each rounded to the nearest supported scale.
TEST(EditorScale, SourcesInTheirOrder) {
    unsetenv("KLV_EDITOR_SCALE");
    auto p = hostkit::PluginInstance::create(&makeEffect<clampora::ClamporaEffect>);
    auto* editor = static_cast<GuiEditorBase*>(static_cast<EffectBase*>(p->effect()->object)->getEditor());
    gui::raster::MemoryWindowSystem windows;
    editor->setWindowSystem(windows);
    windows.screenScale = 1.6;  // 154 dpi
    EXPECT_EQ(hostSize(*p), "653x348");
    EXPECT_EQ(hostScale(*p, 2.0f), 1);
    EXPECT_EQ(hostSize(*p), "870x464");
    for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) EXPECT_EQ(hostScale(*p, bad), 0);
    setenv("KLV_EDITOR_SCALE", "125%", 1);
    EXPECT_EQ(hostSize(*p), "544x290");
    setenv("KLV_EDITOR_SCALE", "banana", 1);  // ignored: the host's again, said once
    testing::internal::CaptureStderr();
    EXPECT_EQ(hostSize(*p), "870x464");
    EXPECT_EQ(hostSize(*p), "870x464");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "klv: KLV_EDITOR_SCALE=banana is not an editor scale (use 1 to 3, e.g. 1.5 or 150%); ignored\n");
    unsetenv("KLV_EDITOR_SCALE");

    static int parent;
    ASSERT_EQ(p->dispatch(effEditOpen, 0, 0, &parent), 1);
    EXPECT_EQ(hostSize(*p), "870x464");
    EXPECT_EQ(windows.lastWindow()->pixels().width, 870);
    // While open the window follows the host at once and asks it to resize.
    p->clearCalls();
    EXPECT_EQ(hostScale(*p, 3.0f), 1);
    EXPECT_EQ(hostSize(*p), "1305x696");
    EXPECT_EQ(windows.lastWindow()->pixels().width, 1305);
    ASSERT_EQ(p->countCalls(audioMasterSizeWindow), 1);
    EXPECT_EQ(p->calls().back().index, 1305);
    EXPECT_EQ(p->calls().back().value, 696);
    p->dispatch(effEditClose);
    p->close();
}

struct ScaleCase {
    const char* name;
    hostkit::EntryProc entry;
    float scale;
};

class EditorAtEveryScale : public ::testing::TestWithParam<ScaleCase> {
protected:
    OpenEditor e{GetParam().entry, {}, GetParam().scale};
    float s() const { return GetParam().scale; }
    Point device(int x, int y) const { return {gui::toDevice(x * 1LL, s()), gui::toDevice(y * 1LL, s())}; }
};

// Every button and switch redraws exactly its scaled rectangle, takes a
// press on the device pixel of its scaled top-left and bottom-right corners
// (edges are inside) and none one pixel beyond them.
TEST_P(EditorAtEveryScale, ButtonsOnTheirScaledRectangles) {
    const Rect window = gui::toDevice(e.frame().getViewSize(), s());
    EXPECT_EQ(e.port().pixels().width, window.width());
    EXPECT_EQ(e.port().pixels().height, window.height());
    int buttons = 0;
    for (int i = 0; i < e.frame().viewCount(); ++i) {
        auto* button = dynamic_cast<gui::Control*>(e.frame().viewAt(i));
        if (!dynamic_cast<gui::ToggleButton*>(button) && !dynamic_cast<gui::CycleSwitch*>(button)) continue;
        ++buttons;
        const int tag = button->getTag();
        const Rect r = button->getViewSize();
        e.plugin().setParameter(tag, 1.0f);
        e.idle();
        e.plugin().setParameter(tag, 0.0f);
        e.port().clearDrawnAreas();
        e.idle();
        // (Processing switched moves the meters too.)
        const Rect drawn = e.port().drawnAreas().back(), expected = gui::toDevice(r, s());
        if (tag != 0) {
            EXPECT_EQ(drawn.left, expected.left) << tag;
            EXPECT_EQ(drawn.top, expected.top) << tag;
            EXPECT_EQ(drawn.right, expected.right) << tag;
            EXPECT_EQ(drawn.bottom, expected.bottom) << tag;
        }
        const Point corners[] = {device(r.left, r.top), device(r.right, r.bottom)};
        for (const Point& c : corners) {
            for (const int outside : {0, 1}) {
                const Point at =
                    c.x == corners[0].x ? Point{c.x - outside, c.y - outside} : Point{c.x + outside, c.y + outside};
                const float before = e.plugin().getParameter(tag);
                e.port().click(at, kLeft);
                EXPECT_EQ(e.plugin().getParameter(tag) != before, outside == 0)
                    << "tag " << tag << " at " << at.x << ", " << at.y;
                e.plugin().setParameter(tag, before);
                e.idle();
            }
        }
    }
    EXPECT_GE(buttons, 5);
}

// The same physical movement, the same change: 20 design pixels up are 20 s
// device pixels; one device pixel at 2 is half a design pixel's change.
TEST_P(EditorAtEveryScale, DragsOverTheSameDistanceChangeTheSame) {
    const int knob = 1;  // input, on both
    e.plugin().setParameter(knob, 0.5f);
    e.idle();
    const Rect r = e.editor().control(knob)->getViewSize();
    const Point from = device((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    const int up = gui::toDevice(20LL, s());
    e.port().press(from, kLeft);
    e.port().move({from.x, from.y - 1}, kLeft);
    EXPECT_NEAR(e.plugin().getParameter(knob), 0.5f + 1.0f / (200.0f * s()), 1e-6f);
    e.port().move({from.x, from.y - up}, kLeft);
    e.port().release({from.x, from.y - up}, 0);
    EXPECT_NEAR(e.plugin().getParameter(knob), 0.5f + up / (200.0f * s()), 1e-6f);
}

std::vector<ScaleCase> allScales() {
    std::vector<ScaleCase> cases;
    for (float scale : gui::kScales) {
        cases.push_back({"clampora", &makeEffect<clampora::ClamporaEffect>, scale});
        cases.push_back({"tonvela", &makeEffect<tonvela::TonvelaEffect>, scale});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Both, EditorAtEveryScale, ::testing::ValuesIn(allScales()), [](const auto& info) {
    std::string name = std::string(info.param.name) + "_" + std::to_string(static_cast<int>(info.param.scale * 100));
    return name;
});

}  // namespace
}  // namespace klv::test
