// Control: a view that carries one value, a tag (the parameter it stands
// for) and a listener (the editor), with the value/dirty protocol that
// drives redrawing: a control is dirty while its value differs from the
// value it last drew.
#pragma once

#include "gui/ref.h"
#include "gui/view.h"

namespace klv::gui {

class Bitmap;
class Control;

class ControlListener {
public:
    virtual ~ControlListener() = default;
    // The user changed control's value.
    virtual void valueChanged(DrawContext* context, Control* control) = 0;
};

class Control : public View {
public:
    Control(Rect size, ControlListener* listener, int tag, Bitmap* background);

    // Every control draws itself and ends by marking what it drew as shown.
    void draw(DrawContext& context) override = 0;
    // Draws when dirty; the draw itself records what was shown.
    void update(DrawContext& context) override;
    bool isDirty() const override;
    void setDirty(bool dirty) override;
    // A drag of this control: each event is one step of its drag rules.
    void mouseMoved(DrawContext& context, PointF where) override;
    void mouseReleased(DrawContext& context, PointF where) override;
    void dragCancelled() override;

    // After each drag step: the editor applies what changed meanwhile and
    // redraws what is dirty.
    virtual void doIdle();
    // Stores the value only: no clamping, no redraw, no listener call.
    virtual void setValue(float value) { value_ = value; }
    virtual float getValue() const { return value_; }
    virtual void setMin(float value) { min_ = value; }
    virtual float getMin() const { return min_; }
    virtual void setMax(float value) { max_ = value; }
    virtual float getMax() const { return max_; }
    virtual void setOldValue(float value) { oldValue_ = value; }
    virtual float getOldValue() const { return oldValue_; }
    virtual void setDefaultValue(float value) { default_ = value; }
    virtual float getDefaultValue() const { return default_; }
    virtual void setTag(int tag) { tag_ = tag; }
    virtual void setBackground(Bitmap* background);
    virtual Bitmap* getBackground() const { return background_.get(); }
    virtual void setWheelInc(float step) { wheelStep_ = step; }
    virtual float getWheelInc() const { return wheelStep_; }
    virtual void clampValue();

    int getTag() const { return tag_; }
    ControlListener* getListener() const { return listener_; }
    bool isDragging() const { return dragging_; }

protected:
    ~Control() override;

    // Ends a draw of value v: clean, with v as the value shown.
    void drawn(float v);
    // The listener hears of a change, unless the frame is closing.
    void notifyListener(DrawContext* context);
    // Ctrl + click: back to the default value; the listener hears of it only
    // when that changed the value.
    void resetToDefault(DrawContext& context);
    // The wheel moves the value by distance steps (a tenth of a step with
    // Shift held), within the range.
    bool turnWheel(DrawContext* context, float distance);

    // Starts a drag at a press: the host hears the begin of an edit, the
    // frame sends the following motions and the release here, and the press
    // itself is the first step.
    void startDrag(DrawContext& context, PointF where);
    // One step of the control's drag rules: the value for the pointer at
    // where with buttons held. False when the rules end the drag there.
    virtual bool dragStep(PointF where, unsigned buttons);

    ControlListener* listener_;
    int tag_;
    float oldValue_ = 1.0f;
    float default_ = 0.5f;
    float value_ = 0.0f;
    float min_ = 0.0f;
    float max_ = 1.0f;
    float wheelStep_ = 0.1f;
    Ref<Bitmap> background_;

private:
    void stepDrag(DrawContext& context, PointF where, unsigned buttons);
    void endDrag();

    bool dragging_ = false;
    // A drag tells the listener (and so the host) only of values it has not
    // sent yet: a value the effect snaps differs from the one the drag
    // computes, and would otherwise go out again at every step.
    float lastSent_ = 0.0f;
    PointF lastPoint_;
};

}  // namespace klv::gui
