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

using dsp::absolute;
using dsp::lane;
using dsp::Lanes;
using dsp::loadFrame;
using dsp::maximum;
using dsp::pair;
using dsp::select;
using dsp::splat;

// Delay lines hold a frame's two channels side by side, so that a frame is
// one 64-bit load or store. Mono reads and writes the left channel only.
template <int kChannels>
inline Lanes loadLine(const float (*line)[2], int i) noexcept {
    if (kChannels == 1) return {_mm_load_ss(line[i])};
    return {_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(line[i]))};
}
template <int kChannels>
inline void storeLine(float (*line)[2], int i, Lanes a) noexcept {
    if (kChannels == 1)
        _mm_store_ss(line[i], a.v);
    else
        _mm_storel_pi(reinterpret_cast<__m64*>(line[i]), a.v);
}

inline Lanes softClipLanes(Lanes z) noexcept {
    const Lanes cubic = (z - z * z * splat(0.125f) * z) * splat(kClipScale);
    const __m128 high = _mm_cmpge_ps(z.v, _mm_set1_ps(kClipKnee));
    const __m128 low = _mm_cmple_ps(z.v, _mm_set1_ps(-kClipKnee));
    return select(high, splat(1.0f), select(low, splat(-1.0f), cubic));
}

// Samples per pass: the intermediate buffers stay in the first-level cache.
constexpr int kChunk = 64;

// The detector's level p for one band-passed frame: the average and the
// louder of the two rectified channels (the one channel scaled alike), with
// its floor.
template <int kChannels>
inline __m128 detectorPeak(Lanes side) noexcept {
    const Lanes a = absolute(side);
    __m128 p;
    if (kChannels == 1) {
        p = _mm_mul_ss(a.v, _mm_set_ss(1.2071f));
    } else {
        const __m128 r = _mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(1, 1, 1, 1));
        p = _mm_mul_ss(_mm_add_ss(_mm_mul_ss(_mm_add_ss(a.v, r), _mm_set_ss(0.7071f)), _mm_max_ss(a.v, r)),
                       _mm_set_ss(0.5f));
    }
    // 0.001 > p ? 0.001 : p
    return _mm_max_ss(_mm_set_ss(0.001f), p);
}

// Four samples per operation: q = 1.7 sqrt(ms) replaces the mean square by
// 1 / (q + 1e-8) for the automatic timing, and the level (p on entry) by q
// when the detector averages.
void detectorLevels(float* meanSquare, float* level, bool rms, int count) noexcept {
    for (int j = 0; j < count; j += 4) {
        const __m128 q = _mm_mul_ps(_mm_sqrt_ps(_mm_load_ps(meanSquare + j)), _mm_set1_ps(1.7f));
        if (rms) _mm_store_ps(level + j, q);
        _mm_store_ps(meanSquare + j, _mm_div_ps(_mm_set1_ps(1.0f), _mm_add_ps(q, _mm_set1_ps(1e-8f))));
    }
}

// The detector's and envelope's running values and per-block constants,
// in lane 0, and one sample's step. The detector's level p is the average
// and the louder of the two rectified band-passed channels (the one channel
// scaled alike), with a floor; q = 1.7 sqrt(ms) its RMS. Above the envelope
// it attacks, with the automatic timing by how far q lies above it; below,
// it holds for holdLength samples, then releases toward h times the level.
// The make-up gain glides beside it.
struct Follower {
    __m128 envelope, attackCoef, makeupGain;
    __m128i holdCounter;
    __m128 attackFactor, r0, releaseHold, keep, makeupTarget;
    __m128i holdLength;

