// The compressor's per-sample chain split into passes over a segment of a
// block (internal to clampora_engine.cpp). Passes without feedback run four
// samples per instruction; only the recursions (band-pass, detector,
// envelope, make-up glide, meter averages, output stage follower) run
// frame by frame. Every operation is the IEEE operation of the per-sample
// formula in the same order, so the result is the same bits as processing
// one sample at a time.
//
// A segment's samples are kept channel-interleaved: frame j, channel c at
// j * C + c (C = 1 or 2), so that one vector holds two stereo frames or four
// mono ones, and per-frame values are spread over a frame's channels.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <initializer_list>

#include "clampora/output_stage.h"
#include "host/sample_ops.h"

namespace klv::clampora {

// Every delay line holds 1024 frames; positions wrap with the mask.
constexpr int kLineSize = 1024;
constexpr int kLineMask = kLineSize - 1;

// Share of the way the make-up gain glides toward its target per frame.
constexpr float kMakeupGlide = 0.005125f;

}  // namespace klv::clampora

namespace klv::clampora::passes {

using dsp::absolute;
using dsp::Lanes;
using dsp::select;
using dsp::splat;

// Frames per segment at most: the scratch arrays stay in the first-level cache.
constexpr int kChunk = 32;
constexpr int kSamples = 2 * kChunk;

// One segment's intermediate values, from its input to its output. Zeroed
// once and only ever given finite values, so that the padding of a partly
// used vector stays harmless.
//
// The vector passes load these arrays with aligned loads. The segments live
// inside the effect object, which the host's heap places: 32-bit Windows
// heaps only promise 8-byte alignment, while the compiler assumes 16 for a
// plain new. An alignment above 16 makes new take the aligned allocation
// (C++17), so the arrays are aligned on every platform.
struct alignas(64) Segment {
    alignas(16) float x[kSamples];           // input after gain and offset
    alignas(16) float ax[kSamples];          // |x|
    alignas(16) float d[kSamples];           // driven
    alignas(16) float u[kSamples];           // b0 d + b2 d[-2]
    alignas(16) float side[kSamples];        // band-pass output
    alignas(16) float delayed[kSamples];     // the compressed path's input
    alignas(16) float dry[kSamples];         // the dry path
    alignas(16) float wet[kSamples];         // mixed output before (then after) the stage
    alignas(16) float compressed[kSamples];  // |delayed x g|, for the compressed meter
    alignas(16) float peak[kChunk];          // detector level p
    alignas(16) float envelope[kChunk];
    alignas(16) float gain[kChunk];
    alignas(16) float makeup[kChunk];
    alignas(16) float loudest[kChunk];  // the louder channel of the mixed output
    alignas(16) float stage[kChunk];    // the output stage's envelope, then its inverse gain
    int count = 0;                      // frames
    int start = 0;                      // first frame in the block
    int write = 0;                      // delay-line write position of the first frame
    int lookAhead = 0, dryRead = 0;     // read positions of the first frame
    float offset = 0.0f;                // the first frame's denormal offset
};

// A segment passes through four sample loops one after another (band-pass,
// envelope, output stage, output meters), each a step behind the one before.
constexpr int kSegments = 4;
struct Scratch {
    Segment segments[kSegments];
};

// Frame j of an interleaved array into lane 0 (and 1), and back.
template <int C>
inline __m128 loadFrame(const float* a, int j) noexcept {
    return dsp::loadFrame<C>(a + C * j).v;
}
template <int C>
inline void storeFrame(float* a, int j, __m128 v) noexcept {
    dsp::storeFrame<C>(a + C * j, Lanes{v});
}

// Delay lines hold a frame's two channels side by side. Mono reads and
// writes the left channel only.
template <int C>
inline __m128 loadLine(const float (*line)[2], int i) noexcept {
    return loadFrame<C>(line[i], 0);
}
template <int C>
inline void storeLine(float (*line)[2], int i, __m128 v) noexcept {
    storeFrame<C>(line[i], 0, v);
}

// Calls f(sampleIndex, spread) for each vector of a segment's samples, with
// the per-frame values of frames[] spread over each frame's channels.
template <int C, typename F>
inline void forEachVector(const float* frames, int count, F&& f) noexcept {
    for (int j = 0; j < count; j += 4) {
        const __m128 v = _mm_load_ps(frames + j);
        if (C == 2) {
            f(2 * j, _mm_unpacklo_ps(v, v));
            f(2 * j + 4, _mm_unpackhi_ps(v, v));
        } else {
            f(j, v);
        }
    }
}

// Left and right channels of four frames held as two interleaved vectors.
inline __m128 leftOf(__m128 a, __m128 b) noexcept {
    return _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
}
inline __m128 rightOf(__m128 a, __m128 b) noexcept {
    return _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
}

struct InputConstants {
    __m128 gain, drive, b0, b2;
};

// Input gain and denormal offset, |x|, drive and the band-pass's
// feed-forward part of a segment read from the host's buffers. offset is
// the first frame's offset (it alternates frame by frame); history holds
// the two driven frames before the segment (stereo: frame -2 in lanes 0-1,
// frame -1 in lanes 2-3; mono: lanes 2 and 3) and is left holding the
// segment's last two. With kPeak, inputPeak takes the largest |x| per lane.
template <int C, bool kPeak>
void inputPass(const float* inL, const float* inR, int count, const InputConstants& k, float offset, __m128& history,
               __m128& inputPeak, Segment& s) noexcept {
    const __m128 o = _mm_set1_ps(offset), p = _mm_set1_ps(-offset);
    const __m128 pattern = C == 2 ? _mm_setr_ps(offset, offset, -offset, -offset) : _mm_unpacklo_ps(o, p);
    __m128 previous = history;
    alignas(16) float before[4];
    _mm_store_ps(before, history);
    // Samples from this index on are padding: kept out of the peak.
    const __m128i limit = _mm_set1_epi32(count * C);
    __m128 top = inputPeak;
    auto step = [&](int e, __m128 in) noexcept {
        const __m128 x = _mm_add_ps(_mm_mul_ps(dsp::sanitise(Lanes{in}).v, k.gain), pattern);
        const __m128 ax = absolute(Lanes{x}).v;
        const __m128 d = _mm_mul_ps(x, k.drive);
        // d two frames back: the previous vector (stereo) or half of it (mono).
        const __m128 back = C == 2 ? previous : _mm_shuffle_ps(previous, d, _MM_SHUFFLE(1, 0, 3, 2));
        _mm_store_ps(s.x + e, x);
        _mm_store_ps(s.ax + e, ax);
        _mm_store_ps(s.d + e, d);
        _mm_store_ps(s.u + e, _mm_add_ps(_mm_mul_ps(k.b0, d), _mm_mul_ps(k.b2, back)));
        if (kPeak) {
            const __m128i at = _mm_add_epi32(_mm_set1_epi32(e), _mm_setr_epi32(0, 1, 2, 3));
            top = _mm_max_ps(top, _mm_and_ps(_mm_castsi128_ps(_mm_cmplt_epi32(at, limit)), ax));
        }
        previous = d;
    };
    // The host's frames, interleaved, then worked over in place.
    dsp::readFrames<C>(inL, inR, count, s.x, kChunk);
    for (int e = 0; e < count * C; e += 4) step(e, _mm_load_ps(s.x + e));
    inputPeak = top;
    // The padding of the last vector must not become history.
    if (C == 2 && (count & 1) == 0 && count >= 2)
        history = _mm_loadu_ps(s.d + 2 * count - 4);
    else {
        auto frame = [&](int f, int c) noexcept {
            return f >= 0 ? s.d[f * C + c] : before[(f + 2) * C + c + (C == 1 ? 2 : 0)];
        };
        history = C == 2
                      ? _mm_setr_ps(frame(count - 2, 0), frame(count - 2, 1), frame(count - 1, 0), frame(count - 1, 1))
                      : _mm_setr_ps(0.0f, 0.0f, frame(count - 2, 0), frame(count - 1, 0));
    }
}

// The band-pass's recursion, the input meter average and the delay lines,
// one frame per step in the written order: both lines are written before
// either is read, so that a look-ahead of one frame reads the frame just
// written and one of 1023 the oldest.
template <int C>
struct FilterJob {
    __m128 y1, y2;  // previous outputs, per lane
    __m128 a1, a2;
    __m128 inputAverage, meterCoef;
    __m128 offset;  // the current frame's, after begin
    float (*dryLine)[2];
    float (*drivenLine)[2];
    bool delay;

