#include "display/value_format.h"

#include <cstdio>
#include <iterator>

#include "host/dsp_math.h"
#include "host/number_text.h"

namespace klv::display {

namespace {

const char* const kClamporaWords[] = {"gain",   "compress", "slope",   "freq",       "Q",       "attack",
                                      "hold",   "release",  "make-up", "saturation", "process", "stereo",
                                      "output", "input",    "mix",     "M-hold",     "M-time"};
const char* const kTonvelaWords[] = {"gain",    "drive",  "shape",    "freq",   "warmth",
                                     "adjust",  "freq",   "compress", "adjust", "saturation",
                                     "process", "stereo", "output",   "input",  "mix"};
const char* const kShapeWords[] = {"none", "valve1", "valve2", "valve3", "tape1", "tape2", "tape3", "digital"};

// Truncation toward zero, as a C cast does, for the values an int can hold.
// NaN and magnitudes beyond int have no defined conversion; the formatters
// show nothing for them.
bool truncate(double x, int& out) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) return false;
    out = static_cast<int>(x);
    return true;
}

void clear(char* text) {
    text[0] = '\0';
}

void copyWord(const char* const* words, int count, float value, char* text) {
    int i = 0;
    if (truncate(value, i) && i >= 0 && i < count)
        std::snprintf(text, kFormatTextSize, "%s", words[i]);
    else
        clear(text);
}

// The eight-character number text of value cut to `keep` characters; with
// dropPoint a '.' left at the end goes too. unit is appended.
void numberText(float value, int keep, bool dropPoint, const char* unit, char* text) {
    if (value != value) {  // NaN: no number to show
        clear(text);
        return;
    }
    char number[16];
    klv::float2string(value, number);
    number[keep] = '\0';
    if (dropPoint && keep > 0 && number[keep - 1] == '.') number[keep - 1] = '\0';
    std::snprintf(text, kFormatTextSize, "%s%s", number, unit);
}

// Bands of the compressor's attack, release and make-up knobs: below 0.0417
// "fast", below 0.125 "slow" (make-up: "auto" for both), then a stretch that
// shows nothing up to 0.15. The effect never stores a value there: it snaps
// 0.125 .. 0.1666666 to 0.1666666, the start of the timed range.
constexpr double kFastEdge = 0.0416666;
constexpr double kSlowEdge = 0.125;
constexpr double kFixedEdge = 0.15;

// Writes the band word of an attack or release value; false when the value
// lies in the timed range.
bool timeBand(float value, char* text) {
    if (value != value) {  // NaN: neither a band nor a time
        clear(text);
    } else if (value < kFastEdge) {
        std::snprintf(text, kFormatTextSize, "fast");
    } else if (value < kSlowEdge) {
        std::snprintf(text, kFormatTextSize, "slow");
    } else if (value < kFixedEdge) {
        clear(text);
    } else {
        return false;
    }
    return true;
}

// 0.16666 (five sixes): where the timed range of attack and release starts;
// 1.2 stretches the remaining 0.83334 of the knob to just over 1.
constexpr double kTimeOffset = 0.16666;
constexpr double kTimeScale = 1.2;

}  // namespace

const NameTable kClamporaNames = {kClamporaWords, static_cast<int>(std::size(kClamporaWords))};
const NameTable kTonvelaNames = {kTonvelaWords, static_cast<int>(std::size(kTonvelaWords))};

void formatName(const NameTable& table, float value, char* text) {
    copyWord(table.names, table.count, value, text);
}

void formatClamporaName(float value, char* text) {
    formatName(kClamporaNames, value, text);
}

void formatTonvelaName(float value, char* text) {
    formatName(kTonvelaNames, value, text);
}

void formatShapeName(float value, char* text) {
    copyWord(kShapeWords, static_cast<int>(std::size(kShapeWords)), value, text);
}

void formatHz(float value, char* text) {
    int hz = 0;
    if (truncate(value + 0.5, hz))
        std::snprintf(text, kFormatTextSize, "%dHz", hz);
    else
        clear(text);
}

void formatPercent(float value, char* text) {
    // The double product keeps the float's error: 0.29f is just below 0.29
    // and reads 28%, where a float product would round up to 29.
    int percent = 0;
    if (truncate(100.0 * value, percent))
        std::snprintf(text, kFormatTextSize, "%d%%", percent);
    else
        clear(text);
}

void formatDecibel(float value, char* text) {
    if (value <= 1e-8) {  // -160 dB and below reads as silence
        std::snprintf(text, kFormatTextSize, "-oo dB");
        return;
    }
    const double a = 20.0 * klv::dsp::log10(value);
    int whole = 0;
    if (!truncate(a, whole)) {
        clear(text);
        return;
    }
    int tenths = 0;
    truncate((a - whole) * 10.0, tenths);
    if (tenths < 0) tenths = -tenths;
    // Between 0 and -1 dB the integer part is 0 and carries no sign of its own.
    if (a < 0.0 && a > -1.0)
        std::snprintf(text, kFormatTextSize, "-%d.%ddB", whole, tenths);
    else
        std::snprintf(text, kFormatTextSize, "%d.%ddB", whole, tenths);
}

void formatShortNumber(float value, char* text) {
    numberText(value, 3, false, "", text);
}

void formatMakeupGain(float value, char* text) {
    if (value < kSlowEdge) {
        std::snprintf(text, kFormatTextSize, "auto");
        return;
    }
    if (value < kFixedEdge) {
        clear(text);
        return;
    }
    // 0.166666 (six sixes) is 0 dB; 2.4 decades of amplitude per unit, times
    // 1.2, is 57.6 dB per unit. The gain is formed as the effect's make-up
    // factor and read back in dB, so the cut digits match its rounding.
    const double exponent = (value - 0.166666) * 2.4 * 1.2;
    const float gainDb = static_cast<float>(20.0 * klv::dsp::log10(klv::dsp::pow(10.0, exponent)));
    numberText(gainDb, 4, true, "dB", text);
}

void formatSlope(float value, char* text) {
    if (value <= 0.0f) {
        std::snprintf(text, kFormatTextSize, "soft");
    } else if (value >= 1.0f) {
        std::snprintf(text, kFormatTextSize, "hard");
    } else {
        formatPercent(value, text);  // (int)(100 v) in double, as for any percentage
    }
}

void formatAttackTime(float value, char* text) {
    if (timeBand(value, text)) return;
    // Attack in seconds: 0.1 ms + 0.9999 s * b^4, with the fourth power
    // formed partly in float as the effect's envelope does.
    const double b = (value - kTimeOffset) * kTimeScale;
    const float bf = static_cast<float>(b);
    const double b4 = b * bf * (bf * bf);
    float seconds = static_cast<float>(b4 * 0.9999 + 0.0001);
    // 0.11 ms floor: the shortest attack the envelope runs.
    if (seconds < 0.00011f) seconds = 0.00011f;
    numberText(static_cast<float>(seconds * 1000.0), 4, true, "ms", text);
}

void formatReleaseTime(float value, char* text) {
    if (timeBand(value, text)) return;
    // Release in seconds: 10 ms + 9.99 s * b^4.
    const double b = (value - kTimeOffset) * kTimeScale;
    const float seconds = static_cast<float>(b * b * b * b * 9.99 + 0.01);
    numberText(static_cast<float>(seconds * 1000.0), 5, true, "ms", text);
}

void formatHoldTime(float value, char* text) {
    // Hold in ms: 1000 * v^4, 0 to 1 s.
    const double v = value;
    numberText(static_cast<float>(v * v * v * v * 1000.0), 4, true, "ms", text);
}

}  // namespace klv::display