    // One sample from the detector's level and 1 / (q + 1e-8); stores the
    // envelope and the make-up gain.
    template <bool kAutoAttack>
    void step(const float* levelIn, const float* inverseQIn, float* envelopeOut, float* makeupOut) noexcept {
        makeupGain = _mm_add_ss(makeupGain, _mm_mul_ss(_mm_sub_ss(makeupTarget, makeupGain), _mm_set_ss(0.005125f)));
        _mm_store_ss(makeupOut, makeupGain);
        const __m128 level = _mm_load_ss(levelIn);
        if (kAutoAttack) {
            const __m128 raised = _mm_add_ss(envelope, _mm_set_ss(1e-8f));
            attackCoef =
                _mm_mul_ss(_mm_sub_ss(_mm_set_ss(1.0f), _mm_mul_ss(raised, _mm_load_ss(inverseQIn))), attackFactor);
        }
        const __m128 change = _mm_sub_ss(level, envelope);
        const __m128 attacked = _mm_add_ss(envelope, _mm_mul_ss(change, attackCoef));
        const __m128 released = _mm_add_ss(_mm_mul_ss(keep, _mm_add_ss(envelope, _mm_mul_ss(change, r0))),
                                           _mm_mul_ss(envelope, releaseHold));
        const __m128 below = _mm_cmplt_ss(level, envelope);
        const __m128 holding = _mm_castsi128_ps(_mm_cmpgt_epi32(holdLength, holdCounter));
        holdCounter = _mm_and_si128(_mm_castps_si128(below), _mm_sub_epi32(holdCounter, _mm_castps_si128(holding)));
        envelope = select(below, select(holding, envelope, released), attacked);
        _mm_store_ss(envelopeOut, envelope);
    }
};

// gainLaw for two envelope values at once. s / e is taken of max(e, 2), which
// is e wherever it is used, so that silence never divides by zero.
inline __m128d gainLawPair(__m128d e, __m128d s, __m128d softNumerator) noexcept {
    const __m128d two = _mm_set1_pd(2.0);
    const __m128d soft = _mm_div_pd(softNumerator, _mm_add_pd(e, _mm_set1_pd(1.01)));
    const __m128d hard = _mm_div_pd(s, _mm_max_pd(e, two));
    const __m128d knee = _mm_mul_pd(_mm_sub_pd(_mm_set1_pd(1.0), _mm_mul_pd(e, _mm_set1_pd(0.25))), s);
    const __m128d above = _mm_cmpge_pd(e, two);
    return _mm_add_pd(_mm_or_pd(_mm_and_pd(above, hard), _mm_andnot_pd(above, knee)), soft);
}

// g = float(L(e)) / drive for a chunk of envelope values.
void gains(const float* envelope, double hardShare, float inverseDrive, float* gain, int count) noexcept {
    const __m128d s = _mm_set1_pd(hardShare);
    // The numerator of the soft curve, (1 - s) 1.01, as gainLaw forms it.
    const __m128d softNumerator = _mm_set1_pd((1.0 - hardShare) * 1.01);
    for (int j = 0; j < count; j += 4) {
        const __m128 e = _mm_load_ps(envelope + j);
        const __m128 lo = _mm_cvtpd_ps(gainLawPair(_mm_cvtps_pd(e), s, softNumerator));
        const __m128 hi = _mm_cvtpd_ps(gainLawPair(_mm_cvtps_pd(_mm_movehl_ps(e, e)), s, softNumerator));
        _mm_store_ps(gain + j, _mm_mul_ps(_mm_movelh_ps(lo, hi), _mm_set1_ps(inverseDrive)));
    }
}

// 1 / max(envelope, 1): the output stage's inverse gains for a chunk.
void stageInverses(float* envelope, int count) noexcept {
    for (int j = 0; j < count; j += 4)
        _mm_store_ps(envelope + j,
                     _mm_div_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_load_ps(envelope + j), _mm_set1_ps(1.0f))));
}

// The output stage's follower and hand-over logic (output_stage.h) without
// branches: one step per call, all values in lane 0.
struct StageLane {
    __m128 envelope, runningPeak, heldPeak;
    __m128i holdCounter;

    explicit StageLane(const OutputStageState& s) noexcept
        : envelope(_mm_set_ss(s.envelope)),
          runningPeak(_mm_set_ss(s.runningPeak)),
          heldPeak(_mm_set_ss(s.heldPeak)),
          holdCounter(_mm_cvtsi32_si128(s.holdCounter)) {}

