// Bad input: one line on stderr, the documented exit status, and no output
// file (nor a temporary one) left behind; an existing output stays as it was.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>

#include "tests/tools/render_test_util.h"

namespace klv::test {
namespace {

// Placeholders in the arguments, filled in per test folder.
constexpr const char* kDir = "@DIR";

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;  // "@DIR" is replaced by the test folder
    int code;
    const char* message;  // part of the stderr line
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class RenderErrors : public ::testing::TestWithParam<ErrorCase> {};

std::string expand(const std::string& arg, const std::string& dir) {
    const auto at = arg.find(kDir);
    if (at == std::string::npos) return arg;
    return arg.substr(0, at) + dir + arg.substr(at + std::string(kDir).size());
}

const std::string kClampora = std::string(KLV_PLUGIN_DIR) + "/KLV_Clampora.so";
const std::string kClamporaMono = std::string(KLV_PLUGIN_DIR) + "/KLV_Clampora_mono.so";

TEST_P(RenderErrors, OneLineErrorStatusAndNoOutput) {
    const ErrorCase& c = GetParam();
    // Only the KLV plug-ins may be missing from a build; everything else a
    // case uses, this test or the build made.
    for (const auto& a : c.args)
        if ((a == kClampora || a == kClamporaMono) && !fileExists(a)) GTEST_SKIP() << a << " is not built";
    TempDir dir;
    writeTestFile(dir / "stereo.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2000);
    writeTestFile(dir / "three.wav", 3, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2000);
    writeTestFile(dir / "eight.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2000);
    writeText(dir / "text.wav", "this is not audio\n");
    writeText(dir / "existing.wav", "previous contents");
    ::mkdir((dir / "folder").c_str(), 0755);
    const std::vector<std::string> before = dir.entries();

    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(expand(a, dir.path()));
    const RunResult r = runRender(args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(expand(c.message, dir.path())), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("klv-render: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.entries(), before);
    EXPECT_EQ(readText(dir / "existing.wav"), "previous contents");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderErrors,
    ::testing::Values(
        ErrorCase{"missing_input", {kClampora, "@DIR/none.wav", "@DIR/out.wav"}, 3, "No such file or directory"},
        ErrorCase{"input_is_a_folder", {kClampora, "@DIR/folder", "@DIR/out.wav"}, 3, "it is a folder"},
        ErrorCase{"input_not_audio", {kClampora, "@DIR/text.wav", "@DIR/out.wav"}, 3, "unsupported format"},
        ErrorCase{"input_8_bit", {kClampora, "@DIR/eight.wav", "@DIR/out.wav"}, 3, "unsupported format"},
        ErrorCase{"too_many_channels_mono_plugin",
                  {kClamporaMono, "@DIR/stereo.wav", "@DIR/out.wav"},
                  3,
                  "has 2 channels; the plug-in takes 1 in and 1 out"},
        ErrorCase{"too_many_channels", {kClampora, "@DIR/three.wav", "@DIR/out.wav"}, 3, "has 3 channels"},
        ErrorCase{"no_entry",
                  {KLV_NOT_PLUGIN_NO_ENTRY, "@DIR/stereo.wav", "@DIR/out.wav"},
                  4,
                  "exports neither VSTPluginMain nor main"},
        ErrorCase{"entry_gives_null",
                  {KLV_NOT_PLUGIN_NULL_ENTRY, "@DIR/stereo.wav", "@DIR/out.wav"},
                  4,
                  "entry gave no effect"},
        ErrorCase{
            "wrong_magic", {KLV_NOT_PLUGIN_BAD_MAGIC, "@DIR/stereo.wav", "@DIR/out.wav"}, 4, "lacks the VstP magic"},
        ErrorCase{"not_a_library", {"@DIR/stereo.wav", "@DIR/stereo.wav", "@DIR/out.wav"}, 4, "cannot load"},
        ErrorCase{"unknown_short_name",
                  {"compressor", "@DIR/stereo.wav", "@DIR/out.wav"},
                  4,
                  "plug-in \"compressor\" not found"},
        ErrorCase{"unknown_program_name",
                  {"-p", "vocal9", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "unknown program \"vocal9\"; programs: \"universal\", \"mix1\""},
        ErrorCase{"program_number_too_big",
                  {"-p", "48", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "no program 48: the plug-in has programs 0 to 47"},
        ErrorCase{"unknown_parameter",
                  {"-s", "volume=0.5", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "unknown parameter \"volume\""},
        ErrorCase{"parameter_index_too_big",
                  {"-s", "18=0.5", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "no parameter 18: the plug-in has parameters 0 to 17"},
        ErrorCase{"value_nan",
                  {"-s", "compress=nan", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "value of \"compress\" is not a finite number: \"nan\""},
        ErrorCase{"value_inf",
                  {"-s", "compress=-inf", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "not a finite number"},
        ErrorCase{"value_beyond_float",
                  {"-s", "compress=1e39", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "not a finite number"},
        ErrorCase{"value_text",
                  {"-s", "compress=0.5dB", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "not a finite number"},
        ErrorCase{"value_missing",
                  {"-s", "compress", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "--set takes NAME=VALUE"},
        ErrorCase{"block_zero", {"-b", "0", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"}, 2, "block size"},
        ErrorCase{"unknown_option",
                  {"--gain", "3", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "unknown option --gain"},
        ErrorCase{"flac_cannot_hold_float",
                  {"--bits", "float", kClampora, "@DIR/stereo.wav", "@DIR/out.flac"},
                  2,
                  "FLAC float"},
        ErrorCase{
            "output_folder_missing", {kClampora, "@DIR/stereo.wav", "@DIR/nowhere/out.wav"}, 5, "cannot write @DIR"},
        ErrorCase{"output_is_a_folder", {kClampora, "@DIR/stereo.wav", "@DIR/folder"}, 5, "it is a folder"},
        ErrorCase{"demo_with_program", {"--demo", "@DIR/demo", "-p", "vocal1"}, 2, "the demo chooses its own programs"},
        ErrorCase{"failed_run_keeps_existing_output",
                  {"-s", "nothing=1", kClampora, "@DIR/stereo.wav", "@DIR/existing.wav"},
                  2,
                  "unknown parameter"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// Root reads any file, so this case only means something for other users.
TEST(RenderErrorsUnreadable, UnreadableInput) {
    if (::geteuid() == 0) GTEST_SKIP() << "root can read any file";
    TempDir dir;
    writeText(dir / "in.wav", "x");
    ::chmod((dir / "in.wav").c_str(), 0);
    const RunResult r = runRender({KLV_PROBE_PLUGIN, dir / "in.wav", dir / "out.wav"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir / "out.wav"));
}

// The message of an output that cannot be written names the path as given.
TEST(RenderErrorsOutput, UnwritableFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root can write anywhere";
    TempDir dir;
    writeTestFile(dir / "in.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100);
    ::mkdir((dir / "locked").c_str(), 0555);
    const RunResult r = runRender({KLV_PROBE_PLUGIN, dir / "in.wav", dir / "locked/out.wav"});
    EXPECT_EQ(r.code, 5);
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace klv::test
