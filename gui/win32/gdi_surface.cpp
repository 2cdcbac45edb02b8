#include "gui/win32/gdi_surface.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "gui/bitmap.h"
#include "gui/win32/win32_window.h"

namespace klv::gui::win32 {

namespace {

COLORREF colorRef(Color c) {
    return static_cast<COLORREF>(systemColor(c));
}

// The only bitmap images of a Windows build are GDI ones; anything else is
// not drawn.
GdiBitmapImage* gdiImage(BitmapImage& image) {
    return dynamic_cast<GdiBitmapImage*>(&image);
}

// A memory device context with one object selected into it for the life of
// this holder; both are put back and the context deleted at the end.
class SelectedDc {
public:
    SelectedDc(HDC compatibleWith, HGDIOBJ object) : dc_(CreateCompatibleDC(compatibleWith)) {
        if (dc_ && object) original_ = SelectObject(dc_, object);
    }
    ~SelectedDc() {
        if (!dc_) return;
        if (original_) SelectObject(dc_, original_);
        DeleteDC(dc_);
    }
    SelectedDc(const SelectedDc&) = delete;
    SelectedDc& operator=(const SelectedDc&) = delete;

    HDC get() const { return dc_; }
    bool ok() const { return dc_ && original_; }

private:
    HDC dc_;
    HGDIOBJ original_ = nullptr;
};

// A GDI bitmap deleted at the end of the scope.
class ScopedBitmap {
public:
    explicit ScopedBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    ~ScopedBitmap() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    ScopedBitmap(const ScopedBitmap&) = delete;
    ScopedBitmap& operator=(const ScopedBitmap&) = delete;
    HBITMAP get() const { return bitmap_; }

private:
    HBITMAP bitmap_;
};

}  // namespace

GdiBitmapImage::~GdiBitmapImage() {
    if (mask_) DeleteObject(mask_);
    if (bitmap_) DeleteObject(bitmap_);
}

// Colour-to-monochrome blits turn pixels of the source's background colour
// into 1 and all others into 0, so the key colour as background gives the
// mask in one copy.
HBITMAP GdiBitmapImage::mask(HDC reference) {
    if (mask_ || !bitmap_) return mask_;
    HBITMAP mask = CreateBitmap(width_, height_, 1, 1, nullptr);
    if (!mask) return nullptr;
    bool built = false;
    {
        SelectedDc image(reference, bitmap_);
        SelectedDc monochrome(reference, mask);
        if (image.ok() && monochrome.ok()) {
            SetMapMode(image.get(), GetMapMode(reference));
            SetBkColor(image.get(), colorRef(kTransparentKey));
            built = BitBlt(monochrome.get(), 0, 0, width_, height_, image.get(), 0, 0, SRCCOPY) != 0;
        }
    }
    if (built)
        mask_ = mask;
    else
        DeleteObject(mask);
    return mask_;
}

GdiSurface::GdiSurface(HDC dc) : dc_(dc) {
    if (!dc_) return;
    originalBrush_ = GetCurrentObject(dc_, OBJ_BRUSH);
    originalPen_ = GetCurrentObject(dc_, OBJ_PEN);
    originalFont_ = GetCurrentObject(dc_, OBJ_FONT);
    SetBkMode(dc_, TRANSPARENT);
}

GdiSurface::~GdiSurface() {
    restoreObjects();
}

void GdiSurface::restoreObjects() {
    if (dc_) {
        if (originalBrush_) SelectObject(dc_, originalBrush_);
        if (originalPen_) SelectObject(dc_, originalPen_);
        if (originalFont_) SelectObject(dc_, originalFont_);
    }
    originalBrush_ = originalPen_ = originalFont_ = nullptr;
    if (brush_) DeleteObject(brush_);
    if (pen_) DeleteObject(pen_);
    if (font_) DeleteObject(font_);
    brush_ = nullptr;
    pen_ = nullptr;
    font_ = nullptr;
}

template <typename Handle>
void GdiSurface::replaceOwned(Handle& owned, Handle object) {
    SelectObject(dc_, object);
    if (owned) DeleteObject(owned);
    owned = object;
}

void GdiSurface::setPen(Color color, int width, int lineStyle) {
    if (!dc_) return;
    HPEN pen = CreatePen(lineStyle == kLineDotted ? PS_DOT : PS_SOLID, width, colorRef(color));
    if (pen) replaceOwned(pen_, pen);
}

bool GdiSurface::setBrush(Color color) {
    if (!dc_) return false;
    HBRUSH brush = CreateSolidBrush(colorRef(color));
    if (!brush) return false;
    replaceOwned(brush_, brush);
    return true;
}

void GdiSurface::setBackColor(Color color) {
    if (dc_) SetBkColor(dc_, colorRef(color));
}

void GdiSurface::setTextColor(Color color) {
    if (dc_) SetTextColor(dc_, colorRef(color));
}

void GdiSurface::setFont(int id, int pixelSize) {
    if (!dc_ || id < 0 || id >= kNumFonts) return;
    const FontInfo& info = kFontTable[id];
    const DWORD pitchAndFamily = info.symbol ? (DEFAULT_PITCH | FF_DECORATIVE) : (VARIABLE_PITCH | FF_SWISS);
    // A negative height asks for the character height rather than the cell.
    HFONT font = CreateFontA(-pixelSize, 0, 0, 0, info.weight, 0, 0, 0, ANSI_CHARSET, OUT_STRING_PRECIS,
                             CLIP_STROKE_PRECIS, DEFAULT_QUALITY, pitchAndFamily, info.face);
    if (font) replaceOwned(font_, font);
}

void GdiSurface::moveTo(Point p) {
    if (dc_) MoveToEx(dc_, p.x, p.y, nullptr);
}

void GdiSurface::lineTo(Point p) {
    if (dc_) LineTo(dc_, p.x, p.y);
}

void GdiSurface::fillRect(Rect r) {
    if (!dc_) return;
    const RECT area{r.left, r.top, r.right, r.bottom};
    FillRect(dc_, &area, brush_ ? brush_ : static_cast<HBRUSH>(GetCurrentObject(dc_, OBJ_BRUSH)));
}

void GdiSurface::drawText(const char* text, Rect r, int alignment, bool opaque) {
    if (!dc_ || !text) return;
    UINT format = DT_SINGLELINE | DT_VCENTER;
    format |= alignment == kAlignCenter ? DT_CENTER : alignment == kAlignRight ? DT_RIGHT : DT_LEFT;
    RECT area{r.left, r.top, r.right, r.bottom};
    if (opaque) SetBkMode(dc_, OPAQUE);
    DrawTextA(dc_, text, -1, &area, format);
    if (opaque) SetBkMode(dc_, TRANSPARENT);
}

void GdiSurface::drawBitmap(BitmapImage& bitmap, Rect destination, Point source) {
    GdiBitmapImage* image = gdiImage(bitmap);
    if (!dc_ || !image || !image->bitmap()) return;
    SelectedDc from(dc_, image->bitmap());
    if (!from.ok()) return;
    BitBlt(dc_, destination.left, destination.top, destination.width(), destination.height(), from.get(), source.x,
           source.y, SRCCOPY);
}

// Masked composition of the whole bitmap over the destination's pixels in a
// work bitmap (background AND mask, OR bitmap AND NOT mask), of which the
// destination rectangle's part is copied out. The bitmap's own pixels are
// cleared under the key for the OR and restored from a saved copy after.
void GdiSurface::drawBitmapTransparent(BitmapImage& bitmap, Rect destination, Point source) {
    GdiBitmapImage* image = gdiImage(bitmap);
    if (!dc_ || !image || !image->bitmap()) return;
    const int w = image->width();
    const int h = image->height();
    HBITMAP mask = image->mask(dc_);
    if (!mask) return;

    ScopedBitmap inverseMask(CreateBitmap(w, h, 1, 1, nullptr));
    ScopedBitmap work(CreateCompatibleBitmap(dc_, w, h));
    ScopedBitmap saved(CreateCompatibleBitmap(dc_, w, h));
    if (!inverseMask.get() || !work.get() || !saved.get()) return;
    SelectedDc pixels(dc_, image->bitmap());
    SelectedDc maskDc(dc_, mask);
    SelectedDc inverseDc(dc_, inverseMask.get());
    SelectedDc workDc(dc_, work.get());
    SelectedDc saveDc(dc_, saved.get());
    if (!pixels.ok() || !maskDc.ok() || !inverseDc.ok() || !workDc.ok() || !saveDc.ok()) return;
    SetMapMode(pixels.get(), GetMapMode(dc_));

    // Fresh memory contexts have black text and a white background, so
    // monochrome 0 becomes all-zero pixels and 1 all-one pixels in the ANDs.
    BitBlt(saveDc.get(), 0, 0, w, h, pixels.get(), 0, 0, SRCCOPY);
    BitBlt(inverseDc.get(), 0, 0, w, h, maskDc.get(), 0, 0, NOTSRCCOPY);
    BitBlt(workDc.get(), 0, 0, w, h, dc_, destination.left - source.x, destination.top - source.y, SRCCOPY);
    BitBlt(workDc.get(), 0, 0, w, h, maskDc.get(), 0, 0, SRCAND);
    BitBlt(pixels.get(), 0, 0, w, h, inverseDc.get(), 0, 0, SRCAND);
    BitBlt(workDc.get(), 0, 0, w, h, pixels.get(), 0, 0, SRCPAINT);
    BitBlt(dc_, destination.left, destination.top, destination.width(), destination.height(), workDc.get(), source.x,
           source.y, SRCCOPY);
    BitBlt(pixels.get(), 0, 0, w, h, saveDc.get(), 0, 0, SRCCOPY);
}

void GdiSurface::copyTo(Surface& target, Rect destination, Point source) {
    auto* to = dynamic_cast<GdiSurface*>(&target);
    if (!dc_ || !to || !to->dc()) return;
    BitBlt(to->dc(), destination.left, destination.top, destination.width(), destination.height(), dc_, source.x,
           source.y, SRCCOPY);
}

std::unique_ptr<GdiOffscreen> GdiOffscreen::create(HWND compatibleWith, int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    HDC reference = GetDC(compatibleWith);
    if (!reference) return nullptr;
    HDC memory = CreateCompatibleDC(reference);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(reference, width, height) : nullptr;
    ReleaseDC(compatibleWith, reference);
    GdiOffscreen* offscreen = bitmap ? new (std::nothrow) GdiOffscreen(memory, bitmap) : nullptr;
    if (offscreen) return std::unique_ptr<GdiOffscreen>(offscreen);
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    return nullptr;
}

GdiOffscreen::GdiOffscreen(HDC memoryDc, HBITMAP bitmap)
    : GdiSurface(memoryDc), bitmap_(bitmap), originalBitmap_(SelectObject(memoryDc, bitmap)) {}

GdiOffscreen::~GdiOffscreen() {
    restoreObjects();
    if (originalBitmap_) SelectObject(dc(), originalBitmap_);
    DeleteDC(dc());
    DeleteObject(bitmap_);
}

}  // namespace klv::gui::win32

