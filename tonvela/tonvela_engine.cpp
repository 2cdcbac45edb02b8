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
using dsp::maximum;
using dsp::minimum;
using dsp::pair;
using dsp::selectGreater;
using dsp::splat;

// Frames per chunk of the passes in TonvelaEngine::run (see ChunkBuffers).
constexpr int kChunk = 32;

// One frame at p in lanes 0 (and 1), the other lanes zero.
template <int W>
inline Lanes loadOne(const float* p) noexcept {
    if (W == 2) return {_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)))};
    return {_mm_load_ss(p)};
}

template <int W>
inline void storeOne(float* p, Lanes v) noexcept {
    if (W == 2)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(v.v));
    else
        _mm_store_ss(p, v.v);
}

inline Lanes loadFour(const float* p) noexcept {
    return {_mm_load_ps(p)};
}

inline void storeFour(float* p, Lanes v) noexcept {
    _mm_store_ps(p, v.v);
}

// The frames one frame earlier than those of now, given the vector before it.
template <int W>
inline Lanes previousFrames(Lanes before, Lanes now) noexcept {
    if (W == 2) return {_mm_shuffle_ps(before.v, now.v, _MM_SHUFFLE(1, 0, 3, 2))};
    const __m128 t = _mm_shuffle_ps(before.v, now.v, _MM_SHUFFLE(0, 0, 3, 3));  // b3 b3 n0 n0
    return {_mm_shuffle_ps(t, now.v, _MM_SHUFFLE(2, 1, 2, 0))};                 // b3 n0 n1 n2
}

// A vector whose last frame is the frame in lanes 0 (and 1) of v.
template <int W>
inline Lanes endingWith(Lanes v) noexcept {
    return {W == 2 ? _mm_movelh_ps(v.v, v.v) : _mm_shuffle_ps(v.v, v.v, 0)};
}

// The guard of each float of a vector: frames alternate -1e-9, +1e-9 from
// the (even) start of a chunk.
template <int W>
inline Lanes guardFour() noexcept {
    return {W == 2 ? _mm_setr_ps(-1e-9f, -1e-9f, 1e-9f, 1e-9f) : _mm_setr_ps(-1e-9f, 1e-9f, -1e-9f, 1e-9f)};
}

// m frames from the channel arrays into a chunk buffer, zeros after them.
template <int W>
inline void readFrames(const float* left, const float* right, int m, float* x) noexcept {
    int i = 0;
    for (; i + 4 <= m; i += 4) {
        const __m128 l = _mm_loadu_ps(left + i);
        if (W == 2) {
            const __m128 r = _mm_loadu_ps(right + i);
            _mm_store_ps(x + 2 * i, _mm_unpacklo_ps(l, r));
            _mm_store_ps(x + 2 * i + 4, _mm_unpackhi_ps(l, r));
        } else {
            _mm_store_ps(x + i, l);
        }
    }
    for (; i < m; ++i) {
        x[W * i] = left[i];
        if (W == 2) x[2 * i + 1] = right[i];
    }
    for (int k = W * m; k < W * kChunk; ++k) x[k] = 0.0f;
}

template <bool kAccumulate>
inline void emitFour(float* out, __m128 v) noexcept {
    _mm_storeu_ps(out, kAccumulate ? _mm_add_ps(_mm_loadu_ps(out), v) : v);
}

