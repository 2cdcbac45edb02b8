// The editors' drawing costs on the raster side (what Linux windows draw
// with), and the audio path with an editor open:
//   full paint, an idle in which nothing changed, an idle in which only the
//   meters moved, one knob drag step, open to first paint (with the bytes
//   it allocates), and processReplacing with the editor closed and with it
//   open and idled at 30 Hz on a second thread.
// The drawing ones take the editor scale times 100 as their argument.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "bench/engine_bench.h"
#include "clampora/clampora_effect.h"
#include "gui/frame.h"
#include "gui/raster/memory_window.h"
#include "gui/scale.h"
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

    explicit OpenEditor(float scale = 1.0f, bool openNow = true) {
        effect.setSampleRate(44100.0f);
        effect.resume();
        editor.setWindowSystem(windows);
        editor.setFixedScale(scale);
        if (openNow) open();
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

float scaleOf(const benchmark::State& state) {
    return static_cast<float>(state.range(0)) / 100.0f;
}

template <class Effect>
void fullPaint(benchmark::State& state) {
    OpenEditor<Effect> e(scaleOf(state));
    for (auto _ : state) e.port().paint();
}

template <class Effect>
void idleNothingChanged(benchmark::State& state) {
    OpenEditor<Effect> e(scaleOf(state));
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
    OpenEditor<Effect> e(scaleOf(state));
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
    const float scale = scaleOf(state);
    OpenEditor<Effect> e(scale);
    const gui::Rect r = gui::toDevice(e.editor.control(knob)->getViewSize(), scale);
    const gui::Point centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    e.port().press(centre, gui::kLeftButton);
    int dy = 0;
    for (auto _ : state) {
        dy = dy >= 40 ? -40 : dy + 1;
        e.port().move({centre.x, centre.y - dy}, gui::kLeftButton);
    }
    e.port().release({centre.x, centre.y - dy}, 0);
}

// A cold open: a new effect each time, so that the art of the scale is
// decoded and filtered again (the module keeps it only while an editor
// holds it). open_kB: the heap the open editor holds, art included;
// next_kB: what a second editor of the module adds, the art shared.
template <class Effect>
void openToFirstPaint(benchmark::State& state) {
    const float scale = scaleOf(state);
    std::size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto e = std::make_unique<OpenEditor<Effect>>(scale, false);
        const std::size_t before = mallinfo2().uordblks;
        state.ResumeTiming();
        e->open();
        state.PauseTiming();
        bytes = mallinfo2().uordblks - before;
        e.reset();
        state.ResumeTiming();
    }
    OpenEditor<Effect> first(scale);
    OpenEditor<Effect> second(scale, false);
    const std::size_t before = mallinfo2().uordblks;
    second.open();
    state.counters["open_kB"] = static_cast<double>(bytes) / 1024.0;
    state.counters["next_kB"] = static_cast<double>(mallinfo2().uordblks - before) / 1024.0;
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

// Scale 1, the filtered 1.5, and the sets carried as they are, 2 and 3.
void scales(benchmark::internal::Benchmark* b) {
    for (int percent : {100, 150, 200, 300}) b->Arg(percent);
}

BENCHMARK_TEMPLATE(fullPaint, ClamporaEffect)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(fullPaint, TonvelaEffect)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleNothingChanged, ClamporaEffect)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleNothingChanged, TonvelaEffect)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleMetersMoving, ClamporaEffect)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(idleMetersMoving, TonvelaEffect)->Apply(scales)->Unit(benchmark::kMicrosecond);
void clamporaKnobDragStep(benchmark::State& state) {
    knobDragStep<ClamporaEffect>(state, clampora::kAttack);
}
void tonvelaKnobDragStep(benchmark::State& state) {
    knobDragStep<TonvelaEffect>(state, tonvela::kInput);
}
BENCHMARK(clamporaKnobDragStep)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK(tonvelaKnobDragStep)->Apply(scales)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(openToFirstPaint, ClamporaEffect)->Apply(scales)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(openToFirstPaint, TonvelaEffect)->Apply(scales)->Unit(benchmark::kMillisecond);
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
