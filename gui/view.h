// View: the base of everything a frame holds. Reference counted: a new view
// holds one reference, the frame that takes it keeps that reference, and
// the last release destroys it.
//
// Views live on the window's thread: only it creates, changes, draws or
// destroys them (see Frame for how other threads leave word).
#pragma once

#include "gui/geometry.h"

namespace klv::gui {

class DrawContext;
class Frame;

// What a drop carries: file names (kind 0) or one text (kind 1).
enum DropKind { kDropFiles = 0, kDropText = 1 };

class View {
public:
    explicit View(Rect size);
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    virtual void draw(DrawContext&) {}
    // A button went down on the view; the context answers the buttons and
    // modifiers of that press.
    virtual void mouse(DrawContext&, PointF) {}
    // A drag the view started with Frame::captureDrag goes on: the pointer
    // moved, or the set of buttons and modifiers changed (the context's).
    virtual void mouseMoved(DrawContext&, PointF) {}
    // ... and ends: the left button went up at the point.
    virtual void mouseReleased(DrawContext&, PointF) {}
    // ... or is cut short without a release (the window closed or went away,
    // the pointer was taken from it).
    virtual void dragCancelled() {}
    // Draws the view when dirty, then clears the dirty state.
    virtual void update(DrawContext& context);
    virtual bool onDrop(void** /*items*/, long /*count*/, int /*kind*/, Point) { return false; }
    virtual bool onWheel(DrawContext*, PointF, float /*distance*/) { return false; }
    virtual void looseFocus(DrawContext*) {}
    virtual void takeFocus(DrawContext*) {}
    virtual bool isDirty() const { return dirty_; }
    virtual void setDirty(bool dirty) { dirty_ = dirty; }
    virtual void setMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
    virtual bool getMouseEnabled() const { return mouseEnabled_; }
    // Stored and returned only; hit tests use the view rectangle.
    virtual void setMouseRect(Rect r) { mouseRect_ = r; }
    virtual Rect getMouseRect() const { return mouseRect_; }
    virtual void setTransparency(bool transparent) { transparent_ = transparent; }
    virtual bool getTransparency() const { return transparent_; }
    virtual void setViewSize(Rect r);
    virtual void setParentFrame(Frame* frame) { parent_ = frame; }
    // Drops one reference; at 0 the view destroys itself. A count already at
    // 0 or below is left alone.
    virtual void release();
    virtual void retain() { ++refCount_; }
    virtual int refCount() const { return refCount_; }
    // Text and background colours of a text-edit field this view shows while
    // it has the focus; false when it shows none.
    virtual bool getEditColors(Color& /*font*/, Color& /*back*/) const { return false; }

    Rect getViewSize() const { return size_; }
    Frame* getParentFrame() const { return parent_; }

protected:
    virtual ~View() = default;

    int refCount_ = 1;
    Rect size_;
    Rect mouseRect_;
    Frame* parent_ = nullptr;
    bool dirty_ = true;
    bool mouseEnabled_ = true;
    bool transparent_ = false;
};

}  // namespace klv::gui
