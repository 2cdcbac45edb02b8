#include "gui/bitmap.h"

#include "gui/draw_context.h"
#include "gui/skin_art.h"

namespace klv::gui {

Bitmap::Bitmap(int resourceId, const ResourceTable* table) : Bitmap(resourceId, loadBitmapImage(resourceId, table)) {
    table_ = table;
}

Bitmap::Bitmap(int resourceId, std::unique_ptr<BitmapImage> image) : resourceId_(resourceId), image_(std::move(image)) {
    if (image_) {
        width_ = image_->width();
        height_ = image_->height();
    }
}

void Bitmap::release() {
    if (refCount_ <= 0) return;
    if (--refCount_ == 0) delete this;
}

// The skin's larger art where there is some; else the design's pixels
// filtered up (bitmaps made in memory).
BitmapImage* Bitmap::imageAt(float scale) {
    if (scale == 1.0f || !image_) return image_.get();
    std::shared_ptr<BitmapImage>& slot = scaled_[scaleIndex(scale)];
    if (slot) return slot.get();
    if (table_) slot = skinImage(*table_, resourceId_, frames_, scale);
    const raster::PixelBuffer* pixels = image_->rasterPixels();
    if (!slot && pixels) slot = makeBitmapImage(resampleArt(*pixels, 1.0f, width_, height_, frames_, scale));
    return slot.get();
}

Point Bitmap::sourceAt(Point source, float scale) const {
    if (scale == 1.0f) return source;
    const int frameHeight = frames_ > 1 ? height_ / frames_ : 0;
    if (frameHeight <= 0 || source.y < 0)
        return {toDevice(static_cast<long long>(source.x), scale), toDevice(static_cast<long long>(source.y), scale)};
    const int frame = source.y / frameHeight;
    const int within = source.y - frame * frameHeight;
    return {toDevice(static_cast<long long>(source.x), scale),
            frame * cellLength(frameHeight, scale) + toDevice(static_cast<long long>(within), scale)};
}

void Bitmap::draw(DrawContext& context, Rect destination, Point source) {
    context.drawBitmap(*this, destination, source, false);
}

void Bitmap::drawTransparent(DrawContext& context, Rect destination, Point source) {
    context.drawBitmap(*this, destination, source, true);
}

}  // namespace klv::gui
