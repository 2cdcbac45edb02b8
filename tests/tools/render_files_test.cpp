// klv-render on generated files: formats kept, the bypass gain, the two
// audio calls, block sizes and the host's order of requests.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

#include "tests/tools/render_test_util.h"

namespace klv::test {
namespace {

#define REQUIRE_PLUGIN(path, name)              \
    const std::string path = builtPlugin(name); \
    if (path.empty()) GTEST_SKIP() << name << " is not built";

struct FormatCase {
    const char* name;
    int format;
    int channels;
    int sampleRate;
    long frames;
};

class FormatKept : public ::testing::TestWithParam<FormatCase> {};

// "process" 0 with "input" 0.5 is the compressor's bypass at unity gain, so
// the output holds exactly the input's samples, in the input's format.
TEST_P(FormatKept, BypassReturnsTheInputInItsFormat) {
    REQUIRE_PLUGIN(plugin, "clampora");
    const FormatCase& c = GetParam();
    TempDir dir;
    const std::string ext = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC   ? ".flac"
                            : (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF ? ".aiff"
                                                                                : ".wav";
    const Audio in = writeTestFile(dir / ("in" + ext), c.channels, c.format, c.frames, c.sampleRate);
    const Audio stored = readAudio(dir / ("in" + ext));  // quantised as the file holds it

    const RunResult r =
        runRender({"-q", "--set", "process=0", "--set", "input=0.5", plugin, dir / ("in" + ext), dir / ("out" + ext)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Audio out = readAudio(dir / ("out" + ext));
    EXPECT_EQ(out.format, c.format);
    EXPECT_EQ(out.sampleRate, c.sampleRate);
    EXPECT_EQ(out.channels, c.channels);
    ASSERT_EQ(out.frames(), c.frames);
    EXPECT_EQ(out.samples, stored.samples);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in" + ext, "out" + ext}));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatKept,
    ::testing::Values(FormatCase{"wav16_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 1000},
                      FormatCase{"wav24_mono_48k", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000, 4097},
                      FormatCase{"wav32_stereo_96k", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 96000, 513},
                      FormatCase{"wavfloat_mono_22k", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 22050, 1},
                      FormatCase{"aiff16_stereo", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, 2048},
                      FormatCase{"aiff24_mono", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 32000, 777},
                      FormatCase{"aifffloat_stereo", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 44100, 600},
                      FormatCase{"flac16_mono", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, 3000},
                      FormatCase{"flac24_stereo_48k", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 48000, 5000},
                      FormatCase{"wavfloat_empty", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 0},
                      FormatCase{"wav16_mono_8k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 2000},
                      FormatCase{"wavfloat_stereo_384k", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 384000, 9000},
                      FormatCase{"flac24_mono_one_frame", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 48000, 1}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

struct GainCase {
    const char* name;
    const char* call;
    const char* input;
    double gain;  // 10^(1.2 (input - 0.5)), worked out by hand
};

class BypassGain : public ::testing::TestWithParam<GainCase> {};

// The compressor glides its input gain towards the target by a tenth of the
// distance per block, so after 1250 blocks of 16 the glide is over (0.9^625
// is far below float precision) and the second half shows the plain gain.
TEST_P(BypassGain, OutputIsInputTimesInputGain) {
    REQUIRE_PLUGIN(plugin, "clampora");
    const GainCase& c = GetParam();
    TempDir dir;
    const Audio in = writeTestFile(dir / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 20000);
    const RunResult r = runRender({"-q", "--call", c.call, "-s", "process=0", "-s", std::string("input=") + c.input,
                                   "-b", "16", plugin, dir / "in.wav", dir / "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Audio out = readAudio(dir / "out.wav");
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (std::size_t i = in.samples.size() / 2; i < in.samples.size(); ++i)
        ASSERT_NEAR(out.samples[i], in.samples[i] * c.gain, 1e-6 * c.gain) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Gains, BypassGain,
                         ::testing::Values(GainCase{"replacing_up", "processReplacing", "0.75", 1.9952623149688795},
                                           GainCase{"accumulating_up", "process", "0.75", 1.9952623149688795},
                                           GainCase{"replacing_down", "processReplacing", "0", 0.25118864315095796},
                                           GainCase{"accumulating_unity", "process", "0.5", 1.0}),
                         [](const ::testing::TestParamInfo<GainCase>& info) { return std::string(info.param.name); });

struct ProgramCase {
    const char* name;
    const char* plugin;
    const char* program;
};

class CallsAgree : public ::testing::TestWithParam<ProgramCase> {};

// The host clears the outputs before an accumulating call, so both calls
// must give the same file, bit for bit.
TEST_P(CallsAgree, ProcessAndProcessReplacingGiveTheSameFile) {
    REQUIRE_PLUGIN(plugin, GetParam().plugin);
    TempDir dir;
    const int channels = std::string(GetParam().plugin).find("mono") == std::string::npos ? 2 : 1;
    const Audio in = writeTestFile(dir / "in.wav", channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 20000);
    for (const char* call : {"process", "processReplacing"}) {
        const RunResult r = runRender({"-q", "--program", GetParam().program, "--call", call, plugin, dir / "in.wav",
                                       dir / (std::string(call) + ".wav")});
        ASSERT_EQ(r.code, 0) << r.err;
    }
    const Audio a = readAudio(dir / "process.wav");
    const Audio b = readAudio(dir / "processReplacing.wav");
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_NE(a.samples, in.samples);  // the program did something
}

INSTANTIATE_TEST_SUITE_P(Programs, CallsAgree,
                         ::testing::Values(ProgramCase{"clampora_drums2", "clampora", "drums2"},
                                           ProgramCase{"clampora_mono_vocal1", "clampora-mono", "vocal1"},
                                           ProgramCase{"tonvela_hot_tape3", "tonvela", "hot tape3"},
                                           ProgramCase{"tonvela_mono_digital", "tonvela-mono", "digital"}),
                         [](const ::testing::TestParamInfo<ProgramCase>& info) {
                             return std::string(info.param.name);
                         });

class BlockSizes : public ::testing::TestWithParam<const char*> {};

// Bypass and pass-through involve no per-block state, so every block size
// gives the same file as the default 512. (The input gain glides per block,
// so it stays at the programs' 0.5 here.)
TEST_P(BlockSizes, BypassAndPassThroughAreBlockIndependent) {
    struct Run {
        std::string plugin;
        std::vector<std::string> settings;
    };
    std::vector<Run> runs = {{KLV_PROBE_PLUGIN, {}}};
    if (!builtPlugin("clampora").empty()) runs.push_back({builtPlugin("clampora"), {"-s", "process=0"}});
    if (!builtPlugin("tonvela").empty()) runs.push_back({builtPlugin("tonvela"), {"-s", "process=0"}});
    TempDir dir;
    const Audio in = writeTestFile(dir / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 5001);
    for (const Run& run : runs) {
        for (const std::string& block : {std::string("512"), std::string(GetParam())}) {
            std::vector<std::string> args = {"-q", "--force", "-b", block};
            args.insert(args.end(), run.settings.begin(), run.settings.end());
            args.insert(args.end(), {run.plugin, dir / "in.wav", dir / ("b" + block + ".wav")});
            const RunResult r = runRender(args);
            ASSERT_EQ(r.code, 0) << r.err;
        }
        EXPECT_EQ(readAudio(dir / "b512.wav").samples,
                  readAudio(dir / (std::string("b") + GetParam() + ".wav")).samples)
            << run.plugin;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockSizes, ::testing::Values("1", "7", "64", "4095", "100000"));

struct ProbeCase {
    const char* name;
    int channels;
    const char* call;
    const char* block;
    const char* expected;
};

class HostOrder : public ::testing::TestWithParam<ProbeCase> {};

// The probe plug-in logs its requests: open, rate, block size, resume, the
// audio calls (the input-2 question answered 0 = connected only for a stereo
// file), suspend, close; 1000 frames in blocks of at most the block size.
TEST_P(HostOrder, RequestsComeInTheHostOrder) {
    const ProbeCase& c = GetParam();
    TempDir dir;
    const Audio in = writeTestFile(dir / "in.wav", c.channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000, 48000);
    const RunResult r =
        runRender({"-q", "--call", c.call, "-b", c.block, KLV_PROBE_PLUGIN, dir / "in.wav", dir / "out.wav"},
                  "KLV_PROBE_LOG=" + shellQuote(dir / "log"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readText(dir / "log"), c.expected);
    EXPECT_EQ(readAudio(dir / "out.wav").samples, readAudio(dir / "in.wav").samples);
}

INSTANTIATE_TEST_SUITE_P(
    Probe, HostOrder,
    ::testing::Values(ProbeCase{"stereo", 2, "processReplacing", "300",
                                "open rate:48000 block:300 mains:1 pin1:0 replacing:4 accumulating:0 frames:1000 "
                                "max:300 mains:0 close"},
                      ProbeCase{"mono", 1, "process", "512",
                                "open rate:48000 block:512 mains:1 pin1:1 replacing:0 accumulating:2 frames:1000 "
                                "max:512 mains:0 close"}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

// Twice full scale into 16 bits must clip at full scale, not wrap round to
// the opposite sign. Five copies of the pattern reach past the scans'
// four-sample steps into their one-by-one ends.
TEST(OutputFormat, IntegerOutputClipsAtFullScale) {
    TempDir dir;
    Audio in;
    in.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    for (int copy = 0; copy < 5; ++copy) in.samples.insert(in.samples.end(), {0.5f, 2.0f, -2.0f, 1.5f, -0.25f});
    writeAudio(dir / "in.wav", in);
    const RunResult r = runRender({"--bits", "16", KLV_PROBE_PLUGIN, dir / "in.wav", dir / "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Audio out = readAudio(dir / "out.wav");
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(out.samples.size(), 25u);
    for (int copy = 0; copy < 5; ++copy) {
        const float* s = &out.samples[copy * 5];
        EXPECT_FLOAT_EQ(s[0], 0.5f);
        EXPECT_GT(s[1], 0.999f);
        EXPECT_LE(s[2], -0.999f);
        EXPECT_GT(s[3], 0.999f);
        EXPECT_FLOAT_EQ(s[4], -0.25f);
    }
    EXPECT_NE(r.out.find("clipped  15 samples beyond full scale"), std::string::npos) << r.out;
}

// A plug-in's NaN or infinite output must not reach the file: it is written
// as silence and counted in the summary. The input's damaged samples say
// nothing about its level either.
TEST(OutputFormat, NonFiniteOutputIsWrittenAsZero) {
    TempDir dir;
    Audio in;
    in.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    for (int copy = 0; copy < 5; ++copy) in.samples.insert(in.samples.end(), {0.5f, std::nanf(""), INFINITY, -0.25f});
    writeAudio(dir / "in.wav", in);
    const RunResult r = runRender({KLV_PROBE_PLUGIN, dir / "in.wav", dir / "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<float> expected;
    for (int copy = 0; copy < 5; ++copy) expected.insert(expected.end(), {0.5f, 0.0f, 0.0f, -0.25f});
    EXPECT_EQ(readAudio(dir / "out.wav").samples, expected);
    EXPECT_NE(r.out.find("invalid  10 NaN or infinite samples written as 0"), std::string::npos) << r.out;
    // Peak 0.5 is -6.0 dBFS; RMS sqrt(5 (0.25 + 0.0625) / 20) = 0.2795 is
    // -11.1 dBFS, for the input as for the output.
    EXPECT_NE(r.out.find("      1      -6.0     -11.1      -6.0     -11.1\n"), std::string::npos) << r.out;
}

struct ConversionCase {
    const char* name;
    int inFormat;
    std::vector<std::string> options;
    const char* outName;
    int outFormat;
};

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, OutputFormatFollowsOptionsThenExtensionThenInput) {
    const ConversionCase& c = GetParam();
    TempDir dir;
    const Audio in = writeTestFile(dir / "in.wav", 2, c.inFormat, 700);
    std::vector<std::string> args = {"-q"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {KLV_PROBE_PLUGIN, dir / "in.wav", dir / c.outName});
    const RunResult r = runRender(args);
    ASSERT_EQ(r.code, 0) << r.err;
    const Audio out = readAudio(dir / c.outName);
    EXPECT_EQ(out.format, c.outFormat);
    EXPECT_EQ(out.frames(), 700);
}

INSTANTIATE_TEST_SUITE_P(Formats, Conversion,
                         ::testing::Values(ConversionCase{"extension_flac",
                                                          SF_FORMAT_WAV | SF_FORMAT_PCM_24,
                                                          {},
                                                          "out.flac",
                                                          SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                                           ConversionCase{"float_into_flac_is_24_bit",
                                                          SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                                          {},
                                                          "out.flac",
                                                          SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                                           ConversionCase{"format_and_bits",
                                                          SF_FORMAT_WAV | SF_FORMAT_PCM_24,
                                                          {"--format", "aiff", "--bits", "16"},
                                                          "out.snd",
                                                          SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                                           ConversionCase{"unknown_extension_keeps_input",
                                                          SF_FORMAT_WAV | SF_FORMAT_PCM_32,
                                                          {},
                                                          "out.data",
                                                          SF_FORMAT_WAV | SF_FORMAT_PCM_32},
                                           ConversionCase{"bits_float",
                                                          SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                          {"--bits=float"},
                                                          "out.wav",
                                                          SF_FORMAT_WAV | SF_FORMAT_FLOAT}),
                         [](const ::testing::TestParamInfo<ConversionCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace klv::test

namespace klv::test {
namespace {

// Levels worked out by hand: DC at 0.5 is -6.0 dBFS peak and RMS; a square
// wave of +-0.25 is -12.0 dBFS for both; the probe passes them through.
TEST(Summary, LevelsLengthAndFormats) {
    TempDir dir;
    Audio in;
    in.channels = 2;
    in.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    for (int n = 0; n < 44100; ++n) in.samples.insert(in.samples.end(), {0.5f, (n / 50) % 2 ? 0.25f : -0.25f});
    writeAudio(dir / "in.wav", in);
    const RunResult r = runRender({"--bits", "24", KLV_PROBE_PLUGIN, dir / "in.wav", dir / "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("input    " + dir.path() + "/in.wav: WAV float, 2 ch, 44100 Hz, 0:01.000 (44100 frames)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("output   " + dir.path() + "/out.wav: WAV 24-bit, 2 ch, 44100 Hz, 0:01.000 (44100 frames)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("      1      -6.0      -6.0      -6.0      -6.0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("      2     -12.0     -12.0     -12.0     -12.0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("x real time"), std::string::npos) << r.out;
    // The probe has no name and no programs.
    EXPECT_EQ(
        r.out.rfind(std::string("plug-in  ") + KLV_PROBE_PLUGIN + ", program none, processReplacing, block 512\n", 0),
        0u)
        << r.out;
}

}  // namespace
}  // namespace klv::test
