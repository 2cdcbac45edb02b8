#include "gui/x11/x11_window.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "gui/frame.h"
#include "gui/x11/x_error_trap.h"

namespace klv::gui::x11 {

namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;

bool isEmpty(Rect r) {
    return r.left >= r.right || r.top >= r.bottom;
}

Rect unite(Rect a, Rect b) {
    if (isEmpty(a)) return b;
    if (isEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// The child window inside parent, in the parent's visual when the raster
// pixels fit it, else in the screen's default visual when they fit that.
// Requests only; the caller's trap catches their errors.
ChildWindow createChild(Display* display, Window parent, const XWindowAttributes& parentAttributes, int width,
                        int height) {
    ChildWindow child{0, parentAttributes.visual, parentAttributes.depth};
    XSetWindowAttributes attributes{};
    unsigned long valueMask = CWBackPixmap | CWEventMask;
    // No background: the server leaves exposed areas alone until the editor
    // paints them, instead of flashing a fill first.
    attributes.background_pixmap = None;
    attributes.event_mask = kEventMask;
    if (!matchesRasterPixels(child.visual, child.depth)) {
        Screen* screen = parentAttributes.screen;
        child.visual = DefaultVisualOfScreen(screen);
        child.depth = DefaultDepthOfScreen(screen);
        if (!matchesRasterPixels(child.visual, child.depth)) return {};
        // A window of another visual than its parent's needs a colormap and
        // border pixel of its own, or the server answers BadMatch.
        attributes.colormap = DefaultColormapOfScreen(screen);
        attributes.border_pixel = 0;
        valueMask |= CWColormap | CWBorderPixel;
    }
    child.window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 child.depth, InputOutput, child.visual, valueMask, &attributes);
    XMapWindow(display, child.window);
    return child;
}

}  // namespace

std::unique_ptr<X11WindowPort> X11WindowPort::create(Frame& frame, Window parent, int width, int height,
                                                     bool trySharedMemory) {
    if (parent == 0 || width <= 0 || height <= 0) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    ChildWindow child;
    GC gc = nullptr;
    {
        // The parent is the host's word only: a stale or invented id must
        // cost an answer of null, not the process.
        ErrorTrap trap(display);
        XWindowAttributes parentAttributes;
        if (XGetWindowAttributes(display, parent, &parentAttributes) && parentAttributes.c_class == InputOutput) {
            child = createChild(display, parent, parentAttributes, width, height);
            if (child.window) gc = XCreateGC(display, child.window, 0, nullptr);
        }
        // The parent may also vanish while the child is being made.
        if (trap.sync() != 0) child.window = 0;
    }
    if (!child.window) {
        // Whatever was made on this connection goes with it.
        XCloseDisplay(display);
        return nullptr;
    }
    return std::unique_ptr<X11WindowPort>(new X11WindowPort(frame, display, child, gc, width, height, trySharedMemory));
}

X11WindowPort::X11WindowPort(Frame& frame, Display* display, const ChildWindow& child, GC gc, int width, int height,
                             bool trySharedMemory)
    : frame_(&frame),
      display_(display),
      window_(child.window),
      gc_(gc),
      pixels_(width, height),
      surface_(pixels_),
      image_(std::make_unique<WindowImage>(display, child.visual, child.depth, width, height, trySharedMemory)) {
    XFlush(display_);
}

X11WindowPort::~X11WindowPort() {
    {
        // The host may have destroyed its window, and ours with it, before
        // closing the editor, and the notification may still be unread.
        ErrorTrap trap(display_);
        if (alive_) XDestroyWindow(display_, window_);
        image_.reset();
        XFreeGC(display_, gc_);
        trap.sync();
    }
    XCloseDisplay(display_);
}

void* X11WindowPort::handle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
}

Surface* X11WindowPort::beginDraw() {
    if (!alive_) return nullptr;
    presentTouched();
    return &surface_;
}

void X11WindowPort::endDraw(Surface*) {
    presentTouched();
}

