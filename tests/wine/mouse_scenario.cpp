#include "tests/wine/mouse_scenario.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "tests/wine/editor_checks.h"
#include "tests/wine/window_capture.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::wine {

namespace {

using hostkit::CallbackRecord;
using hostkit::PluginInstance;

struct Setting {
    int index;
    float value;
};

// A press, a drag through the midpoint and a release, in the editor
// window's coordinates; a click when release equals press.
struct Step {
    const char* what;
    int tag;
    RECT control;
    POINT press;
    POINT release;
    float expected;
    bool isClick() const { return press.x == release.x && press.y == release.y; }
};

struct Scenario {
    const char* editor;  // klv-snapshot's name for it
    int width;
    int height;
    Setting initial[5];
    Step steps[5];
};

// A fader keeps the point at which the press took its handle, and the
// handle sits where the value put it in whole pixels. For 0.5 the vertical
// handle's top is 26 + (int)(89 * 0.5) = 70: a press 7 pixels into it and
// 20 pixels up leave the top at 50, so the value is 1 - 24 / 89. The mix
// handle's left is 330 + (int)(63 * 0.5) = 361; 10 pixels right make 41 / 63.
constexpr float kFaderUp20 = 1.0f - 24.0f / 89.0f;
constexpr float kMixRight10 = 41.0f / 63.0f;
// Knob mode 2: 20 pixels up add 20 / 200.
constexpr float kKnobUp20 = 0.5f + 20.0f / 200.0f;

constexpr Scenario kCompressor = {
    "clampora",
    435,
    232,
    {{1, 0.5f}, {2, 0.5f}, {7, 0.5f}, {0, 1.0f}, {16, 0.0f}},
    {{"input knob", 1, {21, 161, 58, 198}, {39, 179}, {39, 159}, kKnobUp20},
     {"compress fader", 2, {27, 26, 53, 130}, {40, 77}, {40, 57}, kFaderUp20},
     {"mix fader", 7, {330, 215, 408, 231}, {368, 223}, {378, 223}, kMixRight10},
     {"process button", 0, {197, 130, 237, 143}, {217, 136}, {217, 136}, 0.0f},
     {"sat switch", 16, {320, 130, 360, 143}, {340, 136}, {340, 136}, 1.0f}},
};

constexpr Scenario kSaturator = {
    "tonvela",
    435,
    231,
    {{1, 0.5f}, {3, 0.5f}, {5, 0.5f}, {0, 1.0f}, {12, 0.0f}},
    {{"input knob", 1, {21, 161, 58, 198}, {39, 179}, {39, 159}, kKnobUp20},
     {"drive fader", 3, {27, 26, 53, 130}, {40, 77}, {40, 57}, kFaderUp20},
     {"mix fader", 5, {330, 215, 408, 231}, {368, 223}, {378, 223}, kMixRight10},
     {"process button", 0, {197, 130, 237, 143}, {217, 136}, {217, 136}, 0.0f},
     {"pre/post switch", 12, {189, 103, 245, 117}, {217, 110}, {217, 110}, 1.0f}},
};

struct KindScenario {
    const char* kind;
    const Scenario* scenario;
};
constexpr KindScenario kKinds[] = {
    {"clampora", &kCompressor},
    {"clampora-mono", &kCompressor},
    {"tonvela", &kSaturator},
    {"tonvela-mono", &kSaturator},
};

constexpr int kLeft = 50;  // the host window's place on the screen
constexpr int kTop = 50;
constexpr int kMargin = 20;  // host window below the editor, for the probe click
constexpr DWORD kIdleMs = 33;
constexpr float kTolerance = 1e-5f;
constexpr int kBlock = 512;

// The Unix name of a Windows path, through Wine's kernel32; empty when not
// under Wine.
std::string unixName(const std::string& path) {
    char full[MAX_PATH];
    wchar_t wide[MAX_PATH];
    if (GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, full, -1, wide, MAX_PATH) == 0)
        return "";
    using UnixFileName = char*(WINAPI*)(LPCWSTR);
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = convert ? convert(wide) : nullptr;
    if (!name) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string environment(const char* name, const std::string& fallback) {
    char value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : fallback;
}

}  // namespace

