#include "tools/render/sample_scan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace klv::render {

namespace {

constexpr std::uint32_t kExponentBits = 0x7f800000u;  // all ones: NaN or infinity

bool finite(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & kExponentBits) != kExponentBits;
}

}  // namespace

#if defined(__SSE2__)

// Lane j of a vector holds channel j % channels, for one or two channels.
bool addLevelsFast(const float* x, std::size_t samples, int channels, double* peaks, double* sumSquares) noexcept {
    if (channels != 1 && channels != 2) return false;
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128i exponent = _mm_set1_epi32(static_cast<int>(kExponentBits));
    __m128 peakA = _mm_setzero_ps(), peakB = _mm_setzero_ps();
    // Four running sums, so that the additions do not wait on one another.
    __m128d s0 = _mm_setzero_pd(), s1 = _mm_setzero_pd(), s2 = _mm_setzero_pd(), s3 = _mm_setzero_pd();
    __m128i nonFinite = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 8 <= samples; i += 8) {
        const __m128 a = _mm_loadu_ps(x + i);
        const __m128 b = _mm_loadu_ps(x + i + 4);
        const __m128i bitsA = _mm_and_si128(_mm_castps_si128(a), exponent);
        const __m128i bitsB = _mm_and_si128(_mm_castps_si128(b), exponent);
        nonFinite =
            _mm_or_si128(nonFinite, _mm_or_si128(_mm_cmpeq_epi32(bitsA, exponent), _mm_cmpeq_epi32(bitsB, exponent)));
        peakA = _mm_max_ps(peakA, _mm_and_ps(a, magnitude));
        peakB = _mm_max_ps(peakB, _mm_and_ps(b, magnitude));
        const __m128d a0 = _mm_cvtps_pd(a), a1 = _mm_cvtps_pd(_mm_movehl_ps(a, a));
        const __m128d b0 = _mm_cvtps_pd(b), b1 = _mm_cvtps_pd(_mm_movehl_ps(b, b));
        s0 = _mm_add_pd(s0, _mm_mul_pd(a0, a0));
        s1 = _mm_add_pd(s1, _mm_mul_pd(a1, a1));
        s2 = _mm_add_pd(s2, _mm_mul_pd(b0, b0));
        s3 = _mm_add_pd(s3, _mm_mul_pd(b1, b1));
    }
    if (_mm_movemask_epi8(nonFinite) != 0) return false;
    float peak[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    double sum[2] = {0.0, 0.0};
    _mm_storeu_ps(peak, _mm_max_ps(peakA, peakB));
    _mm_storeu_pd(sum, _mm_add_pd(_mm_add_pd(s0, s1), _mm_add_pd(s2, s3)));
    // The loop stops on a frame boundary (8 samples), so the rest starts
    // at channel 0.
    for (std::size_t k = i; k < samples; ++k) {
        if (!finite(x[k])) return false;
        const int lane = static_cast<int>(k - i) % 2;
        peak[lane] = std::max(peak[lane], std::fabs(x[k]));
        sum[lane] += static_cast<double>(x[k]) * x[k];
    }
    for (int lane = 0; lane < 4; ++lane) peaks[lane % channels] = std::max<double>(peaks[lane % channels], peak[lane]);
    for (int lane = 0; lane < 2; ++lane) sumSquares[lane % channels] += sum[lane];
    return true;
}

std::int64_t zeroNonFinite(float* x, std::size_t count, std::int64_t& overFullScale) noexcept {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128i exponent = _mm_set1_epi32(static_cast<int>(kExponentBits));
    const __m128 one = _mm_set1_ps(1.0f);
    // Lanes count down by one for every match (a match is all ones: -1).
    __m128i bad = _mm_setzero_si128(), over = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128 v = _mm_loadu_ps(x + i);
        const __m128i isBad = _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(v), exponent), exponent);
        v = _mm_andnot_ps(_mm_castsi128_ps(isBad), v);
        _mm_storeu_ps(x + i, v);
        bad = _mm_sub_epi32(bad, isBad);
        over = _mm_sub_epi32(over, _mm_castps_si128(_mm_cmpgt_ps(_mm_and_ps(v, magnitude), one)));
    }
    std::int32_t lanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), bad);
    std::int64_t invalid = std::int64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), over);
    overFullScale += std::int64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
    for (; i < count; ++i) {
        if (!finite(x[i])) {
            x[i] = 0.0f;
            ++invalid;
        }
        overFullScale += std::fabs(x[i]) > 1.0f;
    }
    return invalid;
}

#else

bool addLevelsFast(const float*, std::size_t, int, double*, double*) noexcept {
    return false;
}

std::int64_t zeroNonFinite(float* x, std::size_t count, std::int64_t& overFullScale) noexcept {
    std::int64_t invalid = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!finite(x[i])) {
            x[i] = 0.0f;
            ++invalid;
        }
        overFullScale += std::fabs(x[i]) > 1.0f;
    }
    return invalid;
}

#endif

}  // namespace klv::render
