// Cost of the compressor's paths per frame at 44100 Hz in 512-frame blocks.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bench/engine_bench.h"
#include "clampora/clampora_effect.h"
#include "host/sample_ops.h"

namespace {

using klv::clampora::ClamporaEffect;
namespace p = klv::clampora;

using klv::bench::kBlock;
using klv::bench::quietHost;

struct Setup {
    int program;  // factory program, or -1 for the settings below
    float process, attack, release, sat, stereoMono;
    bool baseline = false;  // the baseline sample loops even where AVX-512 allows the wide copy
};

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

    klv::dsp::allowWideCode(!s.baseline);
    state.counters["wide"] = klv::dsp::wideCode() ? 1 : 0;
    klv::bench::timeBlocks(state, effect);
    klv::dsp::allowWideCode(true);
    state.counters["stereo"] = effect.linkedStereo() ? 1 : 0;
}

// Program 1 is "mix1" (automatic slow attack and release, RMS, Delay, limiter).
constexpr int kMix1 = 1;

}  // namespace

BENCHMARK_CAPTURE(runCase, mix1, Setup{kMix1, 0, 0, 0, 0, -1.0f});
BENCHMARK_CAPTURE(runCase, mix1_linked_stereo, Setup{kMix1, 0, 0, 0, 0, 0.0f});
BENCHMARK_CAPTURE(runCase, mix1_mono, Setup{kMix1, 0, 0, 0, 0, 1.0f});
BENCHMARK_CAPTURE(runCase, mix1_linked_stereo_baseline, Setup{kMix1, 0, 0, 0, 0, 0.0f, true});
BENCHMARK_CAPTURE(runCase, mix1_mono_baseline, Setup{kMix1, 0, 0, 0, 0, 1.0f, true});
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
