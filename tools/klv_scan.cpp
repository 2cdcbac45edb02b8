// klv-scan: loads plug-in libraries the way a host does and prints what a
// host learns from them: identity, channels, parameters and programs.
//   klv-scan [PLUGIN...]   (default: every plug-in next to this build)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/hostkit/plugin_host.h"

using namespace klv;
using namespace klv::hostkit;

namespace {

std::string fourCC(std::int32_t id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((id >> shift) & 0xFF);
    return s;
}

int scan(const std::string& path) {
    PluginLibrary library;
    if (!library.open(path)) {
        std::fprintf(stderr, "klv-scan: %s\n", library.error().c_str());
        return 1;
    }
    auto plugin = PluginInstance::create(library.defaultEntry());
    if (!plugin) {
        std::fprintf(stderr, "klv-scan: %s: not a VST 2 plug-in\n", path.c_str());
        return 1;
    }
    AEffect* e = plugin->effect();
    std::printf("%s\n", path.c_str());
    std::printf("  name     %s\n", getString(*plugin, effGetEffectName).c_str());
    std::printf("  vendor   %s\n", getString(*plugin, effGetVendorString).c_str());
    std::printf("  product  %s\n", getString(*plugin, effGetProductString).c_str());
    std::printf("  id       %s (0x%08X), version %d\n", fourCC(e->uniqueID).c_str(), static_cast<unsigned>(e->uniqueID),
                static_cast<int>(e->version));
    std::printf("  channels %d in, %d out; flags 0x%X\n", static_cast<int>(e->numInputs),
                static_cast<int>(e->numOutputs), static_cast<unsigned>(e->flags));
    std::printf("  parameters (%d):\n", static_cast<int>(e->numParams));
    for (int i = 0; i < e->numParams; ++i)
        std::printf("    %2d %-12s %-9s [%s]\n", i, getString(*plugin, effGetParamName, i).c_str(),
                    getString(*plugin, effGetParamDisplay, i).c_str(), getString(*plugin, effGetParamLabel, i).c_str());
    std::printf("  programs (%d):\n", static_cast<int>(e->numPrograms));
    for (int p = 0; p < e->numPrograms; ++p) {
        char name[256] = {0};
        plugin->dispatch(effGetProgramNameIndexed, p, 0, name);
        std::printf("    %2d %s\n", p, name);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) paths.push_back(argv[i]);
    if (paths.empty()) {
        for (const char* name : {"KLV_Clampora", "KLV_Clampora_mono", "KLV_Tonvela", "KLV_Tonvela_mono"}) {
            const std::string path = std::string(KLV_PLUGIN_DIR) + "/" + name + ".so";
            if (FILE* f = std::fopen(path.c_str(), "rb")) {
                std::fclose(f);
                paths.push_back(path);
            }
        }
    }
    int failures = 0;
    for (const auto& p : paths) failures += scan(p);
    return failures == 0 ? 0 : 1;
}
