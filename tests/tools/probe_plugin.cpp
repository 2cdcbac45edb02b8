// A pass-through test plug-in (2 in, 2 out) that keeps a log of what its
// host did and writes it, on effClose, to the file named by $KLV_PROBE_LOG:
//   open rate:R block:B mains:1 pin1:P replacing:N accumulating:M frames:F max:X mains:0 close
// P is the host's answer to "is input 2 connected" (0 = connected).
// $KLV_PROBE_DELAY frames of delay make it a plug-in with look-ahead: it
// delays its input by that much and reports it as initialDelay.
// $KLV_PROBE_SLEEP_US makes every audio call take that long, so that a test
// can catch a render under way.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "host/vst2.h"

using namespace klv;

namespace {

struct Probe {
    AEffect effect{};
    AudioMasterCallback host = nullptr;
    std::string log;
    bool asked = false;
    long replacing = 0, accumulating = 0, frames = 0, maxFrames = 0;
    std::vector<float> delayLine[2];  // a ring per channel
    std::size_t delayAt = 0;
    unsigned sleepUs = 0;

    void note(const std::string& token) { log += (log.empty() ? "" : " ") + token; }
};

Probe* probeOf(AEffect* e) {
    return static_cast<Probe*>(e->object);
}

template <bool kAccumulate>
void run(AEffect* e, float** in, float** out, VstInt32 frames) {
    Probe* p = probeOf(e);
    if (!p->asked) {
        p->asked = true;
        p->note("pin1:" + std::to_string(p->host(&p->effect, audioMasterPinConnected, 1, 0, nullptr, 0.0f)));
    }
    p->frames += frames;
    if (frames > p->maxFrames) p->maxFrames = frames;
    ++(kAccumulate ? p->accumulating : p->replacing);
    if (p->sleepUs) ::usleep(p->sleepUs);
    const std::size_t delay = p->delayLine[0].size();
    for (VstInt32 i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            float x = in[c][i];
            if (delay > 0) std::swap(x, p->delayLine[c][p->delayAt]);
            out[c][i] = kAccumulate ? out[c][i] + x : x;
        }
        if (delay > 0) p->delayAt = (p->delayAt + 1) % delay;
    }
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32, VstIntPtr value, void*, float opt) {
    Probe* p = probeOf(e);
    switch (opcode) {
        case effOpen:
            p->note("open");
            return 0;
        case effSetSampleRate:
            p->note("rate:" + std::to_string(static_cast<long>(opt)));
            return 0;
        case effSetBlockSize:
            p->note("block:" + std::to_string(static_cast<long>(value)));
            return 0;
        case effMainsChanged:
            if (value == 0)
                p->note("replacing:" + std::to_string(p->replacing) +
                        " accumulating:" + std::to_string(p->accumulating) + " frames:" + std::to_string(p->frames) +
                        " max:" + std::to_string(p->maxFrames));
            p->note("mains:" + std::to_string(static_cast<long>(value)));
            return 0;
        case effClose: {
            p->note("close");
            if (const char* path = std::getenv("KLV_PROBE_LOG")) {
                if (std::FILE* f = std::fopen(path, "w")) {
                    std::fputs(p->log.c_str(), f);
                    std::fclose(f);
                }
            }
            delete p;
            return 1;
        }
        default:
            return 0;
    }
}

void setParameter(AEffect*, VstInt32, float) {}
float getParameter(AEffect*, VstInt32) {
    return 0.0f;
}

int envNumber(const char* name) {
    const char* text = std::getenv(name);
    return text ? std::atoi(text) : 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(AudioMasterCallback host) {
    Probe* p = new Probe;
    p->host = host;
    const int delay = envNumber("KLV_PROBE_DELAY");
    for (auto& line : p->delayLine) line.assign(static_cast<std::size_t>(delay > 0 ? delay : 0), 0.0f);
    p->sleepUs = static_cast<unsigned>(envNumber("KLV_PROBE_SLEEP_US"));
    AEffect& e = p->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.process = run<true>;
    e.processReplacing = run<false>;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.initialDelay = delay;
    e.flags = effFlagsCanReplacing;
    e.uniqueID = fourCharCode("KtPr");
    e.object = p;
    return &e;
}
