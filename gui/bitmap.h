// A skin bitmap shared by reference count: every holder retains it and
// releases it when done; the last release frees it. Its pixels exist at
// every editor scale: the design's at 1, the skin's larger art elsewhere.
#pragma once

#include <memory>

#include "gui/geometry.h"
#include "gui/scale.h"
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
    // The design's size.
    int width() const { return width_; }
    int height() const { return height_; }
    BitmapImage* image() const { return image_.get(); }

    // How many frames are stacked in it (1 unless set): at other scales each
    // frame is scaled into a cell of its own.
    void setFrames(int frames) { frames_ = frames > 0 ? frames : 1; }
    int frames() const { return frames_; }
    // The pixels at scale (made on first use); null when there are none.
    BitmapImage* imageAt(float scale);
    // Where a source offset of the design lands in imageAt(scale).
    Point sourceAt(Point source, float scale) const;

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
    int frames_ = 1;
    const ResourceTable* table_ = nullptr;
    std::unique_ptr<BitmapImage> image_;
    std::shared_ptr<BitmapImage> scaled_[kScaleCount];
};

}  // namespace klv::gui
