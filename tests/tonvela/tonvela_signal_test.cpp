// The signal path through the host interface: the clean path, mix and
// bypass, the enhancement filters and envelopes, channel modes and meters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "tests/tonvela/tonvela_test_util.h"

namespace klv::tonvela::test {
namespace {

float stereoMode() {
    return kStereo ? 0.0f : 1.0f;
}

TEST(TonvelaSignal, CleanPathPassesTheInput) {
    Settings s;  // shape "none", no enhancement, mix 1, unity gains
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    const auto l = noise(3000, 7), r = noise(3000, 8, 0.3f);
    const auto out = runBoth(*p, l, r, 300);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_NEAR(out[0][i], l[i], 2e-7f + 1e-6f * std::fabs(l[i])) << i;
        if (kStereo) {
            ASSERT_NEAR(out[1][i], r[i], 2e-7f + 1e-6f * std::fabs(r[i])) << i;
        }
    }
}

TEST(TonvelaSignal, MixZeroGivesTheGainedDrySignalExactly) {
    Settings s;
    s.mix = 0.0f;
    s.input = 0.62f;
    s.output = 0.41f;
    s.drive = 1.0f;
    s.shape = 5 / 7.0f;
    s.bassOn = s.trebleOn = 1.0f;
    s.bassHarm = 0.5f;
    s.trebleHarm = 0.6f;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    const float in = object(*p).getWorkingValue(kInput), outGain = object(*p).getWorkingValue(kOutput);
    const auto x = noise(2048, 3);
    const auto y = run(*p, x);
    for (int i = 0; i < 2048; ++i) ASSERT_EQ(y[i], (x[i] * in) * outGain) << i;
}

TEST(TonvelaSignal, BypassOutputsTheInputGainedInputOnly) {
    Settings s;
    s.process = 0.0f;
    s.input = 0.75f;  // +6 dB
    s.output = 0.1f;  // not applied in bypass
    s.shape = 1.0f;
    s.drive = 1.0f;
    s.bassOn = s.trebleOn = 1.0f;
    s.stereoMono = 1.0f;  // mono mode: the left input on both outputs
    auto p = makeEffect(s);
    const float gain = object(*p).getWorkingValue(kInput);
    EXPECT_NEAR(gain, 1.99526f, 1e-5f);
    const auto l = noise(1000, 11), r = noise(1000, 12);
    const auto out = runBoth(*p, l, r);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(out[0][i], l[i] * gain);
        if (kStereo) {
            ASSERT_EQ(out[1][i], l[i] * gain);
        }
    }
}

TEST(TonvelaSignal, DigitalCurveAtFullDrive) {
    Settings s;
    s.shape = 1.0f;
    s.drive = 1.0f;  // g = 32: d = 6.384 s
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    const auto y = run(*p, std::vector<float>{0.1f, 0.2f, -0.1f, -0.2f});
    EXPECT_NEAR(y[0], 0.6384f, 1e-5f);
    EXPECT_EQ(y[1], 1.0f);
    EXPECT_NEAR(y[2], -0.6384f, 1e-5f);
    EXPECT_EQ(y[3], -1.0f);
}

TEST(TonvelaSignal, ProcessAddsWhatProcessReplacingWrites) {
    Settings s;
    s.shape = 3 / 7.0f;
    s.drive = 0.6f;
    s.bassOn = s.trebleOn = 1.0f;
    s.trebleHarm = 0.4f;
    s.bassHarm = 0.3f;
    s.mix = 0.8f;
    s.stereoMono = stereoMode();
    auto a = makeEffect(s), b = makeEffect(s);
    Buffers ba(2, 700), bb(2, 700);
    for (int c = 0; c < 2; ++c) {
        const auto x = noise(700, 20 + c);
        for (int i = 0; i < 700; ++i) ba.in[c][i] = bb.in[c][i] = x[i];
        for (int i = 0; i < 700; ++i) bb.out[c][i] = 0.25f;
    }
    a->processReplacing(ba.inPtr.data(), ba.outPtr.data(), 700);
    b->process(bb.inPtr.data(), bb.outPtr.data(), 700);
    for (int c = 0; c < (kStereo ? 2 : 1); ++c)
        for (int i = 0; i < 700; ++i) ASSERT_EQ(bb.out[c][i], 0.25f + ba.out[c][i]) << c << "/" << i;
    EXPECT_TRUE(ba.guardsIntact());
    EXPECT_TRUE(bb.guardsIntact());
}

