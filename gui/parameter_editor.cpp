#include "gui/parameter_editor.h"

#include "gui/faders.h"
#include "gui/frame.h"
#include "gui/needle_meter.h"
#include "gui/panels.h"
#include "gui/rotary_knob.h"
#include "gui/switches.h"
#include "host/effect_base.h"

namespace klv::gui {

ParameterEditor::ParameterEditor(EffectBase* effect, int numParams, const ResourceTable& skin, int width, int height,
                                 ShortFormatter nameFormat)
    : GuiEditorBase(effect),
      numParams_(numParams < kMaxParams ? numParams : kMaxParams),
      skin_(skin),
      nameFormat_(nameFormat),
      background_(new Bitmap(128, &skin)) {
    // The window is the background's size; the written size stands in for a
    // skin that did not load, so that hosts still get a sane rectangle.
    const bool loaded = background_->width() > 0 && background_->height() > 0;
    rect_ = {0, 0, static_cast<std::int16_t>(loaded ? background_->height() : height),
             static_cast<std::int16_t>(loaded ? background_->width() : width)};
}

ParameterEditor::~ParameterEditor() {
    destroyFrame();
    background_->release();
}

long ParameterEditor::open(void* parentWindow) {
    // A host that opens twice without closing keeps one window.
    if (frame_) close();
    GuiEditorBase::open(parentWindow);
    frame_ = new Frame({0, 0, rect_.right, rect_.bottom}, parentWindow, this);
    if (!frame_->window()) {
        // No parent, or one the window system refused: no editor shows.
        destroyFrame();
        return 0;
    }
    frame_->setBackground(background_);
    setKnobMode(2);
    createControls();
    setEditorOpen(true);
    return 1;
}

void ParameterEditor::close() {
    setEditorOpen(false);
    destroyFrame();
    for (int i = 0; i < kMaxParams; ++i) {
        controls_[i] = nullptr;
        readouts_[i] = nullptr;
    }
    forgetControls();
}

float ParameterEditor::shownValue(int index, Shown shown) {
    return shown == kWorkingValue ? workingValue(index) : effect_->getParameter(index);
}

void ParameterEditor::setParameter(VstInt32 index, float) {
    if (!frame_) return;
    if (validIndex(index)) {
        if (controls_[index]) controls_[index]->setValue(effect_->getParameter(index));
        if (readouts_[index]) readouts_[index]->setValue(shownValue(index, shown_[index]));
    }
    postUpdate();
}

void ParameterEditor::valueChanged(DrawContext* context, Control* control) {
    const int tag = control->getTag();
    if (!validIndex(tag)) return;  // the about panel's tag, for one
    effect_->setParameterAutomated(tag, control->getValue());
    if (context) control->update(*context);
}

void ParameterEditor::bindControl(Control* control) {
    const int tag = control->getTag();
    if (validIndex(tag)) {
        controls_[tag] = control;
        control->setValue(effect_->getParameter(tag));
    }
    frame_->addView(control);
}

Control* ParameterEditor::addButton(const ButtonRow& row) {
    Bitmap* bitmap = loadBitmap(row.bitmap);
    Control* button = row.states > 2
                          ? static_cast<Control*>(new CycleSwitch(row.rect, this, row.param, bitmap, row.states))
                          : new ToggleButton(row.rect, this, row.param, bitmap);
    bitmap->release();
    return bind(button);
}

void ParameterEditor::addKnobs(const ControlRow* rows, int count, int handleBitmap) {
    Bitmap* handle = loadBitmap(handleBitmap);
    for (int i = 0; i < count; ++i) {
        const ControlRow& row = rows[i];
        bind(new RotaryKnob(row.rect, this, row.param, background_, handle, {row.rect.left, row.rect.top}));
        addName(row.name);
        addReadout(row.param, row.readout);
    }
    handle->release();
}

void ParameterEditor::addFader(const FaderRow& row, bool vertical, int handleBitmap, int backgroundBitmap) {
    const Rect r = row.control.rect;
    Bitmap* handle = loadBitmap(handleBitmap);
    Bitmap* under = backgroundBitmap ? loadBitmap(backgroundBitmap) : background_;
    // Over the window's background the fader repaints its own patch of it.
    const Point offset = backgroundBitmap ? Point{} : Point{r.left, r.top};
    Fader* fader;
    if (vertical)
        fader = new VerticalFader(r, this, row.control.param, row.minPosition, row.maxPosition, handle, under, offset,
                                  kVerticalOriginBottom);
    else
        fader = new HorizontalFader(r, this, row.control.param, row.minPosition, row.maxPosition, handle, under, offset,
                                    kHorizontalOriginLeft);
    handle->release();
    if (backgroundBitmap) under->release();
    fader->setFreeClick(row.freeClick);
    fader->setDefaultValue(row.defaultValue);
    bind(fader);
    addName(row.control.name);
    addReadout(row.control.param, row.control.readout);
}

NeedleMeter* ParameterEditor::addMeter(bool fourInputs, const MeterPlace& place) {
    Bitmap* dial = loadBitmap(place.dialBitmap);
    Bitmap* lamp = loadBitmap(place.lampBitmap);
    auto* meter = new NeedleMeter(fourInputs ? NeedleMeter::kFourInputs : NeedleMeter::kThreeInputs, place.dial, dial,
                                  place.lamp, lamp, place.pivot.x, place.pivot.y, 30.0f, 87.0f);
    dial->release();
    lamp->release();
    meter->setDefaultValue(0.0f);
    for (int i = 0; i < meter->inputCount(); ++i) meter->setInput(i, 0.0f);
    meter->setValue(0.00001f);
    frame_->addView(meter);
    return meter;
}

void ParameterEditor::addAbout(int tag, int bitmap, const char* const (&lines)[3]) {
    Bitmap* picture = loadBitmap(bitmap);
    auto* about = new AboutPanel({134, 217, 299, 227}, this, tag, picture, {63, 12, 375, 122}, {0, 0}, {0, 16});
    picture->release();
    for (int i = 0; i < 3; ++i) about->setText(i, lines[i]);
    frame_->addView(about);
}

void ParameterEditor::zeroMeters(NeedleMeter* const (&meters)[2]) {
    for (NeedleMeter* m : meters) {
        if (!m) continue;
        for (int i = 0; i < m->inputCount(); ++i) m->setInput(i, 0.0f);
    }
}

void ParameterEditor::addName(NameLabel label) {
    auto* text = new ValueText(label.rect, background_, 2);
    text->setTextBitmapOffset({label.rect.left, label.rect.top});
    text->setFont(6);
    text->setFontColor(kBlack);
    text->setStringConvert(nameFormat_);
    text->setValue(static_cast<float>(label.nameIndex));
    frame_->addView(text);
}

void ParameterEditor::addReadout(int index, Readout readout) {
    auto* text = new ValueText(readout.rect, background_, 0);
    text->setTextBitmapOffset({readout.rect.left, readout.rect.top});
    text->setFont(6);
    text->setFontColor(kBlack);
    text->setHoriAlign(readout.alignment);
    text->setStringConvert(readout.format);
    if (validIndex(index)) {
        readouts_[index] = text;
        shown_[index] = readout.shown;
        text->setValue(shownValue(index, readout.shown));
    }
    frame_->addView(text);
}

}  // namespace klv::gui