    void begin(const Segment& seg) noexcept { offset = _mm_set1_ps(-seg.offset); }

    KLV_FRAME_STEP void step(Segment& seg, int j) noexcept {
        offset = _mm_xor_ps(offset, _mm_set1_ps(-0.0f));
        const __m128 u = loadFrame<C>(seg.u, j);
        const __m128 y = _mm_add_ps(_mm_sub_ps(_mm_sub_ps(u, _mm_mul_ps(a1, y1)), _mm_mul_ps(a2, y2)), offset);
        y2 = y1;
        y1 = y;
        storeFrame<C>(seg.side, j, y);
        const __m128 ax = loadFrame<C>(seg.ax, j);
        inputAverage = _mm_add_ps(inputAverage, _mm_mul_ps(_mm_sub_ps(ax, inputAverage), meterCoef));
        const __m128 x = loadFrame<C>(seg.x, j), d = loadFrame<C>(seg.d, j);
        const int w = (seg.write + j) & kLineMask;
        storeLine<2>(dryLine, w, C == 2 ? x : _mm_unpacklo_ps(x, x));
        storeLine<C>(drivenLine, w, d);
        storeFrame<C>(seg.delayed, j, delay ? loadLine<C>(drivenLine, (seg.lookAhead + j) & kLineMask) : d);
        storeFrame<C>(seg.dry, j, loadLine<C>(dryLine, (seg.dryRead + j) & kLineMask));
    }
};

// The detector's level p of each frame: the average and the louder of the
// two rectified band-passed channels (the one channel scaled alike), at
// least 0.001.
template <int C>
void peakPass(const float* side, int count, float* peak) noexcept {
    const __m128 floor = _mm_set1_ps(0.001f);
    for (int j = 0; j < count; j += 4) {
        __m128 p;
        if (C == 2) {
            const __m128 a = _mm_load_ps(side + 2 * j), b = _mm_load_ps(side + 2 * j + 4);
            const __m128 l = absolute(Lanes{leftOf(a, b)}).v, r = absolute(Lanes{rightOf(a, b)}).v;
            p = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_add_ps(l, r), _mm_set1_ps(0.7071f)), _mm_max_ps(l, r)),
                           _mm_set1_ps(0.5f));
        } else {
            p = _mm_mul_ps(absolute(Lanes{_mm_load_ps(side + j)}).v, _mm_set1_ps(1.2071f));
        }
        _mm_store_ps(peak + j, _mm_max_ps(floor, p));
    }
}

