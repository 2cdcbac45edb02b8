// GuiEditorBase: the editor base of both plug-ins' windows. It attaches
// itself to its effect, holds the editor rectangle and the Frame, turns
// deferred update requests into redraws at idle, and is the frame's owner
// (begin and end of edits, the knob mode, the window system, the redraw
// after each drag step).
//
// Threads: the host calls open, idle and close on its user-interface
// thread, the window's thread; only that thread touches the frame and its
// views. Any other thread only raises flags (postUpdate, and whatever a
// derived editor records) that idle and trackingIdle consume.
#pragma once

#include "gui/frame.h"
#include "gui/frame_owner.h"
#include "gui/geometry.h"
#include "gui/ref.h"
#include "host/editor_base.h"

namespace klv {

// Module-wide: 2 makes knobs drag linearly by default, anything else
// circularly.
extern int knobMode;

class GuiEditorBase : public EditorBase, public gui::FrameOwner {
public:
    explicit GuiEditorBase(EffectBase* effect);
    ~GuiEditorBase() override;

    long getRect(ERect** rect) override;
    long open(void* parentWindow) override;
    // Closes the frame: a drag in progress ends with its end of edit, and
    // the window and views go now, or when a handler running below this
    // call (the host closed the editor from a callback) returns.
    void close() override;
    // The window's waiting events (X11), what other threads left word of,
    // the pending update, the dirty views, then afterIdle. Nothing while a
    // handler of the frame runs (the host idling the editor from a callback).
    void idle() override;
    long setKnobMode(int mode) override;
    bool onWheel(float distance) override;
    // A parameter of the effect changed: the derived editors mirror it.
    void setParameter(VstInt32 index, float value) override;
    // Draws the whole frame (no host request reaches it).
    virtual void draw(ERect* rect);

    // What the frame needs of its owner.
    void trackingIdle() override;
    bool beginEdit(int tag) override;
    bool endEdit(int tag) override;
    int knobMode() const override { return klv::knobMode; }
    gui::WindowSystem& windowSystem() const override { return *system_; }

    gui::Frame* getFrame() const { return frame_.get(); }
    // The window system later frames are made with (tests and snapshots use
    // a memory one); the platform's by default.
    void setWindowSystem(gui::WindowSystem& system) { system_ = &system; }

protected:
    // On the window's thread, before each redraw: apply what other threads
    // left word of.
    virtual void applyPending() {}
    // At the end of an idle that ran (the meters).
    virtual void afterIdle() {}
    // Creates the frame in parentWindow with the editor's size; false (and
    // no frame) when the window system refused the parent.
    bool createFrame(void* parentWindow);

    ERect rect_{0, 0, 0, 0};
    gui::Ref<gui::Frame> frame_;

private:
    void redraw();

    gui::WindowSystem* system_;
};

}  // namespace klv
