// Chains of plug-ins in one pass, and the delay the chain reports taken back
// out of the output.
#include <gtest/gtest.h>
#include <sndfile.h>

#include "tests/tools/render_test_util.h"

namespace klv::test {
namespace {

struct ChainCase {
    const char* name;
    int channels;
    const char* block;
    std::vector<std::string> first;  // short name, then its options
    std::vector<std::string> second;
};

void PrintTo(const ChainCase& c, std::ostream* os) {
    *os << c.name;
}

class ChainInOnePass : public ::testing::TestWithParam<ChainCase> {};

// Float files hold the plug-ins' samples exactly, so rendering the first
// plug-in into one and the second from it must give the chain's output.
TEST_P(ChainInOnePass, EqualsOnePlugInAfterTheOtherThroughFloatFiles) {
    const ChainCase& c = GetParam();
    for (const auto* stage : {&c.first, &c.second})
        if (builtPlugin(stage->front()).empty()) GTEST_SKIP() << stage->front() << " is not built";
    TempDir dir;
    const Audio in = writeTestFile(dir / "in.wav", c.channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 30000);
    // Each stage's options, then its library; "+" between stages.
    const auto render = [&](std::vector<const std::vector<std::string>*> stages, const std::string& in,
                            const std::string& out) {
        std::vector<std::string> args = {"-q", "-b", c.block};
        for (const auto* stage : stages) {
            if (stage != stages.front()) args.push_back("+");
            args.insert(args.end(), stage->begin() + 1, stage->end());
            args.push_back(builtPlugin(stage->front()));
        }
        args.insert(args.end(), {dir / in, dir / out});
        const RunResult r = runRender(args);
        EXPECT_EQ(r.code, 0) << r.err;
    };
    render({&c.first, &c.second}, "in.wav", "chain.wav");
    render({&c.first}, "in.wav", "middle.wav");
    render({&c.second}, "middle.wav", "serial.wav");
    const Audio chained = readAudio(dir / "chain.wav");
    EXPECT_EQ(chained.samples, readAudio(dir / "serial.wav").samples);
    EXPECT_NE(chained.samples, readAudio(dir / "middle.wav").samples);  // the second plug-in did something
    EXPECT_NE(chained.samples, in.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, ChainInOnePass,
    ::testing::Values(ChainCase{"saturator_into_compressor",
                                2,
                                "512",
                                {"tonvela", "-p", "hot tape3"},
                                {"clampora", "-p", "mix1", "-s", "compress=0.6"}},
                      ChainCase{"mono_file_through_stereo_plugins_blocks_of_7",
                                1,
                                "7",
                                {"clampora", "-p", "drums2"},
                                {"tonvela", "-p", "digital"}},
                      ChainCase{"mono_plugins", 1, "300", {"clampora-mono", "-p", "vocal1"}, {"tonvela-mono"}}),
    [](const ::testing::TestParamInfo<ChainCase>& info) { return std::string(info.param.name); });

struct DelayCase {
    const char* name;
    int plugins;  // probes in the chain, delaying 100 frames each
    const char* block;
    long frames;
    long impulseAt;
    bool compensate;
    long expectedAt;  // -1: the impulse is beyond the output's end
};

void PrintTo(const DelayCase& c, std::ostream* os) {
    *os << c.name;
}

class DelayCompensation : public ::testing::TestWithParam<DelayCase> {};

// The output has the input's length; compensated, the impulse is back where
// it was in both channels, also near the end (the chain's tail is flushed
// with silence); raw, it comes the reported delay late.
TEST_P(DelayCompensation, ImpulseLandsWhereExpected) {
    const DelayCase& c = GetParam();
    TempDir dir;
    Audio in;
    in.channels = 2;
    in.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    in.samples.assign(static_cast<std::size_t>(c.frames) * 2, 0.0f);
    if (c.frames > 0) in.samples[c.impulseAt * 2] = in.samples[c.impulseAt * 2 + 1] = 0.5f;
    writeAudio(dir / "in.wav", in);

    std::vector<std::string> args = {"-b", c.block};
    if (!c.compensate) args.push_back("--no-compensate");
    for (int i = 0; i < c.plugins; ++i) {
        if (i > 0) args.push_back("+");
        args.push_back(KLV_PROBE_PLUGIN);
    }
    args.insert(args.end(), {dir / "in.wav", dir / "out.wav"});
    const RunResult r = runRender(args, "KLV_PROBE_DELAY=100");
    ASSERT_EQ(r.code, 0) << r.err;

    std::vector<float> expected(static_cast<std::size_t>(c.frames) * 2, 0.0f);
    if (c.expectedAt >= 0) expected[c.expectedAt * 2] = expected[c.expectedAt * 2 + 1] = 0.5f;
    EXPECT_EQ(readAudio(dir / "out.wav").samples, expected);
    // 100 frames at 44100 Hz are 2.27 ms.
    const std::string delay = std::to_string(100 * c.plugins) + " frames (" + (c.plugins == 1 ? "2.3" : "4.5") +
                              " ms), " + (c.compensate ? "compensated" : "not compensated (--no-compensate)");
    EXPECT_NE(r.out.find("delay    " + delay + "\n"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Delays, DelayCompensation,
                         ::testing::Values(DelayCase{"compensated", 1, "512", 1000, 10, true, 10},
                                           DelayCase{"raw", 1, "512", 1000, 10, false, 110},
                                           DelayCase{"two_in_a_chain_near_the_end_blocks_of_7", 2, "7", 1000, 995, true,
                                                     995},
                                           DelayCase{"two_raw_past_the_end", 2, "7", 1000, 995, false, -1},
                                           DelayCase{"one_frame", 1, "512", 1, 0, true, 0},
                                           DelayCase{"one_frame_raw", 1, "512", 1, 0, false, -1},
                                           DelayCase{"empty", 2, "64", 0, 0, true, -1}),
                         [](const ::testing::TestParamInfo<DelayCase>& info) { return std::string(info.param.name); });

// Our plug-ins' look-ahead is part of their sound and reported as no delay:
// compensation must leave their output as it was.
TEST(DelayCompensation, KlvPluginsReportNoneAndRenderAsBefore) {
    for (const char* name : {"clampora", "tonvela"}) {
        const std::string plugin = builtPlugin(name);
        if (plugin.empty()) continue;
        TempDir dir;
        writeTestFile(dir / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 20000);
        const RunResult a = runRender({"-p", "1", plugin, dir / "in.wav", dir / "a.wav"});
        ASSERT_EQ(a.code, 0) << a.err;
        EXPECT_NE(a.out.find("delay    none reported\n"), std::string::npos) << a.out;
        const RunResult b = runRender({"-q", "--no-compensate", "-p", "1", plugin, dir / "in.wav", dir / "b.wav"});
        ASSERT_EQ(b.code, 0) << b.err;
        EXPECT_EQ(readAudio(dir / "a.wav").samples, readAudio(dir / "b.wav").samples) << name;
    }
}

}  // namespace
}  // namespace klv::test
