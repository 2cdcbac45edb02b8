// The host-facing side of an editor: what the dispatcher's editor requests
// reach. Concrete editors derive from it (through the GUI toolkit's base).
#pragma once

#include <atomic>

#include "host/vst2.h"

namespace klv {

class EffectBase;

// How hosts (the convention Studio One introduced) tell a VST 2 editor the
// scale of the screen it shows on: effVendorSpecific with index 'PreS',
// value 'AeCs' and the factor in opt, before the editor opens and whenever
// it changes.
constexpr VstInt32 kContentScaleVendor = 0x50726553;    // 'PreS'
constexpr VstIntPtr kContentScaleRequest = 0x41654373;  // 'AeCs'

class EditorBase {
public:
    explicit EditorBase(EffectBase* effect) : effect_(effect) {}
    virtual ~EditorBase() = default;
    EditorBase(const EditorBase&) = delete;
    EditorBase& operator=(const EditorBase&) = delete;

    virtual long getRect(ERect** rect) {
        *rect = nullptr;
        return 0;
    }
    virtual long open(void* parentWindow) {
        systemWindow_ = parentWindow;
        return 0;
    }
    virtual void close() {}
    virtual void idle() {
        if (updateFlag_.exchange(0, std::memory_order_relaxed) != 0) update();
    }
    virtual void update() {}
    virtual void postUpdate() { updateFlag_.store(1, std::memory_order_relaxed); }
    virtual long onKeyDown(VstKeyCode&) { return -1; }
    virtual long onKeyUp(VstKeyCode&) { return -1; }
    virtual long setKnobMode(int) { return 0; }
    virtual bool onWheel(float) { return false; }
    // A parameter of the effect changed (GUI editors mirror it).
    virtual void setParameter(VstInt32, float) {}
    // The host's content scale for the editor (effVendorSpecific, below);
    // true when the editor takes it.
    virtual bool setContentScaleFactor(float) { return false; }

    EffectBase* getEffect() const { return effect_; }
    void* getSystemWindow() const { return systemWindow_; }

protected:
    EffectBase* effect_;
    void* systemWindow_ = nullptr;
    std::atomic<int> updateFlag_{0};  // raised from any thread, consumed at idle
};

}  // namespace klv
