#include "host/effect_base.h"

#include "host/editor_base.h"

namespace klv {

VstIntPtr EffectBase::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (opcode < effProcessEvents || opcode > effEndSetProgram)
        return EffectCore::dispatcher(opcode, index, value, ptr, opt);
    if (requestNeedsPointer(opcode) && ptr == nullptr) return 0;

    switch (opcode) {
        case effProcessEvents:
            processEvents(ptr);
            return 0;
        case effCanBeAutomated:
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            string2parameter(index, static_cast<char*>(ptr));
            return 0;
        case effGetNumProgramCategories:
            return getNumCategories();
        case effGetProgramNameIndexed:
            return getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
        case effCopyProgram:
            return copyProgram(index) ? 1 : 0;
        case effConnectInput:
            inputConnected(index, value != 0);
            return 1;
        case effConnectOutput:
            outputConnected(index, value != 0);
            return 1;
        case effGetInputProperties:
            return getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetOutputProperties:
            return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effGetCurrentPosition:
            return reportCurrentPosition();
        case effGetDestinationBuffer:
            return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
        case effOfflineNotify:
            offlineNotify(ptr, static_cast<VstInt32>(value), index != 0);
            return 0;
        case effOfflinePrepare:
            offlinePrepare(ptr, static_cast<VstInt32>(value));
            return 0;
        case effOfflineRun:
            offlineRun(ptr, static_cast<VstInt32>(value));
            return 0;
        case effProcessVarIo:
            processVariableIo(ptr);
            return 0;
        case effSetSpeakerArrangement:
            setSpeakerArrangement(reinterpret_cast<void*>(value), ptr);
            return 0;
        case effSetBlockSizeAndSampleRate:
            return setBlockSizeAndSampleRate(static_cast<VstInt32>(value), opt) ? 1 : 0;
        case effSetBypass:
            setBypass(value != 0);
            return 0;
        case effGetEffectName:
            return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetErrorText:
            getErrorText(static_cast<char*>(ptr));
            return 0;
        case effGetVendorString:
            return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProductString:
            return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            if (index == kContentScaleVendor && value == kContentScaleRequest && editor)
                return editor->setContentScaleFactor(opt) ? 1 : 0;
            vendorSpecific(index, value, ptr, opt);
            return 0;
        case effCanDo:
            return canDo(static_cast<char*>(ptr));
        case effGetTailSize:
            return getTailSize();
        case effIdle:
            return fxIdle();
        case effGetIcon:
            return reinterpret_cast<VstIntPtr>(getIcon());
        case effSetViewPosition:
            setViewPosition(index, static_cast<VstInt32>(value));
            return 0;
        case effGetParameterProperties:
            getParameterProperties(index, ptr);
            return 0;
        case effKeysRequired:
            return keysRequired() ? 0 : 1;
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!editor) return 0;
            VstKeyCode key{};
            key.character = index;
            key.virt = static_cast<unsigned char>(value & 0xFF);
            // opt carries the modifier; truncate it as an integer first
            // and keep only its low byte (out-of-range floats read as 0).
            const long long modifier = (opt > -2147483648.0f && opt < 2147483647.0f) ? static_cast<long long>(opt) : 0;
            key.modifier = static_cast<unsigned char>(modifier & 0xFF);
            return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        }
        case effSetEditKnobMode:
            return editor ? editor->setKnobMode(static_cast<int>(value)) : 0;
        case effGetMidiProgramName:
            getMidiProgramName(index, ptr);
            return 0;
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index, ptr);
        case effGetMidiProgramCategory:
            getMidiProgramCategory(index, ptr);
            return 0;
        case effHasMidiProgramsChanged:
            hasMidiProgramsChanged(index);
            return 0;
        case effGetMidiKeyName:
            getMidiKeyName(index, ptr);
            return 0;
        case effBeginSetProgram:
            beginSetProgram();
            return 0;
        case effEndSetProgram:
            endSetProgram();
            return 0;
        default:
            return 0;
    }
}

VstInt32 EffectBase::getPlugCategory() {
    return (effectRecord.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

// Host callback wrappers: each asks the host when there is one and answers
// the neutral value otherwise (callHost answers 0 without a host).
void EffectBase::wantEvents(VstInt32 filter) {
    callHost(audioMasterWantMidi, 0, filter);
}
void* EffectBase::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<void*>(callHost(audioMasterGetTime, 0, filter));
}
VstInt32 EffectBase::tempoAt(VstInt32 position) {
    return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, position));
}
VstInt32 EffectBase::getNumAutomatableParameters() {
    return static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters));
}
VstInt32 EffectBase::getParameterQuantization() {
    return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization));
}
bool EffectBase::ioChanged() {
    return callHost(audioMasterIOChanged) != 0;
}
bool EffectBase::needIdle() {
    return callHost(audioMasterNeedIdle) != 0;
}
bool EffectBase::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}
// The host's answers to these two are not used: the stored values stand.
double EffectBase::updateSampleRate() {
    callHost(audioMasterGetSampleRate);
    return sampleRate;
}
VstInt32 EffectBase::updateBlockSize() {
    callHost(audioMasterGetBlockSize);
    return blockSize;
}
VstInt32 EffectBase::getInputLatency() {
    return static_cast<VstInt32>(callHost(audioMasterGetInputLatency));
}
VstInt32 EffectBase::getOutputLatency() {
    return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency));
}
AEffect* EffectBase::getPreviousPlug(VstInt32) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
}
AEffect* EffectBase::getNextPlug(VstInt32) {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
}
VstInt32 EffectBase::willProcessReplacing() {
    return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate));
}
VstInt32 EffectBase::getCurrentProcessLevel() {
    return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}
VstInt32 EffectBase::getAutomationState() {
    return static_cast<VstInt32>(callHost(audioMasterGetAutomationState));
}
bool EffectBase::offlineRead(void* offline, VstInt32 option, bool readSource) {
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}
bool EffectBase::offlineWrite(void* offline, VstInt32 option) {
    return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}
bool EffectBase::offlineStart(void* audioFiles, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles) {
    return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}
VstInt32 EffectBase::offlineGetCurrentPass() {
    return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}
VstInt32 EffectBase::offlineGetCurrentMetaPass() {
    return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}
void EffectBase::setOutputSamplerate(float rate) {
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}
bool EffectBase::getSpeakerArrangement(void* pluginInput, void* pluginOutput) {
    return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(pluginInput), pluginOutput) != 0;
}
bool EffectBase::getHostVendorString(char* text) {
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}
bool EffectBase::getHostProductString(char* text) {
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}
VstInt32 EffectBase::getHostVendorVersion() {
    return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion));
}
VstIntPtr EffectBase::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float arg3) {
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptr, arg3);
}
VstInt32 EffectBase::canHostDo(char* text) {
    return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0;
}
VstInt32 EffectBase::getHostLanguage() {
    return static_cast<VstInt32>(callHost(audioMasterGetLanguage));
}
void* EffectBase::openWindow(void* window) {
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}
bool EffectBase::closeWindow(void* window) {
    return callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}
void* EffectBase::getDirectory() {
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}
bool EffectBase::updateDisplay() {
    return callHost(audioMasterUpdateDisplay) != 0;
}
bool EffectBase::beginEdit(VstInt32 index) {
    return callHost(audioMasterBeginEdit, index) != 0;
}
bool EffectBase::endEdit(VstInt32 index) {
    return callHost(audioMasterEndEdit, index) != 0;
}
bool EffectBase::openFileSelector(void* selector) {
    return selector ? callHost(audioMasterOpenFileSelector, 0, 0, selector) != 0 : false;
}

}  // namespace klv
