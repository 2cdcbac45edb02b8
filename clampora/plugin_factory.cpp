#include <new>

#include "clampora/clampora_effect.h"
#include "host/entry.h"

namespace klv {

EffectBase* createEffectInstance(AudioMasterCallback audioMaster) {
    auto* effect = new (std::nothrow) clampora::ClamporaEffect(audioMaster);
    if (effect && !effect->constructed()) {
        delete effect;
        return nullptr;
    }
    return effect;
}

}  // namespace klv
