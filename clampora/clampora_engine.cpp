#include "clampora/clampora_engine.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "host/dsp_math.h"

namespace klv::clampora {

namespace {

// Band edges of "attack", "release" and "make-up", compared in double precision.
constexpr double kFastEdge = 0.0416666;
constexpr double kSlowEdge = 0.125;
constexpr double kFixedEdge = 0.1666666;
constexpr float kSnapSlow = 0.0833333f;
constexpr float kSnapFixed = 0.1666666f;

// Inputs beyond +-65536 (about +96 dBFS) are clamped: squared after the
// largest drive and input gain they would overflow the RMS detector.
constexpr float kInputLimit = 65536.0f;

// One-pole coefficient: after T seconds a step has decayed to 0.1091012 of
// itself, k(T) = 1 - 0.1091012^(1 / (fs T)).
float onePole(int fs, double seconds) noexcept {
    return static_cast<float>(1.0 - dsp::pow(0.1091012, 1.0 / (fs * seconds)));
}

// Non-finite samples count as silence; absurd finite ones are clamped.
// x - x is 0 for every finite x and NaN otherwise; written as selects so
// the loop carries no branch for it.
inline float sanitise(float x) noexcept {
    const float finite = (x - x == 0.0f) ? x : 0.0f;
    const float low = finite < -kInputLimit ? -kInputLimit : finite;
    return low > kInputLimit ? kInputLimit : low;
}

// Continuous parameters are meant to lie in 0..1; a host may send anything
// finite. Outside that range the powers below overflow, so the working
// values use the nearest end of the range (the stored value is kept).
inline float unit(float v) noexcept {
    return unitValue(v);
}

inline float fmaxf2(float a, float b) noexcept {
    return a > b ? a : b;
}

inline float flushTiny(float v) noexcept {
    return std::fabs(v) < 1e-20f ? 0.0f : v;
}

template <bool kAccumulate>
inline void emit(float* out, int i, float v) noexcept {
    if (kAccumulate)
        out[i] += v;
    else
        out[i] = v;
}

// Both channels' steps in straight-line code, not an indexed loop.
#if defined(__clang__)
#define KLV_CHANNELS _Pragma("clang loop unroll(full)")
#elif defined(__GNUC__)
#define KLV_CHANNELS _Pragma("GCC unroll 2")
#else
#define KLV_CHANNELS
#endif

}  // namespace

float snapTimeValue(int index, float value) noexcept {
    const double v = value;
    if (index == kMakeup) {
        if (v < kSlowEdge) return 0.0f;
        return v < kFixedEdge ? kSnapFixed : value;
    }
    if (index != kAttack && index != kRelease) return value;
    if (v < kFastEdge) return 0.0f;
    if (v < kSlowEdge) return kSnapSlow;
    if (v < kFixedEdge) return kSnapFixed;
    return value;
}

// log10(600): 25 Hz at 0 rises to 15 kHz at 1.
float sideChainFrequency(float value) noexcept {
    return static_cast<float>(25.0 * dsp::pow(10.0, 2.7781512503836434 * value));
}

float sideChainQ(float value) noexcept {
    return 9.999f * value * value + 0.001f;
}

// 1.2 decades per unit: 0.5 is unity, 0 and 1 are -12 dB and +12 dB.
double levelGain(float value) noexcept {
    return dsp::pow(10.0, 1.2 * (value - 0.5));
}

float usableRate(float rate) noexcept {
    if (!(rate >= 1.0f)) return 44100.0f;
    return rate > 1.0e6f ? 1.0e6f : rate;
}

int usableSampleRate(float rate) noexcept {
    return static_cast<int>(usableRate(rate));
}

ClamporaEngine::ClamporaEngine() noexcept {
    clearDrivenLines();
    clearDryLines();
    clearLimiterLines();
}

// Cookbook band-pass, constant 0 dB peak gain. The centre is kept at or
// below 0.45 x the sample rate: above half the rate the design's poles leave
// the unit circle (15 kHz at rates below 30 kHz).
void ClamporaEngine::setSideChain(float frequencyHz, float q, float sampleRate) noexcept {
    scFrequency_ = frequencyHz;
    scQ_ = q;
    scRate_ = usableRate(sampleRate);
    const double rate = scRate_;
    double f = frequencyHz;
    if (f > 0.45 * rate) f = 0.45 * rate;
    const double w = 2.0 * 3.14159265358979323846 * f / rate;
    const float alpha = static_cast<float>(dsp::sin(w) / (2.0 * q));
    const double a0 = 1.0 + alpha;
    for (SideChainFilter& s : filters_) {
        s.b0 = static_cast<float>(alpha / a0);
        s.b1 = 0.0f;
        s.b2 = static_cast<float>(-alpha / a0);
        s.a1 = static_cast<float>(-2.0 * dsp::cos(w) / a0);
        s.a2 = static_cast<float>((1.0 - alpha) / a0);
        s.clear();
    }
}

void ClamporaEngine::clearDrivenLines() noexcept {
    std::memset(driven_, 0, sizeof driven_);
}
void ClamporaEngine::clearDryLines() noexcept {
    std::memset(dry_, 0, sizeof dry_);
}
void ClamporaEngine::clearLimiterLines() noexcept {
    std::memset(limiter_, 0, sizeof limiter_);
}
void ClamporaEngine::clearFilterState() noexcept {
    for (SideChainFilter& s : filters_) s.clear();
}

void ClamporaEngine::jumpSmoothed(int index, float target) noexcept {
    switch (index) {
        case kInput:
            smInput_ = target;
            break;
        case kCompress:
            smCompress_ = target;
            break;
        case kSlope:
            smSlope_ = target;
            break;
        case kAttack:
            smAttack_ = target;
            break;
        case kHold:
            smHold_ = target;
            break;
        case kRelease:
            smRelease_ = target;
            break;
        case kMakeup:
            smMakeup_ = target;
            break;
        case kOutput:
            smOutput_ = target;
            break;
        default:
            break;
    }
}

void ClamporaEngine::reset(float sampleRate) noexcept {
    makeupGain_ = 1.0f;
    stage_ = OutputStageState{};
    for (ChannelMeter& m : meters_) {
        m.clipCounter = 0;
        m.heldPeak = 0.0f;
        m.holdTime = 0.0f;
    }
    attackCoef_ = 0.0f;
    releaseCoef_ = 0.0f;
    setSideChain(scFrequency_, scQ_, sampleRate);
    std::memset(rings_.values, 0, sizeof rings_.values);
    clearDrivenLines();
    clearDryLines();
    clearLimiterLines();
    writeIndex_ = 255;
    lookAheadIndex_ = dryIndex_ = limiterIndex_ = 0;
    for (ChannelMeter& m : meters_) m.levelAverage = m.inputAverage = m.compressedAverage = m.blockPeak = 0.0f;
    holdCounter_ = 0;
    envelope_ = 0.0f;
    meanSquare_ = 0.0f;
}

// Everything one block needs, computed once before its loop.
struct ClamporaEngine::Block {
    int fs;
    float hostRate;
    float meterCoef;  // k(0.3)
    float peakDecay;  // k(0.6 / n)
    float rmsCoef;    // k(0.015)
    OutputStageCoefficients stage;
    int clipCount;  // fs * 0.015 samples above the threshold before a clip shows
    bool autoAttack, autoRelease;
    float attackFactor, releaseFactor;
    SatMode sat;
    bool sideChainListen, delay, rms, post;
    float r0, releaseHold;  // frozen release coefficient and (1 - r0) h
    float h;
    int holdLength;
    float drive, inverseDrive;
    double hardShare;
    float makeupTarget;
    float inputGain, outputGain;
    bool active;
};

void ClamporaEngine::prepare(Block& b, const float* targets, float sampleRate, int n) noexcept {
    float t[kNumParams];
    for (int i = 0; i < kNumParams; ++i) t[i] = targets[i];
    for (int i : {kInput, kCompress, kSlope, kAttack, kRelease, kMakeup, kOutput, kHold}) t[i] = unit(t[i]);
    const int fs = usableSampleRate(sampleRate);
    b.fs = fs;
    b.hostRate = usableRate(sampleRate);
    for (ChannelMeter& m : meters_) m.blockPeak = 0.0f;

    b.meterCoef = onePole(fs, 0.3);
    b.peakDecay = static_cast<float>(1.0 - dsp::pow(0.1091012, n / (0.6 * fs)));
    b.rmsCoef = onePole(fs, 0.015);
    b.stage.clipperRise = onePole(fs, 0.0065);
    b.stage.clipperFall = onePole(fs, 0.0125);
    b.stage.limiterRise = onePole(fs, 0.0019);
    b.stage.limiterFall = onePole(fs, 0.0024);
    b.stage.peakGlide = onePole(fs, 0.0008);
    b.stage.holdStart = static_cast<int>(fs * 0.0012);
    b.stage.holdEnd = static_cast<int>(fs * 0.0024);
    b.clipCount = static_cast<int>(fs * 0.015);

    // Attack: automatic "fast"/"slow", fixed 0.1 ms, or continuous 0.1 ms .. 1 s.
    const double attack = t[kAttack];
    double shape = 0.0;  // look-ahead shape c
    b.autoAttack = attack < kSlowEdge;
    b.attackFactor = 0.0f;
    if (attack < kFastEdge) {
        b.attackFactor = 0.004f;
        shape = 0.24;
        smAttack_ = t[kAttack];
    } else if (attack < kSlowEdge) {
        b.attackFactor = 0.001f;
        shape = 0.28;
        smAttack_ = t[kAttack];
    } else if (attack < kFixedEdge) {
        attackCoef_ = onePole(fs, 0.0001);
        smAttack_ = t[kAttack];
    } else {
        shape = 1.2 * (smAttack_ - 0.1666666);
        smAttack_ += (t[kAttack] - smAttack_) * 0.18f;
        attackCoef_ = onePole(fs, shape * shape * shape * shape * 0.9999 + 0.0001);
    }

    b.sat = satModeOf(t[kSat]);
    b.sideChainListen = std::trunc(t[kScListen]) != 0.0f;
    b.delay = std::trunc(t[kDelay]) != 0.0f;
    b.rms = std::trunc(t[kRmsPeak]) != 0.0f;
    b.post = std::trunc(t[kPrePost]) != 0.0f;

    // Look-ahead: the shape's share of up to 1 s plus 0.4 ms, and the
    // limiter's 2.2 ms when the detector averages ("RMS/peak" above 0).
    const double shape4 = shape * shape * shape * shape;
    const double lookAhead = fs * (shape4 * 0.9996 + 0.0004) + (t[kRmsPeak] > 0.0f ? fs * 0.0022 : 0.0);
    int d = lookAhead >= 1023.0 ? 1023 : static_cast<int>(lookAhead);
    if (d < 1) d = 1;
    lookAheadIndex_ = (writeIndex_ - d) & kLineMask;
    dryIndex_ = b.delay ? lookAheadIndex_ : writeIndex_;
    int d2 = static_cast<int>(fs * 0.0022);
    if (d2 > 1023) d2 = 1023;
    limiterIndex_ = (writeIndex_ - d2) & kLineMask;

    // Release: automatic "fast"/"slow", fixed 10 ms, or continuous 10 ms .. 10 s.
    const double release = t[kRelease];
    b.autoRelease = release < kSlowEdge;
    b.releaseFactor = 0.0f;
    if (release < kFastEdge) {
        b.releaseFactor = 0.00009f;
        smRelease_ = t[kRelease];
    } else if (release < kSlowEdge) {
        b.releaseFactor = 0.00003f;
        smRelease_ = t[kRelease];
    } else if (release <= kFixedEdge) {
        releaseCoef_ = onePole(fs, 0.01);
        smRelease_ = t[kRelease];
    } else {
        smRelease_ += (t[kRelease] - smRelease_) * 0.18f;
        const double c = 1.2 * (smRelease_ - 0.1666666);
        releaseCoef_ = onePole(fs, c * c * c * c * 9.99 + 0.01);
    }

    // Hold: below 0.5 the release aims under the detector level by the
    // share h = sqrt(1 - 2 hold); hold length fs * hold^4 samples.
    smHold_ += (t[kHold] - smHold_) * 0.18f;
    b.h = smHold_ < 0.5f ? static_cast<float>(dsp::sqrt(1.0 - 2.0 * smHold_)) : 0.0f;
    const double hold2 = static_cast<double>(smHold_) * smHold_;
    b.holdLength = static_cast<int>(fs * hold2 * hold2);
    b.r0 = releaseCoef_;
    b.releaseHold = (1.0f - b.r0) * b.h;

    // Drive 0.25 .. 256 (cube law of "compress").
    smCompress_ += (t[kCompress] - smCompress_) * 0.05f;
    b.drive = smCompress_ * smCompress_ * smCompress_ * 255.75f + 0.25f;
    b.inverseDrive = 1.0f / b.drive;

    smSlope_ += (t[kSlope] - smSlope_) * 0.09f;
    b.hardShare = static_cast<double>(smSlope_ * smSlope_ * smSlope_);

    // Make-up: fixed 0 .. 48 dB above 1/6 (2.88 decades per unit), 0 dB at
    // 1/6, or automatic: the inverse of the gain law at the drive level.
    const float makeup = t[kMakeup];
    if (makeup >= 0.125f && smMakeup_ > 0.1666666f) {
        smMakeup_ += (makeup - smMakeup_) * 0.125f;
        makeupGain_ = static_cast<float>(dsp::pow(10.0, 2.4 * 1.2 * (smMakeup_ - 0.1666666)));
        b.makeupTarget = makeupGain_;
    } else if (makeup >= 0.125f) {
        makeupGain_ = 1.0f;
        b.makeupTarget = 1.0f;
        smMakeup_ = makeup;
    } else {
        b.makeupTarget = static_cast<float>(1.0 / gainLaw(b.drive, b.hardShare));
        smMakeup_ = makeup;
    }

    smInput_ += (t[kInput] - smInput_) * 0.1f;
    b.inputGain = static_cast<float>(levelGain(smInput_));
    smOutput_ += (t[kOutput] - smOutput_) * 0.1f;
    b.outputGain = static_cast<float>(levelGain(smOutput_));

    b.active = std::trunc(t[kProcess]) != 0.0f;
}

// Per sample, in this order: input gain and denormal offset, dry line,
// make-up glide, input meters, drive, side-chain band-pass, detector and
// envelope (one for both channels), gain law, mix and output gain, output
// stage, output meters, output, index advance.
template <int kChannels, bool kAccumulate>
void ClamporaEngine::runCompressor(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept {
    float envelope = envelope_;
    float meanSquare = meanSquare_;
    int holdCounter = holdCounter_;
    float attackCoef = attackCoef_;
    float releaseCoef = releaseCoef_;
    float makeupGain = makeupGain_;
    int w = writeIndex_, la = lookAheadIndex_, dr = dryIndex_, li = limiterIndex_;
    ChannelMeter m[2] = {meters_[0], meters_[1]};
    SideChainFilter f[2] = {filters_[0], filters_[1]};
    OutputStageState stage = stage_;
    // +1e-9 as a float; its sign flips every sample so the first one is negative.
    float offset = 1e-9f;

    for (int i = 0; i < n; ++i) {
        offset = -offset;
        makeupGain += (b.makeupTarget - makeupGain) * 0.005125f;
        float x[kChannels], y[kChannels], d[kChannels];
        KLV_CHANNELS
        for (int c = 0; c < kChannels; ++c) {
            x[c] = sanitise(inputs[c][i]) * b.inputGain + offset;
            dry_[c][w] = x[c];
            if (kChannels == 1) dry_[1][w] = x[c];
            const float ax = std::fabs(x[c]);
            m[c].inputAverage += (ax - m[c].inputAverage) * b.meterCoef;
            if (!b.post) {
                m[c].blockPeak = fmaxf2(m[c].blockPeak, ax);
                m[c].levelAverage = m[c].inputAverage;
            }
            d[c] = x[c] * b.drive;
            driven_[c][w] = d[c];
            SideChainFilter& s = f[c];
            y[c] = s.b0 * d[c] + s.b2 * s.x2 - s.a1 * s.y1 - s.a2 * s.y2 + offset;
            s.x2 = s.x1;
            s.x1 = d[c];
            s.y2 = s.y1;
            s.y1 = y[c];
        }

        float wet[kChannels];
        if (!b.sideChainListen) {
            float p;
            if (kChannels == 1) {
                p = std::fabs(y[0]) * 1.2071f;
            } else {
                const float l = std::fabs(y[0]), r = std::fabs(y[kChannels - 1]);
                p = ((l + r) * 0.7071f + fmaxf2(l, r)) * 0.5f;
            }
            if (p < 0.001f) p = 0.001f;
            meanSquare += (p * p - meanSquare) * b.rmsCoef;
            const float q = dsp::sqrtf(meanSquare) * 1.7f;
            const float level = b.rms ? q : p;
            // Automatic timing: attack by how far the RMS level lies above
            // the envelope, release by how far the envelope lies above it.
            if (b.autoAttack || b.autoRelease) {
                const float inverseQ = 1.0f / (q + 1e-8f);
                if (b.autoAttack) attackCoef = (1.0f - (envelope + 1e-8f) * inverseQ) * b.attackFactor;
                if (b.autoRelease) releaseCoef = (envelope + 1e-8f) * b.releaseFactor * inverseQ;
            }
            if (level < envelope) {
                if (holdCounter < b.holdLength)
                    ++holdCounter;
                else
                    envelope = (1.0f - b.h) * (envelope + (level - envelope) * b.r0) + envelope * b.releaseHold;
            } else {
                envelope += (level - envelope) * attackCoef;
                holdCounter = 0;
            }
            const float g = static_cast<float>(gainLaw(envelope, b.hardShare)) * b.inverseDrive;
            KLV_CHANNELS
            for (int c = 0; c < kChannels; ++c) {
                const float signal = b.delay ? driven_[c][la] : d[c];
                m[c].compressedAverage += (std::fabs(signal * g) - m[c].compressedAverage) * b.meterCoef;
                wet[c] = signal * g * makeupGain;
            }
        } else {
            KLV_CHANNELS
            for (int c = 0; c < kChannels; ++c) wet[c] = y[c] * b.inverseDrive;
        }

        float out[kChannels];
        KLV_CHANNELS
        for (int c = 0; c < kChannels; ++c) out[c] = (wet[c] + (dry_[c][dr] - wet[c]) * dryWeight_) * b.outputGain;

        if (b.sat == SatMode::kClipper) {
            float e = std::fabs(out[0]);
            if (kChannels == 2) e = fmaxf2(e, std::fabs(out[kChannels - 1]));
            const float inverse = clipperInverseGain(stage, b.stage, e * 1.414f);
            KLV_CHANNELS
            for (int c = 0; c < kChannels; ++c) out[c] = softClip(out[c] * inverse) * kClipCeiling;
        } else if (b.sat == SatMode::kLimiter) {
            float p = 0.0f;
            KLV_CHANNELS
            for (int c = 0; c < kChannels; ++c) {
                limiter_[c][w] = out[c];
                p = fmaxf2(p, std::fabs(out[c]));
            }
            const float inverse = limiterInverseGain(stage, b.stage, p);
            KLV_CHANNELS
            for (int c = 0; c < kChannels; ++c) out[c] = softClip(limiter_[c][li] * inverse) * kClipCeiling;
            li = (li + 1) & kLineMask;
        }

        KLV_CHANNELS
        for (int c = 0; c < kChannels; ++c) {
            if (b.post) {
                const float ao = std::fabs(out[c]);
                m[c].levelAverage += (ao - m[c].levelAverage) * b.meterCoef;
                m[c].blockPeak = fmaxf2(m[c].blockPeak, ao);
                if (b.sat != SatMode::kOff) {
                    const float threshold = b.sat == SatMode::kLimiter ? 0.841f : 0.9f;
                    if (m[c].blockPeak <= threshold) {
                        m[c].clipCounter = 0;
                    } else if (++m[c].clipCounter > b.clipCount) {
                        m[c].blockPeak = 1.0f;
                    }
                }
            }
            emit<kAccumulate>(outputs[c], i, out[c]);
        }
        if (kChannels == 1 && twoOutputs) emit<kAccumulate>(outputs[1], i, out[0]);

        w = (w + 1) & kLineMask;
        la = (la + 1) & kLineMask;
        dr = (dr + 1) & kLineMask;
    }

    if (kChannels == 1 && n > 0) {
        m[1].levelAverage = m[0].levelAverage;
        m[1].blockPeak = m[0].blockPeak;
        m[1].inputAverage = m[0].inputAverage;
        m[1].compressedAverage = m[0].compressedAverage;
    }
    envelope_ = envelope;
    meanSquare_ = meanSquare;
    holdCounter_ = holdCounter;
    attackCoef_ = attackCoef;
    releaseCoef_ = releaseCoef;
    makeupGain_ = makeupGain;
    writeIndex_ = w;
    lookAheadIndex_ = la;
    dryIndex_ = dr;
    limiterIndex_ = li;
    meters_[0] = m[0];
    meters_[1] = m[1];
    // The coefficients may have been redesigned meanwhile; only the state is ours.
    KLV_CHANNELS
    for (int c = 0; c < kChannels; ++c) {
        filters_[c].x1 = f[c].x1;
        filters_[c].x2 = f[c].x2;
        filters_[c].y1 = f[c].y1;
        filters_[c].y2 = f[c].y2;
        filters_[c].x0 = f[c].x1;
        filters_[c].y0 = f[c].y1;
    }
    stage_ = stage;
}

// Bypass: input gain only. The level meters follow the input whatever
// "pre/post" says and the gain-reduction reading is held at 1.
template <int kChannels, bool kAccumulate>
void ClamporaEngine::runBypass(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept {
    float makeupGain = makeupGain_;
    // Locals, and both channels in one pass: each level average is a
    // recursion whose latency bounds the loop, and two of them overlap.
    float level[kChannels], peak[kChannels];
    KLV_CHANNELS
    for (int c = 0; c < kChannels; ++c) {
        level[c] = meters_[c].levelAverage;
        peak[c] = meters_[c].blockPeak;
    }
    for (int i = 0; i < n; ++i) {
        makeupGain += (b.makeupTarget - makeupGain) * 0.005125f;
        KLV_CHANNELS
        for (int c = 0; c < kChannels; ++c) {
            const float x = sanitise(inputs[c][i]) * b.inputGain;
            const float ax = std::fabs(x);
            level[c] += (ax - level[c]) * b.meterCoef;
            peak[c] = fmaxf2(peak[c], ax);
            emit<kAccumulate>(outputs[c], i, x);
            if (kChannels == 1 && twoOutputs) emit<kAccumulate>(outputs[1], i, x);
        }
    }
    makeupGain_ = makeupGain;
    for (int c = 0; c < kChannels; ++c) {
        ChannelMeter& m = meters_[c];
        m.levelAverage = level[c];
        m.blockPeak = peak[c];
        if (n > 0) m.inputAverage = m.compressedAverage = 1.0f;
    }
    if (kChannels == 1 && n > 0) meters_[1] = meters_[0];
}

void ClamporaEngine::publish(const Block& b, int n) noexcept {
    float gain[2];
    for (int c = 0; c < 2; ++c) {
        const ChannelMeter& m = meters_[c];
        gain[c] = (m.compressedAverage + 0.001f) / (m.inputAverage + 0.001f);
    }
    const int wi = rings_.writeIndex;
    for (int c = 0; c < 2; ++c) {
        ChannelMeter& m = meters_[c];
        // Silence after a burst lets the averages decay without end; flush
        // them before they turn subnormal.
        m.levelAverage = flushTiny(m.levelAverage > 4.0f ? 4.0f : m.levelAverage);
        m.inputAverage = flushTiny(m.inputAverage > 4.0f ? 4.0f : m.inputAverage);
        m.compressedAverage = flushTiny(m.compressedAverage > 4.0f ? 4.0f : m.compressedAverage);
        if (m.blockPeak > 4.0f) m.blockPeak = 4.0f;
        // Held peak: 0.3 s hold, then a 0.6 s decay.
        if (m.blockPeak > m.heldPeak) {
            m.heldPeak = m.blockPeak;
            m.holdTime = 0.0f;
        } else if (m.holdTime < 0.3f * b.hostRate) {
            m.holdTime += static_cast<float>(n);
        } else {
            m.heldPeak = flushTiny(m.heldPeak + (m.blockPeak - m.heldPeak) * b.peakDecay);
        }
        rings_.values[kRingLevelL + c][wi] = m.levelAverage;
        rings_.values[kRingPeakL + c][wi] = m.heldPeak;
        rings_.values[kRingClipL + c][wi] = m.blockPeak >= 1.0f ? 1.0f : 0.0f;
        rings_.values[kRingGainL + c][wi] = gain[c];
    }
    rings_.writeIndex = (wi + 1) & kRingMask;
    rings_.readIndex = (rings_.readIndex + 1) & kRingMask;
    envelope_ = flushTiny(envelope_);
    meanSquare_ = flushTiny(meanSquare_);
    stage_.envelope = flushTiny(stage_.envelope);
    stage_.heldPeak = flushTiny(stage_.heldPeak);
    stage_.runningPeak = flushTiny(stage_.runningPeak);
}

template <bool kAccumulate>
void ClamporaEngine::process(const float* targets, float sampleRate, bool stereo, bool twoOutputs, float** inputs,
                             float** outputs, int sampleFrames) noexcept {
    int n = sampleFrames;
    if (n < 0 || inputs == nullptr || outputs == nullptr) n = 0;
    Block b;
    // Hosts commonly set the rate and resume without a suspend in between:
    // the side-chain filter follows the rate at the next call.
    if (usableRate(sampleRate) != scRate_) setSideChain(scFrequency_, scQ_, sampleRate);
    prepare(b, targets, sampleRate, n);
    if (!b.active && stereo)
        runBypass<2, kAccumulate>(b, inputs, outputs, n, twoOutputs);
    else if (!b.active)
        runBypass<1, kAccumulate>(b, inputs, outputs, n, twoOutputs);
    else if (stereo)
        runCompressor<2, kAccumulate>(b, inputs, outputs, n, twoOutputs);
    else
        runCompressor<1, kAccumulate>(b, inputs, outputs, n, twoOutputs);
    publish(b, n);
}

template void ClamporaEngine::process<true>(const float*, float, bool, bool, float**, float**, int) noexcept;
template void ClamporaEngine::process<false>(const float*, float, bool, bool, float**, float**, int) noexcept;

bool ClamporaEngine::hasSubnormalState() const noexcept {
    auto sub = [](float v) { return v != 0.0f && std::fabs(v) < 1.17549435e-38f; };
    bool any = sub(envelope_) || sub(meanSquare_) || sub(makeupGain_) || sub(stage_.envelope) || sub(stage_.heldPeak) ||
               sub(stage_.runningPeak);
    for (const SideChainFilter& s : filters_) any = any || sub(s.x1) || sub(s.x2) || sub(s.y1) || sub(s.y2);
    for (const ChannelMeter& m : meters_)
        any = any || sub(m.levelAverage) || sub(m.inputAverage) || sub(m.compressedAverage) || sub(m.heldPeak);
    return any;
}

}  // namespace klv::clampora
