#include "host/gui_editor_base.h"

#include "host/effect_base.h"

namespace klv {

int knobMode = 0;

GuiEditorBase::GuiEditorBase(EffectBase* effect) : EditorBase(effect), system_(&gui::platformWindowSystem()) {
    if (effect) effect->setEditor(this);
    lastTicks_ = system_->ticks();
    gui::platformWindowSystem().initializeOle();
}

GuiEditorBase::~GuiEditorBase() {
    destroyFrame();
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

void GuiEditorBase::idle() {
    if (inIdle_) return;
    // On X11 the editor's window gets its events only here (no thread of
    // ours waits on the display); Win32 windows get them from the host.
    if (frame_ && frame_->window()) frame_->window()->serviceEvents();
    if (updateFlag_.exchange(0, std::memory_order_relaxed) != 0) update();
    if (frame_) frame_->idleRedraw();
}

long GuiEditorBase::setKnobMode(int mode) {
    knobMode = mode;
    return 1;
}

bool GuiEditorBase::onWheel(float distance) {
    return frame_ ? frame_->onWheel(nullptr, {}, distance) : false;
}

void GuiEditorBase::setParameter(VstInt32, float) {
    postUpdate();
}

void GuiEditorBase::draw(ERect*) {
    if (frame_) frame_->drawView(nullptr);
}

// While a control tracks the mouse the host's own idle calls are blocked:
// redraw what changed, let paint messages through, and give the host an
// idle call at most about every 50 ms. A step within 100 ms of the last
// host idle pauses 10 ms. The comparisons are unsigned 32-bit, as the tick
// count is.
void GuiEditorBase::trackingIdle() {
    inIdle_ = true;
    std::uint32_t now = getTicks();
    if (updateFlag_.exchange(0, std::memory_order_relaxed) != 0) update();
    if (frame_) frame_->idleRedraw();
    bool grantHostIdle = true;
    if (now < lastTicks_ + 100u) {
        wait(10);
        now += 10;
        if (now < lastTicks_ + 50u) grantHostIdle = false;
    }
    if (grantHostIdle) {
        if (frame_ && frame_->window()) frame_->window()->dispatchPaint();
        lastTicks_ = now;
        if (effect_) effect_->masterIdle();
    }
    inIdle_ = false;
}

void GuiEditorBase::wait(std::uint32_t ms) {
    system_->sleep(ms);
}

std::uint32_t GuiEditorBase::getTicks() {
    return system_->ticks();
}

void GuiEditorBase::destroyFrame() {
    if (!frame_) return;
    gui::Frame* frame = frame_;
    frame_ = nullptr;
    frame->release();
}

}  // namespace klv