// The detector's RMS, the envelope and the make-up glide, in lane 0, and
// one frame's step. q = 1.7 sqrt(ms) of the mean square of p. Above the
// envelope the level attacks, with the automatic timing by how far q lies
// above it; below, it holds for holdLength frames, then releases toward h
// times the level.
struct Follower {
    __m128 envelope, attackCoef, makeupGain, meanSquare;
    __m128 before;  // the envelope before the latest step
    __m128i holdCounter;
    __m128 rmsMask;  // all ones when the detector averages
    __m128 rmsCoef, attackFactor, r0, releaseHold, keep, makeupTarget;
    __m128i holdLength;

    // kShare: h is not 0. With h = 0 (hold 0.5 and above) the release
    // (1 - h)(e + (L - e) r0) + e (1 - r0) h is e + (L - e) r0 exactly.
    // The make-up gain's glide toward the block's target.
    KLV_FRAME_STEP void glideMakeup() noexcept {
        makeupGain = _mm_add_ss(makeupGain, _mm_mul_ss(_mm_sub_ss(makeupTarget, makeupGain), _mm_set_ss(kMakeupGlide)));
    }

    KLV_FRAME_STEP __m128 rms() const noexcept { return _mm_mul_ss(_mm_sqrt_ss(meanSquare), _mm_set_ss(1.7f)); }
    KLV_FRAME_STEP static __m128 inverseOf(__m128 q) noexcept {
        return _mm_div_ss(_mm_set_ss(1.0f), _mm_add_ss(q, _mm_set_ss(1e-8f)));
    }
    KLV_FRAME_STEP __m128 automaticAttack(__m128 e, __m128 inverseQ) const noexcept {
        return _mm_mul_ss(_mm_sub_ss(_mm_set_ss(1.0f), _mm_mul_ss(_mm_add_ss(e, _mm_set_ss(1e-8f)), inverseQ)),
                          attackFactor);
    }

