#include "host/number_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

std::string f2s(float v) {
    char text[32];
    std::memset(text, '#', sizeof text);
    klv::float2string(v, text);
    return text;
}

std::string l2s(long v) {
    char text[32];
    klv::long2string(v, text);
    return text;
}

struct FloatCase {
    float value;
    const char* text;
};

class Float2String : public ::testing::TestWithParam<FloatCase> {};

TEST_P(Float2String, CutsDigitsToEightCharacters) {
    EXPECT_EQ(f2s(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Examples, Float2String,
                         ::testing::Values(FloatCase{0.0f, "0.000000"}, FloatCase{0.5f, "0.500000"},
                                           FloatCase{1234.5678f, "1234.567"}, FloatCase{-3.25f, "-3.25000"},
                                           FloatCase{100.0f, "100.0000"}, FloatCase{1234567.0f, "1234567."},
                                           FloatCase{0.7f, "0.699999"},  // the float just below 0.7: cut, not rounded
                                           FloatCase{1.0f, "1.000000"}, FloatCase{-1.0f, "-1.00000"},
                                           FloatCase{9999999.0f, "9999999."}, FloatCase{-999999.0f, "-999999."},
                                           FloatCase{0.0833f, "0.083300"}, FloatCase{-0.5f, "-0.50000"},
                                           FloatCase{2.0f, "2.000000"}));

TEST(Float2StringRange, HugeBeyondRange) {
    EXPECT_EQ(f2s(1e8f), " Huge!  ");
    EXPECT_EQ(f2s(-1e7f), " Huge!  ");
    EXPECT_EQ(f2s(1e30f), " Huge!  ");
    EXPECT_EQ(f2s(-1e30f), " Huge!  ");
}

TEST(Float2StringRange, DigitsThatWouldNotFitReadAsHuge) {
    // Eight integer digits, or seven behind a sign, cannot be shown whole.
    EXPECT_EQ(f2s(10000000.0f), " Huge!  ");
    EXPECT_EQ(f2s(99999999.0f), " Huge!  ");
    EXPECT_EQ(f2s(-1000000.0f), " Huge!  ");
    EXPECT_EQ(f2s(-9999999.0f), " Huge!  ");
}

TEST(Float2StringRange, NonFiniteIsBoundedText) {
    EXPECT_EQ(f2s(std::numeric_limits<float>::infinity()), " Huge!  ");
    EXPECT_EQ(f2s(-std::numeric_limits<float>::infinity()), " Huge!  ");
    EXPECT_EQ(f2s(std::numeric_limits<float>::quiet_NaN()).size(), 8u);
}

TEST(Long2String, PadsAndCuts) {
    EXPECT_EQ(l2s(123), "    123");
    EXPECT_EQ(l2s(0), "      0");
    EXPECT_EQ(l2s(99999999), "99999999");
    EXPECT_EQ(l2s(100000000), " Huge!  ");
    EXPECT_EQ(l2s(-1234567890L), "-1234567");
}

TEST(DecibelText, LogOfPositiveValues) {
    char text[32];
    klv::dB2string(0.0f, text);
    EXPECT_STREQ(text, "  -oo   ");
    klv::dB2string(-1.0f, text);
    EXPECT_STREQ(text, "  -oo   ");
    klv::dB2string(1.0f, text);
    EXPECT_STREQ(text, "0.000000");
    klv::dB2string(10.0f, text);
    EXPECT_STREQ(text, "20.00000");
    klv::dB2string(0.1f, text);  // -19.99999997 becomes the float -20 before the text
    EXPECT_STREQ(text, "-20.0000");
    klv::dB2string(0.5f, text);
    EXPECT_STREQ(text, "-6.02059");
}

TEST(FrequencyAndTimeText, UseTheSampleRate) {
    char text[32];
    klv::Hz2string(0.0f, 44100.0f, text);
    EXPECT_STREQ(text, "0.000000");
    klv::Hz2string(100.0f, 44100.0f, text);
    EXPECT_STREQ(text, "441.0000");
    klv::ms2string(441.0f, 44100.0f, text);
    EXPECT_STREQ(text, "10.00000");
    klv::ms2string(44100.0f, 44100.0f, text);
    EXPECT_STREQ(text, "1000.000");
}

}  // namespace
