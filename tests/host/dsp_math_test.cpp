#include "host/dsp_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Relative distance in units of double precision.
double ulps(double got, double want) {
    if (got == want) return 0.0;
    return std::fabs(got - want) / (std::fabs(want) * std::numeric_limits<double>::epsilon());
}

TEST(DspMath, AgreesWithTheSystemLibraryToAFewUlps) {
    double worst[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 1; i < 20000; ++i) {
        const double t = i / 20000.0;
        const double x = (t - 0.5) * 60.0;       // -30 .. 30
        const double positive = 1e-6 + t * 1e4;  // log domain
        worst[0] = std::max(worst[0], ulps(klv::dsp::exp(x), std::exp(x)));
        worst[1] = std::max(worst[1], ulps(klv::dsp::log(positive), std::log(positive)));
        worst[2] = std::max(worst[2], ulps(klv::dsp::pow(0.1091012, 1.0 / (positive * 0.3)),
                                           std::pow(0.1091012, 1.0 / (positive * 0.3))));
        worst[3] =
            std::max(worst[3], ulps(klv::dsp::pow(10.0, 1.2 * (t - 0.5) * 4), std::pow(10.0, 1.2 * (t - 0.5) * 4)));
        // Absolute error for the periodic functions (values near zero).
        const double a = x * 3.0;
        worst[4] = std::max(worst[4], std::fabs(klv::dsp::sin(a) - std::sin(a)) / 2.2e-16);
        worst[5] = std::max(worst[5], std::fabs(klv::dsp::cos(a) - std::cos(a)) / 2.2e-16);
    }
    for (double w : worst) EXPECT_LT(w, 8.0);
}

TEST(DspMath, TangentAndDecimalLogarithm) {
    for (double x : {0.001, 0.1, 0.5, 1.0, 1.4, -0.7})
        EXPECT_NEAR(klv::dsp::tan(x), std::tan(x), 1e-14 * std::fabs(std::tan(x)) + 1e-16);
    EXPECT_EQ(klv::dsp::log10(1000.0), 3.0);
    EXPECT_EQ(klv::dsp::log10(1.0), 0.0);
    EXPECT_NEAR(klv::dsp::log10(600.0), 2.7781512503836434, 1e-15);
    EXPECT_NEAR(klv::dsp::log10(0.5), -0.30102999566398120, 1e-15);
}

TEST(DspMath, ExactCasesAndEdges) {
    EXPECT_EQ(klv::dsp::pow(2.0, 10.0), 1024.0);
    EXPECT_EQ(klv::dsp::pow(0.5, 4.0), 0.0625);
    EXPECT_EQ(klv::dsp::pow(3.0, -2.0), 1.0 / 9.0);
    EXPECT_EQ(klv::dsp::pow(-2.0, 3.0), -8.0);
    EXPECT_EQ(klv::dsp::pow(0.0, 0.5), 0.0);
    EXPECT_EQ(klv::dsp::pow(5.0, 0.0), 1.0);
    EXPECT_TRUE(std::isnan(klv::dsp::pow(-2.0, 0.5)));
    EXPECT_EQ(klv::dsp::exp(0.0), 1.0);
    EXPECT_EQ(klv::dsp::exp(1000.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(klv::dsp::exp(-1000.0), 0.0);
    EXPECT_EQ(klv::dsp::log(1.0), 0.0);
    EXPECT_EQ(klv::dsp::log(0.0), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(klv::dsp::log(-1.0)));
    EXPECT_EQ(klv::dsp::sin(0.0), 0.0);
    EXPECT_EQ(klv::dsp::cos(0.0), 1.0);
    EXPECT_TRUE(std::isnan(klv::dsp::sin(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isfinite(klv::dsp::sin(1e12)));
}

}  // namespace
