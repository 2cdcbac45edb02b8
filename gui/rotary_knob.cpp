#include "gui/rotary_knob.h"

#include <cmath>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"
#include "gui/pixel_math.h"
#include "host/gui_editor_base.h"

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

RotaryKnob::~RotaryKnob() {
    if (handle_) handle_->release();
}

void RotaryKnob::setHandleBitmap(Bitmap* handle) {
    if (handle) handle->retain();
    if (handle_) handle_->release();
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

void RotaryKnob::mouse(DrawContext& context, Point where) {
    if (!getMouseEnabled()) return;
    const unsigned buttons = context.getMouseButtons();
    if (!(buttons & kLeftButton)) return;
    if (buttons == (kLeftButton | kControlKey)) {
        resetToDefault(context);
        return;
    }
    // The host's knob mode picks the usual way of dragging; Alt the other.
    const bool alt = (buttons & kAltKey) != 0;
    const bool linear = (knobMode == 2) != alt;
    if (parent_) parent_->beginEdit(tag_);
    if (linear)
        dragLinear(context, where, buttons);
    else
        dragCircular(context, where);
    if (parent_) parent_->endEdit(tag_);
}

// The value follows the pointer's angle; a jump of more than half the range
// (the pointer crossed the gap) sticks to the end it came from until the
// pointer comes back.
void RotaryKnob::dragCircular(DrawContext& context, Point where) {
    const float halfRange = (max_ - min_) * 0.5f;
    float remembered = valueFromPoint({where.x - size_.left, where.y - size_.top});
    Point p = where;
    while (context.getMouseButtons() & kLeftButton) {
        const float v = valueFromPoint({p.x - size_.left, p.y - size_.top});
        if (remembered - v > halfRange) {
            setValue(max_);
        } else if (v - remembered > halfRange) {
            setValue(min_);
        } else {
            setValue(v);
            remembered = v;
        }
        if (isDirty()) notifyListener(&context);
        context.getMousePosition(p);
        doIdle();
    }
}

// Right and up increase. Sensitivity: a range per 300 pixels with Shift held
// at the click, else per 200; once the buttons or modifiers change during
// the drag, per 300 with Shift and per 100 without, the base moved so that
// the value does not jump.
void RotaryKnob::dragLinear(DrawContext& context, Point where, unsigned buttons) {
    const float range = max_ - min_;
    float sensitivity = range / ((buttons & kShiftKey) ? 300.0f : 200.0f);
    float base = getValue();
    unsigned previous = buttons;
    Point p = where;
    for (;;) {
        const unsigned now = context.getMouseButtons();
        if (!(now & kLeftButton)) break;
        const float delta = static_cast<float>((p.x - where.x) - (p.y - where.y));
        if (now != previous) {
            const float changed = range / ((now & kShiftKey) ? 300.0f : 100.0f);
            base += (sensitivity - changed) * delta;
            sensitivity = changed;
            previous = now;
        }
        setValue(base + delta * sensitivity);
        clampValue();
        if (isDirty()) notifyListener(&context);
        context.getMousePosition(p);
        doIdle();
    }
}

bool RotaryKnob::onWheel(DrawContext* context, Point, float distance) {
    return turnWheel(context, distance);
}

}  // namespace klv::gui
