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

Fader::~Fader() = default;

void Fader::setHandle(Bitmap* handle) {
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
    OffscreenContext offscreen(parent_, width, height, kBlack, {size_.left, size_.top});
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

bool Fader::onHandle(PointF where) const {
    if (vertical_) {
        const int left = size_.left + handleOffset_.x;
        return where.x >= left && where.x <= left + handleWidth_ && where.y >= handlePosition_ &&
               where.y <= handlePosition_ + handleHeight_;
    }
    return where.x >= handlePosition_ && where.x <= handlePosition_ + handleWidth_ && where.y >= size_.top &&
           where.y <= size_.top + handleHeight_;
}

namespace {
// Only the left button, alone or with Shift, drags a fader.
bool dragsFader(unsigned buttons) {
    return buttons == kLeftButton || buttons == (kLeftButton | kShiftKey);
}
}  // namespace

// With free click the handle's centre follows the pointer; without it the
// press must take the handle, which then keeps its grab point.
void Fader::mouse(DrawContext& context, PointF where) {
    if (!getMouseEnabled()) return;
    const unsigned buttons = context.getMouseButtons();
    if (!(buttons & kLeftButton)) return;
    if (buttons == (kLeftButton | kControlKey)) {
        resetToDefault(context);
        return;
    }
    if (!dragsFader(buttons)) return;
    if (freeClick_) {
        grab_ = static_cast<float>(minPosition_ + (vertical_ ? handleHeight_ : handleWidth_) / 2 - 1);
    } else {
        if (!onHandle(where)) return;
        grab_ = static_cast<float>(minPosition_) + (along(where) - static_cast<float>(handlePosition_));
    }
    anchor_ = getValue();
    startDrag(context, where);
}

// Shift scales the movement by 0.1 around the value the fader had when
// Shift went down; any other button or modifier ends the drag.
bool Fader::dragStep(PointF where, unsigned buttons) {
    if (!dragsFader(buttons)) return false;
    const int travel = maxPosition_ - minPosition_;
    // A fader without travel has no position to value mapping: the value
    // stays.
    if (travel != 0) {
        const bool inverted =
            vertical_ ? (style_ & kVerticalOriginBottom) != 0 : (style_ & kHorizontalOriginRight) != 0;
        const float raw = (along(where) - grab_) / static_cast<float>(travel);
        float value = inverted ? 1.0f - raw : raw;
        if (buttons & kShiftKey) value = anchor_ + (value - anchor_) * 0.1f;
        setValue(value);
        clampValue();
    }
    if (!(buttons & kShiftKey)) anchor_ = getValue();
    return true;
}

bool Fader::onWheel(DrawContext* context, PointF, float distance) {
    return turnWheel(context, distance);
}

}  // namespace klv::gui
