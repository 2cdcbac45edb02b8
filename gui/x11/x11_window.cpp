#include "gui/x11/x11_window.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "gui/frame.h"
#include "gui/x11/x_error_trap.h"

namespace klv::gui::x11 {

namespace {

// Motions only while a button is held: the drags. The press's implicit
// grab brings them and the release even when the pointer leaves the window.
constexpr long kEventMask =
    ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | LeaveWindowMask | StructureNotifyMask;

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

unsigned buttonBit(unsigned button) {
    switch (button) {
        case Button1:
            return kLeftButton;
        case Button2:
            return kMiddleButton;
        case Button3:
            return kRightButton;
        default:
            return 0;
    }
}

// MouseBits of an event's state field (which X gives as it was before the
// event).
unsigned mouseBits(unsigned state) {
    unsigned bits = 0;
    if (state & Button1Mask) bits |= kLeftButton;
    if (state & Button2Mask) bits |= kMiddleButton;
    if (state & Button3Mask) bits |= kRightButton;
    if (state & ShiftMask) bits |= kShiftKey;
    if (state & ControlMask) bits |= kControlKey;
    if (state & Mod1Mask) bits |= kAltKey;
    return bits;
}

}  // namespace

std::unique_ptr<X11WindowPort> X11WindowPort::create(Frame& frame, Window parent, int width, int height,
                                                     bool trySharedMemory) {
    if (parent == 0 || width <= 0 || height <= 0) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    auto connectionLost = std::make_unique<bool>(false);
    watchConnection(display, connectionLost.get());
    ConnectionGuard guard(display);
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
        if (trap.sync() != 0 || *connectionLost) child.window = 0;
    }
    if (!child.window) {
        // Whatever was made on this connection goes with it.
        XCloseDisplay(display);
        return nullptr;
    }
    return std::unique_ptr<X11WindowPort>(
        new X11WindowPort(frame, display, std::move(connectionLost), child, gc, width, height, trySharedMemory));
}

X11WindowPort::X11WindowPort(Frame& frame, Display* display, std::unique_ptr<bool> connectionLost,
                             const ChildWindow& child, GC gc, int width, int height, bool trySharedMemory)
    : frame_(&frame),
      display_(display),
      connectionLost_(std::move(connectionLost)),
      child_(child),
      trySharedMemory_(trySharedMemory),
      window_(child.window),
      gc_(gc),
      pixels_(width, height),
      surface_(pixels_),
      image_(std::make_unique<WindowImage>(display, child.visual, child.depth, width, height, trySharedMemory)) {
    XFlush(display_);
}

X11WindowPort::~X11WindowPort() {
    ConnectionGuard guard(display_);
    {
        // The host may have destroyed its window, and ours with it, before
        // closing the editor, and the notification may still be unread. On
        // a broken connection Xlib does none of these; the shared segment is
        // let go all the same.
        ErrorTrap trap(display_);
        if (alive_) XDestroyWindow(display_, window_);
        image_.reset();
        XFreeGC(display_, gc_);
        trap.sync();
    }
    XCloseDisplay(display_);
}

void X11WindowPort::resize(int width, int height) {
    if (!alive_ || width <= 0 || height <= 0) return;
    ConnectionGuard guard(display_);
    ErrorTrap trap(display_);
    XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    image_.reset();
    image_ = std::make_unique<WindowImage>(display_, child_.visual, child_.depth, width, height, trySharedMemory_);
    pixels_ = raster::PixelBuffer(width, height);
    surface_.resetTouched();
    if (trap.sync() == BadWindow) lost();
}

void* X11WindowPort::handle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
}

// The server shows nothing until it gets the pixels, while a Win32 window
// shows every draw at once: what a draw outside serviceEvents touched is
// sent at its end.
Surface* X11WindowPort::beginDraw() {
    if (!alive_) return nullptr;
    if (!servicing_) presentTouched();
    return &surface_;
}

void X11WindowPort::endDraw(Surface*) {
    if (!servicing_) presentTouched();
}

unsigned X11WindowPort::mouseButtons() {
    int x = 0;
    int y = 0;
    unsigned modifiers = 0;
    bool sameScreen = false;
    if (!queryPointer(x, y, modifiers, sameScreen)) return 0;
    return mouseBits(modifiers);
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
    ConnectionGuard guard(display_);
    ErrorTrap trap(display_);
    sameScreen = XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &modifiers);
    if (trap.error() == 0 && !*connectionLost_) return true;
    lost();
    return false;
}

