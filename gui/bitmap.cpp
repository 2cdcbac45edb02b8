#include "gui/bitmap.h"

#include "gui/draw_context.h"

namespace klv::gui {

Bitmap::Bitmap(int resourceId, const ResourceTable* table) : Bitmap(resourceId, loadBitmapImage(resourceId, table)) {}

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

void Bitmap::draw(DrawContext& context, Rect destination, Point source) {
    Surface* surface = context.surface();
    if (!image_ || !surface) return;
    surface->drawBitmap(*this, destination.moved(context.offset().x, context.offset().y), source);
}

void Bitmap::drawTransparent(DrawContext& context, Rect destination, Point source) {
    Surface* surface = context.surface();
    if (!image_ || !surface) return;
    surface->drawBitmapTransparent(*this, destination.moved(context.offset().x, context.offset().y), source);
}

}  // namespace klv::gui
