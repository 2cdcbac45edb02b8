// Helpers for the saturator's tests: an instance with chosen settings, and
// buffers with guard samples after each channel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/support/audio_buffers.h"
#include "tests/support/effect_access.h"
#include "tonvela/tonvela_effect.h"

namespace klv::tonvela::test {

using klv::test::Buffers;
using klv::test::kGuard;
using klv::test::kGuardValue;
using klv::test::kPi;
using klv::test::noise;
using klv::test::sine;
constexpr bool kStereo = TonvelaEffect::kStereoBuild;

// Every parameter spelled out, so a test never depends on program 0. The
// defaults give a clean path: no curve, no enhancement, unity gains.
struct Settings {
    float process = 1.0f, input = 0.5f, output = 0.5f, drive = 0.0f, shape = 0.0f, mix = 1.0f;
    float bassBoost = 0.5f, trebleBoost = 0.5f, bassFreq = 0.5f, trebleFreq = 0.5f, trebleHarm = 0.0f, bassHarm = 0.0f;
    float prePost = 1.0f, bassOn = 0.0f, trebleOn = 0.0f, stereoMono = 0.0f;

    float value(int index) const {
        const float v[kNumParams] = {process,   input,       output,   drive,      shape,      mix,
                                     bassBoost, trebleBoost, bassFreq, trebleFreq, trebleHarm, bassHarm,
                                     prePost,   bassOn,      trebleOn, stereoMono};
        return v[index];
    }
};

inline TonvelaEffect& object(hostkit::PluginInstance& p) {
    return *klv::test::effectObject<TonvelaEffect>(p.effect());
}

// An instance with the settings applied and the signal state reset.
inline std::unique_ptr<hostkit::PluginInstance> makeEffect(const Settings& s, hostkit::HostConfig config = {}) {
    auto p = klv::test::makeInstance(config);
    if (!p) return p;
    p->dispatch(effSetSampleRate, 0, 0, nullptr, config.sampleRate);
    for (int i = 0; i < kNumParams; ++i) p->setParameter(i, s.value(i));
    p->dispatch(effMainsChanged, 0, 0);
    p->dispatch(effMainsChanged, 0, 1);
    return p;
}

// Runs signals through the effect in blocks (right defaults to the left);
// returns both outputs.
inline std::vector<std::vector<float>> runBoth(hostkit::PluginInstance& p, const std::vector<float>& left,
                                               const std::vector<float>& right, int block = 512) {
    std::vector<std::vector<float>> result(2);
    Buffers b(2, block);
    for (std::size_t pos = 0; pos < left.size(); pos += block) {
        const int n = static_cast<int>(std::min<std::size_t>(block, left.size() - pos));
        for (int i = 0; i < n; ++i) {
            b.in[0][i] = left[pos + i];
            b.in[1][i] = right[pos + i];
        }
        b.frames = n;
        p.processReplacing(b.inPtr.data(), b.outPtr.data(), n);
        for (int c = 0; c < 2; ++c) result[c].insert(result[c].end(), b.out[c].begin(), b.out[c].begin() + n);
    }
    return result;
}

inline std::vector<float> run(hostkit::PluginInstance& p, const std::vector<float>& signal, int block = 512) {
    return runBoth(p, signal, signal, block)[0];
}

}  // namespace klv::tonvela::test
