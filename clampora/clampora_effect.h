// ClamporaEffect: the compressor as the host sees it.
#pragma once

#include <atomic>

#include "clampora/clampora_engine.h"
#include "clampora/clampora_params.h"
#include "host/program_effect.h"

#ifndef STEREO_DETECT
#define STEREO_DETECT 0
#endif

namespace klv::clampora {

class ClamporaEditor;

class ClamporaEffect : public ProgramEffect<kNumParams> {
public:
    static constexpr bool kStereoBuild = STEREO_DETECT != 0;

    explicit ClamporaEffect(AudioMasterCallback audioMaster);
    ~ClamporaEffect() override = default;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void setProgram(VstInt32 program) override;

    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void suspend() override;

    // Working units for the editor's read-outs (gain factors, Hz, Q).
    float getParameterValue(VstInt32 index);
    float workingValue(VstInt32 index) override { return getParameterValue(index); }
    // What the editor shows for a channel (0 or 1), read at the ring read index.
    MeterReading meterReading(int channel) const { return engine_.meter(channel); }
    const ClamporaEngine& engine() const { return engine_; }

    // True while the stereo build runs its linked-stereo path.
    bool linkedStereo() const { return stereoMode_; }
    int meterRingOffset() const { return ringOffset_; }

private:
    float target(int index) const { return targets_[index].load(std::memory_order_relaxed); }
    void setTarget(int index, float value) { targets_[index].store(value, std::memory_order_relaxed); }
    void setStereoMono(float value);
    void applySideEffect(int index, float value);
    void updateChannelMode();
    template <bool kAccumulate>
    void processBlock(float** inputs, float** outputs, VstInt32 sampleFrames);

    std::atomic<float> targets_[kNumParams];
    float stereoLastSeen_ = 1.0f;  // last-seen copy of "stereo/mono"
    bool stereoMode_ = false;
    ClamporaEditor* editor_ = nullptr;  // the base owns it as editor
    float hostSampleRate_ = 44100.0f;
    int ringOffset_ = 1;
    ClamporaEngine engine_;
};

// Meter ring offset in blocks for a host output latency and block size.
int computeRingOffset(VstInt32 outputLatency, VstInt32 blockSize);

}  // namespace klv::clampora
