// Helpers for the compressor's audio tests: an instance with chosen
// settings, and buffers with guard samples after each channel.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "clampora/clampora_effect.h"
#include "tests/support/audio_buffers.h"
#include "tests/support/effect_access.h"

namespace klv::clampora::test {

using klv::test::Buffers;
using klv::test::kGuard;
using klv::test::kGuardValue;
using klv::test::kPi;
using klv::test::noise;
using klv::test::sine;

// Every parameter spelled out, so a test never depends on program 0.
struct Settings {
    float process = 1.0f, input = 0.5f, compress = 0.0f, slope = 0.0f;
    float attack = 0.15f, release = 0.15f, makeup = 0.1666666f, mix = 1.0f, output = 0.5f;
    float scFreq = 0.5f, scQ = 0.1f, hold = 0.0f, prePost = 1.0f, rmsPeak = 0.0f;
    float delay = 0.0f, scl = 0.0f, sat = 0.0f, stereoMono = 1.0f;

    float value(int index) const {
        const float v[kNumParams] = {process, input, compress, slope,   attack,  release, makeup, mix, output,
                                     scFreq,  scQ,   hold,     prePost, rmsPeak, delay,   scl,    sat, stereoMono};
        return v[index];
    }
};

// "scFreq" value for a side-chain frequency in Hz: log(f / 25) / log(600).
inline float scFreqFor(double hz) {
    return static_cast<float>(std::log(hz / 25.0) / std::log(600.0));
}

// An instance with the settings applied, smoothed values jumped to them
// (by re-selecting the program) and the signal state reset.
inline std::unique_ptr<hostkit::PluginInstance> makeEffect(const Settings& s, hostkit::HostConfig config = {}) {
    auto p = klv::test::makeInstance(config);
    if (!p) return p;
    p->dispatch(effSetSampleRate, 0, 0, nullptr, config.sampleRate);
    for (int i = 0; i < kNumParams; ++i) p->setParameter(i, s.value(i));
    p->dispatch(effSetProgram, 0, 0);
    p->dispatch(effMainsChanged, 0, 0);
    p->dispatch(effMainsChanged, 0, 1);
    return p;
}

inline ClamporaEffect& object(hostkit::PluginInstance& p) {
    return *klv::test::effectObject<ClamporaEffect>(p.effect());
}

// Runs a mono signal through the effect (both inputs get it in a stereo
// build) in blocks of the given size; returns output channel 0.
inline std::vector<float> run(hostkit::PluginInstance& p, const std::vector<float>& signal, int block = 512) {
    std::vector<float> result;
    result.reserve(signal.size());
    Buffers b(2, block);
    for (std::size_t pos = 0; pos < signal.size(); pos += block) {
        const int n = static_cast<int>(std::min<std::size_t>(block, signal.size() - pos));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < n; ++i) b.in[c][i] = signal[pos + i];
        b.frames = n;
        p.processReplacing(b.inPtr.data(), b.outPtr.data(), n);
        result.insert(result.end(), b.out[0].begin(), b.out[0].begin() + n);
    }
    return result;
}

inline int argmaxAbs(const std::vector<float>& v) {
    int best = 0;
    for (int i = 1; i < static_cast<int>(v.size()); ++i)
        if (std::fabs(v[i]) > std::fabs(v[best])) best = i;
    return best;
}

}  // namespace klv::clampora::test
