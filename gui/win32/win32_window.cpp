#include "gui/win32/win32_window.h"

#include <cstdio>
#include <new>

#include "gui/frame.h"
#include "gui/win32/gdi_surface.h"
#include "gui/win32/ole_drop_target.h"

namespace klv::gui::win32 {

namespace {

// WM_DPICHANGED_AFTERPARENT (Windows 10 1703), for headers that lack it.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window class is module-wide: registered by the first frame window of
// the module and unregistered with the last. Frame windows are created and
// destroyed on the host's user-interface thread only, so a plain count
// serves.
int classUseCount = 0;
char registeredClassName[24];

// Rare on 64-bit Windows: another module already holds our eight-digit name
// (its handle agrees with ours in the low 32 bits). Its class would run its
// window procedure on our windows, so we take a name of all 64 bits.
bool registerClass(HINSTANCE module) {
    char name[16];
    windowClassName(module, name);
    std::snprintf(registeredClassName, sizeof registeredClassName, "%s", name);
    WNDCLASSA windowClass{};
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = registeredClassName;
    if (RegisterClassA(&windowClass)) return true;
    if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    WNDCLASSA existing{};
    if (GetClassInfoA(module, registeredClassName, &existing) && existing.lpfnWndProc == windowProc) return true;
    std::snprintf(registeredClassName, sizeof registeredClassName, "Plugin%016llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(module)));
    return RegisterClassA(&windowClass) != 0;
}

bool acquireWindowClass(HINSTANCE module) {
    if (classUseCount == 0 && !registerClass(module)) return false;
    ++classUseCount;
    return true;
}

void releaseWindowClass(HINSTANCE module) {
    if (classUseCount <= 0) return;
    if (--classUseCount == 0) UnregisterClassA(registeredClassName, module);
}

// Physical buttons as GetAsyncKeyState reports them, turned into the
// logical ones when the user swapped left and right: for the one question
// no message answers (the host's wheel notification).
unsigned currentMouseButtons() {
    auto held = [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; };
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    unsigned bits = 0;
    if (held(swapped ? VK_RBUTTON : VK_LBUTTON)) bits |= kLeftButton;
    if (held(VK_MBUTTON)) bits |= kMiddleButton;
    if (held(swapped ? VK_LBUTTON : VK_RBUTTON)) bits |= kRightButton;
    if (held(VK_SHIFT)) bits |= kShiftKey;
    if (held(VK_CONTROL)) bits |= kControlKey;
    if (held(VK_MENU)) bits |= kAltKey;
    return bits;
}

// A surface on a window's device context from GetDC, released with it.
class WindowDcSurface : public GdiSurface {
public:
    WindowDcSurface(HWND window, HDC dc) : GdiSurface(dc), window_(window) {}
    ~WindowDcSurface() override {
        restoreObjects();
        if (dc()) ReleaseDC(window_, dc());
    }

private:
    HWND window_;
};

// The buttons and modifiers a mouse message carries (the logical buttons,
// already swapped), Alt as the thread's key state was when the message was
// taken from the queue: never the state now, which a late message would get
// wrong.
unsigned messageButtons(WPARAM keys) {
    unsigned bits = 0;
    if (keys & MK_LBUTTON) bits |= kLeftButton;
    if (keys & MK_MBUTTON) bits |= kMiddleButton;
    if (keys & MK_RBUTTON) bits |= kRightButton;
    if (keys & MK_SHIFT) bits |= kShiftKey;
    if (keys & MK_CONTROL) bits |= kControlKey;
    if (GetKeyState(VK_MENU) & 0x8000) bits |= kAltKey;
    return bits;
}

Point messagePoint(LPARAM lParam) {
    // Signed: a captured drag reports points left of or above the window.
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// OLE initialisations that succeeded on this thread and are still owed an
// OleUninitialize. A thread already in the multithreaded apartment refuses
// OLE; uninitialising it anyway would take COM away from under the host.
thread_local int oleInitializations = 0;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* port = reinterpret_cast<Win32WindowPort*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!port) return DefWindowProcA(window, message, wParam, lParam);
    return port->handleMessage(window, message, wParam, lParam);
}

}  // namespace

// The toolkit is linked into each plug-in DLL (or a test program), so the
// module holding this code is the one whose resources and class it uses.
HINSTANCE moduleHandle() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&windowProc), &module);
    return module;
}

