// klv-x11-host: opens the editors of built plug-in libraries inside X11
// windows the way Linux hosts embed them (the window's id in effEditOpen,
// effEditIdle from the host's thread) and checks what the server shows.
//   klv-x11-host [--shots DIR] [--reference KIND=FILE.png]... KIND PATH [KIND PATH ...]
//   klv-x11-host --shots DIR --mouse KLV-SNAPSHOT KIND PATH [KIND PATH ...]
// --scale S (first): the editors' scale, as KLV_EDITOR_SCALE of the run sets
// it; sizes and the pointer's paths are the design's times S.
// KIND is clampora, clampora-mono, tonvela or tonvela-mono. --shots writes
// each editor's window to DIR/KIND.png; --reference compares it with a
// picture of the same editor drawn in memory (the window must show those
// pixels unchanged). --mouse runs the real-pointer scenario instead
// (mouse_scenario.h; needs xdotool), with klv-snapshot drawing the expected
// pictures into DIR. Needs $DISPLAY (the test runs it under Xvfb). Prints a
// line per check and "N passed, N failed"; exits non-zero on failure.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "gui/raster/png_file.h"
#include "gui/scale.h"
#include "tests/conformance/checker.h"
#include "tests/x11/host_checks.h"
#include "tests/x11/host_display.h"
#include "tests/x11/mouse_scenario.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::x11host {
namespace {

using gui::raster::PixelBuffer;
using hostkit::PluginInstance;

struct Kind {
    const char* key;
    int width;
    int height;
};
constexpr Kind kKinds[] = {
    {"clampora", 435, 232},
    {"clampora-mono", 435, 232},
    {"tonvela", 435, 231},
    {"tonvela-mono", 435, 231},
};

struct Options {
    float scale = 1.0f;  // the editors' (KLV_EDITOR_SCALE of the run)
    std::string shotDirectory;
    std::map<std::string, std::string> references;
    std::string snapshotTool;  // set: the mouse scenario instead of the window checks
};

std::intptr_t openEditor(PluginInstance& plugin, Window parent) {
    return plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)));
}

void idle(PluginInstance& plugin, int times, int periodMs) {
    for (int i = 0; i < times; ++i) {
        plugin.dispatch(effEditIdle);
        usleep(static_cast<useconds_t>(periodMs) * 1000);
    }
}

bool isOneColour(const PixelBuffer& pixels) {
    for (std::uint32_t p : pixels.pixels) {
        if (p != pixels.pixels.front()) return false;
    }
    return true;
}

// Open, map, idle at 30 Hz for a second: the window the host sees.
void checkFirstOpen(conformance::Checker& r, HostDisplay& x, PluginInstance& plugin, const Kind& kind,
                    const Options& options) {
    const Window host = x.createWindow(kind.width, kind.height, false);
    X11_CHECK(r, openEditor(plugin, host) == 1, "effEditOpen answers 1");
    x.map(host);
    idle(plugin, 30, 33);
    const std::vector<Window> children = x.children(host);
    if (X11_CHECK(r, children.size() == 1, "one child window inside the host's window")) {
        int left = -1;
        int top = -1;
        int width = 0;
        int height = 0;
        bool viewable = false;
        x.geometry(children[0], left, top, width, height, viewable);
        X11_CHECK(r, left == 0 && top == 0 && width == kind.width && height == kind.height && viewable,
                  "child at (0, 0), " + std::to_string(kind.width) + "x" + std::to_string(kind.height) +
                      ", viewable (" + std::to_string(width) + "x" + std::to_string(height) + " at " +
                      std::to_string(left) + ", " + std::to_string(top) + ")");
        const PixelBuffer shot = x.screenshot(children[0]);
        X11_CHECK(r, !shot.pixels.empty() && !isOneColour(shot), "the editor painted its window");
        if (!options.shotDirectory.empty()) {
            const std::string path = options.shotDirectory + "/" + kind.key + ".png";
            X11_CHECK(r, gui::raster::writePng(shot, path), "screenshot written to " + path);
        }
        const auto reference = options.references.find(kind.key);
        if (reference != options.references.end()) {
            PixelBuffer expected;
            if (X11_CHECK(r, gui::raster::readPng(reference->second, expected),
                          "reference " + reference->second + " read")) {
                const std::string difference = describeDifference(shot, expected);
                X11_CHECK(r, difference.empty(),
                          withDetail("the window shows the reference picture exactly", difference));
            }
        }
    }
    plugin.dispatch(effEditClose);
    X11_CHECK(r, x.children(host).empty(), "effEditClose leaves no child window");
    x.destroy(host);
}

