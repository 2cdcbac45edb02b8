// Control: a view that carries one value, a tag (the parameter it stands
// for) and a listener (the editor), with the value/dirty protocol that
// drives redrawing: a control is dirty while its value differs from the
// value it last drew.
#pragma once

#include <atomic>

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

    // One step of a mouse-tracking loop: keeps the window and host alive.
    virtual void doIdle();
    // Stores the value only: no clamping, no redraw, no listener call.
    // Safe from any thread; the window's thread draws it at its next idle.
    virtual void setValue(float value) { value_.store(value, std::memory_order_relaxed); }
    virtual float getValue() const { return value_.load(std::memory_order_relaxed); }
    virtual void setMin(float value) { min_ = value; }
    virtual float getMin() const { return min_; }
    virtual void setMax(float value) { max_ = value; }
    virtual float getMax() const { return max_; }
    virtual void setOldValue(float value) { oldValue_.store(value, std::memory_order_relaxed); }
    virtual float getOldValue() const { return oldValue_.load(std::memory_order_relaxed); }
    virtual void setDefaultValue(float value) { default_ = value; }
    virtual float getDefaultValue() const { return default_; }
    virtual void setTag(int tag) { tag_ = tag; }
    virtual void setBackground(Bitmap* background);
    virtual Bitmap* getBackground() const { return background_; }
    virtual void setWheelInc(float step) { wheelStep_ = step; }
    virtual float getWheelInc() const { return wheelStep_; }
    virtual void clampValue();

    int getTag() const { return tag_; }
    ControlListener* getListener() const { return listener_; }

protected:
    ~Control() override;

    // Ends a draw of value v: clean, with v as the value shown. A value set
    // meanwhile from another thread stays dirty, so it is never lost.
    void drawn(float v);
    void notifyListener(DrawContext* context) {
        if (listener_) listener_->valueChanged(context, this);
    }
    // Ctrl + click: back to the default value; the listener hears of it only
    // when that changed the value.
    void resetToDefault(DrawContext& context);
    // The wheel moves the value by distance steps (a tenth of a step with
    // Shift held), within the range.
    bool turnWheel(DrawContext* context, float distance);

    ControlListener* listener_;
    int tag_;
    std::atomic<float> oldValue_{1.0f};
    float default_ = 0.5f;
    std::atomic<float> value_{0.0f};
    float min_ = 0.0f;
    float max_ = 1.0f;
    float wheelStep_ = 0.1f;
    Bitmap* background_ = nullptr;
};

}  // namespace klv::gui
