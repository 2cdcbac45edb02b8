#include "tests/conformance/digest.h"

#include <algorithm>
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

// Renders every program of the library at the given rate and block size
// into out (one vector per output); false when the library cannot be used.
bool renderPrograms(hostkit::PluginLibrary& lib, const std::vector<float> (&in)[2], float rate, int program, int block,
                    std::vector<float> (&out)[2], int& outputs) {
    auto p = hostkit::PluginInstance::create(lib.defaultEntry());
    if (!p) return false;
    const int frames = static_cast<int>(in[0].size());
    for (std::vector<float>& o : out) o.assign(static_cast<std::size_t>(frames), 0.0f);
    p->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    p->dispatch(effSetBlockSize, 0, block);
    p->dispatch(effSetProgram, 0, program);
    p->dispatch(effMainsChanged, 0, 1);
    for (int start = 0; start < frames; start += block) {
        const int n = std::min(block, frames - start);
        float* inputs[2] = {const_cast<float*>(in[0].data()) + start, const_cast<float*>(in[1].data()) + start};
        float* outputs2[2] = {out[0].data() + start, out[1].data() + start};
        p->processReplacing(inputs, outputs2, n);
    }
    outputs = p->effect()->numOutputs;
    return true;
}

int programCount(hostkit::PluginLibrary& lib) {
    auto probe = hostkit::PluginInstance::create(lib.defaultEntry());
    return probe ? probe->effect()->numPrograms : 0;
}

void makeProgramme(std::vector<float> (&in)[2], int frames) {
    for (int ch = 0; ch < 2; ++ch) {
        in[ch].resize(static_cast<std::size_t>(frames));
        for (int i = 0; i < frames; ++i) in[ch][static_cast<std::size_t>(i)] = programme(ch, i);
    }
}

constexpr float kRates[] = {44100.0f, 48000.0f, 22050.0f};
constexpr int kBlocks[] = {512, 97};
constexpr int kFrames = 22050;

}  // namespace

bool printDigests(const std::string& path) {
    return writeDigests(path, stdout);
}

bool writeDigests(const std::string& path, std::FILE* file) {
    hostkit::PluginLibrary lib;
    if (!lib.open(path)) return false;
    std::vector<float> in[2], out[2];
    makeProgramme(in, kFrames);
    const int programs = programCount(lib);
    if (programs == 0) return false;
    for (float rate : kRates) {
        for (int program = 0; program < programs; ++program) {
            const int block = kBlocks[program % 2];
            int outputs = 0;
            if (!renderPrograms(lib, in, rate, program, block, out, outputs)) return false;
            std::uint64_t h = 1469598103934665603ull;
            for (int ch = 0; ch < outputs; ++ch) h = fnv(h, out[ch].data(), kFrames);
            std::fprintf(file, "rate %d program %2d block %3d digest %016llx\n", static_cast<int>(rate), program, block,
                         static_cast<unsigned long long>(h));
        }
    }
    return true;
}

bool checkDigests(const std::string& path, const std::string& expectedFile) {
    std::FILE* expected = std::fopen(expectedFile.c_str(), "r");
    if (expected == nullptr) {
        std::printf("cannot read %s\n", expectedFile.c_str());
        return false;
    }
    std::FILE* actual = std::tmpfile();
    if (actual == nullptr || !writeDigests(path, actual)) {
        std::fclose(expected);
        if (actual) std::fclose(actual);
        std::printf("cannot render through %s\n", path.c_str());
        return false;
    }
    std::rewind(actual);
    char want[128], got[128];
    int lines = 0, differing = 0;
    for (;;) {
        const bool haveWant = std::fgets(want, sizeof want, expected) != nullptr;
        const bool haveGot = std::fgets(got, sizeof got, actual) != nullptr;
        if (!haveWant && !haveGot) break;
        ++lines;
        if (!haveWant || !haveGot || std::strcmp(want, got) != 0) {
            if (++differing <= 10)
                std::printf("expected: %s     got: %s", haveWant ? want : "(nothing)\n", haveGot ? got : "(nothing)\n");
        }
    }
    std::fclose(expected);
    std::fclose(actual);
    std::printf("%d renders, %d differ from %s\n", lines, differing, expectedFile.c_str());
    return differing == 0 && lines > 0;
}

bool compareBuilds(const std::string& pathA, const std::string& pathB, double tolerance) {
    hostkit::PluginLibrary a, b;
    if (!a.open(pathA) || !b.open(pathB)) return false;
    std::vector<float> in[2], outA[2], outB[2];
    makeProgramme(in, kFrames);
    const int programs = programCount(a);
    if (programs == 0 || programs != programCount(b)) return false;
    double worst = 0.0;
    for (float rate : kRates) {
        for (int program = 0; program < programs; ++program) {
            for (int block : kBlocks) {
                int outputsA = 0, outputsB = 0;
                if (!renderPrograms(a, in, rate, program, block, outA, outputsA) ||
                    !renderPrograms(b, in, rate, program, block, outB, outputsB) || outputsA != outputsB)
                    return false;
                double largest = 0.0, peak = 0.0;
                int at = -1;
                for (int ch = 0; ch < outputsA; ++ch) {
                    for (int i = 0; i < kFrames; ++i) {
                        const double x = outA[ch][static_cast<std::size_t>(i)];
                        const double y = outB[ch][static_cast<std::size_t>(i)];
                        const double d = std::isnan(x) != std::isnan(y) ? HUGE_VAL : std::fabs(x - y);
                        if (d > largest) {
                            largest = d;
                            at = i;
                        }
                        peak = std::max(peak, std::fabs(x));
                    }
                }
                if (largest > worst) worst = largest;
                std::printf("rate %d program %2d block %3d largest difference %.3g (frame %d, peak %.3g)%s\n",
                            static_cast<int>(rate), program, block, largest, at, peak,
                            largest > tolerance ? "  ** above tolerance" : "");
            }
        }
    }
    std::printf("largest difference %.3g, tolerance %.3g: %s\n", worst, tolerance,
                worst <= tolerance ? "within" : "ABOVE");
    return worst <= tolerance;
}
}  // namespace klv::conformance
