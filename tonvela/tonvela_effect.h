// TonvelaEffect: the saturator as the host sees it.
#pragma once

#include <atomic>

#include "host/program_effect.h"
#include "tonvela/tonvela_engine.h"
#include "tonvela/tonvela_params.h"

#ifndef STEREO_DETECT
#define STEREO_DETECT 0
#endif

namespace klv::tonvela {

class TonvelaEditor;

class TonvelaEffect : public ProgramEffect<kNumParams> {
public:
    static constexpr bool kStereoBuild = STEREO_DETECT != 0;

    explicit TonvelaEffect(AudioMasterCallback audioMaster);
    ~TonvelaEffect() override = default;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void setProgram(VstInt32 program) override;

    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void suspend() override;

    // Working value of a parameter (gains as factors, drive gain, shape
    // step, mix share, corners in Hz, T, a, switches, channel mode).
    float getWorkingValue(VstInt32 index) const;
    float workingValue(VstInt32 index) override { return getWorkingValue(index); }
    // The normaliser of a shape step at the current drive (1..7).
    float curveNormaliser(int step) const;
    float bassBandFactor() const { return load(bassFactor_); }

    // What the editor shows for a channel (0 or 1), read at the ring read index.
    MeterReading meterReading(int channel) const { return engine_.meter(channel); }
    const TonvelaEngine& engine() const { return engine_; }
    int meterDelayBlocks() const { return meterDelay_; }

    bool monoMode() const;

private:
    static float load(const std::atomic<float>& v) { return v.load(std::memory_order_relaxed); }
    static void store(std::atomic<float>& v, float x) { v.store(x, std::memory_order_relaxed); }
    void setStereoMono(float value);
    void updateChannelMode();
    template <bool kAccumulate>
    void processBlock(float** inputs, float** outputs, VstInt32 sampleFrames);

    std::atomic<float> values_[kNumParams];   // as getParameter answers
    std::atomic<float> working_[kNumParams];  // working value per parameter
    std::atomic<float> normalisers_[kNumShapes];
    std::atomic<float> inverseHarmonic_{1.0f};  // 1/T
    std::atomic<float> bassFactor_{1.0f};       // F
    TonvelaEditor* editor_ = nullptr;           // the base owns it as editor
    int meterDelay_ = 1;
    TonvelaEngine engine_;
};

}  // namespace klv::tonvela
