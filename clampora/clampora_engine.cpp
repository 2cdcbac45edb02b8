#include "clampora/clampora_engine.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
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

// One-pole coefficient: after T seconds a step has decayed to 0.1091012 of
// itself, k(T) = 1 - 0.1091012^(1 / (fs T)).
float onePole(int fs, double seconds) noexcept {
    return static_cast<float>(1.0 - dsp::pow(0.1091012, 1.0 / (fs * seconds)));
}

using dsp::emit;
using dsp::flushTiny;
using dsp::sanitise;

inline float fmaxf2(float a, float b) noexcept {
    return a > b ? a : b;
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
    for (auto& ring : rings_.values) {
        for (auto& entry : ring) entry = 0.0f;
    }
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
    for (int i : {kInput, kCompress, kSlope, kAttack, kRelease, kMakeup, kOutput, kHold}) t[i] = unitValue(t[i]);
    const int fs = usableSampleRate(sampleRate);
    b.fs = fs;
    b.hostRate = usableRate(sampleRate);
    for (ChannelMeter& m : meters_) m.blockPeak = 0.0f;

    // The rate's coefficients are redesigned only when the rate (or, for
    // the meter's decay per block, the block length) changes.
    if (rate_.fs != fs) {
        rate_.fs = fs;
        rate_.blockFrames = -1;
        rate_.meterCoef = onePole(fs, 0.3);
        rate_.rmsCoef = onePole(fs, 0.015);
        rate_.stage.clipperRise = onePole(fs, 0.0065);
        rate_.stage.clipperFall = onePole(fs, 0.0125);
        rate_.stage.limiterRise = onePole(fs, 0.0019);
        rate_.stage.limiterFall = onePole(fs, 0.0024);
        rate_.stage.peakGlide = onePole(fs, 0.0008);
        rate_.stage.holdStart = static_cast<int>(fs * 0.0012);
        rate_.stage.holdEnd = static_cast<int>(fs * 0.0024);
        rate_.clipCount = static_cast<int>(fs * 0.015);
        rate_.fixedAttack = onePole(fs, 0.0001);
        rate_.fixedRelease = onePole(fs, 0.01);
    }
    if (rate_.blockFrames != n) {
        rate_.blockFrames = n;
        rate_.peakDecay = static_cast<float>(1.0 - dsp::pow(0.1091012, n / (0.6 * fs)));
    }
    b.meterCoef = rate_.meterCoef;
    b.peakDecay = rate_.peakDecay;
    b.rmsCoef = rate_.rmsCoef;
    b.stage = rate_.stage;
    b.clipCount = rate_.clipCount;

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
        attackCoef_ = rate_.fixedAttack;
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
        releaseCoef_ = rate_.fixedRelease;
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

namespace {

using dsp::lane;
using dsp::pair;

}  // namespace

// Per frame, in this order: input gain and denormal offset, dry line,
// make-up glide, input meters, drive, side-chain band-pass, detector and
// envelope (one for both channels), gain law, mix and output gain, output
// stage, output meters, output, index advance.
//
// The block runs in segments of up to 32 frames (compressor_passes.h).
// What does not feed back runs four samples per instruction: input gain,
// drive and the band-pass's feed-forward part; the detector's level; the
// gain law, mix and output gain; the stage's soft clip; the output. The
// recursions run frame by frame in one loop over four consecutive segments
// (band-pass, envelope, output stage, output meters), so that their
// latencies overlap.
// Data-dependent choices are selects, so no branch follows the signal.
template <int C, SatMode kSat>
passes::Pipeline<C, kSat> ClamporaEngine::loadPipeline(const Block& b) noexcept {
    using namespace passes;
    const bool limiter = kSat == SatMode::kLimiter;
    const SideChainFilter& f = filters_[0];  // both channels share the coefficients
    Follower follower{};
    follower.envelope = _mm_set_ss(envelope_);
    follower.attackCoef = _mm_set_ss(attackCoef_);
    follower.makeupGain = _mm_set_ss(makeupGain_);
    follower.meanSquare = _mm_set_ss(meanSquare_);
    follower.before = follower.envelope;
    follower.holdCounter = _mm_cvtsi32_si128(holdCounter_);
    follower.rmsMask = b.rms ? _mm_castsi128_ps(_mm_set1_epi32(-1)) : _mm_setzero_ps();
    follower.rmsCoef = _mm_set_ss(b.rmsCoef);
    follower.attackFactor = _mm_set_ss(b.attackFactor);
    follower.r0 = _mm_set_ss(b.r0);
    follower.releaseHold = _mm_set_ss(b.releaseHold);
    follower.keep = _mm_set_ss(1.0f - b.h);
    follower.makeupTarget = _mm_set_ss(b.makeupTarget);
    follower.holdLength = _mm_cvtsi32_si128(b.holdLength);
    return Pipeline<C, kSat>{
        {_mm_set1_ps(b.inputGain), _mm_set1_ps(b.drive), _mm_set1_ps(f.b0), _mm_set1_ps(f.b2)},
        {pair(filters_[0].y1, filters_[1].y1).v, pair(filters_[0].y2, filters_[1].y2).v, _mm_set1_ps(f.a1),
         _mm_set1_ps(f.a2), pair(meters_[0].inputAverage, meters_[1].inputAverage).v, _mm_set1_ps(b.meterCoef),
         _mm_setzero_ps(), dry_, driven_, b.delay},
        C == 2 ? _mm_setr_ps(filters_[0].x2, filters_[1].x2, filters_[0].x1, filters_[1].x1)
               : _mm_setr_ps(0.0f, 0.0f, filters_[0].x2, filters_[0].x1),
        _mm_setzero_ps(),
        follower,
        {StageLane(stage_), pair(meters_[0].compressedAverage, meters_[1].compressedAverage).v,
         _mm_set1_ps(b.meterCoef), _mm_set_ss(limiter ? b.stage.limiterFall : b.stage.clipperFall),
         _mm_set_ss(limiter ? b.stage.limiterRise : b.stage.clipperRise), _mm_set_ss(b.stage.peakGlide),
         _mm_cvtsi32_si128(b.stage.holdStart), _mm_cvtsi32_si128(b.stage.holdEnd), limiter_, limiterIndex_},
        {_mm_set1_ps(dryWeight_), _mm_set1_ps(b.outputGain)},
        {pair(meters_[0].levelAverage, meters_[1].levelAverage).v, pair(meters_[0].blockPeak, meters_[1].blockPeak).v,
         _mm_set1_ps(b.meterCoef), _mm_set1_ps(limiter ? 0.841f : 0.9f),
         _mm_setr_epi32(meters_[0].clipCounter, meters_[1].clipCounter, 0, 0), _mm_set1_epi32(b.clipCount),
         // The counter only needs to tell "above clipCount"; it stops one past.
         _mm_set1_epi32(b.clipCount + 1)},
        // +-1e-9 ahead of the recursions keeps them away from denormals in
        // silence; the sign flips every frame and the first one is negative.
        -1e-9f,
        writeIndex_,
        // The reads keep their distance behind the write position for the whole block.
        (writeIndex_ - lookAheadIndex_) & kLineMask,
        (writeIndex_ - dryIndex_) & kLineMask,
        !b.post};
}

template <int C, SatMode kSat>
void ClamporaEngine::storePipeline(const Block& b, passes::Pipeline<C, kSat>& p, int n) noexcept {
    using dsp::Lanes;
    // The automatic timings' last coefficients (the release's is used from
    // the next block on): from the envelope before the last frame.
    const bool followed = n > 0 && !b.sideChainListen;
    if (followed && b.autoRelease)
        releaseCoef_ =
            (_mm_cvtss_f32(p.follower.before) + 1e-8f) * b.releaseFactor * _mm_cvtss_f32(p.follower.latestInverseQ());
    attackCoef_ = _mm_cvtss_f32(followed && b.autoAttack ? p.follower.latestAutomaticAttack() : p.follower.attackCoef);

    if (n > 0) {
        __m128 peak = p.meters.blockPeak;
        if (!b.post) peak = _mm_max_ps(peak, p.inputPeak);
        // Stereo: lanes 0 and 2 hold left samples, 1 and 3 right ones; mono: all four.
        peak = _mm_max_ps(peak, _mm_movehl_ps(peak, peak));
        if (C == 1) peak = _mm_max_ss(peak, _mm_shuffle_ps(peak, peak, _MM_SHUFFLE(1, 1, 1, 1)));
        for (int c = 0; c < 2; ++c) {
            ChannelMeter& m = meters_[c];
            const int from = C == 2 ? c : 0;
            m.inputAverage = lane(Lanes{p.filter.inputAverage}, from);
            m.compressedAverage = lane(Lanes{p.stage.compressedAverage}, from);
            m.blockPeak = lane(Lanes{peak}, from);
            m.levelAverage = b.post ? lane(Lanes{p.meters.levelAverage}, from) : m.inputAverage;
        }
        alignas(16) std::int32_t counters[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(counters), p.meters.clipCounter);
        for (int c = 0; c < C; ++c) meters_[c].clipCounter = counters[c];
    }
    meanSquare_ = _mm_cvtss_f32(p.follower.meanSquare);
    envelope_ = _mm_cvtss_f32(p.follower.envelope);
    holdCounter_ = _mm_cvtsi128_si32(p.follower.holdCounter);
    makeupGain_ = _mm_cvtss_f32(p.follower.makeupGain);
    writeIndex_ = p.write;
    lookAheadIndex_ = (p.write - p.lookAhead) & kLineMask;
    dryIndex_ = (p.write - p.dryDelay) & kLineMask;
    limiterIndex_ = p.stage.limiterIndex;
    // The coefficients may have been redesigned meanwhile; only the state is ours.
    alignas(16) float h[4];
    _mm_store_ps(h, p.history);
    for (int c = 0; c < C; ++c) {
        SideChainFilter& s = filters_[c];
        s.x1 = s.x0 = C == 2 ? h[2 + c] : h[3];
        s.x2 = C == 2 ? h[c] : h[2];
        s.y1 = s.y0 = lane(Lanes{p.filter.y1}, c);
        s.y2 = lane(Lanes{p.filter.y2}, c);
    }
    p.stage.lane.store(stage_);
}

template <int kChannels, bool kAccumulate, SatMode kSat>
void ClamporaEngine::runCompressor(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept {
    using namespace passes;
    constexpr int C = kChannels;
    Pipeline<C, kSat> p = loadPipeline<C, kSat>(b);
    // An empty call may come with no buffers at all.
    const float* inL = n > 0 ? inputs[0] : nullptr;
    const float* inR = n > 0 ? inputs[C - 1] : nullptr;
    float* outL = n > 0 ? outputs[0] : nullptr;
    float* outR = n > 0 ? outputs[C == 2 || twoOutputs ? 1 : 0] : nullptr;
    const bool post = b.post;
    const bool wide = dsp::wideCode();
    auto sample = [&](auto autoAttack, auto share, Segment* filtered, Segment* followed, Segment* staged,
                      Segment* metered) noexcept {
        sampleLoops<decltype(autoAttack)::value, decltype(share)::value>(wide, p, filtered, followed, staged, metered);
    };
    // The release's share of the level, 1 - h, is 1 from hold 0.5 on.
    const bool share = b.h != 0.0f;

    // Segments pass the sample loops one step apart: the newest is
    // band-passed while the one before follows the envelope, the one before
    // that runs the output stage and the oldest the output meters.
    Segment *filtered = nullptr, *followed = nullptr, *staged = nullptr, *metered = nullptr;
    int slot = 0;
    for (int start = 0;;) {
        Segment* next = nullptr;
        if (start < n) {
            next = &p.nextSegment(scratch_.segments[slot], inL, inR, start, n);
            slot = (slot + 1) % kSegments;
            start += next->count;
        }
        if (b.sideChainListen) {
            if (next == nullptr) break;
            runListening<C, kAccumulate, kSat>(b, p, *next, outL, outR, twoOutputs);
            continue;
        }
        metered = post ? staged : nullptr;
        staged = followed;
        followed = filtered;
        filtered = next;
        if (!filtered && !followed && !staged && !metered) break;
        if (b.autoAttack && share)
            sample(std::true_type{}, std::true_type{}, filtered, followed, staged, metered);
        else if (b.autoAttack)
            sample(std::true_type{}, std::false_type{}, filtered, followed, staged, metered);
        else if (share)
            sample(std::false_type{}, std::true_type{}, filtered, followed, staged, metered);
        else
            sample(std::false_type{}, std::false_type{}, filtered, followed, staged, metered);
        if (filtered) peakPass<C>(filtered->side, filtered->count, filtered->peak);
        if (followed) {
            gains(followed->envelope, b.hardShare, b.inverseDrive, followed->gain, followed->count);
            mixCompressed<C>(followed->gain, p.mix, *followed);
        }
        if (staged) {
            stagePass<C, kSat>(*staged);
            emitSegment<C, kAccumulate>(*staged, outL, outR, twoOutputs);
        }
    }
    storePipeline<C, kSat>(b, p, n);
}

// Side-chain listening ("scl"): the band-passed signal at the input's level
// is the wet signal, one segment at a time; the make-up gain still glides
// and the envelope rests.
template <int C, bool kAccumulate, SatMode kSat>
void ClamporaEngine::runListening(const Block& b, passes::Pipeline<C, kSat>& p, passes::Segment& seg, float* outL,
                                  float* outR, bool twoOutputs) noexcept {
    using namespace passes;
    sampleLoops<false, false>(false, p, &seg, nullptr, nullptr, nullptr);
    for (int j = 0; j < seg.count; ++j) p.follower.glideMakeup();
    mixListen<C>(seg.side, b.inverseDrive, p.mix, seg);
    StageRunner<C, kSat> stage = p.stage;
    for (int j = 0; j < seg.count; ++j) stage.template step<false>(seg, j);
    p.stage = stage;
    stagePass<C, kSat>(seg);
    if (b.post) {
        OutputMeters meters = p.meters;
        for (int j = 0; j < seg.count; ++j) meters.step<C, kSat != SatMode::kOff>(seg, j);
        p.meters = meters;
    }
    emitSegment<C, kAccumulate>(seg, outL, outR, twoOutputs);
}

// The output stage mode picks the loop, so that its choice is made once per block.
template <int kChannels, bool kAccumulate>
void ClamporaEngine::runActive(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept {
    if (b.sat == SatMode::kLimiter)
        runCompressor<kChannels, kAccumulate, SatMode::kLimiter>(b, inputs, outputs, n, twoOutputs);
    else if (b.sat == SatMode::kClipper)
        runCompressor<kChannels, kAccumulate, SatMode::kClipper>(b, inputs, outputs, n, twoOutputs);
    else
        runCompressor<kChannels, kAccumulate, SatMode::kOff>(b, inputs, outputs, n, twoOutputs);
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
        makeupGain += (b.makeupTarget - makeupGain) * kMakeupGlide;
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
        runActive<2, kAccumulate>(b, inputs, outputs, n, twoOutputs);
    else
        runActive<1, kAccumulate>(b, inputs, outputs, n, twoOutputs);
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
