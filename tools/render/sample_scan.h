// The passes over every sample that the reader and writer threads make
// besides converting: level sums and the checks before samples reach a
// file. They run four samples per SSE2 instruction where the processor has
// it, with the same results as one sample at a time (sums of squares in
// double, so only their order differs).
#pragma once

#include <cstddef>
#include <cstdint>

namespace klv::render {

// Adds the peak magnitude and the sum of squares of each channel of an
// interleaved stretch (`samples` a whole number of frames) into `peaks` and
// `sumSquares`. Handles mono and stereo streams of finite samples; answers
// false, having added nothing, for anything else.
bool addLevelsFast(const float* interleaved, std::size_t samples, int channels, double* peaks,
                   double* sumSquares) noexcept;

// NaN and infinities become 0; answers how many there were, and adds the
// samples beyond full scale (magnitude over 1) to `overFullScale`.
std::int64_t zeroNonFinite(float* samples, std::size_t count, std::int64_t& overFullScale) noexcept;

}  // namespace klv::render
