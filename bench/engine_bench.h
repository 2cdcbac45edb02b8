// Shared by the engine benchmarks: a host that answers only what the
// effects ask, deterministic programme material, and the timed loop over
// 512-frame blocks at 44100 Hz reporting nanoseconds per frame.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "host/vst2.h"

namespace klv::bench {

constexpr int kBlock = 512;

// Version 2400; every other answer 0 (so input 2 reads as connected).
inline VstIntPtr KLV_CALL quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Two detuned tones with a slow swell, one second at 44100 Hz.
inline void fill(std::vector<float>& l, std::vector<float>& r, int frames) {
    l.resize(frames);
    r.resize(frames);
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double swell = 0.3 + 0.25 * std::sin(2.0 * 3.141592653589793 * 0.7 * t);
        l[i] = static_cast<float>(swell * std::sin(2.0 * 3.141592653589793 * 220.0 * t));
        r[i] = static_cast<float>(swell * std::sin(2.0 * 3.141592653589793 * 331.0 * t));
    }
}

// Times processReplacing over the material, block after block.
template <class Effect>
void timeBlocks(benchmark::State& state, Effect& effect) {
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
}

}  // namespace klv::bench
