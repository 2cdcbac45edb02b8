// RasterSurface: pens, lines, fills and blits of GDI in a pixel buffer.
// Coordinates are widened to 64 bits before any arithmetic and clipped to
// the buffer before any loop, so no input can overflow, write outside the
// buffer or spin through a huge off-screen range.
#include "gui/raster/raster_surface.h"

#include <algorithm>
#include <cstdlib>

#include "gui/bitmap.h"

namespace klv::gui::raster {

namespace {

// Wider pens are drawn this wide (the editors use 1 and 2): it bounds the
// cost of one line at buffer length x kMaxPenWidth squared.
constexpr int kMaxPenWidth = 64;
// A cosmetic dotted pen (PS_DOT) draws 3 pixels and leaves 3, counted along
// the line's major axis from its start.
constexpr long long kDotPeriod = 6;
constexpr long long kDotOn = 3;

long long floorDiv(__int128 num, long long den) {
    __int128 q = num / den;
    if ((num % den != 0) && ((num < 0) != (den < 0))) --q;
    return static_cast<long long>(q);
}

// GDI's tie rule when a line passes exactly midway between two pixels:
// octants 3, 5, 6 and 8 (numbered clockwise from +x, y pointing down) round
// the minor step up, the others down.
int gdiBias(long long dx, long long dy) {
    const bool xMajor = std::llabs(dx) > std::llabs(dy);
    if (dy > 0) return (dx <= 0 && !xMajor) ? 1 : 0;  // octant 3
    if (dx < 0) return 1;                             // octants 5 and 6
    return xMajor ? 1 : 0;                            // octant 8 (7 takes none)
}

}  // namespace

RasterSurface::RasterSurface(PixelBuffer& target) : target_(target) {}

void RasterSurface::setPen(Color color, int width, int lineStyle) {
    penColour_ = packPixel(color);
    penWidth_ = std::clamp(width, 1, kMaxPenWidth);
    // CreatePen makes a pen wider than 1 solid whatever the style.
    penDotted_ = lineStyle == kLineDotted && penWidth_ == 1;
}

bool RasterSurface::setBrush(Color color) {
    brushColour_ = packPixel(color);
    return true;
}

void RasterSurface::setBackColor(Color color) {
    backColour_ = packPixel(color);
}
void RasterSurface::setTextColor(Color color) {
    textColour_ = packPixel(color);
}

// The fonts are pre-rendered at the table sizes times each editor scale: a
// pixel size between them draws at the nearest.
void RasterSurface::setFont(int id, int pixelSize) {
    fontId_ = (id >= 0 && id < kNumFonts) ? id : 0;
    fontSize_ = pixelSize;
}

void RasterSurface::moveTo(Point p) {
    position_ = p;
}

// Bresenham's line as GDI draws it with a cosmetic pen: one pixel per step
// of the major axis (x when |dx| > |dy|), the end point left out. At major
// step m the minor offset is ceil((2 m dMinor - dMajor + bias) / 2 dMajor),
// the exact line rounded to the nearest pixel with GDI's tie rule; the
// closed form lets a clipped line start at its first visible step.
void RasterSurface::lineTo(Point p) {
    const Point from = position_;
    position_ = p;
    const long long dx = static_cast<long long>(p.x) - from.x;
    const long long dy = static_cast<long long>(p.y) - from.y;
    const bool xMajor = std::llabs(dx) > std::llabs(dy);
    const long long major0 = xMajor ? from.x : from.y;
    const long long minor0 = xMajor ? from.y : from.x;
    const long long dMajor = std::llabs(xMajor ? dx : dy);
    const long long dMinor = std::llabs(xMajor ? dy : dx);
    const int majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
    if (dMajor == 0) return;
    const int bias = gdiBias(dx, dy);

    // Steps whose pixel (or pen square) can reach the buffer.
    const long long margin = penWidth_;
    const long long majorSize = xMajor ? target_.width : target_.height;
    const long long minorSize = xMajor ? target_.height : target_.width;
    long long first = majorStep > 0 ? -margin - major0 : major0 - (majorSize + margin) + 1;
    long long last = majorStep > 0 ? majorSize + margin - major0 : major0 + margin + 1;  // exclusive
    first = std::max(first, 0LL);
    last = std::min(last, dMajor);
    for (long long m = first; m < last; ++m) {
        if (penDotted_ && m % kDotPeriod >= kDotOn) continue;
        const long long n =
            floorDiv(static_cast<__int128>(2) * m * dMinor - dMajor + bias + 2 * dMajor - 1, 2 * dMajor);
        const long long minor = minor0 + minorStep * n;
        if (minor < -margin || minor >= minorSize + margin) continue;
        const long long major = major0 + majorStep * m;
        penDot(xMajor ? major : minor, xMajor ? minor : major);
    }
}

void RasterSurface::penDot(long long x, long long y) {
    if (penWidth_ == 1) {
        if (x < 0 || y < 0 || x >= target_.width || y >= target_.height) return;
        target_.at(static_cast<int>(x), static_cast<int>(y)) = penColour_;
        touch(static_cast<int>(x), static_cast<int>(y), static_cast<int>(x) + 1, static_cast<int>(y) + 1);
        return;
    }
    const long long left = x - penWidth_ / 2;
    const long long top = y - penWidth_ / 2;
    fill(left, top, left + penWidth_, top + penWidth_, penColour_);
}

void RasterSurface::fillRect(Rect r) {
    fill(r.left, r.top, r.right, r.bottom, brushColour_);
}

void RasterSurface::fill(long long left, long long top, long long right, long long bottom, std::uint32_t colour) {
    const int x0 = static_cast<int>(std::max(left, 0LL));
    const int y0 = static_cast<int>(std::max(top, 0LL));
    const int x1 = static_cast<int>(std::min<long long>(right, target_.width));
    const int y1 = static_cast<int>(std::min<long long>(bottom, target_.height));
    if (x0 >= x1 || y0 >= y1) return;
    for (int y = y0; y < y1; ++y) std::fill(&target_.at(x0, y), &target_.at(x0, y) + (x1 - x0), colour);
    touch(x0, y0, x1, y1);
}

void RasterSurface::drawBitmap(BitmapImage& image, Rect destination, Point source) {
    if (const PixelBuffer* pixels = image.rasterPixels()) blit(*pixels, destination, source, false);
}

void RasterSurface::drawBitmapTransparent(BitmapImage& image, Rect destination, Point source) {
    if (const PixelBuffer* pixels = image.rasterPixels()) blit(*pixels, destination, source, true);
}

void RasterSurface::copyTo(Surface& target, Rect destination, Point source) {
    auto& to = static_cast<RasterSurface&>(target);
    if (&to.target_ == &target_) {
        const PixelBuffer copy = target_;  // source and destination may overlap
        to.blit(copy, destination, source, false);
    } else {
        to.blit(target_, destination, source, false);
    }
}

void RasterSurface::blit(const PixelBuffer& source, Rect destination, Point sourceOrigin, bool keyed) {
    // Destination pixel (x, y) takes source pixel (x + shiftX, y + shiftY).
    const long long shiftX = static_cast<long long>(sourceOrigin.x) - destination.left;
    const long long shiftY = static_cast<long long>(sourceOrigin.y) - destination.top;
    const long long x0 = std::max({static_cast<long long>(destination.left), 0LL, -shiftX});
    const long long y0 = std::max({static_cast<long long>(destination.top), 0LL, -shiftY});
    const long long x1 = std::min(
        {static_cast<long long>(destination.right), static_cast<long long>(target_.width), source.width - shiftX});
    const long long y1 = std::min(
        {static_cast<long long>(destination.bottom), static_cast<long long>(target_.height), source.height - shiftY});
    if (x0 >= x1 || y0 >= y1) return;
    for (long long y = y0; y < y1; ++y) {
        const std::uint32_t* from =
            source.pixels.data() + static_cast<std::size_t>(y + shiftY) * source.width + (x0 + shiftX);
        std::uint32_t* to = &target_.at(static_cast<int>(x0), static_cast<int>(y));
        for (long long i = 0; i < x1 - x0; ++i) {
            if (!keyed || from[i] != kKeyPixel) to[i] = from[i];
        }
    }
    touch(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1));
}

void RasterSurface::touch(int left, int top, int right, int bottom) {
    if (touched_.left >= touched_.right || touched_.top >= touched_.bottom) {
        touched_ = {left, top, right, bottom};
        return;
    }
    touched_ = {std::min(touched_.left, left), std::min(touched_.top, top), std::max(touched_.right, right),
                std::max(touched_.bottom, bottom)};
}

}  // namespace klv::gui::raster
