#include "tonvela/tonvela_params.h"

namespace klv::tonvela {

namespace {
constexpr const char* kBlank9 = "         ";
constexpr const char* kBlank7 = "       ";
constexpr const char* kDecibel = "    dB   ";
constexpr const char* kHertz = "    Hz   ";
constexpr const char* kPercent = "    %    ";

// Shape steps are stored as k/7.
constexpr float kStep1 = 1.0f / 7.0f;
constexpr float kStep2 = 2.0f / 7.0f;
constexpr float kStep3 = 3.0f / 7.0f;
constexpr float kStep4 = 4.0f / 7.0f;
constexpr float kStep5 = 5.0f / 7.0f;
constexpr float kStep6 = 6.0f / 7.0f;
}  // namespace

const ParameterInfo kParameters[kNumParams] = {
    {"process", kBlank9, 11},  {"input", kDecibel, 0},      {"output", kDecibel, 9},     {"drive", kBlank9, 1},
    {"shape", kBlank7, 2},     {"mix", kBlank9, 15},        {"bassBoost", kDecibel, 8},  {"trebleBoost", kDecibel, 5},
    {"bassFreq", kHertz, 6},   {"trebleFreq", kPercent, 3}, {"trebleHarm", kPercent, 4}, {"bassHarm", kPercent, 7},
    {"pre/post", kBlank9, 10}, {"bassOn", kBlank9, 12},     {"trebleOn", kBlank9, 13},   {"stereo/mono", kBlank9, 14},
};

// The replay follows the record's slot order.
const int kReplayOrder[kNumParams] = {1, 3, 4, 9, 10, 7, 8, 11, 6, 2, 12, 0, 13, 14, 15, 5};

// Columns are parameter indexes 0 to 15, as in the factory table.
const FactoryProgram kFactoryPrograms[kNumFactoryPrograms] = {
    // clang-format off
    //                            0  1     2     3      4       5  6     7     8     9      10    11    12 13 14 15
    {"preamp1",                  {1, 0.5,  0.5,  0.75,  kStep1, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"preamp2",                  {1, 0.5,  0.5,  0.35,  kStep4, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"mix1",                     {1, 0.5,  0.5,  0.2,   kStep5, 1, 0.42, 0.62, 0.5,  0.14,  0.35, 0.09, 1, 1, 1, -1}},
    {"mix2",                     {1, 0.5,  0.5,  0.3,   kStep4, 1, 0.5,  0.7,  0.38, 0.6,   0.37, 0.11, 1, 1, 1, -1}},
    {"mix3",                     {1, 0.5,  0.5,  0.3,   kStep4, 1, 0.5,  0.5,  0.42, 0.66,  0.5,  0.16, 1, 1, 1, -1}},
    {"mix4",                     {1, 0.5,  0.5,  0.35,  kStep4, 1, 0.4,  0.71, 0.77, 0.18,  0.43, 0.11, 1, 1, 1, -1}},
    {"mastering1",               {1, 0.5,  0.5,  0.5,   kStep1, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"mastering2",               {1, 0.5,  0.5,  0.3,   kStep1, 1, 0.4,  0.6,  0.33, 0.5,   0.25, 0.33, 1, 1, 1, -1}},
    {"mastering3",               {1, 0.5,  0.5,  0.32,  kStep1, 1, 0.5,  0.55, 0.66, 0.16,  0.2,  0.06, 1, 1, 1, -1}},
    {"mastering4",               {1, 0.5,  0.5,  0.25,  kStep4, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"mastering5",               {1, 0.5,  0.5,  0.22,  kStep4, 1, 0.35, 0.66, 0.33, 0.5,   0.39, 0.35, 1, 1, 1, -1}},
    {"mastering6",               {1, 0.5,  0.5,  0.22,  kStep4, 1, 0.5,  0.6,  0.66, 0.166, 0.25, 0.1,  1, 1, 1, -1}},
    {"mastering tape boost 1",   {1, 0.5,  0.47, 0.33,  kStep4, 1, 0.52, 0.62, 0.33, 1,     0.2,  0.1,  1, 1, 1, -1}},
    {"mastering tape boost 2",   {1, 0.5,  0.49, 0.15,  kStep6, 1, 0.48, 0.6,  0.33, 1,     0.2,  0.1,  1, 1, 1, -1}},
    {"mastering tape boost 3",   {1, 0.5,  0.49, 0.2,   kStep6, 1, 0.5,  0.54, 0.19, 1,     0.2,  0.15, 1, 1, 1, -1}},
    {"hot valve1",               {1, 0.5,  0.5,  1,     kStep1, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"hot valve2",               {1, 0.5,  0.5,  0.875, kStep2, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"hot valve3",               {1, 0.5,  0.5,  0.75,  kStep3, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"hot tape1",                {1, 0.5,  0.5,  0.4,   kStep4, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"hot tape2",                {1, 0.5,  0.5,  0.4,   kStep5, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"hot tape3",                {1, 0.5,  0.5,  0.4,   kStep6, 1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    {"contour1",                 {1, 0.5,  0.5,  0,     0,      1, 0.5,  1,    0.33, 0.33,  0.5,  0.66, 1, 1, 1, -1}},
    {"contour2",                 {1, 0.5,  0.5,  0,     0,      1, 0.5,  1,    0.4,  0.17,  0.5,  0.5,  1, 1, 1, -1}},
    {"big bass1",                {1, 0.35, 0.5,  0.6,   kStep2, 1, 0.5,  0.5,  0.6,  0.5,   0,    0.2,  1, 1, 0, -1}},
    {"big bass2",                {1, 0.1,  0.5,  0.65,  kStep5, 1, 0.5,  0.5,  0.6,  0.5,   0,    0.2,  1, 1, 0, -1}},
    {"bottom end 1",             {1, 0.5,  0.5,  0,     0,      1, 0.5,  0.5,  0.31, 0.5,   0,    0.15, 1, 1, 0, -1}},
    {"bottom end 2",             {1, 0.5,  0.5,  0,     0,      1, 0.6,  0.5,  0.28, 0.5,   0,    0.12, 1, 1, 0, -1}},
    {"bottom end 3",             {1, 0.5,  0.5,  0,     0,      1, 0.65, 0.5,  0.16, 0.5,   0,    0.16, 1, 1, 0, -1}},
    {"loop1",                    {1, 0.5,  0.5,  1,     kStep3, 1, 0.4,  1,    0.6,  0,     0.5,  0.16, 1, 1, 1, -1}},
    {"loop2",                    {1, 0.5,  0.5,  0.75,  kStep5, 1, 0.22, 0.83, 1,    0,     0.5,  0.16, 1, 1, 1, -1}},
    {"digital",                  {1, 0.5,  0.5,  0.5,   1,      1, 0.5,  0.5,  0.5,  0.5,   0,    0,    1, 0, 0, -1}},
    // clang-format on
};

void initProgram(TonvelaProgram& program, float stereoMonoDefault) {
    // A fresh record, by slot.
    const float fresh[kNumParams] = {
        0.5f, 0.25f, kStep6, 0.6f, 0.2f, 0.57f, 0.4f, 0.1f, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f, stereoMonoDefault,
        1.0f};
    for (int s = 0; s < kNumParams; ++s) program.values[s] = fresh[s];
    copyText(program.name, "init", kProgramNameSize);
}

}  // namespace klv::tonvela
