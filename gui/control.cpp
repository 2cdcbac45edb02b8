#include "gui/control.h"

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"

namespace klv::gui {

Control::Control(Rect size, ControlListener* listener, int tag, Bitmap* background)
    : View(size), listener_(listener), tag_(tag), background_(background) {}

Control::~Control() = default;

void Control::setBackground(Bitmap* background) {
    background_ = background;
}

void Control::update(DrawContext& context) {
    if (isDirty()) draw(context);
}

bool Control::isDirty() const {
    return value_ != oldValue_ || View::isDirty();
}

void Control::setDirty(bool dirty) {
    View::setDirty(dirty);
    if (dirty)
        oldValue_ = value_ == -1.0f ? 0.0f : -1.0f;
    else
        oldValue_ = value_;
}

void Control::drawn(float v) {
    View::setDirty(false);
    oldValue_ = v;
}

void Control::notifyListener(DrawContext* context) {
    if (parent_ && parent_->isClosing()) return;
    if (listener_) listener_->valueChanged(context, this);
}

void Control::doIdle() {
    if (parent_ && parent_->owner()) parent_->owner()->trackingIdle();
}

void Control::clampValue() {
    if (value_ > max_)
        value_ = max_;
    else if (value_ < min_)
        value_ = min_;
}

void Control::resetToDefault(DrawContext& context) {
    const float before = value_;
    value_ = default_;
    if (before != default_) notifyListener(&context);
}

bool Control::turnWheel(DrawContext* context, float distance) {
    if (!getMouseEnabled()) return false;
    const unsigned buttons = context ? context->getMouseButtons() : 0;
    float step = distance * wheelStep_;
    if (buttons & kShiftKey) step *= 0.1f;
    setValue(getValue() + step);
    clampValue();
    if (isDirty()) notifyListener(context);
    return true;
}

bool Control::dragStep(PointF, unsigned) {
    return false;
}

void Control::startDrag(DrawContext& context, PointF where) {
    dragging_ = true;
    lastSent_ = getValue();
    if (parent_) {
        parent_->captureDrag(this);
        parent_->beginEdit(tag_);
    }
    stepDrag(context, where, context.getMouseButtons());
}

// Any call out of here may close the editor: the frame then ends this drag
// (dragCancelled) before the call returns, and what follows finds
// dragging_ cleared and the frame closing.
void Control::stepDrag(DrawContext& context, PointF where, unsigned buttons) {
    if (!dragging_) return;
    lastPoint_ = where;
    const float shown = value_;
    if (!dragStep(where, buttons)) {
        endDrag();
        return;
    }
    if (value_ != lastSent_) {
        lastSent_ = value_;
        notifyListener(&context);
    } else {
        // Unsent, the value stays what the listener made of the last one
        // (the effect may have stored it snapped).
        value_ = shown;
    }
    if (dragging_) doIdle();
}

// A motion without the left button: its release went elsewhere.
void Control::mouseMoved(DrawContext& context, PointF where) {
    if (!dragging_) return;
    const unsigned buttons = context.getMouseButtons();
    if (!(buttons & kLeftButton))
        endDrag();
    else
        stepDrag(context, where, buttons);
}

// Where the button went up is the drag's last point.
void Control::mouseReleased(DrawContext& context, PointF where) {
    if (!dragging_) return;
    if (where.x != lastPoint_.x || where.y != lastPoint_.y)
        stepDrag(context, where, context.getMouseButtons() | kLeftButton);
    if (dragging_) endDrag();
}

void Control::dragCancelled() {
    if (dragging_) endDrag();
}

void Control::endDrag() {
    dragging_ = false;
    if (!parent_) return;
    parent_->endEdit(tag_);
    parent_->releaseDrag(this);
}

}  // namespace klv::gui
