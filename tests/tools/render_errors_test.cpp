// Bad input: one line on stderr, the documented exit status, and no output
// file (nor a temporary one) left behind; an existing output stays as it was.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
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
    std::string message;  // part of the stderr line
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class RenderErrors : public ::testing::TestWithParam<ErrorCase> {};

std::string expand(std::string arg, const std::string& dir) {
    const std::string key = kDir;
    for (auto at = arg.find(key); at != std::string::npos; at = arg.find(key, at + dir.size()))
        arg.replace(at, key.size(), dir);
    return arg;
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
    ASSERT_EQ(::symlink("stereo.wav", (dir / "link.wav").c_str()), 0);
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

const std::string kProbe = KLV_PROBE_PLUGIN;

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
                  {"--force", "-s", "nothing=1", kClampora, "@DIR/stereo.wav", "@DIR/existing.wav"},
                  2,
                  "unknown parameter"},
        // Outputs are checked before anything is read.
        ErrorCase{"output_is_the_input",
                  {kProbe, "@DIR/stereo.wav", "@DIR/stereo.wav"},
                  5,
                  "cannot write @DIR/stereo.wav: it is the input @DIR/stereo.wav"},
        ErrorCase{"output_is_the_input_by_another_path_even_forced",
                  {"--force", kProbe, "@DIR/stereo.wav", "@DIR/folder/../stereo.wav"},
                  5,
                  "it is the input @DIR/stereo.wav"},
        ErrorCase{"output_links_to_the_input", {kProbe, "@DIR/stereo.wav", "@DIR/link.wav"}, 5, "it is the input"},
        ErrorCase{"output_exists",
                  {kProbe, "@DIR/stereo.wav", "@DIR/existing.wav"},
                  5,
                  "cannot write @DIR/existing.wav: it exists (add --force to replace it)"},
        ErrorCase{"batch_into_the_inputs_folder", {"-o", "@DIR", kProbe, "@DIR/stereo.wav"}, 5, "it is the input"},
        ErrorCase{"batch_two_inputs_one_output",
                  {"-o", "@DIR/out", kProbe, "@DIR/stereo.wav", "@DIR/stereo.wav"},
                  2,
                  "would both be written to @DIR/out/stereo.wav"},
        ErrorCase{"batch_folder_without_audio",
                  {"-o", "@DIR/out", kProbe, "@DIR/folder"},
                  3,
                  "@DIR/folder holds no .wav, .aif(f) or .flac file"},
        ErrorCase{"batch_unknown_program_fails_once",
                  {"-o", "@DIR/out", "-p", "vocal9", kClampora, "@DIR/stereo.wav", "@DIR/three.wav"},
                  2,
                  "unknown program \"vocal9\""},
        ErrorCase{"several_inputs_without_folder",
                  {kProbe, "@DIR/stereo.wav", "@DIR/three.wav", "@DIR/out.wav"},
                  2,
                  "several inputs need -o DIR"},
        // Chains.
        ErrorCase{
            "chain_narrower_than_the_file",
            {kClampora, "+", kClamporaMono, "@DIR/stereo.wav", "@DIR/out.wav"},
            3,
            "@DIR/stereo.wav has 2 channels; plug-in 2 of the chain (" + kClamporaMono + ") takes 1 in and 1 out"},
        ErrorCase{"chain_unknown_program_of_the_second",
                  {kClampora, "+", "-p", "vocal9", kClampora, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "unknown program \"vocal9\""},
        ErrorCase{"chain_empty_link",
                  {kProbe, "+", "+", kProbe, "@DIR/stereo.wav", "@DIR/out.wav"},
                  2,
                  "each \"+\" needs a plug-in on both sides"}),
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

