// What Linux hosts do to an editor besides plain drags, with a real pointer
// (xdotool through XTEST) while the host idles at about 30 Hz:
// - quick taps: press and release a few milliseconds apart, both waiting
//   for the next idle; a toggle toggles, Ctrl + click resets a knob, the
//   name plate opens the about panel and a tap on the panel closes it;
// - the host closes the editor, or destroys its own window, between two
//   motions of a drag: the end of the edit still comes, once, and the next
//   open works;
// - a held drag while the host idles a second editor: every idle call
//   returns at once, and the second editor keeps getting them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gui/scale.h"
#include "tests/x11/host_checks.h"
#include "tests/x11/mouse_scenario.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::x11host {
namespace {

using hostkit::PluginInstance;

// Editor coordinates shared by both editors' layouts.
constexpr gui::Point kProcessButton{217, 136};
constexpr gui::Point kInputKnob{39, 179};
constexpr gui::Point kNamePlate{200, 222};
constexpr gui::Point kInsidePanel{200, 60};
constexpr gui::Rect kPanelArea{63, 12, 375, 122};
constexpr int kInput = 1;
constexpr int kProcess = 0;

// Screen coordinates: without a window manager the host's windows stay
// where they were made, at (left, 0), and the editor fills them from their
// corner. (A window named to xdotool would have to outlive the scenario.)
std::string at(int left, gui::Point p, float scale) {
    return " mousemove " + std::to_string(left + gui::toDevice(p.x * 1LL, scale)) + " " +
           std::to_string(gui::toDevice(p.y * 1LL, scale));
}

// xdotool with a command line of its own words.
int runXdotool(const std::string& commands, const std::function<void()>& tick) {
    std::vector<std::string> words{"xdotool"};
    std::size_t from = 0;
    while (from < commands.size()) {
        const std::size_t space = commands.find(' ', from);
        const std::size_t end = space == std::string::npos ? commands.size() : space;
        if (end > from) words.push_back(commands.substr(from, end - from));
        from = end + 1;
    }
    return tickUntilExit(spawn(words), tick);
}

bool sameWithin(const gui::raster::PixelBuffer& a, const gui::raster::PixelBuffer& b, gui::Rect r) {
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) return false;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (a.at(x, y) != b.at(x, y)) return false;
        }
    }
    return true;
}

class HostScenarios {
public:
    HostScenarios(conformance::Checker& r, HostDisplay& x, int width, int height, float scale)
        : r_(r), x_(x), width_(width), height_(height), scale_(scale) {}

    bool load(const std::string& path) { return library_.open(path); }
    void quickTaps();
    void closeInTheMiddleOfADrag(bool destroyWindowFirst);
    void heldDragBesideASecondEditor();

private:
    // A fresh instance with its editor open in a new host window at left.
    struct Open {
        std::unique_ptr<PluginInstance> plugin;
        Window host = 0;
        Window editor = 0;
        int left = 0;
    };
    Open open(int left = 0);
    void finish(Open& o) {
        o.plugin->dispatch(effEditClose);
        o.plugin->close();
        if (o.host) x_.destroy(o.host);
    }
    void idle(PluginInstance& plugin, int times) {
        for (int i = 0; i < times; ++i) {
            plugin.dispatch(effEditIdle);
            usleep(33000);
        }
    }
    // Begin and end of edit of tag, once each, in that order.
    bool pairedEdit(PluginInstance& plugin, int tag) {
        std::vector<int> edits;
        for (const auto& c : plugin.calls()) {
            if (c.opcode == audioMasterBeginEdit) edits.push_back(c.index + 1);
            if (c.opcode == audioMasterEndEdit) edits.push_back(-(c.index + 1));
        }
        return edits == std::vector<int>{tag + 1, -(tag + 1)};
    }

    conformance::Checker& r_;
    HostDisplay& x_;
    int width_;
    int height_;
    float scale_;
    hostkit::PluginLibrary library_;
};

HostScenarios::Open HostScenarios::open(int left) {
    Open o;
    o.left = left;
    o.plugin = PluginInstance::create(library_.defaultEntry());
    if (!o.plugin) return o;
    o.plugin->dispatch(effOpen);
    o.host = x_.createWindow(width_, height_, true, left);
    o.plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(o.host)));
    const std::vector<Window> children = x_.children(o.host);
    if (children.size() == 1) o.editor = children[0];
    idle(*o.plugin, 5);
    return o;
}

