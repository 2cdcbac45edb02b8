// The compressor as a host sees its programs and its build option.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "clampora/clampora_effect.h"
#include "tests/support/effect_access.h"

namespace klv::clampora {
namespace {

using hostkit::HostConfig;
using hostkit::PluginInstance;

std::string programName(PluginInstance& p, int index) {
    char name[64] = {0};
    p.dispatch(effGetProgramNameIndexed, index, 0, name);
    return name;
}

TEST(ClamporaConstruction, AsksLatencyThenBlockSizeAndNothingElse) {
    auto p = test::makeInstance();
    ASSERT_NE(p, nullptr);
    const auto calls = p->calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[1].opcode, audioMasterGetOutputLatency);
    EXPECT_EQ(calls[2].opcode, audioMasterGetBlockSize);
}

TEST(ClamporaPrograms, BankNamesAndInitPrograms) {
    auto p = test::makeInstance();
    EXPECT_EQ(programName(*p, 0), "universal");
    EXPECT_EQ(programName(*p, 14), "el guitar2");
    EXPECT_EQ(programName(*p, 36), "Fc-6-60 5");
    for (int i = 37; i < kNumPrograms; ++i) EXPECT_EQ(programName(*p, i), "init") << i;
    // A fresh "init" record: compress 0.3, scQ 0.1, hold 0.17, RMS 1.
    p->dispatch(effSetProgram, 0, 40);
    EXPECT_EQ(p->getParameter(kCompress), 0.3f);
    EXPECT_EQ(p->getParameter(kScQ), 0.1f);
    EXPECT_EQ(p->getParameter(kHold), 0.17f);
    EXPECT_EQ(p->getParameter(kRmsPeak), 1.0f);
    EXPECT_EQ(p->getParameter(kSat), 0.0f);
}

TEST(ClamporaPrograms, ValuesAreStoredInTheCurrentProgramOnly) {
    auto p = test::makeInstance();
    p->dispatch(effSetProgram, 0, 2);
    p->setParameter(kCompress, 0.9f);
    p->dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(p->getParameter(kCompress), 0.25f);
    p->dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(p->getParameter(kCompress), 0.9f);
    p->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(p->getParameter(kCompress), 0.2f);
}

TEST(ClamporaPrograms, ElGuitar2StoresSaturationModeTwo) {
    auto p = test::makeInstance();
    p->dispatch(effSetProgram, 0, 14);
    EXPECT_EQ(p->getParameter(kSat), 2.0f);
    char display[32] = {0};
    p->dispatch(effGetParamDisplay, kSat, 0, display);
    EXPECT_STREQ(display, "2.000000");
}

TEST(ClamporaStereoMono, IsOneSettingForTheWholeBank) {
    auto p = test::makeInstance();
    auto* effect = test::effectObject<ClamporaEffect>(p->effect());
    float in[2][8] = {}, out[2][8] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    p->processReplacing(inputs, outputs, 8);  // settles an undecided stereo build
    p->setParameter(kStereoMono, 0.0f);
    for (int program = 0; program < kNumPrograms; program += 7) {
        p->dispatch(effSetProgram, 0, program);
        EXPECT_EQ(p->getParameter(kStereoMono), ClamporaEffect::kStereoBuild ? 0.0f : 1.0f) << program;
        EXPECT_EQ(effect->program(program).values[17], ClamporaEffect::kStereoBuild ? 0.0f : 1.0f);
    }
    p->processReplacing(inputs, outputs, 8);
    EXPECT_EQ(effect->linkedStereo(), ClamporaEffect::kStereoBuild);
    p->setParameter(kStereoMono, 1.0f);
    p->processReplacing(inputs, outputs, 8);
    EXPECT_FALSE(effect->linkedStereo());
}

TEST(ClamporaStereoMono, AnUndecidedValueAsksTheHostAgain) {
    if (!ClamporaEffect::kStereoBuild) GTEST_SKIP() << "the mono build never asks";
    HostConfig config;
    config.input2Connected = false;
    auto p = test::makeInstance(config);
    float in[2][4] = {}, out[2][4] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    p->processReplacing(inputs, outputs, 4);
    EXPECT_EQ(p->getParameter(kStereoMono), 1.0f);
    p->config().input2Connected = true;
    p->setParameter(kStereoMono, -1.0f);
    EXPECT_EQ(p->getParameter(kStereoMono), -1.0f);
    p->processReplacing(inputs, outputs, 4);
    EXPECT_EQ(p->getParameter(kStereoMono), 0.0f);
    EXPECT_EQ(p->countCalls(audioMasterPinConnected), 2);
    // Values above -1 with integer part 0 decide directly.
    p->setParameter(kStereoMono, -0.5f);
    p->processReplacing(inputs, outputs, 4);
    EXPECT_EQ(p->countCalls(audioMasterPinConnected), 2);
    // Values far outside the range are taken as they come, without trouble.
    p->setParameter(kStereoMono, 3e9f);
    p->processReplacing(inputs, outputs, 4);
    p->setParameter(kStereoMono, -3e9f);
    p->processReplacing(inputs, outputs, 4);
    EXPECT_EQ(p->getParameter(kStereoMono), 0.0f);
}

TEST(ClamporaParameters, NamesAndBlankLabels) {
    auto p = test::makeInstance();
    const char* names[kNumParams] = {"process",  "input",    "compress", "slope",  "attack", "release",
                                     "make-up",  "mix",      "output",   "scFreq", "scQ",    "hold",
                                     "pre/post", "RMS/peak", "Delay",    "scl",    "sat",    "stereo/mono"};
    const size_t labelWidth[kNumParams] = {9, 9, 9, 7, 8, 8, 8, 9, 7, 8, 8, 8, 9, 8, 8, 8, 8, 9};
    for (int i = 0; i < kNumParams; ++i) {
        char text[64];
        p->dispatch(effGetParamName, i, 0, text);
        EXPECT_STREQ(text, names[i]);
        p->dispatch(effGetParamLabel, i, 0, text);
        EXPECT_EQ(std::string(text), std::string(labelWidth[i], ' ')) << i;
    }
}

}  // namespace
}  // namespace klv::clampora
