// What setParameter derives, and what the host reads back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/tonvela/tonvela_test_util.h"

namespace klv::tonvela::test {
namespace {

std::string display(hostkit::PluginInstance& p, int index) {
    char text[64] = {};
    p.dispatch(effGetParamDisplay, index, 0, text);
    return text;
}

struct ShapeCase {
    float value;
    float stored;
};

class TonvelaShapeSnap : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(TonvelaShapeSnap, StoresTheNearestSeventh) {
    auto p = klv::test::makeInstance();
    p->setParameter(kShape, GetParam().value);
    EXPECT_EQ(p->getParameter(kShape), GetParam().stored);
    EXPECT_EQ(object(*p).getWorkingValue(kShape), GetParam().stored * 7.0f);
    EXPECT_EQ(object(*p).program(0).values[2], GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Steps, TonvelaShapeSnap,
                         ::testing::Values(ShapeCase{0.5f, 4 / 7.0f}, ShapeCase{0.93f, 1.0f}, ShapeCase{0.07f, 0.0f},
                                           ShapeCase{0.08f, 1 / 7.0f}, ShapeCase{0.64f, 4 / 7.0f},
                                           ShapeCase{0.65f, 5 / 7.0f}, ShapeCase{1.0f, 1.0f},
                                           // out of range: the nearest end
                                           ShapeCase{2.0f, 1.0f}, ShapeCase{-3.0f, 0.0f}));

struct WorkingCase {
    int index;
    float value;
    double working;
    const char* text;
};

class TonvelaWorking : public ::testing::TestWithParam<WorkingCase> {};

TEST_P(TonvelaWorking, ValueAndDisplay) {
    const WorkingCase& c = GetParam();
    auto p = klv::test::makeInstance();
    p->setParameter(c.index, c.value);
    EXPECT_NEAR(object(*p).getWorkingValue(c.index), c.working, std::fabs(c.working) * 2e-6 + 1e-7);
    EXPECT_EQ(display(*p, c.index), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TonvelaWorking,
    ::testing::Values(
        WorkingCase{kInput, 0.5f, 1.0, "0.000000"}, WorkingCase{kInput, 0.0f, 0.251188643, "-12.0000"},
        WorkingCase{kOutput, 1.0f, 3.98107171, "12.00000"}, WorkingCase{kBassBoost, 0.75f, 1.99526231, "6.000000"},
        WorkingCase{kTrebleBoost, 0.25f, 0.501187234, "-6.00000"}, WorkingCase{kDrive, 0.0f, 1.0, "1.000000"},
        WorkingCase{kDrive, 1.0f, 32.0, "32.00000"}, WorkingCase{kDrive, 0.5f, 8.75, "8.750000"},
        WorkingCase{kShape, 0.5f, 4.0, "4.000000"}, WorkingCase{kMix, 0.5f, 0.25, "0.250000"},
        WorkingCase{kBassFreq, 1.0f, 500.0, "500.0000"}, WorkingCase{kBassFreq, 0.0f, 50.0, "50.00000"},
        WorkingCase{kTrebleFreq, 0.5f, 4500.0, "50.00000"}, WorkingCase{kTrebleFreq, 1.0f, 12000.0, "100.0000"},
        WorkingCase{kTrebleHarm, 0.1f, 1.0, "10.00000"}, WorkingCase{kTrebleHarm, 0.0f, 0.158489319, "0.000000"},
        WorkingCase{kTrebleHarm, 1.0f, 15848931.9, "100.0000"}, WorkingCase{kBassHarm, 0.0f, 0.1, "0.100000"},
        WorkingCase{kBassHarm, 1.0f, 37.0, "37.00000"}, WorkingCase{kProcess, 0.0f, 0.0, "0.000000"},
        WorkingCase{kPrePost, 2.0f, 2.0, "2.000000"}, WorkingCase{kBassOn, 1.0f, 1.0, "1.000000"}));

TEST(TonvelaMapping, BassBandFactor) {
    auto p = klv::test::makeInstance();
    // F = 10 / (10^0.65 a^0.65): a = 0.1 gives exactly 10.
    p->setParameter(kBassHarm, 0.0f);
    EXPECT_NEAR(object(*p).bassBandFactor(), 10.0, 1e-5);
    p->setParameter(kBassHarm, 1.0f);
    EXPECT_NEAR(object(*p).bassBandFactor(), 10.0 / std::pow(370.0, 0.65), 1e-6);
}

// Each normaliser undoes its curve at full scale: a 1.0 input, driven by
// 0.1995 g, comes out at 1.0. The two tape curves that fold back promise
// this only while full scale lies before their peak (0.1995 g < 1); beyond
// it their normaliser is 1 and full scale sits on the falling side.
class TonvelaNormaliser : public ::testing::TestWithParam<float> {};

TEST_P(TonvelaNormaliser, FullScaleMapsToOne) {
    auto p = klv::test::makeInstance();
    p->setParameter(kDrive, GetParam());
    const double g = object(*p).getWorkingValue(kDrive);
    const float d = static_cast<float>(0.1995 * g);
    for (int k = kValve1; k <= kTape3; ++k) {
        const float n = object(*p).curveNormaliser(k);
        if ((k == kTape1 || k == kTape2) && d >= 1.0f) {
            EXPECT_EQ(n, 1.0f);
            EXPECT_LT(applyCurve(k, d, n), 1.0f);
            continue;
        }
        EXPECT_NEAR(applyCurve(k, d, n), 1.0f, 2e-5f) << "step " << k << " drive " << GetParam();
        EXPECT_NEAR(applyCurve(k, -d, n), -1.0f, 2e-5f);
    }
}

INSTANTIATE_TEST_SUITE_P(Drives, TonvelaNormaliser, ::testing::Values(0.0f, 0.1f, 0.3f, 0.45f, 0.7f, 1.0f));

TEST(TonvelaMapping, NormaliserFigures) {
    auto p = klv::test::makeInstance();
    p->setParameter(kDrive, 0.0f);
    EXPECT_NEAR(object(*p).curveNormaliser(kValve1), 7.1995 / 0.1995, 1e-4);
    EXPECT_NEAR(object(*p).curveNormaliser(kTape1), 1.0 / std::sin(0.1995 * kPi / 2), 1e-5);
    p->setParameter(kDrive, 1.0f);  // g = 32, h = 6.384: the tape curves saturate at full scale
    EXPECT_EQ(object(*p).curveNormaliser(kTape1), 1.0f);
    EXPECT_EQ(object(*p).curveNormaliser(kTape2), 1.0f);
    EXPECT_EQ(object(*p).curveNormaliser(kTape3), 1.0f);
    EXPECT_NEAR(object(*p).curveNormaliser(kValve3), (6.384 + 2.5) / 6.384, 1e-5);
}

TEST(TonvelaMapping, ChannelModeValue) {
    auto p = klv::test::makeInstance();
    p->setParameter(kStereoMono, -1.0f);
    EXPECT_EQ(p->getParameter(kStereoMono), kStereo ? -1.0f : 1.0f);
    EXPECT_EQ(object(*p).getWorkingValue(kStereoMono), kStereo ? 0.0f : 1.0f);
    EXPECT_EQ(display(*p, kStereoMono), kStereo ? "0.000000" : "1.000000");
    p->setParameter(kStereoMono, 0.0f);
    EXPECT_EQ(p->getParameter(kStereoMono), kStereo ? 0.0f : 1.0f);
    // The value sent lands in every program, in both builds.
    EXPECT_EQ(object(*p).program(20).values[14], 0.0f);
}

TEST(TonvelaMapping, OutOfRangeValuesAreStoredButWorkAtTheRangeEnds) {
    auto p = klv::test::makeInstance();
    p->setParameter(kInput, 1e9f);
    EXPECT_EQ(p->getParameter(kInput), 1e9f);
    EXPECT_NEAR(object(*p).getWorkingValue(kInput), 3.98107f, 1e-4f);
    p->setParameter(kTrebleHarm, -1e9f);
    EXPECT_NEAR(object(*p).getWorkingValue(kTrebleHarm), 0.158489f, 1e-5f);
    p->setParameter(kMix, 2.0f);
    EXPECT_EQ(object(*p).getWorkingValue(kMix), 1.0f);
    p->setParameter(kBassFreq, -1.0f);
    EXPECT_EQ(object(*p).getWorkingValue(kBassFreq), 50.0f);
}

TEST(TonvelaMapping, UnknownIndexesChangeNothing) {
    auto p = klv::test::makeInstance();
    p->setParameter(16, 0.3f);
    p->setParameter(-1, 0.3f);
    EXPECT_EQ(p->getParameter(16), 0.0f);
    EXPECT_EQ(p->getParameter(-1), 0.0f);
    char text[16] = "keep";
    p->dispatch(effGetParamDisplay, 16, 0, text);
    EXPECT_STREQ(text, "keep");
}

}  // namespace
}  // namespace klv::tonvela::test
