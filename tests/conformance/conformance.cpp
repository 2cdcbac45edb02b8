#include "tests/conformance/conformance.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "host/vst2.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::conformance {

namespace {

using hostkit::HostConfig;
using hostkit::PluginInstance;
using hostkit::PluginLibrary;

const ParameterExpectation kClamporaValues[] = {
    {0, 0, 1.0f},    {0, 1, 0.5f},    {0, 2, 0.2f},   {0, 3, 0.8f},   {0, 7, 1.0f},   {0, 8, 0.5f},
    {0, 9, 0.5f},    {0, 16, 1.0f},   {14, 2, 0.35f}, {14, 3, 0.8f},  {14, 16, 2.0f}, {24, 7, 0.6f},
    {24, 10, 0.01f}, {24, 11, 0.25f}, {40, 2, 0.3f},  {40, 10, 0.1f}, {-1, 0, 0.0f},
};

const ParameterExpectation kTonvelaValues[] = {
    {0, 0, 1.0f},        {0, 3, 0.75f}, {0, 4, 1.0f / 7.0f}, {0, 6, 0.5f},  {2, 3, 0.2f},
    {2, 4, 5.0f / 7.0f}, {2, 6, 0.42f}, {2, 7, 0.62f},       {2, 9, 0.14f}, {2, 10, 0.35f},
    {2, 11, 0.09f},      {30, 4, 1.0f}, {-1, 0, 0.0f},
};

const PluginExpectations kExpectations[] = {
    {"clampora", "KcLP", true, 48, 18, "KLV Clampora", "The KLV Compressor plug-in", 17, "universal", "init",
     kClamporaValues},
    {"clampora-mono", "KcLp", false, 48, 18, "KLV Clampora", "The KLV Compressor plug-in", 17, "universal", "init",
     kClamporaValues},
    {"tonvela", "KcTv", true, 32, 16, "KLV Tonvela", "The KLV Saturation plug-in", 15, "preamp1", "init",
     kTonvelaValues},
    {"tonvela-mono", "KcTV", false, 32, 16, "KLV Tonvela", "The KLV Saturation plug-in", 15, "preamp1", "init",
     kTonvelaValues},
};

std::int32_t code(const char* s) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])));
}

// Reads a field at a byte offset, as a host that only knows the layout would.
template <class T>
T readAt(const AEffect* e, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(e) + offset, sizeof value);
    return value;
}

// A text request into a buffer with guard bytes after size bytes.
struct GuardedText {
    static constexpr std::size_t kGuard = 64;
    explicit GuardedText(std::size_t size) : size_(size), bytes_(size + kGuard, '\x5A') { bytes_[0] = '\0'; }
    char* data() { return bytes_.data(); }
    bool guardsIntact() const {
        for (std::size_t i = size_; i < bytes_.size(); ++i)
            if (bytes_[i] != '\x5A') return false;
        return true;
    }
    bool terminated() const { return std::memchr(bytes_.data(), '\0', size_) != nullptr; }
    std::string text() const { return std::string(bytes_.data(), strnlen(bytes_.data(), size_)); }

private:
    std::size_t size_;
    std::vector<char> bytes_;
};

std::string request(PluginInstance& p, std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0) {
    GuardedText t(256);
    p.dispatch(opcode, index, value, t.data());
    return t.text();
}

void checkEntries(Checker& c, PluginLibrary& lib) {
    c.setContext("exports");
    auto mainEntry = lib.entry("main");
    auto pluginMain = lib.entry("VSTPluginMain");
    KLV_CHECK(c, mainEntry != nullptr);
    KLV_CHECK(c, pluginMain != nullptr);
    KLV_CHECK(c, mainEntry == pluginMain);

    c.setContext("host version 0");
    for (auto entry : {mainEntry, pluginMain}) {
        if (!entry) continue;
        HostConfig refusing;
        refusing.version = 0;
        KLV_CHECK(c, PluginInstance::create(entry, refusing) == nullptr);
    }
}

