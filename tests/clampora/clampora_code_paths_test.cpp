// Where the processor has AVX-512, the sample loops run in a copy compiled
// for it; the baseline copy runs everywhere else. Both must give the same
// bits, on every factory program.
#include <gtest/gtest.h>

#include <vector>

#include "host/sample_ops.h"
#include "tests/clampora/clampora_test_util.h"

namespace klv::clampora::test {
namespace {

// Puts the wide copies back into use when a test ends.
struct WideCodeRestore {
    ~WideCodeRestore() { dsp::allowWideCode(true); }
};

std::vector<float> renderProgram(int program, const std::vector<float>& signal, int block, bool wide) {
    dsp::allowWideCode(wide);
    auto p = klv::test::makeInstance();
    p->dispatch(effSetProgram, 0, program);
    p->dispatch(effMainsChanged, 0, 0);
    p->dispatch(effMainsChanged, 0, 1);
    return run(*p, signal, block);
}

TEST(ClamporaCodePaths, WideAndBaselineLoopsGiveTheSameBits) {
    if (!dsp::wideCode()) GTEST_SKIP() << "this processor runs the baseline loops only";
    WideCodeRestore restore;
    std::vector<float> signal = noise(12000, 11, 0.9f);
    for (int i = 0; i < 12000; ++i) signal[i] *= (i / 2000) % 2 ? 1.0f : 0.02f;  // loud and quiet spans
    for (int program = 0; program < kNumFactoryPrograms; ++program)
        for (int block : {333, 512}) {
            const auto wide = renderProgram(program, signal, block, true);
            EXPECT_EQ(wide, renderProgram(program, signal, block, false))
                << "program " << program << " block " << block;
        }
}

}  // namespace
}  // namespace klv::clampora::test
