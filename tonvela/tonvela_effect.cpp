#include "tonvela/tonvela_effect.h"

#include <cmath>
#include <new>

#include "host/editor_base.h"
#include "host/entry.h"
#include "tonvela/tonvela_editor.h"

namespace klv::tonvela {

namespace {
const EffectIdentity kIdentity = {"KLV Tonvela", "KLV", "The KLV Saturation plug-in", 1};
constexpr float kUndetected = -1.0f;
}  // namespace

TonvelaEffect::TonvelaEffect(AudioMasterCallback audioMaster)
    : ProgramEffect(audioMaster, kNumPrograms, kParameters, kIdentity) {
    for (auto& v : values_) store(v, 0.0f);
    for (auto& v : working_) store(v, 0.0f);
    for (auto& v : normalisers_) store(v, 1.0f);
    if (!constructed()) return;

    setNumInputs(kStereoBuild ? 2 : 1);
    setNumOutputs(kStereoBuild ? 2 : 1);
    setUniqueID(kStereoBuild ? fourCharCode("KcTv") : fourCharCode("KcTV"));
    canProcessReplacing(true);
    canMono(true);
    hasVu(true);

    meterDelay_ = meterDelay(getOutputLatency(), updateBlockSize());
    engine_.setMeterDelay(meterDelay_);

    const float stereoDefault = kStereoBuild ? kUndetected : 1.0f;
    for (int p = 0; p < kNumPrograms; ++p) initProgram(programs_[p], stereoDefault);
    for (int p = 0; p < kNumFactoryPrograms; ++p) {
        const FactoryProgram& f = kFactoryPrograms[p];
        // The factory table leaves "mix" and "stereo/mono" at their fresh values.
        for (int i = 0; i < kNumParams; ++i)
            if (i != kMix && i != kStereoMono) slotOf(p, i) = f.values[i];
        copyText(programs_[p].name, f.name, kProgramNameSize);
    }

    // The editor attaches itself to the effect and lives as long as it.
    editor_ = new (std::nothrow) TonvelaEditor(this);
    if (!editor_) editorCreationFailed = true;

    setProgram(0);
    suspend();
}

void TonvelaEffect::setParameter(VstInt32 index, float value) {
    if (validParameter(index) && std::isfinite(value)) {
        float stored = value;
        float work = value;
        switch (index) {
            case kInput:
            case kOutput:
            case kBassBoost:
            case kTrebleBoost:
                work = static_cast<float>(levelGain(value));
                break;
            case kDrive: {
                const double g = driveGain(value);
                work = static_cast<float>(g);
                const Normalisers n = curveNormalisers(g);
                for (int k = 0; k < kNumShapes; ++k) store(normalisers_[k], n.n[k]);
                break;
            }
            case kShape: {
                const int k = shapeStep(value);
                work = static_cast<float>(k);
                stored = static_cast<float>(k) / 7.0f;
                break;
            }
            case kMix: {
                const float v = value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value;
                work = v * v;
                break;
            }
            case kBassFreq:
                work = static_cast<float>(bassCorner(value));
                engine_.setBassCorner(work);
                break;
            case kTrebleFreq:
                work = static_cast<float>(trebleCorner(value));
                engine_.setTrebleCorner(work);
                break;
            case kTrebleHarm: {
                const double t = trebleHarmonicGain(value);
                work = static_cast<float>(t);
                store(inverseHarmonic_, static_cast<float>(1.0 / t));
                break;
            }
            case kBassHarm: {
                const double a = bassHarmonicAmount(value);
                work = static_cast<float>(a);
                store(bassFactor_, static_cast<float>(klv::tonvela::bassBandFactor(a)));
                break;
            }
            case kStereoMono:
                setStereoMono(value);
                break;
            default:  // switches and the meter point
                break;
        }
        if (index != kStereoMono) {
            store(values_[index], stored);
            store(working_[index], work);
            slotOf(curProgram, index) = stored;
        }
    }
    if (editorOpen() && editor) {
        editor->setParameter(index, value);
        editor->postUpdate();
    }
}

// The stereo build honours the value (-1 or below: ask the host at the
// next block); the mono build is mono whatever is sent. Either way the value
// sent is one setting for the whole bank.
void TonvelaEffect::setStereoMono(float value) {
    if (kStereoBuild) {
        store(values_[kStereoMono], value);
        store(working_[kStereoMono], value >= 0.0f ? value : 0.0f);
    } else {
        store(values_[kStereoMono], 1.0f);
        store(working_[kStereoMono], 1.0f);
    }
    storeInAllPrograms(kStereoMono, value);
}

float TonvelaEffect::getParameter(VstInt32 index) {
    return validParameter(index) ? load(values_[index]) : 0.0f;
}

float TonvelaEffect::getWorkingValue(VstInt32 index) const {
    return validParameter(index) ? load(working_[index]) : 0.0f;
}

float TonvelaEffect::curveNormaliser(int step) const {
    return step >= 0 && step < kNumShapes ? load(normalisers_[step]) : 1.0f;
}

void TonvelaEffect::getParameterDisplay(VstInt32 index, char* text) {
    switch (index) {
        case kInput:
        case kOutput:
        case kBassBoost:
        case kTrebleBoost:
            dB2string(load(working_[index]), text);
            break;
        case kTrebleFreq:
        case kTrebleHarm:
            float2string(100.0f * load(values_[index]), text);
            break;
        case kProcess:
        case kDrive:
        case kShape:
        case kMix:
        case kBassFreq:
        case kBassHarm:
        case kStereoMono:
            float2string(load(working_[index]), text);
            break;
        case kPrePost:
        case kBassOn:
        case kTrebleOn:
            float2string(load(values_[index]), text);
            break;
        default:
            break;
    }
}

void TonvelaEffect::setProgram(VstInt32 program) {
    if (!validProgram(program)) return;
    curProgram = program;
    for (int index : kReplayOrder) setParameter(index, slotOf(program, index));
    if (editor) editor->postUpdate();
}

bool TonvelaEffect::monoMode() const {
    return std::trunc(load(working_[kStereoMono])) != 0.0f;
}

// Settles the channel mode at the start of a call. After a value of -1 or
// below the integer parts differ, and the host is asked once whether input
// 2 is connected.
void TonvelaEffect::updateChannelMode() {
    if (!kStereoBuild) return;
    if (std::trunc(load(working_[kStereoMono])) != std::trunc(load(values_[kStereoMono]))) {
        const float detected = isInputConnected(1) ? 0.0f : 1.0f;
        store(values_[kStereoMono], detected);
        store(working_[kStereoMono], detected);
        storeInAllPrograms(kStereoMono, detected);
    }
}

template <bool kAccumulate>
void TonvelaEffect::processBlock(float** inputs, float** outputs, VstInt32 sampleFrames) {
    updateChannelMode();
    CallSettings s;
    s.bypass = load(values_[kProcess]) == 0.0f;
    s.stereo = kStereoBuild && !monoMode();
    s.twoOutputs = kStereoBuild;
    s.bassOn = load(values_[kBassOn]) != 0.0f;
    s.trebleOn = load(values_[kTrebleOn]) != 0.0f;
    const float point = std::trunc(load(values_[kPrePost]));
    s.meterPoint = point == 0.0f ? 0 : point == 1.0f ? 1 : point == 2.0f ? 2 : -1;
    s.shape = static_cast<int>(load(working_[kShape]));
    s.inputGain = load(working_[kInput]);
    s.outputGain = load(working_[kOutput]);
    s.mix = load(working_[kMix]);
    s.drive = load(working_[kDrive]);
    s.normaliser = curveNormaliser(s.shape);
    s.bassGain = load(working_[kBassBoost]);
    s.trebleGain = load(working_[kTrebleBoost]);
    s.bassFactor = load(bassFactor_);
    s.trebleHarmonic = load(working_[kTrebleHarm]);
    s.bassAmount = load(working_[kBassHarm]);
    s.bassHarmValue = load(values_[kBassHarm]);
    s.trebleFreqValue = load(values_[kTrebleFreq]);
    s.sampleRate = getSampleRate();
    engine_.process<kAccumulate>(s, inputs, outputs, sampleFrames);
}

void TonvelaEffect::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    processBlock<true>(inputs, outputs, sampleFrames);
}

void TonvelaEffect::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    processBlock<false>(inputs, outputs, sampleFrames);
}

void TonvelaEffect::suspend() {
    engine_.reset(getSampleRate());
    if (editor_) editor_->resetMeters();
}

}  // namespace klv::tonvela
