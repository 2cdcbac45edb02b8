#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "host/entry.h"
#include "tests/host/test_effect.h"
#include "tests/support/effect_access.h"

namespace klv {
namespace {

using hostkit::PluginInstance;
using test::TestEffect;

class EffectBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = test::makeInstance();
        ASSERT_NE(host, nullptr);
        effect = test::effectObject<TestEffect>(host->effect());
    }
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0) {
        char buffer[128];
        std::memset(buffer, 0, sizeof buffer);
        host->dispatch(opcode, index, value, buffer);
        return buffer;
    }
    std::unique_ptr<PluginInstance> host;
    TestEffect* effect = nullptr;
};

TEST_F(EffectBaseTest, RecordDefaultsOfTheBase) {
    AEffect* e = host->effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->uniqueID, 0x4E6F4566);  // the placeholder an effect replaces
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->numPrograms, 4);
    EXPECT_EQ(e->numParams, 2);
    EXPECT_EQ(e->flags, 0);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, static_cast<EffectCore*>(effect));
    EXPECT_EQ(effect->getSampleRate(), 44100.0f);
    EXPECT_EQ(effect->getBlockSize(), 1024);
}

TEST_F(EffectBaseTest, FlagHelpersSetAndClearTheirBits) {
    struct Case {
        void (*set)(TestEffect&, bool);
        VstInt32 bit;
    };
    const Case cases[] = {
        {[](TestEffect& e, bool s) { e.hasVu(s); }, effFlagsHasVu},
        {[](TestEffect& e, bool s) { e.hasClip(s); }, effFlagsHasClip},
        {[](TestEffect& e, bool s) { e.canMono(s); }, effFlagsCanMono},
        {[](TestEffect& e, bool s) { e.canProcessReplacing(s); }, effFlagsCanReplacing},
        {[](TestEffect& e, bool s) { e.programsAreChunks(s); }, effFlagsProgramChunks},
        {[](TestEffect& e, bool s) { e.isSynth(s); }, effFlagsIsSynth},
        {[](TestEffect& e, bool s) { e.noTail(s); }, effFlagsNoSoundInStop},
        {[](TestEffect& e, bool s) { e.wantAsyncOperation(s); }, effFlagsExtIsAsync},
        {[](TestEffect& e, bool s) { e.hasExternalBuffer(s); }, effFlagsExtHasBuffer},
    };
    for (const Case& c : cases) {
        c.set(*effect, true);
        EXPECT_EQ(host->effect()->flags, c.bit);
        c.set(*effect, false);
        EXPECT_EQ(host->effect()->flags, 0);
    }
    effect->isSynth(true);
    EXPECT_EQ(host->dispatch(effGetPlugCategory), kPlugCategSynth);
    effect->isSynth(false);
    EXPECT_EQ(host->dispatch(effGetPlugCategory), kPlugCategUnknown);
}

TEST_F(EffectBaseTest, SettersWriteTheRecord) {
    effect->setUniqueID(fourCharCode("KcLp"));
    EXPECT_EQ(host->effect()->uniqueID, 0x4B634C70);
    effect->setNumInputs(2);
    effect->setNumOutputs(1);
    effect->setInitialDelay(64);
    effect->setRealtimeQualities(3);
    effect->setOfflineQualities(4);
    EXPECT_EQ(host->effect()->numInputs, 2);
    EXPECT_EQ(host->effect()->numOutputs, 1);
    EXPECT_EQ(host->effect()->initialDelay, 64);
    EXPECT_EQ(host->effect()->realQualities, 3);
    EXPECT_EQ(host->effect()->offQualities, 4);
}

TEST_F(EffectBaseTest, DispatcherForwardsRatesBlocksAndMains) {
    host->dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    host->dispatch(effSetBlockSize, 0, 256);
    EXPECT_EQ(effect->getSampleRate(), 96000.0f);
    EXPECT_EQ(effect->getBlockSize(), 256);
    EXPECT_EQ(host->dispatch(effSetBlockSizeAndSampleRate, 0, 128, nullptr, 22050.0f), 1);
    EXPECT_EQ(effect->getBlockSize(), 128);
    EXPECT_EQ(effect->getSampleRate(), 22050.0f);
    host->dispatch(effMainsChanged, 0, 0);
    host->dispatch(effMainsChanged, 0, 1);
    host->dispatch(effMainsChanged, 0, -5);
    EXPECT_EQ(effect->suspends, 1);
    EXPECT_EQ(effect->resumes, 2);
}

