// The saturator's parameters and factory programs, as data.
#pragma once

#include "host/program_effect.h"

namespace klv::tonvela {

enum Param : int {
    kProcess = 0,
    kInput,
    kOutput,
    kDrive,
    kShape,
    kMix,
    kBassBoost,
    kTrebleBoost,
    kBassFreq,
    kTrebleFreq,
    kTrebleHarm,
    kBassHarm,
    kPrePost,
    kBassOn,
    kTrebleOn,
    kStereoMono,
    kNumParams
};

constexpr int kNumPrograms = 32;
constexpr int kNumFactoryPrograms = 31;

// Saturation curves, by "shape" step.
enum Shape : int { kNone = 0, kValve1, kValve2, kValve3, kTape1, kTape2, kTape3, kDigital, kNumShapes };

extern const ParameterInfo kParameters[kNumParams];

// Order in which a program's values are replayed through setParameter.
extern const int kReplayOrder[kNumParams];

struct FactoryProgram {
    const char* name;
    float values[kNumParams];  // by parameter index; "mix" and "stereo/mono" are not applied
};
extern const FactoryProgram kFactoryPrograms[kNumFactoryPrograms];

using TonvelaProgram = ProgramRecord<kNumParams>;
static_assert(sizeof(TonvelaProgram) == 88, "a saturator program record is 88 bytes");

// Fills a record with the values of a fresh "init" program; slot 14 holds
// stereoMonoDefault (-1 while the stereo build has not yet detected its input).
void initProgram(TonvelaProgram& program, float stereoMonoDefault);

}  // namespace klv::tonvela
