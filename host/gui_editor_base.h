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
//
// Scale: the editor draws at one of the supported scales (gui/scale.h),
// chosen, first match wins, from KLV_EDITOR_SCALE in the environment, the
// host's content scale (setContentScaleFactor), and the display the host's
// window shows on; getRect answers the size at that scale.
#pragma once

#include "gui/frame.h"
#include "gui/frame_owner.h"
#include "gui/geometry.h"
#include "gui/ref.h"
#include "gui/scale.h"
#include "host/editor_base.h"

namespace klv {

// Module-wide: 2 makes knobs drag linearly by default, anything else
// circularly.
extern int knobMode;

// An editor scale written as a factor ("1.5") or a percentage ("150%"),
// rounded to the nearest supported one; 0 for anything else.
float scaleFromText(const char* text);

class GuiEditorBase : public EditorBase, public gui::FrameOwner {
public:
    explicit GuiEditorBase(EffectBase* effect);
    ~GuiEditorBase() override;

    // The editor's size at its scale (the scale it will open at, before
    // open).
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
    // The host's scale: taken at once while open (the window resizes and
    // the host is asked to follow), else at the next open.
    bool setContentScaleFactor(float factor) override;

    // What the frame needs of its owner.
    void trackingIdle() override;
    bool beginEdit(int tag) override;
    bool endEdit(int tag) override;
    int knobMode() const override { return klv::knobMode; }
    gui::WindowSystem& windowSystem() const override { return *system_; }
    float scale() const override { return scale_; }
    void displayScaleChanged() override;
    // The scale the editor would take now.
    float chooseScale() const;
    // A scale that overrides every other source (tools, tests); 0 leaves
    // the choice to them again. Takes effect at the next open.
    void setFixedScale(float scale) { fixedScale_ = scale > 0.0f ? gui::nearestScale(scale) : 0.0f; }

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

    // The design's size, which derived editors set; rect_ is it at the
    // scale.
    ERect designRect_{0, 0, 0, 0};
    ERect rect_{0, 0, 0, 0};
    gui::Ref<gui::Frame> frame_;

private:
    void redraw();
    // Takes scale: rect_, and while open the frame and the host's window.
    void applyScale(float scale);

    gui::WindowSystem* system_;
    float scale_ = 1.0f;
    float hostScale_ = 0.0f;  // 0: the host gave none
    float fixedScale_ = 0.0f;
};

}  // namespace klv
