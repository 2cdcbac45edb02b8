// What Windows hosts do to an editor besides plain drags, with a real
// pointer (xdotool, through Wine's X11 driver):
// - quick taps while the host pumps its messages late (every 200 ms): the
//   press and the release wait in the queue together; a toggle toggles,
//   Ctrl + click resets a knob, the name plate opens the about panel and a
//   tap on the panel closes it;
// - the host closes the editor, or destroys its own window, between two
//   motions of a drag: the end of the edit still comes, once, and the next
//   open works;
// - a held drag while the host's loop serves a second editor: no message
//   or idle call lasts the drag, and the second editor keeps its idles.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/wine/editor_checks.h"
#include "tests/wine/mouse_scenario.h"
#include "tests/wine/window_capture.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::wine {
namespace {

using hostkit::PluginInstance;

constexpr POINT kProcessButton{217, 136};
constexpr POINT kInputKnob{39, 179};
constexpr POINT kNamePlate{200, 222};
constexpr POINT kInsidePanel{200, 60};
constexpr RECT kPanelArea{63, 12, 375, 122};
constexpr int kInput = 1;
constexpr int kProcess = 0;
constexpr int kTop = 50;

struct Size {
    const char* kind;
    int width;
    int height;
};
constexpr Size kSizes[] = {
    {"clampora", 435, 232}, {"clampora-mono", 435, 232}, {"tonvela", 435, 231}, {"tonvela-mono", 435, 231}};

bool sameWithin(const Pixels& a, const Pixels& b, const RECT& r) {
    if (a.width != b.width || a.height != b.height || a.bytes.empty()) return false;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (a.at(x, y) != b.at(x, y)) return false;
        }
    }
    return true;
}

class HostScenarios {
public:
    HostScenarios(conformance::Checker& c, const Size& size, float scale)
        : c_(c), size_{size.kind, dev(size.width, scale), dev(size.height, scale)}, scale_(scale) {}
    static int dev(int v, float scale) { return static_cast<int>(std::floor(v * static_cast<double>(scale) + 0.5)); }

    bool load(const std::string& path) { return library_.open(path); }
    PointerDriver pointer;
    void quickTapsWhileTheHostIsLate();
    void closeInTheMiddleOfADrag(bool destroyWindowFirst);
    void heldDragBesideASecondEditor();

private:
    // A fresh instance with its editor open in a new host window at left.
    struct Open {
        std::unique_ptr<PluginInstance> plugin;
        HWND host = nullptr;
        HWND editor = nullptr;
        int left = 0;
        float scale = 1.0f;
        std::string at(POINT p) const {
            return "mousemove " + std::to_string(left + dev(p.x, scale)) + " " +
                   std::to_string(kTop + dev(p.y, scale)) + " ";
        }
    };
    Open open(int left);
    void finish(Open& o) {
        o.plugin->dispatch(effEditClose);
        pumpMessages();
        o.plugin->close();
        if (o.host) DestroyWindow(o.host);
        pumpMessages();
    }
    static void idle(PluginInstance& plugin, int times) {
        for (int i = 0; i < times; ++i) {
            pumpMessages();
            plugin.dispatch(effEditIdle);
            Sleep(33);
        }
    }
    static bool pairedEdit(PluginInstance& plugin, int tag) {
        std::vector<int> edits;
        for (const auto& r : plugin.calls()) {
            if (r.opcode == audioMasterBeginEdit) edits.push_back(r.index + 1);
            if (r.opcode == audioMasterEndEdit) edits.push_back(-(r.index + 1));
        }
        return edits == std::vector<int>{tag + 1, -(tag + 1)};
    }

    RECT panelArea() const {
        return {dev(kPanelArea.left, scale_), dev(kPanelArea.top, scale_), dev(kPanelArea.right, scale_),
                dev(kPanelArea.bottom, scale_)};
    }

    conformance::Checker& c_;
    Size size_;
    float scale_;
    hostkit::PluginLibrary library_;
};

HostScenarios::Open HostScenarios::open(int left) {
    Open o;
    o.left = left;
    o.scale = scale_;
    o.plugin = PluginInstance::create(library_.defaultEntry());
    if (!o.plugin) return o;
    o.host = createHostWindow(size_.width, size_.height, left, kTop);
    if (o.host && o.plugin->dispatch(effEditOpen, 0, 0, o.host) == 1) o.editor = GetWindow(o.host, GW_CHILD);
    idle(*o.plugin, 5);
    return o;
}

void HostScenarios::quickTapsWhileTheHostIsLate() {
    Open o = open(50);
    EDITOR_CHECK(c_, o.editor != nullptr, "taps: the editor is open");
    if (!o.editor) return finish(o);
    PluginInstance& p = *o.plugin;
    p.setParameter(kProcess, 1.0f);
    p.setParameter(kInput, 0.2f);
    idle(p, 3);
    const Pixels before = capture(o.editor);
    const auto late = [&] {
        Sleep(200);
        pumpMessages();
        p.dispatch(effEditIdle);
    };
    const int status =
        pointer.run(o.at(kProcessButton) + "click 1 sleep 0.5 " + o.at(kInputKnob) +
                        "keydown ctrl click 1 keyup ctrl sleep 0.5 " + o.at(kNamePlate) + "click 1 sleep 0.5",
                    late);
    idle(p, 3);
    EDITOR_CHECK(c_, status == 0, "taps: xdotool ran");
    EDITOR_CHECK(c_, p.getParameter(kProcess) == 0.0f, "a quick tap a late host finds toggles the process button");
    EDITOR_CHECK(c_, p.getParameter(kInput) == 0.5f, "a quick Ctrl + tap a late host finds resets the input knob");
    EDITOR_CHECK(c_, !sameWithin(before, capture(o.editor), panelArea()),
                 "a quick tap a late host finds on the name plate opens the about panel");
    pointer.run(o.at(kInsidePanel) + "click 1 sleep 0.5", late);
    p.setParameter(kProcess, 1.0f);
    p.setParameter(kInput, 0.2f);
    idle(p, 5);
    EDITOR_CHECK(c_, sameWithin(before, capture(o.editor), panelArea()), "a quick tap on the panel closes it");
    finish(o);
}

