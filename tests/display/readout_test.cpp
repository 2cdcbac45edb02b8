// Read-outs by parameter index: the working value each editor display
// receives, from the normalised value, worked out by hand from the mapping
// laws (gain 10^(1.2 (v - 0.5)), side-chain 25 Hz * 600^v, ...).
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "display/value_format.h"

namespace {

struct ReadoutCase {
    int index;
    float value;
    const char* text;
};

void PrintTo(const ReadoutCase& c, std::ostream* os) {
    *os << "parameter " << c.index << " at " << c.value;
}

class ClamporaReadout : public ::testing::TestWithParam<ReadoutCase> {};
class TonvelaReadout : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(ClamporaReadout, ShowsWhatTheEditorShows) {
    EXPECT_EQ(klv::display::clamporaReadout(GetParam().index, GetParam().value), GetParam().text);
}

TEST_P(TonvelaReadout, ShowsWhatTheEditorShows) {
    EXPECT_EQ(klv::display::tonvelaReadout(GetParam().index, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, ClamporaReadout,
    ::testing::Values(ReadoutCase{1, 0.5f, "0.0dB"},
                      // 10^-0.6 as a float is 0.2511886358: -12.0000003 dB.
                      ReadoutCase{1, 0.0f, "-12.0dB"}, ReadoutCase{8, 1.0f, "12.0dB"},
                      ReadoutCase{8, 1.5f, "12.0dB"},  // the effect works with the value clamped to 0..1
                      ReadoutCase{2, 0.29f, "28%"}, ReadoutCase{3, 0.0f, "soft"}, ReadoutCase{3, 1.0f, "hard"},
                      ReadoutCase{4, 0.02f, "fast"}, ReadoutCase{4, 0.1f, "slow"},
                      // The dead band snaps to the shortest timed value, never an empty read-out.
                      ReadoutCase{4, 0.14f, "0.10ms"}, ReadoutCase{5, 0.14f, "10.00ms"}, ReadoutCase{4, 0.5f, "25.6ms"},
                      ReadoutCase{5, 0.5f, "265.7ms"}, ReadoutCase{6, 0.1f, "auto"}, ReadoutCase{6, 0.13f, "0.00dB"},
                      ReadoutCase{6, 0.5f, "19.2dB"}, ReadoutCase{7, 1.0f, "100%"}, ReadoutCase{9, 0.0f, "25Hz"},
                      // 25 * sqrt(600) = 612.37 Hz.
                      ReadoutCase{9, 0.5f, "612Hz"}, ReadoutCase{9, 1.0f, "15000Hz"},
                      ReadoutCase{10, 0.0f, "0.0"},  // Q 0.001
                      ReadoutCase{10, 0.5f, "2.5"},  // Q 9.999 / 4 + 0.001 = 2.50075
                      ReadoutCase{10, 1.0f, "10."}, ReadoutCase{11, 0.5f, "62.5ms"},
                      // Switches have no value display; indexes out of range neither.
                      ReadoutCase{0, 1.0f, ""}, ReadoutCase{12, 1.0f, ""}, ReadoutCase{16, 2.0f, ""},
                      ReadoutCase{17, 1.0f, ""}, ReadoutCase{18, 0.5f, ""}, ReadoutCase{-1, 0.5f, ""}));

INSTANTIATE_TEST_SUITE_P(
    Parameters, TonvelaReadout,
    ::testing::Values(ReadoutCase{1, 0.5f, "0.0dB"}, ReadoutCase{2, 0.0f, "-12.0dB"}, ReadoutCase{6, 1.0f, "12.0dB"},
                      ReadoutCase{7, 0.5f, "0.0dB"}, ReadoutCase{3, 0.5f, "50%"},
                      // Nearest step of 7 v: 3.5 -> 4, 6.51 -> 7, 0.49 -> 0.
                      ReadoutCase{4, 0.5f, "tape1"}, ReadoutCase{4, 0.93f, "digital"}, ReadoutCase{4, 0.07f, "none"},
                      ReadoutCase{4, 1.0f, "digital"}, ReadoutCase{4, 2.0f, "digital"}, ReadoutCase{5, 0.25f, "25%"},
                      ReadoutCase{8, 0.0f, "50Hz"}, ReadoutCase{8, 1.0f, "500Hz"},
                      ReadoutCase{8, 0.5f, "163Hz"},  // 50 + 450 / 4 = 162.5 Hz, rounded half up
                      ReadoutCase{9, 0.5f, "4500Hz"}, ReadoutCase{9, 1.0f, "12000Hz"}, ReadoutCase{10, 0.29f, "28%"},
                      ReadoutCase{11, 1.0f, "100%"}, ReadoutCase{0, 1.0f, ""}, ReadoutCase{12, 2.0f, ""},
                      ReadoutCase{15, 1.0f, ""}, ReadoutCase{16, 0.5f, ""}));

TEST(ReadoutNames, NameDisplayWords) {
    using klv::display::clamporaReadoutName;
    using klv::display::tonvelaReadoutName;
    EXPECT_EQ(clamporaReadoutName(9), "freq");
    EXPECT_EQ(clamporaReadoutName(10), "Q");
    EXPECT_EQ(clamporaReadoutName(6), "make-up");
    EXPECT_EQ(clamporaReadoutName(7), "mix");
    EXPECT_EQ(clamporaReadoutName(0), "");
    EXPECT_EQ(clamporaReadoutName(18), "");
    EXPECT_EQ(tonvelaReadoutName(11), "warmth");
    EXPECT_EQ(tonvelaReadoutName(10), "compress");  // treble harmonics
    EXPECT_EQ(tonvelaReadoutName(7), "adjust");     // treble boost
    EXPECT_EQ(tonvelaReadoutName(4), "shape");
    EXPECT_EQ(tonvelaReadoutName(15), "");
    EXPECT_EQ(tonvelaReadoutName(-1), "");
}

}  // namespace
