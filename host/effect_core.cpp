#include <cmath>
#include <cstring>

#include "host/editor_base.h"
#include "host/effect_base.h"
#include "host/number_text.h"

namespace klv {

namespace {

EffectCore* effectOf(AEffect* e) {
    return static_cast<EffectCore*>(e->object);
}

VstIntPtr KLV_CALL dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    EffectCore* effect = effectOf(e);
    const VstIntPtr result = effect->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        delete effect;
        return 1;
    }
    return result;
}

void KLV_CALL processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    effectOf(e)->process(inputs, outputs, sampleFrames);
}

void KLV_CALL processReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    effectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void KLV_CALL setParameterEntry(AEffect* e, VstInt32 index, float value) {
    effectOf(e)->setParameter(index, value);
}

float KLV_CALL getParameterEntry(AEffect* e, VstInt32 index) {
    return effectOf(e)->getParameter(index);
}

}  // namespace

// Requests whose pointer is a text or record the effect writes or reads;
// a host that passes null for one of them gets 0 and nothing happens.
bool EffectCore::requestNeedsPointer(VstInt32 opcode) {
    switch (opcode) {
        case effSetProgramName:
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effEditGetRect:
        case effString2Parameter:
        case effGetProgramNameIndexed:
        case effGetInputProperties:
        case effGetOutputProperties:
        case effGetEffectName:
        case effGetErrorText:
        case effGetVendorString:
        case effGetProductString:
        case effCanDo:
            return true;
        default:
            return false;
    }
}

EffectCore::EffectCore(AudioMasterCallback master, VstInt32 programs, VstInt32 params)
    : audioMaster(master), numPrograms(programs), numParams(params) {
    std::memset(&effectRecord, 0, sizeof effectRecord);
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = dispatchEntry;
    effectRecord.process = processEntry;
    effectRecord.setParameter = setParameterEntry;
    effectRecord.getParameter = getParameterEntry;
    effectRecord.numPrograms = programs;
    effectRecord.numParams = params;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = kNoEfPlaceholder;
    effectRecord.version = 1;
    effectRecord.processReplacing = processReplacingEntry;
}

EffectCore::~EffectCore() {
    delete editor;
}

void EffectCore::setParameter(VstInt32, float) {}
float EffectCore::getParameter(VstInt32) {
    return 0.0f;
}

void EffectCore::setParameterAutomated(VstInt32 index, float value) {
    // A value that is not a number never reaches the effect or the host's
    // automation lane.
    if (!std::isfinite(value)) return;
    setParameter(index, value);
    if (audioMaster) callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void EffectCore::processReplacing(float**, float**, VstInt32) {}

void EffectCore::setProgramName(char* name) {
    *name = '\0';
}
void EffectCore::getProgramName(char* name) {
    *name = '\0';
}
void EffectCore::getParameterLabel(VstInt32, char* label) {
    *label = '\0';
}
void EffectCore::getParameterDisplay(VstInt32, char* text) {
    *text = '\0';
}
void EffectCore::getParameterName(VstInt32, char* text) {
    *text = '\0';
}
VstInt32 EffectCore::getChunk(void**, bool) {
    return 0;
}
VstInt32 EffectCore::setChunk(void*, VstInt32, bool) {
    return 0;
}

VstIntPtr EffectCore::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return audioMaster ? audioMaster(&effectRecord, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr EffectCore::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (requestNeedsPointer(opcode) && ptr == nullptr) return 0;
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            // Only numbers inside the bank; negative ones would index before it.
            if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            setProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetProgramName:
            getProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetParamLabel:
            getParameterLabel(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamDisplay:
            getParameterDisplay(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            getParameterName(index, static_cast<char*>(ptr));
            return 0;
        case effGetVu: {
            const double vu = static_cast<double>(getVu()) * 32767.0;
            if (!(vu > -2147483648.0 && vu < 2147483647.0)) return 0;
            return static_cast<VstInt32>(vu);
        }
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case effEditGetRect:
            return editor ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
        case effEditOpen:
            return editor ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            if (editor) editor->idle();
            return 0;
        case effIdentify:
            return kNvEfIdentity;
        case effGetChunk:
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default:
            return 0;
    }
}

// Host callbacks. Without a host each answers the neutral value noted.
VstInt32 EffectCore::getMasterVersion() {
    const VstIntPtr v = callHost(audioMasterVersion);
    return v != 0 ? static_cast<VstInt32>(v) : 1;
}
VstInt32 EffectCore::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}
void EffectCore::masterIdle() {
    callHost(audioMasterIdle);
}
// The host answers 0 for a connected pin; no host means connected.
bool EffectCore::isInputConnected(VstInt32 input) {
    return audioMaster ? callHost(audioMasterPinConnected, input, 0) == 0 : true;
}
bool EffectCore::isOutputConnected(VstInt32 output) {
    return audioMaster ? callHost(audioMasterPinConnected, output, 1) == 0 : true;
}

void EffectCore::dB2string(float value, char* text) {
    klv::dB2string(value, text);
}
void EffectCore::Hz2string(float samples, char* text) {
    klv::Hz2string(samples, getSampleRate(), text);
}
void EffectCore::ms2string(float samples, char* text) {
    klv::ms2string(samples, getSampleRate(), text);
}
void EffectCore::float2string(float value, char* text) {
    klv::float2string(value, text);
}
void EffectCore::long2string(long value, char* text) {
    klv::long2string(value, text);
}

}  // namespace klv
