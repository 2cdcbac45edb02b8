// klv-render --list after --program and --set, and the demo.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include "tests/tools/render_test_util.h"

namespace klv::test {
namespace {

// The parameter rows of a listing by name: the whitespace-separated fields
// after the name (value, display, and the label and editor read-out where
// present).
std::map<std::string, std::vector<std::string>> parameterRows(const std::string& listing) {
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(listing);
    std::string line;
    bool inTable = false;
    while (std::getline(lines, line)) {
        if (line.rfind("parameters (", 0) == 0) {
            inTable = true;
            continue;
        }
        if (line.rfind("programs (", 0) == 0) break;
        if (!inTable || line.find("#  name") != std::string::npos) continue;
        std::istringstream fields(line);
        std::string index, name, field;
        fields >> index >> name;
        while (fields >> field) rows[name].push_back(field);
    }
    return rows;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(List, CompressorAfterProgramAndSettings) {
    const std::string plugin = builtPlugin("clampora");
    if (plugin.empty()) GTEST_SKIP() << "clampora is not built";
    const RunResult r = runRender({"--list", "--program", "vocal1", "--set", "compress=0.6", "--set", "input=1",
                                   "--set", "9=1", "--set", "MIX=0.25", plugin});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "name      KLV Clampora\n"));
    EXPECT_TRUE(contains(r.out, "product   The KLV Compressor plug-in\n"));
    EXPECT_TRUE(contains(r.out, "id        KcLP (0x4B634C50)"));
    EXPECT_TRUE(contains(r.out, "channels  2 in, 2 out\n"));
    EXPECT_TRUE(contains(r.out, "programs (48), current 7:\n"));
    EXPECT_TRUE(contains(r.out, "    7* vocal1\n"));
    EXPECT_TRUE(contains(r.out, "   47  init\n"));
    const auto rows = parameterRows(r.out);
    ASSERT_EQ(rows.size(), 18u);
    // Value, host display (a bare number), editor read-out. Editor values by
    // hand: input 1 is 10^(1.2 x 0.5) = +6... no: 20 log10(10^0.6) = 12 dB;
    // scFreq 1 is 25 x 600 = 15000 Hz; vocal1's release 0.0833 shows "slow".
    EXPECT_EQ(rows.at("compress"), (std::vector<std::string>{"0.6", "0.600000", "60%"}));
    EXPECT_EQ(rows.at("input"), (std::vector<std::string>{"1", "1.000000", "12.0dB"}));
    EXPECT_EQ(rows.at("scFreq"), (std::vector<std::string>{"1", "1.000000", "15000Hz"}));
    EXPECT_EQ(rows.at("mix"), (std::vector<std::string>{"0.25", "0.250000", "25%"}));
    EXPECT_EQ(rows.at("release").back(), "slow");
    EXPECT_EQ(rows.at("make-up").back(), "auto");
    // Switches have no editor read-out.
    EXPECT_EQ(rows.at("Delay"), (std::vector<std::string>{"1", "1.000000"}));
}

TEST(List, SaturatorReadOuts) {
    const std::string plugin = builtPlugin("tonvela-mono");
    if (plugin.empty()) GTEST_SKIP() << "tonvela-mono is not built";
    const RunResult r = runRender({"--list", "-p", "31", "-s", "input=0", "-s", "shape=0.42857143", "-s", "bassFreq=1",
                                   "-s", "trebleFreq=0", plugin});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "name      KLV Tonvela\n"));
    EXPECT_TRUE(contains(r.out, "channels  1 in, 1 out\n"));
    EXPECT_TRUE(contains(r.out, "programs (32), current 31:\n"));
    const auto rows = parameterRows(r.out);
    ASSERT_EQ(rows.size(), 16u);
    // By hand: input 0 is 10^(-0.6), -12 dB; shape 3/7 is "valve3"; bass
    // corner 50 + 450 = 500 Hz; treble corner 2000 Hz at 0.
    EXPECT_EQ(rows.at("input").back(), "-12.0dB");
    EXPECT_EQ(rows.at("shape").back(), "valve3");
    EXPECT_EQ(rows.at("bassFreq").back(), "500Hz");
    EXPECT_EQ(rows.at("trebleFreq").back(), "2000Hz");
}

TEST(List, OtherPluginsHaveNoEditorColumn) {
    const RunResult r = runRender({"--list", KLV_PROBE_PLUGIN});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "id        KtPr"));
    EXPECT_TRUE(contains(r.out, "parameters (0):\n"));
    EXPECT_FALSE(contains(r.out, "editor"));
}

// $KLV_PLUGIN_PATH comes first: a library named like the compressor there
// (here the probe) wins over the build's own.
TEST(List, ShortNameSearchStartsWithPluginPath) {
    TempDir dir;
    ASSERT_EQ(::symlink(KLV_PROBE_PLUGIN, (dir / "KLV_Clampora.so").c_str()), 0);
    const RunResult r = runRender({"--list", "clampora"}, "KLV_PLUGIN_PATH=/nonexistent:" + shellQuote(dir.path()));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "plug-in   " + dir.path() + "/KLV_Clampora.so\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "id        KtPr")) << r.out;
}

TEST(Demo, WritesEveryRenderAndTheTable) {
    const bool clampora = !builtPlugin("clampora").empty();
    const bool tonvela = !builtPlugin("tonvela").empty();
    if (!clampora && !tonvela) GTEST_SKIP() << "no KLV plug-in built";
    TempDir dir;
    // Run without arguments from the folder: the default is ./klv-demo.
    const RunResult r = runRender({}, "cd " + shellQuote(dir.path()) + " &&");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string out = dir / "klv-demo";
    const Audio programme = readAudio(out + "/programme.wav");
    EXPECT_EQ(programme.channels, 2);
    EXPECT_EQ(programme.sampleRate, 44100);
    EXPECT_EQ(programme.frames(), 8 * 44100);  // four bars at 120 BPM
    std::vector<std::string> files;
    if (clampora) files.insert(files.end(), {"clampora-universal.wav", "clampora-l-a-2-limit.wav"});
    if (tonvela) files.insert(files.end(), {"tonvela-hot-valve2.wav", "tonvela-digital.wav"});
    for (const auto& f : files) {
        const Audio a = readAudio(out + "/" + f);
        EXPECT_EQ(a.frames(), programme.frames()) << f;
        EXPECT_NE(a.samples, programme.samples) << f;
        EXPECT_TRUE(contains(r.out, f)) << f;
    }
    EXPECT_TRUE(contains(r.out, "(dry)"));

    // Deterministic: a second run gives the same programme, byte for byte.
    const RunResult again = runRender({"--demo", dir / "again"});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(readText(dir / "again/programme.wav"), readText(out + "/programme.wav"));
}

}  // namespace
}  // namespace klv::test
