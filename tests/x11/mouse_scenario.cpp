#include "tests/x11/mouse_scenario.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "gui/raster/png_file.h"
#include "gui/scale.h"
#include "tests/x11/host_checks.h"
#include "tools/hostkit/plugin_host.h"

extern char** environ;

namespace klv::x11host {
namespace {

using gui::raster::PixelBuffer;
using hostkit::CallbackRecord;
using hostkit::PluginInstance;

constexpr int kIdlePeriodMs = 33;
// How long xdotool holds each state (pressed, moved, released): the editor
// reads its events only at the host's idle, so a press must still be held
// when the idle after it comes, about ten idle periods of margin.
constexpr const char* kPause = "0.3";
constexpr int kToolTimeoutMs = 30000;
constexpr float kTolerance = 1e-5f;
constexpr float kSampleRate = 44100.0f;
constexpr int kBlockFrames = 512;
constexpr int kBlocks = 8;

struct Setting {
    int param;
    float value;
};

// A press at one point and a release at another (a drag), or at the same
// point (a click). Coordinates are the editor window's.
struct Step {
    const char* control;
    int param;
    gui::Point press;
    gui::Point release;
    gui::Rect rect;  // the control, whose pixels must change
    float expected;
};

bool isDrag(const Step& step) {
    return step.press.x != step.release.x || step.press.y != step.release.y;
}

struct Scenario {
    const char* family;
    Setting presets[5];
    Step steps[5];
};

// Knobs drag linearly, 1/200 per pixel up or right. A press on a fader's
// handle takes the value of the pixel the handle is drawn at, and the handle
// then keeps its grab point: the compress/drive handle of 0.5 sits at
// 26 + (int)(89 * 0.5) = 70, so the press gives 1 - 44/89 and 20 pixels up
// 1 - 24/89; the mix handle of 0.5 at 330 + (int)(63 * 0.5), so the press
// gives 31/63 and 10 pixels right 41/63. Switches automate their state index.
constexpr float kDraggedUp = 1.0f - 24.0f / 89.0f;
constexpr float kDraggedRight = 41.0f / 63.0f;
const Scenario kScenarios[] = {
    {"clampora",
     {{1, 0.5f}, {2, 0.5f}, {7, 0.5f}, {0, 1.0f}, {16, 0.0f}},
     {{"input knob", 1, {39, 179}, {39, 159}, {21, 161, 58, 198}, 0.6f},
      {"compress fader", 2, {40, 77}, {40, 57}, {27, 26, 53, 130}, kDraggedUp},
      {"mix fader", 7, {368, 223}, {378, 223}, {330, 215, 408, 231}, kDraggedRight},
      {"process button", 0, {217, 136}, {217, 136}, {197, 130, 237, 143}, 0.0f},
      {"output stage switch", 16, {340, 136}, {340, 136}, {320, 130, 360, 143}, 1.0f}}},
    {"tonvela",
     {{1, 0.5f}, {3, 0.5f}, {5, 0.5f}, {0, 1.0f}, {12, 0.0f}},
     {{"input knob", 1, {39, 179}, {39, 159}, {21, 161, 58, 198}, 0.6f},
      {"drive fader", 3, {40, 77}, {40, 57}, {27, 26, 53, 130}, kDraggedUp},
      {"mix fader", 5, {368, 223}, {378, 223}, {330, 215, 408, 231}, kDraggedRight},
      {"process button", 0, {217, 136}, {217, 136}, {197, 130, 237, 143}, 0.0f},
      {"meter point switch", 12, {217, 110}, {217, 110}, {189, 103, 245, 117}, 1.0f}}},
};

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

std::string describe(const CallbackRecord& c) {
    const std::string tag = std::to_string(c.index);
    switch (c.opcode) {
        case audioMasterAutomate:
            return "Automate(" + tag + ", " + number(c.opt) + ")";
        case audioMasterBeginEdit:
            return "BeginEdit(" + tag + ")";
        case audioMasterEndEdit:
            return "EndEdit(" + tag + ")";
        default:
            return "opcode " + std::to_string(c.opcode);
    }
}

bool is(const CallbackRecord& c, int opcode, int tag) {
    return c.opcode == opcode && c.index == tag;
}

}  // namespace

pid_t spawn(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Runs tick (the host's loop: idle the editors, look at what they did)
// every kIdlePeriodMs until the child exits; its exit status, or -1 when it
// did not run or had to be stopped.
int tickUntilExit(pid_t pid, const std::function<void()>& tick) {
    if (pid < 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kToolTimeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        tick();
        usleep(kIdlePeriodMs * 1000);
    }
}

namespace {

int idleUntilExit(PluginInstance& plugin, pid_t pid) {
    return tickUntilExit(pid, [&] { plugin.dispatch(effEditIdle); });
}

int runTool(const std::vector<std::string>& words) {
    const pid_t pid = spawn(words);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void idle(PluginInstance& plugin, int times) {
    for (int i = 0; i < times; ++i) {
        plugin.dispatch(effEditIdle);
        usleep(kIdlePeriodMs * 1000);
    }
}

// One xdotool command line for the whole scenario. Only the moves name the
// window: given a window, xdotool sends button events to it with
// XSendEvent instead of pressing the server's pointer button through XTEST,
// and the editor's drag loops read that button back from the server.
std::vector<std::string> mouseScript(Window window, const Scenario& scenario, float scale) {
    const std::string id = std::to_string(window);
    std::vector<std::string> words{"xdotool"};
    const auto moveTo = [&](gui::Point p) {
        words.insert(words.end(), {"mousemove", "--window", id, std::to_string(gui::toDevice(p.x * 1LL, scale)),
                                   std::to_string(gui::toDevice(p.y * 1LL, scale))});
    };
    const auto hold = [&] { words.insert(words.end(), {"sleep", kPause}); };
    for (const Step& step : scenario.steps) {
        moveTo(step.press);
        words.insert(words.end(), {"mousedown", "1"});
        hold();
        if (isDrag(step)) {
            moveTo(step.release);
            hold();
        }
        words.insert(words.end(), {"mouseup", "1"});
        hold();
    }
    return words;
}

// Per drag: BeginEdit(tag), Automate(tag, 0..1)..., EndEdit(tag) with nothing
// between of another tag; per click: one Automate(tag, state); nothing else.
void checkRecord(conformance::Checker& r, const std::vector<CallbackRecord>& calls, const Scenario& scenario) {
    std::vector<CallbackRecord> edits;
    for (const CallbackRecord& c : calls) {
        if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit)
            edits.push_back(c);
    }
    const auto next = [&](std::size_t at) { return at < edits.size() ? describe(edits[at]) : "nothing"; };
    std::size_t at = 0;
    for (const Step& step : scenario.steps) {
        const std::string name = std::string(step.control) + " (" + std::to_string(step.param) + ")";
        if (!isDrag(step)) {
            const bool automated =
                at < edits.size() && is(edits[at], audioMasterAutomate, step.param) && edits[at].opt == step.expected;
            X11_CHECK(r, automated,
                      "click on the " + name + " records Automate(" + std::to_string(step.param) + ", " +
                          number(step.expected) + ") alone (next: " + next(at) + ")");
            if (automated) ++at;
            continue;
        }
        if (!X11_CHECK(r, at < edits.size() && is(edits[at], audioMasterBeginEdit, step.param),
                       "drag of the " + name + " starts with BeginEdit (next: " + next(at) + ")"))
            continue;
        std::size_t end = ++at;
        while (end < edits.size() && edits[end].opcode == audioMasterAutomate) ++end;
        int own = 0;
        int foreign = 0;
        bool inRange = true;
        float first = NAN;
        float last = NAN;
        for (std::size_t i = at; i < end; ++i) {
            if (edits[i].index != step.param) {
                ++foreign;
                continue;
            }
            if (own++ == 0) first = edits[i].opt;
            last = edits[i].opt;
            inRange = inRange && edits[i].opt >= 0.0f && edits[i].opt <= 1.0f;
        }
        X11_CHECK(r, own > 0 && foreign == 0 && inRange,
                  "drag of the " + name + ": " + std::to_string(own) + " Automate of its tag in 0..1 (first " +
                      number(first) + "), " + std::to_string(foreign) + " of another tag");
        X11_CHECK(
            r, own > 0 && std::fabs(last - step.expected) < kTolerance,
            "drag of the " + name + ": last automated value " + number(last) + ", expected " + number(step.expected));
        const bool ended = end < edits.size() && is(edits[end], audioMasterEndEdit, step.param);
        X11_CHECK(r, ended, "drag of the " + name + " ends with EndEdit (next: " + next(end) + ")");
        at = ended ? end + 1 : end;
    }
    X11_CHECK(r, at == edits.size(), "no other edit call recorded (next: " + next(at) + ")");
}

bool differsWithin(const PixelBuffer& a, const PixelBuffer& b, gui::Rect rect) {
    if (a.width != b.width || a.height != b.height || rect.right > a.width || rect.bottom > a.height) return false;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            if (a.at(x, y) != b.at(x, y)) return true;
        }
    }
    return false;
}

// The window against klv-snapshot's picture of an editor given every
// parameter's value as the driven instance holds it.
void checkPicture(conformance::Checker& r, PluginInstance& plugin, const PixelBuffer& shot, const std::string& kind,
                  const Scenario& scenario, const MouseOptions& options) {
    const std::string base = options.shotDirectory + "/" + kind + "-mouse";
    X11_CHECK(r, gui::raster::writePng(shot, base + ".png"), "screenshot written to " + base + ".png");
    std::vector<std::string> words{options.snapshotTool};
    for (int i = 0; i < plugin.effect()->numParams; ++i) {
        char setting[48];
        std::snprintf(setting, sizeof setting, "%d=%.9g", i, static_cast<double>(plugin.getParameter(i)));
        words.insert(words.end(), {"--set", setting});
    }
    char scale[16];
    std::snprintf(scale, sizeof scale, "%g", static_cast<double>(options.scale));
    words.insert(words.end(), {"--scale", scale, scenario.family, base + "-reference.png"});
    PixelBuffer expected;
    if (!X11_CHECK(r, runTool(words) == 0 && gui::raster::readPng(base + "-reference.png", expected),
                   "klv-snapshot drew " + base + "-reference.png"))
        return;
    X11_CHECK(r, describeDifference(shot, expected).empty(),
              withDetail("the window shows klv-snapshot's picture of the final values exactly",
                         describeDifference(shot, expected)));
}

// kBlocks blocks of a test signal from a resumed start; the outputs one
// after the other.
std::vector<float> render(PluginInstance& plugin) {
    const int inputs = plugin.effect()->numInputs;
    const int outputs = plugin.effect()->numOutputs;
    std::vector<std::vector<float>> in(inputs, std::vector<float>(kBlockFrames));
    std::vector<std::vector<float>> out(outputs, std::vector<float>(kBlockFrames));
    std::vector<float*> inPointers;
    std::vector<float*> outPointers;
    for (auto& channel : in) inPointers.push_back(channel.data());
    for (auto& channel : out) outPointers.push_back(channel.data());
    std::vector<float> rendered;
    plugin.dispatch(effMainsChanged, 0, 1);
    for (int block = 0; block < kBlocks; ++block) {
        for (int c = 0; c < inputs; ++c) {
            for (int i = 0; i < kBlockFrames; ++i) {
                const double t = (block * kBlockFrames + i) / static_cast<double>(kSampleRate);
                in[c][i] = static_cast<float>(0.7 * std::sin(6.283185307 * (110.0 + 55.0 * c) * t) +
                                              0.2 * std::sin(6.283185307 * 2500.0 * t));
            }
        }
        plugin.processReplacing(inPointers.data(), outPointers.data(), kBlockFrames);
        for (const auto& channel : out) rendered.insert(rendered.end(), channel.begin(), channel.end());
    }
    plugin.dispatch(effMainsChanged, 0, 0);
    return rendered;
}

void prepareAudio(PluginInstance& plugin) {
    plugin.dispatch(effOpen);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, kSampleRate);
    plugin.dispatch(effSetBlockSize, 0, kBlockFrames);
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The driven instance against a fresh one given the final values: as left
// (the process button off), then with the host turning processing on in
// both, where the dragged values shape the sound.
void checkAudio(conformance::Checker& r, hostkit::PluginLibrary& library, PluginInstance& driven,
                const Scenario& scenario) {
    auto fresh = PluginInstance::create(library.defaultEntry());
    if (!X11_CHECK(r, fresh != nullptr, "a fresh instance for the audio")) return;
    prepareAudio(*fresh);
    for (const Step& step : scenario.steps) fresh->setParameter(step.param, driven.getParameter(step.param));
    X11_CHECK(r, sameBits(render(driven), render(*fresh)),
              "audio equals a fresh instance's given the final values, bit for bit");
    driven.setParameter(0, 1.0f);
    fresh->setParameter(0, 1.0f);
    const std::vector<float> processed = render(driven);
    bool finite = true;
    for (float v : processed) finite = finite && std::isfinite(v);
    X11_CHECK(r, sameBits(processed, render(*fresh)) && finite,
              "with processing on too: equal bit for bit, and finite");
    fresh->close();
}

}  // namespace

void runMouseScenario(conformance::Checker& r, HostDisplay& x, const std::string& kind, int width, int height,
                      const std::string& path, const MouseOptions& options) {
    r.setContext(kind + " mouse");
    std::printf("== %s mouse %s\n", kind.c_str(), path.c_str());
    const std::string family = kind.substr(0, kind.find('-'));
    const Scenario* scenario = nullptr;
    for (const Scenario& s : kScenarios) {
        if (family == s.family) scenario = &s;
    }
    if (!X11_CHECK(r, scenario != nullptr, "a scenario for " + kind)) return;
    hostkit::PluginLibrary library;
    if (!X11_CHECK(r, library.open(path), withDetail("the library loads", library.error()))) return;
    auto plugin = PluginInstance::create(library.defaultEntry());
    if (!X11_CHECK(r, plugin != nullptr, "the entry gives an effect")) return;
    prepareAudio(*plugin);

    const Window host = x.createWindow(width, height);
    X11_CHECK(r, plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(host))) == 1,
              "effEditOpen answers 1");
    const std::vector<Window> children = x.children(host);
    if (X11_CHECK(r, children.size() == 1, "one child window inside the host's window")) {
        // The host's automation first, shown before the mouse moves.
        for (const Setting& s : scenario->presets) plugin->setParameter(s.param, s.value);
        idle(*plugin, 10);
        const PixelBuffer before = x.screenshot(children[0]);
        plugin->clearCalls();

        const int status = idleUntilExit(*plugin, spawn(mouseScript(children[0], *scenario, options.scale)));
        X11_CHECK(r, status == 0, "xdotool ran the scenario (exit status " + std::to_string(status) + ")");
        idle(*plugin, 10);

        checkRecord(r, plugin->calls(), *scenario);
        const PixelBuffer after = x.screenshot(children[0]);
        gui::raster::writePng(before, options.shotDirectory + "/" + kind + "-mouse-before.png");
        for (const Step& step : scenario->steps) {
            const float value = plugin->getParameter(step.param);
            X11_CHECK(r, std::fabs(value - step.expected) < kTolerance,
                      std::string(step.control) + " (" + std::to_string(step.param) + ") ends at " + number(value) +
                          ", expected " + number(step.expected));
            X11_CHECK(r, differsWithin(before, after, gui::toDevice(step.rect, options.scale)),
                      std::string("the ") + step.control + " was redrawn");
        }
        checkPicture(r, *plugin, after, kind, *scenario, options);
    }
    plugin->dispatch(effEditClose);
    x.destroy(host);
    checkAudio(r, library, *plugin, *scenario);
    plugin->close();
}

}  // namespace klv::x11host
