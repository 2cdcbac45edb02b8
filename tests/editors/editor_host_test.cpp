// Both editors the way real hosts treat them: quick taps whose press and
// release wait together for the next idle, the host closing the editor in
// every part of a drag, a drag held still on a knob whose value the effect
// snaps, and switches given fractional values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "clampora/clampora_effect.h"
#include "gui/raster/raster_surface.h"
#include "gui/switches.h"
#include "tests/editors/editor_test_util.h"
#include "tonvela/tonvela_effect.h"

namespace klv::test {
namespace {

using gui::Point;
using Event = gui::raster::MemoryWindowPort::Event;
constexpr unsigned kLeft = gui::kLeftButton;

struct Family {
    const char* name;
    hostkit::EntryProc entry;
    int toggle;  // a two-state button
    int knob;
};
const Family kFamilies[] = {
    {"clampora", &makeEffect<clampora::ClamporaEffect>, clampora::kProcess, clampora::kInput},
    {"tonvela", &makeEffect<tonvela::TonvelaEffect>, tonvela::kProcess, tonvela::kInput},
};

class EditorUnderHost : public ::testing::TestWithParam<Family> {
protected:
    OpenEditor e{GetParam().entry};

    // Press and release queued together, as a touchpad tap reaches an X11
    // editor between two idles; a query of the pointer would find no button
    // down and the pointer elsewhere.
    void tap(Point where, unsigned buttons) {
        e.windows.setPointer(0, {0, 0});
        e.port().queue({Event::kPress, where, buttons});
        e.port().queue({Event::kRelease, where, buttons & ~kLeft});
        e.idle();
    }
    // Each begin of an edit has its end, with the same tag.
    void expectPairedEdits(int tag, std::size_t drags) {
        const auto begins = e.callsOf(audioMasterBeginEdit), ends = e.callsOf(audioMasterEndEdit);
        ASSERT_EQ(begins.size(), drags);
        ASSERT_EQ(ends.size(), drags);
        for (std::size_t i = 0; i < drags; ++i) {
            EXPECT_EQ(begins[i].index, tag);
            EXPECT_EQ(ends[i].index, tag);
        }
    }
};

TEST_P(EditorUnderHost, QuickTapsAreClicks) {
    const int toggle = GetParam().toggle, knob = GetParam().knob;
    e.plugin().setParameter(toggle, 1.0f);
    e.plugin().setParameter(knob, 0.2f);
    e.idle();
    e.plugin().clearCalls();
    tap(centre(e.editor().control(toggle)), kLeft);
    EXPECT_EQ(e.plugin().getParameter(toggle), 0.0f);
    tap(centre(e.editor().control(knob)), kLeft | gui::kControlKey);
    EXPECT_EQ(e.plugin().getParameter(knob), 0.5f);
    EXPECT_EQ(e.callsOf(audioMasterAutomate).size(), 2u);
    // A plain tap on a knob is a press and a release: one edit, no change.
    tap(centre(e.editor().control(knob)), kLeft);
    expectPairedEdits(knob, 1);
    EXPECT_EQ(e.callsOf(audioMasterAutomate).size(), 2u);
    // The name plate opens the about panel; a tap on it closes it.
    tap({200, 222}, kLeft);
    EXPECT_NE(e.frame().getModalView(), nullptr);
    tap({200, 60}, kLeft);
    EXPECT_EQ(e.frame().getModalView(), nullptr);
}

// The host closes the editor at each moment a drag gives it the chance: in
// its answer to the begin of the edit, to an automation, between two
// motions, or after destroying its own window (seen at the next idle). The
// end of the edit still comes, once, and the next open works.
TEST_P(EditorUnderHost, TheHostClosesTheEditorInTheMiddleOfADrag) {
    enum When { kInBeginEdit, kInAutomate, kBetweenMotions, kWindowDestroyed };
    const int knob = GetParam().knob;
    for (When when : {kInBeginEdit, kInAutomate, kBetweenMotions, kWindowDestroyed}) {
        SCOPED_TRACE(when);
        e.plugin().setParameter(knob, 0.5f);
        e.idle();
        e.plugin().clearCalls();
        const std::int32_t closeOn = when == kInBeginEdit ? audioMasterBeginEdit : audioMasterAutomate;
        if (when == kInBeginEdit || when == kInAutomate) {
            e.plugin().onCallback = [closeOn](hostkit::PluginInstance& p, const hostkit::CallbackRecord& r) {
                if (r.opcode == closeOn) p.dispatch(effEditClose);
            };
        }
        const Point c = centre(e.editor().control(knob));
        gui::raster::MemoryWindowPort& port = e.port();
        port.press(c, kLeft);
        if (e.editor().getFrame()) port.move({c.x, c.y - 10}, kLeft);
        if (when == kBetweenMotions) e.plugin().dispatch(effEditClose);
        if (when == kWindowDestroyed) {
            e.frame().windowDestroyed();
            e.idle();
            e.plugin().dispatch(effEditClose);
        }
        e.plugin().onCallback = nullptr;
        expectPairedEdits(knob, 1);
        EXPECT_EQ(e.windows.openWindows(), 0);
        ASSERT_EQ(e.open(), 1);
        EXPECT_EQ(e.editor().control(knob)->getValue(), e.plugin().getParameter(knob));
    }
}

// Attack, release and make-up store a snapped value, never the dragged one:
// a drag that stops moving, or twitches back and forth, still sends each
// value it computes only once in a row.
TEST(ClamporaEditorDrags, AHeldDragOnASnappingKnobSendsEachValueOnce) {
    OpenEditor e(&makeEffect<clampora::ClamporaEffect>);
    for (int knob : {clampora::kAttack, clampora::kRelease, clampora::kMakeup}) {
        e.plugin().setParameter(knob, 0.12f);
        e.idle();
        e.plugin().clearCalls();
        const Point c = centre(e.editor().control(knob));
        e.port().press(c, kLeft);
        for (int dy = 1; dy <= 8; ++dy) e.port().move({c.x, c.y - dy}, kLeft);
        for (int i = 0; i < 100; ++i) e.port().move({c.x, c.y - 8 + (i % 10 == 0 ? 1 : 0)}, kLeft);
        e.port().release({c.x, c.y - 8}, 0);
        const auto automations = e.callsOf(audioMasterAutomate);
        // 1 to 8 pixels, then 7 and 8 again at each of the ten twitches.
        EXPECT_EQ(automations.size(), 8u + 2u * 10u) << knob;
        for (std::size_t i = 1; i < automations.size(); ++i)
            EXPECT_NE(automations[i].opt, automations[i - 1].opt) << knob << " " << i;
        EXPECT_EQ(e.editor().control(knob)->getValue(), e.plugin().getParameter(knob)) << knob;
    }
}

// A switch given any value shows one whole frame: the state the effect
// reads the value as ("sat": rounded at 0.5 and 1.5; the meter point: its
// integer part), the nearest state beyond the ends.
TEST(EditorSwitches, FractionalValuesShowOneWholeFrame) {
    const struct {
        hostkit::EntryProc entry;
        int param;
        float value;
        int frame;
    } cases[] = {
        {&makeEffect<clampora::ClamporaEffect>, clampora::kSat, 0.3f, 0},
        {&makeEffect<clampora::ClamporaEffect>, clampora::kSat, 0.7f, 1},
        {&makeEffect<clampora::ClamporaEffect>, clampora::kSat, 1.49f, 1},
        {&makeEffect<clampora::ClamporaEffect>, clampora::kSat, 1.6f, 2},
        {&makeEffect<clampora::ClamporaEffect>, clampora::kSat, 9.0f, 2},
        {&makeEffect<tonvela::TonvelaEffect>, tonvela::kPrePost, 0.5f, 0},
        {&makeEffect<tonvela::TonvelaEffect>, tonvela::kPrePost, 1.5f, 1},
        {&makeEffect<tonvela::TonvelaEffect>, tonvela::kPrePost, 2.9f, 2},
        {&makeEffect<tonvela::TonvelaEffect>, tonvela::kPrePost, -3.0f, 0},
    };
    for (const auto& c : cases) {
        OpenEditor e(c.entry);
        e.plugin().setParameter(c.param, c.value);
        e.idle();
        auto* sw = static_cast<gui::CycleSwitch*>(e.editor().control(c.param));
        const auto& art = static_cast<gui::raster::RasterImage*>(sw->bitmap()->image())->pixels();
        const gui::Rect r = sw->getViewSize();
        const int frameHeight = art.height / sw->states();
        int wrong = 0;
        for (int y = 0; y < r.height(); ++y) {
            for (int x = 0; x < r.width(); ++x)
                wrong += e.pixel(r.left + x, r.top + y) != art.at(x, c.frame * frameHeight + y);
        }
        EXPECT_EQ(wrong, 0) << c.param << " = " << c.value;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, EditorUnderHost, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace klv::test
