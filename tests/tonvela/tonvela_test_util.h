// Helpers for the saturator's tests: an instance with chosen settings, and
// buffers with guard samples after each channel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/support/effect_access.h"
#include "tonvela/tonvela_effect.h"

namespace klv::tonvela::test {

constexpr double kPi = 3.14159265358979323846;
constexpr int kGuard = 16;
constexpr float kGuardValue = 12345.0f;
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

// Channel buffers with guard samples after each one.
struct Buffers {
    std::vector<std::vector<float>> in, out;
    std::vector<float*> inPtr, outPtr;
    int frames;

    Buffers(int channels, int n) : in(channels), out(channels), frames(n) {
        for (int c = 0; c < channels; ++c) {
            in[c].assign(n + kGuard, 0.0f);
            out[c].assign(n + kGuard, kGuardValue);
            inPtr.push_back(in[c].data());
            outPtr.push_back(out[c].data());
        }
    }
    bool guardsIntact() const {
        for (const auto& o : out)
            for (int i = frames; i < frames + kGuard; ++i)
                if (o[i] != kGuardValue) return false;
        return true;
    }
    bool outputFinite() const {
        for (const auto& o : out)
            for (int i = 0; i < frames; ++i)
                if (!std::isfinite(o[i])) return false;
        return true;
    }
};

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

inline std::vector<float> sine(double hz, double amplitude, int n, double rate = 44100.0) {
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i) s[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / rate));
    return s;
}

inline std::vector<float> noise(int n, std::uint32_t seed, float amplitude = 1.0f) {
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
    }
    return s;
}

}  // namespace klv::tonvela::test
