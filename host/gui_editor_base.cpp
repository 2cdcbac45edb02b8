#include "host/gui_editor_base.h"

#include "host/effect_base.h"

namespace klv {

int knobMode = 0;

GuiEditorBase::GuiEditorBase(EffectBase* effect) : EditorBase(effect), system_(&gui::platformWindowSystem()) {
    if (effect) effect->setEditor(this);
    gui::platformWindowSystem().initializeOle();
}

GuiEditorBase::~GuiEditorBase() {
    GuiEditorBase::close();
    gui::platformWindowSystem().uninitializeOle();
}

long GuiEditorBase::getRect(ERect** rect) {
    *rect = &rect_;
    return 1;
}

long GuiEditorBase::open(void* parentWindow) {
    postUpdate();
    systemWindow_ = parentWindow;
    return 0;
}

bool GuiEditorBase::createFrame(void* parentWindow) {
    auto frame = gui::Ref<gui::Frame>::adopt(new gui::Frame({0, 0, rect_.right, rect_.bottom}, parentWindow, this));
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
