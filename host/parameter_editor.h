// ParameterEditor: what both plug-ins' editors share. A frame over skin
// bitmap 128 laid out from an EditorLayout table: controls bound to
// parameters by tag, read-outs that show a parameter's value or its working
// value through a formatter, two needle meters and the about panel; the
// mirroring of parameter changes into them, and the idle that feeds the
// meters. Each editor gives its tables and its meter wiring.
//
// Threads: setParameter (the effect calls it on whatever thread set the
// parameter) and resetMeters (the thread that suspends the effect) only
// record what changed, in atomics; the window's thread applies it before
// its next redraw, at idle or after a drag step, reading the effect's
// current values. No view is touched by any other thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "gui/bitmap.h"
#include "gui/control.h"
#include "gui/needle_meter.h"
#include "gui/switches.h"
#include "gui/value_text.h"
#include "host/gui_editor_base.h"
#include "host/program_effect.h"

namespace klv {

class ParameterEditor : public GuiEditorBase, public gui::ControlListener {
public:
    static constexpr int kMaxParams = 20;

    // What a read-out shows: the parameter as the host sees it, or its
    // working value (gain factor, Hz, ...).
    enum Shown { kParameterValue, kWorkingValue };
    // A read-out under or beside a control.
    struct Readout {
        gui::Rect rect;
        Shown shown;
        gui::ShortFormatter format;
        int alignment = gui::kAlignCenter;
    };
    // The word over a control: a row of the plug-in's name table.
    struct NameLabel {
        gui::Rect rect;
        int nameIndex;
    };
    // A button (two frames) or a switch (more), by its bitmap's frames; a
    // switch shows the state the effect reads its value as.
    struct ButtonRow {
        int param;
        gui::Rect rect;
        int bitmap;
        int states;
        gui::StateRule rule = nullptr;
    };
    // A knob or fader with the word over it and its read-out.
    struct ControlRow {
        int param;
        gui::Rect rect;
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
        gui::Rect dial;
        int dialBitmap;
        gui::Rect lamp;
        int lampBitmap;
        gui::Point pivot;
    };
    // Rows of a table.
    template <typename T>
    struct Rows {
        template <std::size_t N>
        constexpr Rows(const T (&rows)[N]) : data(rows), count(static_cast<int>(N)) {}  // NOLINT: a table is its rows
        const T* begin() const { return data; }
        const T* end() const { return data + count; }
        const T* data;
        int count;
    };
    // One editor's window, in the order its views are added: the meters,
    // the buttons, the knobs, the vertical faders, the mix fader, the about
    // panel.
    struct Layout {
        const gui::ResourceTable& skin;
        int width;  // the background's size, should the skin not load
        int height;
        int numParams;
        gui::ShortFormatter nameFormat;
        gui::NeedleMeter::Kind meterKind;
        MeterPlace meters[2];
        Rows<ButtonRow> buttons;
        Rows<ControlRow> knobs;
        int knobHandle;
        Rows<FaderRow> verticalFaders;
        int faderHandle;
        FaderRow mix;
        int mixHandle;
        int mixBackground;
        int aboutTag;
        int aboutBitmap;
        const char* about[3];  // the product and version, then two more lines
        // Controls that show the effect's working value at every idle: the
        // effect may decide these itself without a parameter call.
        Rows<int> followers;
    };

    ParameterEditor(EditedEffect* effect, const Layout& layout);
    ~ParameterEditor() override;

    long open(void* parentWindow) override;
    void close() override;
    // Any thread: records that the parameter changed.
    void setParameter(VstInt32 index, float value) override;
    void valueChanged(gui::DrawContext* context, gui::Control* control) override;
    // Any thread: every input of the meters goes to 0 at the next idle (the
    // effect's processing state was reset).
    void resetMeters();

    // The control bound to a parameter, and its read-out (null when closed
    // or when there is none).
    gui::Control* control(int index) const { return validIndex(index) ? controls_[index] : nullptr; }
    gui::ValueText* readout(int index) const { return validIndex(index) ? readouts_[index] : nullptr; }
    gui::NeedleMeter* meter(int channel) const { return meters_[channel == 0 ? 0 : 1]; }

protected:
    // Sets both meters' inputs from the effect's readings.
    virtual void feedMeters(gui::NeedleMeter& left, gui::NeedleMeter& right) = 0;

    void applyPending() override;
    void afterIdle() override;

private:
    bool validIndex(int index) const { return index >= 0 && index < numParams_; }
    void createControls();
    // A bitmap of this plug-in's skin, frames stacked in it.
    gui::Ref<gui::Bitmap> loadBitmap(int id, int frames = 1) const;
    // Adds a control bound to its tag (the frame keeps it), starting at the
    // parameter's value.
    void bind(gui::Control* control);
    void addButton(const ButtonRow& row);
    void addKnob(const ControlRow& row, gui::Bitmap* handle);
    // A fader over background (null: the window's background under it),
    // with its word and read-out.
    void addFader(const FaderRow& row, bool vertical, int handleBitmap, int backgroundBitmap = 0);
    gui::NeedleMeter* addMeter(const MeterPlace& place);
    void addAbout();
    void addName(NameLabel label);
    void addReadout(int index, Readout readout);
    float shownValue(int index, Shown shown);

    EditedEffect* edited_;  // the effect, as its editor sees it
    const Layout& layout_;
    int numParams_;
    gui::Ref<gui::Bitmap> background_;
    gui::Control* controls_[kMaxParams] = {};
    gui::ValueText* readouts_[kMaxParams] = {};
    Shown shown_[kMaxParams] = {};
    gui::NeedleMeter* meters_[2] = {};
    // Written by any thread, taken by the window's.
    std::atomic<std::uint32_t> changedParams_{0};
    std::atomic<bool> meterResetPending_{false};
};

}  // namespace klv