TEST_F(EffectBaseTest, VuIsScaledTruncatedAndCleared) {
    effect->setVu(0.5f);
    EXPECT_EQ(host->dispatch(effGetVu), 16383);
    EXPECT_EQ(host->dispatch(effGetVu), 0);
    effect->setVu(-0.25f);
    EXPECT_EQ(host->dispatch(effGetVu), -8191);
    effect->setVu(std::numeric_limits<float>::infinity());
    EXPECT_EQ(host->dispatch(effGetVu), 0);
}

TEST_F(EffectBaseTest, ProgramNamesFollowTheInitRule) {
    EXPECT_EQ(text(effGetProgramName), "prog0");
    host->dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(host->dispatch(effGetProgram), 2);
    char name[] = "Init";
    host->dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(text(effGetProgramName), "Init 3");
    EXPECT_EQ(text(effGetProgramNameIndexed, 2), "Init");
    char almost[] = "Init ";
    host->dispatch(effSetProgramName, 0, 0, almost);
    EXPECT_EQ(text(effGetProgramName), "Init ");
    char capital[] = "INIT";
    host->dispatch(effSetProgramName, 0, 0, capital);
    EXPECT_EQ(text(effGetProgramName), "INIT");
}

TEST_F(EffectBaseTest, ProgramNamesAreBoundedToTheRecord) {
    std::string longName(300, 'n');
    host->dispatch(effSetProgramName, 0, 0, &longName[0]);
    EXPECT_EQ(text(effGetProgramName), std::string(23, 'n'));
    // The neighbouring record is untouched.
    EXPECT_EQ(text(effGetProgramNameIndexed, 1), "prog1");
    EXPECT_EQ(effect->program(1).values[0], 0.1f);
}

TEST_F(EffectBaseTest, IndexedNamesAndCopyRefuseIndexesOutsideTheBank) {
    for (VstInt32 bad : {-1, 4, 1000, std::numeric_limits<VstInt32>::min()}) {
        char buffer[32] = "untouched";
        EXPECT_EQ(host->dispatch(effGetProgramNameIndexed, bad, 0, buffer), 0);
        EXPECT_STREQ(buffer, "untouched");
        EXPECT_EQ(host->dispatch(effCopyProgram, bad), 0);
    }
    host->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(host->dispatch(effCopyProgram, 3), 1);
    EXPECT_EQ(text(effGetProgramNameIndexed, 3), "prog1");
    EXPECT_EQ(effect->program(3).values[0], effect->program(1).values[0]);
    EXPECT_EQ(effect->program(3).values[1], effect->program(1).values[1]);
    EXPECT_EQ(host->dispatch(effCopyProgram, 1), 1);  // onto itself: unchanged
    EXPECT_EQ(text(effGetProgramNameIndexed, 1), "prog1");
}

TEST_F(EffectBaseTest, SetProgramRefusesNumbersOutsideTheBank) {
    for (VstIntPtr bad : {VstIntPtr{4}, VstIntPtr{-1}, VstIntPtr{1} << 20}) {
        host->dispatch(effSetProgram, 0, bad);
        EXPECT_EQ(host->dispatch(effGetProgram), 0);
    }
}

TEST_F(EffectBaseTest, ParameterNamesAndLabelsFromTheTable) {
    EXPECT_EQ(text(effGetParamName, 0), "alpha");
    EXPECT_EQ(text(effGetParamLabel, 0), "  dB  ");
    EXPECT_EQ(text(effGetParamName, 1), "beta");
    EXPECT_EQ(text(effGetParamName, 2), "");
    EXPECT_EQ(text(effGetParamName, -1), "");
    EXPECT_EQ(text(effGetParamDisplay, 0), "");  // base default
}

TEST_F(EffectBaseTest, IdentityAndPins) {
    EXPECT_EQ(text(effGetEffectName), "Test Effect");
    EXPECT_EQ(text(effGetVendorString), "Test Vendor");
    EXPECT_EQ(text(effGetProductString), "Test Product");
    EXPECT_EQ(host->dispatch(effGetVendorVersion), 7);
    VstPinProperties props{};
    EXPECT_EQ(host->dispatch(effGetOutputProperties, 1, 0, &props), 1);
    EXPECT_STREQ(props.label, "My 2 Out");
    EXPECT_EQ(props.flags, kVstPinIsActive | kVstPinIsStereo);
}

