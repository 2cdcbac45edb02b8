// The Windows test host, run under Wine: loads each DLL with LoadLibrary and
// runs the same conformance cases as the Linux binary tests; the 32-bit host
// also calls everything through a misaligned stack.
//   klv-wine-host KIND PATH [KIND PATH ...]
//   klv-wine-host --digest PATH
//   klv-wine-host --editor KIND PATH SHOT.bmp   the editor in real windows
//   klv-wine-host --mouse KIND PATH SHOT.bmp    xdotool drives the editor
//   klv-wine-host --host KIND PATH MARKER       quick taps, closes mid-drag, two editors
// Exit status 0 when every check passed, 1 when one failed, 2 for a wrong
// command line, 3 when --mouse or --host could not drive the pointer.
#include <cstdio>
#include <string>

#include "tests/conformance/conformance.h"
#include "tests/conformance/digest.h"
#include "tests/wine/editor_checks.h"
#include "tests/wine/misaligned_calls.h"
#include "tests/wine/mouse_scenario.h"

int main(int argc, char** argv) {
    using namespace klv;
    if (argc == 3 && std::string(argv[1]) == "--digest") return klv::conformance::printDigests(argv[2]) ? 0 : 1;
    if (argc == 5 && std::string(argv[1]) == "--editor") {
        conformance::Checker c;
        if (!wine::runEditorChecks(c, argv[2], argv[3], argv[4])) {
            std::fprintf(stderr, "klv-wine-host: unknown kind %s\n", argv[2]);
            return 2;
        }
        std::printf("%d passed, %d failed\n", c.passed(), c.failed());
        std::fflush(stdout);
        return c.failed() == 0 ? 0 : 1;
    }
    if (argc == 5 && (std::string(argv[1]) == "--mouse" || std::string(argv[1]) == "--host")) {
        conformance::Checker c;
        const wine::MouseRun run = std::string(argv[1]) == "--mouse"
                                       ? wine::runMouseScenario(c, argv[2], argv[3], argv[4])
                                       : wine::runHostScenarios(c, argv[2], argv[3], argv[4]);
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
