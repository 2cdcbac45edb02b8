#include "host/effect_base.h"
#include "host/entry.h"

namespace klv {

AEffect* pluginMain(AudioMasterCallback audioMaster) {
    // A host that does not answer its version is not a VST 2 host.
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    EffectBase* effect = createEffectInstance(audioMaster);
    if (!effect) return nullptr;
    if (editorCreationFailed) {
        delete effect;
        return nullptr;
    }
    return effect->getAeffect();
}

}  // namespace klv