// The server shows nothing until it gets the pixels, while a Win32 window
// shows every draw at once. A control that draws on its click's context
// during a drag comes back here every step to read the pointer, so what it
// drew is shown then.
unsigned X11WindowPort::mouseButtons() {
    presentTouched();
    int x = 0;
    int y = 0;
    unsigned modifiers = 0;
    bool sameScreen = false;
    if (!queryPointer(x, y, modifiers, sameScreen)) return 0;
    unsigned buttons = 0;
    if (modifiers & Button1Mask) buttons |= kLeftButton;
    if (modifiers & Button2Mask) buttons |= kMiddleButton;
    if (modifiers & Button3Mask) buttons |= kRightButton;
    if (modifiers & ShiftMask) buttons |= kShiftKey;
    if (modifiers & ControlMask) buttons |= kControlKey;
    if (modifiers & Mod1Mask) buttons |= kAltKey;
    return buttons;
}

Point X11WindowPort::mousePosition() {
    int x = 0;
    int y = 0;
    unsigned modifiers = 0;
    bool sameScreen = false;
    // On another screen the server gives no window coordinates: the last
    // known position stands.
    if (queryPointer(x, y, modifiers, sameScreen) && sameScreen) lastPointer_ = {x, y};
    return lastPointer_;
}

bool X11WindowPort::queryPointer(int& x, int& y, unsigned& modifiers, bool& sameScreen) {
    if (!alive_) return false;
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    ErrorTrap trap(display_);
    sameScreen = XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &modifiers);
    if (trap.error() == 0) return true;
    lost();
    return false;
}

void X11WindowPort::dispatchPaint() {
    presentTouched();
    XEvent event;
    while (alive_ && XCheckTypedWindowEvent(display_, window_, Expose, &event)) expose(event.xexpose);
}

void X11WindowPort::serviceEvents() {
    presentTouched();
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        handleEvent(event);
    }
}

void X11WindowPort::handleEvent(const XEvent& event) {
    if (!alive_ || event.xany.window != window_) return;
    switch (event.type) {
        case Expose:
            expose(event.xexpose);
            break;
        case ButtonPress: {
            const Point where{event.xbutton.x, event.xbutton.y};
            const unsigned button = event.xbutton.button;
            if (button == Button1 || button == Button2 || button == Button3) {
                presentTouched();
                frame_->buttonDown(&surface_, where);
                presentTouched();
            } else if (button == Button4 || button == Button5) {
                frame_->wheelTurned(where, button == Button4 ? 1.0f : -1.0f);
            }
            break;
        }
        case DestroyNotify:
            lost();
            break;
        default:
            break;
    }
}

void X11WindowPort::expose(const XExposeEvent& event) {
    exposed_ = unite(exposed_, {event.x, event.y, event.x + event.width, event.y + event.height});
    if (event.count > 0) return;
    const Rect area = exposed_;
    exposed_ = {};
    presentTouched();
    frame_->paintWindow(surface_);
    // The whole frame was drawn, but only the exposed part needs sending:
    // the rest of the window already shows these pixels.
    surface_.resetTouched();
    present(area);
}

void X11WindowPort::presentTouched() {
    const Rect touched = surface_.touched();
    surface_.resetTouched();
    present(touched);
}

void X11WindowPort::present(Rect area) {
    if (!alive_ || isEmpty(area)) return;
    ErrorTrap trap(display_);
    image_->put(window_, gc_, pixels_, area);
    // Also what makes a shared segment free to be written again.
    const int error = trap.sync();
    if (error == BadWindow || error == BadDrawable) lost();
}

void X11WindowPort::lost() {
    if (!alive_) return;
    alive_ = false;
    frame_->windowDestroyed();
}

std::unique_ptr<WindowPort> X11WindowSystem::createWindow(Frame& frame, void* parent, int width, int height) {
    return X11WindowPort::create(frame, static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent)), width, height,
                                 trySharedMemory);
}

std::unique_ptr<Surface> X11WindowSystem::createOffscreen(WindowPort*, int width, int height) {
    return std::make_unique<raster::OffscreenRasterSurface>(width, height);
}

std::uint32_t X11WindowSystem::ticks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void X11WindowSystem::sleep(std::uint32_t ms) {
    timespec remaining{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace klv::gui::x11

namespace klv::gui {

WindowSystem& platformWindowSystem() {
    static x11::X11WindowSystem system;
    return system;
}

}  // namespace klv::gui