// The host acts once it has recorded an automation of the drag, while the
// button is still held; the pointer then moves on and lets go.
void HostScenarios::closeInTheMiddleOfADrag(bool destroyWindowFirst) {
    const std::string what = destroyWindowFirst ? "host window destroyed" : "editor closed";
    Open o = open(50);
    EDITOR_CHECK(c_, o.editor != nullptr, what + " mid-drag: the editor is open");
    if (!o.editor) return finish(o);
    PluginInstance& p = *o.plugin;
    p.setParameter(kInput, 0.5f);
    idle(p, 3);
    p.clearCalls();
    bool acted = false;
    const int status =
        pointer.run(o.at(kInputKnob) + "mousedown 1 sleep 0.3 " + o.at({kInputKnob.x, kInputKnob.y - 10}) +
                        "sleep 0.6 " + o.at({kInputKnob.x, kInputKnob.y - 20}) + "sleep 0.3 mouseup 1 sleep 0.3",
                    [&] {
                        pumpMessages();
                        if (!acted && p.countCalls(audioMasterAutomate) > 0) {
                            acted = true;
                            if (destroyWindowFirst) {
                                DestroyWindow(o.host);
                                o.host = nullptr;
                            } else {
                                p.dispatch(effEditClose);
                            }
                        }
                        p.dispatch(effEditIdle);
                        Sleep(33);
                    });
    p.dispatch(effEditClose);
    pumpMessages();
    EDITOR_CHECK(c_, status == 0 && acted, what + " mid-drag: xdotool ran, the host acted during the drag");
    EDITOR_CHECK(c_, pairedEdit(p, kInput), what + " mid-drag: one begin and one end of the edit");
    if (o.host) DestroyWindow(o.host);
    o.host = createHostWindow(size_.width, size_.height, 50, kTop);
    EDITOR_CHECK(c_, o.host && p.dispatch(effEditOpen, 0, 0, o.host) == 1 && GetWindow(o.host, GW_CHILD),
                 what + " mid-drag: the next open works");
    finish(o);
}

// A drag held for a second on one editor while the host's loop pumps the
// messages and idles both: nothing it calls may last the drag.
void HostScenarios::heldDragBesideASecondEditor() {
    Open a = open(50);
    Open b = open(50 + size_.width + 20);
    EDITOR_CHECK(c_, a.editor && b.editor, "two editors open side by side");
    if (a.editor && b.editor) {
        a.plugin->clearCalls();
        DWORD longest = 0;
        int secondIdledDuringDrag = 0;
        const int status = pointer.run(
            a.at(kInputKnob) + "mousedown 1 sleep 0.3 " + a.at({kInputKnob.x, kInputKnob.y - 10}) + "sleep 1.0 " +
                a.at({kInputKnob.x, kInputKnob.y - 20}) + "sleep 0.3 mouseup 1 sleep 0.3",
            [&] {
                const DWORD start = GetTickCount();
                pumpMessages();
                a.plugin->dispatch(effEditIdle);
                b.plugin->dispatch(effEditIdle);
                longest = std::max(longest, GetTickCount() - start);
                if (a.plugin->countCalls(audioMasterBeginEdit) == 1 && a.plugin->countCalls(audioMasterEndEdit) == 0)
                    ++secondIdledDuringDrag;
                Sleep(33);
            });
        EDITOR_CHECK(c_, status == 0 && pairedEdit(*a.plugin, kInput), "held drag: one begin and one end of the edit");
        EDITOR_CHECK(c_, longest < 100,
                     "held drag: no message or idle lasts the drag (longest " + std::to_string(longest) + " ms)");
        EDITOR_CHECK(
            c_, secondIdledDuringDrag >= 20,
            "held drag: the second editor was idled " + std::to_string(secondIdledDuringDrag) + " times meanwhile");
    }
    finish(a);
    finish(b);
}

}  // namespace

MouseRun runHostScenarios(conformance::Checker& c, const std::string& kind, const std::string& path,
                          const std::string& markerPath, float scale) {
    const Size* size = nullptr;
    for (const Size& s : kSizes) {
        if (kind == s.kind) size = &s;
    }
    if (!size) return MouseRun::kUnknownKind;
    c.setContext("host " + kind);
    HostScenarios s(c, *size, scale);
    const std::string why = s.pointer.prepare(markerPath);
    if (!why.empty()) {
        std::fprintf(stderr, "klv-wine-host: the pointer cannot be driven: %s\n", why.c_str());
        return MouseRun::kNoPointer;
    }
    const bool loaded = s.load(path);
    EDITOR_CHECK(c, loaded, "library loads: " + path);
    if (!loaded) return MouseRun::kRan;
    s.quickTapsWhileTheHostIsLate();
    s.closeInTheMiddleOfADrag(false);
    s.closeInTheMiddleOfADrag(true);
    s.heldDragBesideASecondEditor();
    return MouseRun::kRan;
}

}  // namespace klv::wine
