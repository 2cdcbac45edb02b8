// TonvelaEditor: the saturator's window (435 x 231): eight knobs, three
// faders, four buttons, the meter-point switch, two needle meters fed from
// the effect's meter history, 22 read-outs and the about panel.
#pragma once

#include "host/parameter_editor.h"

namespace klv::tonvela {

class TonvelaEffect;

// The saturator's skin bitmaps (embedded where there are no resources).
extern const gui::ResourceTable kSkin;

class TonvelaEditor : public ParameterEditor {
public:
    static constexpr int kWidth = 435;
    static constexpr int kHeight = 231;
    static constexpr int kAboutTag = 17;

    explicit TonvelaEditor(TonvelaEffect* effect);

protected:
    void feedMeters(gui::NeedleMeter& left, gui::NeedleMeter& right) override;

private:
    TonvelaEffect* effect_;
};

}  // namespace klv::tonvela
