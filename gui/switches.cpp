#include "gui/switches.h"

#include <cmath>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/pixel_math.h"

namespace klv::gui {

ToggleButton::ToggleButton(Rect size, ControlListener* listener, int tag, Bitmap* bitmap)
    : Control(size, listener, tag, bitmap) {}

void ToggleButton::draw(DrawContext& context) {
    const float shown = getValue();
    if (background_) {
        const Point source{0, shown != 0.0f ? background_->height() / 2 : 0};
        if (getTransparency())
            background_->drawTransparent(context, size_, source);
        else
            background_->draw(context, size_, source);
    }
    drawn(shown);
}

// Any value whose integer part is 0 (0.5 included) turns on.
void ToggleButton::mouse(DrawContext& context, PointF) {
    if (!getMouseEnabled() || !(context.getMouseButtons() & kLeftButton)) return;
    setValue(clampedInt(getValue()) == 0 ? 1.0f : 0.0f);
    draw(context);
    notifyListener(&context);
}

CycleSwitch::CycleSwitch(Rect size, ControlListener* listener, int tag, Bitmap* bitmap, int states, StateRule rule)
    : Control(size, listener, tag, nullptr),
      bitmap_(bitmap),
      // A switch without states would divide by zero: it has one.
      states_(states > 0 ? states : 1),
      rule_(rule) {}

CycleSwitch::~CycleSwitch() = default;

// A non-finite value stands at the nearest end; a value no state stands for
// (beyond the last) shows the nearest one.
int CycleSwitch::state(float value) const {
    const float last = static_cast<float>(states_ - 1);
    const int s = rule_ ? rule_(drawableValue(value, 0.0f, last)) : clampedInt(drawableValue(value, 0.0f, last));
    return s < 0 ? 0 : s > states_ - 1 ? states_ - 1 : s;
}

void CycleSwitch::draw(DrawContext& context) {
    const float shown = getValue();
    if (bitmap_) {
        const int top = static_cast<int>(static_cast<long long>(bitmap_->height()) * state(shown) / states_);
        bitmap_->draw(context, size_, {0, top});
    }
    drawn(shown);
}

void CycleSwitch::mouse(DrawContext& context, PointF) {
    if (!getMouseEnabled() || !(context.getMouseButtons() & kLeftButton)) return;
    setValue(static_cast<float>((state(getValue()) + 1) % states_));
    draw(context);
    notifyListener(&context);
}

}  // namespace klv::gui