void windowClassName(HINSTANCE module, char (&name)[16]) {
    std::snprintf(name, sizeof name, "Plugin%08x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(module) & 0xFFFFFFFFu));
}

Win32WindowPort::Win32WindowPort(Frame& frame, HWND window) : frame_(frame), window_(window) {}

Win32WindowPort::~Win32WindowPort() {
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        revokeDropTarget();
        DestroyWindow(window_);
        window_ = nullptr;
    }
    if (editBrush_) DeleteObject(editBrush_);
    releaseWindowClass(moduleHandle());
}

Surface* Win32WindowPort::beginDraw() {
    if (!window_) return nullptr;
    HDC dc = GetDC(window_);
    if (!dc) return nullptr;
    auto* surface = new (std::nothrow) WindowDcSurface(window_, dc);
    if (!surface) ReleaseDC(window_, dc);
    return surface;
}

void Win32WindowPort::endDraw(Surface* surface) {
    delete surface;
}

unsigned Win32WindowPort::mouseButtons() {
    return currentMouseButtons();
}

Point Win32WindowPort::mousePosition() {
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT origin{};
    if (window_) GetWindowRect(window_, &origin);
    return {cursor.x - origin.left, cursor.y - origin.top};
}

void Win32WindowPort::resize(int width, int height) {
    if (window_) SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32WindowPort::setDropRegistered(bool registered) {
    if (!registered) {
        revokeDropTarget();
        return true;
    }
    if (dropTarget_) return true;
    if (!window_) return false;
    auto* target = new (std::nothrow) DropTarget(&frame_);
    if (!target) return false;
    target->AddRef();
    if (RegisterDragDrop(window_, target) != S_OK) {
        target->Release();
        return false;
    }
    dropTarget_ = target;
    return true;
}

void Win32WindowPort::revokeDropTarget() {
    if (!dropTarget_) return;
    dropTarget_->detach();
    if (window_) RevokeDragDrop(window_);
    dropTarget_->Release();
    dropTarget_ = nullptr;
}

LRESULT Win32WindowPort::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            // The host destroyed its window (and ours with it) before closing
            // the editor: OLE's registration must go while the window exists,
            // and nothing may reach the frame through the window any more.
            revokeDropTarget();
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            window_ = nullptr;
            frame_.windowDestroyed();
            break;
        case WM_PAINT: {
            if (!GetUpdateRect(window, nullptr, FALSE)) return 0;
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            if (dc) {
                GdiSurface surface(dc);
                frame_.paintWindow(surface);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CTLCOLOREDIT: {
            View* focus = frame_.getFocusView();
            Color font;
            Color back;
            if (!focus || !focus->getEditColors(font, back)) break;
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, static_cast<COLORREF>(systemColor(font)));
            SetBkColor(dc, static_cast<COLORREF>(systemColor(back)));
            if (HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(systemColor(back)))) {
                if (editBrush_) DeleteObject(editBrush_);
                editBrush_ = brush;
            }
            return reinterpret_cast<LRESULT>(editBrush_);
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
        case WM_MOUSEMOVE:
            return mouseMessage(window, message, wParam, lParam);
        case kDpiChangedAfterParent:
            // The host's window moved to a monitor of another scale, or the
            // scale changed (per-monitor aware hosts only).
            if (FrameOwner* owner = frame_.owner()) {
                Frame::Entry entry(&frame_);
                owner->displayScaleChanged();
            }
            // The entry may have ended with the frame destroying this port.
            return 0;
        case WM_CAPTURECHANGED:
            // Someone else took the pointer: the release of a drag would
            // never come here.
            if (reinterpret_cast<HWND>(lParam) != window && frame_.dragView()) {
                Frame::Entry entry(&frame_);
                frame_.cancelDrag();
            }
            return 0;
        case WM_MOUSEWHEEL: {
            // Hosts do not always forward the wheel to the editor; unhandled
            // turns go on to the parent through the default procedure.
            POINT where{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ScreenToClient(window, &where);
            const float distance = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
            bool handled;
            {
                Frame::Entry entry(&frame_);
                handled = frame_.wheelTurned({where.x, where.y}, distance, messageButtons(GET_KEYSTATE_WPARAM(wParam)));
            }
            // A wheel handler cannot close the editor (no host call): the
            // port is still here.
            if (handled) return 0;
            break;
        }
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A press captures the pointer when it started a drag, so that the motions
// and the release come here wherever the pointer goes; the release lets go.
// Any host call on the way may close the editor: the entry keeps frame and
// port until the end, where the frame may destroy both.
LRESULT Win32WindowPort::mouseMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE && !frame_.dragView()) return 0;
    Frame::Entry entry(&frame_);
    const Point where = messagePoint(lParam);
    const unsigned buttons = messageButtons(wParam);
    const auto deliver = [&](Surface* surface) {
        if (message == WM_MOUSEMOVE)
            frame_.pointerMoved(surface, where, buttons);
        else if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN)
            frame_.buttonDown(surface, where, buttons);
        else
            frame_.buttonUp(surface, where, buttons);
    };
    if (HDC dc = GetDC(window)) {
        WindowDcSurface surface(window, dc);
        deliver(&surface);
    } else {
        deliver(nullptr);
    }
    const bool dragging = frame_.dragView() && !frame_.isClosing() && window_;
    if (dragging && GetCapture() != window) SetCapture(window);
    if (!dragging && GetCapture() == window) ReleaseCapture();
    return 0;
}

