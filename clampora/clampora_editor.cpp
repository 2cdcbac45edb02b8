#include "clampora/clampora_editor.h"

#include "clampora/clampora_effect.h"
#include "clampora/output_stage.h"
#include "display/value_format.h"

namespace klv::clampora {

namespace {

using display::formatAttackTime;
using display::formatDecibel;
using display::formatHoldTime;
using display::formatHz;
using display::formatMakeupGain;
using display::formatPercent;
using display::formatReleaseTime;
using display::formatShortNumber;
using display::formatSlope;
using Editor = ParameterEditor;
constexpr auto kParameter = Editor::kParameterValue;
constexpr auto kWorking = Editor::kWorkingValue;

// Skin bitmap ids.
enum Skin {
    kProcessButton = 129,
    kDelayButton,
    kListenButton,
    kDetectorButton,
    kStageSwitch,
    kMeterPointButton,
    kStereoMonoButton,
    kFaderHandle = 137,
    kMixBackground,
    kMixHandle,
    kLampLeft,
    kLampRight,
    kKnobHandle,
    kDialLeft,
    kDialRight,
    kAboutPicture,
};

constexpr Editor::MeterPlace kMeters[] = {{{69, 18, 201, 99}, kDialLeft, {130, 88, 0, 0}, kLampLeft, {136, 111}},
                                          {{233, 18, 365, 99}, kDialRight, {292, 88, 0, 0}, kLampRight, {298, 111}}};

// The output stage's state as the effect reads "sat": a fraction shows the
// stage that runs.
int outputStage(float value) {
    return static_cast<int>(satModeOf(value));
}

// In the window's order; the output stage is a three-state switch.
constexpr Editor::ButtonRow kButtons[] = {
    {kProcess, {197, 130, 237, 143}, kProcessButton, 2},        {kDelay, {74, 130, 114, 143}, kDelayButton, 2},
    {kScListen, {136, 130, 176, 143}, kListenButton, 2},        {kRmsPeak, {258, 130, 298, 143}, kDetectorButton, 2},
    {kSat, {320, 130, 360, 143}, kStageSwitch, 3, outputStage}, {kPrePost, {189, 103, 245, 117}, kMeterPointButton, 2},
    {kStereoMono, {207, 74, 227, 88}, kStereoMonoButton, 2},
};

constexpr Editor::ControlRow kKnobs[] = {
    {kScFreq, {76, 161, 113, 198}, {{70, 147, 120, 161}, 3}, {{70, 197, 120, 211}, kWorking, formatHz}},
    {kScQ, {124, 161, 161, 198}, {{118, 147, 168, 161}, 4}, {{118, 197, 168, 211}, kWorking, formatShortNumber}},
    {kAttack, {179, 161, 216, 198}, {{173, 147, 223, 161}, 5}, {{173, 197, 223, 211}, kWorking, formatAttackTime}},
    {kHold, {226, 161, 263, 198}, {{220, 147, 270, 161}, 6}, {{220, 197, 270, 211}, kWorking, formatHoldTime}},
    {kRelease, {273, 161, 310, 198}, {{267, 147, 317, 161}, 7}, {{267, 197, 317, 211}, kParameter, formatReleaseTime}},
    {kMakeup, {320, 161, 357, 198}, {{315, 147, 365, 161}, 8}, {{315, 197, 365, 211}, kParameter, formatMakeupGain}},
    {kOutput, {376, 161, 413, 198}, {{370, 147, 420, 161}, 12}, {{370, 197, 420, 211}, kWorking, formatDecibel}},
    {kInput, {21, 161, 58, 198}, {{15, 147, 65, 161}, 13}, {{15, 197, 65, 211}, kWorking, formatDecibel}},
};

// The vertical faders' handles travel from 26 to 130 minus their height;
// the mix fader's from 330 to 330 plus its background's width minus its own.
constexpr Editor::FaderRow kVerticalFaders[] = {
    {{kSlope, {382, 26, 408, 130}, {{370, 10, 420, 24}, 2}, {{370, 130, 420, 144}, kWorking, formatSlope}},
     26,
     115,
     false,
     0.0f},
    {{kCompress, {27, 26, 53, 130}, {{15, 11, 65, 25}, 1}, {{15, 130, 65, 144}, kParameter, formatPercent}},
     26,
     115,
     false,
     0.0f},
};
constexpr Editor::FaderRow kMixFader = {
    {kMix, {330, 215, 408, 231}, {{310, 216, 330, 230}, 14}, {{408, 216, 438, 230}, kParameter, formatPercent, 0}},
    330,
    393,
    false,
    1.0f};

// The effect may settle its channel mode on its own.
constexpr int kFollowers[] = {kStereoMono};

const Editor::Layout kLayout = {
    kSkin,
    ClamporaEditor::kWidth,
    ClamporaEditor::kHeight,
    kNumParams,
    display::formatClamporaName,
    gui::NeedleMeter::kFourInputs,
    {kMeters[0], kMeters[1]},
    kButtons,
    kKnobs,
    kKnobHandle,
    kVerticalFaders,
    kFaderHandle,
    kMixFader,
    kMixHandle,
    kMixBackground,
    ClamporaEditor::kAboutTag,
    kAboutPicture,
    {"KLV Clampora v 1.5", "compressor for mix bus and channel", "peak / RMS detection, look-ahead, output stage"},
    kFollowers,
};

}  // namespace

ClamporaEditor::ClamporaEditor(ClamporaEffect* effect) : ParameterEditor(effect, kLayout), effect_(effect) {}

// The meters show what the rings held a host's output latency ago: the black
// needle the level raised by about 4 dB, the blue one the gain-reduction
// ratio lowered by about 14 dB (no reduction rests there), the red one the
// held peak.
void ClamporaEditor::feedMeters(gui::NeedleMeter& left, gui::NeedleMeter& right) {
    gui::NeedleMeter* meters[] = {&left, &right};
    for (int channel = 0; channel < 2; ++channel) {
        const MeterReading r = effect_->meterReading(channel);
        meters[channel]->setLevel(r.level * 1.58f);
        meters[channel]->setLamp(r.clip);
        meters[channel]->setGainReduction(r.gainReduction * 0.1995f);
        meters[channel]->setPeak(r.peak);
    }
}

}  // namespace klv::clampora
