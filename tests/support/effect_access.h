// Test access to an effect created through the library's entry logic with
// the recording host of tools/hostkit.
#pragma once

#include <memory>

#include "host/effect_base.h"
#include "host/entry.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::test {

// The effect object behind a host-visible record.
template <class Effect>
Effect* effectObject(AEffect* record) {
    return static_cast<Effect*>(static_cast<EffectCore*>(record->object));
}

// A new instance through the same path the exported entry takes.
inline std::unique_ptr<hostkit::PluginInstance> makeInstance(const hostkit::HostConfig& config = {}) {
    return hostkit::PluginInstance::create(&pluginMain, config);
}

}  // namespace klv::test
