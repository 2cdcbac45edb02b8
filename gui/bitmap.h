// A skin bitmap shared by reference count: every holder retains it and
// releases it when done; the last release frees it.
#pragma once

#include <memory>

#include "gui/geometry.h"
#include "gui/surface.h"

namespace klv::gui {

class DrawContext;

class Bitmap {
public:
    // The bitmap resource resourceId of this module (Windows) or of table.
    // A failed load leaves an empty bitmap (0 x 0) whose draws do nothing.
    explicit Bitmap(int resourceId, const ResourceTable* table = nullptr);
    // A bitmap over pixels made elsewhere (tests, snapshots).
    Bitmap(int resourceId, std::unique_ptr<BitmapImage> image);
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int resourceId() const { return resourceId_; }
    int width() const { return width_; }
    int height() const { return height_; }
    BitmapImage* image() const { return image_.get(); }

    void retain() { ++refCount_; }
    void release();
    int refCount() const { return refCount_; }

    // Opaque copy of destination-sized pixels from source to destination
    // (shifted by the context's offset).
    void draw(DrawContext& context, Rect destination, Point source = {});
    // The same, leaving out pixels of the transparency key colour.
    void drawTransparent(DrawContext& context, Rect destination, Point source = {});

private:
    ~Bitmap() = default;

    int resourceId_;
    int refCount_ = 1;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<BitmapImage> image_;
};

}  // namespace klv::gui
