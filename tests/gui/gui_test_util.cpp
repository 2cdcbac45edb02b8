#include "tests/gui/gui_test_util.h"

#include "gui/bitmap.h"

namespace klv::test {

std::vector<HostCall>& hostCalls() {
    static std::vector<HostCall> calls;
    return calls;
}

std::vector<HostCall> hostCallsOf(VstInt32 opcode) {
    std::vector<HostCall> of;
    for (const HostCall& c : hostCalls()) {
        if (c.opcode == opcode) of.push_back(c);
    }
    return of;
}

namespace {
VstIntPtr KLV_CALL recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    hostCalls().push_back({opcode, index, opt});
    return 0;
}
}  // namespace

RecordingEffect::RecordingEffect() : EffectBase(recordingHost, 1, 20) {}

void drag(gui::raster::MemoryWindowPort& port, gui::Point where, unsigned buttons,
          const std::vector<PointerStep>& steps) {
    port.press(where, buttons);
    for (const PointerStep& s : steps) {
        where = s.position;
        if (!(s.buttons & gui::kLeftButton)) {
            port.release(where, s.buttons);
            return;
        }
        port.move(where, s.buttons);
        buttons = s.buttons;
    }
    port.release(where, buttons & ~gui::kLeftButton);
}

TestEditor::TestEditor(EffectBase* effect, gui::raster::MemoryWindowSystem& s) : GuiEditorBase(effect), system(s) {
    setWindowSystem(s);
    designRect_ = {0, 0, kHeight, kWidth};
}

long TestEditor::open(void* parentWindow) {
    close();
    GuiEditorBase::open(parentWindow);
    return createFrame(parentWindow) ? 1 : 0;
}

void TestEditor::update() {
    ++updates;
    if (reenterIdle) {
        postUpdate();
        idle();
    }
}

void TestEditor::valueChanged(gui::DrawContext* context, gui::Control* control) {
    changes.push_back({control->getTag(), control->getValue()});
    if (effect_) effect_->setParameterAutomated(control->getTag(), control->getValue());
    if (context) control->update(*context);
}

gui::raster::MemoryWindowPort& TestEditor::port() const {
    return *static_cast<gui::raster::MemoryWindowPort*>(frame_->window());
}

void TestEditor::openAndPaint() {
    open(&parent);
    port().paint();
}

void TestEditor::click(gui::Point where, unsigned buttons, std::vector<PointerStep> steps) {
    drag(port(), where, buttons, steps);
}

EditorFixture::EditorFixture() {
    hostCalls().clear();
    effect = new RecordingEffect;
    editor = new TestEditor(effect, system);
    editor->openAndPaint();
}

EditorFixture::~EditorFixture() {
    editor->close();
    delete effect;  // and with it the editor
    knobMode = 0;
}

gui::Bitmap* framesBitmap(int width, std::vector<std::pair<int, std::uint32_t>> frames) {
    int height = 0;
    for (const auto& f : frames) height += f.first;
    gui::raster::PixelBuffer pixels(width, height);
    int top = 0;
    for (const auto& f : frames) {
        for (int y = top; y < top + f.first; ++y) {
            for (int x = 0; x < width; ++x) pixels.at(x, y) = f.second;
        }
        top += f.first;
    }
    return new gui::Bitmap(0, std::make_unique<gui::raster::RasterImage>(std::move(pixels)));
}

}  // namespace klv::test
