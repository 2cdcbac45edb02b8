// The Windows test host, run under Wine: loads each DLL with LoadLibrary and
// runs the same conformance cases as the Linux binary tests; the 32-bit host
// also calls everything through a misaligned stack.
//   klv-wine-host KIND PATH [KIND PATH ...]
//   klv-wine-host --digest PATH
//   klv-wine-host --editor KIND PATH SHOT.bmp [SCALE]   the editor in real windows
//   klv-wine-host --mouse KIND PATH SHOT.bmp [SCALE]    xdotool drives the editor
// (SCALE: what the display's DPI makes the editors' scale; 1 by default)
//   klv-wine-host --host KIND PATH MARKER       quick taps, closes mid-drag, two editors
// Exit status 0 when every check passed, 1 when one failed, 2 for a wrong
// command line, 3 when --mouse or --host could not drive the pointer.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/conformance/conformance.h"
#include "tests/conformance/digest.h"
#include "tests/wine/editor_checks.h"
#include "tests/wine/misaligned_calls.h"
#include "tests/wine/mouse_scenario.h"

namespace {

void makeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto setContext = reinterpret_cast<SetContext>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (!setContext || !setContext(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-4)))) SetProcessDPIAware();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace klv;
    if (argc == 3 && std::string(argv[1]) == "--digest") return klv::conformance::printDigests(argv[2]) ? 0 : 1;
    // The host is DPI aware: the editors see the monitor's DPI, and at 192
    // draw at scale 2 (the fifth argument of --editor and --mouse).
    makeDpiAware();
    const float scale = argc == 6 ? static_cast<float>(std::atof(argv[5])) : 1.0f;
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--editor") {
        conformance::Checker c;
        if (!wine::runEditorChecks(c, argv[2], argv[3], argv[4], scale)) {
            std::fprintf(stderr, "klv-wine-host: unknown kind %s\n", argv[2]);
            return 2;
        }
        std::printf("%d passed, %d failed\n", c.passed(), c.failed());
        std::fflush(stdout);
        return c.failed() == 0 ? 0 : 1;
    }
    if ((argc == 5 || argc == 6) && (std::string(argv[1]) == "--mouse" || std::string(argv[1]) == "--host")) {
        conformance::Checker c;
        const wine::MouseRun run = std::string(argv[1]) == "--mouse"
                                       ? wine::runMouseScenario(c, argv[2], argv[3], argv[4], scale)
                                       : wine::runHostScenarios(c, argv[2], argv[3], argv[4], scale);
        if (run == wine::MouseRun::kUnknownKind) {
            std::fprintf(stderr, "klv-wine-host: unknown kind %s\n", argv[2]);
            return 2;
        }
        std::printf("%d passed, %d failed\n", c.passed(), c.failed());
        std::fflush(stdout);
        if (run == wine::MouseRun::kNoPointer) return 3;
        return c.failed() == 0 ? 0 : 1;
    }
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr,
                     "usage: klv-wine-host KIND PATH [KIND PATH ...]\n"
                     "       klv-wine-host --digest PATH\n"
                     "       klv-wine-host --editor KIND PATH SHOT.bmp\n"
                     "       klv-wine-host --mouse KIND PATH SHOT.bmp\n"
                     "       klv-wine-host --host KIND PATH MARKER\n");
        return 2;
    }
    conformance::Checker c;
    for (int i = 1; i + 1 < argc; i += 2) {
        const conformance::PluginExpectations* expect = conformance::findExpectations(argv[i]);
        if (!expect) {
            std::fprintf(stderr, "klv-wine-host: unknown kind %s\n", argv[i]);
            return 2;
        }
        conformance::runConformance(c, argv[i + 1], *expect);
        if (sizeof(void*) == 4) {
            hostkit::PluginLibrary lib;
            if (lib.open(argv[i + 1])) wine::runMisalignedCalls(c, lib);
        }
    }
    std::printf("%d passed, %d failed\n", c.passed(), c.failed());
    std::fflush(stdout);
    return c.failed() == 0 ? 0 : 1;
}
