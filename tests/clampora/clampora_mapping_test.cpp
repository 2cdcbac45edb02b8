// Parameter mapping: snapping, display texts, working values and the
// side-chain band-pass as measured from its impulse response.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>

#include "tests/clampora/clampora_test_util.h"

namespace klv::clampora::test {
namespace {

struct SnapCase {
    int index;
    float sent;
    float stored;
};

class ClamporaSnap : public ::testing::TestWithParam<SnapCase> {};

TEST_P(ClamporaSnap, StoresTheBandValue) {
    auto p = klv::test::makeInstance();
    const SnapCase c = GetParam();
    p->setParameter(c.index, c.sent);
    EXPECT_EQ(p->getParameter(c.index), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Bands, ClamporaSnap,
                         ::testing::Values(SnapCase{kAttack, 0.02f, 0.0f}, SnapCase{kAttack, 0.0416f, 0.0f},
                                           SnapCase{kAttack, 0.0417f, 0.0833333f}, SnapCase{kAttack, 0.1f, 0.0833333f},
                                           SnapCase{kAttack, 0.124f, 0.0833333f}, SnapCase{kAttack, 0.125f, 0.1666666f},
                                           SnapCase{kAttack, 0.15f, 0.1666666f},
                                           SnapCase{kAttack, 0.1666666f, 0.1666666f}, SnapCase{kAttack, 0.5f, 0.5f},
                                           SnapCase{kRelease, 0.03f, 0.0f}, SnapCase{kRelease, 0.1f, 0.0833333f},
                                           SnapCase{kRelease, 0.16f, 0.1666666f}, SnapCase{kRelease, 0.9f, 0.9f},
                                           SnapCase{kMakeup, 0.1f, 0.0f}, SnapCase{kMakeup, 0.124f, 0.0f},
                                           SnapCase{kMakeup, 0.13f, 0.1666666f}, SnapCase{kMakeup, 0.5f, 0.5f},
                                           SnapCase{kMix, 0.1f, 0.1f}, SnapCase{kHold, 0.02f, 0.02f}));

struct DisplayCase {
    int index;
    float value;
    const char* text;
};

class ClamporaDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(ClamporaDisplay, ShowsTheStoredNumber) {
    auto p = klv::test::makeInstance();
    const DisplayCase c = GetParam();
    p->setParameter(c.index, c.value);
    EXPECT_EQ(hostkit::getString(*p, effGetParamDisplay, c.index), c.text);
}

INSTANTIATE_TEST_SUITE_P(Texts, ClamporaDisplay,
                         ::testing::Values(DisplayCase{kInput, 0.5f, "0.500000"},
                                           DisplayCase{kAttack, 0.1f, "0.083333"},
                                           DisplayCase{kMakeup, 0.1f, "0.000000"}, DisplayCase{kSat, 2.0f, "2.000000"},
                                           DisplayCase{kScFreq, 1.0f, "1.000000"}));

TEST(ClamporaMapping, WorkingUnits) {
    auto p = klv::test::makeInstance();
    ClamporaEffect& e = object(*p);
    p->setParameter(kScFreq, 0.0f);
    EXPECT_FLOAT_EQ(e.getParameterValue(kScFreq), 25.0f);
    p->setParameter(kScFreq, 0.5f);
    // 25 Hz * sqrt(600)
    EXPECT_NEAR(e.getParameterValue(kScFreq), 612.372f, 0.01f);
    p->setParameter(kScFreq, 1.0f);
    EXPECT_NEAR(e.getParameterValue(kScFreq), 15000.0f, 0.05f);
    p->setParameter(kScQ, 0.0f);
    EXPECT_FLOAT_EQ(e.getParameterValue(kScQ), 0.001f);
    p->setParameter(kScQ, 1.0f);
    EXPECT_FLOAT_EQ(e.getParameterValue(kScQ), 10.0f);
    p->setParameter(kInput, 1.0f);
    EXPECT_NEAR(e.getParameterValue(kInput), 3.98107f, 1e-4f);  // +12 dB
    p->setParameter(kOutput, 0.0f);
    EXPECT_NEAR(e.getParameterValue(kOutput), 0.251189f, 1e-5f);  // -12 dB
    p->setParameter(kSlope, 0.3f);
    EXPECT_EQ(e.getParameterValue(kSlope), 0.3f);
    EXPECT_EQ(e.getParameterValue(18), 0.0f);
}

// The side-chain band-pass heard through "scl" (output = filter of the
// input at the input's level), measured from an impulse.
struct BandCase {
    float rate;
    double hz;
};

class ClamporaBandPass : public ::testing::TestWithParam<BandCase> {};

TEST_P(ClamporaBandPass, PeaksAtTheSetFrequencyWithUnityGain) {
    const BandCase c = GetParam();
    Settings s;
    s.scl = 1.0f;
    s.scFreq = scFreqFor(c.hz);
    s.scQ = 1.0f;  // Q 10: a narrow peak
    hostkit::HostConfig config;
    config.sampleRate = c.rate;
    auto p = makeEffect(s, config);
    const int n = 32768;
    std::vector<float> impulse(n, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<float> h = run(*p, impulse, 4096);

    auto magnitude = [&](double hz) {
        std::complex<double> sum = 0.0;
        const double w = 2.0 * kPi * hz / c.rate;
        for (int i = 0; i < n; ++i) sum += static_cast<double>(h[i]) * std::polar(1.0, -w * i);
        return std::abs(sum);
    };
    double bestHz = 0.0, best = 0.0;
    for (double f = c.hz * 0.9; f <= c.hz * 1.1; f += c.hz * 0.002) {
        const double m = magnitude(f);
        if (m > best) {
            best = m;
            bestHz = f;
        }
    }
    EXPECT_NEAR(bestHz, c.hz, c.hz * 0.003);
    EXPECT_NEAR(best, 1.0, 0.01);
    // An octave away a Q of 10 leaves about 1 / sqrt(1 + (10 * 1.5)^2).
    EXPECT_NEAR(magnitude(c.hz * 2.0) / best, 1.0 / std::sqrt(1.0 + 225.0), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, ClamporaBandPass,
                         ::testing::Values(BandCase{44100.0f, 612.372}, BandCase{44100.0f, 2500.0},
                                           BandCase{48000.0f, 1000.0}, BandCase{96000.0f, 5000.0}));

// A host that sets the rate and resumes without suspending first: the
// side-chain band-pass is designed for the new rate by the next call.
TEST(ClamporaMapping, RateSetWithoutSuspendReachesTheSideChain) {
    Settings s;
    s.scl = 1.0f;
    s.scFreq = scFreqFor(5000.0);
    s.scQ = 1.0f;
    auto p = makeEffect(s);  // designed at 44100
    p->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    p->dispatch(effMainsChanged, 0, 1);
    const int n = 32768;
    std::vector<float> impulse(n, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<float> h = run(*p, impulse, 4096);
    auto magnitude = [&](double hz) {
        std::complex<double> sum = 0.0;
        for (int i = 0; i < n; ++i) sum += static_cast<double>(h[i]) * std::polar(1.0, -2.0 * kPi * hz / 96000.0 * i);
        return std::abs(sum);
    };
    EXPECT_NEAR(magnitude(5000.0), 1.0, 0.01);
    EXPECT_LT(magnitude(5000.0 * 96000.0 / 44100.0), 0.2);
}

// At rates below 30 kHz a 15 kHz band-pass lies above half the rate: the
// filter must stay stable (its impulse response decays).
class ClamporaLowRate : public ::testing::TestWithParam<float> {};

TEST_P(ClamporaLowRate, TopSideChainFrequencyStaysStable) {
    Settings s;
    s.scl = 1.0f;
    s.scFreq = 1.0f;
    s.scQ = 0.5f;
    hostkit::HostConfig config;
    config.sampleRate = GetParam();
    auto p = makeEffect(s, config);
    std::vector<float> impulse(16384, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<float> h = run(*p, impulse);
    float tail = 0.0f;
    for (std::size_t i = 8192; i < h.size(); ++i) tail = std::max(tail, std::fabs(h[i]));
    EXPECT_LT(tail, 1e-3f);
    for (float v : h) ASSERT_TRUE(std::isfinite(v));
}

INSTANTIATE_TEST_SUITE_P(Rates, ClamporaLowRate, ::testing::Values(8000.0f, 11025.0f, 22050.0f, 29000.0f));

TEST(ClamporaMapping, ProcessBelowHalfClearsTheDelayLinesAboveDoesNot) {
    Settings s;
    s.delay = 1.0f;
    s.attack = 0.1f;  // slow: 288 samples of look-ahead
    auto p = makeEffect(s);
    std::vector<float> burst(200, 0.5f);
    run(*p, burst, 200);
    p->setParameter(kProcess, 0.7f);  // bypass, lines kept
    p->setParameter(kProcess, 1.0f);
    std::vector<float> silence(200, 0.0f);
    const auto kept = run(*p, silence, 200);
    EXPECT_GT(std::fabs(kept[100]), 0.01f);

    auto q = makeEffect(s);
    run(*q, burst, 200);
    q->setParameter(kProcess, 0.4f);
    q->setParameter(kProcess, 1.0f);
    const auto cleared = run(*q, silence, 200);
    for (float v : cleared) ASSERT_LT(std::fabs(v), 1e-6f);
}

}  // namespace
}  // namespace klv::clampora::test
