// Output stage and metering.
#include <gtest/gtest.h>

#include "tests/clampora/clampora_test_util.h"

namespace klv::clampora::test {
namespace {

float published(const ClamporaEffect& e, int ring) {
    const MeterRings& r = e.engine().rings();
    return r.values[ring][(r.writeIndex - 1) & kRingMask];
}

class ClamporaCeiling : public ::testing::TestWithParam<float> {};

// Both modes end in the cubic clipper, whose largest value is 1.0 x 0.999969.
TEST_P(ClamporaCeiling, KeepsPeaksAtOrBelowTheClipCeiling) {
    Settings s;
    s.sat = GetParam();
    s.input = 1.0f;
    s.output = 1.0f;
    s.makeup = 0.8f;
    s.compress = 0.3f;
    auto p = makeEffect(s);
    const auto out = run(*p, noise(44100, 5, 4.0f), 500);
    float peak = 0.0f;
    for (float v : out) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(peak, 0.999969f);
    EXPECT_GT(peak, 0.5f);
}

INSTANTIATE_TEST_SUITE_P(Modes, ClamporaCeiling, ::testing::Values(1.0f, 2.0f));

TEST(ClamporaSoftClip, CurveShape) {
    EXPECT_EQ(softClip(2.0f), 1.0f);
    EXPECT_EQ(softClip(-5.0f), -1.0f);
    EXPECT_EQ(softClip(0.0f), 0.0f);
    // z - z^3 / 8 at sqrt(8/3) is (2/3) sqrt(8/3); the scale makes it 1.
    EXPECT_NEAR(softClip(1.6329f), 1.0f, 1e-6f);
    EXPECT_NEAR(softClip(0.5f), (0.5 - 0.015625) * 0.9185586535436918, 1e-6);
    EXPECT_NEAR(softClip(-0.5f), -softClip(0.5f), 1e-7f);
}

struct ClipCase {
    float sat;
    int block;
    float flag;
};

class ClamporaClipFlag : public ::testing::TestWithParam<ClipCase> {};

// Without an output stage there is no counting: an output at or above 1.0
// shows at once.
// A step to a loud DC level: the output passes the threshold at once and,
// within a block, the block peak stays above it. More than fs * 0.015 =
// 661 samples above it raise the flag; 512 do not.
TEST_P(ClamporaClipFlag, AfterMoreThanTheClipCount) {
    const ClipCase c = GetParam();
    Settings s;
    s.sat = c.sat;
    auto p = makeEffect(s);
    run(*p, std::vector<float>(c.block, 2.0f), c.block);
    EXPECT_EQ(published(object(*p), kRingClipL), c.flag);
    EXPECT_EQ(published(object(*p), kRingClipR), c.flag);
}

INSTANTIATE_TEST_SUITE_P(Counts, ClamporaClipFlag,
                         ::testing::Values(ClipCase{2.0f, 512, 0.0f}, ClipCase{2.0f, 1024, 1.0f},
                                           ClipCase{1.0f, 512, 0.0f}, ClipCase{1.0f, 1024, 1.0f},
                                           ClipCase{0.0f, 512, 1.0f}));

struct OffsetCase {
    int latency;
    int block;
    int offset;
};

class ClamporaRingOffset : public ::testing::TestWithParam<OffsetCase> {};

// latency / block blocks, times 100 / 130, clamped to 1..255.
TEST_P(ClamporaRingOffset, FromLatencyAndBlockSize) {
    const OffsetCase c = GetParam();
    EXPECT_EQ(computeRingOffset(c.latency, c.block), c.offset);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClamporaRingOffset,
                         ::testing::Values(OffsetCase{0, 512, 1}, OffsetCase{4096, 512, 6}, OffsetCase{1000, 1, 1},
                                           OffsetCase{2048, 1024, 1}, OffsetCase{1 << 30, 2, 255},
                                           OffsetCase{-5, 512, 1}, OffsetCase{13 * 512, 512, 10}));

// The block size is the effect's stored one (1024 before the host sets
// one), not the host's answer: 4096 / 1024 = 4 blocks, 4 * 100 / 130 = 3.
TEST(ClamporaRingOffsetHost, TakenAtConstruction) {
    hostkit::HostConfig config;
    config.outputLatency = 4096;
    auto p = klv::test::makeInstance(config);
    const ClamporaEffect& e = object(*p);
    EXPECT_EQ(e.meterRingOffset(), 3);
    EXPECT_EQ(e.engine().rings().writeIndex - e.engine().rings().readIndex, 3);
    config.outputLatency = 0;
    EXPECT_EQ(object(*klv::test::makeInstance(config)).meterRingOffset(), 1);
}

TEST(ClamporaMeters, OnePublicationPerCallEvenWithoutFrames) {
    auto p = makeEffect(Settings{});
    const MeterRings& r = object(*p).engine().rings();
    const int start = r.readIndex;
    Buffers b(2, 64);
    for (int call = 0; call < 300; ++call) p->processReplacing(b.inPtr.data(), b.outPtr.data(), call % 3 == 0 ? 0 : 64);
    EXPECT_EQ(r.readIndex, (start + 300) & kRingMask);
    EXPECT_EQ(r.writeIndex, (r.readIndex + object(*p).meterRingOffset()) & kRingMask);
}

TEST(ClamporaMeters, BypassReadsNoGainReduction) {
    Settings s;
    s.process = 0.0f;
    auto p = makeEffect(s);
    run(*p, noise(4096, 9), 512);
    EXPECT_EQ(published(object(*p), kRingGainL), 1.0f);
    EXPECT_EQ(published(object(*p), kRingGainR), 1.0f);
    p->dispatch(effMainsChanged, 0, 0);
    run(*p, std::vector<float>(0), 512);
    Buffers b(2, 0);
    p->processReplacing(b.inPtr.data(), b.outPtr.data(), 0);
    EXPECT_EQ(published(object(*p), kRingGainL), 1.0f);
}

TEST(ClamporaMeters, CompressionShowsAsGainBelowOne) {
    Settings s;
    s.compress = 0.8f;
    s.slope = 1.0f;
    auto p = makeEffect(s);
    run(*p, sine(1000.0, 0.5, 44100), 512);
    const float gain = published(object(*p), kRingGainL);
    EXPECT_GT(gain, 0.0f);
    EXPECT_LT(gain, 0.2f);
}

TEST(ClamporaMeters, AveragesArePublishedAtMostFour) {
    Settings s;
    s.process = 0.0f;
    s.input = 1.0f;  // +12 dB: a DC of 2 reads about 8
    auto p = makeEffect(s);
    run(*p, std::vector<float>(88200, 2.0f), 512);
    EXPECT_EQ(published(object(*p), kRingLevelL), 4.0f);
    EXPECT_EQ(published(object(*p), kRingPeakL), 4.0f);
    EXPECT_EQ(published(object(*p), kRingClipL), 1.0f);
}

TEST(ClamporaMeters, HeldPeakHoldsThenDecays) {
    Settings s;
    s.process = 0.0f;
    auto p = makeEffect(s);
    run(*p, std::vector<float>(512, 0.5f), 512);
    const ClamporaEffect& e = object(*p);
    EXPECT_EQ(published(e, kRingPeakL), 0.5f);
    // 0.3 s of hold is 13230 samples: 26 blocks of 512 still hold.
    run(*p, std::vector<float>(512 * 26, 0.0f), 512);
    EXPECT_EQ(published(e, kRingPeakL), 0.5f);
    run(*p, std::vector<float>(512 * 2, 0.0f), 512);
    EXPECT_LT(published(e, kRingPeakL), 0.5f);
    // The editor's reading trails the writer by the ring offset.
    const MeterReading m = e.meterReading(0);
    EXPECT_EQ(m.peak, e.engine().rings().values[kRingPeakL][e.engine().rings().readIndex]);
}

}  // namespace
}  // namespace klv::clampora::test