// The historical entry name gives a working effect of its own.
void checkMainEntry(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("entry main");
    auto entry = lib.entry("main");
    if (!entry) return;
    auto p = PluginInstance::create(entry);
    KLV_CHECK(c, p != nullptr);
    if (!p) return;
    KLV_CHECK_EQ(c, p->effect()->uniqueID, code(x.uniqueId));
    KLV_CHECK_EQ(c, p->effect()->numParams, x.numParams);
    char name[64] = {0};
    p->dispatch(effGetEffectName, 0, 0, name);
    KLV_CHECK_EQ(c, std::string(name), std::string(x.effectName));
    KLV_CHECK_EQ(c, p->close(), static_cast<std::intptr_t>(1));
}

void checkRecord(Checker& c, PluginInstance& p, const PluginExpectations& x) {
    c.setContext("record");
    AEffect* e = p.effect();
    const bool narrow = sizeof(void*) == 4;
    // Offsets of the published layout for 4- and 8-byte pointers.
    const std::size_t oFlags = narrow ? 36 : 56, oIoRatio = narrow ? 60 : 92, oObject = narrow ? 64 : 96;
    const std::size_t oUnique = narrow ? 72 : 112, oVersion = narrow ? 76 : 116, oReplacing = narrow ? 80 : 120;
    const std::size_t oProcess = narrow ? 8 : 16, oPrograms = narrow ? 20 : 40, oInputs = narrow ? 28 : 48;
    if (narrow) KLV_CHECK_EQ(c, sizeof(AEffect), 144u);
    KLV_CHECK_EQ(c, readAt<std::uint32_t>(e, 0), 0x56737450u);
    unsigned char first[4];
    std::memcpy(first, e, 4);
    KLV_CHECK(c, first[0] == 'P' && first[1] == 't' && first[2] == 's' && first[3] == 'V');
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oPrograms), x.numPrograms);
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oPrograms + 4), x.numParams);
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oInputs), x.stereo ? 2 : 1);
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oInputs + 4), x.stereo ? 2 : 1);
    // Editor flag aside: VU, mono and replacing.
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oFlags) & ~effFlagsHasEditor, 0x1C);
    KLV_CHECK_EQ(c, readAt<float>(e, oIoRatio), 1.0f);
    KLV_CHECK(c, readAt<void*>(e, oObject) != nullptr);
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oUnique), code(x.uniqueId));
    KLV_CHECK_EQ(c, readAt<std::int32_t>(e, oVersion), 1);
    KLV_CHECK(c, readAt<void*>(e, oReplacing) != nullptr);
    KLV_CHECK(c, readAt<void*>(e, oReplacing) != readAt<void*>(e, oProcess));
    KLV_CHECK_EQ(c, e->initialDelay, 0);
    KLV_CHECK_EQ(c, e->resvd1, 0);
    KLV_CHECK_EQ(c, e->resvd2, 0);
    KLV_CHECK(c, e->user == nullptr);
    bool futureZero = true;
    for (char b : e->future) futureZero = futureZero && b == 0;
    KLV_CHECK(c, futureZero);
}