// A full disk and a file size limit both stop the writer: the run fails
// with the reason, leaves no temporary file, and files finished before stay.
TEST(RenderErrorsOutput, FileSizeLimitFailsTheBigFileAlone) {
    TempDir dir;
    ::mkdir((dir / "in").c_str(), 0755);
    writeTestFile(dir / "in/a.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000);
    writeTestFile(dir / "in/b.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100);  // 176 kB
    writeTestFile(dir / "in/c.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000);
    // 64 blocks: 32 kB where sh counts 512 bytes (dash), 64 kB in bash.
    const RunResult r =
        runRender({"-q", "-j", "1", "-o", dir / "out", KLV_PROBE_PLUGIN, dir / "in"}, "ulimit -f 64 &&");
    EXPECT_EQ(r.code, 5);
    EXPECT_NE(r.err.find("cannot write " + dir.path() + "/out/b.wav: File too large"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(dir.entries("out"), (std::vector<std::string>{"a.wav", "c.wav"}));
    EXPECT_EQ(readAudio(dir / "out/a.wav").frames(), 1000);
}

struct MountCase {
    const char* name;
    const char* mountOptions;
    std::vector<std::string> args;  // before the plug-in and files
    const char* output;             // in the mounted folder "small"
    std::string message;
};

void PrintTo(const MountCase& c, std::ostream* os) {
    *os << c.name;
}

class OnOwnTmpfs : public ::testing::TestWithParam<MountCase> {};

// A small or read-only tmpfs of our own needs a mount namespace: where the
// machine allows unprivileged user namespaces, or as root. (Root writes into
// any folder, but not into a read-only file system.)
TEST_P(OnOwnTmpfs, FailsWithTheReasonAndLeavesNothing) {
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no mount namespace here (unshare -rm failed); FileSizeLimitFailsTheBigFileAlone covers the "
                        "writer's failure path";
    const MountCase& c = GetParam();
    TempDir dir;
    writeTestFile(dir / "in.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100);  // 176 kB
    ::mkdir((dir / "small").c_str(), 0755);
    std::string render = shellQuote(KLV_RENDER_EXE) + " -q";
    for (const auto& a : c.args) render += " " + shellQuote(expand(a, dir.path()));
    render += " " + shellQuote(KLV_PROBE_PLUGIN) + " " + shellQuote(dir / "in.wav");
    if (c.output[0]) render += " " + shellQuote(dir / c.output);
    const std::string command = "mount -t tmpfs -o " + std::string(c.mountOptions) + " klv-test " +
                                shellQuote(dir / "small") + " && " + render + " 2>" + shellQuote(dir / "err") +
                                "; echo $? >" + shellQuote(dir / "code") + "; ls -A " + shellQuote(dir / "small") +
                                " >" + shellQuote(dir / "left");
    ASSERT_EQ(std::system(("unshare -rm sh -c " + shellQuote(command)).c_str()), 0);
    EXPECT_EQ(readText(dir / "code"), "5\n");
    EXPECT_EQ(readText(dir / "err"), "klv-render: " + expand(c.message, dir.path()) + "\n");
    EXPECT_EQ(readText(dir / "left"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, OnOwnTmpfs,
    ::testing::Values(
        MountCase{
            "full_disk", "size=64k", {}, "small/out.wav", "cannot write @DIR/small/out.wav: No space left on device"},
        MountCase{
            "read_only_folder", "ro", {}, "small/out.wav", "cannot write @DIR/small/out.wav: Read-only file system"},
        MountCase{"read_only_output_folder",
                  "ro",
                  {"-o", "@DIR/small"},
                  "",
                  "cannot write into @DIR/small: Read-only file system"}),
    [](const ::testing::TestParamInfo<MountCase>& info) { return std::string(info.param.name); });

class Interrupted : public ::testing::TestWithParam<const char*> {};

// The second file is slowed down by the probe; once its temporary file
// exists the signal comes. The first output stays, nothing else does.
TEST_P(Interrupted, LeavesFinishedOutputsAndNoTemporaryFile) {
    TempDir dir;
    ::mkdir((dir / "in").c_str(), 0755);
    writeTestFile(dir / "in/a.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000);
    writeTestFile(dir / "in/b.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 20 * 44100);
    std::string render = "KLV_PROBE_SLEEP_US=2000 " + shellQuote(KLV_RENDER_EXE);
    for (const std::string& a : {std::string("-q"), std::string("-j"), std::string("1"), std::string("-o"), dir / "out",
                                 std::string(KLV_PROBE_PLUGIN), dir / "in/a.wav", dir / "in/b.wav"})
        render += " " + shellQuote(a);
    // The loop gives up after 20 s; the render itself would take 3.5 s.
    const std::string command = render + " 2>" + shellQuote(dir / "err") + " & n=0; until ls -A " +
                                shellQuote(dir / "out") + " 2>/dev/null | grep -q '^[.]b[.]wav'; do sleep 0.01; " +
                                "n=$((n+1)); [ $n -lt 2000 ] && kill -0 $! || break; done; kill -" + GetParam() +
                                " $!; wait $!";
    const int status = std::system(("sh -c " + shellQuote(command)).c_str());
    EXPECT_EQ(WEXITSTATUS(status), 130) << readText(dir / "err");
    EXPECT_EQ(readText(dir / "err"), "klv-render: interrupted after 1 of 2 files; no partial output left\n");
    EXPECT_EQ(dir.entries("out"), (std::vector<std::string>{"a.wav"}));
    EXPECT_EQ(readAudio(dir / "out/a.wav").frames(), 1000);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values("INT", "TERM"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace klv::test
