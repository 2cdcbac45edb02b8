// Long look-ahead: the delay lines are 1024 frames and the look-ahead can
// reach 1023, so a frame is read back just before its slot is written
// again. The loop works through each block in chunks; these tests check
// that no chunk reads a slot that a later frame of the same chunk has
// already overwritten.
#include <gtest/gtest.h>

#include <string>

#include "tests/clampora/clampora_test_util.h"

namespace klv::clampora::test {
namespace {

constexpr bool kStereo = ClamporaEffect::kStereoBuild;

// Attack 1.0 asks for a look-ahead of a whole second, held to 1023 frames.
Settings longLookAhead(float sat, float rms) {
    Settings s;
    s.compress = 0.7f;
    s.slope = 0.4f;
    s.attack = 1.0f;
    s.release = 0.5f;  // timed: an automatic release is frozen per block
    s.makeup = 0.0f;
    s.hold = 0.3f;
    s.delay = 1.0f;
    s.rmsPeak = rms;
    s.sat = sat;
    s.stereoMono = kStereo ? 0.0f : 1.0f;
    return s;
}

// With only the dry signal in the mix, the output is the input delayed by
// the look-ahead: an impulse comes out 1023 frames later, whatever the
// block size.
class ClamporaLookAheadImpulse : public ::testing::TestWithParam<int> {};

TEST_P(ClamporaLookAheadImpulse, DryPathDelaysByTheLineLengthLessOne) {
    Settings s = longLookAhead(0.0f, 0.0f);
    s.mix = 0.0f;
    auto p = makeEffect(s);
    std::vector<float> signal(3000, 0.0f);
    signal[10] = 0.5f;
    const auto out = run(*p, signal, GetParam());
    EXPECT_EQ(argmaxAbs(out), 10 + 1023);
    EXPECT_NEAR(out[10 + 1023], 0.5f, 1e-6f);
    EXPECT_NEAR(out[10 + 1022], 0.0f, 1e-6f);
    EXPECT_NEAR(out[10 + 1024], 0.0f, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Blocks, ClamporaLookAheadImpulse, ::testing::Values(1, 97, 128, 512, 1000, 3000));

// With settled parameters and even block sizes (the ±1e-9 denormal offset
// restarts its alternation at each block), the compressed output does not
// depend on how the host splits the signal: every split gives the bits of
// frame-by-frame processing in pairs.
struct SplitCase {
    const char* name;
    float sat, rms;
};

class ClamporaLookAheadSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ClamporaLookAheadSplit, EvenBlockSizesGiveIdenticalOutput) {
    const Settings s = longLookAhead(GetParam().sat, GetParam().rms);
    std::vector<float> signal = noise(9000, 7, 0.8f);
    for (int i = 0; i < 9000; ++i) signal[i] *= (i / 1500) % 2 ? 1.0f : 0.05f;  // loud and quiet spans
    auto reference = makeEffect(s);
    const auto pairs = run(*reference, signal, 2);
    for (int block : {64, 128, 130, 512, 1000, 9000}) {
        auto p = makeEffect(s);
        EXPECT_EQ(run(*p, signal, block), pairs) << "block " << block;
    }
}

const SplitCase kSplits[] = {
    {"noStage", 0.0f, 0.0f},
    {"limiter", 1.0f, 0.0f},
    {"clipperRms", 2.0f, 1.0f},
};

INSTANTIATE_TEST_SUITE_P(Stages, ClamporaLookAheadSplit, ::testing::ValuesIn(kSplits),
                         [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace klv::clampora::test
