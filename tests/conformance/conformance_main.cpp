// klv-conformance KIND PATH [KIND PATH ...]
//        klv-conformance --digest PATH   (output digests, see digest.h)
//        klv-conformance --check-digest PATH FILE   (digests against a file)
//        klv-conformance --compare PATH_A PATH_B [TOLERANCE]   (largest
//        sample difference between two builds, see digest.h)
// KIND is clampora, clampora-mono, tonvela or tonvela-mono. Prints a line per
// failed check and ends with "N passed, N failed"; exits non-zero on failure.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/conformance/conformance.h"
#include "tests/conformance/digest.h"

int main(int argc, char** argv) {
    using namespace klv::conformance;
    if (argc == 3 && std::string(argv[1]) == "--digest") return klv::conformance::printDigests(argv[2]) ? 0 : 1;
    if (argc == 4 && std::string(argv[1]) == "--check-digest") return checkDigests(argv[2], argv[3]) ? 0 : 1;
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--compare")
        return klv::conformance::compareBuilds(argv[2], argv[3], argc == 5 ? std::atof(argv[4]) : 0.0) ? 0 : 1;
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: klv-conformance KIND PATH [KIND PATH ...]\n");
        return 2;
    }
    Checker c;
    for (int i = 1; i + 1 < argc; i += 2) {
        const PluginExpectations* expect = findExpectations(argv[i]);
        if (!expect) {
            std::fprintf(stderr, "klv-conformance: unknown kind %s\n", argv[i]);
            return 2;
        }
        runConformance(c, argv[i + 1], *expect);
    }
    std::printf("%d passed, %d failed\n", c.passed(), c.failed());
    return c.failed() == 0 ? 0 : 1;
}
