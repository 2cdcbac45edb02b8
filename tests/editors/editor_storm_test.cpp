// Two threads at the editor: an automation storm (one thread sets every
// parameter in turn as fast as it can while the window's thread idles and
// draws; afterwards the editor shows the final values), the same storm with
// suspends and resumes while the window's thread opens, idles and closes
// the editor over and over, and the audio running while the editor opens
// and closes. Built with ThreadSanitizer by the test script, and with
// AddressSanitizer, where they must run clean.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "clampora/clampora_effect.h"
#include "gui/needle_meter.h"
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

// A host whose automation thread, or a control surface's, keeps setting
// parameters and suspending and resuming the effect while the user opens
// and closes the editor: no view may be reached from that thread.
void openAndCloseDuringAutomation(hostkit::EntryProc entry, int numParams) {
    OpenEditor e(entry);
    std::atomic<bool> done{false};
    std::thread automation([&] {
        for (int round = 0; !done.load(); ++round) {
            for (int index = 0; index < numParams; ++index)
                e.plugin().setParameter(index, static_cast<float>((round * 3 + index) % 7) / 6.0f);
            if (round % 8 == 0) e.plugin().dispatch(effMainsChanged, 0, round % 16 == 0 ? 0 : 1);
        }
    });
    const auto end = std::chrono::steady_clock::now() + stormLength();
    int rounds = 0;
    while (std::chrono::steady_clock::now() < end) {
        e.plugin().dispatch(effEditClose);
        ASSERT_EQ(e.open(), 1);
        for (int i = 0; i < 3; ++i) e.idle();
        ++rounds;
    }
    done = true;
    automation.join();
    EXPECT_GT(rounds, 10);
}

// The editor opened, idled and closed 50 times while another thread runs
// the audio: the meters read the rings as they are written, never waiting.
void openAndCloseWhileAudioRuns(hostkit::EntryProc entry) {
    OpenEditor e(entry);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> in(512), out(512);
        for (int i = 0; i < 512; ++i) in[i] = 0.5f * static_cast<float>((i * 37) % 64 - 32) / 32.0f;
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {out.data(), out.data()};
        while (!done.load()) e.plugin().processReplacing(inputs, outputs, 512);
    });
    for (int round = 0; round < 50; ++round) {
        e.plugin().dispatch(effEditClose);
        ASSERT_EQ(e.open(), 1);
        for (int i = 0; i < 3; ++i) e.idle();
    }
    done = true;
    audio.join();
    e.idle();
    e.idle();
    auto* meter = static_cast<gui::NeedleMeter*>(e.frame().viewAt(0));
    EXPECT_GT(meter->input(0), 0.01f);  // the music reached the needle
}

TEST(EditorWithAudio, Clampora) {
    openAndCloseWhileAudioRuns(&makeEffect<clampora::ClamporaEffect>);
}

TEST(EditorWithAudio, Tonvela) {
    openAndCloseWhileAudioRuns(&makeEffect<tonvela::TonvelaEffect>);
}

TEST(EditorOpenCloseDuringAutomation, Clampora) {
    openAndCloseDuringAutomation(&makeEffect<clampora::ClamporaEffect>, clampora::kNumParams);
}

TEST(EditorOpenCloseDuringAutomation, Tonvela) {
    openAndCloseDuringAutomation(&makeEffect<tonvela::TonvelaEffect>, tonvela::kNumParams);
}

TEST(EditorStorm, Clampora) {
    storm(&makeEffect<clampora::ClamporaEffect>, clampora::kNumParams, {17});
}

TEST(EditorStorm, Tonvela) {
    storm(&makeEffect<tonvela::TonvelaEffect>, tonvela::kNumParams, {0, 15});
}

}  // namespace
}  // namespace klv::test
