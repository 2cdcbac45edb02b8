#include "tests/wine/editor_checks.h"

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/wine/window_capture.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::wine {

namespace {

using hostkit::PluginInstance;

struct EditorExpectation {
    const char* kind;
    int width;
    int height;
};
// The background bitmap's size: the editors report it before any open.
constexpr EditorExpectation kEditors[] = {
    {"clampora", 435, 232},
    {"clampora-mono", 435, 232},
    {"tonvela", 435, 231},
    {"tonvela-mono", 435, 231},
};
constexpr int kBackgroundId = 128;
constexpr DWORD kIdleMs = 33;  // about 30 Hz

// Idle calls at about 30 Hz for count periods, with the messages in between.
void idleFor(std::initializer_list<PluginInstance*> plugins, int count) {
    for (int i = 0; i < count; ++i) {
        pumpMessages();
        for (PluginInstance* plugin : plugins) plugin->dispatch(effEditIdle);
        Sleep(kIdleMs);
    }
    pumpMessages();
}

const char kHostClass[] = "KlvWineHostWindow";

bool registerHostClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kHostClass;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// A shown top-level window whose client area is width x height.
HWND createHostWindow(int width, int height, int x) {
    RECT frame{0, 0, width, height};
    const DWORD style = WS_OVERLAPPEDWINDOW & ~WS_THICKFRAME;
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowExA(0, kHostClass, "klv-wine-host", style | WS_VISIBLE, x, 20, frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        pumpMessages();
    }
    return window;
}

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

std::string classNameOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool classRegistered(HINSTANCE module, const std::string& name) {
    WNDCLASSA info;
    return GetClassInfoA(module, name.c_str(), &info) != 0;
}

// Share of the screenshot's pixels that equal the background bitmap's: the
// controls cover part of it, the rest shows the background as it is.
double backgroundShare(const Pixels& shot, const Pixels& background) {
    if (shot.bytes.empty() || background.bytes.empty() || shot.width != background.width ||
        shot.height != background.height)
        return 0.0;
    long same = 0;
    for (int y = 0; y < shot.height; ++y) {
        const std::uint8_t* a = &shot.bytes[static_cast<std::size_t>(y) * shot.stride()];
        const std::uint8_t* b = &background.bytes[static_cast<std::size_t>(y) * background.stride()];
        for (int x = 0; x < shot.width; ++x) same += std::memcmp(a + 3 * x, b + 3 * x, 3) == 0;
    }
    return static_cast<double>(same) / (static_cast<double>(shot.width) * shot.height);
}

std::string withSuffix(const std::string& path, const char* suffix) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

class EditorRun {
public:
    // expect: the editor's size on the device; design: the background's.
    EditorRun(conformance::Checker& c, const EditorExpectation& expect, const EditorExpectation& design,
              const std::string& shotPath)
        : c_(c), expect_(expect), design_(design), shotPath_(shotPath) {}

    void run(const std::string& path);

private:
    std::unique_ptr<PluginInstance> newInstance() {
        auto plugin = PluginInstance::create(lib_.defaultEntry());
        EDITOR_CHECK(c_, plugin != nullptr, "an instance is created");
        return plugin;
    }
    // Opens the editor in parent; the child window it made, or null.
    HWND open(PluginInstance& plugin, HWND parent, const char* what);
    void checkShot(HWND child, const std::string& path, const char* what);
    void beforeOpen(PluginInstance& plugin);
    void twoEditors(PluginInstance& first, PluginInstance& second);
    void misbehavingHost(PluginInstance& plugin);
    void repeatedOpenClose(PluginInstance& plugin);

    conformance::Checker& c_;
    EditorExpectation expect_;
    EditorExpectation design_;
    std::string shotPath_;
    hostkit::PluginLibrary lib_;
    HINSTANCE module_ = nullptr;
    std::string className_;
    Pixels background_;
    HWND hostA_ = nullptr;
    HWND hostB_ = nullptr;
};

HWND EditorRun::open(PluginInstance& plugin, HWND parent, const char* what) {
    EDITOR_CHECK(c_, plugin.dispatch(effEditOpen, 0, 0, parent) == 1, std::string(what) + ": effEditOpen answers 1");
    pumpMessages();
    const std::vector<HWND> children = childWindows(parent);
    EDITOR_CHECK(c_, children.size() == 1, std::string(what) + ": one child window");
    if (children.size() != 1) return nullptr;
    HWND child = children[0];
    EDITOR_CHECK(c_, classNameOf(child) == className_, std::string(what) + ": child class " + className_);
    RECT client{};
    GetClientRect(child, &client);
    EDITOR_CHECK(
        c_, client.right == expect_.width && client.bottom == expect_.height,
        std::string(what) + ": child client " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    return child;
}

void EditorRun::checkShot(HWND child, const std::string& path, const char* what) {
    const Pixels shot = capture(child);
    EDITOR_CHECK(c_, writeBmp(path, shot), std::string(what) + ": screenshot written to " + path);
    // At other scales the art is not the background resource's.
    if (expect_.width != design_.width) return;
    const double share = backgroundShare(shot, background_);
    char text[96];
    std::snprintf(text, sizeof text, ": %.0f%% of the pixels show the background bitmap", share * 100.0);
    EDITOR_CHECK(c_, share > 0.5, std::string(what) + text);
}

void EditorRun::beforeOpen(PluginInstance& plugin) {
    EDITOR_CHECK(c_, (plugin.effect()->flags & effFlagsHasEditor) != 0, "effFlagsHasEditor set");
    ERect* rect = nullptr;
    EDITOR_CHECK(c_, plugin.dispatch(effEditGetRect, 0, 0, &rect) == 1 && rect, "effEditGetRect before open answers 1");
    if (rect) {
        EDITOR_CHECK(c_, rect->right - rect->left == expect_.width && rect->bottom - rect->top == expect_.height,
                     "effEditGetRect before open: " + std::to_string(rect->right - rect->left) + "x" +
                         std::to_string(rect->bottom - rect->top));
    }
    // A host that idles and closes before it ever opened.
    plugin.dispatch(effEditIdle);
    plugin.dispatch(effEditClose);
    plugin.dispatch(effEditIdle);
    EDITOR_CHECK(c_, childWindows(hostA_).empty() && !classRegistered(module_, className_),
                 "idle and close before open create nothing");
    EDITOR_CHECK(c_, plugin.dispatch(effEditOpen, 0, 0, nullptr) == 0, "effEditOpen with a null parent answers 0");
    plugin.dispatch(effEditIdle);
    plugin.dispatch(effEditClose);
    EDITOR_CHECK(c_, !classRegistered(module_, className_), "a null parent registers no window class");
    HWND gone = CreateWindowExA(0, kHostClass, "gone", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(gone);
    EDITOR_CHECK(c_, plugin.dispatch(effEditOpen, 0, 0, gone) == 0, "effEditOpen with a destroyed parent answers 0");
    plugin.dispatch(effEditClose);
    EDITOR_CHECK(c_, !classRegistered(module_, className_), "a destroyed parent registers no window class");
}

void EditorRun::twoEditors(PluginInstance& first, PluginInstance& second) {
    HWND childA = open(first, hostA_, "first editor");
    EDITOR_CHECK(c_, classRegistered(module_, className_), "the class is registered while an editor is open");
    idleFor({&first}, 30);
    if (childA) checkShot(childA, shotPath_, "first editor after 1 s of idle");

    HWND childB = open(second, hostB_, "second editor");
    EDITOR_CHECK(c_, childA && childB && classNameOf(childA) == classNameOf(childB),
                 "both editors' windows share the class");
    idleFor({&first, &second}, 10);
    first.dispatch(effEditClose);
    pumpMessages();
    EDITOR_CHECK(c_, childWindows(hostA_).empty() && !IsWindow(childA), "closing the first editor removes its window");
    EDITOR_CHECK(c_, classRegistered(module_, className_), "the class stays while the second editor is open");
    // Fresh paint of the survivor: its whole client area is drawn again.
    if (childB) InvalidateRect(childB, nullptr, FALSE);
    idleFor({&second}, 15);
    if (childB) checkShot(childB, withSuffix(shotPath_, "-second"), "second editor after the first closed");
    second.dispatch(effEditClose);
    pumpMessages();
    EDITOR_CHECK(c_, childWindows(hostB_).empty(), "closing the second editor removes its window");
    EDITOR_CHECK(c_, !classRegistered(module_, className_), "the class is unregistered with the last editor");
}

void EditorRun::misbehavingHost(PluginInstance& plugin) {
    open(plugin, hostA_, "open");
    EDITOR_CHECK(c_, plugin.dispatch(effEditOpen, 0, 0, hostA_) == 1, "a second open without close answers 1");
    pumpMessages();
    EDITOR_CHECK(c_, childWindows(hostA_).size() == 1, "open twice leaves one child window");
    idleFor({&plugin}, 3);
    plugin.dispatch(effEditClose);
    plugin.dispatch(effEditClose);
    plugin.dispatch(effEditIdle);
    pumpMessages();
    EDITOR_CHECK(c_, childWindows(hostA_).empty() && !classRegistered(module_, className_),
                 "close twice leaves no window and no class");

    // The host destroys its window (and the editor's with it) before it
    // closes the editor.
    HWND doomed = createHostWindow(expect_.width, expect_.height, 520);
    open(plugin, doomed, "open in a window the host destroys");
    idleFor({&plugin}, 2);
    DestroyWindow(doomed);
    idleFor({&plugin}, 2);
    plugin.dispatch(effEditClose);
    pumpMessages();
    EDITOR_CHECK(c_, !classRegistered(module_, className_), "a destroyed host window: close releases the class");
    HWND child = open(plugin, hostA_, "reopen after that");
    idleFor({&plugin}, 2);
    if (child) checkShot(child, withSuffix(shotPath_, "-reopened"), "reopened editor");
    plugin.dispatch(effEditClose);
    pumpMessages();
}

void EditorRun::repeatedOpenClose(PluginInstance& plugin) {
    // One cycle first, so that whatever the first open caches once (fonts,
    // system brushes) is in the baseline.
    plugin.dispatch(effEditOpen, 0, 0, hostA_);
    idleFor({&plugin}, 2);
    plugin.dispatch(effEditClose);
    pumpMessages();
    const bool gdiCounted = gdiCountWorks();
    const long gdiBefore = gdiObjectCount();
    const long userBefore = userObjectCount();
    int opened = 0;
    for (int i = 0; i < 100; ++i) {
        if (plugin.dispatch(effEditOpen, 0, 0, hostA_) == 1) ++opened;
        for (int k = 0; k < 3; ++k) {
            pumpMessages();
            plugin.dispatch(effEditIdle);
        }
        plugin.dispatch(effEditClose);
        pumpMessages();
    }
    const long gdiAfter = gdiObjectCount();
    const long userAfter = userObjectCount();
    EDITOR_CHECK(c_, opened == 100, "100 opens answer 1");
    EDITOR_CHECK(c_, childWindows(hostA_).empty() && !classRegistered(module_, className_),
                 "after 100 cycles no window and no class remain");
    EDITOR_CHECK(c_, gdiCounted, "GDI objects can be counted (ten brushes seen to come and go)");
    EDITOR_CHECK(c_, gdiCounted && gdiAfter <= gdiBefore,
                 "GDI objects after 100 cycles: " + std::to_string(gdiBefore) + " -> " + std::to_string(gdiAfter));
    EDITOR_CHECK(c_, userAfter <= userBefore,
                 "USER objects after 100 cycles: " + std::to_string(userBefore) + " -> " + std::to_string(userAfter));
}

void EditorRun::run(const std::string& path) {
    c_.setContext("editor " + std::string(expect_.kind));
    EDITOR_CHECK(c_, lib_.open(path), "library loads: " + path);
    if (!lib_.isOpen()) return;
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(lib_.defaultEntry()), &module);
    module_ = module;
    // The class name carries the low 32 bits of the module handle.
    char name[32];
    std::snprintf(name, sizeof name, "Plugin%08x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(module) & 0xFFFFFFFFu));
    className_ = name;
    background_ = loadResourceBitmap(module_, kBackgroundId);
    EDITOR_CHECK(c_, background_.width == design_.width && background_.height == design_.height,
                 "background bitmap 128 is a resource of the library");
    EDITOR_CHECK(c_, registerHostClass(), "host window class registered");
    hostA_ = createHostWindow(expect_.width, expect_.height, 20);
    hostB_ = createHostWindow(expect_.width, expect_.height, 500);
    EDITOR_CHECK(c_, hostA_ && hostB_, "host windows created");
    if (!hostA_ || !hostB_) return;

    std::unique_ptr<PluginInstance> first = newInstance();
    std::unique_ptr<PluginInstance> second = newInstance();
    if (!first || !second) return;
    beforeOpen(*first);
    twoEditors(*first, *second);
    misbehavingHost(*first);
    repeatedOpenClose(*second);
    first->close();
    second->close();
    DestroyWindow(hostA_);
    DestroyWindow(hostB_);
    pumpMessages();
}

}  // namespace

bool runEditorChecks(conformance::Checker& c, const std::string& kind, const std::string& path,
                     const std::string& shotPath, float scale) {
    for (const EditorExpectation& expect : kEditors) {
        if (kind != expect.kind) continue;
        const auto dev = [scale](int v) { return static_cast<int>(std::floor(v * static_cast<double>(scale) + 0.5)); };
        const EditorExpectation scaled{expect.kind, dev(expect.width), dev(expect.height)};
        EditorRun(c, scaled, expect, shotPath).run(path);
        return true;
    }
    return false;
}

}  // namespace klv::wine
