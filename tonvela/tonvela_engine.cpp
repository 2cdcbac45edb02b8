#include "tonvela/tonvela_engine.h"

#include <emmintrin.h>

#include <cmath>
#include <initializer_list>

#include "host/dsp_math.h"

namespace klv::tonvela {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Drive scale: the curves see s * 0.1995 * g; "none" undoes the 0.1995.
constexpr float kDriveScale = 0.1995f;
constexpr float kUndrive = 5.0125313f;  // 1 / 0.1995

// sqrt(8/3), where w - w^3/8 peaks, and the reciprocal of that peak.
constexpr float kTape3Knee = 1.632993161855452f;
constexpr float kTape3Scale = 0.9185586535436918f;

// Meter ballistics: a step falls to 0.1091012 of itself (about -19.2 dB).
constexpr double kMeterFall = 0.1091012;
constexpr float kMeterLimit = 4.0f;

// Sine table: 2048 steps per turn plus one guard entry so that the
// interpolation's upper neighbour always exists.
constexpr int kSineSize = 2048;
constexpr float kPhaseToIndex = 325.94932345220167f;  // 2048 / (2 pi)
constexpr float kHalfPi = 1.5707963267948966f;
constexpr float kQuarterPi = 0.78539816339744831f;

struct SineTable {
    float v[kSineSize + 1];
    SineTable() noexcept {
        for (int j = 0; j <= kSineSize; ++j)
            v[j] = static_cast<float>(dsp::sin(2.0 * kPi * (j % kSineSize) / kSineSize));
    }
};
const SineTable kSine;

using dsp::emit;
using dsp::flushTiny;
using dsp::sanitise;
using dsp::unitValue;

double boundedCorner(double frequency, double sampleRate) noexcept {
    const double limit = kMaxCornerShare * sampleRate;
    return frequency > limit ? limit : frequency;
}

}  // namespace

void OnePoleFilter::initLowpass(double frequency, double sampleRate) noexcept {
    const double k = dsp::tan(kPi * boundedCorner(frequency, sampleRate) / sampleRate);
    b = static_cast<float>(k / (1.0 + k));
    c = static_cast<float>((k - 1.0) / (k + 1.0));
    x1 = y1 = 0.0f;
}

void OnePoleFilter::initHighpass(double frequency, double sampleRate) noexcept {
    const double k = dsp::tan(kPi * boundedCorner(frequency, sampleRate) / sampleRate);
    b = static_cast<float>(1.0 / (1.0 + k));
    c = static_cast<float>((1.0 - k) / (1.0 + k));
    x1 = y1 = 0.0f;
}

// Continuous parameters are meant to lie in 0..1; a host may send anything
// finite. Outside that range the powers overflow, so the working values use
// the nearest end of the range (the stored value is kept).
double levelGain(float value) noexcept {
    return dsp::pow(10.0, (static_cast<double>(unitValue(value)) - 0.5) * 1.2);
}

double driveGain(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 31.0 + 1.0;
}

int shapeStep(float value) noexcept {
    return static_cast<int>(unitValue(value) * 7.0f + 0.5f);
}

double bassCorner(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 450.0 + 50.0;
}

double trebleCorner(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 10000.0 + 2000.0;
}

double trebleHarmonicGain(float value) noexcept {
    return dsp::pow(10.0, (static_cast<double>(unitValue(value)) - 0.1) * 8.0);
}

double bassHarmonicAmount(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 36.9 + 0.1;
}

double bassBandFactor(double amount) noexcept {
    return 10.0 / (dsp::pow(10.0, 0.65) * dsp::pow(amount, 0.65));
}

Normalisers curveNormalisers(double drive) noexcept {
    const double h = 0.1995 * drive;
    Normalisers r{};
    r.n[kNone] = 1.0f;
    r.n[kValve1] = static_cast<float>((h + 7.0) / h);
    r.n[kValve2] = static_cast<float>((h + 4.0) / h);
    r.n[kValve3] = static_cast<float>((h + 2.5) / h);
    const double u = 2.0 * h;
    r.n[kTape1] = u >= 2.0 ? 1.0f : static_cast<float>(1.0 / dsp::sin(u * kPi / 4.0));
    r.n[kTape2] = u >= 2.0 ? 1.0f : static_cast<float>(1.0 / (u - u * u / 4.0));
    const double knee = 1.632993161855452;
    const double w = h * knee;
    r.n[kTape3] = w >= knee ? 1.0f : static_cast<float>(1.0 / ((w - w * w * w / 8.0) * 0.9185586535436918));
    r.n[kDigital] = 1.0f;
    return r;
}