void checkAnswers(Checker& c, PluginInstance& p, const PluginExpectations& x) {
    c.setContext("answers");
    KLV_CHECK_EQ(c, p.dispatch(effIdentify), static_cast<std::intptr_t>(0x4E764566));
    KLV_CHECK_EQ(c, p.dispatch(effGetVstVersion), static_cast<std::intptr_t>(2100));
    KLV_CHECK_EQ(c, p.dispatch(effKeysRequired), static_cast<std::intptr_t>(1));
    for (const char* what : {"sendVstEvents", "receiveVstEvents", "plugAsChannelInsert", "bypass", ""}) {
        char text[64];
        std::strcpy(text, what);
        KLV_CHECK_EQ(c, p.dispatch(effCanDo, 0, 0, text), static_cast<std::intptr_t>(0));
    }
    KLV_CHECK_EQ(c, p.dispatch(effGetNumProgramCategories), static_cast<std::intptr_t>(1));
    KLV_CHECK_EQ(c, p.dispatch(effGetCurrentMidiProgram), static_cast<std::intptr_t>(-1));
    for (int i : {0, 1, x.numParams - 1, x.numParams, 1000, -1})
        KLV_CHECK_EQ(c, p.dispatch(effCanBeAutomated, i), static_cast<std::intptr_t>(1));
    KLV_CHECK_EQ(c, p.dispatch(effGetPlugCategory), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, p.dispatch(effGetVendorVersion), static_cast<std::intptr_t>(1));
    KLV_CHECK_EQ(c, p.dispatch(effGetTailSize), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, p.dispatch(effGetVu), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, p.dispatch(effGetChunk), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, p.dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f), static_cast<std::intptr_t>(1));
    KLV_CHECK_EQ(c, p.dispatch(effConnectInput, 1, 1), static_cast<std::intptr_t>(1));
    KLV_CHECK_EQ(c, p.dispatch(effConnectOutput, 1, 1), static_cast<std::intptr_t>(1));
    for (int opcode : {-1000, -1, 69, 70, 1000})
        KLV_CHECK_EQ(c, p.dispatch(opcode, 0, 0, nullptr), static_cast<std::intptr_t>(0));

    // Identity strings, into 65-byte buffers with guards after them.
    struct Text {
        std::int32_t opcode;
        const char* expected;
    };
    for (const Text& t : {Text{effGetEffectName, x.effectName}, Text{effGetVendorString, "KLV"},
                          Text{effGetProductString, x.product}}) {
        GuardedText buffer(65);
        KLV_CHECK_EQ(c, p.dispatch(t.opcode, 0, 0, buffer.data()), static_cast<std::intptr_t>(1));
        KLV_CHECK_EQ(c, buffer.text(), std::string(t.expected));
        KLV_CHECK(c, buffer.guardsIntact());
    }

    c.setContext("pins");
    for (int pin = -1; pin <= 2; ++pin) {
        for (int output = 0; output < 2; ++output) {
            VstPinProperties props;
            std::memset(&props, 0x33, sizeof props);
            const auto answer = p.dispatch(output ? effGetOutputProperties : effGetInputProperties, pin, 0, &props);
            if (pin == 0 || pin == 1) {
                KLV_CHECK_EQ(c, answer, static_cast<std::intptr_t>(1));
                const std::string label = std::string("My ") + char('1' + pin) + (output ? " Out" : " In");
                KLV_CHECK_EQ(c, std::string(props.label), label);
                KLV_CHECK_EQ(c, props.flags, 3);
            } else {
                KLV_CHECK_EQ(c, answer, static_cast<std::intptr_t>(0));
                KLV_CHECK_EQ(c, static_cast<unsigned char>(props.label[0]), 0x33);
            }
        }
    }
}

void checkNullPointers(Checker& c, PluginInstance& p) {
    c.setContext("null pointers");
    for (int opcode : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                       effEditGetRect, effString2Parameter, effGetProgramNameIndexed, effGetInputProperties,
                       effGetOutputProperties, effGetEffectName, effGetErrorText, effGetVendorString,
                       effGetProductString, effCanDo, effGetMidiProgramName, effGetMidiKeyName})
        KLV_CHECK_EQ(c, p.dispatch(opcode, 0, 0, nullptr), static_cast<std::intptr_t>(0));
}