// Magnitude in dB of a filter section at f, measured from its impulse response.
double responseDb(OnePoleFilter f, bool lowpass, double hz, double rate) {
    f.x1 = f.y1 = 0.0f;
    std::complex<double> sum = 0.0;
    for (int i = 0; i < 20000; ++i) {
        const float x = i == 0 ? 1.0f : 0.0f;
        const double y = lowpass ? f.lowpass(x) : f.highpass(x);
        sum += y * std::polar(1.0, -2.0 * kPi * hz * i / rate);
    }
    return 20.0 * std::log10(std::abs(sum));
}

struct CornerCase {
    float rate;
    float bassFreq, trebleFreq;
    double bassHz, trebleHz;  // expected corners
};

class TonvelaCorners : public ::testing::TestWithParam<CornerCase> {};

TEST_P(TonvelaCorners, SectionsAreThreeDecibelsDownAtTheCorner) {
    const CornerCase& c = GetParam();
    hostkit::HostConfig config;
    config.sampleRate = c.rate;
    Settings s;
    s.bassFreq = c.bassFreq;
    s.trebleFreq = c.trebleFreq;
    auto p = makeEffect(s, config);
    const TonvelaEngine& e = object(*p).engine();
    for (int ch = 0; ch < 2; ++ch) {
        for (int stage = 0; stage < 2; ++stage) {
            const OnePoleFilter& lp = e.bassSplit(ch, stage);
            EXPECT_NEAR(responseDb(lp, true, c.bassHz, c.rate), -3.0103, 0.01);
            EXPECT_NEAR(responseDb(lp, true, c.bassHz / 10, c.rate), 0.0, 0.05);
            const OnePoleFilter& hp = e.trebleSplit(ch, stage);
            EXPECT_NEAR(responseDb(hp, false, c.trebleHz, c.rate), -3.0103, 0.01);
            EXPECT_LT(responseDb(hp, false, c.trebleHz / 10, c.rate), -19.0);
            EXPECT_LT(std::fabs(hp.c), 1.0f);
        }
        EXPECT_NEAR(responseDb(e.bassSmoothing(ch), true, 1.9 * c.bassHz, c.rate), -3.0103, 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, TonvelaCorners,
                         ::testing::Values(CornerCase{44100.0f, 1.0f, 0.5f, 500.0, 4500.0},
                                           CornerCase{44100.0f, 0.0f, 1.0f, 50.0, 12000.0},
                                           CornerCase{96000.0f, 0.5f, 0.0f, 162.5, 2000.0},
                                           // 12 kHz lies above half of 16 kHz: kept at 0.45 x 16 kHz
                                           CornerCase{16000.0f, 0.5f, 1.0f, 162.5, 7200.0}));

TEST(TonvelaSignal, FrequencyChangeTakesEffectAtTheNextBlock) {
    Settings s;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    p->setParameter(kBassFreq, 1.0f);
    run(*p, std::vector<float>(16, 0.0f));
    EXPECT_NEAR(responseDb(object(*p).engine().bassSplit(0, 0), true, 500.0, 44100.0), -3.0103, 0.01);
}

TEST(TonvelaSignal, TrebleEnvelopeAttackAndRelease) {
    Settings s;
    s.trebleOn = 1.0f;
    s.trebleFreq = 0.0f;  // ft 2 kHz, attack 0.015, release 0.005 per sample
    s.trebleHarm = 0.1f;  // T = 1
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    // A tone at half the sample rate passes both high-pass sections whole.
    std::vector<float> tone(200);
    for (int i = 0; i < 200; ++i) tone[i] = i % 2 ? 0.5f : -0.5f;
    run(*p, tone);
    const float attacked = object(*p).engine().trebleEnvelope(0);
    EXPECT_NEAR(attacked, 0.5 * (1.0 - std::pow(0.985, 200)), 0.01);
    run(*p, std::vector<float>(300, 0.0f));
    EXPECT_NEAR(object(*p).engine().trebleEnvelope(0), attacked * std::pow(0.995, 300), 0.004);
}

TEST(TonvelaSignal, BassEnvelopeRisesWithTheBandAndRelaxesTowardIt) {
    Settings s;
    s.bassOn = 1.0f;
    s.bassFreq = 1.0f;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    float previous = 0.0f;
    for (int block = 0; block < 20; ++block) {
        run(*p, std::vector<float>(64, 0.5f));
        const float e = object(*p).engine().bassEnvelope(0);
        EXPECT_GE(e, previous);
        previous = e;
    }
    EXPECT_NEAR(previous, 0.5f, 1e-3f);
    // Signed: a negative band pulls the envelope below zero.
    run(*p, std::vector<float>(44100, -0.5f));
    EXPECT_NEAR(object(*p).engine().bassEnvelope(0), -0.5f, 1e-3f);
}

class TonvelaDetection : public ::testing::TestWithParam<bool> {};

TEST_P(TonvelaDetection, FirstBlockSettlesTheChannelMode) {
    hostkit::HostConfig config;
    config.input2Connected = GetParam();
    auto p = klv::test::makeInstance(config);  // factory programs leave the mode undecided
    p->clearCalls();
    const auto l = noise(512, 1), r = noise(512, 2);
    auto out = runBoth(*p, l, r);
    const bool mono = !kStereo || !GetParam();
    EXPECT_EQ(p->countCalls(audioMasterPinConnected), kStereo ? 1 : 0);
    EXPECT_EQ(p->getParameter(kStereoMono), mono ? 1.0f : 0.0f);
    for (int prog = 0; prog < 32; ++prog) EXPECT_EQ(object(*p).program(prog).values[14], mono ? 1.0f : 0.0f);
    if (kStereo) {
        // Mono mode ignores the right input and writes the left result twice.
        bool same = true;
        for (int i = 0; i < 512; ++i) same = same && out[0][i] == out[1][i];
        EXPECT_EQ(same, mono);
    }
    runBoth(*p, l, r);
    EXPECT_EQ(p->countCalls(audioMasterPinConnected), kStereo ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Input2, TonvelaDetection, ::testing::Bool());

TEST(TonvelaSignal, MonoModeIgnoresTheRightInput) {
    Settings s;
    s.shape = 4 / 7.0f;
    s.bassOn = s.trebleOn = 1.0f;
    s.stereoMono = 1.0f;
    auto a = makeEffect(s), b = makeEffect(s);
    const auto l = noise(1500, 5);
    const auto outA = runBoth(*a, l, noise(1500, 6));
    const auto outB = runBoth(*b, l, std::vector<float>(1500, 0.9f));
    EXPECT_EQ(outA[0], outB[0]);
    if (kStereo) {
        EXPECT_EQ(outA[1], outA[0]);
    }
}

// The mono build is declared with one input and one output: a host may
// pass nothing else.
TEST(TonvelaSignal, MonoBuildTouchesOnlyTheFirstBuffers) {
    if (kStereo) GTEST_SKIP() << "stereo build";
    auto p = makeEffect(Settings{});
    std::vector<float> in(256, 0.25f), out(256, 0.0f), spare(256, 7.0f);
    float* ins[2] = {in.data(), nullptr};
    float* outs[2] = {out.data(), spare.data()};
    p->processReplacing(ins, outs, 256);
    EXPECT_NEAR(out[100], 0.25f, 1e-6f);
    EXPECT_EQ(spare, std::vector<float>(256, 7.0f));
}

TEST(TonvelaMeters, DelayFromLatencyAndBlockSize) {
    EXPECT_EQ(meterDelay(4096, 512), 6);
    EXPECT_EQ(meterDelay(0, 512), 1);
    EXPECT_EQ(meterDelay(100000, 32), 255);
    EXPECT_EQ(meterDelay(4096, 0), 1);
    EXPECT_EQ(meterDelay(2000000000, 2), 255);
    // The constructor sees the block size the effect holds (1024 until the
    // host sets one), not the host's answer.
    hostkit::HostConfig config;
    config.outputLatency = 8192;
    auto p = klv::test::makeInstance(config);
    EXPECT_EQ(object(*p).meterDelayBlocks(), 6);
    EXPECT_EQ(object(*p).engine().history().writePosition, 6);
    EXPECT_EQ(object(*p).engine().history().readPosition, 0);
}

TEST(TonvelaMeters, ABlockAppearsAfterTheDelay) {
    hostkit::HostConfig config;
    config.outputLatency = 8192;  // delay 6: written at the read index + 5, read 5 calls later
    Settings s;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s, config);
    run(*p, std::vector<float>(512, 1.5f));
    for (int call = 0; call < 4; ++call) {
        EXPECT_EQ(object(*p).meterReading(0).clip, 0.0f) << call;
        run(*p, std::vector<float>(512, 0.1f));
    }
    EXPECT_EQ(object(*p).meterReading(0).clip, 0.0f);
    run(*p, std::vector<float>(512, 0.1f));
    EXPECT_EQ(object(*p).meterReading(0).clip, 1.0f);
    EXPECT_EQ(object(*p).meterReading(0).peak, 1.5f);
}

TEST(TonvelaMeters, HeldPeakWaitsThreeTenthsOfASecond) {
    Settings s;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);  // latency 0: the read index shows the last call
    run(*p, std::vector<float>(512, 1.2f));
    EXPECT_EQ(object(*p).meterReading(0).clip, 1.0f);
    EXPECT_FLOAT_EQ(object(*p).meterReading(1).peak, 1.2f);
    // 0.3 s at 44100 is 13230 samples: 26 quiet blocks of 512 to reach it.
    for (int block = 0; block < 26; ++block) {
        run(*p, std::vector<float>(512, 0.1f));
        ASSERT_FLOAT_EQ(object(*p).meterReading(0).peak, 1.2f) << block;
    }
    EXPECT_EQ(object(*p).meterReading(0).clip, 0.0f);
    run(*p, std::vector<float>(512, 0.1f));
    // Then it falls by 1 - 0.1091012^(512 / 26460) of the gap per block.
    const double fall = 1.0 - std::pow(0.1091012, 512.0 / 26460.0);
    EXPECT_NEAR(object(*p).meterReading(0).peak, 1.2 - 1.1 * fall, 1e-5);
    // A call without samples writes an entry but lets nothing fall.
    const float held = object(*p).meterReading(0).peak;
    const int read = object(*p).engine().history().readPosition;
    Buffers b(2, 0);
    p->processReplacing(b.inPtr.data(), b.outPtr.data(), 0);
    EXPECT_EQ(object(*p).engine().history().readPosition, (read + 1) % 256);
    EXPECT_EQ(object(*p).meterReading(0).peak, held);
}

TEST(TonvelaMeters, LevelFallsToAnEleventhInThreeTenthsOfASecond) {
    Settings s;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    run(*p, std::vector<float>(88200, 1.0f));
    // A float one-pole with a coefficient of 1.7e-4 settles within 4e-4.
    EXPECT_NEAR(object(*p).meterReading(0).level, 1.0f, 4e-4f);
    run(*p, std::vector<float>(13230, 0.0f), 13230);
    EXPECT_NEAR(object(*p).meterReading(0).level, 0.1091012f, 2e-4f);
    // Loud input: level and peak are limited to 4.
    run(*p, std::vector<float>(44100, 100.0f));
    EXPECT_EQ(object(*p).meterReading(0).level, 4.0f);
    EXPECT_EQ(object(*p).meterReading(0).peak, 4.0f);
}

struct PointCase {
    float prePost;
    float peak;
};

class TonvelaMeterPoint : public ::testing::TestWithParam<PointCase> {};

TEST_P(TonvelaMeterPoint, MetersTheChosenSignal) {
    Settings s;
    s.shape = 1.0f;
    s.drive = 1.0f;   // d = 6.384 x, clipped at 1
    s.input = 0.75f;  // x = 1.99526 * input
    s.prePost = GetParam().prePost;
    s.stereoMono = 1.0f;  // mono mode: the right meter follows the left
    auto p = makeEffect(s);
    run(*p, std::vector<float>(64, 0.1f));
    EXPECT_NEAR(object(*p).meterReading(0).peak, GetParam().peak, 1e-4f);
    EXPECT_EQ(object(*p).meterReading(1).peak, object(*p).meterReading(0).peak);
    EXPECT_EQ(object(*p).meterReading(1).level, object(*p).meterReading(0).level);
}

INSTANTIATE_TEST_SUITE_P(Points, TonvelaMeterPoint,
                         ::testing::Values(PointCase{0.0f, 0.199526f}, PointCase{1.0f, 1.0f}, PointCase{2.0f, 1.27378f},
                                           PointCase{2.7f, 1.27378f}, PointCase{3.0f, 0.0f}, PointCase{-1.0f, 0.0f}));

}  // namespace
}  // namespace klv::tonvela::test

