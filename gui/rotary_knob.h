// RotaryKnob: a knob drawn as its background patch and a handle (a bitmap
// or two short lines) at the angle of its value. The sweep starts at 225
// degrees and turns 270 degrees clockwise by default.
#pragma once

#include "gui/control.h"

namespace klv::gui {

class RotaryKnob : public Control {
public:
    RotaryKnob(Rect size, ControlListener* listener, int tag, Bitmap* background, Bitmap* handle,
               Point backgroundOffset);

    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, PointF where) override;
    bool onWheel(DrawContext* context, PointF where, float distance) override;

    virtual void drawHandle(DrawContext& context);
    virtual void setStartAngle(float radians);
    virtual float getStartAngle() const { return startAngle_; }
    // Signed: negative turns clockwise.
    virtual void setRangeAngle(float radians);
    virtual float getRangeAngle() const { return rangeAngle_; }
    // Where the handle stands, relative to the knob's top-left corner.
    virtual void valueToPoint(Point& point) const;
    // The value at a point relative to the knob's top-left corner; in the
    // unswept gap the half next to the start gives the minimum, the half
    // next to the end the maximum.
    virtual float valueFromPoint(Point where) const;
    float valueFromPoint(PointF where) const;
    virtual void setInsetValue(int inset) { inset_ = inset; }
    virtual void setColorShadowHandle(Color color) { shadowColor_ = color; }
    virtual void setColorHandle(Color color) { handleColor_ = color; }
    virtual void setHandleBitmap(Bitmap* handle);

    int inset() const { return inset_; }
    Bitmap* getHandleBitmap() const { return handle_.get(); }

protected:
    ~RotaryKnob() override;
    bool dragStep(PointF where, unsigned buttons) override;

private:
    void compute();

    Ref<Bitmap> handle_;
    int inset_ = 3;
    Point backgroundOffset_;
    Color handleColor_ = kWhite;
    Color shadowColor_ = kGrey;
    float startAngle_ = 3.9269907f;  // 5/4 pi
    float rangeAngle_ = -4.712389f;  // -3/2 pi
    float halfGapAngle_ = 0.0f;
    float valuePerRadian_ = 0.0f;
    float valueAtAngleZero_ = 0.0f;
    float radius_;

    // The drag in progress: linear (from the press point and the value
    // there, at a sensitivity that changes with the buttons) or circular
    // (following the pointer's angle, sticking across the gap).
    bool linear_ = true;
    PointF pressPoint_;
    float base_ = 0.0f;
    float sensitivity_ = 0.0f;
    unsigned previousButtons_ = 0;
    float remembered_ = 0.0f;
};

}  // namespace klv::gui
