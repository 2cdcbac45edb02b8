// What a frame needs of the editor that owns it. The editor base implements
// it; the toolkit knows no more of editors or effects than this.
#pragma once

#include "gui/window_system.h"

namespace klv::gui {

class FrameOwner {
public:
    // After one step of a drag, on the window's thread: what other threads
    // changed meanwhile is applied and the dirty views are drawn, so that the
    // read-outs follow the pointer. Never waits and never calls the host.
    virtual void trackingIdle() = 0;
    // The host hears that a control's drag starts and ends.
    virtual bool beginEdit(int tag) = 0;
    virtual bool endEdit(int tag) = 0;
    // 2: knobs drag linearly unless Alt is held; anything else: circularly.
    virtual int knobMode() const = 0;
    // Where the frame's window, offscreen surfaces and clock come from.
    virtual WindowSystem& windowSystem() const = 0;
    // Device pixels per design pixel that new frames draw at.
    virtual float scale() const = 0;
    // The window's display now asks for another scale (the window moved to
    // another monitor, its settings changed): the owner decides.
    virtual void displayScaleChanged() {}

protected:
    ~FrameOwner() = default;
};

}  // namespace klv::gui
