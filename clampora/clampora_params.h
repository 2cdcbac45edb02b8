// The compressor's parameters and factory programs, as data.
#pragma once

#include "host/program_effect.h"

namespace klv::clampora {

enum Param : int {
    kProcess = 0,
    kInput,
    kCompress,
    kSlope,
    kAttack,
    kRelease,
    kMakeup,
    kMix,
    kOutput,
    kScFreq,
    kScQ,
    kHold,
    kPrePost,
    kRmsPeak,
    kDelay,
    kScListen,
    kSat,
    kStereoMono,
    kNumParams
};

constexpr int kNumPrograms = 48;
constexpr int kNumFactoryPrograms = 37;

extern const ParameterInfo kParameters[kNumParams];

// Order in which a program's values are replayed through setParameter.
extern const int kReplayOrder[kNumParams];

struct FactoryProgram {
    const char* name;
    float values[kNumParams];  // by parameter index; the last column is not applied
};
extern const FactoryProgram kFactoryPrograms[kNumFactoryPrograms];

using ClamporaProgram = ProgramRecord<kNumParams>;
static_assert(sizeof(ClamporaProgram) == 96, "a compressor program record is 96 bytes");

// Fills a record with the values of a fresh "init" program; slot 17 holds
// stereoMonoDefault (-1 while the stereo build has not yet detected its input).
void initProgram(ClamporaProgram& program, float stereoMonoDefault);

}  // namespace klv::clampora
