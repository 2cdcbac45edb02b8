// Libraries that a host must refuse, one per build of this file:
//   KLV_NOT_PLUGIN_KIND 0: exports no entry at all
//   KLV_NOT_PLUGIN_KIND 1: an entry that gives no effect
//   KLV_NOT_PLUGIN_KIND 2: an entry whose record lacks the VST magic
#include <cstring>

#include "host/vst2.h"

#define KLV_EXPORT extern "C" __attribute__((visibility("default")))

#if KLV_NOT_PLUGIN_KIND == 0
KLV_EXPORT int klvSomethingElse() {
    return 42;
}
#elif KLV_NOT_PLUGIN_KIND == 1
KLV_EXPORT klv::AEffect* VSTPluginMain(klv::AudioMasterCallback) {
    return nullptr;
}
#else
namespace {
klv::AEffect record;
}
KLV_EXPORT klv::AEffect* VSTPluginMain(klv::AudioMasterCallback) {
    std::memset(&record, 0, sizeof record);
    record.magic = klv::fourCharCode("VstQ");
    return &record;
}
#endif
