// Cost of the saturator's paths per frame at 44100 Hz in 512-frame blocks:
// every curve with the enhancement on and off, mono and stereo, and "mix1".
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "tonvela/tonvela_effect.h"

namespace {

using klv::tonvela::TonvelaEffect;
namespace p = klv::tonvela;
using klv::AEffect;
using klv::VstInt32;
using klv::VstIntPtr;

VstIntPtr KLV_CALL quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == klv::audioMasterVersion) return 2400;
    return 0;  // input 2 connected
}

constexpr int kBlock = 512;
constexpr int kMix1 = 2;

struct Setup {
    int program;  // factory program, or -1 for the settings below
    float process;
    int shape;
    bool enhance;
    float stereoMono;
};

// Deterministic programme material: two detuned tones with a slow swell.
void fill(std::vector<float>& l, std::vector<float>& r, int frames) {
    l.resize(frames);
    r.resize(frames);
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double swell = 0.3 + 0.25 * std::sin(2.0 * 3.141592653589793 * 0.7 * t);
        l[i] = static_cast<float>(swell * std::sin(2.0 * 3.141592653589793 * 220.0 * t));
        r[i] = static_cast<float>(swell * std::sin(2.0 * 3.141592653589793 * 331.0 * t));
    }
}

void runCase(benchmark::State& state, Setup s) {
    TonvelaEffect effect(&quietHost);
    effect.setSampleRate(44100.0f);
    effect.setBlockSize(kBlock);
    if (s.program >= 0) {
        effect.setProgram(s.program);
    } else {
        effect.setParameter(p::kProcess, s.process);
        effect.setParameter(p::kShape, s.shape / 7.0f);
        effect.setParameter(p::kDrive, 0.5f);
        effect.setParameter(p::kBassOn, s.enhance ? 1.0f : 0.0f);
        effect.setParameter(p::kTrebleOn, s.enhance ? 1.0f : 0.0f);
        effect.setParameter(p::kTrebleHarm, 0.35f);
        effect.setParameter(p::kBassHarm, 0.1f);
    }
    if (s.stereoMono >= 0.0f) effect.setParameter(p::kStereoMono, s.stereoMono);
    effect.suspend();

    const int frames = 44100;
    std::vector<float> l, r, outL(kBlock), outR(kBlock);
    fill(l, r, frames);
    int pos = 0;
    for (auto _ : state) {
        float* in[2] = {l.data() + pos, r.data() + pos};
        float* out[2] = {outL.data(), outR.data()};
        effect.processReplacing(in, out, kBlock);
        benchmark::DoNotOptimize(outL.data());
        benchmark::ClobberMemory();
        pos += kBlock;
        if (pos + kBlock > frames) pos = 0;
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["stereo"] = effect.monoMode() ? 0 : 1;
}

const char* const kShapeNames[8] = {"none", "valve1", "valve2", "valve3", "tape1", "tape2", "tape3", "digital"};

int registerCases() {
    benchmark::RegisterBenchmark("mix1", runCase, Setup{kMix1, 1, 0, true, -1.0f});
    benchmark::RegisterBenchmark("mix1_mono", runCase, Setup{kMix1, 1, 0, true, 1.0f});
    benchmark::RegisterBenchmark("bypass_stereo", runCase, Setup{-1, 0.0f, 0, true, 0.0f});
    benchmark::RegisterBenchmark("bypass_mono", runCase, Setup{-1, 0.0f, 0, true, 1.0f});
    for (int mode = 0; mode < 2; ++mode) {
        for (int enhance = 1; enhance >= 0; --enhance) {
            for (int k = 0; k < 8; ++k) {
                const std::string name =
                    std::string(mode ? "mono_" : "stereo_") + kShapeNames[k] + (enhance ? "_enhanced" : "_plain");
                benchmark::RegisterBenchmark(name.c_str(), runCase,
                                             Setup{-1, 1.0f, k, enhance != 0, mode ? 1.0f : 0.0f});
            }
        }
    }
    return 0;
}

const int kRegistered = registerCases();

}  // namespace
