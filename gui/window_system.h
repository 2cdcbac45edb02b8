// The platform's side of a frame: its child window, its events, the pointer.
// gui/win32 implements it with Win32, gui/x11 with Xlib over the raster side,
// and gui/raster has a memory-only one for tests and snapshots.
#pragma once

#include <memory>

#include "gui/geometry.h"
#include "gui/surface.h"

namespace klv::gui {

class Frame;

// A frame's child window. The platform turns its messages into calls of the
// frame's window entry points (Frame::paintWindow, buttonDown, pointerMoved,
// buttonUp, wheelTurned, windowDestroyed), on the window's thread, each
// inside a Frame::Entry and with the buttons and modifiers of its event. A
// press captures the pointer (the system's capture, or X11's implicit grab)
// so that the drag's motions and release come back to the window.
class WindowPort {
public:
    // Destroys the child window if it still exists.
    virtual ~WindowPort() = default;

    // HWND or X11 window id.
    virtual void* handle() const = 0;
    // The window's device context for drawing outside a paint, or null when
    // the window is gone; every beginDraw is paired with an endDraw, which
    // releases it (and, on X11, shows what was drawn).
    virtual Surface* beginDraw() = 0;
    virtual void endDraw(Surface* surface) = 0;
    // Buttons and modifiers now (MouseBits), for the rare question that no
    // event answers (the host's own wheel notification).
    virtual unsigned mouseButtons() = 0;
    // The pointer relative to the window's top-left corner.
    virtual Point mousePosition() = 0;
    // Handles every waiting event of the window (paint, buttons, motion,
    // wheel), in order; stops early when a handler closed the frame. Win32
    // windows get their messages from the host's loop: nothing there.
    virtual void serviceEvents() = 0;
    // Registers (true) or revokes (false) the window as a drop target.
    virtual bool setDropRegistered(bool registered) = 0;
    // A new size in device pixels (the editor's scale changed); what it
    // shows is drawn anew by the frame.
    virtual void resize(int width, int height) = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // A child window of width x height at (0, 0) inside parent, shown, that
    // reports to frame; null when it cannot be made (bad parent, no display).
    virtual std::unique_ptr<WindowPort> createWindow(Frame& frame, void* parent, int width, int height) = 0;
    // A memory surface of width x height compatible with the window (which
    // may be null), for offscreen composition; null on failure.
    virtual std::unique_ptr<Surface> createOffscreen(WindowPort* window, int width, int height) = 0;
    // How much larger than at 96 dpi things should look on the display
    // that parent (the host's window, or null before there is one) shows on.
    virtual double displayScale(void* /*parent*/) { return 1.0; }
    // OLE for the calling thread (drag and drop); nothing where there is none.
    virtual void initializeOle() {}
    virtual void uninitializeOle() {}
};

// The window system of this build's platform (Win32 on Windows, X11 on
// Linux). Lives as long as the module.
WindowSystem& platformWindowSystem();

}  // namespace klv::gui
