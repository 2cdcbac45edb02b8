#include "tests/conformance/digest.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/hostkit/plugin_host.h"

namespace klv::conformance {

namespace {

// Programme material from integer arithmetic only, identical everywhere:
// a chord of triangle waves with a decaying envelope and noise bursts.
float programme(int channel, int i) {
    const std::uint32_t n = static_cast<std::uint32_t>(i);
    float sum = 0.0f;
    const std::uint32_t periods[3] = {200u + 13u * static_cast<std::uint32_t>(channel), 151u, 97u};
    for (std::uint32_t p : periods) {
        const std::uint32_t phase = n % p;
        const float tri = static_cast<float>(phase < p / 2 ? phase : p - phase) / static_cast<float>(p / 4) - 1.0f;
        sum += 0.25f * tri;
    }
    const std::uint32_t beat = n % 11025u;
    const float envelope = beat < 2000u ? 1.0f - static_cast<float>(beat) / 2000.0f : 0.0f;
    const std::uint32_t noise = (n * 1664525u + 1013904223u) >> 9;
    sum += envelope * (static_cast<float>(noise % 2001u) / 1000.0f - 1.0f) * 0.6f;
    return sum * (channel == 0 ? 0.9f : 0.7f);
}

std::uint64_t fnv(std::uint64_t h, const float* data, int count) {
    for (int i = 0; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &data[i], sizeof bits);
        for (int b = 0; b < 4; ++b) {
            h ^= (bits >> (8 * b)) & 0xFFu;
            h *= 1099511628211ull;
        }
    }
    return h;
}

}  // namespace

bool printDigests(const std::string& path) {
    hostkit::PluginLibrary lib;
    if (!lib.open(path)) return false;
    const float rates[] = {44100.0f, 48000.0f, 22050.0f};
    const int blocks[] = {512, 97};
    const int frames = 22050;
    std::vector<float> in[2], out[2];
    for (int ch = 0; ch < 2; ++ch) {
        in[ch].resize(frames);
        out[ch].resize(frames);
        for (int i = 0; i < frames; ++i) in[ch][static_cast<std::size_t>(i)] = programme(ch, i);
    }
    auto probe = hostkit::PluginInstance::create(lib.defaultEntry());
    if (!probe) return false;
    const int programs = probe->effect()->numPrograms;
    probe.reset();
    for (int r = 0; r < 3; ++r) {
        for (int program = 0; program < programs; ++program) {
            auto p = hostkit::PluginInstance::create(lib.defaultEntry());
            const int block = blocks[program % 2];
            p->dispatch(effSetSampleRate, 0, 0, nullptr, rates[r]);
            p->dispatch(effSetBlockSize, 0, block);
            p->dispatch(effSetProgram, 0, program);
            p->dispatch(effMainsChanged, 0, 1);
            for (int start = 0; start < frames; start += block) {
                const int n = std::min(block, frames - start);
                float* inputs[2] = {in[0].data() + start, in[1].data() + start};
                float* outputs[2] = {out[0].data() + start, out[1].data() + start};
                p->processReplacing(inputs, outputs, n);
            }
            std::uint64_t h = 1469598103934665603ull;
            for (int ch = 0; ch < p->effect()->numOutputs; ++ch) h = fnv(h, out[ch].data(), frames);
            std::printf("rate %d program %2d block %3d digest %016llx\n", static_cast<int>(rates[r]), program, block,
                        static_cast<unsigned long long>(h));
        }
    }
    return true;
}

}  // namespace klv::conformance