void checkPrograms(Checker& c, PluginInstance& p, const PluginExpectations& x) {
    c.setContext("programs");
    KLV_CHECK_EQ(c, p.dispatch(effGetProgram), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, request(p, effGetProgramName), std::string(x.firstProgram));
    for (std::intptr_t bad : {static_cast<std::intptr_t>(x.numPrograms), static_cast<std::intptr_t>(x.numPrograms + 7),
                              static_cast<std::intptr_t>(-1), static_cast<std::intptr_t>(-100000)}) {
        p.dispatch(effSetProgram, 0, bad);
        KLV_CHECK_EQ(c, p.dispatch(effGetProgram), static_cast<std::intptr_t>(0));
    }

    // Every index, and indexes out of range, with guards.
    for (int i = -2; i <= x.numPrograms + 1; ++i) {
        GuardedText t(64);
        const auto answer = p.dispatch(effGetProgramNameIndexed, i, 0, t.data());
        const bool inside = i >= 0 && i < x.numPrograms;
        KLV_CHECK_EQ(c, answer, static_cast<std::intptr_t>(inside ? 1 : 0));
        KLV_CHECK(c, t.guardsIntact());
        if (inside) KLV_CHECK(c, t.terminated() && !t.text().empty());
    }
    KLV_CHECK_EQ(c, request(p, effGetProgramNameIndexed, x.numPrograms - 1), std::string(x.lastProgram));

    // The "Init" rule: exact, case-sensitive, numbered from 1 in the current
    // program's name only.
    p.dispatch(effSetProgram, 0, 4);
    char init[] = "Init";
    p.dispatch(effSetProgramName, 0, 0, init);
    KLV_CHECK_EQ(c, request(p, effGetProgramName), std::string("Init 5"));
    KLV_CHECK_EQ(c, request(p, effGetProgramNameIndexed, 4), std::string("Init"));
    char lower[] = "init";
    p.dispatch(effSetProgramName, 0, 0, lower);
    KLV_CHECK_EQ(c, request(p, effGetProgramName), std::string("init"));

    // A 1000-character name is cut to fit the record.
    std::string longName(1000, 'x');
    p.dispatch(effSetProgramName, 0, 0, &longName[0]);
    const std::string stored = request(p, effGetProgramName);
    KLV_CHECK_EQ(c, stored.size(), 23u);
    KLV_CHECK(c, p.dispatch(effGetProgram) == 4);

    // Copy: whole record, name included; out of range changes nothing.
    const int last = x.numPrograms - 1;
    p.dispatch(effSetProgram, 0, 1);
    const std::string name1 = request(p, effGetProgramName);
    std::vector<float> values1;
    for (int i = 0; i < x.numParams; ++i) values1.push_back(p.getParameter(i));
    const std::string lastBefore = request(p, effGetProgramNameIndexed, last);
    KLV_CHECK_EQ(c, p.dispatch(effCopyProgram, x.numPrograms), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, p.dispatch(effCopyProgram, -1), static_cast<std::intptr_t>(0));
    KLV_CHECK_EQ(c, request(p, effGetProgramNameIndexed, last), lastBefore);
    KLV_CHECK_EQ(c, p.dispatch(effCopyProgram, last), static_cast<std::intptr_t>(1));
    KLV_CHECK_EQ(c, request(p, effGetProgramNameIndexed, last), name1);
    p.dispatch(effSetProgram, 0, last);
    KLV_CHECK_EQ(c, request(p, effGetProgramName), name1);
    bool same = true;
    for (int i = 0; i < x.numParams; ++i) same = same && p.getParameter(i) == values1[static_cast<std::size_t>(i)];
    KLV_CHECK(c, same);
}

void checkFactoryValues(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("factory values");
    auto p = PluginInstance::create(lib.defaultEntry());
    if (!p) return;
    for (const ParameterExpectation* v = x.values; v->program >= 0; ++v) {
        p->dispatch(effSetProgram, 0, v->program);
        KLV_CHECK_EQ(c, p->getParameter(v->index), v->value);
    }
}

void checkParameterTexts(Checker& c, PluginInstance& p, const PluginExpectations& x) {
    c.setContext("parameter texts");
    for (int i = -1; i <= x.numParams; ++i) {
        for (int opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            GuardedText t(64);
            p.dispatch(opcode, i, 0, t.data());
            KLV_CHECK(c, t.guardsIntact());
            KLV_CHECK(c, t.terminated());
            if (i >= 0 && i < x.numParams && opcode == effGetParamName) KLV_CHECK(c, !t.text().empty());
        }
    }
    KLV_CHECK_EQ(c, p.getParameter(-1), 0.0f);
    KLV_CHECK_EQ(c, p.getParameter(x.numParams), 0.0f);
}