    void store(OutputStageState& s) const noexcept {
        s.envelope = _mm_cvtss_f32(envelope);
        s.runningPeak = _mm_cvtss_f32(runningPeak);
        s.heldPeak = _mm_cvtss_f32(heldPeak);
        s.holdCounter = _mm_cvtsi128_si32(holdCounter);
    }

    // envelope += (x - envelope) * (x <= envelope ? fall : rise), with both
    // products formed before the choice so that the comparison runs beside
    // them instead of ahead of them.
    void follow(__m128 x, __m128 fall, __m128 rise) noexcept {
        const __m128 step = _mm_sub_ss(x, envelope);
        const __m128 change = select(_mm_cmple_ss(x, envelope), _mm_mul_ss(step, fall), _mm_mul_ss(step, rise));
        envelope = _mm_add_ss(envelope, change);
    }

    // The limiter's peak hold. A hand-over (held peak takes the running
    // peak, which restarts at 0, counter to 0) happens on a new maximum or
    // at holdEnd; otherwise the counter advances, and between holdStart and
    // holdEnd the held peak glides toward the running peak. Outside the glide
    // the glide factor is 0, and held + (running - held) * 0 is exactly held
    // (both are finite and not -0).
    void limiterStep(__m128 p, const OutputStageCoefficients& c, __m128 glide, __m128 fall, __m128 rise) noexcept {
        const __m128i beforeEnd = _mm_cmpgt_epi32(_mm_cvtsi32_si128(c.holdEnd), holdCounter);
        const __m128i afterStart = _mm_cmpgt_epi32(holdCounter, _mm_cvtsi32_si128(c.holdStart));
        const __m128 factor = _mm_and_ps(_mm_castsi128_ps(_mm_and_si128(beforeEnd, afterStart)), glide);
        const __m128 atEnd = _mm_castsi128_ps(_mm_cmpeq_epi32(beforeEnd, _mm_setzero_si128()));
        runningPeak = _mm_max_ss(p, runningPeak);
        const __m128 handOver = _mm_or_ps(_mm_cmplt_ss(heldPeak, runningPeak), atEnd);
        const __m128 glided = _mm_add_ss(heldPeak, _mm_mul_ss(_mm_sub_ss(runningPeak, heldPeak), factor));
        heldPeak = select(handOver, runningPeak, glided);
        runningPeak = _mm_andnot_ps(handOver, runningPeak);
        holdCounter = _mm_andnot_si128(_mm_castps_si128(handOver), _mm_add_epi32(holdCounter, _mm_cvtsi32_si128(1)));
        follow(_mm_mul_ss(heldPeak, _mm_set_ss(0.95f)), fall, rise);
    }
};

// What one chunk hands from the input pass to the later ones.
struct ChunkFrames {
    Lanes delayed[kChunk];  // the compressed path's input frames
    Lanes dry[kChunk];      // the dry frames
    alignas(16) float makeup[kChunk] = {};
};

// Mix and the output stage's follower: the compressed meter, the wet and dry
// mix with the output gain, and the stage's level (the limiter's delay line
// too).
template <int kChannels, SatMode kSat>
struct Mixer {
    Lanes compressedAverage;
    StageLane stage;
    int limiterIndex;
    Lanes meterCoef, dryWeight, outputGain;
    __m128 fall, rise, glide;
    const OutputStageCoefficients* coefficients;
    float (*limiterLine)[2];

