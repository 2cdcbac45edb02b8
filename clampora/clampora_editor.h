// ClamporaEditor: the compressor's window (435 x 232): eight knobs, three
// faders, six buttons, the output-stage switch, two needle meters fed from
// the effect's meter rings, 22 read-outs and the about panel.
#pragma once

#include "gui/needle_meter.h"
#include "gui/parameter_editor.h"

namespace klv::clampora {

class ClamporaEffect;

// The compressor's skin bitmaps (embedded where there are no resources).
extern const gui::ResourceTable kSkin;

class ClamporaEditor : public gui::ParameterEditor {
public:
    static constexpr int kWidth = 435;
    static constexpr int kHeight = 232;
    static constexpr int kAboutTag = 19;

    explicit ClamporaEditor(ClamporaEffect* effect);

    void idle() override;
    void resetMeters() override;

    gui::NeedleMeter* meter(int channel) const { return meters_[channel == 0 ? 0 : 1]; }

protected:
    void createControls() override;
    float workingValue(int index) override;
    void setEditorOpen(bool open) override;
    bool editorOpen() const override;
    void forgetControls() override;

private:
    ClamporaEffect* effect_;
    gui::NeedleMeter* meters_[2] = {};
    gui::Control* stereoMono_ = nullptr;
};

}  // namespace klv::clampora
