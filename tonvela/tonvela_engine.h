// The saturator's signal path: filters, curves, envelopes, metering and the
// per-sample chain. No host records here; TonvelaEffect maps host requests
// onto this class.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/relaxed.h"
#include "host/sample_ops.h"
#include "tonvela/tonvela_params.h"

namespace klv::tonvela {

// One first-order section (bilinear transform, corner f at rate fs).
struct OnePoleFilter {
    float x1 = 0.0f, y1 = 0.0f, b = 0.0f, c = 0.0f;

    void initLowpass(double frequency, double sampleRate) noexcept;
    void initHighpass(double frequency, double sampleRate) noexcept;

    float lowpass(float x) noexcept {
        const float y = (x + x1) * b - c * y1;
        x1 = x;
        y1 = y;
        return y;
    }
    float highpass(float x) noexcept {
        const float y = c * y1 + (x - x1) * b;
        x1 = x;
        y1 = y;
        return y;
    }
};

// Corners are kept at or below this share of the sample rate: past half the
// rate the sections as designed become unstable.
constexpr double kMaxCornerShare = 0.45;

using dsp::usableRate;

// Working values derived by setParameter.
double levelGain(float value) noexcept;           // 10^((v - 0.5) * 1.2): -12 .. +12 dB
double driveGain(float value) noexcept;           // 1 + 31 v^2
int shapeStep(float value) noexcept;              // nearest step 0..7
double bassCorner(float value) noexcept;          // 50 + 450 v^2 Hz
double trebleCorner(float value) noexcept;        // 2000 + 10000 v^2 Hz
double trebleHarmonicGain(float value) noexcept;  // T = 10^((v - 0.1) * 8)
double bassHarmonicAmount(float value) noexcept;  // a = 0.1 + 36.9 v^2
double bassBandFactor(double amount) noexcept;    // F = 10 / (10^0.65 a^0.65)

// The seven curve normalisers for a drive gain, indexed by shape step (entry
// 0 is unused): each maps a full-scale input of 1.0 to 1.0.
struct Normalisers {
    float n[kNumShapes];
};
Normalisers curveNormalisers(double drive) noexcept;

// Sine by table lookup with linear interpolation, for phases up to 3 pi / 2.
float tableSine(float phase) noexcept;

// The saturation curve of a shape step applied to a driven sample d, with
// the normaliser of that step (ignored by "digital" and "none").
float applyCurve(int step, float d, float normaliser) noexcept;

constexpr int kMeterRingSize = 256;
constexpr int kMeterRingMask = kMeterRingSize - 1;

// Hand-over of meter values from the audio thread to the editor: rings 0/1
// level left/right, 2/3 held peak, 4/5 clip flag. The read position trails
// the write position by the meter delay.
// Written by the audio calls and read by the editor's idle on another
// thread: every entry and position is one relaxed atomic value.
struct MeterHistory {
    Relaxed<float> rings[6][kMeterRingSize];
    Relaxed<int> writePosition{1};
    Relaxed<int> readPosition{0};
};

// Delay in audio calls between processing a block and showing its meters.
int meterDelay(std::int32_t outputLatency, std::int32_t blockSize) noexcept;

struct MeterReading {
    float level = 0.0f;
    float peak = 0.0f;
    float clip = 0.0f;
};

// Everything one audio call needs, copied from the working values at its start.
struct CallSettings {
    bool bypass = false;
    bool stereo = false;      // run both channels (otherwise left only)
    bool twoOutputs = false;  // the mono result goes to outputs 0 and 1
    bool bassOn = false;
    bool trebleOn = false;
    int meterPoint = 1;  // 0 input, 1 output, 2 driven signal, else none
    int shape = 0;
    float inputGain = 1.0f, outputGain = 1.0f, mix = 1.0f;
    float drive = 1.0f;       // g
    float normaliser = 1.0f;  // of the selected curve
    float bassGain = 1.0f, trebleGain = 1.0f;
    float bassFactor = 1.0f;       // F
    float trebleHarmonic = 1.0f;   // T
    float bassAmount = 0.1f;       // a
    float bassHarmValue = 0.0f;    // normalised "bassHarm"
    float trebleFreqValue = 0.0f;  // normalised "trebleFreq"
    float sampleRate = 44100.0f;   // host rate at this call
};

namespace passes {
struct ChainState;
struct ChainConstants;
}  // namespace passes

class TonvelaEngine {
public:
    TonvelaEngine() noexcept;