void checkCycles(conformance::Checker& r, HostDisplay& x, PluginInstance& plugin, const Kind& kind) {
    constexpr int kCycles = 100;
    const Window host = x.createWindow(kind.width, kind.height);
    const int descriptors = openDescriptors();
    const int segments = sharedSegments();
    const int errors = HostDisplay::errors();
    int opened = 0;
    int leftChildren = 0;
    for (int i = 0; i < kCycles; ++i) {
        opened += openEditor(plugin, host) == 1;
        idle(plugin, 2, 5);
        plugin.dispatch(effEditClose);
        leftChildren += static_cast<int>(x.children(host).size());
    }
    const std::string cycles = std::to_string(kCycles) + " open/idle/close cycles: ";
    X11_CHECK(r, opened == kCycles, cycles + "every open answers 1 (" + std::to_string(opened) + ")");
    X11_CHECK(r, leftChildren == 0, cycles + "no child window after any close");
    X11_CHECK(r, openDescriptors() == descriptors,
              cycles + "no descriptor leaked (display connections; " + std::to_string(descriptors) + " before, " +
                  std::to_string(openDescriptors()) + " after)");
    X11_CHECK(r, sharedSegments() == segments, cycles + "no shared-memory segment left");
    X11_CHECK(r, HostDisplay::errors() == errors, cycles + "no X error");
    x.destroy(host);
}

// Two instances of one library with both editors open; the one left open
// still answers an Expose after the other has closed.
void checkTwoInstances(conformance::Checker& r, HostDisplay& x, hostkit::PluginLibrary& library, PluginInstance& first,
                       const Kind& kind) {
    auto second = PluginInstance::create(library.defaultEntry());
    if (!X11_CHECK(r, second != nullptr, "a second instance")) return;
    second->dispatch(effOpen);
    const Window hostA = x.createWindow(kind.width, kind.height);
    const Window hostB = x.createWindow(kind.width, kind.height);
    X11_CHECK(r, openEditor(first, hostA) == 1 && openEditor(*second, hostB) == 1, "two editors open at once");
    for (int i = 0; i < 15; ++i) {
        idle(first, 1, 0);
        idle(*second, 1, 33);
    }
    const std::vector<Window> childrenB = x.children(hostB);
    const bool bothShown =
        X11_CHECK(r, childrenB.size() == 1 && x.children(hostA).size() == 1, "each host window holds one child");
    const PixelBuffer before = bothShown ? x.screenshot(childrenB[0]) : PixelBuffer{};
    first.dispatch(effEditClose);
    if (bothShown) {
        X11_CHECK(r, x.children(hostA).empty() && x.children(hostB).size() == 1,
                  "closing one leaves the other's window");
        x.spoil(childrenB[0], 0xFF00FF);
        idle(*second, 5, 20);
        const std::string difference = describeDifference(x.screenshot(childrenB[0]), before);
        X11_CHECK(r, difference.empty(), withDetail("the other editor still repaints its window", difference));
    }
    second->dispatch(effEditClose);
    second->close();
    x.destroy(hostA);
    x.destroy(hostB);
}

// What careless hosts do; none of it may crash or end the process.
void checkMisbehaviour(conformance::Checker& r, HostDisplay& x, PluginInstance& plugin, const Kind& kind) {
    const int descriptors = openDescriptors();
    const int segments = sharedSegments();
    const int errors = HostDisplay::errors();
    Window host = x.createWindow(kind.width, kind.height);

    openEditor(plugin, host);
    X11_CHECK(r, openEditor(plugin, host) == 1, "effEditOpen twice without close answers 1");
    idle(plugin, 3, 10);
    X11_CHECK(r, x.children(host).size() == 1, "open twice: one child window remains");
    plugin.dispatch(effEditClose);
    plugin.dispatch(effEditClose);
    X11_CHECK(r, x.children(host).empty(), "close twice: no child window");

    X11_CHECK(r, openEditor(plugin, 0) == 0, "null parent: effEditOpen answers 0");
    idle(plugin, 2, 0);
    plugin.dispatch(effEditClose);

    X11_CHECK(r, openEditor(plugin, x.staleWindowId()) == 0, "parent that does not exist: effEditOpen answers 0");
    idle(plugin, 2, 0);
    plugin.dispatch(effEditClose);

    // Hosts that destroy their window before closing the editor: once with
    // an idle in between (the editor hears of it), once without.
    for (const bool idleBetween : {true, false}) {
        openEditor(plugin, host);
        idle(plugin, 3, 10);
        x.destroy(host);
        if (idleBetween) idle(plugin, 2, 0);
        plugin.dispatch(effEditClose);
        host = x.createWindow(kind.width, kind.height);
    }
    x.destroy(host);

    X11_CHECK(r, HostDisplay::errors() == errors, "careless hosts: no X error reached the host");
    X11_CHECK(r, openDescriptors() == descriptors, "careless hosts: no descriptor leaked");
    X11_CHECK(r, sharedSegments() == segments, "careless hosts: no shared-memory segment left");
    X11_CHECK(r, HostDisplay::handlerInstalled(), "the host's X error handler is still installed");
}

