// The Windows test host, run under Wine: loads each DLL with LoadLibrary and
// runs the same conformance cases as the Linux binary tests; the 32-bit host
// also calls everything through a misaligned stack.
//   klv-wine-host KIND PATH [KIND PATH ...]
//   klv-wine-host --digest PATH
#include <cstdio>
#include <string>

#include "tests/conformance/conformance.h"
#include "tests/conformance/digest.h"
#include "tests/wine/misaligned_calls.h"

int main(int argc, char** argv) {
    using namespace klv;
    if (argc == 3 && std::string(argv[1]) == "--digest") return klv::conformance::printDigests(argv[2]) ? 0 : 1;
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: klv-wine-host KIND PATH [KIND PATH ...]\n");
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