    // The output frame before the stage, and its louder channel's level.
    void mix(Lanes v, Lanes dry, Lanes& wet, float* loudest) const noexcept {
        const Lanes out = (v + (dry - v) * dryWeight) * outputGain;
        const Lanes a = absolute(out);
        _mm_store_ss(loudest,
                     kChannels == 2 ? _mm_max_ss(a.v, _mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(1, 1, 1, 1))) : a.v);
        wet = out;
    }

    // The compressed path of a chunk: the delayed frame times g, metered,
    // times the make-up gain, then mixed. Only the meter is a recursion, so
    // the frames overlap freely.
    void mixCompressed(const ChunkFrames& f, const float* gain, int count, Lanes* wet, float* loudest) noexcept {
        Lanes average = compressedAverage;
        for (int j = 0; j < count; ++j) {
            const Lanes sg = f.delayed[j] * Lanes{_mm_load1_ps(gain + j)};
            average = average + (absolute(sg) - average) * meterCoef;
            mix(sg * Lanes{_mm_load1_ps(f.makeup + j)}, f.dry[j], wet[j], loudest + j);
        }
        compressedAverage = average;
    }

    // The stage's follower for one frame; leaves the frame to be scaled in
    // wet (for the limiter, the one leaving its delay line) and the stage's
    // envelope in envelopeOut.
    void stageStep(Lanes& wet, const float* loudest, int writeAt, float* envelopeOut) noexcept {
        const __m128 level = _mm_load_ss(loudest);
        if (kSat == SatMode::kClipper) {
            stage.follow(_mm_mul_ss(level, _mm_set_ss(1.414f)), fall, rise);
            _mm_store_ss(envelopeOut, stage.envelope);
        } else if (kSat == SatMode::kLimiter) {
            storeLine<kChannels>(limiterLine, writeAt, wet);
            stage.limiterStep(level, *coefficients, glide, fall, rise);
            _mm_store_ss(envelopeOut, stage.envelope);
            wet = loadLine<kChannels>(limiterLine, limiterIndex);
            limiterIndex = (limiterIndex + 1) & kLineMask;
        }
    }
};

// The envelope of one chunk interleaved with the output stage's follower of
// the chunk before it: two independent recursions in one loop, so the
// processor overlaps them.
template <int kChannels, SatMode kSat, bool kAutoAttack>
void followAndStage(Follower& followerState, const float* level, const float* inverseQ, float* envelope,
                    ChunkFrames& current, int count, Mixer<kChannels, kSat>& mixerState, const float* loudest,
                    int previousCount, int previousWrite, Lanes* wet, float* stageEnvelope) noexcept {
    // Local copies: the stores below may not touch them, so they stay in registers.
    Follower follower = followerState;
    Mixer<kChannels, kSat> mixer = mixerState;
    const int stageCount = kSat == SatMode::kOff ? 0 : previousCount;
    const int both = count < stageCount ? count : stageCount;
    int j = 0;
    for (; j < both; ++j) {
        follower.step<kAutoAttack>(level + j, inverseQ + j, envelope + j, current.makeup + j);
        mixer.stageStep(wet[j], loudest + j, (previousWrite + j) & kLineMask, stageEnvelope + j);
    }
    for (int k = j; k < count; ++k)
        follower.step<kAutoAttack>(level + k, inverseQ + k, envelope + k, current.makeup + k);
    for (int k = j; k < stageCount; ++k)
        mixer.stageStep(wet[k], loudest + k, (previousWrite + k) & kLineMask, stageEnvelope + k);
    followerState = follower;
    mixerState = mixer;
}

}  // namespace