void checkParameterValues(Checker& c, PluginInstance& p, const PluginExpectations& x) {
    c.setContext("parameter values");
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (int i = 0; i < x.numParams; ++i) {
        const float before = p.getParameter(i);
        for (float v : bad) p.setParameter(i, v);
        KLV_CHECK_EQ(c, p.getParameter(i), before);
    }
    // Out-of-range indexes change nothing.
    std::vector<float> all;
    for (int i = 0; i < x.numParams; ++i) all.push_back(p.getParameter(i));
    p.setParameter(-1, 0.25f);
    p.setParameter(x.numParams, 0.25f);
    p.setParameter(100000, 0.25f);
    bool unchanged = true;
    for (int i = 0; i < x.numParams; ++i)
        unchanged = unchanged && p.getParameter(i) == all[static_cast<std::size_t>(i)];
    KLV_CHECK(c, unchanged);
}

// Processes a short block with guard samples after each output buffer.
bool processGuarded(PluginInstance& p, int frames, bool replacing) {
    const float kGuard = 12345.0f;
    std::vector<float> in[2], out[2];
    for (int ch = 0; ch < 2; ++ch) {
        in[ch].assign(static_cast<std::size_t>(frames), 0.0f);
        for (int i = 0; i < frames; ++i) in[ch][static_cast<std::size_t>(i)] = 0.25f * std::sin(0.05f * i + ch);
        out[ch].assign(static_cast<std::size_t>(frames) + 16, kGuard);
        for (int i = 0; i < frames; ++i) out[ch][static_cast<std::size_t>(i)] = 0.0f;
    }
    float* inputs[2] = {in[0].data(), in[1].data()};
    float* outputs[2] = {out[0].data(), out[1].data()};
    if (replacing)
        p.processReplacing(inputs, outputs, frames);
    else
        p.process(inputs, outputs, frames);
    const int channels = p.effect()->numOutputs;
    bool ok = true;
    for (int ch = 0; ch < channels; ++ch) {
        for (int i = 0; i < frames; ++i) ok = ok && std::isfinite(out[ch][static_cast<std::size_t>(i)]);
        for (int i = frames; i < frames + 16; ++i) ok = ok && out[ch][static_cast<std::size_t>(i)] == kGuard;
    }
    return ok;
}

void checkStereoMono(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("stereo/mono");
    for (bool connected : {true, false}) {
        HostConfig config;
        config.input2Connected = connected;
        auto p = PluginInstance::create(lib.defaultEntry(), config);
        if (!p) continue;
        const int k = x.stereoMonoIndex;
        if (x.stereo) {
            KLV_CHECK_EQ(c, p->getParameter(k), -1.0f);
            KLV_CHECK(c, processGuarded(*p, 64, true));
            KLV_CHECK_EQ(c, p->getParameter(k), connected ? 0.0f : 1.0f);
            KLV_CHECK_EQ(c, p->countCalls(audioMasterPinConnected), 1);
            // Once decided, the host's values switch directly, for every program.
            p->setParameter(k, 0.5f);
            p->dispatch(effSetProgram, 0, 3);
            KLV_CHECK_EQ(c, p->getParameter(k), 0.5f);
            p->setParameter(k, 1.0f);
            p->dispatch(effSetProgram, 0, 7);
            KLV_CHECK_EQ(c, p->getParameter(k), 1.0f);
            KLV_CHECK(c, processGuarded(*p, 64, true));
            KLV_CHECK_EQ(c, p->countCalls(audioMasterPinConnected), 1);
        } else {
            KLV_CHECK_EQ(c, p->getParameter(k), 1.0f);
            p->setParameter(k, 0.0f);
            KLV_CHECK_EQ(c, p->getParameter(k), 1.0f);
            KLV_CHECK(c, processGuarded(*p, 64, true));
            KLV_CHECK_EQ(c, p->getParameter(k), 1.0f);
        }
    }
}

