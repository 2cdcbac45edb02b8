// Editor read-outs by parameter index: for each plug-in one table saying,
// per parameter, which word its name display shows, which value its value
// display receives and which formatter turns that into text.
#include <iterator>
#include <string>

#include "display/value_format.h"
#include "host/dsp_math.h"

namespace klv::display {

namespace {

// What a value display receives, derived from the normalised value v.
enum class Shown {
    kNone,        // no value display (switches)
    kValue,       // v itself
    kLevelGain,   // 10^(1.2 (v - 0.5)): -12 dB at 0, 0 dB at 0.5, +12 dB at 1
    kTimeSnap,    // compressor attack/release, snapped out of the dead band
    kMakeupSnap,  // compressor make-up, snapped likewise
    kScFreqHz,    // 25 * 600^v Hz
    kScQ,         // 9.999 v^2 + 0.001
    kShapeStep,   // nearest of the eight saturation curves
    kBassHz,      // 50 + 450 v^2 Hz
    kTrebleHz,    // 2000 + 10000 v^2 Hz
};

struct Readout {
    int nameIndex;  // row of the plug-in's name table, -1 for none
    Shown shown;
    Formatter format;
};

constexpr Readout kNoReadout = {-1, Shown::kNone, nullptr};

// Compressor, by parameter index 0..17.
const Readout kClamporaReadouts[] = {
    kNoReadout,                                 // 0 process
    {13, Shown::kLevelGain, formatDecibel},     // 1 input
    {1, Shown::kValue, formatPercent},          // 2 compress
    {2, Shown::kValue, formatSlope},            // 3 slope
    {5, Shown::kTimeSnap, formatAttackTime},    // 4 attack
    {7, Shown::kTimeSnap, formatReleaseTime},   // 5 release
    {8, Shown::kMakeupSnap, formatMakeupGain},  // 6 make-up
    {14, Shown::kValue, formatPercent},         // 7 mix
    {12, Shown::kLevelGain, formatDecibel},     // 8 output
    {3, Shown::kScFreqHz, formatHz},            // 9 scFreq
    {4, Shown::kScQ, formatShortNumber},        // 10 scQ
    {6, Shown::kValue, formatHoldTime},         // 11 hold
    kNoReadout,                                 // 12 pre/post
    kNoReadout,                                 // 13 RMS/peak
    kNoReadout,                                 // 14 Delay
    kNoReadout,                                 // 15 scl
    kNoReadout,                                 // 16 sat
    kNoReadout,                                 // 17 stereo/mono
};

// Saturator, by parameter index 0..15.
const Readout kTonvelaReadouts[] = {
    kNoReadout,                               // 0 process
    {13, Shown::kLevelGain, formatDecibel},   // 1 input
    {12, Shown::kLevelGain, formatDecibel},   // 2 output
    {1, Shown::kValue, formatPercent},        // 3 drive
    {2, Shown::kShapeStep, formatShapeName},  // 4 shape
    {14, Shown::kValue, formatPercent},       // 5 mix
    {5, Shown::kLevelGain, formatDecibel},    // 6 bassBoost
    {8, Shown::kLevelGain, formatDecibel},    // 7 trebleBoost
    {3, Shown::kBassHz, formatHz},            // 8 bassFreq
    {6, Shown::kTrebleHz, formatHz},          // 9 trebleFreq
    {7, Shown::kValue, formatPercent},        // 10 trebleHarm
    {4, Shown::kValue, formatPercent},        // 11 bassHarm
    kNoReadout,                               // 12 pre/post
    kNoReadout,                               // 13 bassOn
    kNoReadout,                               // 14 trebleOn
    kNoReadout,                               // 15 stereo/mono
};

float unit(float v) {
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

// The compressor snaps attack and release below 0.1666666 to the middle of
// their band (0 fast, 0.0833333 slow, 0.1666666 shortest timed value), and
// make-up to 0 (automatic) or 0.1666666 (0 dB), so its knobs never rest in
// the dead band. The thresholds are compared in double.
constexpr float kSnapSlow = 0.0833333f;
constexpr float kSnapFixed = 0.1666666f;

float snapTime(float v) {
    if (v < 0.0416666) return 0.0f;
    if (v < 0.125) return kSnapSlow;
    if (v < 0.1666666) return kSnapFixed;
    return v;
}

float snapMakeup(float v) {
    if (v < 0.125) return 0.0f;
    if (v < 0.1666666) return kSnapFixed;
    return v;
}

// Both effects work with their continuous values clamped to 0..1, and
// their editors show those working values.
float shownValue(Shown shown, float v, bool) {
    const float w = unit(v);
    switch (shown) {
        case Shown::kLevelGain:
            return static_cast<float>(klv::dsp::pow(10.0, 1.2 * (w - 0.5)));
        case Shown::kTimeSnap:
            return snapTime(v);
        case Shown::kMakeupSnap:
            return snapMakeup(v);
        case Shown::kScFreqHz:
            // log10(600) = 2.7781512503836434: 25 Hz at 0, 15 kHz at 1.
            return static_cast<float>(25.0 * klv::dsp::pow(10.0, 2.7781512503836434 * w));
        case Shown::kScQ:
            return static_cast<float>(9.999 * w * w + 0.001);
        case Shown::kShapeStep: {
            // Nearest step: the integer part of 7 v + 0.5, the value first
            // brought into 0..1 as the saturator does.
            return static_cast<float>(static_cast<int>(w * 7.0f + 0.5f));
        }
        case Shown::kBassHz:
            return static_cast<float>(w * w * 450.0 + 50.0);
        case Shown::kTrebleHz:
            return static_cast<float>(w * w * 10000.0 + 2000.0);
        case Shown::kValue:
        case Shown::kNone:
            break;
    }
    return v;
}

template <int N>
std::string readout(const Readout (&table)[N], bool clampora, int index, float value) {
    if (index < 0 || index >= N || table[index].format == nullptr) return std::string();
    char text[kFormatTextSize];
    table[index].format(shownValue(table[index].shown, value, clampora), text);
    return text;
}

template <int N>
std::string readoutName(const Readout (&table)[N], const NameTable& names, int index) {
    if (index < 0 || index >= N || table[index].nameIndex < 0) return std::string();
    char text[kFormatTextSize];
    formatName(names, static_cast<float>(table[index].nameIndex), text);
    return text;
}

static_assert(std::size(kClamporaReadouts) == 18, "one read-out row per compressor parameter");
static_assert(std::size(kTonvelaReadouts) == 16, "one read-out row per saturator parameter");

}  // namespace

std::string clamporaReadout(int index, float value) {
    return readout(kClamporaReadouts, true, index, value);
}

std::string tonvelaReadout(int index, float value) {
    return readout(kTonvelaReadouts, false, index, value);
}

std::string clamporaReadoutName(int index) {
    return readoutName(kClamporaReadouts, kClamporaNames, index);
}

std::string tonvelaReadoutName(int index) {
    return readoutName(kTonvelaReadouts, kTonvelaNames, index);
}

}  // namespace klv::display
