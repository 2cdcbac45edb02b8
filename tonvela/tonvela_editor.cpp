#include "tonvela/tonvela_editor.h"

#include "display/value_format.h"
#include "tonvela/tonvela_effect.h"

namespace klv::tonvela {

namespace {

using display::formatDecibel;
using display::formatHz;
using display::formatPercent;
using display::formatShapeName;
using Editor = ParameterEditor;
constexpr auto kParameter = Editor::kParameterValue;
constexpr auto kWorking = Editor::kWorkingValue;

// Skin bitmap ids.
enum Skin {
    kProcessButton = 129,
    kBassButton,
    kTrebleButton,
    kMeterPointSwitch,
    kStereoMonoButton,
    kFaderHandle = 135,
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

// In the window's order; the meter point is a three-state switch (the
// effect reads its value's integer part, as the switch does).
constexpr Editor::ButtonRow kButtons[] = {
    {kProcess, {197, 130, 237, 143}, kProcessButton, 2},     {kBassOn, {116, 130, 156, 143}, kBassButton, 2},
    {kTrebleOn, {279, 130, 319, 143}, kTrebleButton, 2},     {kPrePost, {189, 103, 245, 117}, kMeterPointSwitch, 3},
    {kStereoMono, {207, 74, 227, 88}, kStereoMonoButton, 2},
};

constexpr Editor::ControlRow kKnobs[] = {
    {kTrebleFreq, {226, 161, 263, 198}, {{220, 149, 270, 163}, 6}, {{220, 197, 270, 211}, kWorking, formatHz}},
    {kTrebleHarm, {273, 161, 310, 198}, {{267, 149, 317, 163}, 7}, {{267, 197, 317, 211}, kParameter, formatPercent}},
    {kTrebleBoost, {321, 161, 358, 198}, {{315, 149, 365, 163}, 8}, {{315, 197, 365, 211}, kWorking, formatDecibel}},
    {kBassFreq, {76, 161, 113, 198}, {{70, 149, 120, 163}, 3}, {{70, 197, 120, 211}, kWorking, formatHz}},
    {kBassHarm, {124, 161, 160, 197}, {{118, 149, 168, 163}, 4}, {{118, 197, 168, 211}, kParameter, formatPercent}},
    {kBassBoost, {171, 161, 208, 198}, {{165, 149, 215, 163}, 5}, {{165, 197, 215, 211}, kWorking, formatDecibel}},
    {kOutput, {376, 161, 413, 198}, {{370, 149, 420, 163}, 12}, {{370, 197, 420, 211}, kWorking, formatDecibel}},
    {kInput, {21, 161, 58, 198}, {{15, 149, 65, 163}, 13}, {{15, 197, 65, 211}, kWorking, formatDecibel}},
};

// The vertical faders' handles travel from 26 to 130 minus their height;
// the mix fader's from 330 to 330 plus its background's width minus its own.
// Only the shape fader jumps to a click.
constexpr Editor::FaderRow kVerticalFaders[] = {
    {{kShape, {382, 26, 408, 130}, {{370, 11, 420, 25}, 2}, {{370, 130, 420, 144}, kWorking, formatShapeName}},
     26,
     115,
     true,
     0.0f},
    {{kDrive, {27, 26, 53, 130}, {{15, 11, 65, 25}, 1}, {{15, 130, 65, 144}, kParameter, formatPercent}},
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

// Both may be decided inside the effect without a parameter call.
constexpr int kFollowers[] = {kProcess, kStereoMono};

const Editor::Layout kLayout = {
    kSkin,
    TonvelaEditor::kWidth,
    TonvelaEditor::kHeight,
    kNumParams,
    display::formatTonvelaName,
    gui::NeedleMeter::kThreeInputs,
    {kMeters[0], kMeters[1]},
    kButtons,
    kKnobs,
    kKnobHandle,
    kVerticalFaders,
    kFaderHandle,
    kMixFader,
    kMixHandle,
    kMixBackground,
    TonvelaEditor::kAboutTag,
    kAboutPicture,
    {"KLV Tonvela v 1.5", "saturation and harmonic enhancer", "eight curves, bass and treble enhancement"},
    kFollowers,
};

}  // namespace

TonvelaEditor::TonvelaEditor(TonvelaEffect* effect) : ParameterEditor(effect, kLayout), effect_(effect) {}

// The meters show what the history held a host's output latency ago: the
// black needle the level raised by about 4 dB, the red one the held peak.
void TonvelaEditor::feedMeters(gui::NeedleMeter& left, gui::NeedleMeter& right) {
    gui::NeedleMeter* meters[] = {&left, &right};
    for (int channel = 0; channel < 2; ++channel) {
        const MeterReading r = effect_->meterReading(channel);
        meters[channel]->setLevel(r.level * 1.58f);
        meters[channel]->setLamp(r.clip);
        meters[channel]->setPeak(r.peak);
    }
}

}  // namespace klv::tonvela
