// The host tests' own minimal effect, created by the entry logic.
#include "tests/host/test_effect.h"

namespace klv {
EffectBase* createEffectInstance(AudioMasterCallback audioMaster) {
    return new (std::nothrow) test::TestEffect(audioMaster);
}
}  // namespace klv