// m frames of a chunk buffer to the outputs; mono goes to left and, when
// given, to right as well.
template <bool kAccumulate, int W>
inline void writeFrames(const float* y, int m, float* left, float* right) noexcept {
    int i = 0;
    for (; i + 4 <= m; i += 4) {
        if (W == 2) {
            const __m128 a = _mm_load_ps(y + 2 * i), b = _mm_load_ps(y + 2 * i + 4);
            emitFour<kAccumulate>(left + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
            emitFour<kAccumulate>(right + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        } else {
            const __m128 a = _mm_load_ps(y + i);
            emitFour<kAccumulate>(left + i, a);
            if (right) emitFour<kAccumulate>(right + i, a);
        }
    }
    for (; i < m; ++i) {
        emit<kAccumulate>(left, i, y[W * i]);
        if (W == 2)
            emit<kAccumulate>(right, i, y[2 * i + 1]);
        else if (right)
            emit<kAccumulate>(right, i, y[i]);
    }
}

inline Lanes signedOne(Lanes y) noexcept {
    return {_mm_or_ps(_mm_and_ps(y.v, _mm_set1_ps(-0.0f)), _mm_set1_ps(1.0f))};
}

// The curves lane by lane, as the scalar curve() computes them.
inline Lanes valveCurve(Lanes d, Lanes normaliser, Lanes n) noexcept {
    return normaliser * d / (absolute(d) + n);
}

inline Lanes tape1Curve(Lanes d, Lanes normaliser) noexcept {
    // The sine argument per segment, the table lookup per lane, then the segment.
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
    const int i2 = index[2] & (kSineSize - 1), i3 = index[3] & (kSineSize - 1);
    const Lanes lower = {_mm_setr_ps(kSine.v[i0], kSine.v[i1], kSine.v[i2], kSine.v[i3])};
    const Lanes upper = {_mm_setr_ps(kSine.v[i0 + 1], kSine.v[i1 + 1], kSine.v[i2 + 1], kSine.v[i3 + 1])};
    const Lanes sine = f * upper + (splat(1.0f) - f) * lower;
    const Lanes fold = splat(0.75f) + splat(0.25f) * sine;
    const Lanes y = selectGreater(splat(1.0f), a, sine, selectGreater(splat(5.0f), a, fold, splat(0.5f)));
    const __m128 negative = _mm_cmplt_ps(d.v, _mm_setzero_ps());
    return normaliser * Lanes{_mm_or_ps(y.v, _mm_and_ps(negative, _mm_set1_ps(-0.0f)))};
}

inline Lanes tape2Curve(Lanes d, Lanes normaliser) noexcept {
    // u - u |u| / 4 with u = 2 d: the scalings by 2 and 1/4 are exact, so
    // this is 2 d - d |d| bit for bit. |y| >= 1 becomes +-1, a clamp.
    const Lanes y = splat(2.0f) * d - d * absolute(d);
    return normaliser * minimum(maximum(y, splat(-1.0f)), splat(1.0f));
}

inline Lanes tape3Curve(Lanes d, Lanes normaliser) noexcept {
    const Lanes w = d * splat(kTape3Knee);
    const Lanes cubic = (w - w * w * w * splat(0.125f)) * splat(kTape3Scale);
    // |w| >= knee gives +-1
    return normaliser * selectGreater(splat(kTape3Knee), absolute(w), cubic, signedOne(w));
}

// Per-call constants, each in all four lanes: those of the serial loop, of
// the output pass, and of the input and smooth passes. The passes copy
// theirs into locals; kept apart, those copies stay short.
struct SerialConstants {
    Lanes c0, b1, c1, csm, bt0, ct0, bt1, ct1;  // section coefficients
    Lanes rb, rt, atXorRt;                      // envelopes (at ^ rt: the bits that differ)
    Lanes gb, harmonic, e;
};

struct OutputConstants {
    Lanes harmonic, gt, drive, normaliser, valveN, mix, outGain;
};

struct ChainConstants {
    SerialConstants serial;
    OutputConstants output;
    Lanes b0, bsm, inGain, scale;
};

// The recursive state of the chain while a block runs, left in lane 0 and
// right in lane 1. The first-order sections keep y1 and x1.
struct ChainState {
    Lanes bs0x, bs0y, bs1x, bs1y, benv;            // bass split and envelope
    Lanes smx, smy, ts0x, ts0y, ts1x, ts1y, tenv;  // bass smoothing, treble split and envelope
    Lanes level;                                   // meter

    void restoreBass(const ChainState& s) noexcept {
        bs0y = s.bs0y;
        bs1x = s.bs1x;
        bs1y = s.bs1y;
        benv = s.benv;
    }
    void restoreTreble(const ChainState& s) noexcept {
        smy = s.smy;
        ts0x = s.ts0x;
        ts0y = s.ts0y;
        ts1x = s.ts1x;
        ts1y = s.ts1y;
        tenv = s.tenv;
    }
};

// The block runs in chunks, each through these passes:
//   input   (vector) sanitise, input gain, bs0 input terms q = (x + x1) b
//   bass    (serial) bs0, bs1 and the bass envelope
//   smooth  (vector) h = S e / (|e| + 5), sm input terms
//   treble  (serial) sm, the band sum s, ts0, ts1 and the treble envelope
//   output  (vector) treble band, drive, curve, mix, output gain, peak
//   level   (serial) meter level follower
// The serial passes of three chunks share one loop (bass on chunk k, treble
// on k - 1, level on k - 2) so that their recursions overlap; the vector
// passes of those chunks (input on k, smooth on k - 1, output on k - 2) run
// before it, and while the pipeline fills and drains the loop runs only the
// passes that have a chunk. The sections whose input does not come from the
// loop (bs0, sm) get their input term q = (x + x1) b from a vector pass and
// the loop only takes off the feedback, q - c y1; that is OnePoleFilter's
// lowpass operation for operation, and every other step is too, so each
// sample equals what the per-sample formulas give.
//
// Chunk buffers hold kChunk frames as consecutive floats: mono samples one
// after another, stereo frames as left, right pairs. Four floats are then
// four mono samples or two stereo frames for the vector passes; the serial
// loop steps one frame at a time in lanes 0 (and 1).
template <int kChannels>
struct ChunkBuffers {
    static constexpr int kFloats = kChannels * kChunk;
    alignas(16) float dry[3][kFloats];    // x, input to output
    alignas(16) float low[2][kFloats];    // bass band, bass to treble
    alignas(16) float sum[kFloats];       // s, treble to output
    alignas(16) float high[kFloats];      // treble band, treble to output
    alignas(16) float tenv[kFloats];      // treble envelope, treble to output
    alignas(16) float bassIn[kFloats];    // bs0 input terms, input to bass
    alignas(16) float benv[kFloats];      // bass envelope, bass to smooth
    alignas(16) float smoothIn[kFloats];  // sm input terms, smooth to treble
    alignas(16) float meterIn[kFloats];   // |metered signal|, output to level
    alignas(16) float wet[kFloats];       // output samples
};

// The buffers one step of the serial loop reads and writes.
struct SerialBuffers {
    const float* bassIn;
    float* low;  // of the bass chunk
    float* benv;
    const float* smoothIn;
    const float* dry;    // of the treble chunk
    const float* lowIn;  // of the treble chunk
    float* sum;
    float* high;
    float* tenv;
    const float* meterIn;
};

// One frame j of the serial passes that have a chunk: kGroups has 1 for
// bass, 2 for treble, 4 for level. Inlined into the loop below, whose local
// copies it works on.
template <int W, bool kBass, bool kTreble, int kGroups>
inline __attribute__((always_inline)) void serialFrame(const SerialConstants& k, const SerialBuffers& p, ChainState& c,
                                                       int j, Lanes guard) noexcept {
    const int o = W * j;
    if (kBass && (kGroups & 1) != 0) {
        // (x + x1) b - c y1, the first term from the input pass
        const Lanes y0 = loadOne<W>(p.bassIn + o) - k.c0 * c.bs0y;
        const Lanes l = (y0 + c.bs1x) * k.b1 - k.c1 * c.bs1y;
        c.bs0y = y0;
        c.bs1x = y0;
        c.bs1y = l;
        // Instant rise, release toward the band: l > e ? l : e + (l - e) rb.
        // With rb at most 0.5 the release step never passes l, so the
        // larger of the two is the same choice.
        c.benv = maximum(l, c.benv + (l - c.benv) * k.rb);
        storeOne<W>(p.low + o, l);
        storeOne<W>(p.benv + o, c.benv);
    }
    if ((kBass || kTreble) && (kGroups & 2) != 0) {
        Lanes s = loadOne<W>(p.dry + o);
        if (kBass) {
            const Lanes hs = loadOne<W>(p.smoothIn + o) - k.csm * c.smy;
            c.smy = hs;
            s = (s - loadOne<W>(p.lowIn + o)) + hs * k.gb;
            storeOne<W>(p.sum + o, s);
        }
        if (kTreble) {
            const Lanes u = s + guard;
            const Lanes y0 = k.ct0 * c.ts0y + (u - c.ts0x) * k.bt0;
            c.ts0x = u;
            c.ts0y = y0;
            const Lanes hv = k.ct1 * c.ts1y + (y0 - c.ts1x) * k.bt1;
            c.ts1x = y0;
            c.ts1y = hv;
            const Lanes mag = absolute(hv * k.harmonic);
            // Attack or release coefficient, then one step: the same bits as
            // taking one of the two steps.
            const __m128 rising = _mm_cmpgt_ps(mag.v, c.tenv.v);
            const Lanes coef = {_mm_xor_ps(k.rt.v, _mm_and_ps(rising, k.atXorRt.v))};
            c.tenv = c.tenv + (mag - c.tenv) * coef;
            storeOne<W>(p.high + o, hv);
            storeOne<W>(p.tenv + o, c.tenv);
        }
    }
    if ((kGroups & 4) != 0) c.level = c.level + (loadOne<W>(p.meterIn + o) - c.level) * k.e;
}

// Frames from..to-1 of the serial passes.
template <int W, bool kBass, bool kTreble, int kGroups>
void serialPasses(const SerialConstants& constants, ChainState& state, const SerialBuffers& buffers, int from,
                  int to) noexcept {
    // Local copies: the stores cannot touch them, so they stay in registers.
    const SerialConstants k = constants;
    const SerialBuffers p = buffers;
    ChainState c = state;
    // Frames alternate guards -1e-9, +1e-9 from the (even) chunk start.
    const Lanes minus = splat(-1e-9f), plus = splat(1e-9f);
    int j = from;
    if (j < to && (j & 1) != 0) serialFrame<W, kBass, kTreble, kGroups>(k, p, c, j++, plus);
    for (; j + 1 < to; j += 2) {
        serialFrame<W, kBass, kTreble, kGroups>(k, p, c, j, minus);
        serialFrame<W, kBass, kTreble, kGroups>(k, p, c, j + 1, plus);
    }
    if (j < to) serialFrame<W, kBass, kTreble, kGroups>(k, p, c, j, minus);
    state = c;
}

template <int W, bool kBass, bool kTreble>
void serialPasses(int groups, const SerialConstants& k, ChainState& state, const SerialBuffers& p, int from,
                  int to) noexcept {
    switch (groups) {
        case 1:
            serialPasses<W, kBass, kTreble, 1>(k, state, p, from, to);
            break;
        case 2:
            serialPasses<W, kBass, kTreble, 2>(k, state, p, from, to);
            break;
        case 3:
            serialPasses<W, kBass, kTreble, 3>(k, state, p, from, to);
            break;
        case 4:
            serialPasses<W, kBass, kTreble, 4>(k, state, p, from, to);
            break;
        case 5:
            serialPasses<W, kBass, kTreble, 5>(k, state, p, from, to);
            break;
        case 6:
            serialPasses<W, kBass, kTreble, 6>(k, state, p, from, to);
            break;
        case 7:
            serialPasses<W, kBass, kTreble, 7>(k, state, p, from, to);
            break;
        default:
            break;
    }
}

// The output pass of one chunk with the curve of shape step kStep: writes
// the output samples to wet and, when metered, |metered signal| to meterIn
// and the peak of the first m frames into peak.
template <int W, bool kBass, bool kTreble, int kStep>
void outputPass(const OutputConstants& constants, ChunkBuffers<W>& buf, int slot, int m, int point,
                Lanes& peak) noexcept {
    const OutputConstants k = constants;
    const float* x = buf.dry[slot];
    const float* s = kBass ? buf.sum : x;
    const float* hi = buf.high;
    const float* te = buf.tenv;
    const bool metered = point >= 0 && point <= 2;
    const int valid = W * m;
    const Lanes fourteen = splat(14.0f);
    Lanes top = peak;
    for (int q = 0; q < ChunkBuffers<W>::kFloats / 4; ++q) {
        const Lanes xv = loadFour(x + 4 * q);
        Lanes sv = loadFour(s + 4 * q);
        if (kTreble) {
            const Lanes hv = loadFour(hi + 4 * q);
            const Lanes t = hv * k.harmonic;
            sv = (sv - hv) + (t / (loadFour(te + 4 * q) + fourteen)) * k.gt;
        }
        const Lanes d = sv * k.drive;
        Lanes y;
        switch (kStep) {
            case kValve1:
            case kValve2:
            case kValve3:
                y = valveCurve(d, k.normaliser, k.valveN);
                break;
            case kTape1:
                y = tape1Curve(d, k.normaliser);
                break;
            case kTape2:
                y = tape2Curve(d, k.normaliser);
                break;
            case kTape3:
                y = tape3Curve(d, k.normaliser);
                break;
            case kDigital:
                y = minimum(maximum(d, splat(-1.0f)), splat(1.0f));
                break;
            default:
                y = d * splat(kUndrive);
                break;
        }
        const Lanes out = ((y - xv) * k.mix + xv) * k.outGain;
        storeFour(buf.wet + 4 * q, out);
        if (metered) {
            Lanes v = absolute(point == 0 ? xv : point == 1 ? out : d);
            storeFour(buf.meterIn + 4 * q, v);
            const int r = valid - 4 * q;  // floats of this vector inside the block
            if (r < 4) {
                if (r <= 0) continue;
                v = {_mm_and_ps(v.v, _mm_castsi128_ps(_mm_setr_epi32(-1, r > 1 ? -1 : 0, r > 2 ? -1 : 0, 0)))};
            }
            top = maximum(v, top);
        }
    }
    peak = top;
}

}  // namespace

template <bool kAccumulate, int kChannels, bool kBass, bool kTreble>
void TonvelaEngine::run(const Block& b, float** inputs, float** outputs, int n) noexcept {
    constexpr int W = kChannels;  // floats per frame in the chunk buffers
    constexpr int kFloats = ChunkBuffers<W>::kFloats;
    constexpr int kVectors = kFloats / 4;

    ChainState st;
    st.bs0x = pair(bassSplit_[0][0].x1, bassSplit_[1][0].x1);
    st.bs0y = pair(bassSplit_[0][0].y1, bassSplit_[1][0].y1);
    st.bs1x = pair(bassSplit_[0][1].x1, bassSplit_[1][1].x1);
    st.bs1y = pair(bassSplit_[0][1].y1, bassSplit_[1][1].y1);
    st.smx = pair(bassSmooth_[0].x1, bassSmooth_[1].x1);
    st.smy = pair(bassSmooth_[0].y1, bassSmooth_[1].y1);
    st.ts0x = pair(trebleSplit_[0][0].x1, trebleSplit_[1][0].x1);
    st.ts0y = pair(trebleSplit_[0][0].y1, trebleSplit_[1][0].y1);
    st.ts1x = pair(trebleSplit_[0][1].x1, trebleSplit_[1][1].x1);
    st.ts1y = pair(trebleSplit_[0][1].y1, trebleSplit_[1][1].y1);
    st.benv = pair(bassEnvelope_[0], bassEnvelope_[1]);
    st.tenv = pair(trebleEnvelope_[0], trebleEnvelope_[1]);
    st.level = pair(level_[0], level_[1]);

    ChainConstants k;
    k.b0 = splat(bassSplit_[0][0].b);
    k.bsm = splat(bassSmooth_[0].b);
    k.inGain = splat(b.s.inputGain);
    k.scale = splat(b.bassScale);
    SerialConstants& ks = k.serial;
    ks.c0 = splat(bassSplit_[0][0].c);
    ks.b1 = splat(bassSplit_[0][1].b);
    ks.c1 = splat(bassSplit_[0][1].c);
    ks.csm = splat(bassSmooth_[0].c);
    ks.bt0 = splat(trebleSplit_[0][0].b);
    ks.ct0 = splat(trebleSplit_[0][0].c);
    ks.bt1 = splat(trebleSplit_[0][1].b);
    ks.ct1 = splat(trebleSplit_[0][1].c);
    ks.rb = splat(b.bassRelease);
    ks.rt = splat(b.trebleRelease);
    ks.atXorRt = {_mm_xor_ps(splat(b.trebleAttack).v, ks.rt.v)};
    ks.gb = splat(b.bassBandGain);
    ks.harmonic = splat(b.s.trebleHarmonic);
    ks.e = splat(b.meterCoef);
    OutputConstants& ko = k.output;
    ko.harmonic = splat(b.s.trebleHarmonic);
    ko.gt = splat(b.trebleBandGain);
    ko.drive = splat(b.driveFactor);
    ko.normaliser = splat(b.s.normaliser);
    ko.mix = splat(b.s.mix);
    ko.outGain = splat(b.s.outputGain);
    const int shape = b.s.shape, point = b.s.meterPoint;
    const bool metered = point >= 0 && point <= 2;
    const float valveConstants[kNumShapes] = {0.0f, 7.0f, 4.0f, 2.5f, 0.0f, 0.0f, 0.0f, 0.0f};
    ko.valveN = splat(shape >= 0 && shape < kNumShapes ? valveConstants[shape] : 0.0f);

    const float* inL = inputs[0];
    const float* inR = inputs[kChannels - 1];
    float* outL = outputs[0];
    float* outR = kChannels == 2 || b.s.twoOutputs ? outputs[1] : nullptr;

    // Alternating +-1e-9 added ahead of the recursive sections keeps their
    // state away from denormals in silence; the first sample uses -1e-9.
    const Lanes guards[2] = {splat(-1e-9f), splat(1e-9f)};
    const Lanes guard4 = guardFour<W>();

    ChunkBuffers<W> buf;
    Lanes peak = splat(0.0f);
    const int chunks = (n + kChunk - 1) / kChunk;
    auto length = [&](int c) { return c < 0 || c >= chunks ? 0 : (n - c * kChunk < kChunk ? n - c * kChunk : kChunk); };

    for (int c = 0; c < chunks + 2; ++c) {
        const int ma = length(c), mb = length(c - 1), mc = length(c - 2);

        // input pass, chunk c
        if (ma > 0) {
            float* x = buf.dry[c % 3];
            readFrames<W>(inL + c * kChunk, inR + c * kChunk, ma, x);
            Lanes before = endingWith<W>(st.bs0x);
            for (int q = 0; q < kVectors; ++q) {
                const Lanes xv = sanitise(loadFour(x + 4 * q)) * k.inGain;
                storeFour(x + 4 * q, xv);
                if (kBass) {
                    const Lanes u = xv + guard4;
                    storeFour(buf.bassIn + 4 * q, (u + previousFrames<W>(before, u)) * k.b0);
                    before = u;
                }
            }
            if (kBass) st.bs0x = loadOne<W>(x + W * (ma - 1)) + guards[(ma - 1) & 1];
        }

        // smooth pass, chunk c - 1
        if (kBass && mb > 0) {
            const auto h = [&](Lanes env) { return k.scale * env / (absolute(env) + splat(5.0f)); };
            Lanes before = endingWith<W>(st.smx);
            for (int q = 0; q < kVectors; ++q) {
                const Lanes u = h(loadFour(buf.benv + 4 * q)) + guard4;
                storeFour(buf.smoothIn + 4 * q, (u + previousFrames<W>(before, u)) * k.bsm);
                before = u;
            }
            st.smx = h(loadOne<W>(buf.benv + W * (mb - 1))) + guards[(mb - 1) & 1];
        }

        // output pass, chunk c - 2
        if (mc > 0) {
            switch (shape) {
                case kValve1:
                case kValve2:
                case kValve3:
                    outputPass<W, kBass, kTreble, kValve1>(k.output, buf, (c + 1) % 3, mc, point, peak);
                    break;
                case kTape1:
                    outputPass<W, kBass, kTreble, kTape1>(k.output, buf, (c + 1) % 3, mc, point, peak);
                    break;
                case kTape2:
                    outputPass<W, kBass, kTreble, kTape2>(k.output, buf, (c + 1) % 3, mc, point, peak);
                    break;
                case kTape3:
                    outputPass<W, kBass, kTreble, kTape3>(k.output, buf, (c + 1) % 3, mc, point, peak);
                    break;
                case kDigital:
                    outputPass<W, kBass, kTreble, kDigital>(k.output, buf, (c + 1) % 3, mc, point, peak);
                    break;
                default:
                    outputPass<W, kBass, kTreble, kNone>(k.output, buf, (c + 1) % 3, mc, point, peak);
                    break;
            }
            const int start = (c - 2) * kChunk;
            writeFrames<kAccumulate, W>(buf.wet, mc, outL + start, outR ? outR + start : nullptr);
        }

        // serial passes: bass on chunk c, treble on c - 1, level on c - 2
        const SerialBuffers sb = {buf.bassIn,           buf.low[c & 1], buf.benv, buf.smoothIn, buf.dry[(c + 2) % 3],
                                  buf.low[(c + 1) & 1], buf.sum,        buf.high, buf.tenv,     buf.meterIn};
        const int groups = (ma > 0 ? 1 : 0) | (mb > 0 ? 2 : 0) | (mc > 0 && metered ? 4 : 0);
        // Only the last chunk is short; the passes run on to the end of the
        // chunk buffers, and the state of the short one is taken where it ends.
        const int split = ma > 0 && ma < kChunk ? ma : mb > 0 && mb < kChunk ? mb : mc > 0 && mc < kChunk ? mc : kChunk;
        serialPasses<W, kBass, kTreble>(groups, k.serial, st, sb, 0, split);
        if (split < kChunk) {
            const ChainState atSplit = st;
            serialPasses<W, kBass, kTreble>(groups, k.serial, st, sb, split, kChunk);
            if (ma == split) st.restoreBass(atSplit);
            if (mb == split) st.restoreTreble(atSplit);
            if (mc == split) st.level = atSplit.level;
        }
    }

    auto store = [&](OnePoleFilter& left, OnePoleFilter& right, Lanes x1, Lanes y1) {
        left.x1 = lane(x1, 0);
        left.y1 = lane(y1, 0);
        if (kChannels == 2) {
            right.x1 = lane(x1, 1);
            right.y1 = lane(y1, 1);
        }
    };
    if (kBass) {
        store(bassSplit_[0][0], bassSplit_[1][0], st.bs0x, st.bs0y);
        store(bassSplit_[0][1], bassSplit_[1][1], st.bs1x, st.bs1y);
        store(bassSmooth_[0], bassSmooth_[1], st.smx, st.smy);
    }
    if (kTreble) {
        store(trebleSplit_[0][0], trebleSplit_[1][0], st.ts0x, st.ts0y);
        store(trebleSplit_[0][1], trebleSplit_[1][1], st.ts1x, st.ts1y);
    }
    // Peak lanes: mono 0..3 all of the one channel; stereo 0 and 2 left, 1 and 3 right.
    peak = maximum(Lanes{_mm_movehl_ps(peak.v, peak.v)}, peak);
    if (kChannels == 1) peak = maximum(Lanes{_mm_shuffle_ps(peak.v, peak.v, _MM_SHUFFLE(1, 1, 1, 1))}, peak);
    for (int c = 0; c < kChannels; ++c) {
        if (kBass) bassEnvelope_[c] = lane(st.benv, c);
        if (kTreble) trebleEnvelope_[c] = lane(st.tenv, c);
        if (metered) {
            blockPeak_[c] = lane(peak, c);
            level_[c] = lane(st.level, c);
        }
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
