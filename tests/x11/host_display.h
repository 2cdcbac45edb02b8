// The test host's side of X11: its own connection, top-level windows to
// embed editors in, what the server says about their children, screenshots,
// and an error handler that counts every X error reaching the process.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "gui/raster/pixel_buffer.h"

namespace klv::x11host {

class HostDisplay {
public:
    // Opens $DISPLAY and installs the counting error handler.
    HostDisplay();
    ~HostDisplay();
    HostDisplay(const HostDisplay&) = delete;
    HostDisplay& operator=(const HostDisplay&) = delete;

    bool ok() const { return display_ != nullptr; }
    Display* display() const { return display_; }

    // A top-level window of width x height at (left, 0) of the screen,
    // mapped unless told otherwise.
    Window createWindow(int width, int height, bool mapped = true, int left = 0);
    void map(Window window);
    void destroy(Window window);
    // Waits until the server has handled everything sent so far.
    void sync();

    std::vector<Window> children(Window parent);
    // Position, size and whether it is viewable; false when no such window.
    bool geometry(Window window, int& x, int& y, int& width, int& height, bool& viewable);
    // The window's pixels as the server has them (0x00RRGGBB); an empty
    // buffer when it cannot be read.
    gui::raster::PixelBuffer screenshot(Window window);
    // Paints the window over in one colour from this connection and asks
    // for an Expose, so its owner has to paint it again.
    void spoil(Window window, unsigned long colour);
    // An id that names no window: one made and destroyed again.
    Window staleWindowId();
    // Ends the connection of the client that made window, as a window
    // manager's kill does.
    void killClient(Window window);

    // X errors that reached the process's handler (those an editor caught
    // itself never do), and whether that handler is still this host's.
    static int errors();
    static bool handlerInstalled();

private:
    Display* display_;
};

// Open descriptors of this process (a display connection is one).
int openDescriptors();
// System V shared-memory segments created by this process and still there.
int sharedSegments();

}  // namespace klv::x11host