namespace klv::tonvela::test {
namespace {

// The audio path runs the curves on vector lanes; each must give exactly
// what the scalar curve gives, over every segment of every curve.
class TonvelaCurveThroughTheEffect : public ::testing::TestWithParam<int> {};

TEST_P(TonvelaCurveThroughTheEffect, MatchesTheScalarCurve) {
    const int step = GetParam();
    for (float drive : {0.0f, 0.4f, 1.0f}) {
        Settings s;
        s.shape = step / 7.0f;
        s.drive = drive;
        s.stereoMono = stereoMode();
        auto p = makeEffect(s);
        const float g = object(*p).getWorkingValue(kDrive);
        const float n = object(*p).curveNormaliser(step);
        const float scale = step == kNone ? 0.1995f : 0.1995f * g;
        std::vector<float> in;
        for (float v = -12.0f; v <= 12.0f; v += 0.0137f) in.push_back(v);
        in.push_back(0.0f);
        in.push_back(-0.0f);
        const auto out = runBoth(*p, in, in, 333);
        for (std::size_t i = 0; i < in.size(); ++i) {
            const float x = in[i];
            const float y = applyCurve(step, x * scale, n);
            const float expected = ((y - x) * 1.0f + x) * 1.0f;
            ASSERT_EQ(out[0][i], expected) << "x " << x << " drive " << drive;
            if (kStereo) {
                ASSERT_EQ(out[1][i], expected);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, TonvelaCurveThroughTheEffect, ::testing::Range(0, 8));

// A host that sets the rate and resumes without a suspend still gets
// filters designed for that rate.
TEST(TonvelaSignal, RateChangeWithoutSuspendReachesTheFilters) {
    Settings s;
    s.bassFreq = 1.0f;
    s.stereoMono = stereoMode();
    auto p = makeEffect(s);
    p->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    p->dispatch(effMainsChanged, 0, 1);
    run(*p, std::vector<float>(64, 0.0f));
    EXPECT_EQ(object(*p).engine().filterRate(), 96000.0);
    EXPECT_NEAR(responseDb(object(*p).engine().bassSplit(0, 0), true, 500.0, 96000.0), -3.0103, 0.01);
}

}  // namespace
}  // namespace klv::tonvela::test
