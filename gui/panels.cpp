#include "gui/panels.h"

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"

namespace klv::gui {

OverlayPanel::OverlayPanel(Rect trigger, ControlListener* listener, int tag, Bitmap* bitmap, Rect display, Point source)
    : Control(trigger, listener, tag, bitmap), display_(display), saved_(trigger), source_(source) {}

void OverlayPanel::draw(DrawContext& context) {
    const float shown = getValue();
    if (shown != 0.0f && background_) {
        if (getTransparency())
            background_->drawTransparent(context, display_, source_);
        else
            background_->draw(context, display_, source_);
    }
    drawn(shown);
}

// Opening makes the panel the frame's modal view over its display area;
// while it is open every click inside that area reaches it and closes it,
// and the whole frame is drawn again.
void OverlayPanel::mouse(DrawContext& context, PointF) {
    if (!getMouseEnabled() || !(context.getMouseButtons() & kLeftButton)) return;
    if (getValue() == 0.0f) {
        setValue(1.0f);
        if (parent_ && parent_->setModalView(this)) {
            saved_ = size_;
            size_ = display_;
            draw(context);
            notifyListener(&context);
        }
    } else {
        setValue(0.0f);
        size_ = saved_;
        if (parent_) {
            if (parent_->getModalView() == this) parent_->setModalView(nullptr);
            parent_->draw(context);
        }
        notifyListener(&context);
    }
    setDirty(true);
}

AboutPanel::AboutPanel(Rect trigger, ControlListener* listener, int tag, Bitmap* bitmap, Rect display, Point source,
                       Point textOrigin)
    : OverlayPanel(trigger, listener, tag, bitmap, display, source), textOrigin_(textOrigin) {}

void AboutPanel::setText(int row, const char* text) {
    if (row >= 0 && row < kRows) rows_[row] = text ? text : "";
}

void AboutPanel::draw(DrawContext& context) {
    if (!isOpen()) {
        OverlayPanel::draw(context);
        return;
    }
    OverlayPanel::draw(context);
    const Rect area = displayArea();
    const int left = area.left + textOrigin_.x;
    const int top = area.top + textOrigin_.y;
    const auto row = [&](int dy) { return Rect{left, top + dy, left + area.width(), top + dy + 15}; };
    context.setFont(4);
    context.setFontColor({45, 45, 120, 0});
    for (int i = 0; i < kRows; ++i) context.drawString(rows_[i], row(16 * i), false, kAlignCenter);
    context.setFont(6);
    context.setFontColor({60, 60, 60, 0});
    context.drawString("VST PlugIn Technology by Steinberg", row(72), false, kAlignCenter);
}

}  // namespace klv::gui
