// ParameterEditor: what both plug-ins' editors share. A frame over skin
// bitmap 128, controls bound to parameters by tag, read-outs that show a
// parameter's value or its working value through a formatter, and the
// mirroring of parameter changes into them. Each editor lays out its own
// window and feeds its own meters.
#pragma once

#include "gui/bitmap.h"
#include "gui/control.h"
#include "gui/value_text.h"
#include "host/gui_editor_base.h"

namespace klv::gui {

class NeedleMeter;

class ParameterEditor : public GuiEditorBase, public ControlListener {
public:
    static constexpr int kMaxParams = 20;

    // What a read-out shows: the parameter as the host sees it, or its
    // working value (gain factor, Hz, ...).
    enum Shown { kParameterValue, kWorkingValue };
    // A read-out under or beside a control.
    struct Readout {
        Rect rect;
        Shown shown;
        ShortFormatter format;
        int alignment = kAlignCenter;
    };
    // The word over a control: a row of the plug-in's name table.
    struct NameLabel {
        Rect rect;
        int nameIndex;
    };
    // A button (two frames) or a switch (more), by its bitmap's frames.
    struct ButtonRow {
        int param;
        Rect rect;
        int bitmap;
        int states;
    };
    // A knob or fader with the word over it and its read-out.
    struct ControlRow {
        int param;
        Rect rect;
        NameLabel name;
        Readout readout;
    };
    // A fader's handle travels from minPosition to maxPosition (frame
    // coordinates along its axis); without free click it must be grabbed.
    struct FaderRow {
        ControlRow control;
        int minPosition;
        int maxPosition;
        bool freeClick;
        float defaultValue;
    };
    // A meter's dial, lamp and needle pivot.
    struct MeterPlace {
        Rect dial;
        int dialBitmap;
        Rect lamp;
        int lampBitmap;
        Point pivot;
    };

    ParameterEditor(EffectBase* effect, int numParams, const ResourceTable& skin, int width, int height,
                    ShortFormatter nameFormat);
    ~ParameterEditor() override;

    long open(void* parentWindow) override;
    void close() override;
    void setParameter(VstInt32 index, float value) override;
    void valueChanged(DrawContext* context, Control* control) override;
    // Zeroes every input of the meters (the effect's processing state was
    // reset).
    virtual void resetMeters() = 0;

    // The control bound to a parameter, and its read-out (null when closed
    // or when there is none).
    Control* control(int index) const { return validIndex(index) ? controls_[index] : nullptr; }
    ValueText* readout(int index) const { return validIndex(index) ? readouts_[index] : nullptr; }

protected:
    // Adds the controls in the window's order.
    virtual void createControls() = 0;
    // The working value of a parameter, as its read-out shows it.
    virtual float workingValue(int index) = 0;
    virtual void setEditorOpen(bool open) = 0;
    virtual bool editorOpen() const = 0;
    virtual void forgetControls() {}

    // A bitmap of this plug-in's skin; the caller releases it.
    Bitmap* loadBitmap(int id) const { return new Bitmap(id, &skin_); }
    // Adds a control bound to its tag (the frame keeps it), starting at the
    // parameter's value.
    template <typename T>
    T* bind(T* control);
    void bindControl(Control* control);
    Control* addButton(const ButtonRow& row);
    // Knobs over the background, each with its word and read-out.
    void addKnobs(const ControlRow* rows, int count, int handleBitmap);
    // A fader over background (null: the window's background under it),
    // with its word and read-out.
    void addFader(const FaderRow& row, bool vertical, int handleBitmap, int backgroundBitmap = 0);
    // A meter resting at the left stop.
    NeedleMeter* addMeter(bool fourInputs, const MeterPlace& place);
    // The about panel over the middle of the window, from the strip that
    // opens it; lines: the product and version, then two more.
    void addAbout(int tag, int bitmap, const char* const (&lines)[3]);
    void addName(NameLabel label);
    void addReadout(int index, Readout readout);
    // Every input of the meters to 0.
    static void zeroMeters(NeedleMeter* const (&meters)[2]);
    float shownValue(int index, Shown shown);
    Bitmap* background() const { return background_; }

private:
    bool validIndex(int index) const { return index >= 0 && index < numParams_; }

    int numParams_;
    const ResourceTable& skin_;
    ShortFormatter nameFormat_;
    Bitmap* background_;
    Control* controls_[kMaxParams] = {};
    ValueText* readouts_[kMaxParams] = {};
    Shown shown_[kMaxParams] = {};
};

template <typename T>
T* ParameterEditor::bind(T* control) {
    bindControl(control);
    return control;
}

}  // namespace klv::gui
