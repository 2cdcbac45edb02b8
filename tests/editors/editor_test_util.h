// Both plug-ins' editors opened by a recording host on the memory window
// system, driven by a scripted pointer.
#pragma once

#include <memory>
#include <vector>

#include "gui/frame.h"
#include "gui/raster/memory_window.h"
#include "host/effect_base.h"
#include "host/parameter_editor.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::test {

template <class Effect>
AEffect* KLV_CALL makeEffect(AudioMasterCallback host) {
    return (new Effect(host))->getAeffect();
}

// The middle of a control, where tests press it.
inline gui::Point centre(const gui::Control* c) {
    const gui::Rect r = c->getViewSize();
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class OpenEditor {
public:
    using Step = gui::raster::MemoryWindowSystem::PointerState;

    // scale: the editor's fixed scale (0: as the sources say, all 1 here).
    explicit OpenEditor(hostkit::EntryProc entry, hostkit::HostConfig config = {}, float scale = 0.0f);
    ~OpenEditor();

    hostkit::PluginInstance& plugin() { return *plugin_; }
    ParameterEditor& editor() { return *editor_; }
    gui::Frame& frame() { return *editor_->getFrame(); }
    gui::raster::MemoryWindowPort& port() { return *static_cast<gui::raster::MemoryWindowPort*>(frame().window()); }
    std::uint32_t pixel(int x, int y) { return port().pixels().at(x, y); }

    long open();
    void idle() { plugin_->dispatch(effEditIdle); }
    // A press at where with buttons held, a motion per step, the release.
    void click(gui::Point where, unsigned buttons, std::vector<Step> steps = {});
    // Audio through processReplacing: frames of a sine of amplitude peak at
    // hz (0: silence) on every input, in blocks of 512.
    void play(float peak, float hz, int frames);
    // The host calls of one kind.
    std::vector<hostkit::CallbackRecord> callsOf(std::int32_t opcode) const;
    // The text a read-out shows now.
    std::string readoutText(int index);

    gui::raster::MemoryWindowSystem windows;

private:
    std::unique_ptr<hostkit::PluginInstance> plugin_;
    ParameterEditor* editor_;
    double phase_ = 0.0;
};

}  // namespace klv::test
