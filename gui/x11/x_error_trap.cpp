#include "gui/x11/x_error_trap.h"

#include <atomic>

namespace klv::gui::x11 {

namespace {

std::mutex trapMutex;
std::atomic<Display*> trappedDisplay{nullptr};
std::atomic<int> firstError{0};
std::atomic<XErrorHandler> handlerBefore{nullptr};

int recordError(Display* display, XErrorEvent* event) {
    if (display == trappedDisplay.load()) {
        int none = 0;
        firstError.compare_exchange_strong(none, event->error_code);
        return 0;
    }
    // Another connection's error (the host's, on another thread): whatever
    // the host set up handles it.
    const XErrorHandler before = handlerBefore.load();
    return before ? before(display, event) : 0;
}

}  // namespace

ErrorTrap::ErrorTrap(Display* display) : lock_(trapMutex), display_(display) {
    trappedDisplay.store(display);
    firstError.store(0);
    previous_ = XSetErrorHandler(recordError);
    handlerBefore.store(previous_);
}

ErrorTrap::~ErrorTrap() {
    XSetErrorHandler(previous_);
    trappedDisplay.store(nullptr);
    handlerBefore.store(nullptr);
}

int ErrorTrap::sync() {
    XSync(display_, False);
    return error();
}

int ErrorTrap::error() const {
    return firstError.load();
}

namespace {

std::recursive_mutex guardMutex;
int guardDepth = 0;  // under guardMutex
std::atomic<Display*> guardedDisplay{nullptr};
std::atomic<XIOErrorHandler> ioHandlerBefore{nullptr};

int onIoError(Display* display) {
    if (display == guardedDisplay.load()) return 0;
    const XIOErrorHandler before = ioHandlerBefore.load();
    return before ? before(display) : 0;
}

void markLost(Display*, void* lost) {
    *static_cast<bool*>(lost) = true;
}

}  // namespace

ConnectionGuard::ConnectionGuard(Display* display) : lock_(guardMutex), outerDisplay_(guardedDisplay.load()) {
    guardedDisplay.store(display);
    if (guardDepth++ == 0) ioHandlerBefore.store(XSetIOErrorHandler(onIoError));
}

ConnectionGuard::~ConnectionGuard() {
    if (--guardDepth == 0) {
        XSetIOErrorHandler(ioHandlerBefore.load());
        ioHandlerBefore.store(nullptr);
    }
    guardedDisplay.store(outerDisplay_);
}

void watchConnection(Display* display, bool* lost) {
    XSetIOErrorExitHandler(display, markLost, lost);
}

}  // namespace klv::gui::x11
