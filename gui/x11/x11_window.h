// The editor window on Linux: a child of the host's X11 window, on a display
// connection of the editor's own, showing the raster side's pixels.
//
// The host hands its window's id to effEditOpen and calls effEditIdle from
// its GUI thread; the editor services its window's events there
// (serviceEvents) and starts no thread. Nothing of the host's connection is
// used: the parent's id is valid on any connection to the same server. A
// broken connection makes the window lost, never the process end; the next
// open makes a new connection.
#pragma once

#include <X11/Xlib.h>

#include <memory>

#include "gui/raster/pixel_buffer.h"
#include "gui/raster/raster_surface.h"
#include "gui/window_system.h"
#include "gui/x11/window_image.h"

namespace klv::gui::x11 {

// A child window as made, with the visual and depth it got.
struct ChildWindow {
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
};

class X11WindowPort : public WindowPort {
public:
    // Opens a connection and makes the child window; null when there is no
    // display, the parent is 0, not a window (any more) or of a kind the
    // raster pixels cannot be shown in. Nothing is left behind on failure.
    static std::unique_ptr<X11WindowPort> create(Frame& frame, Window parent, int width, int height,
                                                 bool trySharedMemory);
    ~X11WindowPort() override;

    void* handle() const override;
    Surface* beginDraw() override;
    void endDraw(Surface* surface) override;
    unsigned mouseButtons() override;
    Point mousePosition() override;
    // The waiting events in order; what their handlers draw is shown once,
    // at the end.
    void serviceEvents() override;
    // No drag-and-drop protocol on X11: registering fails, revoking succeeds.
    bool setDropRegistered(bool registered) override { return !registered; }
    void resize(int width, int height) override;

    Display* display() const { return display_; }
    Window window() const { return window_; }
    bool sharedMemory() const { return image_->sharedMemory(); }
    const raster::PixelBuffer& pixels() const { return pixels_; }
    // The connection broke (its client was killed, the server went away).
    bool connectionLost() const { return *connectionLost_; }

private:
    X11WindowPort(Frame& frame, Display* display, std::unique_ptr<bool> connectionLost, const ChildWindow& child, GC gc,
                  int width, int height, bool trySharedMemory);

    void handleEvent(const XEvent& event);
    // Gathers an Expose into the pending area; paints the frame and shows
    // that area when it is the last of its series (count 0).
    void expose(const XExposeEvent& event);
    // A round trip for the pointer; false when the window is gone.
    bool queryPointer(int& x, int& y, unsigned& modifiers, bool& sameScreen);
    // Shows what was drawn into the buffer since the last presentation.
    void presentTouched();
    void present(Rect area);
    // The window went away under us (the host destroyed its parent, or the
    // connection broke): no more requests for it; the frame stops drawing.
    void lost();

    Frame* frame_;
    Display* display_;
    std::unique_ptr<bool> connectionLost_;  // set by Xlib's exit handler
    ChildWindow child_;
    bool trySharedMemory_;
    Window window_;
    GC gc_ = nullptr;
    raster::PixelBuffer pixels_;
    raster::RasterSurface surface_;
    std::unique_ptr<WindowImage> image_;
    Rect exposed_;  // union of an Expose series not yet painted
    Point lastPointer_;
    bool alive_ = true;
    bool servicing_ = false;  // handlers' drawing is shown when serviceEvents ends
};

class X11WindowSystem : public WindowSystem {
public:
    std::unique_ptr<WindowPort> createWindow(Frame& frame, void* parent, int width, int height) override;
    // A RasterSurface owning its pixels.
    std::unique_ptr<Surface> createOffscreen(WindowPort* window, int width, int height) override;
    // Xft.dpi of the server's resource database over 96, else GDK_SCALE,
    // else QT_SCALE_FACTOR, else 1. Read again at every open (a parent is
    // given), kept for the sizes asked before one.
    double displayScale(void* parent) override;
    // Off: every window sends its pixels with XPutImage (to test that path,
    // and for servers whose shared memory misbehaves).
    bool trySharedMemory = true;
};

}  // namespace klv::gui::x11
