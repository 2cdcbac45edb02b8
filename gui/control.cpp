#include "gui/control.h"

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"
#include "host/gui_editor_base.h"

namespace klv::gui {

Control::Control(Rect size, ControlListener* listener, int tag, Bitmap* background)
    : View(size), listener_(listener), tag_(tag) {
    setBackground(background);
}

Control::~Control() {
    if (background_) background_->release();
}

void Control::update(DrawContext& context) {
    if (isDirty()) draw(context);
}

bool Control::isDirty() const {
    return getValue() != getOldValue() || View::isDirty();
}

void Control::setDirty(bool dirty) {
    View::setDirty(dirty);
    if (dirty)
        oldValue_.store(getValue() == -1.0f ? 0.0f : -1.0f, std::memory_order_relaxed);
    else
        oldValue_.store(getValue(), std::memory_order_relaxed);
}

void Control::drawn(float v) {
    View::setDirty(false);
    oldValue_.store(v, std::memory_order_relaxed);
}

void Control::doIdle() {
    if (parent_ && parent_->getEditor()) parent_->getEditor()->trackingIdle();
}

void Control::setBackground(Bitmap* background) {
    if (background) background->retain();
    if (background_) background_->release();
    background_ = background;
}

void Control::clampValue() {
    const float v = getValue();
    if (v > max_)
        setValue(max_);
    else if (v < min_)
        setValue(min_);
}

void Control::resetToDefault(DrawContext& context) {
    const float before = getValue();
    setValue(default_);
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

}  // namespace klv::gui