std::string PointerDriver::prepare(const std::string& markerPath) {
    // Both end up in a shell command line between single quotes.
    xdotool_ = environment("KLV_XDOTOOL", "/usr/bin/xdotool");
    pause_ = environment("KLV_MOUSE_PAUSE", "0.3");
    if (pause_.empty() || pause_.find_first_not_of("0123456789.") != std::string::npos) pause_ = "0.3";
    marker_ = markerPath;
    unixMarker_ = unixName(markerPath);
    if (unixMarker_.empty()) return "no Unix name for " + markerPath + " (not running under Wine?)";
    if ((xdotool_ + unixMarker_).find_first_of("'\"") != std::string::npos)
        return "quotes in the paths of xdotool or " + unixMarker_;
    return "";
}

int PointerDriver::run(const std::string& commands, const std::function<void()>& idle) {
    DeleteFileA(marker_.c_str());
    const std::string part = unixMarker_ + ".part";
    std::string line = "/bin/sh -c \"'" + xdotool_ + "' " + commands + "; echo $? >'" + part + "' && mv '" + part +
                       "' '" + unixMarker_ + "'\"";
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        idle();
        if (FILE* file = std::fopen(marker_.c_str(), "r")) {
            int status = -1;
            if (std::fscanf(file, "%d", &status) != 1) status = -1;
            std::fclose(file);
            DeleteFileA(marker_.c_str());
            return status;
        }
    }
    return -1;
}

namespace {

const char kHostClass[] = "KlvWineMouseHost";
int hostButtonDowns = 0;  // presses on the host window itself (the probe)
int hostButtonUps = 0;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) ++hostButtonDowns;
    if (message == WM_LBUTTONUP) ++hostButtonUps;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND createHostWindow(int width, int height, int left, int top) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kHostClass;
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    HWND window = CreateWindowExA(0, kHostClass, "klv-wine-host mouse", WS_POPUP | WS_VISIBLE, left, top, width, height,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        pumpMessages();
    }
    return window;
}

namespace {

bool isEdit(const CallbackRecord& r) {
    return r.opcode == audioMasterAutomate || r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit;
}

std::string describe(const std::vector<CallbackRecord>& calls) {
    std::string text;
    for (const CallbackRecord& r : calls) {
        char item[48];
        if (r.opcode == audioMasterAutomate)
            std::snprintf(item, sizeof item, "automate(%d, %.6f)", r.index, static_cast<double>(r.opt));
        else
            std::snprintf(item, sizeof item, "%s(%d)", r.opcode == audioMasterBeginEdit ? "begin" : "end", r.index);
        text += (text.empty() ? "" : " ") + std::string(item);
    }
    return text.empty() ? "nothing" : text;
}

// Begin edit with the tag, one or more automations of it with values in
// 0..1, end edit with the tag, and nothing else.
bool isOneDrag(const std::vector<CallbackRecord>& calls, int tag) {
    if (calls.size() < 3 || calls.front().opcode != audioMasterBeginEdit || calls.back().opcode != audioMasterEndEdit)
        return false;
    for (const CallbackRecord& r : calls) {
        if (r.index != tag) return false;
    }
    for (std::size_t i = 1; i + 1 < calls.size(); ++i) {
        if (calls[i].opcode != audioMasterAutomate || !(calls[i].opt >= 0.0f && calls[i].opt <= 1.0f)) return false;
    }
    return true;
}

bool pixelsDiffer(const Pixels& a, const Pixels& b, const RECT& r) {
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (a.at(x, y) != b.at(x, y)) return true;
        }
    }
    return false;
}

