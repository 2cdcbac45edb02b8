// Both editors through their real effects: drags reach the host with their
// tags, host changes reach the controls, snapping, defaults, switches, the
// about panel, closing, and the meters fed from the effects' rings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "clampora/clampora_editor.h"
#include "clampora/clampora_effect.h"
#include "gui/faders.h"
#include "gui/needle_meter.h"
#include "tests/editors/editor_test_util.h"
#include "tonvela/tonvela_editor.h"
#include "tonvela/tonvela_effect.h"

namespace klv::test {
namespace {

using gui::Point;
constexpr unsigned kLeft = gui::kLeftButton;

// Each plug-in's controls by kind.
struct EditorCase {
    const char* name;
    hostkit::EntryProc entry;
    std::vector<int> knobs;
    std::vector<int> verticalFaders;
    int mix;
    int aboutTag;
    std::vector<int> switches;            // three states, value = state index
    std::vector<int> followWorkingValue;  // buttons set from the effect's state at idle
    int gainReductionInput;               // the meter input at rest above the left stop, or -1
};

class EditorBindings : public ::testing::TestWithParam<EditorCase> {
protected:
    OpenEditor e{GetParam().entry};
    // A drag's host calls: begin, automations, end, all with the tag.
    void expectEdit(int tag) {
        const auto begins = e.callsOf(audioMasterBeginEdit), ends = e.callsOf(audioMasterEndEdit),
                   automations = e.callsOf(audioMasterAutomate);
        ASSERT_EQ(begins.size(), 1u) << tag;
        ASSERT_EQ(ends.size(), 1u) << tag;
        EXPECT_EQ(begins[0].index, tag);
        EXPECT_EQ(ends[0].index, tag);
        ASSERT_FALSE(automations.empty()) << tag;
        for (const auto& a : automations) EXPECT_EQ(a.index, tag);
        // The control shows what the effect stored (snapped where it snaps).
        EXPECT_EQ(e.editor().control(tag)->getValue(), e.plugin().getParameter(tag)) << tag;
    }
};

TEST_P(EditorBindings, DragsReachTheEffectAndTheHostWithTheirTags) {
    for (int tag : GetParam().knobs) {
        e.plugin().setParameter(tag, 0.5f);
        e.idle();  // the host's change reaches the control
        e.plugin().clearCalls();
        const Point c = centre(e.editor().control(tag));
        e.click(c, kLeft, {{kLeft, {c.x, c.y - 20}}});  // up 20 pixels, linear
        expectEdit(tag);
        EXPECT_NEAR(e.callsOf(audioMasterAutomate).back().opt, 0.6f, 1e-5f) << tag;
    }
    std::vector<int> faders = GetParam().verticalFaders;
    faders.push_back(GetParam().mix);
    for (int tag : faders) {
        e.plugin().setParameter(tag, 0.5f);
        e.idle();  // draws the handle where the value puts it
        e.plugin().clearCalls();
        auto* fader = static_cast<gui::Fader*>(e.editor().control(tag));
        const bool vertical = tag != GetParam().mix;
        const gui::Rect r = fader->getViewSize();
        // On the handle (free click or not), then 10 pixels up or right.
        const Point grab = vertical ? Point{(r.left + r.right) / 2, fader->handlePosition() + 7}
                                    : Point{fader->handlePosition() + 7, (r.top + r.bottom) / 2};
        const Point to = vertical ? Point{grab.x, grab.y - 10} : Point{grab.x + 10, grab.y};
        e.click(grab, kLeft, {{kLeft, to}});
        expectEdit(tag);
        EXPECT_GT(e.plugin().getParameter(tag), 0.55f) << tag;  // up or right increases
    }
}

TEST_P(EditorBindings, CtrlClickGivesEachControlItsDefault) {
    std::vector<std::pair<int, float>> defaults;
    for (int tag : GetParam().knobs) defaults.push_back({tag, 0.5f});
    for (int tag : GetParam().verticalFaders) defaults.push_back({tag, 0.0f});
    defaults.push_back({GetParam().mix, 1.0f});
    for (const auto& [tag, value] : defaults) {
        e.plugin().setParameter(tag, 0.3f);
        e.idle();
        e.plugin().clearCalls();
        e.click(centre(e.editor().control(tag)), kLeft | gui::kControlKey);
        const auto automations = e.callsOf(audioMasterAutomate);
        ASSERT_EQ(automations.size(), 1u) << tag;
        EXPECT_EQ(automations[0].opt, value) << tag;
    }
}

TEST_P(EditorBindings, SwitchesCycleThroughTheirStatesAndWriteTheIndex) {
    for (int tag : GetParam().switches) {
        e.plugin().setParameter(tag, 0.0f);
        e.idle();
        e.plugin().clearCalls();
        for (float expected : {1.0f, 2.0f, 0.0f}) {
            e.click(centre(e.editor().control(tag)), kLeft);
            EXPECT_EQ(e.callsOf(audioMasterAutomate).back().opt, expected);
            EXPECT_EQ(e.plugin().getParameter(tag), expected);
        }
    }
}

TEST_P(EditorBindings, AboutPanelOpensOverTheMiddleAndChangesNothing) {
    e.click({200, 222}, kLeft);
    gui::View* panel = e.frame().getModalView();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->getViewSize().left, 63);
    EXPECT_EQ(panel->getViewSize().bottom, 122);
    e.click({100, 100}, kLeft);  // inside: closes
    EXPECT_EQ(e.frame().getModalView(), nullptr);
    EXPECT_TRUE(e.callsOf(audioMasterAutomate).empty());
    EXPECT_TRUE(e.callsOf(audioMasterBeginEdit).empty());
}

TEST_P(EditorBindings, HostChangesShowAtTheNextIdleOnlyWhileOpen) {
    e.plugin().dispatch(effSetProgram, 0, 5);
    e.idle();
    for (int tag = 0; tag < ParameterEditor::kMaxParams; ++tag) {
        gui::Control* c = e.editor().control(tag);
        const auto& follow = GetParam().followWorkingValue;
        if (!c || std::find(follow.begin(), follow.end(), tag) != follow.end()) continue;
        EXPECT_EQ(c->getValue(), e.plugin().getParameter(tag)) << tag;
        EXPECT_FALSE(c->isDirty()) << tag;
        if (gui::ValueText* r = e.editor().readout(tag)) {
            EXPECT_FALSE(r->isDirty()) << tag;
        }
    }
    // Closed: automation reaches the effect only; the next open shows it.
    const int knob = GetParam().knobs[0];
    e.plugin().dispatch(effEditClose);
    EXPECT_EQ(e.editor().control(knob), nullptr);
    e.plugin().setParameter(knob, 0.9f);
    e.idle();
    EXPECT_EQ(e.windows.openWindows(), 0);
    ASSERT_EQ(e.open(), 1);
    EXPECT_EQ(e.editor().control(knob)->getValue(), e.plugin().getParameter(knob));
    // A host that opens again without closing keeps one window.
    ASSERT_EQ(e.open(), 1);
    EXPECT_EQ(e.windows.openWindows(), 1);
}

TEST_P(EditorBindings, SilenceRestsEveryNeedleAtTheLeftStop) {
    e.play(0.0f, 0.0f, 44100);
    e.idle();
    e.idle();
    for (int channel = 0; channel < 2; ++channel) {
        auto* meter = static_cast<gui::NeedleMeter*>(e.frame().viewAt(channel));
        const int pivotX = channel == 0 ? 136 : 298;
        for (int i = 0; i < meter->inputCount(); ++i) {
            if (i == 1) continue;  // the lamp
            if (i == GetParam().gainReductionInput) {
                // No reduction: ratio 1 shown 14 dB down, on the scale's mark.
                EXPECT_NEAR(meter->input(i), 0.1995f, 1e-6f);
                continue;
            }
            // The needle law's left stop: 135 + 0.043 x 90 degrees.
            const Point end = meter->needleEnd(meter->input(i), 87.0f);
            EXPECT_EQ(end.x, pivotX - 66) << i;
            EXPECT_EQ(end.y, 111 - 58) << i;
        }
        EXPECT_LE(meter->input(1), 0.5f);
    }
}

const EditorCase kEditors[] = {
    {"clampora", &makeEffect<clampora::ClamporaEffect>, {9, 10, 4, 11, 5, 6, 8, 1}, {3, 2}, 7, 19, {16}, {17}, 2},
    {"tonvela", &makeEffect<tonvela::TonvelaEffect>, {9, 10, 7, 8, 11, 6, 2, 1}, {4, 3}, 5, 17, {12}, {0, 15}, -1},
};
INSTANTIATE_TEST_SUITE_P(Both, EditorBindings, ::testing::ValuesIn(kEditors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClamporaEditorReadouts, SnappedValuesShowTheirText) {
    OpenEditor e(&makeEffect<clampora::ClamporaEffect>);
    e.plugin().setParameter(clampora::kAttack, 0.14f);  // inside 0.125 .. 0.1666666
    e.idle();
    EXPECT_NEAR(e.editor().control(clampora::kAttack)->getValue(), 0.1666666f, 1e-6f);
    EXPECT_EQ(e.readoutText(clampora::kAttack), "0.10ms");
    e.plugin().setParameter(clampora::kMakeup, 0.1f);
    e.idle();
    EXPECT_EQ(e.readoutText(clampora::kMakeup), "auto");
    e.plugin().setParameter(clampora::kInput, 0.5f);
    e.idle();
    EXPECT_EQ(e.readoutText(clampora::kInput), "0.0dB");
}

TEST(ClamporaEditorMeters, LevelClipAndGainReductionFromTheRings) {
    OpenEditor e(&makeEffect<clampora::ClamporaEffect>);
    auto* left = static_cast<clampora::ClamporaEditor&>(e.editor()).meter(0);
    // Bypassed, the level is the average of |x|: 2 / pi of the peak for a
    // sine. 0.5 peak: 0.3183, shown 1.58 x higher: 0.5029, so p = 0.8429,
    // 59.14 degrees: the needle starts at (151, 85).
    e.plugin().setParameter(clampora::kProcess, 0.0f);
    e.play(0.5f, 1000.0f, 2 * 44100);
    e.idle();
    e.idle();
    EXPECT_NEAR(left->input(0), 0.5029f, 0.003f);
    EXPECT_EQ(e.pixel(151, 85), 0x000000u);
    // Compressing: the blue needle leaves its rest at 0.1995 (ratio 1).
    e.plugin().setParameter(clampora::kProcess, 1.0f);
    e.plugin().setParameter(clampora::kCompress, 1.0f);
    e.play(0.9f, 1000.0f, 44100);
    e.idle();
    EXPECT_LT(left->input(2), 0.15f);
    // The soft clipper's lamp lights only once the output stayed above 0.9
    // for 15 ms (662 frames): not after the first block of 512, after the
    // second.
    e.plugin().setParameter(clampora::kCompress, 0.0f);
    e.plugin().setParameter(clampora::kSat, 2.0f);
    e.plugin().dispatch(effMainsChanged, 0, 0);
    e.plugin().dispatch(effMainsChanged, 0, 1);
    e.play(1.0f, 1000.0f, 512);
    e.idle();
    EXPECT_LE(left->input(1), 0.5f);
    e.play(1.0f, 1000.0f, 512);
    e.idle();
    EXPECT_GT(left->input(1), 0.5f);
}

}  // namespace
}  // namespace klv::test
