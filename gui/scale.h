// Editor scales for high-density screens. The view tree keeps the design's
// coordinates; drawing maps them to device pixels (an edge at x lands on
// round(s x)), and the pointer maps back with sub-pixel precision.
#pragma once

#include <cmath>

#include "gui/geometry.h"

namespace klv::gui {

// The scales the editors draw at: the usual Windows settings and Linux's
// integer and fractional scaling. Skins exist at 1 (the design's bitmaps),
// 2 and 3; the others are filtered from the next larger set.
constexpr float kScales[] = {1.0f, 1.25f, 1.5f, 1.75f, 2.0f, 2.5f, 3.0f};
constexpr int kScaleCount = 7;

// The supported scale nearest to wanted (ties to the smaller); 1 for
// anything that is no positive number.
inline float nearestScale(double wanted) {
    if (!(wanted > 0.0) || !std::isfinite(wanted)) return 1.0f;
    float best = kScales[0];
    for (float s : kScales) {
        if (std::fabs(s - wanted) < std::fabs(best - wanted) - 1e-9) best = s;
    }
    return best;
}

// Index of a supported scale in kScales (0 for any other value).
inline int scaleIndex(float scale) {
    for (int i = 0; i < kScaleCount; ++i) {
        if (kScales[i] == scale) return i;
    }
    return 0;
}

// A design coordinate on the device: round(s x), halves up. Exact at 1.
inline int toDevice(long long design, float scale) {
    if (scale == 1.0f) return static_cast<int>(design);
    return static_cast<int>(std::floor(static_cast<double>(design) * scale + 0.5));
}
inline int toDevice(double design, float scale) {
    return static_cast<int>(std::floor(design * scale + 0.5));
}
inline Rect toDevice(Rect r, float scale) {
    return {toDevice(static_cast<long long>(r.left), scale), toDevice(static_cast<long long>(r.top), scale),
            toDevice(static_cast<long long>(r.right), scale), toDevice(static_cast<long long>(r.bottom), scale)};
}
// A device pixel's position in design units.
inline PointF toDesign(Point device, float scale) {
    return {static_cast<float>(device.x) / scale, static_cast<float>(device.y) / scale};
}
// A length that keeps whole pixels: a line width, a font's pixel size.
inline int scaledLength(int design, float scale) {
    const int n = toDevice(static_cast<long long>(design), scale);
    return n < 1 && design > 0 ? 1 : n;
}

}  // namespace klv::gui
