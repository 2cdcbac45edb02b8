// Cost of the saturator's paths per frame at 44100 Hz in 512-frame blocks:
// every curve with the enhancement on and off, mono and stereo, and "mix1".
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench/engine_bench.h"
#include "tonvela/tonvela_effect.h"

namespace {

using klv::tonvela::TonvelaEffect;
namespace p = klv::tonvela;

using klv::bench::kBlock;
using klv::bench::quietHost;

constexpr int kMix1 = 2;

struct Setup {
    int program;  // factory program, or -1 for the settings below
    float process;
    int shape;
    bool enhance;
    float stereoMono;
};

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

    klv::bench::timeBlocks(state, effect);
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
