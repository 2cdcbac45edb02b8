// The Win32 window system: the frame's child window of class "Plugin%08x"
// inside the host's window, its window procedure, the pointer, the clock
// and OLE.
#pragma once

#include <windows.h>

#include <memory>

#include "gui/window_system.h"

namespace klv::gui::win32 {

class DropTarget;

// "Plugin%08x" of a module handle: eight hex digits, so the low 32 bits of
// it. That is all of a 32-bit handle. A 64-bit handle can differ from
// another module's only above bit 31 (its low 16 bits are 0, images being
// 64 KB aligned); registration then falls back to all 64 bits rather than
// share another module's class.
void windowClassName(HINSTANCE module, char (&name)[16]);

// This library's module handle: the module holding this code.
HINSTANCE moduleHandle();

class Win32WindowPort : public WindowPort {
public:
    Win32WindowPort(Frame& frame, HWND window);
    // Forgets the frame, revokes the drop target, destroys the window if it
    // still exists and drops the module's class use count.
    ~Win32WindowPort() override;

    void* handle() const override { return window_; }
    Surface* beginDraw() override;
    void endDraw(Surface* surface) override;
    unsigned mouseButtons() override;
    Point mousePosition() override;
    void serviceEvents() override {}
    bool setDropRegistered(bool registered) override;
    void resize(int width, int height) override;

    // The window procedure's side.
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void revokeDropTarget();
    // A mouse message to the frame, inside an Entry: after it the frame
    // may have destroyed this port.
    LRESULT mouseMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Frame& frame_;
    HWND window_;                       // null once the window is destroyed
    DropTarget* dropTarget_ = nullptr;  // one reference held while registered
    HBRUSH editBrush_ = nullptr;        // answered to edit-control colour requests
};

class Win32WindowSystem : public WindowSystem {
public:
    std::unique_ptr<WindowPort> createWindow(Frame& frame, void* parent, int width, int height) override;
    std::unique_ptr<Surface> createOffscreen(WindowPort* window, int width, int height) override;
    // The DPI of the parent window's monitor over 96 (GetDpiForWindow where
    // the system has it; else the device context's logical pixels). A host
    // that is not DPI aware sees 96 and gets scale 1: the system stretches.
    double displayScale(void* parent) override;
    void initializeOle() override;
    void uninitializeOle() override;
};

}  // namespace klv::gui::win32
