// The GDI side of drawing: a Surface over one device context, the bitmap
// image of a BITMAP resource (with its transparency mask), and the memory
// surface of offscreen composition.
#pragma once

#include <windows.h>

#include <memory>

#include "gui/surface.h"

namespace klv::gui::win32 {

// A device-dependent bitmap loaded from the module's resources. Owns the
// bitmap and, once a transparent draw has needed it, its mask.
class GdiBitmapImage : public BitmapImage {
public:
    GdiBitmapImage(HBITMAP bitmap, int width, int height) : bitmap_(bitmap), width_(width), height_(height) {}
    ~GdiBitmapImage() override;
    GdiBitmapImage(const GdiBitmapImage&) = delete;
    GdiBitmapImage& operator=(const GdiBitmapImage&) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }
    HBITMAP bitmap() const { return bitmap_; }
    // Monochrome, 1 where the bitmap holds the transparency key colour.
    // Built on first use with the mapping mode of reference, then kept.
    HBITMAP mask(HDC reference);

private:
    HBITMAP bitmap_;
    HBITMAP mask_ = nullptr;
    int width_;
    int height_;
};

// A Surface drawing on a device context it does not own. The context's
// brush, pen and font found at construction are selected back at
// destruction; the objects this surface made are deleted then. Text is
// drawn with a transparent background except for opaque calls.
class GdiSurface : public Surface {
public:
    // dc may be null: every call then does nothing.
    explicit GdiSurface(HDC dc);
    ~GdiSurface() override;
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    HDC dc() const { return dc_; }

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

protected:
    // Puts the context's own objects back and deletes ours; a second call
    // does nothing. A derived surface that owns the context calls it before
    // deleting the context.
    void restoreObjects();

private:
    // Selects object, deletes the previous one this surface made and keeps
    // the new one in owned.
    template <typename Handle>
    void replaceOwned(Handle& owned, Handle object);

    HDC dc_;
    HGDIOBJ originalBrush_ = nullptr;
    HGDIOBJ originalPen_ = nullptr;
    HGDIOBJ originalFont_ = nullptr;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HFONT font_ = nullptr;
};

// A memory device context holding a bitmap compatible with a window (or the
// screen), drawn on like a window and copied to one with copyTo.
class GdiOffscreen : public GdiSurface {
public:
    // Null when the context or the bitmap cannot be made.
    static std::unique_ptr<GdiOffscreen> create(HWND compatibleWith, int width, int height);
    ~GdiOffscreen() override;

private:
    GdiOffscreen(HDC memoryDc, HBITMAP bitmap);

    HBITMAP bitmap_;
    HGDIOBJ originalBitmap_;
};

}  // namespace klv::gui::win32
