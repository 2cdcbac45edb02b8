#include "tests/editors/editor_test_util.h"

#include <cmath>

#include "gui/value_text.h"
#include "host/gui_editor_base.h"

namespace klv::test {

namespace {
int parentWindow;
}

OpenEditor::OpenEditor(hostkit::EntryProc entry, hostkit::HostConfig config, float scale) {
    plugin_ = hostkit::PluginInstance::create(entry, config);
    plugin_->dispatch(effOpen);
    plugin_->dispatch(effSetSampleRate, 0, 0, nullptr, config.sampleRate);
    plugin_->dispatch(effSetBlockSize, 0, 512);
    plugin_->dispatch(effMainsChanged, 0, 1);
    auto* effect = static_cast<EffectBase*>(plugin_->effect()->object);
    editor_ = static_cast<ParameterEditor*>(effect->getEditor());
    editor_->setWindowSystem(windows);
    editor_->setFixedScale(scale);
    open();
    plugin_->clearCalls();
}

OpenEditor::~OpenEditor() {
    plugin_->dispatch(effEditClose);
    plugin_->close();
    knobMode = 0;
}

long OpenEditor::open() {
    const long answer = static_cast<long>(plugin_->dispatch(effEditOpen, 0, 0, &parentWindow));
    if (answer == 1) port().paint();
    return answer;
}

void OpenEditor::click(gui::Point where, unsigned buttons, std::vector<Step> steps) {
    port().press(where, buttons);
    for (const Step& s : steps) {
        where = s.position;
        if (!(s.buttons & gui::kLeftButton)) {
            port().release(where, s.buttons);
            return;
        }
        port().move(where, s.buttons);
        buttons = s.buttons;
    }
    port().release(where, buttons & ~gui::kLeftButton);
}

void OpenEditor::play(float peak, float hz, int frames) {
    std::vector<float> in(512), out[2] = {std::vector<float>(512), std::vector<float>(512)};
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out[0].data(), out[1].data()};
    const double step = 2.0 * 3.141592653589793 * hz / plugin_->config().sampleRate;
    while (frames > 0) {
        const int n = frames < 512 ? frames : 512;
        for (int i = 0; i < n; ++i) {
            in[i] = static_cast<float>(peak * std::sin(phase_));
            phase_ += step;
        }
        plugin_->processReplacing(inputs, outputs, n);
        frames -= n;
    }
}

std::vector<hostkit::CallbackRecord> OpenEditor::callsOf(std::int32_t opcode) const {
    std::vector<hostkit::CallbackRecord> of;
    for (const auto& c : plugin_->calls()) {
        if (c.opcode == opcode) of.push_back(c);
    }
    return of;
}

std::string OpenEditor::readoutText(int index) {
    char text[gui::kValueTextSize];
    editor_->readout(index)->formatText(text);
    return text;
}

}  // namespace klv::test
