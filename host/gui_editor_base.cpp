#include "host/gui_editor_base.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gui/scale.h"
#include "host/effect_base.h"

namespace klv {

int knobMode = 0;

float scaleFromText(const char* text) {
    if (!text || !*text) return 0.0f;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end && *end == '%') {
        value /= 100.0;
        ++end;
    }
    if (!end || *end != '\0' || !(value >= 0.5 && value <= 8.0)) return 0.0f;
    return gui::nearestScale(value);
}

namespace {

// KLV_EDITOR_SCALE: 0 when unset or not a scale, which is said once on
// stderr.
float environmentScale() {
    const char* text = std::getenv("KLV_EDITOR_SCALE");
    if (!text || !*text) return 0.0f;
    const float scale = scaleFromText(text);
    static bool warned = false;
    if (scale == 0.0f && !warned) {
        warned = true;
        std::fprintf(
            stderr, "klv: KLV_EDITOR_SCALE=%s is not an editor scale (use 1 to 3, e.g. 1.5 or 150%%); ignored\n", text);
    }
    return scale;
}

}  // namespace

GuiEditorBase::GuiEditorBase(EffectBase* effect) : EditorBase(effect), system_(&gui::platformWindowSystem()) {
    if (effect) effect->setEditor(this);
    gui::platformWindowSystem().initializeOle();
}

GuiEditorBase::~GuiEditorBase() {
    GuiEditorBase::close();
    gui::platformWindowSystem().uninitializeOle();
}

long GuiEditorBase::getRect(ERect** rect) {
    applyScale(frame_ ? frame_->scale() : chooseScale());
    *rect = &rect_;
    return 1;
}

long GuiEditorBase::open(void* parentWindow) {
    postUpdate();
    systemWindow_ = parentWindow;
    applyScale(chooseScale());
    return 0;
}

float GuiEditorBase::chooseScale() const {
    if (fixedScale_ > 0.0f) return fixedScale_;
    if (const float s = environmentScale(); s > 0.0f) return s;
    if (hostScale_ > 0.0f) return gui::nearestScale(hostScale_);
    return gui::nearestScale(system_->displayScale(systemWindow_));
}

void GuiEditorBase::applyScale(float scale) {
    scale_ = scale;
    rect_ = {0, 0, static_cast<std::int16_t>(gui::toDevice(static_cast<long long>(designRect_.bottom), scale)),
             static_cast<std::int16_t>(gui::toDevice(static_cast<long long>(designRect_.right), scale))};
    if (!frame_ || frame_->scale() == scale) return;
    frame_->setScale(scale);
    if (effect_) effect_->sizeWindow(rect_.right, rect_.bottom);
}

bool GuiEditorBase::setContentScaleFactor(float factor) {
    if (!(factor > 0.0f) || !std::isfinite(factor)) return false;
    hostScale_ = factor;
    if (frame_) applyScale(chooseScale());
    return true;
}

void GuiEditorBase::displayScaleChanged() {
    if (frame_) applyScale(chooseScale());
}

bool GuiEditorBase::createFrame(void* parentWindow) {
    auto frame =
        gui::Ref<gui::Frame>::adopt(new gui::Frame({0, 0, designRect_.right, designRect_.bottom}, parentWindow, this));
    if (!frame->window()) {
        frame->close();
        return false;
    }
    frame_ = frame;
    return true;
}

void GuiEditorBase::close() {
    const gui::Ref<gui::Frame> frame = std::move(frame_);
    if (frame) frame->close();
}

void GuiEditorBase::idle() {
    gui::Frame* frame = frame_.get();
    if (frame && frame->isHandling()) return;
    const gui::Frame::Entry entry(frame);
    if (frame) {
        // On X11 the editor's window gets its events only here (no thread
        // of ours waits on the display); Win32 windows get them from the
        // host's loop.
        if (frame->window()) frame->window()->serviceEvents();
        // A handler closed the editor (and the host may have opened another
        // window since).
        if (frame_.get() != frame) return;
        // The window went away under a drag: its release will never come.
        if (!frame->isOpen()) frame->cancelDrag();
    }
    redraw();
    afterIdle();
}

void GuiEditorBase::trackingIdle() {
    redraw();
}

void GuiEditorBase::redraw() {
    applyPending();
    if (updateFlag_.exchange(0, std::memory_order_relaxed) != 0) update();
    if (frame_) frame_->idleRedraw();
}

long GuiEditorBase::setKnobMode(int mode) {
    klv::knobMode = mode;
    return 1;
}

bool GuiEditorBase::onWheel(float distance) {
    if (!frame_) return false;
    const gui::Frame::Entry entry(frame_.get());
    return frame_->onWheel(nullptr, {}, distance);
}

void GuiEditorBase::setParameter(VstInt32, float) {
    postUpdate();
}

void GuiEditorBase::draw(ERect*) {
    if (frame_) frame_->drawView(nullptr);
}

bool GuiEditorBase::beginEdit(int tag) {
    return effect_ ? effect_->beginEdit(tag) : false;
}

bool GuiEditorBase::endEdit(int tag) {
    return effect_ ? effect_->endEdit(tag) : false;
}

}  // namespace klv
