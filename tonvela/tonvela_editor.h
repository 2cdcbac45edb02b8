// TonvelaEditor: the saturator's window (435 x 231): eight knobs, three
// faders, four buttons, the meter-point switch, two needle meters fed from
// the effect's meter history, 22 read-outs and the about panel.
#pragma once

#include "gui/needle_meter.h"
#include "gui/parameter_editor.h"

namespace klv::tonvela {

class TonvelaEffect;

// The saturator's skin bitmaps (embedded where there are no resources).
extern const gui::ResourceTable kSkin;

class TonvelaEditor : public gui::ParameterEditor {
public:
    static constexpr int kWidth = 435;
    static constexpr int kHeight = 231;
    static constexpr int kAboutTag = 17;

    explicit TonvelaEditor(TonvelaEffect* effect);

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
    TonvelaEffect* effect_;
    gui::NeedleMeter* meters_[2] = {};
    gui::Control* process_ = nullptr;
    gui::Control* stereoMono_ = nullptr;
};

}  // namespace klv::tonvela
