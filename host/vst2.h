// The VST 2 plug-in interface as this system speaks it: the host-visible
// effect record, the request and callback numbers, flags and the small
// records passed through the dispatcher. Pointer-sized fields are
// pointer-sized, so one header serves 32- and 64-bit hosts.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KLV_CALL __cdecl
#else
#define KLV_CALL
#endif

namespace klv {

struct AEffect;

using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

using AudioMasterCallback = VstIntPtr(KLV_CALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                 void* ptr, float opt);
using DispatcherProc = VstIntPtr(KLV_CALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt);
using ProcessProc = void(KLV_CALL*)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
using SetParameterProc = void(KLV_CALL*)(AEffect* effect, VstInt32 index, float value);
using GetParameterProc = float(KLV_CALL*)(AEffect* effect, VstInt32 index);

// Four-character code: the first character lands in the most significant byte.
constexpr VstInt32 fourCharCode(const char (&c)[5]) {
    return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(c[0])) << 24) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(c[1])) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(c[2])) << 8) |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(c[3])));
}

constexpr VstInt32 kEffectMagic = fourCharCode("VstP");  // 0x56737450

struct AEffect {
    VstInt32 magic;
    DispatcherProc dispatcher;
    ProcessProc process;  // accumulating
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    ProcessProc processReplacing;
    char future[60];
};

#if INTPTR_MAX == INT32_MAX
// What every 32-bit host sees: 144 bytes at these offsets.
static_assert(sizeof(AEffect) == 144, "AEffect must be 144 bytes on 32-bit targets");
static_assert(offsetof(AEffect, dispatcher) == 4, "layout");
static_assert(offsetof(AEffect, process) == 8, "layout");
static_assert(offsetof(AEffect, setParameter) == 12, "layout");
static_assert(offsetof(AEffect, getParameter) == 16, "layout");
static_assert(offsetof(AEffect, numPrograms) == 20, "layout");
static_assert(offsetof(AEffect, numParams) == 24, "layout");
static_assert(offsetof(AEffect, numInputs) == 28, "layout");
static_assert(offsetof(AEffect, numOutputs) == 32, "layout");
static_assert(offsetof(AEffect, flags) == 36, "layout");
static_assert(offsetof(AEffect, resvd1) == 40, "layout");
static_assert(offsetof(AEffect, resvd2) == 44, "layout");
static_assert(offsetof(AEffect, initialDelay) == 48, "layout");
static_assert(offsetof(AEffect, realQualities) == 52, "layout");
static_assert(offsetof(AEffect, offQualities) == 56, "layout");
static_assert(offsetof(AEffect, ioRatio) == 60, "layout");
static_assert(offsetof(AEffect, object) == 64, "layout");
static_assert(offsetof(AEffect, user) == 68, "layout");
static_assert(offsetof(AEffect, uniqueID) == 72, "layout");
static_assert(offsetof(AEffect, version) == 76, "layout");
static_assert(offsetof(AEffect, processReplacing) == 80, "layout");
static_assert(offsetof(AEffect, future) == 84, "layout");
#endif

// Editor rectangle, in the host's order.
struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

struct VstPinProperties {
    char label[64];
    VstInt32 flags;
    VstInt32 arrangementType;
    char shortLabel[8];
    char future[48];
};

struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
};

enum EffectFlags : VstInt32 {
    effFlagsHasEditor = 1,
    effFlagsHasClip = 2,
    effFlagsHasVu = 4,
    effFlagsCanMono = 8,
    effFlagsCanReplacing = 16,
    effFlagsProgramChunks = 32,
    effFlagsIsSynth = 256,
    effFlagsNoSoundInStop = 512,
    effFlagsExtIsAsync = 1024,
    effFlagsExtHasBuffer = 2048,
};

enum PinFlags : VstInt32 {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 2,
};

enum PlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategSynth = 2,
};

// Requests a host sends through the dispatcher.
enum EffectOpcode : VstInt32 {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents,  // 25
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,  // 30
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,  // 35
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,  // 40
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,  // 45
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,  // 50
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,  // 55
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,  // 60
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,  // 65
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,  // 68
};

// Requests the effect sends through the host callback. Numbers the system
// never sends and that carry no name here are left out.
enum AudioMasterOpcode : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
};

constexpr VstInt32 kVstVersion = 2100;
constexpr VstInt32 kNvEfIdentity = fourCharCode("NvEf");  // answer to effIdentify
constexpr VstInt32 kNoEfPlaceholder = fourCharCode("NoEf");

}  // namespace klv