float tableSine(float phase) noexcept {
    const bool negative = phase < 0.0f;
    const float p = (negative ? -phase : phase) * kPhaseToIndex;
    const int whole = static_cast<int>(p);
    const int i = whole & (kSineSize - 1);
    const float f = p - static_cast<float>(whole);
    const float s = f * kSine.v[i + 1] + (1.0f - f) * kSine.v[i];
    return negative ? -s : s;
}

namespace {

// tape1 before its normaliser, for d >= 0: a sine up to 1.0 at d = 1, then
// a half cosine falling to 0.5 at d = 5, then flat.
inline float tape1Positive(float d) noexcept {
    if (d < 1.0f) return tableSine(d * kHalfPi);
    if (d < 5.0f) return 0.75f + 0.25f * tableSine(kHalfPi + (d - 1.0f) * kQuarterPi);
    return 0.5f;
}

inline float curve(int step, float d, float normaliser) noexcept {
    switch (step) {
        case kValve1:
            return normaliser * d / (std::fabs(d) + 7.0f);
        case kValve2:
            return normaliser * d / (std::fabs(d) + 4.0f);
        case kValve3:
            return normaliser * d / (std::fabs(d) + 2.5f);
        case kTape1: {
            const float y = tape1Positive(std::fabs(d));
            return normaliser * (d < 0.0f ? -y : y);
        }
        case kTape2: {
            const float u = 2.0f * d;
            float y = u - u * std::fabs(u) * 0.25f;
            if (std::fabs(y) >= 1.0f) y = y < 0.0f ? -1.0f : 1.0f;
            return normaliser * y;
        }
        case kTape3: {
            const float w = d * kTape3Knee;
            float y;
            if (w >= kTape3Knee)
                y = 1.0f;
            else if (w <= -kTape3Knee)
                y = -1.0f;
            else
                y = (w - w * w * w * 0.125f) * kTape3Scale;
            return normaliser * y;
        }
        case kDigital:
            return d < -1.0f ? -1.0f : d > 1.0f ? 1.0f : d;
        default:
            return d * kUndrive;
    }
}

}  // namespace

float applyCurve(int step, float d, float normaliser) noexcept {
    return curve(step, d, normaliser);
}

int meterDelay(std::int32_t outputLatency, std::int32_t blockSize) noexcept {
    if (outputLatency < 2 || blockSize < 2) return 1;
    const std::int64_t delay =
        static_cast<std::int64_t>(outputLatency) * 10 / (static_cast<std::int64_t>(blockSize) * 12);
    return delay < 1 ? 1 : delay > 255 ? 255 : static_cast<int>(delay);
}

// Per-call constants.
struct TonvelaEngine::Block {
    CallSettings s;
    float bassBandGain;    // GB = F * bass gain
    float trebleBandGain;  // GT = (1/T) * treble gain * 15
    float bassScale;       // S = 6 a
    float bassRelease;     // RB
    float trebleAttack;    // AT
    float trebleRelease;   // RT
    float driveFactor;     // D
    float meterCoef;       // E
    float peakRelease;     // P
};

TonvelaEngine::TonvelaEngine() noexcept {
    reset(44100.0f);
}

void TonvelaEngine::setBassCorner(float hz) noexcept {
    bassCorner_.store(hz, std::memory_order_relaxed);
    bassRequests_.fetch_add(1, std::memory_order_release);
}

void TonvelaEngine::setTrebleCorner(float hz) noexcept {
    trebleCorner_.store(hz, std::memory_order_relaxed);
    trebleRequests_.fetch_add(1, std::memory_order_release);
}

