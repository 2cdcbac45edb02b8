// Identity, factory bank and program handling as a host sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/tonvela/tonvela_test_util.h"

namespace klv::tonvela::test {
namespace {

std::string programName(hostkit::PluginInstance& p) {
    char text[64] = {};
    p.dispatch(effGetProgramName, 0, 0, text);
    return text;
}

std::string indexedName(hostkit::PluginInstance& p, int index, bool* ok = nullptr) {
    char text[64] = "untouched";
    const auto answer = p.dispatch(effGetProgramNameIndexed, index, 0, text);
    if (ok) *ok = answer != 0;
    return text;
}

TEST(TonvelaIdentity, RecordAndStrings) {
    auto p = klv::test::makeInstance();
    ASSERT_TRUE(p);
    AEffect* e = p->effect();
    EXPECT_EQ(e->numInputs, kStereo ? 2 : 1);
    EXPECT_EQ(e->numOutputs, kStereo ? 2 : 1);
    EXPECT_EQ(e->uniqueID, kStereo ? 0x4B635476 : 0x4B635456);  // 'KcTv' / 'KcTV'
    EXPECT_EQ(e->numPrograms, 32);
    EXPECT_EQ(e->numParams, 16);
    EXPECT_EQ(e->flags & (effFlagsHasVu | effFlagsCanMono | effFlagsCanReplacing),
              effFlagsHasVu | effFlagsCanMono | effFlagsCanReplacing);
    EXPECT_EQ(e->flags & effFlagsProgramChunks, 0);

    char text[80] = {};
    p->dispatch(effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, "KLV Tonvela");
    p->dispatch(effGetProductString, 0, 0, text);
    EXPECT_STREQ(text, "The KLV Saturation plug-in");
    p->dispatch(effGetVendorString, 0, 0, text);
    EXPECT_STREQ(text, "KLV");
    EXPECT_EQ(p->dispatch(effGetVendorVersion), 1);
    EXPECT_EQ(p->dispatch(effGetVu), 0);
}

TEST(TonvelaIdentity, NamesAndLabels) {
    auto p = klv::test::makeInstance();
    const char* names[16] = {"process",   "input",       "output",   "drive",      "shape",      "mix",
                             "bassBoost", "trebleBoost", "bassFreq", "trebleFreq", "trebleHarm", "bassHarm",
                             "pre/post",  "bassOn",      "trebleOn", "stereo/mono"};
    const char* labels[16] = {"         ", "    dB   ", "    dB   ", "         ", "       ",   "         ",
                              "    dB   ", "    dB   ", "    Hz   ", "    %    ", "    %    ", "    %    ",
                              "         ", "         ", "         ", "         "};
    for (int i = 0; i < 16; ++i) {
        char text[64] = {};
        p->dispatch(effGetParamName, i, 0, text);
        EXPECT_STREQ(text, names[i]);
        p->dispatch(effGetParamLabel, i, 0, text);
        EXPECT_STREQ(text, labels[i]);
    }
}

TEST(TonvelaPrograms, FreshEffectStartsOnPreamp1) {
    auto p = klv::test::makeInstance();
    EXPECT_EQ(p->dispatch(effGetProgram), 0);
    EXPECT_EQ(programName(*p), "preamp1");
    EXPECT_FLOAT_EQ(p->getParameter(3), 0.75f);
    EXPECT_FLOAT_EQ(p->getParameter(4), 1.0f / 7.0f);
    // Undecided until the first block in the stereo build.
    EXPECT_EQ(p->getParameter(kStereoMono), kStereo ? -1.0f : 1.0f);
}

TEST(TonvelaPrograms, BankNames) {
    auto p = klv::test::makeInstance();
    const char* expected[32] = {"preamp1",
                                "preamp2",
                                "mix1",
                                "mix2",
                                "mix3",
                                "mix4",
                                "mastering1",
                                "mastering2",
                                "mastering3",
                                "mastering4",
                                "mastering5",
                                "mastering6",
                                "mastering tape boost 1",
                                "mastering tape boost 2",
                                "mastering tape boost 3",
                                "hot valve1",
                                "hot valve2",
                                "hot valve3",
                                "hot tape1",
                                "hot tape2",
                                "hot tape3",
                                "contour1",
                                "contour2",
                                "big bass1",
                                "big bass2",
                                "bottom end 1",
                                "bottom end 2",
                                "bottom end 3",
                                "loop1",
                                "loop2",
                                "digital",
                                "init"};
    for (int i = 0; i < 32; ++i) EXPECT_EQ(indexedName(*p, i), expected[i]) << i;
    bool ok = true;
    EXPECT_EQ(indexedName(*p, 32, &ok), "untouched");
    EXPECT_FALSE(ok);
    EXPECT_EQ(indexedName(*p, -1, &ok), "untouched");
    EXPECT_FALSE(ok);
}

struct ProgramValues {
    int program;
    float values[16];
};

// Rows of the factory table, typed in by parameter index (mix and
// stereo/mono keep their fresh values 1 and the build's default).
const ProgramValues kRows[] = {
    {2, {1, 0.5f, 0.5f, 0.2f, 5 / 7.0f, 1, 0.42f, 0.62f, 0.5f, 0.14f, 0.35f, 0.09f, 1, 1, 1, 0}},
    {11, {1, 0.5f, 0.5f, 0.22f, 4 / 7.0f, 1, 0.5f, 0.6f, 0.66f, 0.166f, 0.25f, 0.1f, 1, 1, 1, 0}},
    {14, {1, 0.5f, 0.49f, 0.2f, 6 / 7.0f, 1, 0.5f, 0.54f, 0.19f, 1, 0.2f, 0.15f, 1, 1, 1, 0}},
    {24, {1, 0.1f, 0.5f, 0.65f, 5 / 7.0f, 1, 0.5f, 0.5f, 0.6f, 0.5f, 0, 0.2f, 1, 1, 0, 0}},
    {29, {1, 0.5f, 0.5f, 0.75f, 5 / 7.0f, 1, 0.22f, 0.83f, 1, 0, 0.5f, 0.16f, 1, 1, 1, 0}},
    {30, {1, 0.5f, 0.5f, 0.5f, 1, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0, 1, 0, 0, 0}},
    {31, {1, 0.5f, 0.5f, 0.25f, 6 / 7.0f, 1, 0.5f, 0.57f, 0.4f, 0.6f, 0.2f, 0.1f, 1, 1, 1, 0}},
};

TEST(TonvelaPrograms, FactoryValuesReadBack) {
    auto p = klv::test::makeInstance();
    for (const auto& row : kRows) {
        p->dispatch(effSetProgram, 0, row.program);
        for (int i = 0; i < 15; ++i) EXPECT_EQ(p->getParameter(i), row.values[i]) << row.program << "/" << i;
    }
}

TEST(TonvelaPrograms, RecordSlotOrder) {
    auto p = klv::test::makeInstance();
    const TonvelaProgram& mix1 = object(*p).program(2);
    // Slots hold input, drive, shape, trebleFreq, trebleHarm, trebleBoost,
    // bassFreq, bassHarm, bassBoost, output, pre/post, process, bassOn,
    // trebleOn, stereo/mono, mix.
    const float slots[16] = {
        0.5f, 0.2f, 5 / 7.0f, 0.14f, 0.35f, 0.62f, 0.5f, 0.09f, 0.42f, 0.5f, 1, 1, 1, 1, kStereo ? -1.0f : 1.0f, 1};
    for (int s = 0; s < 16; ++s) EXPECT_EQ(mix1.values[s], slots[s]) << s;
}

TEST(TonvelaPrograms, InitNumberingAndBoundedNames) {
    auto p = klv::test::makeInstance();
    p->dispatch(effSetProgram, 0, 4);
    char name[] = "Init";
    p->dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(programName(*p), "Init 5");
    char lower[] = "init";
    p->dispatch(effSetProgramName, 0, 0, lower);
    EXPECT_EQ(programName(*p), "init");
    char longName[] = "a program name far longer than the record holds";
    p->dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(programName(*p), std::string(longName, 23));
}

TEST(TonvelaPrograms, CopyProgram) {
    auto p = klv::test::makeInstance();
    p->dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(p->dispatch(effCopyProgram, 5), 1);
    EXPECT_EQ(indexedName(*p, 5), "mix1");
    p->dispatch(effSetProgram, 0, 5);
    EXPECT_FLOAT_EQ(p->getParameter(3), 0.2f);
    EXPECT_FLOAT_EQ(p->getParameter(9), 0.14f);
    EXPECT_EQ(p->dispatch(effCopyProgram, 32), 0);
    EXPECT_EQ(p->dispatch(effCopyProgram, -1), 0);
    EXPECT_EQ(indexedName(*p, 31), "init");
}

TEST(TonvelaPrograms, ChannelModeIsOneSettingForTheBank) {
    auto p = klv::test::makeInstance();
    p->dispatch(effSetProgram, 0, 3);
    p->setParameter(kStereoMono, 0.0f);
    p->dispatch(effSetProgram, 0, 7);
    EXPECT_EQ(p->getParameter(kStereoMono), kStereo ? 0.0f : 1.0f);
    for (int prog = 0; prog < 32; ++prog) EXPECT_EQ(object(*p).program(prog).values[14], 0.0f) << prog;
    EXPECT_EQ(object(*p).monoMode(), !kStereo);
}

TEST(TonvelaPrograms, SettingAParameterWritesTheCurrentProgram) {
    auto p = klv::test::makeInstance();
    p->dispatch(effSetProgram, 0, 6);
    p->setParameter(kDrive, 0.9f);
    p->setParameter(kShape, 0.5f);
    p->dispatch(effSetProgram, 0, 1);
    p->dispatch(effSetProgram, 0, 6);
    EXPECT_FLOAT_EQ(p->getParameter(kDrive), 0.9f);
    EXPECT_FLOAT_EQ(p->getParameter(kShape), 4 / 7.0f);
    // Non-finite values change nothing.
    p->setParameter(kDrive, std::nanf(""));
    p->setParameter(kInput, INFINITY);
    EXPECT_FLOAT_EQ(p->getParameter(kDrive), 0.9f);
    EXPECT_FLOAT_EQ(p->getParameter(kInput), 0.5f);
    EXPECT_FLOAT_EQ(object(*p).program(6).values[1], 0.9f);
}

TEST(TonvelaPrograms, PinProperties) {
    auto p = klv::test::makeInstance();
    VstPinProperties pin{};
    EXPECT_EQ(p->dispatch(effGetInputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "My 2 In");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(p->dispatch(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "My 1 Out");
    EXPECT_EQ(p->dispatch(effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(p->dispatch(effGetInputProperties, -1, 0, &pin), 0);
}

}  // namespace
}  // namespace klv::tonvela::test