void HostScenarios::quickTaps() {
    Open o = open();
    if (!X11_CHECK(r_, o.editor, "taps: the editor is open")) return finish(o);
    PluginInstance& p = *o.plugin;
    p.setParameter(kProcess, 1.0f);
    p.setParameter(kInput, 0.2f);
    idle(p, 3);
    const auto before = x_.screenshot(o.editor);
    p.clearCalls();
    const auto tick = [&] { p.dispatch(effEditIdle); };
    const int status = runXdotool(at(o.left, kProcessButton, scale_) + " click 1 sleep 0.2" +
                                      at(o.left, kInputKnob, scale_) + " keydown ctrl click 1 keyup ctrl sleep 0.2" +
                                      at(o.left, kNamePlate, scale_) + " click 1 sleep 0.3",
                                  tick);
    idle(p, 3);
    X11_CHECK(r_, status == 0, "taps: xdotool ran");
    X11_CHECK(r_, p.getParameter(kProcess) == 0.0f, "a quick tap toggles the process button");
    X11_CHECK(r_, p.getParameter(kInput) == 0.5f, "a quick Ctrl + tap resets the input knob");
    const auto opened = x_.screenshot(o.editor);
    X11_CHECK(r_, !sameWithin(before, opened, gui::toDevice(kPanelArea, scale_)),
              "a quick tap on the name plate opens the about panel");
    runXdotool(at(o.left, kInsidePanel, scale_) + " click 1 sleep 0.3", tick);
    idle(p, 3);
    p.setParameter(kProcess, 1.0f);
    p.setParameter(kInput, 0.2f);
    idle(p, 3);
    X11_CHECK(r_, sameWithin(before, x_.screenshot(o.editor), gui::toDevice(kPanelArea, scale_)),
              "a quick tap on the panel closes it");
    finish(o);
}

// The host acts once it has recorded an automation of the drag, while the
// button is still held; the pointer then moves on and lets go.
void HostScenarios::closeInTheMiddleOfADrag(bool destroyWindowFirst) {
    const std::string what = destroyWindowFirst ? "host window destroyed" : "editor closed";
    Open o = open();
    if (!X11_CHECK(r_, o.editor, what + " mid-drag: the editor is open")) return finish(o);
    PluginInstance& p = *o.plugin;
    p.setParameter(kInput, 0.5f);
    idle(p, 3);
    p.clearCalls();
    bool acted = false;
    const int status =
        runXdotool(at(o.left, kInputKnob, scale_) + " mousedown 1 sleep 0.2" +
                       at(o.left, {kInputKnob.x, kInputKnob.y - 10}, scale_) + " sleep 0.5" +
                       at(o.left, {kInputKnob.x, kInputKnob.y - 20}, scale_) + " sleep 0.2 mouseup 1 sleep 0.2",
                   [&] {
                       if (!acted && p.countCalls(audioMasterAutomate) > 0) {
                           acted = true;
                           if (destroyWindowFirst) {
                               x_.destroy(o.host);
                               o.host = 0;
                           } else {
                               p.dispatch(effEditClose);
                           }
                       }
                       p.dispatch(effEditIdle);
                   });
    p.dispatch(effEditClose);
    X11_CHECK(r_, status == 0 && acted, what + " mid-drag: xdotool ran, the host acted during the drag");
    X11_CHECK(r_, pairedEdit(p, kInput), what + " mid-drag: one begin and one end of the edit");
    if (o.host) x_.destroy(o.host);
    o.host = x_.createWindow(width_, height_);
    X11_CHECK(r_,
              p.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(o.host))) == 1 &&
                  x_.children(o.host).size() == 1,
              what + " mid-drag: the next open works");
    finish(o);
}

// A drag held for a second on one editor while the host's loop idles both:
// no idle call may last the drag.
void HostScenarios::heldDragBesideASecondEditor() {
    Open a = open(0);
    Open b = open(width_ + 20);
    if (!X11_CHECK(r_, a.editor && b.editor, "two editors open side by side")) {
        finish(a);
        finish(b);
        return;
    }
    a.plugin->clearCalls();
    double longestMs = 0.0;
    int secondIdledDuringDrag = 0;
    const auto timed = [&](PluginInstance& p) {
        const auto start = std::chrono::steady_clock::now();
        p.dispatch(effEditIdle);
        longestMs = std::max(
            longestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    const int status =
        runXdotool(at(a.left, kInputKnob, scale_) + " mousedown 1 sleep 0.2" +
                       at(a.left, {kInputKnob.x, kInputKnob.y - 10}, scale_) + " sleep 1.0" +
                       at(a.left, {kInputKnob.x, kInputKnob.y - 20}, scale_) + " sleep 0.2 mouseup 1 sleep 0.2",
                   [&] {
                       timed(*a.plugin);
                       timed(*b.plugin);
                       const bool dragging = a.plugin->countCalls(audioMasterBeginEdit) == 1 &&
                                             a.plugin->countCalls(audioMasterEndEdit) == 0;
                       if (dragging) ++secondIdledDuringDrag;
                   });
    X11_CHECK(r_, status == 0 && pairedEdit(*a.plugin, kInput), "held drag: one begin and one end of the edit");
    X11_CHECK(r_, longestMs < 100.0,
              "held drag: no idle call lasts the drag (longest " + std::to_string(longestMs) + " ms)");
    X11_CHECK(r_, secondIdledDuringDrag >= 20,
              "held drag: the second editor was idled " + std::to_string(secondIdledDuringDrag) + " times meanwhile");
    finish(a);
    finish(b);
}

}  // namespace

void runHostScenarios(conformance::Checker& r, HostDisplay& x, const std::string& kind, int width, int height,
                      const std::string& path, float scale) {
    r.setContext(kind + " host");
    std::printf("== %s host scenarios %s\n", kind.c_str(), path.c_str());
    HostScenarios s(r, x, width, height, scale);
    if (!X11_CHECK(r, s.load(path), "the library loads")) return;
    s.quickTaps();
    s.closeInTheMiddleOfADrag(false);
    s.closeInTheMiddleOfADrag(true);
    s.heldDragBesideASecondEditor();
}

}  // namespace klv::x11host