void TonvelaEngine::redesignBass() noexcept {
    bassApplied_ = bassRequests_.load(std::memory_order_acquire);
    const double fb = bassCorner_.load(std::memory_order_relaxed);
    for (auto& channel : bassSplit_)
        for (OnePoleFilter& f : channel) f.initLowpass(fb, filterRate_);
    for (OnePoleFilter& f : bassSmooth_) f.initLowpass(1.9 * fb, filterRate_);
}

void TonvelaEngine::redesignTreble() noexcept {
    trebleApplied_ = trebleRequests_.load(std::memory_order_acquire);
    const double ft = trebleCorner_.load(std::memory_order_relaxed);
    for (auto& channel : trebleSplit_)
        for (OnePoleFilter& f : channel) f.initHighpass(ft, filterRate_);
}

void TonvelaEngine::applyPendingDesigns() noexcept {
    if (bassRequests_.load(std::memory_order_acquire) != bassApplied_) redesignBass();
    if (trebleRequests_.load(std::memory_order_acquire) != trebleApplied_) redesignTreble();
}

void TonvelaEngine::reset(float filterRate) noexcept {
    for (int c = 0; c < 2; ++c) {
        level_[c] = 0.0f;
        heldPeak_[c] = 0.0f;
        holdTime_[c] = 0;
    }
    filterRate_ = usableRate(filterRate);
    redesignTreble();
    redesignBass();
    for (auto& ring : history_.rings)
        for (float& v : ring) v = 0.0f;
}

void TonvelaEngine::setMeterDelay(int delay) noexcept {
    history_.readPosition = 0;
    history_.writePosition = delay & kMeterRingMask;
}

bool TonvelaEngine::hasSubnormalState() const noexcept {
    auto tiny = [](float v) { return std::fpclassify(v) == FP_SUBNORMAL; };
    for (int c = 0; c < 2; ++c) {
        for (const OnePoleFilter* f :
             {&bassSplit_[c][0], &bassSplit_[c][1], &bassSmooth_[c], &trebleSplit_[c][0], &trebleSplit_[c][1]})
            if (tiny(f->x1) || tiny(f->y1)) return true;
        if (tiny(bassEnvelope_[c]) || tiny(trebleEnvelope_[c]) || tiny(level_[c]) || tiny(heldPeak_[c])) return true;
    }
    return false;
}

MeterReading TonvelaEngine::meter(int channel) const noexcept {
    const int c = channel == 0 ? 0 : 1;
    const int r = history_.readPosition;
    return {history_.rings[c][r], history_.rings[2 + c][r], history_.rings[4 + c][r]};
}

template <bool kAccumulate, int kChannels>
void TonvelaEngine::runBypass(const Block& b, float** inputs, float** outputs, int n) noexcept {
    const float gain = b.s.inputGain;
    const float e = b.meterCoef;
    float peak[2] = {blockPeak_[0], blockPeak_[1]};
    float level[2] = {level_[0], level_[1]};
    for (int i = 0; i < n; ++i) {
        float x[kChannels];
        for (int c = 0; c < kChannels; ++c) x[c] = sanitise(inputs[c][i]) * gain;
        for (int c = 0; c < kChannels; ++c) {
            const float v = std::fabs(x[c]);
            peak[c] = v > peak[c] ? v : peak[c];
            level[c] += (v - level[c]) * e;
        }
        if (kChannels == 2) {
            emit<kAccumulate>(outputs[0], i, x[0]);
            emit<kAccumulate>(outputs[1], i, x[kChannels - 1]);
        } else {
            emit<kAccumulate>(outputs[0], i, x[0]);
            if (b.s.twoOutputs) emit<kAccumulate>(outputs[1], i, x[0]);
        }
    }
    for (int c = 0; c < kChannels; ++c) {
        blockPeak_[c] = peak[c];
        level_[c] = level[c];
    }
}

