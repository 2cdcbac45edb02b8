// Batches into an output folder, the JSON report and the loudness figures.
#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <sstream>

#include "tests/tools/render_test_util.h"

namespace klv::test {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The table row of a file: the fields before its status, by column.
std::vector<std::string> tableRow(const std::string& table, const std::string& file) {
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        if (!contains(line, " " + file)) continue;
        std::istringstream fields(line);
        std::vector<std::string> row;
        std::string field;
        while (fields >> field) row.push_back(field);
        return row;
    }
    return {};
}

// A figure in dB as the table shows it; null in the report is minus
// infinity (silence, or too short to gate).
std::string oneDecimal(const Json& db) {
    if (db.kind == Json::Kind::kNull) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", db.number);
    return text;
}

// Files of several kinds, rates and lengths, so that parallel workers differ.
void writeBatch(const TempDir& dir) {
    ::mkdir((dir / "in").c_str(), 0755);
    writeTestFile(dir / "in/a.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 30000);
    writeTestFile(dir / "in/b.flac", 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 12345, 8000);
    writeTestFile(dir / "in/c.aiff", 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 20000, 96000);
    writeTestFile(dir / "in/d.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1);
    writeTestFile(dir / "in/e.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 25000, 48000);
}

TEST(Batch, ParallelWorkersGiveWhatOneAtATimeGives) {
    const std::string tonvela = builtPlugin("tonvela");
    const std::string clampora = builtPlugin("clampora");
    if (tonvela.empty() || clampora.empty()) GTEST_SKIP() << "tonvela and clampora are needed";
    TempDir dir;
    writeBatch(dir);
    const std::vector<std::string> chain = {"-p", "hot tape3", tonvela, "+", "-p", "mix1", clampora};
    std::vector<std::string> parallel = {"-q", "-j", "3", "-o", dir / "parallel"};
    parallel.insert(parallel.end(), chain.begin(), chain.end());
    parallel.push_back(dir / "in");  // the folder stands for its files
    RunResult r = runRender(parallel);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> names = {"a.wav", "b.flac", "c.aiff", "d.wav", "e.wav"};
    EXPECT_EQ(dir.entries("parallel"), names);
    for (const auto& name : names) {
        std::vector<std::string> single = {"-q"};
        single.insert(single.end(), chain.begin(), chain.end());
        single.insert(single.end(), {dir / ("in/" + name), dir / ("single-" + name)});
        r = runRender(single);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(readText(dir / ("parallel/" + name)), readText(dir / ("single-" + name))) << name;
    }
}

// One file that is not audio, in the middle of the batch, fails with its
// own line and status; the others are rendered, and the report says it all
// as the table does.
TEST(Batch, UnreadableFileFailsAloneAndJsonMatchesTheTable) {
    TempDir dir;
    writeBatch(dir);
    writeText(dir / "in/c2.wav", "not audio");
    const RunResult r = runRender({"-L", "-j", "2", "-o", dir / "out", "--name", "{name}-out.{ext}", "--json",
                                   dir / "report.json", KLV_PROBE_PLUGIN, dir / "in"},
                                  "KLV_PROBE_DELAY=100");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "klv-render: " + dir.path() +
                         "/in/c2.wav: unsupported format or not an audio file (Format not recognised.)\n");
    EXPECT_EQ(dir.entries("out"),
              (std::vector<std::string>{"a-out.wav", "b-out.flac", "c-out.aiff", "d-out.wav", "e-out.wav"}));
    EXPECT_EQ(readAudio(dir / "out/e-out.wav").samples, readAudio(dir / "in/e.wav").samples);  // delay taken out
    EXPECT_TRUE(contains(r.out, "6 files: 5 done, 1 not done;")) << r.out;

    const Json report = parseJson(readText(dir / "report.json"));
    EXPECT_EQ(report["exitStatus"].number, 3);
    EXPECT_EQ(report["done"].number, 5);
    const Json& files = report["files"];
    ASSERT_EQ(files.items.size(), 6u);
    const Json& failed = files[3];
    EXPECT_EQ(failed["input"].text, dir / "in/c2.wav");
    EXPECT_EQ(failed["status"].text, "failed");
    EXPECT_EQ(failed["exitStatus"].number, 3);
    EXPECT_EQ(tableRow(r.out, failed["input"].text).at(9), "failed") << r.out;
    for (std::size_t i : {0, 1, 2, 4, 5}) {
        const Json& f = files[i];
        ASSERT_EQ(f["status"].text, "done");
        const std::vector<std::string> row = tableRow(r.out, f["input"].text);
        ASSERT_EQ(row.size(), 13u) << r.out;
        EXPECT_EQ(f["chain"][0]["plugin"].text, KLV_PROBE_PLUGIN);
        EXPECT_EQ(f["delayFrames"].number, 100);
        EXPECT_TRUE(f["delayCompensated"].boolean);
        EXPECT_EQ(f["inputFrames"].number, f["outputFrames"].number);
        const Json* peak = &f["levels"]["output"]["peakDbfs"][0];
        for (const Json& p : f["levels"]["output"]["peakDbfs"].items)
            if (p.number > peak->number) peak = &p;
        EXPECT_EQ(row[2], oneDecimal(*peak));
        EXPECT_EQ(row[4], oneDecimal(f["loudness"]["input"]["integratedLufs"]));
        EXPECT_EQ(row[5], oneDecimal(f["loudness"]["output"]["integratedLufs"]));
        EXPECT_EQ(row[6], oneDecimal(f["loudness"]["output"]["rangeLu"]));
        EXPECT_EQ(row[7], oneDecimal(f["loudness"]["output"]["truePeakDbtp"]));
        EXPECT_EQ(row[9], "done");
        EXPECT_EQ(row[10], f["input"].text);
        EXPECT_EQ(row[12], f["output"].text);
    }
}

struct LoudnessCase {
    const char* name;
    int channels;
    double amplitude;
    double hz;  // as a fraction of the rate when below 1
    double phase;
    double integratedLufs;  // NAN: not checked
    double truePeakDbtp;
};

void PrintTo(const LoudnessCase& c, std::ostream* os) {
    *os << c.name;
}

class Loudness : public ::testing::TestWithParam<LoudnessCase> {};

// Through the pass-through probe, input and output read alike. BS.1770
// calibrates a 1 kHz sine of amplitude 0.1 (-20 dBFS) to -23.0 LUFS in one
// channel and -20.0 in both of a stereo pair. A sine at a quarter of the
// rate sampled 45 degrees off its crests peaks 3 dB above its samples.
TEST_P(Loudness, KnownSignalsReadAsCalibrated) {
    const LoudnessCase& c = GetParam();
    TempDir dir;
    const int rate = 48000;
    const double hz = c.hz < 1.0 ? c.hz * rate : c.hz;
    sineFile(dir / "in.wav", c.channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3 * rate, rate, hz, c.amplitude, c.phase);
    const RunResult r =
        runRender({"-L", "--json", dir / "report.json", KLV_PROBE_PLUGIN, dir / "in.wav", dir / "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Json report = parseJson(readText(dir / "report.json"));
    const Json& file = report["files"][0];
    for (const char* side : {"input", "output"}) {
        const Json& l = file["loudness"][side];
        if (!std::isnan(c.integratedLufs)) {
            EXPECT_NEAR(l["integratedLufs"].number, c.integratedLufs, 0.1) << side;
        }
        EXPECT_NEAR(l["truePeakDbtp"].number, c.truePeakDbtp, 0.2) << side;
        EXPECT_NEAR(l["rangeLu"].number, 0.0, 0.1) << side;  // a steady tone has no range
        double samplePeak = -1e9;
        for (const Json& p : file["levels"][side]["peakDbfs"].items) samplePeak = std::max(samplePeak, p.number);
        if (c.phase != 0.0) {
            EXPECT_GT(l["truePeakDbtp"].number, samplePeak + 2.5) << side;
        }
    }
    EXPECT_TRUE(contains(r.out, "loudness   integrated      range    true peak\n")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, Loudness,
    ::testing::Values(LoudnessCase{"mono_1k_minus_20", 1, 0.1, 1000, 0.0, -23.0, -20.0},
                      LoudnessCase{"stereo_1k_minus_20", 2, 0.1, 1000, 0.0, -20.0, -20.0},
                      LoudnessCase{"inter_sample_peak", 2, 0.5, 0.25, 0.7853981633974483, NAN, -6.02}),
    [](const ::testing::TestParamInfo<LoudnessCase>& info) { return std::string(info.param.name); });

// The output's figures are libebur128's own for the file written (float, so
// the file holds exactly the samples measured).
TEST(Loudness, EqualsLibebur128OnTheRenderedFile) {
    const std::string plugin = builtPlugin("clampora");
    if (plugin.empty()) GTEST_SKIP() << "clampora is not built";
    TempDir dir;
    writeTestFile(dir / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 5 * 44100);
    const RunResult r =
        runRender({"-L", "--json", dir / "report.json", "-p", "drums2", plugin, dir / "in.wav", dir / "out.wav"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Json report = parseJson(readText(dir / "report.json"));
    const Json& measured = report["files"][0]["loudness"]["output"];

    const Audio out = readAudio(dir / "out.wav");
    ebur128_state* meter = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(meter, out.samples.data(), static_cast<std::size_t>(out.frames()));
    double integrated = 0, range = 0, peakLeft = 0, peakRight = 0;
    ebur128_loudness_global(meter, &integrated);
    ebur128_loudness_range(meter, &range);
    ebur128_true_peak(meter, 0, &peakLeft);
    ebur128_true_peak(meter, 1, &peakRight);
    ebur128_destroy(&meter);
    EXPECT_EQ(measured["integratedLufs"].number, integrated);
    EXPECT_EQ(measured["rangeLu"].number, range);
    EXPECT_EQ(measured["truePeakDbtp"].number, 20.0 * std::log10(std::max(peakLeft, peakRight)));
    EXPECT_GT(range, 1.0);  // the test signal steps up half way
}

}  // namespace
}  // namespace klv::test