void checkLifecycle(Checker& c, PluginLibrary& lib) {
    c.setContext("lifecycle");
    // A scan as hosts do it, with a host that knows almost nothing.
    for (int round = 0; round < 2; ++round) {
        HostConfig bare;
        bare.sampleRate = 0.0f;
        bare.blockSize = 0;
        auto p = PluginInstance::create(lib.defaultEntry(), bare);
        KLV_CHECK(c, p != nullptr);
        if (!p) return;
        p->dispatch(effOpen);
        p->dispatch(effOpen);
        KLV_CHECK(c, (p->effect()->flags & effFlagsCanReplacing) != 0);
        p->dispatch(effMainsChanged, 0, 0);
        p->close();
    }
    // The usual order, then odd ones: processing before any rate, without
    // resume, suspend and resume mid-stream, closing while resumed.
    auto p = PluginInstance::create(lib.defaultEntry());
    if (!p) return;
    KLV_CHECK(c, processGuarded(*p, 32, true));
    p->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    p->dispatch(effSetBlockSize, 0, 256);
    p->dispatch(effMainsChanged, 0, 1);
    KLV_CHECK(c, processGuarded(*p, 256, true));
    KLV_CHECK(c, processGuarded(*p, 100, false));
    p->dispatch(effMainsChanged, 0, 0);
    p->dispatch(effMainsChanged, 0, 1);
    KLV_CHECK(c, processGuarded(*p, 0, true));
    KLV_CHECK(c, processGuarded(*p, 1, true));
    // Editor requests are harmless whether or not an editor exists.
    ERect* rect = nullptr;
    p->dispatch(effEditGetRect, 0, 0, &rect);
    p->dispatch(effEditIdle);
    p->dispatch(effEditClose);
    p->dispatch(effEditClose);
    p->close();
}

// Renders a fixed signal through one program; the output of every channel.
std::vector<float> render(PluginInstance& p, int program, int frames, int block) {
    p.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    p.dispatch(effSetBlockSize, 0, block);
    p.dispatch(effSetProgram, 0, program);
    p.dispatch(effMainsChanged, 0, 1);
    std::vector<float> in[2], out[2];
    for (int ch = 0; ch < 2; ++ch) {
        in[ch].resize(static_cast<std::size_t>(frames));
        out[ch].assign(static_cast<std::size_t>(frames), 0.0f);
        for (int i = 0; i < frames; ++i)
            in[ch][static_cast<std::size_t>(i)] =
                0.7f * std::sin(0.013f * static_cast<float>(i * (ch + 1))) * (i % 4410 < 2000 ? 1.0f : 0.2f);
    }
    for (int start = 0; start < frames; start += block) {
        const int n = std::min(block, frames - start);
        float* inputs[2] = {in[0].data() + start, in[1].data() + start};
        float* outputs[2] = {out[0].data() + start, out[1].data() + start};
        p.processReplacing(inputs, outputs, n);
    }
    std::vector<float> all;
    for (int ch = 0; ch < p.effect()->numOutputs; ++ch) all.insert(all.end(), out[ch].begin(), out[ch].end());
    return all;
}

// Several instances in one process, processing interleaved, each give what
// one instance alone gives.
void checkInstances(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("several instances");
    const int program = x.numPrograms > 2 ? 2 : 0;
    auto alone = PluginInstance::create(lib.defaultEntry());
    if (!alone) return;
    const std::vector<float> reference = render(*alone, program, 8192, 256);
    alone.reset();
    std::unique_ptr<PluginInstance> crowd[3];
    for (auto& p : crowd) p = PluginInstance::create(lib.defaultEntry());
    // Different settings on the neighbours; the same on the one compared.
    crowd[0]->setParameter(1, 0.9f);
    std::vector<float> results[3];
    for (int i = 2; i >= 0; --i) results[i] = render(*crowd[i], i == 1 ? program : i * 5, 8192, 256);
    KLV_CHECK(c, results[1] == reference);
    auto twin = PluginInstance::create(lib.defaultEntry());
    KLV_CHECK(c, render(*twin, program, 8192, 256) == reference);
}