namespace {

using dsp::absolute;
using dsp::lane;
using dsp::Lanes;
using dsp::loadFrame;
using dsp::maximum;
using dsp::minimum;
using dsp::pair;
using dsp::selectGreater;
using dsp::splat;

struct Section {
    Lanes x1, y1;
    Lanes b, c;
    Lanes lowpass(Lanes x) noexcept {
        const Lanes y = (x + x1) * b - c * y1;
        x1 = x;
        y1 = y;
        return y;
    }
    Lanes highpass(Lanes x) noexcept {
        const Lanes y = c * y1 + (x - x1) * b;
        x1 = x;
        y1 = y;
        return y;
    }
};

inline Section load(const OnePoleFilter& left, const OnePoleFilter& right) noexcept {
    return {{_mm_setr_ps(left.x1, right.x1, 0.0f, 0.0f)},
            {_mm_setr_ps(left.y1, right.y1, 0.0f, 0.0f)},
            splat(left.b),
            splat(left.c)};
}

// Writes back the state of the channels that ran.
template <int kChannels>
inline void store(const Section& s, OnePoleFilter& left, OnePoleFilter& right) noexcept {
    left.x1 = lane(s.x1, 0);
    left.y1 = lane(s.y1, 0);
    if (kChannels == 2) {
        right.x1 = lane(s.x1, 1);
        right.y1 = lane(s.y1, 1);
    }
}

inline Lanes signedOne(Lanes y) noexcept {
    return {_mm_or_ps(_mm_and_ps(y.v, _mm_set1_ps(-0.0f)), _mm_set1_ps(1.0f))};
}

inline Lanes curveLanes(int step, Lanes d, Lanes normaliser, Lanes shape) noexcept {
    switch (step) {
        case kValve1:
        case kValve2:
        case kValve3:
            // shape holds the curve's constant n (7, 4 or 2.5)
            return normaliser * d / (absolute(d) + shape);
        case kTape1: {
            // The scalar tape1 curve lane by lane: the sine argument per
            // segment, the table lookup for lanes 0 and 1, then the segment.
            const Lanes a = absolute(d);
            const Lanes rising = a * splat(kHalfPi);
            const Lanes falling = splat(kHalfPi) + (a - splat(1.0f)) * splat(kQuarterPi);
            const Lanes phase = selectGreater(splat(1.0f), a, rising, falling);
            const Lanes p = phase * splat(kPhaseToIndex);
            const __m128i whole = _mm_cvttps_epi32(p.v);
            const Lanes f = p - Lanes{_mm_cvtepi32_ps(whole)};
            alignas(16) std::int32_t index[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(index), whole);
            const int i0 = index[0] & (kSineSize - 1), i1 = index[1] & (kSineSize - 1);
            const Lanes lower = pair(kSine.v[i0], kSine.v[i1]);
            const Lanes upper = pair(kSine.v[i0 + 1], kSine.v[i1 + 1]);
            const Lanes sine = f * upper + (splat(1.0f) - f) * lower;
            const Lanes fold = splat(0.75f) + splat(0.25f) * sine;
            const Lanes y = selectGreater(splat(1.0f), a, sine, selectGreater(splat(5.0f), a, fold, splat(0.5f)));
            const __m128 negative = _mm_cmplt_ps(d.v, _mm_setzero_ps());
            return normaliser * Lanes{_mm_or_ps(y.v, _mm_and_ps(negative, _mm_set1_ps(-0.0f)))};
        }
        case kTape2: {
            const Lanes u = splat(2.0f) * d;
            const Lanes y = u - u * absolute(u) * splat(0.25f);
            // |y| >= 1 becomes +-1: 1 > |y| keeps y
            return normaliser * selectGreater(splat(1.0f), absolute(y), y, signedOne(y));
        }
        case kTape3: {
            const Lanes w = d * splat(kTape3Knee);
            const Lanes cubic = (w - w * w * w * splat(0.125f)) * splat(kTape3Scale);
            // |w| >= knee gives +-1
            return normaliser * selectGreater(splat(kTape3Knee), absolute(w), cubic, signedOne(w));
        }
        case kDigital:
            return minimum(maximum(d, splat(-1.0f)), splat(1.0f));
        default:
            return d * splat(kUndrive);
    }
}

}  // namespace

