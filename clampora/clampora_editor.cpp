#include "clampora/clampora_editor.h"

#include <iterator>

#include "clampora/clampora_effect.h"
#include "display/value_format.h"
#include "gui/frame.h"

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
using Editor = gui::ParameterEditor;
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

// In the window's order; the output stage is a three-state switch.
constexpr Editor::ButtonRow kButtons[] = {
    {kProcess, {197, 130, 237, 143}, kProcessButton, 2},     {kDelay, {74, 130, 114, 143}, kDelayButton, 2},
    {kScListen, {136, 130, 176, 143}, kListenButton, 2},     {kRmsPeak, {258, 130, 298, 143}, kDetectorButton, 2},
    {kSat, {320, 130, 360, 143}, kStageSwitch, 3},           {kPrePost, {189, 103, 245, 117}, kMeterPointButton, 2},
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

constexpr const char* kAbout[] = {"KLV Clampora v 1.5", "compressor for mix bus and channel",
                                  "peak / RMS detection, look-ahead, output stage"};

}  // namespace

ClamporaEditor::ClamporaEditor(ClamporaEffect* effect)
    : ParameterEditor(effect, kNumParams, kSkin, kWidth, kHeight, display::formatClamporaName), effect_(effect) {}

void ClamporaEditor::createControls() {
    meters_[0] = addMeter(true, kMeters[0]);
    meters_[1] = addMeter(true, kMeters[1]);
    for (const ButtonRow& row : kButtons) addButton(row);
    stereoMono_ = control(kStereoMono);
    addKnobs(kKnobs, static_cast<int>(std::size(kKnobs)), kKnobHandle);
    for (const FaderRow& row : kVerticalFaders) addFader(row, true, kFaderHandle);
    addFader(kMixFader, false, kMixHandle, kMixBackground);
    addAbout(kAboutTag, kAboutPicture, kAbout);
}

void ClamporaEditor::forgetControls() {
    meters_[0] = meters_[1] = nullptr;
    stereoMono_ = nullptr;
}

float ClamporaEditor::workingValue(int index) {
    return effect_->getParameterValue(index);
}

void ClamporaEditor::setEditorOpen(bool open) {
    effect_->setEditorOpen(open);
}

bool ClamporaEditor::editorOpen() const {
    return effect_->editorOpen();
}

// The meters show what the rings held a host's output latency ago: the black
// needle the level raised by about 4 dB, the blue one the gain-reduction
// ratio lowered by about 14 dB (no reduction rests there), the red one the
// held peak.
void ClamporaEditor::idle() {
    GuiEditorBase::idle();
    if (!editorOpen() || !frame_) return;
    for (int channel = 0; channel < 2; ++channel) {
        const MeterReading r = effect_->meterReading(channel);
        gui::NeedleMeter* m = meters_[channel];
        m->setLevel(r.level * 1.58f);
        m->setLamp(r.clip);
        m->setGainReduction(r.gainReduction * 0.1995f);
        m->setPeak(r.peak);
    }
    // The effect may settle its channel mode on its own.
    stereoMono_->setValue(effect_->getParameterValue(kStereoMono));
}

void ClamporaEditor::resetMeters() {
    if (editorOpen()) zeroMeters(meters_);
}

}  // namespace klv::clampora
