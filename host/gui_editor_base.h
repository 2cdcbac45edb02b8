// GuiEditorBase: the editor base of both plug-ins' windows. It attaches
// itself to its effect, holds the editor rectangle and the Frame, turns
// deferred update requests into redraws at idle, and keeps the host alive
// while a control tracks the mouse (trackingIdle).
#pragma once

#include <cstdint>

#include "gui/frame.h"
#include "gui/geometry.h"
#include "host/editor_base.h"

namespace klv {

// Module-wide: 2 makes knobs drag linearly by default, anything else
// circularly.
extern int knobMode;

class GuiEditorBase : public EditorBase {
public:
    explicit GuiEditorBase(EffectBase* effect);
    ~GuiEditorBase() override;

    long getRect(ERect** rect) override;
    long open(void* parentWindow) override;
    void idle() override;
    long setKnobMode(int mode) override;
    bool onWheel(float distance) override;
    // A parameter of the effect changed: the derived editors mirror it.
    void setParameter(VstInt32 index, float value) override;
    // Draws the whole frame (no host request reaches it).
    virtual void draw(ERect* rect);

    // One step of a control's mouse-tracking loop: pending update and dirty
    // views, waiting paint messages, and a host idle at most about every
    // 50 ms.
    void trackingIdle();
    void wait(std::uint32_t ms);
    std::uint32_t getTicks();

    gui::Frame* getFrame() const { return frame_; }
    gui::WindowSystem& windowSystem() const { return *system_; }
    // The window system later frames are made with (tests and snapshots use
    // a memory one); the platform's by default.
    void setWindowSystem(gui::WindowSystem& system) { system_ = &system; }

protected:
    // Releases the frame (and with it every view) and forgets it.
    void destroyFrame();

    ERect rect_{0, 0, 0, 0};
    gui::Frame* frame_ = nullptr;
    std::uint32_t lastTicks_;
    bool inIdle_ = false;

private:
    gui::WindowSystem* system_;
};

}  // namespace klv