TEST_F(EffectBaseTest, NoEditorMeansEditorRequestsAnswerZero) {
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(host->dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(host->dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(host->dispatch(effEditKeyDown, 'a', 1, nullptr, 2.0f), 0);
    EXPECT_EQ(host->dispatch(effSetEditKnobMode, 0, 2), 0);
    host->dispatch(effEditIdle);
    host->dispatch(effEditClose);
    EXPECT_EQ(effect->getEditor(), nullptr);
}

TEST_F(EffectBaseTest, SetParameterAutomatedSetsFirstThenTellsTheHost) {
    host->clearCalls();
    effect->setParameterAutomated(1, 0.75f);
    EXPECT_EQ(effect->values[1], 0.75f);
    const auto calls = host->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[0].index, 1);
    EXPECT_EQ(calls[0].opt, 0.75f);
    // Not-a-number values reach neither the effect nor the host.
    effect->setParameterAutomated(1, std::nanf(""));
    effect->setParameterAutomated(1, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(effect->values[1], 0.75f);
    EXPECT_EQ(host->calls().size(), 1u);
}

TEST_F(EffectBaseTest, HostCallbacksPassTheirArguments) {
    host->config().outputLatency = 777;
    host->config().input2Connected = false;
    host->clearCalls();
    EXPECT_EQ(effect->getOutputLatency(), 777);
    EXPECT_FALSE(effect->isInputConnected(1));
    EXPECT_TRUE(effect->isInputConnected(0));
    EXPECT_TRUE(effect->isOutputConnected(1));
    EXPECT_EQ(effect->getMasterVersion(), 2400);
    effect->beginEdit(3);
    effect->endEdit(3);
    effect->masterIdle();
    EXPECT_FALSE(effect->openFileSelector(nullptr));  // not sent
    EXPECT_EQ(effect->updateBlockSize(), 1024);       // stored value, not the host's 512
    const auto calls = host->calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0].opcode, audioMasterGetOutputLatency);
    EXPECT_EQ(calls[1].opcode, audioMasterPinConnected);
    EXPECT_EQ(calls[1].index, 1);
    EXPECT_EQ(calls[1].value, 0);
    EXPECT_EQ(calls[3].opcode, audioMasterPinConnected);
    EXPECT_EQ(calls[3].value, 1);
    EXPECT_EQ(calls[5].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[5].index, 3);
    EXPECT_EQ(calls[6].opcode, audioMasterEndEdit);
    EXPECT_EQ(calls[7].opcode, audioMasterIdle);
    EXPECT_EQ(calls[8].opcode, audioMasterGetBlockSize);
}

// Without a host every wrapper answers its neutral value.
TEST(EffectWithoutHost, WrappersAnswerNeutralValues) {
    TestEffect effect(nullptr);
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0);
    EXPECT_TRUE(effect.isInputConnected(1));
    EXPECT_TRUE(effect.isOutputConnected(1));
    EXPECT_EQ(effect.getTimeInfo(0), nullptr);
    EXPECT_EQ(effect.tempoAt(0), 0);
    EXPECT_FALSE(effect.ioChanged());
    EXPECT_FALSE(effect.sizeWindow(10, 10));
    EXPECT_EQ(effect.updateSampleRate(), 44100.0);
    EXPECT_EQ(effect.updateBlockSize(), 1024);
    EXPECT_EQ(effect.getOutputLatency(), 0);
    EXPECT_EQ(effect.getPreviousPlug(0), nullptr);
    EXPECT_EQ(effect.canHostDo(const_cast<char*>("x")), 0);
    EXPECT_FALSE(effect.beginEdit(0));
    effect.masterIdle();
    effect.setParameterAutomated(0, 0.5f);
    EXPECT_EQ(effect.values[0], 0.5f);
}

TEST(Entry, RefusesAHostWithoutVersionOrCallback) {
    hostkit::HostConfig refusing;
    refusing.version = 0;
    EXPECT_EQ(test::makeInstance(refusing), nullptr);
    EXPECT_EQ(pluginMain(nullptr), nullptr);
}

TEST(Entry, EditorCreationFailureGivesNoEffect) {
    editorCreationFailed = true;
    EXPECT_EQ(test::makeInstance(), nullptr);
    editorCreationFailed = false;
    EXPECT_NE(test::makeInstance(), nullptr);
}

}  // namespace
}  // namespace klv
