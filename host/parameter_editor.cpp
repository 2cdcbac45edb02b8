#include "host/parameter_editor.h"

#include "gui/faders.h"
#include "gui/frame.h"
#include "gui/panels.h"
#include "gui/rotary_knob.h"

namespace klv {

using gui::Bitmap;
using gui::Ref;

ParameterEditor::ParameterEditor(EditedEffect* effect, const Layout& layout)
    : GuiEditorBase(effect),
      edited_(effect),
      layout_(layout),
      numParams_(layout.numParams < kMaxParams ? layout.numParams : kMaxParams),
      background_(loadBitmap(128)) {
    // The window is the background's size; the written size stands in for a
    // skin that did not load, so that hosts still get a sane rectangle.
    const bool loaded = background_->width() > 0 && background_->height() > 0;
    designRect_ = {0, 0, static_cast<std::int16_t>(loaded ? background_->height() : layout.height),
                   static_cast<std::int16_t>(loaded ? background_->width() : layout.width)};
}

// The effect destroys its editor from its own destructor: by then nothing
// may reach it any more, not even the end of a drag cut short.
ParameterEditor::~ParameterEditor() {
    effect_ = nullptr;
    GuiEditorBase::close();
}

Ref<Bitmap> ParameterEditor::loadBitmap(int id, int frames) const {
    const Ref<Bitmap> bitmap = Ref<Bitmap>::adopt(new Bitmap(id, &layout_.skin));
    bitmap->setFrames(frames);
    return bitmap;
}

long ParameterEditor::open(void* parentWindow) {
    // A host that opens twice without closing keeps one window.
    if (frame_) close();
    GuiEditorBase::open(parentWindow);
    // No parent, or one the window system refused: no editor shows.
    if (!createFrame(parentWindow)) return 0;
    frame_->setBackground(background_.get());
    setKnobMode(2);
    // Open before the controls read their values: a change made meanwhile
    // on another thread is recorded, and shown at the first idle.
    edited_->setEditorOpen(true);
    createControls();
    return 1;
}

void ParameterEditor::close() {
    edited_->setEditorOpen(false);
    GuiEditorBase::close();
    for (int i = 0; i < kMaxParams; ++i) {
        controls_[i] = nullptr;
        readouts_[i] = nullptr;
    }
    meters_[0] = meters_[1] = nullptr;
}

// Release: the effect stored the value before it told the editor, and the
// window's thread, taking the bit, reads it back.
void ParameterEditor::setParameter(VstInt32 index, float) {
    if (validIndex(index)) changedParams_.fetch_or(1u << index, std::memory_order_release);
    postUpdate();
}

void ParameterEditor::resetMeters() {
    if (edited_->editorOpen()) meterResetPending_.store(true, std::memory_order_release);
}

void ParameterEditor::applyPending() {
    if (!frame_) return;
    if (meterResetPending_.exchange(false, std::memory_order_acquire)) {
        for (gui::NeedleMeter* m : meters_) {
            for (int i = 0; i < m->inputCount(); ++i) m->setInput(i, 0.0f);
        }
    }
    std::uint32_t changed = changedParams_.exchange(0, std::memory_order_acquire);
    for (int index = 0; changed != 0; ++index, changed >>= 1) {
        if (!(changed & 1u)) continue;
        if (controls_[index]) controls_[index]->setValue(edited_->getParameter(index));
        if (readouts_[index]) readouts_[index]->setValue(shownValue(index, shown_[index]));
    }
}

// The meters are fed after the redraw: what they show now is drawn at the
// next idle.
void ParameterEditor::afterIdle() {
    if (!edited_->editorOpen() || !frame_) return;
    feedMeters(*meters_[0], *meters_[1]);
    for (int index : layout_.followers) {
        if (gui::Control* c = control(index)) c->setValue(edited_->workingValue(index));
    }
}

float ParameterEditor::shownValue(int index, Shown shown) {
    return shown == kWorkingValue ? edited_->workingValue(index) : edited_->getParameter(index);
}

void ParameterEditor::valueChanged(gui::DrawContext* context, gui::Control* control) {
    const int tag = control->getTag();
    if (!validIndex(tag)) return;  // the about panel's tag, for one
    edited_->setParameterAutomated(tag, control->getValue());
    if (context) control->update(*context);
}

void ParameterEditor::createControls() {
    meters_[0] = addMeter(layout_.meters[0]);
    meters_[1] = addMeter(layout_.meters[1]);
    for (const ButtonRow& row : layout_.buttons) addButton(row);
    const Ref<Bitmap> knobHandle = loadBitmap(layout_.knobHandle);
    for (const ControlRow& row : layout_.knobs) addKnob(row, knobHandle.get());
    for (const FaderRow& row : layout_.verticalFaders) addFader(row, true, layout_.faderHandle);
    addFader(layout_.mix, false, layout_.mixHandle, layout_.mixBackground);
    addAbout();
}

void ParameterEditor::bind(gui::Control* control) {
    const int tag = control->getTag();
    if (validIndex(tag)) {
        controls_[tag] = control;
        control->setValue(edited_->getParameter(tag));
    }
    frame_->addView(control);
}

void ParameterEditor::addButton(const ButtonRow& row) {
    const Ref<Bitmap> bitmap = loadBitmap(row.bitmap, row.states);
    if (row.states > 2)
        bind(new gui::CycleSwitch(row.rect, this, row.param, bitmap.get(), row.states, row.rule));
    else
        bind(new gui::ToggleButton(row.rect, this, row.param, bitmap.get()));
}

// Each knob repaints its patch of the window's background under the handle.
void ParameterEditor::addKnob(const ControlRow& row, Bitmap* handle) {
    bind(new gui::RotaryKnob(row.rect, this, row.param, background_.get(), handle, {row.rect.left, row.rect.top}));
    addName(row.name);
    addReadout(row.param, row.readout);
}

void ParameterEditor::addFader(const FaderRow& row, bool vertical, int handleBitmap, int backgroundBitmap) {
    const gui::Rect r = row.control.rect;
    const Ref<Bitmap> handle = loadBitmap(handleBitmap);
    const Ref<Bitmap> under = backgroundBitmap ? loadBitmap(backgroundBitmap) : background_;
    // Over the window's background the fader repaints its own patch of it.
    const gui::Point offset = backgroundBitmap ? gui::Point{} : gui::Point{r.left, r.top};
    gui::Fader* fader;
    if (vertical)
        fader = new gui::VerticalFader(r, this, row.control.param, row.minPosition, row.maxPosition, handle.get(),
                                       under.get(), offset, gui::kVerticalOriginBottom);
    else
        fader = new gui::HorizontalFader(r, this, row.control.param, row.minPosition, row.maxPosition, handle.get(),
                                         under.get(), offset, gui::kHorizontalOriginLeft);
    fader->setFreeClick(row.freeClick);
    fader->setDefaultValue(row.defaultValue);
    bind(fader);
    addName(row.control.name);
    addReadout(row.control.param, row.control.readout);
}

// A meter resting at the left stop.
gui::NeedleMeter* ParameterEditor::addMeter(const MeterPlace& place) {
    const Ref<Bitmap> dial = loadBitmap(place.dialBitmap);
    const Ref<Bitmap> lamp = loadBitmap(place.lampBitmap, 2);
    auto* meter = new gui::NeedleMeter(layout_.meterKind, place.dial, dial.get(), place.lamp, lamp.get(), place.pivot.x,
                                       place.pivot.y, 30.0f, 87.0f);
    meter->setDefaultValue(0.0f);
    for (int i = 0; i < meter->inputCount(); ++i) meter->setInput(i, 0.0f);
    meter->setValue(0.00001f);
    frame_->addView(meter);
    return meter;
}

// The about panel over the middle of the window, from the strip that opens
// it.
void ParameterEditor::addAbout() {
    const Ref<Bitmap> picture = loadBitmap(layout_.aboutBitmap);
    auto* about = new gui::AboutPanel({134, 217, 299, 227}, this, layout_.aboutTag, picture.get(), {63, 12, 375, 122},
                                      {0, 0}, {0, 16});
    for (int i = 0; i < 3; ++i) about->setText(i, layout_.about[i]);
    frame_->addView(about);
}

void ParameterEditor::addName(NameLabel label) {
    auto* text = new gui::ValueText(label.rect, background_.get(), 2);
    text->setTextBitmapOffset({label.rect.left, label.rect.top});
    text->setFont(6);
    text->setFontColor(gui::kBlack);
    text->setStringConvert(layout_.nameFormat);
    text->setValue(static_cast<float>(label.nameIndex));
    frame_->addView(text);
}

void ParameterEditor::addReadout(int index, Readout readout) {
    auto* text = new gui::ValueText(readout.rect, background_.get(), 0);
    text->setTextBitmapOffset({readout.rect.left, readout.rect.top});
    text->setFont(6);
    text->setFontColor(gui::kBlack);
    text->setHoriAlign(readout.alignment);
    text->setStringConvert(readout.format);
    if (validIndex(index)) {
        readouts_[index] = text;
        shown_[index] = readout.shown;
        text->setValue(shownValue(index, readout.shown));
    }
    frame_->addView(text);
}

}  // namespace klv