std::unique_ptr<WindowPort> Win32WindowSystem::createWindow(Frame& frame, void* parent, int width, int height) {
    auto* parentWindow = static_cast<HWND>(parent);
    if (!parentWindow || !IsWindow(parentWindow)) return nullptr;
    HINSTANCE module = moduleHandle();
    if (!acquireWindowClass(module)) return nullptr;
    HWND window = CreateWindowExA(0, registeredClassName, "Window", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                                  parentWindow, nullptr, module, nullptr);
    // From here the port owns the window and the class use just taken.
    auto* port = window ? new (std::nothrow) Win32WindowPort(frame, window) : nullptr;
    if (!port) {
        if (window) DestroyWindow(window);
        releaseWindowClass(module);
        return nullptr;
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(port));
    return std::unique_ptr<WindowPort>(port);
}

double Win32WindowSystem::displayScale(void* parent) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    auto* window = static_cast<HWND>(parent);
    if (window && !IsWindow(window)) window = nullptr;
    if (window && dpiForWindow) {
        if (const UINT dpi = dpiForWindow(window)) return dpi / 96.0;
    }
    HDC dc = GetDC(window);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc) ReleaseDC(window, dc);
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

std::unique_ptr<Surface> Win32WindowSystem::createOffscreen(WindowPort* window, int width, int height) {
    HWND compatibleWith = window ? static_cast<HWND>(window->handle()) : nullptr;
    return GdiOffscreen::create(compatibleWith, width, height);
}

void Win32WindowSystem::initializeOle() {
    if (SUCCEEDED(OleInitialize(nullptr))) ++oleInitializations;
}

void Win32WindowSystem::uninitializeOle() {
    if (oleInitializations <= 0) return;
    --oleInitializations;
    OleUninitialize();
}

}  // namespace klv::gui::win32

namespace klv::gui {

WindowSystem& platformWindowSystem() {
    static win32::Win32WindowSystem system;
    return system;
}

}  // namespace klv::gui
