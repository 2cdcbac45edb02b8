#pragma once

#include <new>

#include "host/effect_base.h"

namespace klv::test {

// Base defaults only, plus a parameter store and a VU value to read.
class TestEffect : public EffectBase {
public:
    explicit TestEffect(AudioMasterCallback audioMaster) : EffectBase(audioMaster, 4, 2) {}
    void process(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < 2) values[index] = value;
        ++setCalls;
    }
    float getParameter(VstInt32 index) override { return index >= 0 && index < 2 ? values[index] : 0.0f; }
    float getVu() override { return vu; }
    void suspend() override { ++suspends; }
    void resume() override { ++resumes; }

    float values[2] = {0.0f, 0.0f};
    float vu = 0.0f;
    int setCalls = 0;
    int suspends = 0;
    int resumes = 0;
};

}  // namespace klv::test
