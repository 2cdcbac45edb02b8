// The library's exported entry and its module-wide state.
#pragma once

#include "host/vst2.h"

namespace klv {

class EffectBase;

// Each plug-in library defines this: a new effect for the host, or null.
EffectBase* createEffectInstance(AudioMasterCallback audioMaster);

// The library's own module handle (Windows: HINSTANCE), stored at load.
extern void* moduleInstance;
// Set by an effect constructor whose editor could not be created; never cleared.
extern bool editorCreationFailed;

// What the exported entry does, callable without going through the export.
AEffect* pluginMain(AudioMasterCallback audioMaster);

}  // namespace klv