// Instances created while the host's heap holds blocks of assorted sizes,
// so that they land at every alignment the heap gives (32-bit Windows heaps
// promise only 8 bytes): each must process every program.
void checkHeapPlacement(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("instances at any heap placement");
    std::vector<std::unique_ptr<char[]>> clutter;
    std::vector<std::unique_ptr<PluginInstance>> instances;
    bool allProcessed = true;
    for (int i = 0; i < 12; ++i) {
        clutter.emplace_back(new char[static_cast<std::size_t>(8 + 8 * i)]);
        auto p = PluginInstance::create(lib.defaultEntry());
        if (!p) {
            allProcessed = false;
            break;
        }
        p->dispatch(effMainsChanged, 0, 1);
        for (int program = i % 3; program < x.numPrograms; program += 3) {
            p->dispatch(effSetProgram, 0, program);
            allProcessed = allProcessed && processGuarded(*p, 300, true);
        }
        instances.push_back(std::move(p));
    }
    KLV_CHECK(c, allProcessed);
}

// A host that calls back into the effect from inside its own callback.
void checkReentry(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("re-entrant host");
    auto p = PluginInstance::create(lib.defaultEntry());
    if (!p) return;
    int reentries = 0;
    p->onCallback = [&](PluginInstance& self, const hostkit::CallbackRecord&) {
        ++reentries;
        const float v = self.getParameter(2);
        self.setParameter(2, v);
        char text[64];
        self.dispatch(effGetParamDisplay, 2, 0, text);
    };
    const std::vector<float> out = render(*p, 0, 2048, 512);
    bool finite = true;
    for (float v : out) finite = finite && std::isfinite(v);
    KLV_CHECK(c, finite);
    if (x.stereo) KLV_CHECK(c, reentries >= 1);  // the channel question
}

// One thread processes while another sets parameters and switches programs
// as fast as it can.
void checkThreads(Checker& c, PluginLibrary& lib, const PluginExpectations& x) {
    c.setContext("threads");
    auto p = PluginInstance::create(lib.defaultEntry());
    if (!p) return;
    p->dispatch(effMainsChanged, 0, 1);
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        std::vector<float> in[2], out[2];
        for (int ch = 0; ch < 2; ++ch) {
            in[ch].assign(256, 0.0f);
            out[ch].assign(256, 0.0f);
            for (int i = 0; i < 256; ++i) in[ch][static_cast<std::size_t>(i)] = 0.5f * std::sin(0.05f * i);
        }
        float* inputs[2] = {in[0].data(), in[1].data()};
        float* outputs[2] = {out[0].data(), out[1].data()};
        while (!stop.load()) {
            p->processReplacing(inputs, outputs, 256);
            for (float v : out[0])
                if (!std::isfinite(v)) finite = false;
        }
    });
    std::uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int index = static_cast<int>(seed >> 8) % x.numParams;
        const float value = static_cast<float>((seed >> 12) % 1001u) / 1000.0f;
        if (index == x.stereoMonoIndex) continue;
        p->setParameter(index, value);
        if (i % 97 == 0)
            p->dispatch(effSetProgram, 0,
                        static_cast<std::intptr_t>((seed >> 4) % static_cast<std::uint32_t>(x.numPrograms)));
    }
    stop = true;
    audio.join();
    KLV_CHECK(c, finite.load());
}

}  // namespace

const PluginExpectations* findExpectations(const std::string& key) {
    for (const auto& x : kExpectations)
        if (key == x.key) return &x;
    return nullptr;
}

void runConformance(Checker& c, const std::string& path, const PluginExpectations& expect) {
    PluginLibrary lib;
    c.setContext("load");
    KLV_CHECK(c, lib.open(path));
    if (!lib.isOpen()) return;
    checkEntries(c, lib);
    checkMainEntry(c, lib, expect);
    auto p = PluginInstance::create(lib.defaultEntry());
    KLV_CHECK(c, p != nullptr);
    if (!p) return;
    checkRecord(c, *p, expect);
    checkAnswers(c, *p, expect);
    checkNullPointers(c, *p);
    checkParameterTexts(c, *p, expect);
    checkParameterValues(c, *p, expect);
    checkPrograms(c, *p, expect);
    p->close();
    checkFactoryValues(c, lib, expect);
    checkStereoMono(c, lib, expect);
    checkLifecycle(c, lib);
    checkInstances(c, lib, expect);
    checkHeapPlacement(c, lib, expect);
    checkReentry(c, lib, expect);
    checkThreads(c, lib, expect);
}

}  // namespace klv::conformance
