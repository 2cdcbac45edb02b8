#include "gui/x11/window_image.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <algorithm>

#include "gui/x11/x_error_trap.h"

namespace klv::gui::x11 {

namespace {

constexpr int kNativeByteOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;

// MIT-SHM needs the server on this machine: a connection over a Unix
// socket. (A TCP connection to localhost would do as well but is rare, and
// the attach check below refuses what the server cannot reach anyway.)
bool isLocalConnection(Display* display) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (getsockname(ConnectionNumber(display), reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    return address.ss_family == AF_UNIX;
}

}  // namespace

bool matchesRasterPixels(const Visual* visual, int depth) {
    return visual && visual->c_class == TrueColor && (depth == 24 || depth == 32) && visual->red_mask == 0xFF0000 &&
           visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
}

WindowImage::WindowImage(Display* display, Visual* visual, int depth, int width, int height, bool trySharedMemory)
    : display_(display), depth_(depth), width_(width), height_(height) {
    if (trySharedMemory && isLocalConnection(display) && XShmQueryExtension(display) && attachSharedMemory(visual))
        return;
    // 32 bits per pixel in client order; XPutImage converts to whatever the
    // server keeps. At depth 24 the raster buffer itself is such an image
    // and is sent as it is; at 32 the top byte must be made opaque first.
    if (depth == 32) plainPixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    plain_.width = width;
    plain_.height = height;
    plain_.format = ZPixmap;
    plain_.data = reinterpret_cast<char*>(plainPixels_.data());
    plain_.byte_order = kNativeByteOrder;
    plain_.bitmap_unit = 32;
    plain_.bitmap_bit_order = kNativeByteOrder;
    plain_.bitmap_pad = 32;
    plain_.depth = depth;
    plain_.bytes_per_line = width * 4;
    plain_.bits_per_pixel = 32;
    plain_.red_mask = visual->red_mask;
    plain_.green_mask = visual->green_mask;
    plain_.blue_mask = visual->blue_mask;
    XInitImage(&plain_);
}

WindowImage::~WindowImage() {
    detachSharedMemory();
}

bool WindowImage::attachSharedMemory(Visual* visual) {
    XImage* image = XShmCreateImage(display_, visual, depth_, ZPixmap, nullptr, &segment_, width_, height_);
    if (!image) return false;
    // The segment is written as 32-bit words; a server that keeps this depth
    // in another layout gets XPutImage, which converts.
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image);
        return false;
    }
    segment_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * height_, IPC_CREAT | 0600);
    void* address = segment_.shmid >= 0 ? shmat(segment_.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
    bool attached = false;
    if (address != reinterpret_cast<void*>(-1)) {
        segment_.shmaddr = image->data = static_cast<char*>(address);
        segment_.readOnly = True;
        // A server in another IPC namespace, or running as another user,
        // refuses the segment with an error (BadAccess) that would otherwise
        // end the process.
        ErrorTrap trap(display_);
        attached = XShmAttach(display_, &segment_) && trap.sync() == 0;
    }
    // Marked for removal now that both sides hold it (or failed to): it
    // disappears with the last detach, also if this process dies first.
    if (segment_.shmid >= 0) shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (address != reinterpret_cast<void*>(-1)) shmdt(address);
        image->data = nullptr;
        XDestroyImage(image);
        segment_ = {};
        return false;
    }
    shared_ = image;
    return true;
}

void WindowImage::detachSharedMemory() {
    if (!shared_) return;
    XShmDetach(display_, &segment_);
    shmdt(segment_.shmaddr);
    // The data is the segment, not Xlib's to free.
    shared_->data = nullptr;
    XDestroyImage(shared_);
    shared_ = nullptr;
}

void WindowImage::put(Window window, GC gc, const raster::PixelBuffer& pixels, Rect r) {
    const int left = std::max(r.left, 0);
    const int top = std::max(r.top, 0);
    const int right = std::min({r.right, width_, pixels.width});
    const int bottom = std::min({r.bottom, height_, pixels.height});
    if (left >= right || top >= bottom) return;
    const auto w = static_cast<unsigned>(right - left);
    const auto h = static_cast<unsigned>(bottom - top);
    if (!shared_ && depth_ != 32) {
        if (pixels.width != width_) return;
        plain_.data = reinterpret_cast<char*>(const_cast<std::uint32_t*>(pixels.pixels.data()));
        XPutImage(display_, window, gc, &plain_, left, top, left, top, w, h);
        plain_.data = nullptr;
        return;
    }
    XImage* image = shared_ ? shared_ : &plain_;
    // A 32-bit visual takes the top byte as opacity: the raster buffer's 0
    // there would make the editor invisible under a compositor.
    const std::uint32_t opaque = depth_ == 32 ? 0xFF000000u : 0u;
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t* from = &pixels.pixels[static_cast<std::size_t>(y) * pixels.width];
        auto* to = reinterpret_cast<std::uint32_t*>(image->data + static_cast<std::size_t>(y) * image->bytes_per_line);
        for (int x = left; x < right; ++x) to[x] = from[x] | opaque;
    }
    if (shared_)
        XShmPutImage(display_, window, gc, shared_, left, top, left, top, w, h, False);
    else
        XPutImage(display_, window, gc, &plain_, left, top, left, top, w, h);
}

}  // namespace klv::gui::x11
