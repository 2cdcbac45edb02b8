// Turning computed values into pixels safely: a NaN or a huge value from a
// bad parameter must neither reach an undefined integer conversion nor put
// anything far outside the window.
#pragma once

#include <cmath>

namespace klv::gui {

// Far beyond any window, small enough that sums of a few stay in int.
constexpr double kPixelLimit = 1e6;

// Truncates toward zero like a cast, with NaN as 0 and the result kept
// within +-kPixelLimit.
inline int clampedInt(double v) {
    if (!(v == v)) return 0;
    if (v > kPixelLimit) v = kPixelLimit;
    if (v < -kPixelLimit) v = -kPixelLimit;
    return static_cast<int>(v);
}

// A non-finite value drawn as the nearest end of low..high (NaN: low); a
// finite one unchanged.
inline float drawableValue(float v, float low, float high) {
    if (std::isnan(v)) return low;
    if (std::isinf(v)) return v > 0 ? high : low;
    return v;
}

}  // namespace klv::gui
