#include "clampora/clampora_effect.h"

#include <cmath>
#include <new>

#include "clampora/clampora_editor.h"
#include "host/editor_base.h"
#include "host/entry.h"

namespace klv::clampora {

namespace {
const EffectIdentity kIdentity = {"KLV Clampora", "KLV", "The KLV Compressor plug-in", 1};
constexpr float kUndetected = -1.0f;
}  // namespace

int computeRingOffset(VstInt32 outputLatency, VstInt32 blockSize) {
    if (outputLatency < 2 || blockSize < 2) return 1;
    const long blocks = outputLatency / blockSize;
    const long offset = blocks * 100 / 130;
    return offset < 1 ? 1 : offset > 255 ? 255 : static_cast<int>(offset);
}

ClamporaEffect::ClamporaEffect(AudioMasterCallback audioMaster)
    : ProgramEffect(audioMaster, kNumPrograms, kParameters, kIdentity) {
    for (auto& t : targets_) t.store(0.0f, std::memory_order_relaxed);
    if (!constructed()) return;

    setNumInputs(kStereoBuild ? 2 : 1);
    setNumOutputs(kStereoBuild ? 2 : 1);
    setUniqueID(kStereoBuild ? fourCharCode("KcLP") : fourCharCode("KcLp"));
    canProcessReplacing(true);
    canMono(true);
    hasVu(true);
    vu_.store(0.0f, std::memory_order_relaxed);
    hostSampleRate_ = getSampleRate();

    const VstInt32 latency = getOutputLatency();
    ringOffset_ = computeRingOffset(latency, updateBlockSize());
    engine_.setRingWriteIndex(ringOffset_);
    engine_.setDryWeight(1.0f);
    engine_.setSideChain(2500.0f, 1.0f, getSampleRate());

    const float stereoDefault = kStereoBuild ? kUndetected : 1.0f;
    for (int p = 0; p < kNumPrograms; ++p) initProgram(programs_[p], stereoDefault);
    for (int p = 0; p < kNumFactoryPrograms; ++p) {
        const FactoryProgram& f = kFactoryPrograms[p];
        // The factory table leaves "stereo/mono" at its fresh value.
        for (int i = 0; i < kStereoMono; ++i) slotOf(p, i) = f.values[i];
        copyText(programs_[p].name, f.name, kProgramNameSize);
    }

    // The editor attaches itself to the effect and lives as long as it.
    editor_ = new (std::nothrow) ClamporaEditor(this);
    if (!editor_) editorCreationFailed = true;

    setProgram(0);
    suspend();
}

void ClamporaEffect::setParameter(VstInt32 index, float value) {
    if (validParameter(index) && std::isfinite(value)) {
        if (index == kStereoMono) {
            setStereoMono(value);
        } else {
            value = snapTimeValue(index, value);
            setTarget(index, value);
            slotOf(curProgram, index) = value;
            applySideEffect(index, value);
        }
    }
    if (editorOpen() && editor) {
        editor->setParameter(index, value);
        editor->postUpdate();
    }
}

// The stereo build honours the value and keeps a last-seen copy that the
// next block compares against; the mono build is mono whatever is sent.
// Either way the value is one setting for the whole bank.
void ClamporaEffect::setStereoMono(float value) {
    if (!kStereoBuild) value = 1.0f;
    setTarget(kStereoMono, value);
    stereoLastSeen_ = value < 0.0f ? 0.0f : value;
    storeInAllPrograms(kStereoMono, value);
}

void ClamporaEffect::applySideEffect(int index, float value) {
    switch (index) {
        case kProcess:
            if (value < 0.5f) {
                engine_.clearDrivenLines();
                engine_.clearDryLines();
                engine_.clearLimiterLines();
                engine_.clearFilterState();
            }
            break;
        case kMix: {
            const float mix = unitValue(value);
            engine_.setDryWeight(1.0f - mix * mix);
            break;
        }
        case kScFreq:
            engine_.setSideChain(sideChainFrequency(unitValue(value)), engine_.sideChainQValue(), getSampleRate());
            break;
        case kScQ:
            engine_.setSideChain(engine_.sideChainFrequencyHz(), sideChainQ(unitValue(value)), getSampleRate());
            break;
        case kDelay:
            engine_.clearDrivenLines();
            break;
        case kSat:
            engine_.clearLimiterLines();
            break;
        default:
            break;
    }
}

float ClamporaEffect::getParameterValue(VstInt32 index) {
    switch (index) {
        case kInput:
        case kOutput:
            return static_cast<float>(levelGain(unitValue(target(index))));
        case kScFreq:
            return engine_.sideChainFrequencyHz();
        case kScQ:
            return engine_.sideChainQValue();
        default:
            return validParameter(index) ? target(index) : 0.0f;
    }
}

float ClamporaEffect::getParameter(VstInt32 index) {
    return validParameter(index) ? target(index) : 0.0f;
}

void ClamporaEffect::getParameterDisplay(VstInt32 index, char* text) {
    if (validParameter(index)) float2string(target(index), text);
}

void ClamporaEffect::setProgram(VstInt32 program) {
    if (!validProgram(program)) return;
    curProgram = program;
    for (int index : kReplayOrder) {
        setParameter(index, slotOf(program, index));
        // A program change jumps the smoothed values instead of gliding,
        // to the working value (the stored one may lie outside 0..1).
        engine_.jumpSmoothed(index, unitValue(target(index)));
    }
    if (editorOpen() && editor) editor->postUpdate();
}

// Settles the channel mode at the start of a block. An undecided
// "stereo/mono" (-1) asks the host whether input 2 is connected.
void ClamporaEffect::updateChannelMode() {
    if (!kStereoBuild) {
        if (target(kStereoMono) != 1.0f || stereoLastSeen_ != 1.0f) setStereoMono(1.0f);
        stereoMode_ = false;
        return;
    }
    const float value = target(kStereoMono);
    // Integer parts, compared without converting (the host may send any float).
    if (std::trunc(value) != std::trunc(stereoLastSeen_)) {
        const float detected = isInputConnected(1) ? 0.0f : 1.0f;
        setTarget(kStereoMono, detected);
        stereoLastSeen_ = detected;
        storeInAllPrograms(kStereoMono, detected);
    }
    stereoMode_ = std::trunc(stereoLastSeen_) == 0.0f;
}

template <bool kAccumulate>
void ClamporaEffect::processBlock(float** inputs, float** outputs, VstInt32 sampleFrames) {
    float targets[kNumParams];
    updateChannelMode();
    for (int i = 0; i < kNumParams; ++i) targets[i] = target(i);
    engine_.process<kAccumulate>(targets, getSampleRate(), stereoMode_, kStereoBuild, inputs, outputs, sampleFrames);
}

void ClamporaEffect::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    processBlock<true>(inputs, outputs, sampleFrames);
}

void ClamporaEffect::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    processBlock<false>(inputs, outputs, sampleFrames);
}

void ClamporaEffect::suspend() {
    engine_.reset(getSampleRate());
    if (editor_) editor_->resetMeters();
}

}  // namespace klv::clampora