// The editor's own client killed from the host's connection (as a window
// manager's kill, or a server going away, would end it): the host lives on,
// and the next open makes a new connection that works.
void checkConnectionLoss(conformance::Checker& r, HostDisplay& x, PluginInstance& plugin, const Kind& kind) {
    const int descriptors = openDescriptors();
    const int segments = sharedSegments();
    const int errors = HostDisplay::errors();
    const Window host = x.createWindow(kind.width, kind.height);
    openEditor(plugin, host);
    idle(plugin, 3, 10);
    const std::vector<Window> children = x.children(host);
    if (!X11_CHECK(r, children.size() == 1, "an editor window to kill")) return;
    x.killClient(children[0]);
    idle(plugin, 3, 10);
    X11_CHECK(r, x.children(host).empty(), "killed: the host lives on, and the editor's window went with its client");
    plugin.dispatch(effEditClose);
    X11_CHECK(r, openDescriptors() == descriptors, "killed: the close lets go of the broken connection");
    X11_CHECK(r, openEditor(plugin, host) == 1, "the next open answers 1");
    idle(plugin, 5, 20);
    const std::vector<Window> again = x.children(host);
    X11_CHECK(r, again.size() == 1 && !isOneColour(x.screenshot(again[0])), "the next open paints its window");
    plugin.dispatch(effEditClose);
    X11_CHECK(r, sharedSegments() == segments && HostDisplay::errors() == errors,
              "killed: no shared-memory segment left, no X error reached the host");
    x.destroy(host);
}

void runPlugin(conformance::Checker& r, HostDisplay& x, const Kind& kind, const std::string& path,
               const Options& options) {
    r.setContext(kind.key);
    std::printf("== %s %s\n", kind.key, path.c_str());
    hostkit::PluginLibrary library;
    if (!X11_CHECK(r, library.open(path), withDetail("the library loads", library.error()))) return;
    auto plugin = PluginInstance::create(library.defaultEntry());
    if (!X11_CHECK(r, plugin != nullptr, "the entry gives an effect")) return;
    plugin->dispatch(effOpen);
    const int errors = HostDisplay::errors();
    X11_CHECK(r, (plugin->effect()->flags & effFlagsHasEditor) != 0, "effFlagsHasEditor is set");
    ERect* rect = nullptr;
    const std::intptr_t answer = plugin->dispatch(effEditGetRect, 0, 0, &rect);
    X11_CHECK(
        r,
        answer == 1 && rect && rect->top == 0 && rect->left == 0 && rect->bottom == kind.height &&
            rect->right == kind.width,
        "effEditGetRect before open answers 1 and " + std::to_string(kind.width) + "x" + std::to_string(kind.height));
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
    X11_CHECK(r, HostDisplay::errors() == errors, "idle and close before open are harmless");

    checkFirstOpen(r, x, *plugin, kind, options);
    checkCycles(r, x, *plugin, kind);
    checkTwoInstances(r, x, library, *plugin, kind);
    checkMisbehaviour(r, x, *plugin, kind);
    checkConnectionLoss(r, x, *plugin, kind);
    plugin->close();
}

const Kind* findKind(const std::string& key) {
    for (const Kind& kind : kKinds) {
        if (key == kind.key) return &kind;
    }
    return nullptr;
}

int usage() {
    std::fprintf(stderr,
                 "usage: klv-x11-host [--shots DIR] [--reference KIND=FILE.png]... KIND PATH [KIND PATH ...]\n"
                 "       klv-x11-host --shots DIR --mouse KLV-SNAPSHOT KIND PATH [KIND PATH ...]\n");
    return 2;
}

}  // namespace
}  // namespace klv::x11host

int main(int argc, char** argv) {
    using namespace klv::x11host;
    Options options;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        const std::size_t equals = value.find('=');
        if (option == "--shots")
            options.shotDirectory = value;
        else if (option == "--scale")
            options.scale = static_cast<float>(std::atof(value.c_str()));
        else if (option == "--reference" && equals != std::string::npos)
            options.references[value.substr(0, equals)] = value.substr(equals + 1);
        else if (option == "--mouse")
            options.snapshotTool = value;
        else
            return usage();
    }
    if (i >= argc || (argc - i) % 2 != 0) return usage();
    if (!options.snapshotTool.empty() && options.shotDirectory.empty()) return usage();
    HostDisplay x;
    if (!x.ok()) {
        std::fprintf(stderr, "klv-x11-host: cannot open the display (is DISPLAY set?)\n");
        return 2;
    }
    klv::conformance::Checker report;
    for (; i + 1 < argc; i += 2) {
        const Kind* known = findKind(argv[i]);
        if (!known) {
            std::fprintf(stderr, "klv-x11-host: unknown kind %s\n", argv[i]);
            return 2;
        }
        Kind scaled = *known;
        scaled.width = klv::gui::toDevice(scaled.width * 1LL, options.scale);
        scaled.height = klv::gui::toDevice(scaled.height * 1LL, options.scale);
        const Kind* kind = &scaled;
        if (options.snapshotTool.empty())
            runPlugin(report, x, *kind, argv[i + 1], options);
        else {
            runMouseScenario(report, x, kind->key, kind->width, kind->height, argv[i + 1],
                             {options.snapshotTool, options.shotDirectory, options.scale});
            runHostScenarios(report, x, kind->key, kind->width, kind->height, argv[i + 1], options.scale);
        }
    }
    std::printf("%d passed, %d failed\n", report.passed(), report.failed());
    return report.failed() == 0 ? 0 : 1;
}
