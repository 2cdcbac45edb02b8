#include "gui/rotary_knob.h"

#include <cmath>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"
#include "gui/pixel_math.h"

namespace klv::gui {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

RotaryKnob::RotaryKnob(Rect size, ControlListener* listener, int tag, Bitmap* background, Bitmap* handle,
                       Point backgroundOffset)
    : Control(size, listener, tag, background),
      backgroundOffset_(backgroundOffset),
      radius_(static_cast<float>(size.width()) / 2.0f) {
    setHandleBitmap(handle);
    compute();
}

RotaryKnob::~RotaryKnob() = default;

void RotaryKnob::setHandleBitmap(Bitmap* handle) {
    handle_ = handle;
    // The handle bitmap's centre runs half its width plus a margin inside
    // the rim.
    inset_ = handle_ ? static_cast<int>(handle_->width() * 0.5 + 2.5) : 3;
}

void RotaryKnob::setStartAngle(float radians) {
    startAngle_ = radians;
    compute();
}

void RotaryKnob::setRangeAngle(float radians) {
    rangeAngle_ = radians;
    compute();
}

// The value is linear in the angle: value = valueAtAngleZero + angle *
// valuePerRadian, the start angle giving the minimum.
void RotaryKnob::compute() {
    valuePerRadian_ = (max_ - min_) / rangeAngle_;
    valueAtAngleZero_ = min_ - valuePerRadian_ * startAngle_;
    halfGapAngle_ = static_cast<float>((kTwoPi - std::fabs(rangeAngle_)) * 0.5);
    setDirty(true);
}

void RotaryKnob::valueToPoint(Point& point) const {
    const float low = min_ < max_ ? min_ : max_;
    const float high = min_ < max_ ? max_ : min_;
    const float value = drawableValue(getValue(), low, high);
    const float angle = (value - valueAtAngleZero_) / valuePerRadian_;
    const double reach = radius_ - inset_;
    point.x = clampedInt(radius_ + std::cos(angle) * reach + 0.5);
    point.y = clampedInt(radius_ - std::sin(angle) * reach + 0.5);
}

float RotaryKnob::valueFromPoint(Point where) const {
    return valueFromPoint(PointF{static_cast<float>(where.x), static_cast<float>(where.y)});
}

float RotaryKnob::valueFromPoint(PointF where) const {
    // Counter-clockwise from the x axis with y growing upwards, taken from
    // the start in the knob's turning direction and folded into 0..2 pi.
    const double angle = std::atan2(radius_ - where.y, where.x - radius_);
    const double direction = rangeAngle_ < 0 ? -1.0 : 1.0;
    double along = std::fmod((angle - startAngle_) * direction, kTwoPi);
    if (along < 0) along += kTwoPi;
    const double sweep = std::fabs(rangeAngle_);
    if (along <= sweep) return static_cast<float>(min_ + (max_ - min_) * (along / sweep));
    return along - sweep < halfGapAngle_ ? max_ : min_;
}

void RotaryKnob::draw(DrawContext& context) {
    const float shown = getValue();
    if (background_) {
        if (getTransparency())
            background_->drawTransparent(context, size_, backgroundOffset_);
        else
            background_->draw(context, size_, backgroundOffset_);
    }
    drawHandle(context);
    drawn(shown);
}

void RotaryKnob::drawHandle(DrawContext& context) {
    Point p;
    valueToPoint(p);
    if (handle_) {
        const int w = handle_->width();
        const int h = handle_->height();
        const int left = size_.left + p.x - w / 2;
        const int top = size_.top + p.y - h / 2;
        handle_->drawTransparent(context, {left, top, left + w, top + h});
        return;
    }
    const Point centre{size_.width() / 2, size_.height() / 2};
    context.setFrameColor(shadowColor_);
    context.moveTo({size_.left + p.x - 1, size_.top + p.y});
    context.lineTo({size_.left + centre.x - 1, size_.top + centre.y});
    context.setFrameColor(handleColor_);
    context.moveTo({size_.left + p.x, size_.top + p.y - 1});
    context.lineTo({size_.left + centre.x, size_.top + centre.y - 1});
}

// The host's knob mode picks the usual way of dragging; Alt the other.
void RotaryKnob::mouse(DrawContext& context, PointF where) {
    if (!getMouseEnabled()) return;
    const unsigned buttons = context.getMouseButtons();
    if (!(buttons & kLeftButton)) return;
    if (buttons == (kLeftButton | kControlKey)) {
        resetToDefault(context);
        return;
    }
    const int mode = parent_ && parent_->owner() ? parent_->owner()->knobMode() : 0;
    linear_ = (mode == 2) != ((buttons & kAltKey) != 0);
    pressPoint_ = where;
    base_ = getValue();
    sensitivity_ = (max_ - min_) / ((buttons & kShiftKey) ? 300.0f : 200.0f);
    previousButtons_ = buttons;
    remembered_ = valueFromPoint(PointF{where.x - size_.left, where.y - size_.top});
    startDrag(context, where);
}

bool RotaryKnob::dragStep(PointF where, unsigned buttons) {
    if (linear_) {
        // Right and up increase. Sensitivity: a range per 300 pixels with
        // Shift held at the press, else per 200; once the buttons or
        // modifiers change during the drag, per 300 with Shift and per 100
        // without, the base moved so that the value does not jump.
        const float delta = (where.x - pressPoint_.x) - (where.y - pressPoint_.y);
        if (buttons != previousButtons_) {
            const float changed = (max_ - min_) / ((buttons & kShiftKey) ? 300.0f : 100.0f);
            base_ += (sensitivity_ - changed) * delta;
            sensitivity_ = changed;
            previousButtons_ = buttons;
        }
        setValue(base_ + delta * sensitivity_);
        clampValue();
        return true;
    }
    // The value follows the pointer's angle (the press jumps to it); a jump
    // of more than half the range (the pointer crossed the gap) sticks to
    // the end it came from until the pointer comes back.
    const float halfRange = (max_ - min_) * 0.5f;
    const float v = valueFromPoint(PointF{where.x - size_.left, where.y - size_.top});
    if (remembered_ - v > halfRange) {
        setValue(max_);
    } else if (v - remembered_ > halfRange) {
        setValue(min_);
    } else {
        setValue(v);
        remembered_ = v;
    }
    return true;
}

bool RotaryKnob::onWheel(DrawContext* context, PointF, float distance) {
    return turnWheel(context, distance);
}

}  // namespace klv::gui
