// The compressor's signal path: state, per-block preparation and the
// per-sample loops. No host records here; ClamporaEffect maps host requests
// onto this class.
#pragma once

#include "clampora/clampora_params.h"
#include "clampora/compressor_passes.h"
#include "clampora/meters.h"
#include "clampora/output_stage.h"
#include "host/relaxed.h"
#include "host/sample_ops.h"

namespace klv::clampora {

// Audio EQ Cookbook band-pass (constant 0 dB peak gain); b1 is always 0.
struct SideChainFilter {
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f, x0 = 0.0f, y0 = 0.0f;
    void clear() noexcept { x1 = x2 = y1 = y2 = x0 = y0 = 0.0f; }
};

// Stored value after snapping for "attack", "release" and "make-up";
// other parameters pass unchanged.
float snapTimeValue(int index, float value) noexcept;

// Working value of a continuous parameter: the value clamped to 0..1.
using dsp::unitValue;

// Side-chain frequency in Hz for a "scFreq" value: 25 Hz * 600^v.
float sideChainFrequency(float value) noexcept;
// Side-chain Q for a "scQ" value: 0.001 .. 10.
float sideChainQ(float value) noexcept;
// Gain factor of "input" and "output": -12 dB .. +12 dB.
double levelGain(float value) noexcept;

// The gain law L(e): a hard knee meeting 1/e at e = 2 with equal slope,
// blended by the hard share s with the soft curve 1.01 / (e + 1.01).
inline double gainLaw(double e, double s) noexcept {
    const double soft = (1.0 - s) * 1.01 / (e + 1.01);
    return e >= 2.0 ? s / e + soft : (1.0 - e * 0.25) * s + soft;
}

// The host sample rate as the engine uses it, and truncated to an integer.
using dsp::usableRate;
int usableSampleRate(float rate) noexcept;

class ClamporaEngine {
public:
    ClamporaEngine() noexcept;

    // Working values that setParameter keeps.
    void setDryWeight(float weight) noexcept { dryWeight_ = weight; }
    void setSideChain(float frequencyHz, float q, float sampleRate) noexcept;
    float sideChainFrequencyHz() const noexcept { return scFrequency_; }
    float sideChainQValue() const noexcept { return scQ_; }
    const SideChainFilter& filter(int channel) const noexcept { return filters_[channel]; }

    void clearDrivenLines() noexcept;
    void clearDryLines() noexcept;
    void clearLimiterLines() noexcept;
    void clearFilterState() noexcept;

    // Makes the smoothed copy of a parameter equal to its target (program change).
    void jumpSmoothed(int index, float target) noexcept;

    // Suspend: signal state back to silence, filters redesigned.
    void reset(float sampleRate) noexcept;

    // One audio call. targets are the stored parameter values read once for
    // this block; stereo selects linked stereo; twoOutputs makes the mono
    // paths write their result to outputs[1] as well.
    template <bool kAccumulate>
    void process(const float* targets, float sampleRate, bool stereo, bool twoOutputs, float** inputs, float** outputs,
                 int sampleFrames) noexcept;

    void setRingWriteIndex(int index) noexcept { rings_.writeIndex = index & kRingMask; }
    const MeterRings& rings() const noexcept { return rings_; }
    MeterReading meter(int channel) const noexcept { return rings_.read(channel); }
    float envelope() const noexcept { return envelope_; }
    float makeupGain() const noexcept { return makeupGain_; }

    // True if any recursive state value is subnormal (for tests).
    bool hasSubnormalState() const noexcept;

private:
    struct Block;
    void prepare(Block& b, const float* targets, float sampleRate, int sampleFrames) noexcept;
    template <int kChannels, bool kAccumulate>
    void runActive(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept;
    template <int kChannels, bool kAccumulate, SatMode kSat>
    void runCompressor(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept;
    template <int C, SatMode kSat>
    passes::Pipeline<C, kSat> loadPipeline(const Block& b) noexcept;
    template <int C, SatMode kSat>
    void storePipeline(const Block& b, passes::Pipeline<C, kSat>& p, int n) noexcept;
    template <int C, bool kAccumulate, SatMode kSat>
    void runListening(const Block& b, passes::Pipeline<C, kSat>& p, passes::Segment& seg, float* outL, float* outR,
                      bool twoOutputs) noexcept;
    template <int kChannels, bool kAccumulate>
    void runBypass(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept;
    void publish(const Block& b, int n) noexcept;

    // Smoothed working copies (glide once per block).
    float smInput_ = 0.5f, smCompress_ = 0.0f, smSlope_ = 0.0f, smAttack_ = 0.0f, smHold_ = 0.0f, smRelease_ = 0.0f,
          smMakeup_ = 0.0f, smOutput_ = 0.5f;

    float attackCoef_ = 0.0f, releaseCoef_ = 0.0f;
    float makeupGain_ = 1.0f;
    float envelope_ = 0.0f;
    float meanSquare_ = 0.0f;
    int holdCounter_ = 0;

    float dryWeight_ = 1.0f;
    // Read by the editor's thread too.
    Relaxed<float> scFrequency_{2500.0f};
    Relaxed<float> scQ_{1.0f};
    float scRate_ = 44100.0f;  // rate the side-chain filter was designed for
    SideChainFilter filters_[2];

    // Frames of (left, right).
    alignas(16) float driven_[kLineSize][2];
    alignas(16) float dry_[kLineSize][2];
    alignas(16) float limiter_[kLineSize][2];
    int writeIndex_ = 255;
    int lookAheadIndex_ = 0;
    int dryIndex_ = 0;
    int limiterIndex_ = 0;

    // Coefficients that depend only on the rate (and the block length).
    struct RateCoefficients {
        int fs = -1, blockFrames = -1;
        float meterCoef = 0.0f, rmsCoef = 0.0f, peakDecay = 0.0f, fixedAttack = 0.0f, fixedRelease = 0.0f;
        OutputStageCoefficients stage{};
        int clipCount = 0;
    } rate_;

    OutputStageState stage_;
    passes::Scratch scratch_{};  // one block's intermediate values
    ChannelMeter meters_[2];
    MeterRings rings_;
};

// The engine's scratch arrays need their alignment from any heap (see
// passes::Segment): the effect must be allocated by the aligned new.
static_assert(alignof(ClamporaEngine) > __STDCPP_DEFAULT_NEW_ALIGNMENT__,
              "the engine must be over-aligned so that new aligns it on every heap");

}  // namespace klv::clampora