    // Filter corners; the sections are redesigned (and cleared) by the next
    // audio call or reset, on the audio thread.
    void setBassCorner(float hz) noexcept;
    void setTrebleCorner(float hz) noexcept;
    float bassCornerHz() const noexcept { return bassCorner_.load(std::memory_order_relaxed); }
    float trebleCornerHz() const noexcept { return trebleCorner_.load(std::memory_order_relaxed); }

    // suspend: meters cleared, filters redesigned at the given rate.
    void reset(float filterRate) noexcept;

    void setMeterDelay(int delay) noexcept;

    template <bool kAccumulate>
    void process(const CallSettings& settings, float** inputs, float** outputs, int sampleFrames) noexcept;

    MeterReading meter(int channel) const noexcept;
    const MeterHistory& history() const noexcept { return history_; }
    float bassEnvelope(int channel) const noexcept { return bassEnvelope_[channel]; }
    float trebleEnvelope(int channel) const noexcept { return trebleEnvelope_[channel]; }
    const OnePoleFilter& bassSplit(int channel, int stage) const noexcept { return bassSplit_[channel][stage]; }
    const OnePoleFilter& bassSmoothing(int channel) const noexcept { return bassSmooth_[channel]; }
    const OnePoleFilter& trebleSplit(int channel, int stage) const noexcept { return trebleSplit_[channel][stage]; }
    double filterRate() const noexcept { return filterRate_; }
    // True when any recursive state or meter value is subnormal.
    bool hasSubnormalState() const noexcept;

private:
    struct Block;
    void redesignBass() noexcept;
    void redesignTreble() noexcept;
    void applyPendingDesigns() noexcept;
    void finishBlock(const Block& b, int frames) noexcept;
    template <bool kAccumulate, int kChannels, bool kBass, bool kTreble>
    void run(const Block& b, float** inputs, float** outputs, int n) noexcept;
    template <bool kAccumulate, int kChannels>
    void runBypass(const Block& b, float** inputs, float** outputs, int n) noexcept;
    // The chain's running state and constants for one block's passes.
    passes::ChainState loadChain() const noexcept;
    passes::ChainConstants chainConstants(const Block& b) const noexcept;
    template <int kChannels, bool kBass, bool kTreble>
    void storeChain(const passes::ChainState& st, dsp::Lanes peak, bool metered) noexcept;

    OnePoleFilter bassSplit_[2][2];
    OnePoleFilter bassSmooth_[2];
    OnePoleFilter trebleSplit_[2][2];
    float bassEnvelope_[2] = {0.0f, 0.0f};
    float trebleEnvelope_[2] = {0.0f, 0.0f};
    float level_[2] = {0.0f, 0.0f};
    float blockPeak_[2] = {0.0f, 0.0f};
    float heldPeak_[2] = {0.0f, 0.0f};
    std::int64_t holdTime_[2] = {0, 0};
    double filterRate_ = 44100.0;

    // Corners as last set, and change counters the audio thread compares
    // against the designs it has applied.
    std::atomic<float> bassCorner_{50.0f}, trebleCorner_{2000.0f};
    std::atomic<unsigned> bassRequests_{1}, trebleRequests_{1};
    unsigned bassApplied_ = 0, trebleApplied_ = 0;

    MeterHistory history_;
};

}  // namespace klv::tonvela
