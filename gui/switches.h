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
    void mouse(DrawContext& context, Point where) override;
};

class CycleSwitch : public Control {
public:
    // bitmap: one frame per state, stacked from state 0 down.
    CycleSwitch(Rect size, ControlListener* listener, int tag, Bitmap* bitmap, int states);

    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, Point where) override;

    int states() const { return states_; }
    Bitmap* bitmap() const { return bitmap_; }

protected:
    ~CycleSwitch() override;

private:
    int state(float value) const;

    Bitmap* bitmap_;
    int states_;
};

}  // namespace klv::gui