// A press and its release may both be waiting (a quick click between two
// idles): each is handled with the state it carried. The entry may end with
// the frame destroying this port: nothing after it.
void X11WindowPort::serviceEvents() {
    Frame::Entry entry(frame_);
    ConnectionGuard guard(display_);
    presentTouched();
    servicing_ = true;
    while (alive_ && !frame_->isClosing() && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        handleEvent(event);
    }
    servicing_ = false;
    if (*connectionLost_) lost();
    presentTouched();
}

void X11WindowPort::handleEvent(const XEvent& event) {
    if (event.xany.window != window_) return;
    switch (event.type) {
        case Expose:
            expose(event.xexpose);
            break;
        case ButtonPress:
        case ButtonRelease: {
            const XButtonEvent& b = event.xbutton;
            const Point where{b.x, b.y};
            const unsigned bit = buttonBit(b.button);
            if (bit == 0) {
                // Buttons 4 and 5 are the wheel, one notch per press.
                if (event.type == ButtonPress && (b.button == Button4 || b.button == Button5))
                    frame_->wheelTurned(where, b.button == Button4 ? 1.0f : -1.0f, mouseBits(b.state));
            } else if (event.type == ButtonPress) {
                frame_->buttonDown(&surface_, where, mouseBits(b.state) | bit);
            } else {
                frame_->buttonUp(&surface_, where, mouseBits(b.state) & ~bit);
            }
            break;
        }
        case MotionNotify:
            frame_->pointerMoved(&surface_, {event.xmotion.x, event.xmotion.y}, mouseBits(event.xmotion.state));
            break;
        case LeaveNotify:
            // Another client took the pointer (an active grab): the release
            // of a drag would never come here.
            if (event.xcrossing.mode == NotifyGrab) frame_->cancelDrag();
            break;
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
    ConnectionGuard guard(display_);
    ErrorTrap trap(display_);
    image_->put(window_, gc_, pixels_, area);
    // Also what makes a shared segment free to be written again.
    const int error = trap.sync();
    if (error == BadWindow || error == BadDrawable || *connectionLost_) lost();
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

namespace {

// "Xft.dpi:\t144" among the resource lines; 0 when absent.
double xftDpi(const char* resources) {
    if (!resources) return 0.0;
    for (const char* line = resources; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::size_t length = end ? static_cast<std::size_t>(end - line) : std::strlen(line);
        static constexpr char kKey[] = "Xft.dpi:";
        if (length > sizeof kKey - 1 && std::strncmp(line, kKey, sizeof kKey - 1) == 0) {
            const double dpi =
                std::strtod(std::string(line + sizeof kKey - 1, length - (sizeof kKey - 1)).c_str(), nullptr);
            return dpi > 0.0 ? dpi : 0.0;
        }
        if (!end) break;
        line = end + 1;
    }
    return 0.0;
}

double environmentNumber(const char* name) {
    const char* text = std::getenv(name);
    const double value = text ? std::strtod(text, nullptr) : 0.0;
    return value > 0.0 ? value : 0.0;
}

}  // namespace

double X11WindowSystem::displayScale(void* parent) {
    static std::mutex mutex;
    static double known = 0.0;
    const std::lock_guard<std::mutex> lock(mutex);
    if (known > 0.0 && !parent) return known;
    double dpi = 0.0;
    if (Display* display = XOpenDisplay(nullptr)) {
        {
            ConnectionGuard guard(display);
            dpi = xftDpi(XResourceManagerString(display));
        }
        XCloseDisplay(display);
    }
    double scale = dpi > 0.0 ? dpi / 96.0 : environmentNumber("GDK_SCALE");
    if (!(scale > 0.0)) scale = environmentNumber("QT_SCALE_FACTOR");
    known = scale > 0.0 ? scale : 1.0;
    return known;
}

std::unique_ptr<Surface> X11WindowSystem::createOffscreen(WindowPort*, int width, int height) {
    return std::make_unique<raster::OffscreenRasterSurface>(width, height);
}

}  // namespace klv::gui::x11

namespace klv::gui {

WindowSystem& platformWindowSystem() {
    static x11::X11WindowSystem system;
    return system;
}

}  // namespace klv::gui
