// ToggleButton (two frames: off, on) and CycleSwitch (one frame per state,
// value = state index). A click acts at once: no drag, no begin/end edit.
#pragma once

#include "gui/control.h"

namespace klv::gui {

class ToggleButton : public Control {
public:
    // bitmap: two frames stacked, off on top.
    ToggleButton(Rect size, ControlListener* listener, int tag, Bitmap* bitmap);

    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, PointF where) override;
};

// The state a value stands for, as the effect reads the parameter (a host
// may send any value, fractions included).
using StateRule = int (*)(float value);

class CycleSwitch : public Control {
public:
    // bitmap: one frame per state, stacked from state 0 down. Without a
    // rule a value stands for its integer part.
    CycleSwitch(Rect size, ControlListener* listener, int tag, Bitmap* bitmap, int states, StateRule rule = nullptr);

    // The whole frame of the value's state: a fraction never shows parts
    // of two frames.
    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, PointF where) override;

    int states() const { return states_; }
    Bitmap* bitmap() const { return bitmap_.get(); }
    // The state index a value is shown as, within 0 .. states - 1.
    int state(float value) const;

protected:
    ~CycleSwitch() override;

private:
    Ref<Bitmap> bitmap_;
    int states_;
    StateRule rule_;
};

}  // namespace klv::gui