namespace klv::gui {

std::unique_ptr<BitmapImage> loadBitmapImage(int resourceId, const ResourceTable*) {
    HBITMAP bitmap = LoadBitmapA(win32::moduleHandle(), MAKEINTRESOURCEA(resourceId & 0xFFFF));
    if (!bitmap) return nullptr;
    BITMAP info{};
    if (GetObject(bitmap, sizeof info, &info) == 0) {
        DeleteObject(bitmap);
        return nullptr;
    }
    auto* image = new (std::nothrow) win32::GdiBitmapImage(bitmap, info.bmWidth, info.bmHeight);
    if (!image) DeleteObject(bitmap);
    return std::unique_ptr<BitmapImage>(image);
}

// A top-down 32-bit DIB section holding the pixels (0x00RRGGBB is its
// layout too), drawn like a resource bitmap.
std::unique_ptr<BitmapImage> makeBitmapImage(raster::PixelBuffer pixels) {
    if (pixels.width <= 0 || pixels.height <= 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    std::copy(pixels.pixels.begin(), pixels.pixels.end(), static_cast<std::uint32_t*>(bits));
    GdiFlush();
    auto* image = new (std::nothrow) win32::GdiBitmapImage(bitmap, pixels.width, pixels.height);
    if (!image) DeleteObject(bitmap);
    return std::unique_ptr<BitmapImage>(image);
}

}  // namespace klv::gui
