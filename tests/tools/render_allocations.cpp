// The renderer in this process with operator new counted on every thread:
// once a file is under way nothing is allocated, so a long file costs as
// many allocations as a short one. (libsndfile's and libebur128's C allocations are not
// counted; neither allocates per block.)
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstddef>
#include <cstdlib>

#include "tests/support/alloc_counter.h"
#include "tests/tools/render_test_util.h"
#include "tools/render/plugin_chain.h"
#include "tools/render/render_job.h"

namespace klv::test {
namespace {

long allocationsToRender(const render::ChainLibraries& chain, const std::string& input, const std::string& output,
                         int blockSize) {
    render::RenderSettings settings;
    settings.blockSize = blockSize;
    settings.replace = true;
    render::RenderProgress progress;
    const std::size_t before = allocationsInProcess();
    render::renderFile(chain, settings, {input, output}, progress);
    return static_cast<long>(allocationsInProcess() - before);
}

struct AllocationCase {
    const char* name;
    std::vector<std::string> plugins;  // short names or paths
    int blockSize;
};

void PrintTo(const AllocationCase& c, std::ostream* os) {
    *os << c.name;
}

class SteadyState : public ::testing::TestWithParam<AllocationCase> {};

TEST_P(SteadyState, LongFileAllocatesNoMoreThanShortOne) {
    std::vector<render::ChainLink> links;
    for (const std::string& p : GetParam().plugins) {
        const std::string path = p[0] == '/' ? p : builtPlugin(p);
        if (path.empty()) GTEST_SKIP() << p << " is not built";
        links.push_back({path, "", {}});
    }
    // The probe delays by this much (the other cases do not notice).
    ::setenv("KLV_PROBE_DELAY", "100", 1);
    TempDir dir;
    writeTestFile(dir / "short.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 20000);
    writeTestFile(dir / "long.wav", 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 400000);
    const render::ChainLibraries chain(links);
    const long shortFile = allocationsToRender(chain, dir / "short.wav", dir / "out.wav", GetParam().blockSize);
    const long longFile = allocationsToRender(chain, dir / "long.wav", dir / "out.wav", GetParam().blockSize);
    EXPECT_EQ(longFile, shortFile);
}

INSTANTIATE_TEST_SUITE_P(Chains, SteadyState,
                         ::testing::Values(AllocationCase{"probe", {KLV_PROBE_PLUGIN}, 512},
                                           AllocationCase{"delay_compensated", {KLV_PROBE_PLUGIN}, 64},
                                           AllocationCase{"saturator_compressor", {"tonvela", "clampora"}, 512}),
                         [](const ::testing::TestParamInfo<AllocationCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace klv::test
