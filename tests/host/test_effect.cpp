// The host tests' own small effect, created by the entry logic.
#include "tests/host/test_effect.h"

namespace klv {

namespace test {

namespace {
const ParameterInfo kTestParameters[2] = {{"alpha", "  dB  ", 1}, {"beta", "", 0}};
const EffectIdentity kTestIdentity = {"Test Effect", "Test Vendor", "Test Product", 7};
}  // namespace

TestEffect::TestEffect(AudioMasterCallback audioMaster)
    : ProgramEffect(audioMaster, 4, kTestParameters, kTestIdentity) {
    for (int p = 0; p < 4; ++p) {
        programs_[p].values[0] = 0.1f * static_cast<float>(p);
        programs_[p].values[1] = 0.2f * static_cast<float>(p);
        std::snprintf(programs_[p].name, kProgramNameSize, "prog%d", p);
    }
}

}  // namespace test

EffectBase* createEffectInstance(AudioMasterCallback audioMaster) {
    return new (std::nothrow) test::TestEffect(audioMaster);
}

}  // namespace klv