// Per sample, in this order: input gain and denormal offset, dry line,
// make-up glide, input meters, drive, side-chain band-pass, detector and
// envelope (one for both channels), gain law, mix and output gain, output
// stage, output meters, output, index advance.
//
// The chain runs in passes over chunks of the block, each short enough for
// the processor to overlap many samples of it: (1) input, lines, input
// meters and band-pass; (2) detector, envelope and make-up glide, in one
// loop with (3) the gain law's product (computed two samples at a time
// beforehand), mix, compressed meter and output stage follower of the chunk
// before, so that the two longest recursions overlap; (4) output stage
// gain, output meters and output. One fused pass would be limited by the
// latency of the whole chain per sample. Data-dependent choices are
// selects, so no branch follows the signal; every lane operation is the
// IEEE operation of the per-sample formula, so the result is the same bits
// as processing one sample at a time.
template <int kChannels, bool kAccumulate, SatMode kSat>
void ClamporaEngine::runCompressor(const Block& b, float** inputs, float** outputs, int n, bool twoOutputs) noexcept {
    int w = writeIndex_, la = lookAheadIndex_, dr = dryIndex_;
    Lanes inputAverage = pair(meters_[0].inputAverage, meters_[1].inputAverage);
    Lanes levelAverage = pair(meters_[0].levelAverage, meters_[1].levelAverage);
    Lanes blockPeak = pair(meters_[0].blockPeak, meters_[1].blockPeak);
    __m128i clipCounter = _mm_setr_epi32(meters_[0].clipCounter, meters_[1].clipCounter, 0, 0);
    Lanes x1 = pair(filters_[0].x1, filters_[1].x1), x2 = pair(filters_[0].x2, filters_[1].x2);
    Lanes y1 = pair(filters_[0].y1, filters_[1].y1), y2 = pair(filters_[0].y2, filters_[1].y2);
    const SideChainFilter& f = filters_[0];  // both channels share the coefficients
    const Lanes b0 = splat(f.b0), b2 = splat(f.b2), a1 = splat(f.a1), a2 = splat(f.a2);

    const Lanes inputGain = splat(b.inputGain), drive = splat(b.drive), meterCoef = splat(b.meterCoef);
    const Lanes inverseDrive = splat(b.inverseDrive);
    Follower follower{_mm_set_ss(envelope_),           _mm_set_ss(attackCoef_),    _mm_set_ss(makeupGain_),
                      _mm_cvtsi32_si128(holdCounter_), _mm_set_ss(b.attackFactor), _mm_set_ss(b.r0),
                      _mm_set_ss(b.releaseHold),       _mm_set_ss(1.0f - b.h),     _mm_set_ss(b.makeupTarget),
                      _mm_cvtsi32_si128(b.holdLength)};
    __m128 meanSquare = _mm_set_ss(meanSquare_);
    const __m128 rmsCoef = _mm_set_ss(b.rmsCoef);
    float releaseCoef = releaseCoef_;
    const bool limiter = kSat == SatMode::kLimiter;
    Mixer<kChannels, kSat> mixer{pair(meters_[0].compressedAverage, meters_[1].compressedAverage),
                                 StageLane(stage_),
                                 limiterIndex_,
                                 meterCoef,
                                 splat(dryWeight_),
                                 splat(b.outputGain),
                                 _mm_set_ss(limiter ? b.stage.limiterFall : b.stage.clipperFall),
                                 _mm_set_ss(limiter ? b.stage.limiterRise : b.stage.clipperRise),
                                 _mm_set_ss(b.stage.peakGlide),
                                 &b.stage,
                                 limiter_};
    const Lanes clipThreshold = splat(limiter ? 0.841f : 0.9f);
    // The counter only needs to tell "above clipCount"; it stops one past.
    const __m128i clipCount = _mm_set1_epi32(b.clipCount), clipStop = _mm_set1_epi32(b.clipCount + 1);
    const bool listen = b.sideChainListen, post = b.post;
    // An empty call may come with no buffers at all.
    const float* inL = n > 0 ? inputs[0] : nullptr;
    const float* inR = n > 0 ? inputs[kChannels - 1] : nullptr;
    float* outL = n > 0 ? outputs[0] : nullptr;
    float* outR = n > 0 ? outputs[kChannels == 2 || twoOutputs ? 1 : 0] : nullptr;

    // +-1e-9 ahead of the recursions keeps them away from denormals in
    // silence; the sign flips every sample and the first one is negative.
    const __m128 flip = _mm_set1_ps(-0.0f);
    Lanes offset = splat(1e-9f);

    ChunkFrames frames[2];
    // side: the band-passed side chain; wet: the output before the stage's gain.
    Lanes side[kChunk], wet[kChunk];
    // Padded to whole SSE registers and zeroed so that the four-wide passes
    // only ever see finite values.
    alignas(16) float levels[kChunk] = {}, inverseQs[kChunk] = {}, envelopes[kChunk] = {}, gainValues[kChunk] = {};
    alignas(16) float stageEnvelopes[kChunk] = {}, loudest[kChunk] = {};

    // (4) Output stage gain, output meters and output of a mixed chunk.
    auto finish = [&](int start, int count) noexcept {
        if (kSat != SatMode::kOff) stageInverses(stageEnvelopes, count);
        for (int j = 0; j < count; ++j) {
            Lanes out = wet[j];
            if (kSat != SatMode::kOff)
                out = softClipLanes(out * Lanes{_mm_load1_ps(stageEnvelopes + j)}) * splat(kClipCeiling);
            if (post) {
                const Lanes ao = absolute(out);
                levelAverage = levelAverage + (ao - levelAverage) * meterCoef;
                blockPeak = maximum(blockPeak, ao);
                if (kSat != SatMode::kOff) {
                    // blockPeak <= threshold resets the counter (NaN counts
                    // as above); above it, the counter advances and the
                    // peak shows 1.0 once it passes clipCount. Whether the
                    // next count passes is known before the peak is.
                    const __m128i next = _mm_add_epi32(clipCounter, _mm_set1_epi32(1));
                    const __m128i passes = _mm_cmpgt_epi32(next, clipCount);
                    const __m128 above = _mm_cmpnle_ps(blockPeak.v, clipThreshold.v);
                    clipCounter = _mm_and_si128(_mm_castps_si128(above), _mm_or_si128(_mm_and_si128(passes, clipStop),
                                                                                      _mm_andnot_si128(passes, next)));
                    blockPeak = select(_mm_and_ps(above, _mm_castsi128_ps(passes)), splat(1.0f), blockPeak);
                }
            }
            const int i = start + j;
            emit<kAccumulate>(outL, i, _mm_cvtss_f32(out.v));
            if (kChannels == 2)
                emit<kAccumulate>(outR, i, _mm_cvtss_f32(_mm_shuffle_ps(out.v, out.v, _MM_SHUFFLE(1, 1, 1, 1))));
            else if (twoOutputs)
                emit<kAccumulate>(outR, i, _mm_cvtss_f32(out.v));
        }
    };

    const ChunkFrames* previous = nullptr;
    int previousStart = 0, previousCount = 0, previousWrite = 0;
    for (int start = 0; start < n; start += kChunk) {
        const int count = n - start < kChunk ? n - start : kChunk;
        ChunkFrames& current = frames[(start / kChunk) & 1];
        const int write = w;

        // (1) Input, lines, input meters, side-chain band-pass. The delayed
        // frames are read here, after each sample's writes, as the lines are
        // one sample at a time: a look-ahead near the line length would
        // otherwise see slots overwritten by later samples of the chunk.
        for (int j = 0; j < count; ++j) {
            offset.v = _mm_xor_ps(offset.v, flip);
            const Lanes x = sanitise(loadFrame<kChannels>(inL, inR, start + j)) * inputGain + offset;
            storeLine<2>(dry_, w, kChannels == 2 ? x : Lanes{_mm_unpacklo_ps(x.v, x.v)});
            const Lanes ax = absolute(x);
            inputAverage = inputAverage + (ax - inputAverage) * meterCoef;
            if (!post) blockPeak = maximum(blockPeak, ax);
            const Lanes d = x * drive;
            storeLine<kChannels>(driven_, w, d);
            current.delayed[j] = b.delay ? loadLine<kChannels>(driven_, la) : d;
            current.dry[j] = loadLine<kChannels>(dry_, dr);
            const Lanes y = b0 * d + b2 * x2 - a1 * y1 - a2 * y2 + offset;
            x2 = x1;
            x1 = d;
            y2 = y1;
            y1 = y;
            side[j] = y;
            if (!listen) {
                const __m128 p = detectorPeak<kChannels>(y);
                meanSquare = _mm_add_ss(meanSquare, _mm_mul_ss(_mm_sub_ss(_mm_mul_ss(p, p), meanSquare), rmsCoef));
                _mm_store_ss(levels + j, p);
                _mm_store_ss(inverseQs + j, meanSquare);
            }
            w = (w + 1) & kLineMask;
            la = (la + 1) & kLineMask;
            dr = (dr + 1) & kLineMask;
        }

        if (listen) {
            // The band-passed signal is the wet signal; the make-up gain
            // still glides.
            for (int j = 0; j < count; ++j) {
                follower.makeupGain = _mm_add_ss(
                    follower.makeupGain,
                    _mm_mul_ss(_mm_sub_ss(follower.makeupTarget, follower.makeupGain), _mm_set_ss(0.005125f)));
                mixer.mix(side[j] * inverseDrive, current.dry[j], wet[j], loudest + j);
            }
            for (int j = 0; j < count; ++j)
                mixer.stageStep(wet[j], loudest + j, (write + j) & kLineMask, stageEnvelopes + j);
            finish(start, count);
            continue;
        }

        // (2) Detector and envelope of this chunk, beside the output stage
        // follower of the one before, after (3) its gain law and mix.
        detectorLevels(inverseQs, levels, b.rms, count);
        if (previous != nullptr) {
            gains(envelopes, b.hardShare, b.inverseDrive, gainValues, previousCount);
            mixer.mixCompressed(*previous, gainValues, previousCount, wet, loudest);
        }
        const float envelopeBefore = _mm_cvtss_f32(follower.envelope);
        if (b.autoAttack)
            followAndStage<kChannels, kSat, true>(follower, levels, inverseQs, envelopes, current, count, mixer,
                                                  loudest, previousCount, previousWrite, wet, stageEnvelopes);
        else
            followAndStage<kChannels, kSat, false>(follower, levels, inverseQs, envelopes, current, count, mixer,
                                                   loudest, previousCount, previousWrite, wet, stageEnvelopes);
        // The automatic release coefficient is only used from the next
        // block on: the last sample's value, from the envelope before it.
        if (b.autoRelease) {
            const float last = count > 1 ? envelopes[count - 2] : envelopeBefore;
            releaseCoef = (last + 1e-8f) * b.releaseFactor * inverseQs[count - 1];
        }
        if (previous != nullptr) finish(previousStart, previousCount);
        previous = &current;
        previousStart = start;
        previousCount = count;
        previousWrite = write;
    }
    if (previous != nullptr) {
        gains(envelopes, b.hardShare, b.inverseDrive, gainValues, previousCount);
        mixer.mixCompressed(*previous, gainValues, previousCount, wet, loudest);
        for (int j = 0; j < previousCount; ++j)
            mixer.stageStep(wet[j], loudest + j, (previousWrite + j) & kLineMask, stageEnvelopes + j);
        finish(previousStart, previousCount);
    }

    if (n > 0) {
        for (int c = 0; c < 2; ++c) {
            ChannelMeter& m = meters_[c];
            const int from = kChannels == 2 ? c : 0;
            m.inputAverage = lane(inputAverage, from);
            m.compressedAverage = lane(mixer.compressedAverage, from);
            m.blockPeak = lane(blockPeak, from);
            m.levelAverage = post ? lane(levelAverage, from) : m.inputAverage;
        }
        alignas(16) std::int32_t counters[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(counters), clipCounter);
        for (int c = 0; c < kChannels; ++c) meters_[c].clipCounter = counters[c];
    }
    meanSquare_ = _mm_cvtss_f32(meanSquare);
    envelope_ = _mm_cvtss_f32(follower.envelope);
    holdCounter_ = _mm_cvtsi128_si32(follower.holdCounter);
    attackCoef_ = _mm_cvtss_f32(follower.attackCoef);
    releaseCoef_ = releaseCoef;
    makeupGain_ = _mm_cvtss_f32(follower.makeupGain);
    writeIndex_ = w;
    lookAheadIndex_ = la;
    dryIndex_ = dr;
    limiterIndex_ = mixer.limiterIndex;
    // The coefficients may have been redesigned meanwhile; only the state is ours.
    for (int c = 0; c < kChannels; ++c) {
        SideChainFilter& s = filters_[c];
        s.x1 = s.x0 = lane(x1, c);
        s.x2 = lane(x2, c);
        s.y1 = s.y0 = lane(y1, c);
        s.y2 = lane(y2, c);
    }
    mixer.stage.store(stage_);
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
