// VerticalFader and HorizontalFader: a handle bitmap sliding over a
// background, composed offscreen and copied to the window in one block.
// Both share Fader, which works along one axis.
#pragma once

#include "gui/control.h"

namespace klv::gui {

// Where a fader's value 0 sits.
enum FaderStyle {
    kHorizontalOriginLeft = 0x08,
    kHorizontalOriginRight = 0x10,
    kVerticalOriginTop = 0x20,
    kVerticalOriginBottom = 0x40,
};

class Fader : public Control {
public:
    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, PointF where) override;
    bool onWheel(DrawContext* context, PointF where, float distance) override;

    virtual void setDrawTransparentHandle(bool transparent) { drawTransparentHandle_ = transparent; }
    virtual void setFreeClick(bool free) { freeClick_ = free; }
    virtual bool getFreeClick() const { return freeClick_; }
    virtual void setOffsetHandle(Point offset) { handleOffset_ = offset; }
    // The handle's size stays what it was at construction.
    virtual void setHandle(Bitmap* handle);
    virtual Bitmap* getHandle() const { return handle_.get(); }

    // The handle's edge along the axis in frame coordinates, as last drawn.
    int handlePosition() const { return handlePosition_; }

protected:
    // minPosition..maxPosition: the handle's travel along the axis, in frame
    // coordinates.
    Fader(bool vertical, Rect size, ControlListener* listener, int tag, int minPosition, int maxPosition,
          Bitmap* handle, Bitmap* background, Point backgroundOffset, int style);
    ~Fader() override;
    bool dragStep(PointF where, unsigned buttons) override;

private:
    float along(PointF p) const { return vertical_ ? p.y : p.x; }
    bool originAtStart() const;
    bool onHandle(PointF where) const;

    bool vertical_;
    Ref<Bitmap> handle_;
    int handleWidth_ = 1;
    int handleHeight_ = 1;
    Point backgroundOffset_;
    Point handleOffset_;
    int minPosition_;
    int maxPosition_;
    int style_;
    int handlePosition_;
    bool drawTransparentHandle_ = true;
    bool freeClick_ = true;
    int lowestEdge_;  // allowed handle edges along the axis, control-relative
    int highestEdge_;
    // The drag in progress: where along the axis the handle was taken, and
    // the value fine adjustment scales around.
    float grab_ = 0.0f;
    float anchor_ = 0.0f;
};

class VerticalFader : public Fader {
public:
    VerticalFader(Rect size, ControlListener* listener, int tag, int minPosition, int maxPosition, Bitmap* handle,
                  Bitmap* background, Point backgroundOffset, int style = kVerticalOriginBottom)
        : Fader(true, size, listener, tag, minPosition, maxPosition, handle, background, backgroundOffset, style) {}
};

class HorizontalFader : public Fader {
public:
    HorizontalFader(Rect size, ControlListener* listener, int tag, int minPosition, int maxPosition, Bitmap* handle,
                    Bitmap* background, Point backgroundOffset, int style = kHorizontalOriginLeft)
        : Fader(false, size, listener, tag, minPosition, maxPosition, handle, background, backgroundOffset, style) {}
};

}  // namespace klv::gui
