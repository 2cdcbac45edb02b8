// The saturation curves at chosen points, worked out by hand, and the sine
// table they use.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/tonvela/tonvela_test_util.h"

namespace klv::tonvela::test {
namespace {

struct CurvePoint {
    int step;
    float d;
    float normaliser;
    double expected;
};

class TonvelaCurve : public ::testing::TestWithParam<CurvePoint> {};

TEST_P(TonvelaCurve, Transfer) {
    const CurvePoint& c = GetParam();
    EXPECT_NEAR(applyCurve(c.step, c.d, c.normaliser), c.expected, 2e-5 * std::fabs(c.expected) + 2e-6)
        << "step " << c.step << " d " << c.d;
}

const double kRoot2 = std::sqrt(2.0);

INSTANTIATE_TEST_SUITE_P(
    Points, TonvelaCurve,
    ::testing::Values(
        // valve: N d / (|d| + n)
        CurvePoint{kValve1, 7.0f, 1.0f, 0.5}, CurvePoint{kValve1, -0.5f, 2.0f, -1.0 / 7.5},
        CurvePoint{kValve2, 1.0f, 1.0f, 0.2}, CurvePoint{kValve2, 4.0f, 3.0f, 1.5},
        CurvePoint{kValve3, -2.5f, 1.0f, -0.5}, CurvePoint{kValve3, 100.0f, 1.0f, 100.0 / 102.5},
        // tape1: sine to 1.0 at d = 1, half cosine down to 0.5 at d = 5, flat beyond
        CurvePoint{kTape1, 0.5f, 1.0f, std::sqrt(0.5)}, CurvePoint{kTape1, 1.0f, 1.0f, 1.0},
        CurvePoint{kTape1, 2.0f, 1.0f, 0.75 + 0.25 * std::sqrt(0.5)}, CurvePoint{kTape1, 3.0f, 1.0f, 0.75},
        CurvePoint{kTape1, 4.0f, 1.0f, 0.75 - 0.25 * std::sqrt(0.5)}, CurvePoint{kTape1, 5.0f, 2.0f, 1.0},
        CurvePoint{kTape1, 40.0f, 3.0f, 1.5}, CurvePoint{kTape1, -3.0f, 1.0f, -0.75},
        CurvePoint{kTape1, -0.25f, 2.0f, -2.0 * std::sin(0.125 * kPi)},
        // tape2: u = 2d, u - u|u|/4, clipped by the result
        CurvePoint{kTape2, 0.5f, 1.0f, 0.75}, CurvePoint{kTape2, -0.5f, 1.0f, -0.75},
        CurvePoint{kTape2, 1.0f, 1.0f, 1.0}, CurvePoint{kTape2, 1.6f, 1.0f, 0.64}, CurvePoint{kTape2, 2.0f, 1.0f, 0.0},
        CurvePoint{kTape2, 2.2f, 1.0f, -0.44}, CurvePoint{kTape2, static_cast<float>(1.0 + kRoot2 + 0.01), 2.0f, -2.0},
        CurvePoint{kTape2, 10.0f, 1.5f, -1.5}, CurvePoint{kTape2, -10.0f, 1.5f, 1.5},
        // tape3: cubic scaled to peak 1.0 at sqrt(8/3), flat beyond; 0.5 gives 11/16
        CurvePoint{kTape3, 0.5f, 1.0f, 0.6875}, CurvePoint{kTape3, -0.5f, 2.0f, -1.375},
        CurvePoint{kTape3, 0.999f, 1.0f, 1.0}, CurvePoint{kTape3, 3.0f, 1.0f, 1.0},
        CurvePoint{kTape3, -3.0f, 1.5f, -1.5},
        // digital: hard clip at +-1, no normaliser
        CurvePoint{kDigital, 0.638f, 9.0f, 0.638}, CurvePoint{kDigital, 1.2768f, 9.0f, 1.0},
        CurvePoint{kDigital, -3.0f, 9.0f, -1.0},
        // none: the drive scale undone
        CurvePoint{kNone, 0.1995f, 9.0f, 1.0}, CurvePoint{kNone, -0.399f, 1.0f, -2.0}));

TEST(TonvelaCurves, Tape1FoldsBackTowardHalfItsNormaliser) {
    const float n = 1.0f / static_cast<float>(std::sin(0.1995 * kPi / 2));
    float previous = applyCurve(kTape1, 1.0f, n);
    EXPECT_NEAR(previous, n, 1e-4f);
    for (float d = 1.25f; d <= 5.0f; d += 0.25f) {
        const float y = applyCurve(kTape1, d, n);
        EXPECT_LT(y, previous) << d;
        previous = y;
    }
    EXPECT_NEAR(previous, 0.5f * n, 1e-4f);
}

TEST(TonvelaCurves, Tape2TurnsNegativePastFour) {
    // For u = 2d > 4 a positive input gives a negative output.
    EXPECT_GT(applyCurve(kTape2, 1.99f, 1.0f), 0.0f);
    EXPECT_LT(applyCurve(kTape2, 2.01f, 1.0f), 0.0f);
    // From u = 2 + 2 sqrt 2 on it stays at -N.
    for (float d = 2.42f; d < 100.0f; d *= 1.7f) EXPECT_EQ(applyCurve(kTape2, d, 1.25f), -1.25f) << d;
}

TEST(TonvelaCurves, BoundedExceptNone) {
    for (int k = kValve1; k <= kDigital; ++k)
        for (float d : {1e3f, -1e3f, 65536.0f, -65536.0f * 7}) EXPECT_LE(std::fabs(applyCurve(k, d, 1.0f)), 1.0f);
}

TEST(TonvelaCurves, TableSineTracksTheSine) {
    double worst = 0.0;
    for (int i = 0; i <= 4000; ++i) {
        const double phase = 1.5 * kPi * i / 4000.0;
        worst = std::max(worst, std::fabs(tableSine(static_cast<float>(phase)) - std::sin(phase)));
        EXPECT_EQ(tableSine(static_cast<float>(-phase)), -tableSine(static_cast<float>(phase)));
    }
    // Linear interpolation over 2048 steps per turn: error below step^2 / 8.
    const double step = 2.0 * kPi / 2048.0;
    EXPECT_LT(worst, step * step / 8.0 + 1e-6);
}

}  // namespace
}  // namespace klv::tonvela::test
