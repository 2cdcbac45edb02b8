// klv-bench-host: times several VST 2 plug-in libraries side by side.
//
//   klv-bench-host [--rate HZ] [--block N] [--seconds S] [--rounds K]
//                  LIBRARY[@PROGRAM] ...
//
// Each library is loaded through its exported entry, given the rate and
// block size, optionally switched to a program (by number or by name), and
// resumed. Every round runs each plug-in in turn (A B A B ...) over the same
// deterministic programme material with processReplacing; the report gives
// the median time per frame over the rounds and the real-time factor
// (time one frame lasts at the rate / time it takes to compute).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/hostkit/plugin_host.h"

namespace {

using klv::hostkit::PluginInstance;
using klv::hostkit::PluginLibrary;

struct Options {
    float rate = 44100.0f;
    int block = 512;
    double seconds = 2.0;
    int rounds = 9;
    std::vector<std::string> plugins;
};

struct Subject {
    std::string label;
    std::unique_ptr<PluginLibrary> library;
    std::unique_ptr<PluginInstance> instance;
    int inputs = 0, outputs = 0;
    std::vector<double> nsPerFrame;
};

void usage() {
    std::fprintf(stderr,
                 "usage: klv-bench-host [--rate HZ] [--block N] [--seconds S] [--rounds K] LIBRARY[@PROGRAM] ...\n");
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](double& out) {
            if (i + 1 >= argc) return false;
            out = std::atof(argv[++i]);
            return true;
        };
        double v = 0.0;
        if (a == "--rate") {
            if (!value(v) || v < 1000.0) return false;
            o.rate = static_cast<float>(v);
        } else if (a == "--block") {
            if (!value(v) || v < 1.0 || v > 65536.0) return false;
            o.block = static_cast<int>(v);
        } else if (a == "--seconds") {
            if (!value(v) || v <= 0.0) return false;
            o.seconds = v;
        } else if (a == "--rounds") {
            if (!value(v) || v < 1.0) return false;
            o.rounds = static_cast<int>(v);
        } else if (a == "--help" || a == "-h") {
            return false;
        } else {
            o.plugins.push_back(a);
        }
    }
    return !o.plugins.empty();
}

// Two detuned tones under a slow swell plus a little noise: steady enough
// to settle a compressor, moving enough to keep its gain working.
void programme(std::vector<std::vector<float>>& channels, int frames, float rate) {
    channels.assign(2, std::vector<float>(frames));
    std::uint32_t seed = 12345u;
    for (int i = 0; i < frames; ++i) {
        const double t = i / static_cast<double>(rate);
        const double swell = 0.3 + 0.25 * std::sin(2.0 * 3.141592653589793 * 0.7 * t);
        seed = seed * 1664525u + 1013904223u;
        const double hiss = 0.01 * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0);
        channels[0][i] = static_cast<float>(swell * std::sin(2.0 * 3.141592653589793 * 220.0 * t) + hiss);
        channels[1][i] = static_cast<float>(swell * std::sin(2.0 * 3.141592653589793 * 331.0 * t) - hiss);
    }
}

bool selectProgram(PluginInstance& p, const std::string& which) {
    char* end = nullptr;
    const long number = std::strtol(which.c_str(), &end, 10);
    if (end && *end == '\0') {
        p.dispatch(klv::effSetProgram, 0, number);
        return true;
    }
    for (int i = 0; i < p.effect()->numPrograms; ++i) {
        char name[256] = {0};
        if (p.dispatch(klv::effGetProgramNameIndexed, i, 0, name) && which == name) {
            p.dispatch(klv::effSetProgram, 0, i);
            return true;
        }
    }
    return false;
}

bool load(const std::string& argument, const Options& o, Subject& s) {
    const std::size_t at = argument.rfind('@');
    const std::string path = at == std::string::npos ? argument : argument.substr(0, at);
    s.label = argument.substr(argument.find_last_of('/') == std::string::npos ? 0 : argument.find_last_of('/') + 1);
    s.library = std::make_unique<PluginLibrary>();
    if (!s.library->open(path)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), s.library->error().c_str());
        return false;
    }
    klv::hostkit::HostConfig config;
    config.sampleRate = o.rate;
    config.blockSize = o.block;
    s.instance = PluginInstance::create(s.library->defaultEntry(), config);
    if (!s.instance) {
        std::fprintf(stderr, "%s: the entry gave no effect\n", path.c_str());
        return false;
    }
    PluginInstance& p = *s.instance;
    p.dispatch(klv::effOpen);
    p.dispatch(klv::effSetSampleRate, 0, 0, nullptr, o.rate);
    p.dispatch(klv::effSetBlockSize, 0, o.block);
    if (at != std::string::npos && !selectProgram(p, argument.substr(at + 1))) {
        std::fprintf(stderr, "%s: no program %s\n", path.c_str(), argument.substr(at + 1).c_str());
        return false;
    }
    p.dispatch(klv::effMainsChanged, 0, 1);
    s.inputs = p.effect()->numInputs;
    s.outputs = p.effect()->numOutputs;
    if (!(p.effect()->flags & klv::effFlagsCanReplacing)) {
        std::fprintf(stderr, "%s: no processReplacing\n", path.c_str());
        return false;
    }
    return true;
}

// One pass over the material; answers nanoseconds per frame.
double timePass(Subject& s, const std::vector<std::vector<float>>& material, int block) {
    const int frames = static_cast<int>(material[0].size());
    const int ins = std::max(s.inputs, 1), outs = std::max(s.outputs, 1);
    std::vector<std::vector<float>> out(outs, std::vector<float>(block));
    std::vector<float*> inPtr(ins), outPtr(outs);
    for (int c = 0; c < outs; ++c) outPtr[c] = out[c].data();
    const auto start = std::chrono::steady_clock::now();
    for (int pos = 0; pos + block <= frames; pos += block) {
        for (int c = 0; c < ins; ++c) inPtr[c] = const_cast<float*>(material[c % 2].data()) + pos;
        s.instance->processReplacing(inPtr.data(), outPtr.data(), block);
    }
    const auto stop = std::chrono::steady_clock::now();
    const double ns = std::chrono::duration<double, std::nano>(stop - start).count();
    return ns / (frames / block * block);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    std::vector<Subject> subjects(o.plugins.size());
    for (std::size_t i = 0; i < o.plugins.size(); ++i)
        if (!load(o.plugins[i], o, subjects[i])) return 1;

    std::vector<std::vector<float>> material;
    programme(material, static_cast<int>(o.seconds * o.rate), o.rate);
    for (Subject& s : subjects) timePass(s, material, o.block);  // warm-up, settles the effects
    for (int r = 0; r < o.rounds; ++r)
        for (Subject& s : subjects) s.nsPerFrame.push_back(timePass(s, material, o.block));

    std::printf("rate %.0f Hz, block %d, %.2f s of material, %d rounds (median)\n", o.rate, o.block, o.seconds,
                o.rounds);
    std::printf("%-48s %4s %12s %14s\n", "plug-in", "i/o", "ns/frame", "real-time x");
    for (Subject& s : subjects) {
        std::vector<double> t = s.nsPerFrame;
        std::sort(t.begin(), t.end());
        const double median = t[t.size() / 2];
        char io[16];
        std::snprintf(io, sizeof io, "%d/%d", s.inputs, s.outputs);
        std::printf("%-48s %4s %12.2f %14.1f\n", s.label.c_str(), io, median, 1e9 / o.rate / median);
    }
    return 0;
}
