// Cost of the compressor's paths per frame at 44100 Hz in 512-frame blocks.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "clampora/clampora_effect.h"

namespace {

using klv::clampora::ClamporaEffect;
namespace p = klv::clampora;
using klv::AEffect;
using klv::VstInt32;
using klv::VstIntPtr;

VstIntPtr KLV_CALL quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == klv::audioMasterVersion) return 2400;
    if (opcode == klv::audioMasterPinConnected) return 0;  // 0: connected
    return 0;
}

constexpr int kBlock = 512;

struct Setup {
    int program;  // factory program, or -1 for the settings below
    float process, attack, release, sat, stereoMono;
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

void runCase(benchmark::State& state, const Setup& s) {
    ClamporaEffect effect(&quietHost);
    effect.setSampleRate(44100.0f);
    effect.setBlockSize(kBlock);
    if (s.program >= 0) {
        effect.setProgram(s.program);
    } else {
        effect.setParameter(p::kProcess, s.process);
        effect.setParameter(p::kCompress, 0.5f);
        effect.setParameter(p::kSlope, 0.6f);
        effect.setParameter(p::kAttack, s.attack);
        effect.setParameter(p::kRelease, s.release);
        effect.setParameter(p::kSat, s.sat);
        effect.setParameter(p::kRmsPeak, 1.0f);
        effect.setParameter(p::kDelay, 1.0f);
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
    state.counters["stereo"] = effect.linkedStereo() ? 1 : 0;
}

// Program 1 is "mix1" (automatic slow attack and release, RMS, Delay, limiter).
constexpr int kMix1 = 1;

}  // namespace

BENCHMARK_CAPTURE(runCase, mix1, Setup{kMix1, 0, 0, 0, 0, -1.0f});
BENCHMARK_CAPTURE(runCase, mix1_linked_stereo, Setup{kMix1, 0, 0, 0, 0, 0.0f});
BENCHMARK_CAPTURE(runCase, mix1_mono, Setup{kMix1, 0, 0, 0, 0, 1.0f});
BENCHMARK_CAPTURE(runCase, bypass_stereo, Setup{-1, 0.0f, 0.1f, 0.1f, 0.0f, 0.0f});
BENCHMARK_CAPTURE(runCase, bypass_mono, Setup{-1, 0.0f, 0.1f, 0.1f, 0.0f, 1.0f});
BENCHMARK_CAPTURE(runCase, mono_auto_sat_off, Setup{-1, 1.0f, 0.1f, 0.1f, 0.0f, 1.0f});
BENCHMARK_CAPTURE(runCase, mono_timed_sat_off, Setup{-1, 1.0f, 0.5f, 0.5f, 0.0f, 1.0f});
BENCHMARK_CAPTURE(runCase, mono_timed_sat1, Setup{-1, 1.0f, 0.5f, 0.5f, 1.0f, 1.0f});
BENCHMARK_CAPTURE(runCase, mono_timed_sat2, Setup{-1, 1.0f, 0.5f, 0.5f, 2.0f, 1.0f});
BENCHMARK_CAPTURE(runCase, stereo_auto_sat_off, Setup{-1, 1.0f, 0.1f, 0.1f, 0.0f, 0.0f});
BENCHMARK_CAPTURE(runCase, stereo_auto_sat1, Setup{-1, 1.0f, 0.1f, 0.1f, 1.0f, 0.0f});
BENCHMARK_CAPTURE(runCase, stereo_timed_sat_off, Setup{-1, 1.0f, 0.5f, 0.5f, 0.0f, 0.0f});
BENCHMARK_CAPTURE(runCase, stereo_timed_sat1, Setup{-1, 1.0f, 0.5f, 0.5f, 1.0f, 0.0f});
BENCHMARK_CAPTURE(runCase, stereo_timed_sat2, Setup{-1, 1.0f, 0.5f, 0.5f, 2.0f, 0.0f});
