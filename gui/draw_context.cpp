#include "gui/draw_context.h"

#include <cstdlib>

#include "gui/bitmap.h"
#include "gui/frame.h"
#include "gui/pixel_math.h"
#include "gui/scale.h"
#include "gui/window_system.h"

namespace klv::gui {

DrawContext::DrawContext(Frame* frame, Surface* surface, WindowPort* window)
    : scale_(frame ? frame->scale() : 1.0f), surface_(surface), window_(window), frame_(frame) {
    clipRect_ = frame ? frame->getViewSize() : Rect{0, 0, 1000, 1000};
    if (!surface_) return;
    applyPen();
    setFillColor(fillColor_);
    setFontColor(fontColor_);
}

DrawContext::DrawContext(Frame* frame, Surface* surface, WindowPort* window, unsigned eventButtons)
    : DrawContext(frame, surface, window) {
    forEvent_ = true;
    eventButtons_ = eventButtons;
}

Point DrawContext::toSurface(Point p) const {
    return {toDevice(static_cast<long long>(p.x) + offset_.x + origin_.x, scale_) - deviceOrigin_.x,
            toDevice(static_cast<long long>(p.y) + offset_.y + origin_.y, scale_) - deviceOrigin_.y};
}

Rect DrawContext::toSurface(Rect r) const {
    const Point topLeft = toSurface(Point{r.left, r.top});
    const Point bottomRight = toSurface(Point{r.right, r.bottom});
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

// Lines keep whole device pixels: a design width w is round(s w) wide,
// drawn by stroke with a one-pixel pen.
void DrawContext::applyPen() {
    if (surface_) surface_->setPen(frameColor_, scale_ == 1.0f ? lineWidth_ : 1, lineStyle_);
}

int DrawContext::deviceLineWidth() const {
    return scale_ == 1.0f ? 1 : scaledLength(lineWidth_, scale_);
}

void DrawContext::stroke(Point from, Point to) {
    const int width = deviceLineWidth();
    if (width <= 1) {
        surface_->moveTo(from);
        surface_->lineTo(to);
        return;
    }
    // Side by side across the line's minor axis, centred on it.
    const bool steep =
        std::abs(static_cast<long long>(to.y) - from.y) > std::abs(static_cast<long long>(to.x) - from.x);
    for (int k = -(width - 1) / 2; k <= width / 2; ++k) {
        const Point shift = steep ? Point{k, 0} : Point{0, k};
        surface_->moveTo({from.x + shift.x, from.y + shift.y});
        surface_->lineTo({to.x + shift.x, to.y + shift.y});
    }
    surface_->moveTo(to);
}

void DrawContext::moveTo(Point p) {
    position_ = toSurface(p);
    if (surface_) surface_->moveTo(position_);
}

void DrawContext::lineTo(Point p) {
    const Point from = position_;
    position_ = toSurface(p);
    if (surface_) stroke(from, position_);
}

void DrawContext::line(PointF from, PointF to) {
    if (!surface_) return;
    const auto device = [this](PointF p) {
        const double x = static_cast<double>(p.x) + offset_.x + origin_.x;
        const double y = static_cast<double>(p.y) + offset_.y + origin_.y;
        if (scale_ == 1.0f) return Point{clampedInt(x) - deviceOrigin_.x, clampedInt(y) - deviceOrigin_.y};
        return Point{clampedInt(std::floor(x * scale_ + 0.5)) - deviceOrigin_.x,
                     clampedInt(std::floor(y * scale_ + 0.5)) - deviceOrigin_.y};
    };
    position_ = device(to);
    stroke(device(from), position_);
}

void DrawContext::setLineStyle(int style) {
    lineStyle_ = style == kLineDotted ? kLineDotted : kLineSolid;
    applyPen();
}

void DrawContext::setLineWidth(int width) {
    lineWidth_ = width;
    applyPen();
}

void DrawContext::setFrameColor(Color color) {
    frameColor_ = color;
    applyPen();
}

void DrawContext::setFillColor(Color color) {
    fillColor_ = color;
    if (!surface_) return;
    surface_->setBackColor(color);
    surface_->setBrush(color);
}

void DrawContext::setFontColor(Color color) {
    fontColor_ = color;
    if (surface_) surface_->setTextColor(color);
}

void DrawContext::setFont(int id, int size) {
    if (id < 0 || id >= kNumFonts) id = 0;
    if (size == 0) size = kFontTable[id].size;
    fontId_ = id;
    fontSize_ = size;
    if (surface_) surface_->setFont(id, scaledLength(size, scale_));
}

void DrawContext::drawRect(Rect r) {
    moveTo({r.left, r.top});
    lineTo({r.right, r.top});
    lineTo({r.right, r.bottom});
    lineTo({r.left, r.bottom});
    lineTo({r.left, r.top});
}

void DrawContext::fillRect(Rect r) {
    if (surface_) surface_->fillRect(toSurface(Rect{r.left + 1, r.top + 1, r.right, r.bottom}));
}

void DrawContext::drawString(const char* text, Rect r, bool opaque, int alignment) {
    if (!surface_ || !text) return;
    if (alignment != kAlignCenter && alignment != kAlignRight) ++r.left;
    surface_->drawText(text, toSurface(r), alignment, opaque);
}

void DrawContext::drawBitmap(Bitmap& bitmap, Rect destination, Point source, bool keyed) {
    if (!surface_) return;
    BitmapImage* image = bitmap.imageAt(scale_);
    if (!image) return;
    const Rect to = toSurface(destination);
    const Point from = bitmap.sourceAt(source, scale_);
    if (keyed)
        surface_->drawBitmapTransparent(*image, to, from);
    else
        surface_->drawBitmap(*image, to, from);
}

unsigned DrawContext::getMouseButtons() const {
    if (forEvent_) return eventButtons_;
    return window_ ? window_->mouseButtons() : 0;
}

void DrawContext::getMousePosition(Point& p) const {
    if (!window_) {
        p = {};
        return;
    }
    const PointF where = toDesign(window_->mousePosition(), scale_);
    p = {static_cast<int>(std::floor(where.x + 0.5f)), static_cast<int>(std::floor(where.y + 0.5f))};
}

OffscreenContext::OffscreenContext(Frame* frame, int width, int height, Color background, Point position)
    : DrawContext(frame, nullptr, frame ? frame->window() : nullptr),
      width_(width),
      height_(height),
      background_(background) {
    origin_ = position;
    deviceOrigin_ = {toDevice(static_cast<long long>(position.x), scale_),
                     toDevice(static_cast<long long>(position.y), scale_)};
    const Rect device = toSurface(Rect{0, 0, width, height});
    WindowSystem& system = frame ? frame->windowSystem() : platformWindowSystem();
    memory_ = system.createOffscreen(window_, device.width(), device.height());
    surface_ = memory_.get();
    if (!surface_) return;
    applyPen();
    setFontColor(fontColor_);
    setFillColor(background);
    setFrameColor(background);
    fillRect({0, 0, width, height});
    drawRect({0, 0, width, height});
}

OffscreenContext::~OffscreenContext() {
    if (bitmap_) bitmap_->release();
}

// The offscreen's pixel (0, 0) is the frame's position: its whole surface
// goes to the destination's place on the device.
void OffscreenContext::copyTo(DrawContext& target, Rect destination, Point source) {
    if (!memory_ || !target.surface()) return;
    const Rect to = target.toSurface(destination);
    const Point from = toSurface(source);
    memory_->copyTo(*target.surface(), to, from);
}

}  // namespace klv::gui
