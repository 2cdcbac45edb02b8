#include "gui/draw_context.h"

#include "gui/bitmap.h"
#include "gui/frame.h"
#include "gui/window_system.h"

namespace klv::gui {

DrawContext::DrawContext(Frame* frame, Surface* surface, WindowPort* window)
    : surface_(surface), window_(window), frame_(frame) {
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

void DrawContext::applyPen() {
    if (surface_) surface_->setPen(frameColor_, lineWidth_, lineStyle_);
}

void DrawContext::moveTo(Point p) {
    if (surface_) surface_->moveTo({p.x + offset_.x, p.y + offset_.y});
}

void DrawContext::lineTo(Point p) {
    if (surface_) surface_->lineTo({p.x + offset_.x, p.y + offset_.y});
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
    if (surface_) surface_->setFont(id, size);
}

void DrawContext::drawRect(Rect r) {
    moveTo({r.left, r.top});
    lineTo({r.right, r.top});
    lineTo({r.right, r.bottom});
    lineTo({r.left, r.bottom});
    lineTo({r.left, r.top});
}

void DrawContext::fillRect(Rect r) {
    if (surface_) surface_->fillRect(Rect{r.left + 1, r.top + 1, r.right, r.bottom}.moved(offset_.x, offset_.y));
}

void DrawContext::drawString(const char* text, Rect r, bool opaque, int alignment) {
    if (!surface_ || !text) return;
    if (alignment != kAlignCenter && alignment != kAlignRight) ++r.left;
    surface_->drawText(text, r.moved(offset_.x, offset_.y), alignment, opaque);
}

unsigned DrawContext::getMouseButtons() const {
    if (forEvent_) return eventButtons_;
    return window_ ? window_->mouseButtons() : 0;
}

void DrawContext::getMousePosition(Point& p) const {
    p = window_ ? window_->mousePosition() : Point{};
}

OffscreenContext::OffscreenContext(Frame* frame, int width, int height, Color background)
    : DrawContext(frame, nullptr, frame ? frame->window() : nullptr),
      width_(width),
      height_(height),
      background_(background) {
    WindowSystem& system = frame ? frame->windowSystem() : platformWindowSystem();
    memory_ = system.createOffscreen(window_, width, height);
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

void OffscreenContext::copyTo(DrawContext& target, Rect destination, Point source) {
    if (!memory_ || !target.surface()) return;
    memory_->copyTo(*target.surface(), destination.moved(target.offset().x, target.offset().y), source);
}

}  // namespace klv::gui
