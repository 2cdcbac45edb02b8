// ClamporaEditor: the compressor's window (435 x 232): eight knobs, three
// faders, six buttons, the output-stage switch, two needle meters fed from
// the effect's meter rings, 22 read-outs and the about panel.
#pragma once

#include "host/parameter_editor.h"

namespace klv::clampora {

class ClamporaEffect;

// The compressor's skin bitmaps (embedded where there are no resources).
extern const gui::ResourceTable kSkin;

class ClamporaEditor : public ParameterEditor {
public:
    static constexpr int kWidth = 435;
    static constexpr int kHeight = 232;
    static constexpr int kAboutTag = 19;

    explicit ClamporaEditor(ClamporaEffect* effect);

protected:
    void feedMeters(gui::NeedleMeter& left, gui::NeedleMeter& right) override;

private:
    ClamporaEffect* effect_;
};

}  // namespace klv::clampora
