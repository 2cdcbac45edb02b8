#include "gui/faders.h"

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"
#include "gui/pixel_math.h"

namespace klv::gui {

Fader::Fader(bool vertical, Rect size, ControlListener* listener, int tag, int minPosition, int maxPosition,
             Bitmap* handle, Bitmap* background, Point backgroundOffset, int style)
    : Control(size, listener, tag, background),
      vertical_(vertical),
      backgroundOffset_(backgroundOffset),
      minPosition_(minPosition),
      maxPosition_(maxPosition),
      style_(style),
      handlePosition_(maxPosition) {
    setHandle(handle);
    if (handle_) {
        handleWidth_ = handle_->width();
        handleHeight_ = handle_->height();
    }
    const int start = vertical_ ? size_.top : size_.left;
    const int extent = vertical_ ? handleHeight_ : handleWidth_;
    lowestEdge_ = minPosition_ - start;
    highestEdge_ = extent + maxPosition_ - start;
}

Fader::~Fader() {
    if (handle_) handle_->release();
}

void Fader::setHandle(Bitmap* handle) {
    if (handle) handle->retain();
    if (handle_) handle_->release();
    handle_ = handle;
}

bool Fader::originAtStart() const {
    return vertical_ ? (style_ & kVerticalOriginTop) != 0 : (style_ & kHorizontalOriginLeft) != 0;
}

void Fader::draw(DrawContext& context) {
    const float shown = getValue();
    const float value = drawableValue(shown, min_, max_);
    const float v = originAtStart() ? value : 1.0f - value;
    const int width = size_.width();
    const int height = size_.height();
    OffscreenContext offscreen(parent_, width, height, kBlack);
    if (background_) {
        if (getTransparency())
            background_->drawTransparent(offscreen, {0, 0, width, height}, backgroundOffset_);
        else
            background_->draw(offscreen, {0, 0, width, height}, backgroundOffset_);
    }
    // The handle's leading edge along the axis, kept within the travel.
    const int offsetAlong = vertical_ ? handleOffset_.y : handleOffset_.x;
    const int extent = vertical_ ? handleHeight_ : handleWidth_;
    int lead = clampedInt(static_cast<double>(maxPosition_ - minPosition_) * v) + offsetAlong;
    if (lead > highestEdge_ - extent) lead = highestEdge_ - extent;
    if (lead < lowestEdge_) lead = lowestEdge_;
    int trail = lead + extent;
    if (trail > highestEdge_) trail = highestEdge_;
    const Rect handleRect = vertical_ ? Rect{handleOffset_.x, lead, handleOffset_.x + handleWidth_, trail}
                                      : Rect{lead, handleOffset_.y, trail, handleOffset_.y + handleHeight_};
    if (handle_) {
        if (drawTransparentHandle_)
            handle_->drawTransparent(offscreen, handleRect);
        else
            handle_->draw(offscreen, handleRect);
    }
    offscreen.copyTo(context, size_);
    handlePosition_ = (vertical_ ? size_.top : size_.left) + lead;
    drawn(shown);
}

bool Fader::onHandle(Point where) const {
    if (vertical_) {
        const int left = size_.left + handleOffset_.x;
        return where.x >= left && where.x <= left + handleWidth_ && where.y >= handlePosition_ &&
               where.y <= handlePosition_ + handleHeight_;
    }
    return where.x >= handlePosition_ && where.x <= handlePosition_ + handleWidth_ && where.y >= size_.top &&
           where.y <= size_.top + handleHeight_;
}

// With free click the handle's centre follows the pointer; without it the
// click must take the handle, which then keeps its grab point. Shift
// scales the movement by 0.1 around the value it had when Shift went down.
void Fader::mouse(DrawContext& context, Point where) {
    if (!getMouseEnabled()) return;
    unsigned buttons = context.getMouseButtons();
    if (!(buttons & kLeftButton)) return;
    if (buttons == (kLeftButton | kControlKey)) {
        resetToDefault(context);
        return;
    }
    if (buttons != kLeftButton && buttons != (kLeftButton | kShiftKey)) return;
    int grab;
    if (freeClick_) {
        grab = minPosition_ + (vertical_ ? handleHeight_ : handleWidth_) / 2 - 1;
    } else {
        if (!onHandle(where)) return;
        grab = minPosition_ + (along(where) - handlePosition_);
    }
    const int travel = maxPosition_ - minPosition_;
    const bool inverted = vertical_ ? (style_ & kVerticalOriginBottom) != 0 : (style_ & kHorizontalOriginRight) != 0;
    float anchor = getValue();
    Point p = where;
    if (parent_) parent_->beginEdit(tag_);
    for (;;) {
        if (buttons != kLeftButton && buttons != (kLeftButton | kShiftKey)) break;
        // A fader without travel has no position to value mapping: the
        // value stays.
        if (travel != 0) {
            const float raw = static_cast<float>(along(p) - grab) / static_cast<float>(travel);
            float value = inverted ? 1.0f - raw : raw;
            if (buttons & kShiftKey) value = anchor + (value - anchor) * 0.1f;
            setValue(value);
            clampValue();
        }
        if (!(buttons & kShiftKey)) anchor = getValue();
        if (isDirty()) notifyListener(&context);
        context.getMousePosition(p);
        doIdle();
        buttons = context.getMouseButtons();
    }
    if (parent_) parent_->endEdit(tag_);
}

bool Fader::onWheel(DrawContext* context, Point, float distance) {
    return turnWheel(context, distance);
}

}  // namespace klv::gui
