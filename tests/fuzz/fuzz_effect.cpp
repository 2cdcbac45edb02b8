// libFuzzer target: drives one effect with a random sequence of host
// requests (every request number, negative and past the end included),
// parameter sets with any float, program changes and audio calls of random
// length. Text buffers carry guard bytes; audio buffers carry guard samples.
// Any overrun, sanitizer report or non-finite output from sane input aborts.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/effect_base.h"
#include "host/entry.h"

using namespace klv;

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    float anyFloat() {
        switch (byte() % 8) {
            case 0:
                return std::nanf("");
            case 1:
                return INFINITY;
            case 2:
                return -INFINITY;
            case 3:
                return (byte() % 2 ? 1.0f : -1.0f) * 1e9f;
            case 4:
                return static_cast<float>(byte()) / 255.0f;
            case 5:
                return static_cast<float>(static_cast<std::int8_t>(byte()));
            default: {
                const std::uint32_t bits = u32();
                float f;
                std::memcpy(&f, &bits, sizeof f);
                return f;
            }
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

VstIntPtr KLV_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetOutputLatency:
            return 4096;
        case audioMasterGetBlockSize:
            return 512;
        case audioMasterPinConnected:
            return (index + value) % 2;
        default:
            return 0;
    }
}

constexpr std::size_t kText = 512;
constexpr std::size_t kGuard = 32;
constexpr std::uint8_t kGuardByte = 0xA5;
constexpr float kGuardSample = 7777.0f;
constexpr int kMaxFrames = 4096;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Buffers {
    std::vector<float> in[2];
    std::vector<float> out[2];
    Buffers() {
        for (int ch = 0; ch < 2; ++ch) {
            in[ch].assign(kMaxFrames + kGuard, 0.0f);
            out[ch].assign(kMaxFrames + kGuard, 0.0f);
        }
    }
};

void runAudio(AEffect* e, Input& in, Buffers& b, bool replacing) {
    const int frames = static_cast<int>(in.u32() % (kMaxFrames + 1));
    const int mode = in.byte() % 4;  // 0 silence, 1 sine, 2 noise, 3 any floats
    bool sane = true;
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < frames; ++i) {
            float x = 0.0f;
            if (mode == 1) x = 0.8f * std::sin(0.031f * static_cast<float>(i) * static_cast<float>(ch + 1));
            if (mode == 2)
                x = static_cast<float>(
                        static_cast<int>((static_cast<std::uint32_t>(i) * 1103515245u + 12345u) % 2001u) - 1000) /
                    1000.0f;
            if (mode == 3 && i < 64) x = in.anyFloat();
            b.in[ch][static_cast<std::size_t>(i)] = x;
            sane = sane && std::isfinite(x) && std::fabs(x) <= 1e6f;
        }
        for (int i = 0; i < frames; ++i) b.out[ch][static_cast<std::size_t>(i)] = 0.0f;
        for (std::size_t i = static_cast<std::size_t>(frames); i < static_cast<std::size_t>(frames) + kGuard; ++i)
            b.out[ch][i] = kGuardSample;
    }
    float* inputs[2] = {b.in[0].data(), b.in[1].data()};
    float* outputs[2] = {b.out[0].data(), b.out[1].data()};
    (replacing ? e->processReplacing : e->process)(e, inputs, outputs, frames);
    for (int ch = 0; ch < e->numOutputs; ++ch) {
        for (std::size_t i = static_cast<std::size_t>(frames); i < static_cast<std::size_t>(frames) + kGuard; ++i)
            check(b.out[ch][i] == kGuardSample);
        if (sane)
            for (int i = 0; i < frames; ++i) check(std::isfinite(b.out[ch][static_cast<std::size_t>(i)]));
    }
}

void runRequest(AEffect*& e, Input& in) {
    VstInt32 opcode = static_cast<VstInt32>(static_cast<std::int8_t>(in.byte()));  // -128..127
    if (opcode == effEditOpen) opcode = effEditIdle;                               // a parent window cannot be made up
    const VstInt32 index = in.byte() % 2 ? in.i32() : static_cast<VstInt32>(in.byte()) - 4;
    const VstIntPtr value = in.byte() % 2 ? static_cast<VstIntPtr>(in.i32()) : static_cast<VstIntPtr>(in.byte()) - 4;
    const float opt = in.anyFloat();

    std::uint8_t text[kText + kGuard];
    std::memset(text, kGuardByte, sizeof text);
    const std::size_t filled = in.byte() % kText;
    for (std::size_t i = 0; i < filled; ++i) text[i] = static_cast<std::uint8_t>(in.byte() | 1);
    text[filled] = 0;
    for (std::size_t i = filled + 1; i < kText; ++i) text[i] = 0;
    ERect* rect = nullptr;

    void* ptr = nullptr;
    switch (in.byte() % 4) {
        case 0:
            ptr = nullptr;
            break;
        default:
            ptr = opcode == effEditGetRect ? static_cast<void*>(&rect) : static_cast<void*>(text);
            break;
    }
    e->dispatcher(e, opcode, index, value, ptr, opt);
    for (std::size_t i = kText; i < kText + kGuard; ++i) check(text[i] == kGuardByte);
    if (opcode == effClose) {
        e = pluginMain(hostCallback);
        check(e != nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Buffers buffers;
    Input in(data, size);
    AEffect* e = pluginMain(hostCallback);
    check(e != nullptr);
    int steps = 0;
    while (!in.empty() && steps++ < 200) {
        switch (in.byte() % 8) {
            case 0:
            case 1:
                runRequest(e, in);
                break;
            case 2:
                e->setParameter(e, static_cast<VstInt32>(static_cast<std::int8_t>(in.byte())), in.anyFloat());
                break;
            case 3: {
                const float v = e->getParameter(e, static_cast<VstInt32>(static_cast<std::int8_t>(in.byte())));
                (void)v;
                break;
            }
            case 4:
                runAudio(e, in, buffers, true);
                break;
            case 5:
                runAudio(e, in, buffers, false);
                break;
            case 6:
                e->dispatcher(e, effSetProgram, 0, static_cast<VstIntPtr>(in.byte()) - 8, nullptr, 0.0f);
                break;
            case 7:
                e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, in.anyFloat());
                break;
        }
    }
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