template <bool kAccumulate, int kChannels, bool kBass, bool kTreble>
void TonvelaEngine::run(const Block& b, float** inputs, float** outputs, int n) noexcept {
    // State in registers for the loop.
    Section bs0 = load(bassSplit_[0][0], bassSplit_[1][0]);
    Section bs1 = load(bassSplit_[0][1], bassSplit_[1][1]);
    Section sm = load(bassSmooth_[0], bassSmooth_[1]);
    Section ts0 = load(trebleSplit_[0][0], trebleSplit_[1][0]);
    Section ts1 = load(trebleSplit_[0][1], trebleSplit_[1][1]);
    Lanes benv = pair(bassEnvelope_[0], bassEnvelope_[1]);
    Lanes tenv = pair(trebleEnvelope_[0], trebleEnvelope_[1]);
    Lanes peak = pair(blockPeak_[0], blockPeak_[1]);
    Lanes level = pair(level_[0], level_[1]);

    const Lanes inGain = splat(b.s.inputGain), outGain = splat(b.s.outputGain), mix = splat(b.s.mix);
    const Lanes gb = splat(b.bassBandGain), gt = splat(b.trebleBandGain), scale = splat(b.bassScale);
    const Lanes rb = splat(b.bassRelease), at = splat(b.trebleAttack), rt = splat(b.trebleRelease);
    const Lanes harmonic = splat(b.s.trebleHarmonic), drive = splat(b.driveFactor), e = splat(b.meterCoef);
    const Lanes normaliser = splat(b.s.normaliser);
    const Lanes five = splat(5.0f), fourteen = splat(14.0f);
    const int shape = b.s.shape, point = b.s.meterPoint;
    const float valveConstants[kNumShapes] = {0.0f, 7.0f, 4.0f, 2.5f, 0.0f, 0.0f, 0.0f, 0.0f};
    const Lanes curveConstant = splat(shape >= 0 && shape < kNumShapes ? valveConstants[shape] : 0.0f);
    const bool twoOutputs = b.s.twoOutputs;
    const float* inL = inputs[0];
    const float* inR = inputs[kChannels - 1];
    float* outL = outputs[0];
    float* outR = outputs[kChannels == 2 || twoOutputs ? 1 : 0];

    // Alternating +-1e-9 added ahead of the recursive sections keeps their
    // state away from denormals in silence; the first sample uses -1e-9.
    const Lanes guards[2] = {splat(-1e-9f), splat(1e-9f)};

    // The chain runs in three stages: input and bass enhancement, treble
    // enhancement, curve with mix and meters. Each stage keeps its own
    // recursions and walks the samples in order; the stages work on
    // different chunks at once (stage one on chunk k, two on k - 1, three on
    // k - 2), so the processor overlaps three short chains instead of
    // waiting on one long one per sample.
    constexpr int kChunk = 64;
    Lanes dry[3][kChunk], wet[3][kChunk];

    auto first = [&](int start, Lanes* x0, Lanes* s0, int j) {
        const int i = start + j;
        const Lanes x = sanitise(loadFrame<kChannels>(inL, inR, i)) * inGain;
        x0[j] = x;
        if (kBass) {
            const Lanes guard = guards[i & 1];
            const Lanes low = bs1.lowpass(bs0.lowpass(x + guard));
            // Instant rise, release toward the band (signed comparison).
            benv = selectGreater(low, benv, low, benv + (low - benv) * rb);
            const Lanes h = scale * benv / (absolute(benv) + five);
            const Lanes hs = sm.lowpass(h + guard);
            s0[j] = (x - low) + hs * gb;
        } else {
            s0[j] = x;
        }
    };
    auto second = [&](int start, Lanes* s0, int j) {
        if (!kTreble) return;
        const Lanes s = s0[j];
        const Lanes high = ts1.highpass(ts0.highpass(s + guards[(start + j) & 1]));
        const Lanes t = high * harmonic;
        const Lanes mag = absolute(t);
        // Both candidates, then the choice: the comparison stays off the
        // envelope's own chain.
        const Lanes rise = mag - tenv;
        tenv = selectGreater(mag, tenv, tenv + rise * at, tenv + rise * rt);
        s0[j] = (s - high) + (t / (tenv + fourteen)) * gt;
    };
    auto third = [&](int start, const Lanes* x0, const Lanes* s0, int j) {
        const int i = start + j;
        const Lanes x = x0[j];
        const Lanes d = s0[j] * drive;
        const Lanes y = curveLanes(shape, d, normaliser, curveConstant);
        const Lanes out = ((y - x) * mix + x) * outGain;
        if (point >= 0 && point <= 2) {
            const Lanes v = absolute(point == 0 ? x : point == 1 ? out : d);
            peak = maximum(v, peak);
            level = level + (v - level) * e;
        }
        const float left = _mm_cvtss_f32(out.v);
        emit<kAccumulate>(outL, i, left);
        if (kChannels == 2)
            emit<kAccumulate>(outR, i, _mm_cvtss_f32(_mm_shuffle_ps(out.v, out.v, _MM_SHUFFLE(1, 1, 1, 1))));
        else if (twoOutputs)
            emit<kAccumulate>(outR, i, left);
    };

    const int chunks = (n + kChunk - 1) / kChunk;
    auto length = [&](int k) { return k < 0 || k >= chunks ? 0 : (n - k * kChunk < kChunk ? n - k * kChunk : kChunk); };
    for (int k = 0; k < chunks + 2; ++k) {
        const int na = length(k), nb = length(k - 1), nc = length(k - 2);
        const int sa = k * kChunk, sb = sa - kChunk, sc = sb - kChunk;
        Lanes* xa = dry[k % 3];
        Lanes* wa = wet[k % 3];
        Lanes* wb = wet[(k + 2) % 3];
        const Lanes* xc = dry[(k + 1) % 3];
        const Lanes* wc = wet[(k + 1) % 3];
        if (na == kChunk && nb == kChunk && nc == kChunk) {
            for (int j = 0; j < kChunk; ++j) {
                first(sa, xa, wa, j);
                second(sb, wb, j);
                third(sc, xc, wc, j);
            }
        } else {
            for (int j = 0; j < na; ++j) first(sa, xa, wa, j);
            for (int j = 0; j < nb; ++j) second(sb, wb, j);
            for (int j = 0; j < nc; ++j) third(sc, xc, wc, j);
        }
    }

    store<kChannels>(bs0, bassSplit_[0][0], bassSplit_[1][0]);
    store<kChannels>(bs1, bassSplit_[0][1], bassSplit_[1][1]);
    store<kChannels>(sm, bassSmooth_[0], bassSmooth_[1]);
    store<kChannels>(ts0, trebleSplit_[0][0], trebleSplit_[1][0]);
    store<kChannels>(ts1, trebleSplit_[0][1], trebleSplit_[1][1]);
    for (int c = 0; c < kChannels; ++c) {
        bassEnvelope_[c] = lane(benv, c);
        trebleEnvelope_[c] = lane(tenv, c);
        blockPeak_[c] = lane(peak, c);
        level_[c] = lane(level, c);
    }
}