    // 1 / (q + 1e-8) and the automatic attack coefficient of the latest
    // step, formed again from the state it left (the same operations, so
    // the same bits): the loop need not carry them.
    __m128 latestInverseQ() const noexcept { return inverseOf(rms()); }
    __m128 latestAutomaticAttack() const noexcept { return automaticAttack(before, latestInverseQ()); }

    template <bool kAutoAttack, bool kShare>
    KLV_FRAME_STEP void step(Segment& seg, int j) noexcept {
        const float* peakIn = seg.peak + j;
        float* envelopeOut = seg.envelope + j;
        float* makeupOut = seg.makeup + j;
        glideMakeup();
        _mm_store_ss(makeupOut, makeupGain);
        const __m128 p = _mm_load_ss(peakIn);
        meanSquare = _mm_add_ss(meanSquare, _mm_mul_ss(_mm_sub_ss(_mm_mul_ss(p, p), meanSquare), rmsCoef));
        const __m128 q = rms();
        const __m128 level = select(rmsMask, q, p);
        const __m128 coef = kAutoAttack ? automaticAttack(envelope, inverseOf(q)) : attackCoef;
        const __m128 change = _mm_sub_ss(level, envelope);
        const __m128 attacked = _mm_add_ss(envelope, _mm_mul_ss(change, coef));
        __m128 released = _mm_add_ss(envelope, _mm_mul_ss(change, r0));
        if (kShare) released = _mm_add_ss(_mm_mul_ss(keep, released), _mm_mul_ss(envelope, releaseHold));
        const __m128 below = _mm_cmplt_ss(level, envelope);
        const __m128 holding = _mm_castsi128_ps(_mm_cmpgt_epi32(holdLength, holdCounter));
        holdCounter = _mm_and_si128(_mm_castps_si128(below), _mm_sub_epi32(holdCounter, _mm_castps_si128(holding)));
        before = envelope;
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

// g = float(L(e)) / drive for a segment's envelope values.
inline void gains(const float* envelope, double hardShare, float inverseDrive, float* gain, int count) noexcept {
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

struct MixConstants {
    __m128 dryWeight, outputGain;
};

// Mixed output of each sample, (v + (dry - v) w) times the output gain, and
// each frame's louder channel.
template <int C>
inline void mixVector(int e, __m128 v, const MixConstants& k, Segment& seg) noexcept {
    const __m128 dry = _mm_load_ps(seg.dry + e);
    _mm_store_ps(seg.wet + e, _mm_mul_ps(_mm_add_ps(v, _mm_mul_ps(_mm_sub_ps(dry, v), k.dryWeight)), k.outputGain));
}
template <int C>
inline void loudestPass(Segment& seg) noexcept {
    for (int j = 0; j < seg.count; j += 4) {
        __m128 loud;
        if (C == 2) {
            const __m128 a = _mm_load_ps(seg.wet + 2 * j), b = _mm_load_ps(seg.wet + 2 * j + 4);
            loud = _mm_max_ps(absolute(Lanes{leftOf(a, b)}).v, absolute(Lanes{rightOf(a, b)}).v);
        } else {
            loud = absolute(Lanes{_mm_load_ps(seg.wet + j)}).v;
        }
        _mm_store_ps(seg.loudest + j, loud);
    }
}

// The compressed path: the delayed input times g, its magnitude for the
// meter, times the make-up gain, mixed.
template <int C>
void mixCompressed(const float* gain, const MixConstants& k, Segment& seg) noexcept {
    auto mix = [&](int e, __m128 g, __m128 makeup) noexcept {
        const __m128 sg = _mm_mul_ps(_mm_load_ps(seg.delayed + e), g);
        _mm_store_ps(seg.compressed + e, absolute(Lanes{sg}).v);
        mixVector<C>(e, _mm_mul_ps(sg, makeup), k, seg);
    };
    for (int j = 0; j < seg.count; j += 4) {
        const __m128 g = _mm_load_ps(gain + j), m = _mm_load_ps(seg.makeup + j);
        if (C == 2) {
            mix(2 * j, _mm_unpacklo_ps(g, g), _mm_unpacklo_ps(m, m));
            mix(2 * j + 4, _mm_unpackhi_ps(g, g), _mm_unpackhi_ps(m, m));
        } else {
            mix(j, g, m);
        }
    }
    loudestPass<C>(seg);
}

// Side-chain listening: the band-passed signal at the input's level is the wet signal.
template <int C>
void mixListen(const float* side, float inverseDrive, const MixConstants& k, Segment& seg) noexcept {
    const __m128 scale = _mm_set1_ps(inverseDrive);
    for (int e = 0; e < seg.count * C; e += 4) mixVector<C>(e, _mm_mul_ps(_mm_load_ps(side + e), scale), k, seg);
    loudestPass<C>(seg);
}

inline Lanes softClipLanes(Lanes z) noexcept {
    const Lanes cubic = (z - z * z * splat(0.125f) * z) * splat(kClipScale);
    const __m128 high = _mm_cmpge_ps(z.v, _mm_set1_ps(kClipKnee));
    const __m128 low = _mm_cmple_ps(z.v, _mm_set1_ps(-kClipKnee));
    return select(high, splat(1.0f), select(low, splat(-1.0f), cubic));
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
    KLV_FRAME_STEP void follow(__m128 x, __m128 fall, __m128 rise) noexcept {
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
    KLV_FRAME_STEP void limiterStep(__m128 p, __m128i holdStart, __m128i holdEnd, __m128 glide, __m128 fall,
                                    __m128 rise) noexcept {
        const __m128i beforeEnd = _mm_cmpgt_epi32(holdEnd, holdCounter);
        const __m128i afterStart = _mm_cmpgt_epi32(holdCounter, holdStart);
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

// The stage's recursion and the compressed meter of one segment, one frame
// per call: the stage's envelope goes to seg.stage; in mode 1 the frame
// enters the limiter's delay line and the one leaving it replaces it.
template <int C, SatMode kSat>
struct StageRunner {
    StageLane lane;
    __m128 compressedAverage, meterCoef;
    __m128 fall, rise, glide;
    __m128i holdStart, holdEnd;
    float (*limiterLine)[2];
    int limiterIndex;

    template <bool kMeter>
    KLV_FRAME_STEP void step(Segment& seg, int j) noexcept {
        if (kMeter) {
            const __m128 a = loadFrame<C>(seg.compressed, j);
            compressedAverage = _mm_add_ps(compressedAverage, _mm_mul_ps(_mm_sub_ps(a, compressedAverage), meterCoef));
        }
        if (kSat == SatMode::kOff) return;
        const __m128 level = _mm_load_ss(seg.loudest + j);
        if (kSat == SatMode::kClipper) {
            lane.follow(_mm_mul_ss(level, _mm_set_ss(1.414f)), fall, rise);
        } else {
            storeLine<C>(limiterLine, (seg.write + j) & kLineMask, loadFrame<C>(seg.wet, j));
            lane.limiterStep(level, holdStart, holdEnd, glide, fall, rise);
            storeFrame<C>(seg.wet, j, loadLine<C>(limiterLine, limiterIndex));
            limiterIndex = (limiterIndex + 1) & kLineMask;
        }
        _mm_store_ss(seg.stage + j, lane.envelope);
    }
};

// The output meters after the stage: level average, block peak and the
// clip counter (which shows 1.0 as the peak once the output has stayed above
// the threshold for more than clipCount frames).
struct OutputMeters {
    __m128 levelAverage, blockPeak, meterCoef, clipThreshold;
    __m128i clipCounter, clipCount, clipStop;

    template <int C, bool kClip>
    KLV_FRAME_STEP void step(const Segment& seg, int j) noexcept {
        const __m128 ao = absolute(Lanes{loadFrame<C>(seg.wet, j)}).v;
        levelAverage = _mm_add_ps(levelAverage, _mm_mul_ps(_mm_sub_ps(ao, levelAverage), meterCoef));
        blockPeak = _mm_max_ps(blockPeak, ao);
        if (kClip) {
            // blockPeak <= threshold resets the counter (NaN counts as
            // above); above it, the counter advances and the peak shows 1.0
            // once it passes clipCount. Whether the next count passes is
            // known before the peak is.
            const __m128i next = _mm_add_epi32(clipCounter, _mm_set1_epi32(1));
            const __m128i passes = _mm_cmpgt_epi32(next, clipCount);
            const __m128 above = _mm_cmpnle_ps(blockPeak, clipThreshold);
            clipCounter = _mm_and_si128(_mm_castps_si128(above),
                                        _mm_or_si128(_mm_and_si128(passes, clipStop), _mm_andnot_si128(passes, next)));
            blockPeak = select(_mm_and_ps(above, _mm_castsi128_ps(passes)), _mm_set1_ps(1.0f), blockPeak);
        }
    }
};

// The four recursions of four consecutive segments side by side, so that
// the processor overlaps their latencies: the band-pass of the newest, the
// envelope of the one before, the output stage of the one before that and
// the output meters of the oldest. Jobs are numbered in that order; a null
// segment has no work in this step.
template <int C, SatMode kSat, bool kAutoAttack, bool kShare>
struct PipelineStep {
    FilterJob<C> filter;
    Follower follower;
    StageRunner<C, kSat> stage;
    OutputMeters meters;
    Segment* segments[4];

    template <int kJob>
    KLV_FRAME_STEP void step(int j) noexcept {
        if constexpr (kJob == 0)
            filter.step(*segments[0], j);
        else if constexpr (kJob == 1)
            follower.step<kAutoAttack, kShare>(*segments[1], j);
        else if constexpr (kJob == 2)
            stage.template step<true>(*segments[2], j);
        else
            meters.step<C, kSat != SatMode::kOff>(*segments[3], j);
    }

    // Frames [from, to) of jobs kFirst to kLast, one frame of each per turn.
    template <int kFirst, int kLast>
    KLV_FRAME_STEP void together(int from, int to) noexcept {
        for (int j = from; j < to; ++j) {
            if constexpr (kFirst <= 0 && 0 <= kLast) step<0>(j);
            if constexpr (kFirst <= 1 && 1 <= kLast) step<1>(j);
            if constexpr (kFirst <= 2 && 2 <= kLast) step<2>(j);
            if constexpr (kFirst <= 3 && 3 <= kLast) step<3>(j);
        }
    }

    KLV_FRAME_STEP void together(int first, int last, int from, int to) noexcept {
        dsp::withConstant<16>(first * 4 + last, [&](auto runs) KLV_LAMBDA_STEP {
            constexpr int kFirst = runs / 4, kLast = runs % 4;
            if constexpr (kFirst <= kLast) together<kFirst, kLast>(from, to);
        });
    }

    // The jobs with frames left run side by side up to the frame where the
    // first of them ends, and so on. They are consecutive (the pipeline
    // fills and drains from its ends, and its segments shorten toward the
    // end of a block); were they not, each would finish on its own.
    KLV_FRAME_STEP void run() noexcept {
        for (int done = 0;;) {
            int first = -1, last = -1, to = kChunk;
            for (int k = 0; k < 4; ++k)
                if (segments[k] && segments[k]->count > done) {
                    if (first < 0) first = k;
                    last = k;
                    if (segments[k]->count < to) to = segments[k]->count;
                }
            if (first < 0) return;
            for (int k = first; k <= last; ++k)
                if (!segments[k] || segments[k]->count <= done) {
                    for (int job = first; job <= last; ++job)
                        if (segments[job] && segments[job]->count > done)
                            together(job, job, done, segments[job]->count);
                    return;
                }
            together(first, last, done, to);
            done = to;
        }
    }
};

// The stage's output gain applied: soft clip of the output divided by the
// stage's envelope (when it is above 1), at the ceiling.
template <int C, SatMode kSat>
void stagePass(Segment& seg) noexcept {
    if (kSat == SatMode::kOff) return;
    for (int j = 0; j < seg.count; j += 4)
        _mm_store_ps(seg.stage + j,
                     _mm_div_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_load_ps(seg.stage + j), _mm_set1_ps(1.0f))));
    forEachVector<C>(seg.stage, seg.count, [&](int e, __m128 inverse) noexcept {
        const Lanes z = Lanes{_mm_load_ps(seg.wet + e)} * Lanes{inverse};
        _mm_store_ps(seg.wet + e, (softClipLanes(z) * splat(kClipCeiling)).v);
    });
}

// The running state of one block's passes: loaded from the engine before
// the block, stored back after it.
template <int C, SatMode kSat>
struct Pipeline {
    InputConstants input;
    FilterJob<C> filter;
    __m128 history;    // the band-pass's last two inputs, laid out as inputPass keeps them
    __m128 inputPeak;  // the largest |x| per lane
    Follower follower;
    StageRunner<C, kSat> stage;
    MixConstants mix;
    OutputMeters meters;
    float offset;  // the next frame's denormal offset
    int write;     // the next frame's delay-line write position
    // How far the look-ahead and dry reads trail the write position.
    int lookAhead, dryDelay;
    bool inputMeters;  // "pre/post" at pre: the input's peak is the block's

    // The next segment of the block from frame start (at most kChunk
    // frames), through the input pass.
    Segment& nextSegment(Segment& seg, const float* inL, const float* inR, int start, int n) noexcept {
        const int la = (write - lookAhead) & kLineMask, dr = (write - dryDelay) & kLineMask;
        const int count = n - start < kChunk ? n - start : kChunk;
        seg.count = count;
        seg.start = start;
        seg.write = write;
        seg.lookAhead = la;
        seg.dryRead = dr;
        seg.offset = offset;
        if (inputMeters)
            inputPass<C, true>(inL + start, inR + start, count, input, offset, history, inputPeak, seg);
        else
            inputPass<C, false>(inL + start, inR + start, count, input, offset, history, inputPeak, seg);
        if (count & 1) offset = -offset;
        write = (write + count) & kLineMask;
        return seg;
    }
};

// One step of the pipeline's sample loops (PipelineStep) on a local copy of
// its state: the stores to the segments cannot touch the copy, so it stays
// in registers.
template <bool kAutoAttack, bool kShare, int C, SatMode kSat>
KLV_FRAME_STEP void sampleStep(Pipeline<C, kSat>& p, Segment* filtered, Segment* followed, Segment* staged,
                               Segment* metered) noexcept {
    PipelineStep<C, kSat, kAutoAttack, kShare> s{
        p.filter, p.follower, p.stage, p.meters, {filtered, followed, staged, metered}};
    if (filtered) s.filter.begin(*filtered);
    s.run();
    p.filter = s.filter;
    p.follower = s.follower;
    p.stage = s.stage;
    p.meters = s.meters;
}

template <bool kAutoAttack, bool kShare, int C, SatMode kSat>
void sampleLoopsBaseline(Pipeline<C, kSat>& p, Segment* filtered, Segment* followed, Segment* staged,
                         Segment* metered) noexcept {
    sampleStep<kAutoAttack, kShare>(p, filtered, followed, staged, metered);
}

#if KLV_WIDE_CODE
// The loops hold more state than 16 vector registers: with 32 none of it
// goes to the stack.
template <bool kAutoAttack, bool kShare, int C, SatMode kSat>
KLV_WIDE_TARGET void sampleLoopsWide(Pipeline<C, kSat>& p, Segment* filtered, Segment* followed, Segment* staged,
                                     Segment* metered) noexcept {
    sampleStep<kAutoAttack, kShare>(p, filtered, followed, staged, metered);
}
#endif

// The sample loops of one pipeline step, in the copy wide picks.
template <bool kAutoAttack, bool kShare, int C, SatMode kSat>
inline void sampleLoops(bool wide, Pipeline<C, kSat>& p, Segment* filtered, Segment* followed, Segment* staged,
                        Segment* metered) noexcept {
#if KLV_WIDE_CODE
    if (wide) return sampleLoopsWide<kAutoAttack, kShare>(p, filtered, followed, staged, metered);
#endif
    (void)wide;
    sampleLoopsBaseline<kAutoAttack, kShare>(p, filtered, followed, staged, metered);
}

// A segment's output to the host's buffers (mono also to the second one
// when the build asks for it).
template <int C, bool kAccumulate>
inline void emitSegment(const Segment& seg, float* outL, float* outR, bool twoOutputs) noexcept {
    dsp::writeFrames<kAccumulate, C>(seg.wet, seg.count, outL + seg.start,
                                     C == 2 || twoOutputs ? outR + seg.start : nullptr);
}

}  // namespace klv::clampora::passes
