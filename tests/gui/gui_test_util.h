// What the toolkit's tests share: an effect that records what it tells the
// host, and an editor on the memory window system whose frame the test
// fills with views.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "gui/control.h"
#include "gui/frame.h"
#include "gui/raster/memory_window.h"
#include "host/effect_base.h"
#include "host/gui_editor_base.h"

namespace klv::test {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    float value;
};

// Everything the effects of a test asked of the host, oldest first.
std::vector<HostCall>& hostCalls();
// The host calls of one kind (audioMasterBeginEdit, ...).
std::vector<HostCall> hostCallsOf(VstInt32 opcode);

class RecordingEffect : public EffectBase {
public:
    RecordingEffect();
    void process(float**, float**, VstInt32) override {}
};

struct ValueChange {
    int tag;
    float value;
};

using PointerStep = gui::raster::MemoryWindowSystem::PointerState;

// A press at where with buttons, then a motion per step while the step holds
// the left button; the first step without it (or the end) releases there.
void drag(gui::raster::MemoryWindowPort& port, gui::Point where, unsigned buttons,
          const std::vector<PointerStep>& steps);

class TestEditor : public GuiEditorBase, public gui::ControlListener {
public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 120;
    // A dummy parent: the memory window system takes any non-null one.
    static inline int parent = 0;

    TestEditor(EffectBase* effect, gui::raster::MemoryWindowSystem& system);

    long open(void* parentWindow) override;
    void update() override;
    void valueChanged(gui::DrawContext* context, gui::Control* control) override;

    gui::raster::MemoryWindowPort& port() const;
    // Opens and paints once, as a host showing the window would.
    void openAndPaint();
    // A press at where with buttons held, the steps' motions, the release.
    void click(gui::Point where, unsigned buttons, std::vector<PointerStep> steps = {});

    gui::raster::MemoryWindowSystem& system;
    int updates = 0;
    bool reenterIdle = false;
    std::vector<ValueChange> changes;
};

// A test fixture with a recording effect and an open, painted editor.
class EditorFixture {
public:
    EditorFixture();
    ~EditorFixture();

    gui::raster::MemoryWindowSystem system;
    RecordingEffect* effect;
    TestEditor* editor;  // owned by the effect
    gui::Frame& frame() const { return *editor->getFrame(); }
};

// A bitmap of width whose frames, top to bottom, have the given heights
// and colours (0xRRGGBB).
gui::Bitmap* framesBitmap(int width, std::vector<std::pair<int, std::uint32_t>> frames);

}  // namespace klv::test
