#include <new>

#include "host/entry.h"
#include "tonvela/tonvela_effect.h"

namespace klv {

EffectBase* createEffectInstance(AudioMasterCallback audioMaster) {
    auto* effect = new (std::nothrow) tonvela::TonvelaEffect(audioMaster);
    if (effect && !effect->constructed()) {
        delete effect;
        return nullptr;
    }
    return effect;
}

}  // namespace klv
