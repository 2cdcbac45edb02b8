// Expected texts are worked out by hand from the unit laws (e.g. make-up:
// 57.6 dB per unit above 0.166666; 0.5 gives 0.333334 * 57.6 = 19.2000384,
// cut to "19.2"), not by re-running the formatters' arithmetic.
#include "display/value_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <ostream>
#include <string>

namespace {

using klv::display::Formatter;
using klv::display::kFormatTextSize;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Runs a formatter on a 256-byte buffer filled with junk, as a text display
// would hand it over (but not cleared), and checks that nothing past the
// longest text was touched.
std::string run(Formatter format, float value) {
    char text[256];
    std::memset(text, '#', sizeof text);
    format(value, text);
    for (std::size_t i = kFormatTextSize; i < sizeof text; ++i)
        if (text[i] != '#') ADD_FAILURE() << "byte " << i << " written";
    if (std::memchr(text, '\0', kFormatTextSize) == nullptr) {
        ADD_FAILURE() << "text not terminated within " << kFormatTextSize << " bytes";
        return std::string();
    }
    return text;
}

struct Case {
    const char* formatterName;
    Formatter format;
    float value;
    const char* text;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.formatterName << "(" << c.value << ")";
}

#define CASE(fn, value, text)              \
    Case {                                 \
#fn, klv::display::fn, value, text \
    }

class Formats : public ::testing::TestWithParam<Case> {};

TEST_P(Formats, ExactText) {
    EXPECT_EQ(run(GetParam().format, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Formats,
    ::testing::Values(CASE(formatClamporaName, 0.0f, "gain"), CASE(formatClamporaName, 1.9f, "compress"),
                      CASE(formatClamporaName, 8.0f, "make-up"), CASE(formatClamporaName, 9.0f, "saturation"),
                      CASE(formatClamporaName, 15.0f, "M-hold"), CASE(formatClamporaName, 16.0f, "M-time"),
                      CASE(formatClamporaName, 16.99f, "M-time"), CASE(formatClamporaName, 17.0f, ""),
                      CASE(formatClamporaName, -1.0f, ""),
                      // -0.5 truncates toward zero, to row 0.
                      CASE(formatClamporaName, -0.5f, "gain"), CASE(formatTonvelaName, 0.0f, "gain"),
                      CASE(formatTonvelaName, 4.0f, "warmth"), CASE(formatTonvelaName, 5.0f, "adjust"),
                      CASE(formatTonvelaName, 7.0f, "compress"), CASE(formatTonvelaName, 8.0f, "adjust"),
                      CASE(formatTonvelaName, 14.0f, "mix"), CASE(formatTonvelaName, 15.0f, ""),
                      CASE(formatShapeName, 0.0f, "none"), CASE(formatShapeName, 1.0f, "valve1"),
                      CASE(formatShapeName, 3.99f, "valve3"), CASE(formatShapeName, 4.0f, "tape1"),
                      CASE(formatShapeName, 6.0f, "tape3"), CASE(formatShapeName, 7.0f, "digital"),
                      CASE(formatShapeName, 8.0f, ""), CASE(formatShapeName, -1.0f, "")));

INSTANTIATE_TEST_SUITE_P(HzAndPercent, Formats,
                         ::testing::Values(CASE(formatHz, 19.5f, "20Hz"), CASE(formatHz, 20.4f, "20Hz"),
                                           CASE(formatHz, 1000.0f, "1000Hz"), CASE(formatHz, 99.5f, "100Hz"),
                                           CASE(formatHz, 99.49f, "99Hz"), CASE(formatHz, 0.0f, "0Hz"),
                                           CASE(formatHz, 15000.0f, "15000Hz"), CASE(formatPercent, 0.5f, "50%"),
                                           CASE(formatPercent, 1.0f, "100%"),
                                           // 0.29f is 0.28999999...: the product is not rounded before the cut.
                                           CASE(formatPercent, 0.29f, "28%"), CASE(formatPercent, 0.0f, "0%"),
                                           CASE(formatPercent, 0.0099f, "0%"), CASE(formatPercent, 1.5f, "150%"),
                                           CASE(formatPercent, -0.25f, "-25%")));

// 20 log10 of: 2 -> 6.0206, 0.95 -> -0.4455, 0.1f -> -19.9999999 (cut),
// 4 -> 12.0412, 0.9 -> -0.9152, 0.99 -> -0.0873, 1.01 -> 0.0864.
INSTANTIATE_TEST_SUITE_P(Decibel, Formats,
                         ::testing::Values(CASE(formatDecibel, 1.0f, "0.0dB"), CASE(formatDecibel, 2.0f, "6.0dB"),
                                           CASE(formatDecibel, 0.5f, "-6.0dB"), CASE(formatDecibel, 0.95f, "-0.4dB"),
                                           CASE(formatDecibel, 0.1f, "-19.9dB"), CASE(formatDecibel, 10.0f, "20.0dB"),
                                           CASE(formatDecibel, 4.0f, "12.0dB"), CASE(formatDecibel, 0.9f, "-0.9dB"),
                                           CASE(formatDecibel, 0.99f, "-0.0dB"), CASE(formatDecibel, 1.01f, "0.0dB"),
                                           CASE(formatDecibel, 0.0f, "-oo dB"), CASE(formatDecibel, 1e-9f, "-oo dB"),
                                           // 1e-8f lies just below 1e-8; the next float up is -159.99... dB.
                                           CASE(formatDecibel, 1e-8f, "-oo dB"),
                                           CASE(formatDecibel, 1.0000001e-8f, "-159.9dB"),
                                           CASE(formatDecibel, -1.0f, "-oo dB"), CASE(formatDecibel, -kInf, "-oo dB")));

INSTANTIATE_TEST_SUITE_P(ShortNumber, Formats,
                         ::testing::Values(CASE(formatShortNumber, 0.5f, "0.5"), CASE(formatShortNumber, 2.5f, "2.5"),
                                           CASE(formatShortNumber, 10.0f, "10."),
                                           CASE(formatShortNumber, 0.001f, "0.0"),
                                           CASE(formatShortNumber, 9.999f, "9.9")));

// Make-up: "auto" below 0.125, empty up to 0.15, then 57.6 dB per unit above
// 0.166666: 0.2 -> 1.92004, 0.7 -> 30.72004; the snapped 0.1666666f is a
// few hundred-thousandths of a dB.
INSTANTIATE_TEST_SUITE_P(
    MakeupGain, Formats,
    ::testing::Values(CASE(formatMakeupGain, 0.0f, "auto"), CASE(formatMakeupGain, 0.1f, "auto"),
                      CASE(formatMakeupGain, 0.1249f, "auto"), CASE(formatMakeupGain, 0.125f, ""),
                      CASE(formatMakeupGain, 0.13f, ""), CASE(formatMakeupGain, 0.1499f, ""),
                      CASE(formatMakeupGain, 0.15f, "-0.9dB"), CASE(formatMakeupGain, 0.166666f, "0.00dB"),
                      CASE(formatMakeupGain, 0.1666666f, "0.00dB"), CASE(formatMakeupGain, 0.17f, "0.19dB"),
                      CASE(formatMakeupGain, 0.2f, "1.92dB"), CASE(formatMakeupGain, 0.5f, "19.2dB"),
                      CASE(formatMakeupGain, 0.7f, "30.7dB"), CASE(formatMakeupGain, 1.0f, "48.0dB")));

INSTANTIATE_TEST_SUITE_P(Slope, Formats,
                         ::testing::Values(CASE(formatSlope, 0.0f, "soft"), CASE(formatSlope, -0.5f, "soft"),
                                           CASE(formatSlope, 0.005f, "0%"), CASE(formatSlope, 0.29f, "28%"),
                                           CASE(formatSlope, 0.5f, "50%"), CASE(formatSlope, 0.999f, "99%"),
                                           CASE(formatSlope, 0.99999994f, "99%"), CASE(formatSlope, 1.0f, "hard"),
                                           CASE(formatSlope, 2.0f, "hard")));

// Attack 0.1 ms + 0.9999 s * b^4 and release 10 ms + 9.99 s * b^4, with
// b = 1.2 (v - 0.16666): at 0.3 b = 0.160008, b^4 = 6.5549e-4; at 0.7
// b = 0.640008, b^4 = 0.167780.
INSTANTIATE_TEST_SUITE_P(
    AttackTime, Formats,
    ::testing::Values(CASE(formatAttackTime, 0.0f, "fast"), CASE(formatAttackTime, 0.04f, "fast"),
                      CASE(formatAttackTime, 0.0416f, "fast"), CASE(formatAttackTime, 0.0417f, "slow"),
                      CASE(formatAttackTime, 0.1f, "slow"), CASE(formatAttackTime, 0.1249f, "slow"),
                      CASE(formatAttackTime, 0.125f, ""), CASE(formatAttackTime, 0.14f, ""),
                      // The 0.11 ms floor reads 0.10: the float below 0.11 is cut.
                      CASE(formatAttackTime, 0.15f, "0.10ms"), CASE(formatAttackTime, 0.1666666f, "0.10ms"),
                      CASE(formatAttackTime, 0.25f, "0.20ms"), CASE(formatAttackTime, 0.3f, "0.75ms"),
                      CASE(formatAttackTime, 0.5f, "25.6ms"), CASE(formatAttackTime, 0.7f, "167ms"),
                      CASE(formatAttackTime, 1.0f, "1000ms")));

INSTANTIATE_TEST_SUITE_P(
    ReleaseTime, Formats,
    ::testing::Values(CASE(formatReleaseTime, -1.0f, "fast"), CASE(formatReleaseTime, 0.04f, "fast"),
                      CASE(formatReleaseTime, 0.0417f, "slow"), CASE(formatReleaseTime, 0.1f, "slow"),
                      CASE(formatReleaseTime, 0.125f, ""), CASE(formatReleaseTime, 0.14f, ""),
                      CASE(formatReleaseTime, 0.15f, "10.00ms"), CASE(formatReleaseTime, 0.2f, "10.02ms"),
                      CASE(formatReleaseTime, 0.25f, "10.99ms"), CASE(formatReleaseTime, 0.3f, "16.54ms"),
                      CASE(formatReleaseTime, 0.5f, "265.7ms"), CASE(formatReleaseTime, 0.7f, "1686ms"),
                      CASE(formatReleaseTime, 1.0f, "10000ms")));

// Hold 1000 ms * v^4: 0.1 -> 0.1, 0.3 -> 8.1, 0.7f -> 240.0999.
INSTANTIATE_TEST_SUITE_P(HoldTime, Formats,
                         ::testing::Values(CASE(formatHoldTime, 0.0f, "0.00ms"), CASE(formatHoldTime, 0.1f, "0.10ms"),
                                           CASE(formatHoldTime, 0.3f, "8.10ms"), CASE(formatHoldTime, 0.5f, "62.5ms"),
                                           CASE(formatHoldTime, 0.7f, "240ms"), CASE(formatHoldTime, 1.0f, "1000ms")));

// No number to show: NaN anywhere, and integers beyond what an int holds.
INSTANTIATE_TEST_SUITE_P(Unshowable, Formats,
                         ::testing::Values(CASE(formatClamporaName, kNaN, ""), CASE(formatClamporaName, 3e9f, ""),
                                           CASE(formatTonvelaName, kNaN, ""), CASE(formatShapeName, kNaN, ""),
                                           CASE(formatShapeName, -3e9f, ""), CASE(formatHz, kNaN, ""),
                                           CASE(formatHz, 3e9f, ""), CASE(formatHz, kInf, ""),
                                           CASE(formatPercent, kNaN, ""), CASE(formatPercent, 3e7f, ""),
                                           CASE(formatDecibel, kNaN, ""), CASE(formatDecibel, kInf, ""),
                                           CASE(formatShortNumber, kNaN, ""), CASE(formatMakeupGain, kNaN, ""),
                                           CASE(formatSlope, kNaN, ""), CASE(formatAttackTime, kNaN, ""),
                                           CASE(formatReleaseTime, kNaN, ""), CASE(formatHoldTime, kNaN, "")));

// Every formatter stays inside kFormatTextSize for any value, including
// the extremes of float.
TEST(FormatterBounds, EveryValueFitsTheText) {
    const Formatter all[] = {
        klv::display::formatClamporaName, klv::display::formatTonvelaName, klv::display::formatShapeName,
        klv::display::formatHz,           klv::display::formatPercent,     klv::display::formatDecibel,
        klv::display::formatShortNumber,  klv::display::formatMakeupGain,  klv::display::formatSlope,
        klv::display::formatAttackTime,   klv::display::formatReleaseTime, klv::display::formatHoldTime};
    const float values[] = {0.0f,
                            -0.0f,
                            1e-45f,
                            -1e-45f,
                            0.5f,
                            -0.5f,
                            2147483520.0f,
                            -2147483648.0f,
                            1e9f,
                            -1e9f,
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::lowest(),
                            kInf,
                            -kInf,
                            kNaN};
    for (Formatter format : all)
        for (float v : values) {
            SCOPED_TRACE(v);
            run(format, v);
        }
}

}  // namespace
