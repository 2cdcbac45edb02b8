// Catching the X errors of requests that may fail, without leaving a handler
// of ours behind. Xlib's error handler is one per process and its default
// exits the process, so an editor living in a host's process may install its
// own only for the requests it knows may fail (a parent that is gone, a
// shared-memory attach the server refuses), and must put the host's back at
// once.
#pragma once

#include <X11/Xlib.h>

#include <mutex>

namespace klv::gui::x11 {

// While an ErrorTrap lives, errors of its display's requests are recorded
// instead of reaching the process's handler; errors of other displays (the
// host's connection) go on to the handler that was installed before. The
// destructor puts that handler back.
//
// Requests that answer (XGetWindowAttributes, XQueryPointer) have met their
// error when they return; requests that do not (XPutImage, XDestroyWindow,
// XShmAttach) need sync() before the trap ends, or their error would reach
// the host's handler later.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits until the server has handled every request sent so far; answers
    // error().
    int sync();
    // The code of the first error caught (BadWindow, BadAccess, ...), 0 when
    // none.
    int error() const;

private:
    // One trap at a time in this library: the handler finds its state in
    // statics, and handlers must be restored in the order they were set.
    // (Another library's traps, on the same GUI thread as all editor calls
    // of a host, never interleave with these.)
    std::unique_lock<std::mutex> lock_;
    Display* display_;
    XErrorHandler previous_;
};

// A fatal I/O error (the connection broke: the client was killed, the server
// went away) ends the process by default, twice over: Xlib's default I/O
// error handler for the whole process exits, and so does each connection's
// exit handler. The editor's connection gets an exit handler of its own that
// only marks it lost (watchConnection), and while a ConnectionGuard lives an
// I/O error handler of ours stands in for the process's: it returns for the
// guarded connection, so that the call in progress unwinds, and passes any
// other connection's error on to the handler installed before. Every Xlib
// call on the editor's connection runs inside a guard; guards nest on one
// thread.
class ConnectionGuard {
public:
    explicit ConnectionGuard(Display* display);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

private:
    std::unique_lock<std::recursive_mutex> lock_;
    Display* outerDisplay_;
};

// Makes *lost true when display's connection breaks, instead of ending the
// process (libX11 1.7 and later). Xlib answers further calls on a broken
// connection at once, without doing anything.
void watchConnection(Display* display, bool* lost);

}  // namespace klv::gui::x11