void TonvelaEngine::finishBlock(const Block& b, int frames) noexcept {
    if (!b.s.stereo) {
        // Mono: the right meter follows the left.
        blockPeak_[1] = blockPeak_[0];
        level_[1] = level_[0];
    }
    const double holdLength = 0.3 * static_cast<double>(b.s.sampleRate);
    const int w = history_.writePosition;
    for (int c = 0; c < 2; ++c) {
        level_[c] = flushTiny(level_[c] > kMeterLimit ? kMeterLimit : level_[c]);
        const float peak = blockPeak_[c] > kMeterLimit ? kMeterLimit : blockPeak_[c];
        if (peak > heldPeak_[c]) {
            heldPeak_[c] = peak;
            holdTime_[c] = 0;
        } else if (static_cast<double>(holdTime_[c]) < holdLength) {
            holdTime_[c] += frames;
        } else {
            heldPeak_[c] = flushTiny(heldPeak_[c] + (peak - heldPeak_[c]) * (1.0f - b.peakRelease));
        }
        history_.rings[c][w] = level_[c];
        history_.rings[2 + c][w] = heldPeak_[c];
        history_.rings[4 + c][w] = peak >= 1.0f ? 1.0f : 0.0f;

        // Keep the recursive state out of the denormal range in long silences.
        bassEnvelope_[c] = flushTiny(bassEnvelope_[c]);
        trebleEnvelope_[c] = flushTiny(trebleEnvelope_[c]);
        for (OnePoleFilter* f :
             {&bassSplit_[c][0], &bassSplit_[c][1], &bassSmooth_[c], &trebleSplit_[c][0], &trebleSplit_[c][1]}) {
            f->x1 = flushTiny(f->x1);
            f->y1 = flushTiny(f->y1);
        }
    }
    history_.writePosition = (w + 1) & kMeterRingMask;
    history_.readPosition = (history_.readPosition + 1) & kMeterRingMask;
}

