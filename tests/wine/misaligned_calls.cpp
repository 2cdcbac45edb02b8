// Calls a plug-in's entry and every function of its record with the stack
// pointer off 16-byte alignment by 0, 4, 8 and 12 bytes, as some 32-bit
// hosts do. This file is compiled to keep only 4-byte stack alignment, so
// the padding below really reaches the callee.
#include "tests/wine/misaligned_calls.h"

#include <cmath>
#include <cstring>

#include "host/vst2.h"

namespace klv::wine {

namespace {

VstIntPtr KLV_CALL quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Keeps the padding alive across the call.
#define KLV_PAD(bytes)                                                 \
    volatile char* pad_ = static_cast<char*>(__builtin_alloca(bytes)); \
    pad_[0] = 0

__attribute__((noinline)) AEffect* callEntry(hostkit::EntryProc entry, int bytes) {
    KLV_PAD(bytes);
    AEffect* e = entry(quietHost);
    pad_[0] = 1;
    return e;
}

__attribute__((noinline)) VstIntPtr callDispatcher(AEffect* e, int bytes, VstInt32 opcode, VstInt32 index,
                                                   VstIntPtr value, void* ptr, float opt) {
    KLV_PAD(bytes);
    VstIntPtr r = e->dispatcher(e, opcode, index, value, ptr, opt);
    pad_[0] = 1;
    return r;
}

__attribute__((noinline)) void callSetParameter(AEffect* e, int bytes, VstInt32 index, float value) {
    KLV_PAD(bytes);
    e->setParameter(e, index, value);
    pad_[0] = 1;
}

__attribute__((noinline)) float callGetParameter(AEffect* e, int bytes, VstInt32 index) {
    KLV_PAD(bytes);
    float v = e->getParameter(e, index);
    pad_[0] = 1;
    return v;
}

__attribute__((noinline)) void callProcess(AEffect* e, int bytes, bool replacing, float** in, float** out,
                                           VstInt32 frames) {
    KLV_PAD(bytes);
    (replacing ? e->processReplacing : e->process)(e, in, out, frames);
    pad_[0] = 1;
}

}  // namespace

void runMisalignedCalls(conformance::Checker& c, hostkit::PluginLibrary& lib) {
    static float in[2][256], out[2][256];
    for (int i = 0; i < 256; ++i) in[0][i] = in[1][i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    for (const char* name : {"VSTPluginMain", "main"}) {
        hostkit::EntryProc entry = lib.entry(name);
        if (!entry) continue;
        for (int bytes : {4, 8, 12, 16}) {
            c.setContext(std::string("misaligned stack, ") + name + ", pad " + std::to_string(bytes));
            AEffect* e = callEntry(entry, bytes);
            KLV_CHECK(c, e != nullptr);
            if (!e) continue;
            char text[256];
            callDispatcher(e, bytes, effOpen, 0, 0, nullptr, 0.0f);
            callDispatcher(e, bytes, effSetSampleRate, 0, 0, nullptr, 48000.0f);
            callDispatcher(e, bytes, effSetBlockSize, 0, 256, nullptr, 0.0f);
            callDispatcher(e, bytes, effMainsChanged, 0, 1, nullptr, 0.0f);
            for (VstIntPtr program = 0; program < e->numPrograms; program += 5) {
                callDispatcher(e, bytes, effSetProgram, 0, program, nullptr, 0.0f);
                for (VstInt32 p = 0; p < e->numParams; ++p) {
                    callSetParameter(e, bytes, p, callGetParameter(e, bytes, p));
                    callDispatcher(e, bytes, effGetParamDisplay, p, 0, text, 0.0f);
                }
                callProcess(e, bytes, true, inputs, outputs, 256);
                callProcess(e, bytes, false, inputs, outputs, 256);
            }
            bool finite = true;
            for (int i = 0; i < 256; ++i) finite = finite && std::isfinite(out[0][i]);
            KLV_CHECK(c, finite);
            callDispatcher(e, bytes, effMainsChanged, 0, 0, nullptr, 0.0f);
            KLV_CHECK_EQ(c, callDispatcher(e, bytes, effClose, 0, 0, nullptr, 0.0f), static_cast<VstIntPtr>(1));
        }
    }
}

}  // namespace klv::wine
