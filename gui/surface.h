// What the toolkit draws on: one device context of a platform. The Win32
// side wraps a GDI device context; the raster side draws into a pixel buffer
// with the same results. Coordinates reaching a Surface already carry the
// drawing context's offset.
#pragma once

#include <cstddef>
#include <memory>

#include "gui/geometry.h"
#include "gui/raster/pixel_buffer.h"

namespace klv::gui {

class Bitmap;

// The platform's pixels of a loaded bitmap (a GDI bitmap and its mask, or a
// pixel buffer). Made by loadBitmapImage or makeBitmapImage, owned by its
// Bitmap or shared through the module's skin art.
class BitmapImage {
public:
    virtual ~BitmapImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // The pixels, where the platform keeps them in memory (null for GDI).
    virtual const raster::PixelBuffer* rasterPixels() const { return nullptr; }
};

// Bitmap files compiled into a library where the platform has no resource
// section for them: 24-bit uncompressed BMP files by numeric id.
struct EmbeddedResource {
    int id;
    const unsigned char* data;
    std::size_t size;
};
struct ResourceTable {
    const EmbeddedResource* entries;
    int count;
    // The same art drawn at 2 and 3 times the size (PNG files by the same
    // ids); null where there is none.
    const ResourceTable* larger[2] = {nullptr, nullptr};
};

// Loads the bitmap whose numeric id is the low 16 bits of resourceId: from
// the module's resources on Windows (table unused), else from table. Null
// when there is no such bitmap or it cannot be read.
std::unique_ptr<BitmapImage> loadBitmapImage(int resourceId, const ResourceTable* table);
// The platform's image of pixels made in memory (null where nothing draws).
std::unique_ptr<BitmapImage> makeBitmapImage(raster::PixelBuffer pixels);

class Surface {
public:
    virtual ~Surface() = default;

    // Pen of the following lines: colour, width in pixels, style (kLineSolid,
    // kLineDotted).
    virtual void setPen(Color color, int width, int lineStyle) = 0;
    // Solid fill brush; false when it could not be made (the old one stays).
    virtual bool setBrush(Color color) = 0;
    // Background colour of opaque text.
    virtual void setBackColor(Color color) = 0;
    virtual void setTextColor(Color color) = 0;
    // A font of the table (id already within 0..7) at a height of pixelSize.
    virtual void setFont(int id, int pixelSize) = 0;

    virtual void moveTo(Point p) = 0;
    // A line from the current position to p in the pen, p itself not drawn
    // (as GDI's LineTo); p becomes the current position.
    virtual void lineTo(Point p) = 0;
    // The brush over left..right-1, top..bottom-1.
    virtual void fillRect(Rect r) = 0;
    // One line of text, vertically centred in r; alignment kAlignCenter
    // centres, kAlignRight aligns right, anything else aligns left at
    // r.left. With opaque the text cell is filled in the back colour.
    virtual void drawText(const char* text, Rect r, int alignment, bool opaque) = 0;

    // Copies destination-sized pixels of the image from source to
    // destination; the transparent form leaves out pixels of the key colour.
    virtual void drawBitmap(BitmapImage& image, Rect destination, Point source) = 0;
    virtual void drawBitmapTransparent(BitmapImage& image, Rect destination, Point source) = 0;
    // One opaque block copy of this surface's pixels at source to target's
    // destination (offscreen composition).
    virtual void copyTo(Surface& target, Rect destination, Point source) = 0;
};

}  // namespace klv::gui
