#pragma once

#include <new>

#include "host/program_effect.h"

namespace klv::test {

// The shared program effect with two parameters and four programs, plus
// counters of what the base called.
class TestEffect : public ProgramEffect<2> {
public:
    explicit TestEffect(AudioMasterCallback audioMaster);
    void process(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override {
        ++setCalls;
        lastSetIndex = index;
        if (validParameter(index)) {
            values[index] = value;
            slotOf(curProgram, index) = value;
        }
    }
    float getParameter(VstInt32 index) override { return validParameter(index) ? values[index] : 0.0f; }
    void suspend() override { ++suspends; }
    void resume() override { ++resumes; }
    void setVu(float v) { vu_.store(v); }
    using ProgramEffect<2>::program;

    float values[2] = {0.0f, 0.0f};
    int setCalls = 0;
    int lastSetIndex = -100;
    int suspends = 0;
    int resumes = 0;
};

}  // namespace klv::test
