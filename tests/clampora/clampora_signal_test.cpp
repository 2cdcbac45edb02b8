// The signal path observed from outside: look-ahead delays, bypass, dry
// mix, side-chain listening, the static curve and the envelope timing.
#include <gtest/gtest.h>

#include "tests/clampora/clampora_test_util.h"

namespace klv::clampora::test {
namespace {

struct DelayCase {
    float attack;
    float rmsPeak;
    float sat;
    int samples;
};

class ClamporaLookAhead : public ::testing::TestWithParam<DelayCase> {};

// At 44100 Hz: fs * (c^4 * 0.9996 + 0.0004) samples, plus 97 (fs * 2.2 ms)
// with the RMS detector; the limiter adds another 97.
TEST_P(ClamporaLookAhead, DelaysAnImpulse) {
    const DelayCase c = GetParam();
    Settings s;
    s.delay = 1.0f;
    s.attack = c.attack;
    s.rmsPeak = c.rmsPeak;
    s.sat = c.sat;
    auto p = makeEffect(s);
    std::vector<float> impulse(2048, 0.0f);
    impulse[0] = 0.01f;
    EXPECT_EQ(argmaxAbs(run(*p, impulse, 2048)), c.samples);
}

INSTANTIATE_TEST_SUITE_P(Bands, ClamporaLookAhead,
                         ::testing::Values(DelayCase{0.1f, 0.0f, 0.0f, 288}, DelayCase{0.1f, 1.0f, 0.0f, 385},
                                           DelayCase{0.0f, 0.0f, 0.0f, 163}, DelayCase{0.0f, 1.0f, 0.0f, 260},
                                           DelayCase{0.15f, 0.0f, 0.0f, 17}, DelayCase{0.15f, 1.0f, 0.0f, 114},
                                           DelayCase{0.15f, 0.0f, 1.0f, 17 + 97}, DelayCase{0.1f, 1.0f, 1.0f, 385 + 97},
                                           DelayCase{0.15f, 0.0f, 2.0f, 17}, DelayCase{0.1f, 0.0f, 2.0f, 288}));

TEST(ClamporaBypass, PassesInputTimesInputGainAndProcessAdds) {
    Settings s;
    s.process = 0.0f;
    s.input = 0.7f;  // 10^(1.2 * 0.2) = +4.8 dB
    const double gain = 1.7378008287493754;
    auto p = makeEffect(s);
    Buffers b(2, 256);
    const auto in = noise(256, 7);
    for (int c = 0; c < 2; ++c) std::copy(in.begin(), in.end(), b.in[c].begin());
    b.clearOutput(0.0f);
    p->processReplacing(b.inPtr.data(), b.outPtr.data(), 256);
    for (int i = 0; i < 256; ++i) ASSERT_NEAR(b.out[0][i], in[i] * gain, 1e-6) << i;
    b.clearOutput(0.25f);
    p->process(b.inPtr.data(), b.outPtr.data(), 256);
    for (int i = 0; i < 256; ++i) ASSERT_NEAR(b.out[0][i], 0.25 + in[i] * gain, 1e-6) << i;
    EXPECT_TRUE(b.guardsIntact());
}

TEST(ClamporaBypass, UnitInputGainIsExact) {
    Settings s;
    s.process = 0.0f;
    auto p = makeEffect(s);
    const auto in = noise(300, 3);
    EXPECT_EQ(run(*p, in, 100), in);
}

class ClamporaDryMix : public ::testing::TestWithParam<bool> {};

// "mix" 0: the dry path times the output gain, delayed only with "Delay".
TEST_P(ClamporaDryMix, IsTheDryPathTimesOutputGain) {
    Settings s;
    s.mix = 0.0f;
    s.output = 0.3f;  // 10^(-0.24)
    s.compress = 0.8f;
    s.delay = GetParam() ? 1.0f : 0.0f;
    const double gain = 0.5754399373371567;
    const int delay = GetParam() ? 17 : 0;
    auto p = makeEffect(s);
    const auto in = noise(2000, 11, 0.8f);
    const auto out = run(*p, in, 333);
    for (int i = 0; i < 2000; ++i) {
        const double dry = i >= delay ? in[i - delay] : 0.0;
        ASSERT_NEAR(out[i], dry * gain, 1e-6) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Delay, ClamporaDryMix, ::testing::Bool());

// "scl" on: the band-pass of the input at the input's level. Expected
// magnitudes from the analogue prototype 1 / sqrt(1 + Q^2 (W - 1/W)^2)
// with the bilinear frequency warping W = tan(pi f / fs) / tan(pi f0 / fs).
class ClamporaListen : public ::testing::TestWithParam<double> {};

TEST_P(ClamporaListen, OutputIsTheSideChainBandPass) {
    const double f0 = 1000.0, q = 1.0, f = GetParam();
    Settings s;
    s.scl = 1.0f;
    s.compress = 0.6f;  // the drive must cancel out
    s.scFreq = scFreqFor(f0);
    s.scQ = static_cast<float>(std::sqrt((q - 0.001) / 9.999));
    auto p = makeEffect(s);
    const auto out = run(*p, sine(f, 0.5, 44100), 512);
    float peak = 0.0f;
    for (int i = 22050; i < 44100; ++i) peak = std::max(peak, std::fabs(out[i]));
    const double w = std::tan(kPi * f / 44100.0) / std::tan(kPi * f0 / 44100.0);
    const double expected = 0.5 / std::sqrt(1.0 + q * q * (w - 1.0 / w) * (w - 1.0 / w));
    EXPECT_NEAR(peak, expected, expected * 0.01);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, ClamporaListen, ::testing::Values(1000.0, 2000.0, 400.0));

// A tone at fs / 4 with phase pi / 4 reads +a, +a, -a, -a (a = A / sqrt 2);
// a band-pass centred there passes it unchanged, so the peak detector sees
// the constant 1.2071 * a * G and the envelope settles on it.
constexpr double kQuarterRate = 11025.0;
std::vector<float> quarterTone(double amplitude, int n) {
    return sine(kQuarterRate, amplitude, n, 44100.0, kPi / 4);
}

Settings quarterDetector() {
    Settings s;
    s.scFreq = scFreqFor(kQuarterRate);
    s.scQ = 0.1f;
    s.attack = 0.15f;   // fixed 0.1 ms
    s.release = 0.15f;  // fixed 10 ms
    return s;
}

struct CurveCase {
    float slope;
    double amplitude;
};

class ClamporaStaticCurve : public ::testing::TestWithParam<CurveCase> {};

TEST_P(ClamporaStaticCurve, GainFollowsTheLawAtTheSettledEnvelope) {
    const CurveCase c = GetParam();
    Settings s = quarterDetector();
    s.compress = 0.5f;  // drive 0.5^3 * 255.75 + 0.25
    s.slope = c.slope;
    const double drive = 32.21875;
    auto p = makeEffect(s);
    const auto in = quarterTone(c.amplitude, 8821);
    const std::vector<float> settle(in.begin(), in.end() - 1);
    run(*p, settle, 441);
    const std::vector<float> last(in.end() - 1, in.end());
    const float out = run(*p, last, 1)[0];

    const double e = 1.2071 * c.amplitude / std::sqrt(2.0) * drive;
    EXPECT_NEAR(object(*p).engine().envelope(), e, e * 0.005);
    // Hard law: 1 - e/4 up to e = 2, then 1/e. Soft law: 1.01 / (e + 1.01).
    const double law = c.slope == 1.0f ? (e < 2.0 ? 1.0 - e / 4.0 : 1.0 / e) : 1.01 / (e + 1.01);
    EXPECT_NEAR(out / in.back(), law, law * 0.006);
}

INSTANTIATE_TEST_SUITE_P(Levels, ClamporaStaticCurve,
                         ::testing::Values(CurveCase{1.0f, 0.05}, CurveCase{1.0f, 0.2}, CurveCase{1.0f, 0.5},
                                           CurveCase{0.0f, 0.05}, CurveCase{0.0f, 0.2}, CurveCase{0.0f, 0.5}));

// The continuous attack and release bands: after the set time T the
// remaining part of a step is 0.1091012 of it.
struct TimingCase {
    bool attack;
    float value;
    double seconds;
};

class ClamporaTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(ClamporaTiming, StepReachesTheDesignFractionAfterTheSetTime) {
    const TimingCase c = GetParam();
    Settings s = quarterDetector();
    (c.attack ? s.attack : s.release) = c.value;
    auto p = makeEffect(s);
    const ClamporaEngine& engine = object(*p).engine();
    const int m = static_cast<int>(c.seconds * 44100.0 + 0.5);
    const double level = 1.2071 / std::sqrt(2.0) * 0.25;  // amplitude 1 at drive 0.25
    if (c.attack) {
        run(*p, std::vector<float>(4410, 0.0f), 4410);
        const double start = engine.envelope();
        run(*p, quarterTone(1.0, m), m);
        EXPECT_NEAR((level - engine.envelope()) / (level - start), 0.1091012, 0.01);
    } else {
        run(*p, quarterTone(1.0, 44100), 4410);
        const double start = engine.envelope();
        EXPECT_NEAR(start, level, level * 0.01);
        run(*p, std::vector<float>(m, 0.0f), m);
        // Hold 0 (h = 1): the release aims at zero.
        EXPECT_NEAR(engine.envelope() / start, 0.1091012, 0.01);
    }
}

// Attack T = c^4 * 0.9999 + 0.0001, release T = c^4 * 9.99 + 0.01, with the
// value 1/6 + c / 1.2.
float bandValue(double seconds, double shortest, double span) {
    return static_cast<float>(0.1666666 + std::pow((seconds - shortest) / span, 0.25) / 1.2);
}

INSTANTIATE_TEST_SUITE_P(Bands, ClamporaTiming,
                         ::testing::Values(TimingCase{true, bandValue(0.05, 0.0001, 0.9999), 0.05},
                                           TimingCase{true, bandValue(0.2, 0.0001, 0.9999), 0.2},
                                           TimingCase{false, 0.15f, 0.01},
                                           TimingCase{false, bandValue(0.1, 0.01, 9.99), 0.1},
                                           TimingCase{false, bandValue(0.5, 0.01, 9.99), 0.5}));

TEST(ClamporaHold, DelaysTheReleaseByTheHoldLength) {
    Settings s = quarterDetector();
    s.hold = 0.4f;  // 44100 * 0.4^4 = 1128.96 samples
    auto p = makeEffect(s);
    const ClamporaEngine& engine = object(*p).engine();
    run(*p, quarterTone(1.0, 8820), 4410);
    const float held = engine.envelope();
    run(*p, std::vector<float>(1120, 0.0f), 1120);
    EXPECT_EQ(engine.envelope(), held);
    run(*p, std::vector<float>(20, 0.0f), 20);
    EXPECT_LT(engine.envelope(), held * 0.999f);
}

}  // namespace
}  // namespace klv::clampora::test
