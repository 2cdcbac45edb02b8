// The saturator's per-sample chain as passes over chunks of a block
// (internal to tonvela_engine.cpp): vector passes for what does not feed
// back, one loop for the recursions of consecutive chunks. Every lane
// operation is the IEEE operation of the per-sample formula, so the output
// is the same bits as processing one sample at a time.
#pragma once

#include <emmintrin.h>

#include "host/dsp_math.h"
#include "host/sample_ops.h"
#include "tonvela/tonvela_params.h"

namespace klv::tonvela::passes {

// Drive scale: the curves see s * 0.1995 * g; "none" undoes the 0.1995.
constexpr float kDriveScale = 0.1995f;
constexpr float kUndrive = 5.0125313f;  // 1 / 0.1995

// sqrt(8/3), where w - w^3/8 peaks, and the reciprocal of that peak.
constexpr float kTape3Knee = 1.632993161855452f;
constexpr float kTape3Scale = 0.9185586535436918f;

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
            v[j] = static_cast<float>(dsp::sin(2.0 * 3.14159265358979323846 * (j % kSineSize) / kSineSize));
    }
};
extern const SineTable kSine;

using dsp::absolute;
using dsp::emit;
using dsp::lane;
using dsp::Lanes;
using dsp::loadFrame;
using dsp::maximum;
using dsp::minimum;
using dsp::pair;
using dsp::readFrames;
using dsp::selectGreater;
using dsp::splat;
using dsp::storeFrame;
using dsp::writeFrames;

// Frames per chunk of the passes in TonvelaEngine::run (see ChunkBuffers).
constexpr int kChunk = 32;

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
KLV_FRAME_STEP void serialFrame(const SerialConstants& k, const SerialBuffers& p, ChainState& c, int j,
                                Lanes guard) noexcept {
    const int o = W * j;
    if (kBass && (kGroups & 1) != 0) {
        // (x + x1) b - c y1, the first term from the input pass
        const Lanes y0 = loadFrame<W>(p.bassIn + o) - k.c0 * c.bs0y;
        const Lanes l = (y0 + c.bs1x) * k.b1 - k.c1 * c.bs1y;
        c.bs0y = y0;
        c.bs1x = y0;
        c.bs1y = l;
        // Instant rise, release toward the band: l > e ? l : e + (l - e) rb.
        // With rb at most 0.5 the release step never passes l, so the
        // larger of the two is the same choice.
        c.benv = maximum(l, c.benv + (l - c.benv) * k.rb);
        storeFrame<W>(p.low + o, l);
        storeFrame<W>(p.benv + o, c.benv);
    }
    if ((kBass || kTreble) && (kGroups & 2) != 0) {
        Lanes s = loadFrame<W>(p.dry + o);
        if (kBass) {
            const Lanes hs = loadFrame<W>(p.smoothIn + o) - k.csm * c.smy;
            c.smy = hs;
            s = (s - loadFrame<W>(p.lowIn + o)) + hs * k.gb;
            storeFrame<W>(p.sum + o, s);
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
            storeFrame<W>(p.high + o, hv);
            storeFrame<W>(p.tenv + o, c.tenv);
        }
    }
    if ((kGroups & 4) != 0) c.level = c.level + (loadFrame<W>(p.meterIn + o) - c.level) * k.e;
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
    dsp::withConstant<8>(groups, [&](auto g) noexcept {
        if constexpr (g != 0) serialPasses<W, kBass, kTreble, g>(k, state, p, from, to);
    });
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

// The alternating +-1e-9 guard added ahead of the recursive sections keeps
// their state away from denormals in silence; the first sample of a block
// uses -1e-9, so frame j of a chunk (chunks have an even length) uses
// guards[j & 1].
inline Lanes frameGuard(int j) noexcept {
    return splat((j & 1) != 0 ? 1e-9f : -1e-9f);
}

// Input pass of a chunk of m frames: sanitise and input gain into x, and the
// input terms of the first bass section.
template <int W, bool kBass>
void inputPass(const ChainConstants& k, const float* inL, const float* inR, int m, float* x, ChunkBuffers<W>& buf,
               ChainState& st) noexcept {
    constexpr int kVectors = ChunkBuffers<W>::kFloats / 4;
    const Lanes guard4 = guardFour<W>();
    readFrames<W>(inL, inR, m, x, kChunk);
    Lanes before = endingWith<W>(st.bs0x);
    for (int q = 0; q < kVectors; ++q) {
        const Lanes xv = dsp::sanitise(loadFour(x + 4 * q)) * k.inGain;
        storeFour(x + 4 * q, xv);
        if (kBass) {
            const Lanes u = xv + guard4;
            storeFour(buf.bassIn + 4 * q, (u + previousFrames<W>(before, u)) * k.b0);
            before = u;
        }
    }
    if (kBass) st.bs0x = loadFrame<W>(x + W * (m - 1)) + frameGuard(m - 1);
}

// Smooth pass of a chunk of m frames: the bass shaper h = S e / (|e| + 5) of
// the bass envelope and the smoothing section's input terms.
template <int W>
void smoothPass(const ChainConstants& k, int m, ChunkBuffers<W>& buf, ChainState& st) noexcept {
    constexpr int kVectors = ChunkBuffers<W>::kFloats / 4;
    const Lanes guard4 = guardFour<W>();
    const auto h = [&](Lanes env) { return k.scale * env / (absolute(env) + splat(5.0f)); };
    Lanes before = endingWith<W>(st.smx);
    for (int q = 0; q < kVectors; ++q) {
        const Lanes u = h(loadFour(buf.benv + 4 * q)) + guard4;
        storeFour(buf.smoothIn + 4 * q, (u + previousFrames<W>(before, u)) * k.bsm);
        before = u;
    }
    st.smx = h(loadFrame<W>(buf.benv + W * (m - 1))) + frameGuard(m - 1);
}

// The output pass with the curve of the shape step, chosen once per chunk.
template <int W, bool kBass, bool kTreble>
void outputPassFor(int shape, const OutputConstants& constants, ChunkBuffers<W>& buf, int slot, int m, int point,
                   Lanes& peak) noexcept {
    switch (shape) {
        case kValve1:
        case kValve2:
        case kValve3:
            outputPass<W, kBass, kTreble, kValve1>(constants, buf, slot, m, point, peak);
            break;
        case kTape1:
            outputPass<W, kBass, kTreble, kTape1>(constants, buf, slot, m, point, peak);
            break;
        case kTape2:
            outputPass<W, kBass, kTreble, kTape2>(constants, buf, slot, m, point, peak);
            break;
        case kTape3:
            outputPass<W, kBass, kTreble, kTape3>(constants, buf, slot, m, point, peak);
            break;
        case kDigital:
            outputPass<W, kBass, kTreble, kDigital>(constants, buf, slot, m, point, peak);
            break;
        default:
            outputPass<W, kBass, kTreble, kNone>(constants, buf, slot, m, point, peak);
            break;
    }
}

}  // namespace klv::tonvela::passes
