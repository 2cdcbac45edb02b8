// Automation storm: one thread sets every parameter in turn as fast as it
// can while the window's thread idles and draws the editor. Built with
// ThreadSanitizer by the test script, where it must run clean; afterwards
// the editor shows the final values.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "clampora/clampora_effect.h"
#include "tests/editors/editor_test_util.h"
#include "tonvela/tonvela_effect.h"

namespace klv::test {
namespace {

// KLV_STORM_MS sets the length (the sanitizer run takes longer).
std::chrono::milliseconds stormLength() {
    const char* ms = std::getenv("KLV_STORM_MS");
    return std::chrono::milliseconds(ms ? std::atoi(ms) : 300);
}

void storm(hostkit::EntryProc entry, int numParams, std::vector<int> followWorkingValue) {
    OpenEditor e(entry);
    std::atomic<bool> done{false};
    std::thread automation([&] {
        for (int round = 0; !done.load(); ++round) {
            for (int index = 0; index < numParams; ++index)
                e.plugin().setParameter(index, static_cast<float>((round * 7 + index) % 11) / 10.0f);
        }
        for (int index = 0; index < numParams; ++index) e.plugin().setParameter(index, 0.25f);
    });
    const auto end = std::chrono::steady_clock::now() + stormLength();
    while (std::chrono::steady_clock::now() < end) e.idle();
    done = true;
    automation.join();
    e.idle();
    e.idle();
    for (int index = 0; index < numParams; ++index) {
        gui::Control* c = e.editor().control(index);
        if (!c || std::find(followWorkingValue.begin(), followWorkingValue.end(), index) != followWorkingValue.end())
            continue;
        EXPECT_EQ(c->getValue(), e.plugin().getParameter(index)) << index;
        EXPECT_FALSE(c->isDirty()) << index;
    }
}

TEST(EditorStorm, Clampora) {
    storm(&makeEffect<clampora::ClamporaEffect>, clampora::kNumParams, {17});
}

TEST(EditorStorm, Tonvela) {
    storm(&makeEffect<tonvela::TonvelaEffect>, tonvela::kNumParams, {0, 15});
}

}  // namespace
}  // namespace klv::test