template <bool kAccumulate>
void TonvelaEngine::process(const CallSettings& settings, float** inputs, float** outputs, int sampleFrames) noexcept {
    int n = sampleFrames < 0 ? 0 : sampleFrames;
    const int channels = settings.stereo ? 2 : 1;
    const int outs = settings.stereo || settings.twoOutputs ? 2 : 1;
    if (!inputs || !outputs) n = 0;
    for (int c = 0; n > 0 && c < channels; ++c)
        if (!inputs[c]) n = 0;
    for (int c = 0; n > 0 && c < outs; ++c)
        if (!outputs[c]) n = 0;

    // Hosts commonly set the rate and then resume without a suspend in
    // between; the filters follow the rate at the next call rather than
    // waiting for one.
    const float hostRate = usableRate(settings.sampleRate);
    if (hostRate != static_cast<float>(filterRate_)) {
        filterRate_ = hostRate;
        redesignBass();
        redesignTreble();
    }
    applyPendingDesigns();

    Block b;
    b.s = settings;
    const double fs = usableRate(settings.sampleRate);
    b.s.sampleRate = static_cast<float>(fs);
    const int fsi = static_cast<int>(fs);
    const double vbh = unitValue(settings.bassHarmValue);
    const double vtf = unitValue(settings.trebleFreqValue);
    b.bassBandGain = settings.bassFactor * settings.bassGain;
    b.trebleBandGain = (1.0f / settings.trebleHarmonic) * settings.trebleGain * 15.0f;
    b.bassScale = 6.0f * settings.bassAmount;
    b.bassRelease = static_cast<float>((1.0 - vbh) * (1.0 - vbh) * 0.43 + 0.07);
    b.trebleAttack = static_cast<float>(vtf * vtf * 0.1 + 0.015);
    b.trebleRelease = static_cast<float>(vtf * vtf * 0.03 + 0.005);
    b.driveFactor = settings.shape != kNone ? kDriveScale * settings.drive : kDriveScale;
    b.meterCoef = static_cast<float>(1.0 - dsp::pow(kMeterFall, 1.0 / (0.3 * fsi)));
    b.peakRelease = n > 0 ? static_cast<float>(dsp::pow(kMeterFall, n / (0.6 * fsi))) : 1.0f;

    blockPeak_[0] = blockPeak_[1] = 0.0f;
    if (n > 0) {
        if (settings.bypass) {
            if (settings.stereo)
                runBypass<kAccumulate, 2>(b, inputs, outputs, n);
            else
                runBypass<kAccumulate, 1>(b, inputs, outputs, n);
        } else {
            const int variant = (settings.stereo ? 4 : 0) | (settings.bassOn ? 2 : 0) | (settings.trebleOn ? 1 : 0);
            switch (variant) {
                case 0:
                    run<kAccumulate, 1, false, false>(b, inputs, outputs, n);
                    break;
                case 1:
                    run<kAccumulate, 1, false, true>(b, inputs, outputs, n);
                    break;
                case 2:
                    run<kAccumulate, 1, true, false>(b, inputs, outputs, n);
                    break;
                case 3:
                    run<kAccumulate, 1, true, true>(b, inputs, outputs, n);
                    break;
                case 4:
                    run<kAccumulate, 2, false, false>(b, inputs, outputs, n);
                    break;
                case 5:
                    run<kAccumulate, 2, false, true>(b, inputs, outputs, n);
                    break;
                case 6:
                    run<kAccumulate, 2, true, false>(b, inputs, outputs, n);
                    break;
                default:
                    run<kAccumulate, 2, true, true>(b, inputs, outputs, n);
                    break;
            }
        }
    }
    finishBlock(b, n);
}

template void TonvelaEngine::process<true>(const CallSettings&, float**, float**, int) noexcept;
template void TonvelaEngine::process<false>(const CallSettings&, float**, float**, int) noexcept;

}  // namespace klv::tonvela
