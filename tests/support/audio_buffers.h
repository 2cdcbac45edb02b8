// Audio for the engines' tests: channel buffers with guard samples after
// each channel, and deterministic test signals.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace klv::test {

constexpr double kPi = 3.14159265358979323846;
constexpr int kGuard = 16;
constexpr float kGuardValue = 12345.0f;

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
    void clearOutput(float value = 0.0f) {
        for (auto& o : out)
            for (int i = 0; i < frames; ++i) o[i] = value;
    }
};

inline std::vector<float> sine(double hz, double amplitude, int n, double rate = 44100.0, double phase = 0.0) {
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i) s[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / rate + phase));
    return s;
}

// Uniform noise in -amplitude..amplitude from a linear congruential generator.
inline std::vector<float> noise(int n, std::uint32_t seed, float amplitude = 1.0f) {
    std::vector<float> s(n);
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
    }
    return s;
}

// Samples a host should never send but sometimes does: NaN, infinities,
// and finite values far beyond full scale.
inline constexpr float kBadSamples[] = {std::numeric_limits<float>::quiet_NaN(),
                                        std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity(),
                                        1e6f,
                                        -1e6f,
                                        3e38f,
                                        -3e38f};

}  // namespace klv::test
