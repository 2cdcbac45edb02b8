// The editor window's pixels on their way to the X server: an image the
// raster buffer is copied into, shared with the server through MIT-SHM when
// the server is on this machine and accepts the segment, else sent in the
// requests of XPutImage.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

#include "gui/geometry.h"
#include "gui/raster/pixel_buffer.h"

namespace klv::gui::x11 {

// True when pixels of this visual are 0x00RRGGBB words, as the raster
// buffer holds them: TrueColor, depth 24 or 32, 8 bits per channel.
bool matchesRasterPixels(const Visual* visual, int depth);

class WindowImage {
public:
    // An image of width x height for windows of visual and depth (see
    // matchesRasterPixels). With trySharedMemory, MIT-SHM is used when the
    // display is local and the server attaches the segment.
    WindowImage(Display* display, Visual* visual, int depth, int width, int height, bool trySharedMemory);
    ~WindowImage();
    WindowImage(const WindowImage&) = delete;
    WindowImage& operator=(const WindowImage&) = delete;

    bool sharedMemory() const { return shared_ != nullptr; }

    // Sends the part r of pixels (clipped to the image) to the same place in
    // window. Errors are the caller's to catch; with shared memory the
    // caller must also wait (XSync) before the next put, as the server reads
    // the segment after the request was sent.
    void put(Window window, GC gc, const raster::PixelBuffer& pixels, Rect r);

private:
    bool attachSharedMemory(Visual* visual);
    void detachSharedMemory();

    Display* display_;
    int depth_;
    int width_;
    int height_;
    XImage* shared_ = nullptr;
    XShmSegmentInfo segment_{};
    XImage plain_{};
    std::vector<std::uint32_t> plainPixels_;
};

}  // namespace klv::gui::x11
