// The raster side: GDI's drawing results in a pixel buffer. Every operation
// is clipped to the buffer, so no coordinate can draw outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "gui/raster/pixel_buffer.h"
#include "gui/surface.h"

namespace klv::gui::raster {

// A loaded bitmap's pixels (see decodeBmp).
class RasterImage : public BitmapImage {
public:
    explicit RasterImage(PixelBuffer pixels) : pixels_(std::move(pixels)) {}
    int width() const override { return pixels_.width; }
    int height() const override { return pixels_.height; }
    const PixelBuffer* rasterPixels() const override { return &pixels_; }
    const PixelBuffer& pixels() const { return pixels_; }

private:
    PixelBuffer pixels_;
};

// A 24-bit uncompressed BMP file (bottom-up or top-down rows); null for
// anything else or a file shorter than its header says (only the last
// row's padding may be missing).
std::unique_ptr<RasterImage> decodeBmp(const unsigned char* data, std::size_t size);

class RasterSurface : public Surface {
public:
    // Draws into target, which must outlive the surface.
    explicit RasterSurface(PixelBuffer& target);

    void setPen(Color color, int width, int lineStyle) override;
    bool setBrush(Color color) override;
    void setBackColor(Color color) override;
    void setTextColor(Color color) override;
    void setFont(int id, int pixelSize) override;
    void moveTo(Point p) override;
    void lineTo(Point p) override;
    void fillRect(Rect r) override;
    void drawText(const char* text, Rect r, int alignment, bool opaque) override;
    void drawBitmap(BitmapImage& image, Rect destination, Point source) override;
    void drawBitmapTransparent(BitmapImage& image, Rect destination, Point source) override;
    void copyTo(Surface& target, Rect destination, Point source) override;

    PixelBuffer& pixels() { return target_; }
    // Bounding box of the pixels written since the last resetTouched (empty
    // when none): what a window has to show again.
    Rect touched() const { return touched_; }
    void resetTouched() { touched_ = {}; }

private:
    // Grows touched_ by the box left..right-1 x top..bottom-1, already
    // clipped to the buffer.
    void touch(int left, int top, int right, int bottom);
    // Fills a box (right and bottom exclusive) clipped to the buffer.
    void fill(long long left, long long top, long long right, long long bottom, std::uint32_t colour);
    // One pixel of the pen's path: a dot, or the pen's square around it.
    void penDot(long long x, long long y);
    // Copies source's pixels at sourceOrigin into destination; keyed leaves
    // out kKeyPixel. Parts outside either buffer are skipped.
    void blit(const PixelBuffer& source, Rect destination, Point sourceOrigin, bool keyed);

    PixelBuffer& target_;
    Rect touched_;
    std::uint32_t penColour_ = 0;
    int penWidth_ = 1;
    bool penDotted_ = false;
    std::uint32_t brushColour_ = 0xFFFFFF;
    std::uint32_t backColour_ = 0xFFFFFF;
    std::uint32_t textColour_ = 0;
    int fontId_ = 0;
    int fontSize_ = 0;  // pixels: picks the glyph table rendered at that size
    Point position_;
};

// Holds its pixels ahead of the surface that draws into them.
struct PixelStore {
    PixelBuffer store;
};
// A surface that owns its pixels: the offscreen surfaces of faders.
class OffscreenRasterSurface : private PixelStore, public RasterSurface {
public:
    OffscreenRasterSurface(int width, int height) : PixelStore{PixelBuffer(width, height)}, RasterSurface(store) {}
};

// Text width in pixels of a table font at its size (or at pixelSize, one of
// the sizes it is rendered at for the editor scales), as drawText lays it
// out.
int textWidth(int fontId, const char* text, int pixelSize = 0);

}  // namespace klv::gui::raster
