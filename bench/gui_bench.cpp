// The editors' drawing costs on the raster side (what Linux windows draw
// with), and the audio path with an editor open:
//   full paint, an idle in which nothing changed, an idle in which only the
//   meters moved, one knob drag step, open to first paint (with the bytes
//   it allocates), and processReplacing with the editor closed and with it
//   open and idled at 30 Hz on a second thread.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "bench/engine_bench.h"
#include "clampora/clampora_effect.h"
#include "gui/frame.h"
#include "gui/raster/memory_window.h"
#include "host/parameter_editor.h"
#include "tonvela/tonvela_effect.h"

namespace klv::bench {
namespace {

int parent;

// An effect with its editor on a memory window, open and painted.
template <class Effect>
struct OpenEditor {
    Effect effect{quietHost};
    gui::raster::MemoryWindowSystem windows;
    ParameterEditor& editor = *static_cast<ParameterEditor*>(effect.getEditor());

    OpenEditor() {
        effect.setSampleRate(44100.0f);
        effect.resume();
        editor.setWindowSystem(windows);
        open();
    }
    ~OpenEditor() { editor.close(); }
    void open() {
        editor.open(&parent);
        port().paint();
    }
    gui::raster::MemoryWindowPort& port() {
        return *static_cast<gui::raster::MemoryWindowPort*>(editor.getFrame()->window());
    }
    void playBlock(std::vector<float>& l, std::vector<float>& r, int& pos) {
        static std::vector<float> outL(kBlock), outR(kBlock);
        float* in[2] = {l.data() + pos, r.data() + pos};
        float* out[2] = {outL.data(), outR.data()};
        effect.processReplacing(in, out, kBlock);
        pos = pos + 2 * kBlock > static_cast<int>(l.size()) ? 0 : pos + kBlock;
    }
};

template <class Effect>
void fullPaint(benchmark::State& state) {
    OpenEditor<Effect> e;
    for (auto _ : state) e.port().paint();
}

template <class Effect>
void idleNothingChanged(benchmark::State& state) {
    OpenEditor<Effect> e;
    for (int i = 0; i < 3; ++i) e.editor.idle();
    e.port().clearDrawnAreas();
    for (auto _ : state) e.editor.idle();
    // Everything drawn in all those idles: nothing at all.
    gui::Rect drawn{};
    for (const gui::Rect& r : e.port().drawnAreas()) drawn = r.width() > 0 ? r : drawn;
    state.counters["drawn_width"] = drawn.width();
}

// Music through the effect between idles, so that every needle moves; only
// the idle is timed.
template <class Effect>
void idleMetersMoving(benchmark::State& state) {
    OpenEditor<Effect> e;
    std::vector<float> l, r;
    fill(l, r, 44100);
    int pos = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 3; ++i) e.playBlock(l, r, pos);
        state.ResumeTiming();
        e.editor.idle();
    }
}

// One motion event of a knob drag: the knob's step, the effect storing the
// value, and the redraw of the knob and its read-out.
template <class Effect>
void knobDragStep(benchmark::State& state, int knob) {
    OpenEditor<Effect> e;
    const gui::Rect r = e.editor.control(knob)->getViewSize();
    const gui::Point centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    e.port().press(centre, gui::kLeftButton);
    int dy = 0;
    for (auto _ : state) {
        dy = dy >= 40 ? -40 : dy + 1;
        e.port().move({centre.x, centre.y - dy}, gui::kLeftButton);
    }
    e.port().release({centre.x, centre.y - dy}, 0);
}

template <class Effect>
void openToFirstPaint(benchmark::State& state) {
    OpenEditor<Effect> e;
    e.editor.close();
    std::size_t bytes = 0;
    for (auto _ : state) {
        // Heap in use while the editor is open (frame buffer, skins, views).
        const std::size_t before = mallinfo2().uordblks;
        e.open();
        bytes = mallinfo2().uordblks - before;
        state.PauseTiming();
        e.editor.close();
        state.ResumeTiming();
    }
    state.counters["open_kB"] = static_cast<double>(bytes) / 1024.0;
}

// processReplacing alone, while a second thread idles the editor at 30 Hz
// (open) or nothing (closed).
template <class Effect>
void audioWithEditor(benchmark::State& state, bool open) {
    OpenEditor<Effect> e;
    if (!open) e.editor.close();
    std::atomic<bool> done{false};
    std::thread gui([&] {
        while (!done.load()) {
            if (open) e.editor.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    });
    timeBlocks(state, e.effect);
    done = true;
    gui.join();
}

using clampora::ClamporaEffect;
using tonvela::TonvelaEffect;

BENCHMARK_TEMPLATE(fullPaint, ClamporaEffect)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(fullPaint, TonvelaEffect)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleNothingChanged, ClamporaEffect)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleNothingChanged, TonvelaEffect)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleMetersMoving, ClamporaEffect)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleMetersMoving, TonvelaEffect)->Unit(benchmark::kMicrosecond);
void clamporaKnobDragStep(benchmark::State& state) {
    knobDragStep<ClamporaEffect>(state, clampora::kAttack);
}
void tonvelaKnobDragStep(benchmark::State& state) {
    knobDragStep<TonvelaEffect>(state, tonvela::kInput);
}
BENCHMARK(clamporaKnobDragStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(tonvelaKnobDragStep)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(openToFirstPaint, ClamporaEffect)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(openToFirstPaint, TonvelaEffect)->Unit(benchmark::kMicrosecond);
void clamporaAudio(benchmark::State& state) {
    audioWithEditor<ClamporaEffect>(state, state.range(0) != 0);
}
void tonvelaAudio(benchmark::State& state) {
    audioWithEditor<TonvelaEffect>(state, state.range(0) != 0);
}
// Argument 0: editor closed; 1: open and idled at 30 Hz.
BENCHMARK(clamporaAudio)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(tonvelaAudio)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace
}  // namespace klv::bench
