// Small pieces both engines' audio loops share: sanitising host samples,
// flushing tiny state, writing or adding output, usable sample rates, and
// the SSE lane type the per-sample chains run on.
//
// Lanes keep the left channel in lane 0 and the right in lane 1 (mono uses
// lane 0). Every lane operation is the IEEE single-precision operation of
// the scalar formula, so each channel computes exactly what a scalar loop
// would, on every build (SSE2 only: no fused multiply-add anywhere).
#pragma once

#include <emmintrin.h>

#include <cmath>
#include <type_traits>

// A per-frame step of a sample loop: it must melt into its loop, so that
// the loop's state stays in registers (KLV_LAMBDA_STEP: the same for a
// lambda).
#if defined(__GNUC__)
#define KLV_FRAME_STEP inline __attribute__((always_inline))
#else
#define KLV_FRAME_STEP inline
#endif
// Clang takes no attribute in that place of a lambda (and inlines it anyway).
#if defined(__GNUC__) && !defined(__clang__)
#define KLV_LAMBDA_STEP noexcept __attribute__((always_inline))
#else
#define KLV_LAMBDA_STEP noexcept
#endif

// Processors with AVX-512 have 32 vector registers instead of 16. A sample
// loop whose running state does not fit 16 gets a second copy compiled for
// them (KLV_WIDE_TARGET), chosen per block by wideCode(). Both copies
// perform the same IEEE operations in the same order (no fused
// multiply-add anywhere: -ffp-contract=off), so they give the same bits.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KLV_WIDE_CODE 1
#define KLV_WIDE_TARGET __attribute__((target("arch=x86-64-v4")))
#else
#define KLV_WIDE_CODE 0
#define KLV_WIDE_TARGET
#endif

namespace klv::dsp {

// Calls f(std::integral_constant<int, k>()) for k == value (0 <= value < N),
// so that a loop chosen at run time can be compiled for each value; a value
// outside the range calls nothing.
template <int N, int K = 0, typename F>
KLV_FRAME_STEP void withConstant(int value, F&& f) noexcept {
    if constexpr (K < N) {
        if (value == K)
            f(std::integral_constant<int, K>());
        else
            withConstant<N, K + 1>(value, f);
    }
}

// Whether the wide copies run: where the processor and the system support
// them, unless turned off.
bool wideCode() noexcept;
// Turns the wide copies off, or back on where supported (tests compare both).
void allowWideCode(bool allow) noexcept;

// Inputs beyond +-65536 (about +96 dBFS) are clamped: after the largest
// gains an engine applies they would leave the float range.
constexpr float kInputLimit = 65536.0f;

// Non-finite samples count as silence; absurd finite ones are clamped.
// x - x is 0 for every finite x and NaN otherwise.
inline float sanitise(float x) noexcept {
    const float finite = (x - x == 0.0f) ? x : 0.0f;
    const float low = finite < -kInputLimit ? -kInputLimit : finite;
    return low > kInputLimit ? kInputLimit : low;
}

// Continuous parameters are meant to lie in 0..1; a host may send anything
// finite. Outside that range the working values' powers overflow, so they
// use the nearest end of the range (the stored value is kept).
inline float unitValue(float v) noexcept {
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

// Recursive state below this is inaudible; flushed so that long silences
// leave no subnormal values behind.
inline float flushTiny(float v) noexcept {
    return std::fabs(v) < 1e-20f ? 0.0f : v;
}

// The host sample rate as the engines use it: a host that sends 0, a
// negative or a non-finite rate gets 44100; absurd rates are capped at 1 MHz.
inline float usableRate(float rate) noexcept {
    if (!(rate >= 1.0f)) return 44100.0f;
    return rate > 1.0e6f ? 1.0e6f : rate;
}

// process adds to the output, processReplacing overwrites it.
template <bool kAccumulate>
inline void emit(float* out, int i, float v) noexcept {
    if (kAccumulate)
        out[i] += v;
    else
        out[i] = v;
}

struct Lanes {
    __m128 v;
};
inline Lanes operator+(Lanes a, Lanes b) noexcept {
    return {_mm_add_ps(a.v, b.v)};
}
inline Lanes operator-(Lanes a, Lanes b) noexcept {
    return {_mm_sub_ps(a.v, b.v)};
}
inline Lanes operator*(Lanes a, Lanes b) noexcept {
    return {_mm_mul_ps(a.v, b.v)};
}
inline Lanes operator/(Lanes a, Lanes b) noexcept {
    return {_mm_div_ps(a.v, b.v)};
}
inline Lanes splat(float x) noexcept {
    return {_mm_set1_ps(x)};
}
inline Lanes absolute(Lanes a) noexcept {
    return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)};
}
// a > b ? a : b, per lane (the operand order matters only for NaN).
inline Lanes maximum(Lanes a, Lanes b) noexcept {
    return {_mm_max_ps(a.v, b.v)};
}
// a < b ? a : b, per lane.
inline Lanes minimum(Lanes a, Lanes b) noexcept {
    return {_mm_min_ps(a.v, b.v)};
}
// mask ? a : b, per lane, without a branch.
inline __m128 select(__m128 mask, __m128 a, __m128 b) noexcept {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}
inline Lanes select(__m128 mask, Lanes a, Lanes b) noexcept {
    return {select(mask, a.v, b.v)};
}
// a > b ? ifGreater : otherwise, per lane.
inline Lanes selectGreater(Lanes a, Lanes b, Lanes ifGreater, Lanes otherwise) noexcept {
    return select(_mm_cmpgt_ps(a.v, b.v), ifGreater, otherwise);
}

inline Lanes pair(float left, float right) noexcept {
    return {_mm_setr_ps(left, right, 0.0f, 0.0f)};
}
inline float lane(Lanes a, int i) noexcept {
    alignas(16) float v[4];
    _mm_store_ps(v, a.v);
    return v[i];
}

// Chunk buffers hold a stretch of frames channel-interleaved: frame j,
// channel c at j * W + c (W = 1 or 2), so that four floats are four mono
// samples or two stereo frames.

// One frame at p in lanes 0 (and 1), the other lanes zero; and back.
template <int W>
inline Lanes loadFrame(const float* p) noexcept {
    if (W == 2) return {_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)))};
    return {_mm_load_ss(p)};
}
template <int W>
inline void storeFrame(float* p, Lanes v) noexcept {
    if (W == 2)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(v.v));
    else
        _mm_store_ss(p, v.v);
}

// m frames from the host's channel arrays into a chunk buffer of capacity
// frames, zeros after them.
template <int W>
inline void readFrames(const float* left, const float* right, int m, float* x, int capacity) noexcept {
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
    for (int k = W * m; k < W * capacity; ++k) x[k] = 0.0f;
}

template <bool kAccumulate>
inline void emitFour(float* out, __m128 v) noexcept {
    _mm_storeu_ps(out, kAccumulate ? _mm_add_ps(_mm_loadu_ps(out), v) : v);
}

// m frames of a chunk buffer to the host's outputs, added or stored; mono
// goes to left and, when given, to right as well.
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

// sanitise, lane by lane: max(-L, x) is x < -L ? -L : x, min(L, x) is
// x > L ? L : x, so the results match the scalar version exactly.
inline Lanes sanitise(Lanes x) noexcept {
    const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(x.v, x.v), _mm_setzero_ps());
    const __m128 clean = _mm_and_ps(finite, x.v);
    return {_mm_min_ps(_mm_set1_ps(kInputLimit), _mm_max_ps(_mm_set1_ps(-kInputLimit), clean))};
}

}  // namespace klv::dsp