void startAudio(PluginInstance& plugin) {
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    plugin.dispatch(effSetBlockSize, 0, kBlock);
    plugin.dispatch(effMainsChanged, 0, 1);
}

// Blocks first .. first + count - 1 of a test signal (a loud sine per
// channel) through the instance; all output samples in a row.
std::vector<float> render(PluginInstance& plugin, int first, int count) {
    const int channels = std::max({plugin.effect()->numInputs, plugin.effect()->numOutputs, 1});
    std::vector<std::vector<float>> in(channels, std::vector<float>(kBlock));
    std::vector<std::vector<float>> out(channels, std::vector<float>(kBlock));
    std::vector<float*> inputs;
    std::vector<float*> outputs;
    for (int ch = 0; ch < channels; ++ch) {
        inputs.push_back(in[ch].data());
        outputs.push_back(out[ch].data());
    }
    std::vector<float> all;
    for (int block = first; block < first + count; ++block) {
        for (int ch = 0; ch < channels; ++ch) {
            for (int i = 0; i < kBlock; ++i) {
                const double t = static_cast<double>(block * kBlock + i) / 44100.0;
                in[ch][i] = static_cast<float>(0.7 * std::sin(2.0 * 3.141592653589793 * (220.0 + 110.0 * ch) * t));
            }
        }
        plugin.processReplacing(inputs.data(), outputs.data(), kBlock);
        for (int ch = 0; ch < plugin.effect()->numOutputs; ++ch) all.insert(all.end(), out[ch].begin(), out[ch].end());
    }
    return all;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

class MouseTest {
public:
    MouseTest(conformance::Checker& c, const std::string& kind, const Scenario& scenario, const std::string& shotPath,
              float scale)
        : c_(c), kind_(kind), s_(scenario), shotPath_(shotPath), scale_(scale) {}
    MouseRun run(const std::string& path);

private:
    void idle() {
        pumpMessages();
        plugin_->dispatch(effEditIdle);
        Sleep(kIdleMs);
    }
    void idleFor(int count) {
        for (int i = 0; i < count; ++i) idle();
    }
    // Presses and releases on the host window below the editor: whether
    // Wine delivers xdotool's buttons at all. Empty when it does.
    std::string probe();
    // Drives one step; false when xdotool failed.
    bool drive(const Step& step);
    void checkStep(const Step& step);
    void checkPicture(const Pixels& before, HWND child);
    void checkAudio();
    MouseRun noPointer(const std::string& why);

    conformance::Checker& c_;
    std::string kind_;
    const Scenario& s_;
    std::string shotPath_;
    hostkit::PluginLibrary lib_;
    std::unique_ptr<PluginInstance> plugin_;
    PointerDriver pointer_;
    POINT origin_{};  // the editor window's top left on the screen
    float scale_;
    // Design coordinates on the device.
    int dev(int v) const { return static_cast<int>(std::floor(v * static_cast<double>(scale_) + 0.5)); }
    POINT dev(POINT p) const { return {dev(p.x), dev(p.y)}; }
    RECT dev(RECT r) const { return {dev(r.left), dev(r.top), dev(r.right), dev(r.bottom)}; }
    int width() const { return dev(s_.width); }
    int height() const { return dev(s_.height); }
};

std::string MouseTest::probe() {
    const POINT at{origin_.x + 10, origin_.y + height() + kMargin / 2};
    hostButtonDowns = hostButtonUps = 0;
    const int status = pointer_.run(
        pointer_.moveTo(at) + "mousedown 1 sleep " + pointer_.pause() + " mouseup 1 sleep " + pointer_.pause(),
        [this] { idle(); });
    if (status != 0) return "xdotool did not run (exit status " + std::to_string(status) + ")";
    idleFor(3);
    if (hostButtonDowns != 1 || hostButtonUps != 1)
        return "xdotool ran, but its click reached the host window as " + std::to_string(hostButtonDowns) +
               " presses and " + std::to_string(hostButtonUps) + " releases";
    return "";
}

bool MouseTest::drive(const Step& step) {
    const auto screen = [this](POINT p) { return POINT{origin_.x + dev(p.x), origin_.y + dev(p.y)}; };
    std::string commands = pointer_.moveTo(screen(step.press)) + "mousedown 1 sleep " + pointer_.pause() + " ";
    if (!step.isClick()) {
        const POINT middle{(step.press.x + step.release.x) / 2, (step.press.y + step.release.y) / 2};
        commands += pointer_.moveTo(screen(middle)) + pointer_.moveTo(screen(step.release));
    }
    commands += "mouseup 1 sleep " + pointer_.pause();
    plugin_->clearCalls();
    if (pointer_.run(commands, [this] { idle(); }) != 0) return false;
    idleFor(3);
    return true;
}

void MouseTest::checkStep(const Step& step) {
    std::vector<CallbackRecord> calls;
    for (const CallbackRecord& r : plugin_->calls()) {
        if (isEdit(r)) calls.push_back(r);
    }
    const std::string name = step.what + std::string(" (") + std::to_string(step.tag) + ")";
    if (step.isClick()) {
        EDITOR_CHECK(c_,
                     calls.size() == 1 && calls[0].opcode == audioMasterAutomate && calls[0].index == step.tag &&
                         calls[0].opt == step.expected,
                     name + " clicked: one automation, no begin or end edit: " + describe(calls));
    } else {
        EDITOR_CHECK(c_, isOneDrag(calls, step.tag),
                     name + " dragged: begin, automations within 0..1, end: " + describe(calls));
    }
    const float value = plugin_->getParameter(step.tag);
    char text[96];
    std::snprintf(text, sizeof text, " value %.6f, expected %.6f", static_cast<double>(value),
                  static_cast<double>(step.expected));
    EDITOR_CHECK(c_, std::fabs(value - step.expected) <= kTolerance, name + text);
}

// Each control drew its new value, and the screenshot goes to the Linux side
// with the values that make klv-snapshot draw the same state.
void MouseTest::checkPicture(const Pixels& before, HWND child) {
    const Pixels after = capture(child);
    for (const Step& step : s_.steps) {
        EDITOR_CHECK(c_, pixelsDiffer(before, after, dev(step.control)),
                     std::string(step.what) + ": its pixels changed on the screen");
    }
    EDITOR_CHECK(c_, writeBmp(shotPath_, after), "screenshot written to " + shotPath_);
    // Every parameter: a mono build's editor shows its channel mode, which
    // klv-snapshot's stereo build gets only this way.
    std::string arguments;
    for (int i = 0; i < plugin_->effect()->numParams; ++i) {
        char item[48];
        std::snprintf(item, sizeof item, "--set %d=%.9g ", i, static_cast<double>(plugin_->getParameter(i)));
        arguments += item;
    }
    std::printf("snapshot arguments: %s--scale %g %s\n", arguments.c_str(), static_cast<double>(scale_), s_.editor);
}

// The instance's audio equals that of a fresh instance given the final
// values, also once both process again; an instance that differs only in
// the dragged values sounds different, so the comparison says something.
void MouseTest::checkAudio() {
    auto fresh = PluginInstance::create(lib_.defaultEntry());
    auto undragged = PluginInstance::create(lib_.defaultEntry());
    EDITOR_CHECK(c_, fresh && undragged, "two more instances for the audio");
    if (!fresh || !undragged) return;
    for (const Setting& setting : s_.initial) {
        const float value = plugin_->getParameter(setting.index);
        fresh->setParameter(setting.index, value);
        bool dragged = false;
        for (const Step& step : s_.steps) dragged = dragged || (step.tag == setting.index && !step.isClick());
        undragged->setParameter(setting.index, dragged ? setting.value : value);
    }
    for (PluginInstance* p : {plugin_.get(), fresh.get(), undragged.get()}) startAudio(*p);
    EDITOR_CHECK(c_, sameBits(render(*plugin_, 0, 4), render(*fresh, 0, 4)),
                 "audio with the final values: identical to a fresh instance given them");
    render(*undragged, 0, 4);
    for (PluginInstance* p : {plugin_.get(), fresh.get(), undragged.get()}) p->setParameter(0, 1.0f);
    const std::vector<float> mine = render(*plugin_, 4, 8);
    EDITOR_CHECK(c_, sameBits(mine, render(*fresh, 4, 8)),
                 "audio with processing back on: identical to the fresh instance");
    EDITOR_CHECK(c_, !sameBits(mine, render(*undragged, 4, 8)),
                 "audio differs from an instance without the drags' values");
    fresh->close();
    undragged->close();
}

MouseRun MouseTest::noPointer(const std::string& why) {
    std::fprintf(stderr, "klv-wine-host: the pointer cannot be driven: %s\n", why.c_str());
    return MouseRun::kNoPointer;
}

MouseRun MouseTest::run(const std::string& path) {
    c_.setContext("mouse " + kind_);
    const std::string why = pointer_.prepare(shotPath_ + ".done");
    if (!why.empty()) return noPointer(why);
    EDITOR_CHECK(c_, lib_.open(path), "library loads: " + path);
    if (!lib_.isOpen()) return MouseRun::kRan;
    plugin_ = PluginInstance::create(lib_.defaultEntry());
    EDITOR_CHECK(c_, plugin_ != nullptr, "an instance is created");
    if (!plugin_) return MouseRun::kRan;
    HWND host = createHostWindow(width(), height() + kMargin, kLeft, kTop);
    EDITOR_CHECK(c_, host != nullptr, "host window created");
    if (!host) return MouseRun::kRan;
    EDITOR_CHECK(c_, plugin_->dispatch(effEditOpen, 0, 0, host) == 1, "effEditOpen answers 1");
    pumpMessages();
    HWND child = GetWindow(host, GW_CHILD);
    ClientToScreen(child, &origin_);
    EDITOR_CHECK(c_,
                 child && origin_.x == kLeft && origin_.y == kTop &&
                     origin_.x + width() <= GetSystemMetrics(SM_CXSCREEN) &&
                     origin_.y + height() <= GetSystemMetrics(SM_CYSCREEN),
                 "editor window at (" + std::to_string(origin_.x) + ", " + std::to_string(origin_.y) +
                     ") of the screen, wholly on it");
    MouseRun result = MouseRun::kRan;
    if (child) {
        for (const Setting& setting : s_.initial) plugin_->setParameter(setting.index, setting.value);
        idleFor(15);
        const std::string unreached = probe();
        if (!unreached.empty()) result = noPointer(unreached);
        const Pixels before = capture(child);
        for (const Step& step : s_.steps) {
            if (result != MouseRun::kRan) break;
            if (drive(step))
                checkStep(step);
            else
                result = noPointer(std::string("xdotool failed during the ") + step.what);
        }
        if (result == MouseRun::kRan) {
            const bool kept = std::all_of(std::begin(s_.steps), std::end(s_.steps), [this](const Step& step) {
                return std::fabs(plugin_->getParameter(step.tag) - step.expected) <= kTolerance;
            });
            EDITOR_CHECK(c_, kept, "after all steps every value is still the one its step left");
            idleFor(10);
            checkPicture(before, child);
            checkAudio();
        }
    }
    plugin_->dispatch(effEditClose);
    pumpMessages();
    plugin_->close();
    DestroyWindow(host);
    pumpMessages();
    return result;
}

}  // namespace

MouseRun runMouseScenario(conformance::Checker& c, const std::string& kind, const std::string& path,
                          const std::string& shotPath, float scale) {
    for (const KindScenario& k : kKinds) {
        if (kind == k.kind) return MouseTest(c, kind, *k.scenario, shotPath, scale).run(path);
    }
    return MouseRun::kUnknownKind;
}

}  // namespace klv::wine
