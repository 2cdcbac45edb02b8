#include "tools/render/plugin_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/render/ascii_text.h"
#include "tools/render/render_error.h"

#ifndef KLV_PLUGIN_DIR
#define KLV_PLUGIN_DIR ""
#endif

namespace klv::render {

namespace {

struct ShortName {
    const char* name;
    const char* file;
};

constexpr ShortName kShortNames[] = {
    {"clampora", "KLV_Clampora.so"},
    {"clampora-mono", "KLV_Clampora_mono.so"},
    {"tonvela", "KLV_Tonvela.so"},
    {"tonvela-mono", "KLV_Tonvela_mono.so"},
};

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string executableDir() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    buffer[n] = '\0';
    std::string path(buffer);
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool parseIndex(const std::string& text, int& index) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    index = std::atoi(text.c_str());
    return true;
}

// An index by exact name, else by the one name equal ignoring case; -1 when
// none, -2 when several match ignoring case.
template <typename NameOf>
int matchName(const std::string& wanted, int count, NameOf nameOf) {
    int folded = -1;
    for (int i = 0; i < count; ++i) {
        const std::string name = nameOf(i);
        if (name == wanted) return i;
        if (asciiLower(name) == asciiLower(wanted)) folded = folded == -1 ? i : -2;
    }
    return folded;
}

std::string joinQuoted(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& n : names) text += (text.empty() ? "\"" : ", \"") + n + "\"";
    return text;
}

}  // namespace

std::vector<std::string> pluginSearchPath() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("KLV_PLUGIN_PATH")) {
        std::string list(env);
        std::size_t start = 0;
        while (start <= list.size()) {
            const auto colon = list.find(':', start);
            const std::string dir = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!dir.empty()) dirs.push_back(dir);
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    if (KLV_PLUGIN_DIR[0] != '\0') dirs.push_back(KLV_PLUGIN_DIR);
    const std::string exe = executableDir();
    if (!exe.empty()) {
        dirs.push_back(exe + "/../plugins");
        dirs.push_back(exe + "/../lib/vst");
    }
    if (const char* home = std::getenv("HOME")) dirs.push_back(std::string(home) + "/.vst");
    dirs.push_back("/usr/local/lib/vst");
    dirs.push_back("/usr/lib/vst");
    return dirs;
}

std::string locatePlugin(const std::string& nameOrPath) {
    if (nameOrPath.find('/') != std::string::npos) {
        if (isFile(nameOrPath)) return nameOrPath;
        throw RenderError(kExitPlugin, "plug-in " + nameOrPath + " not found");
    }
    std::vector<std::string> candidates;
    for (const auto& s : kShortNames)
        if (nameOrPath == s.name) candidates.push_back(s.file);
    if (candidates.empty()) {
        candidates.push_back(nameOrPath);
        if (nameOrPath.size() < 3 || nameOrPath.compare(nameOrPath.size() - 3, 3, ".so") != 0)
            candidates.push_back(nameOrPath + ".so");
    }
    for (const auto& dir : pluginSearchPath())
        for (const auto& file : candidates)
            if (isFile(dir + "/" + file)) return dir + "/" + file;
    if (isFile(nameOrPath)) return nameOrPath;
    throw RenderError(kExitPlugin, "plug-in \"" + nameOrPath + "\" not found (set KLV_PLUGIN_PATH or give a path)");
}

PluginSession::PluginSession(const std::string& path, const hostkit::HostConfig& config) : path_(path) {
    if (!library_.open(path)) throw RenderError(kExitPlugin, "cannot load " + path + ": " + library_.error());
    create(library_.defaultEntry(), config);
}

PluginSession::PluginSession(const std::string& name, hostkit::EntryProc entry, const hostkit::HostConfig& config)
    : path_(name) {
    create(entry, config);
}

void PluginSession::create(hostkit::EntryProc entry, const hostkit::HostConfig& config) {
    const std::string& path = path_;
    hostkit::PluginInstance::CreateResult result;
    instance_ = hostkit::PluginInstance::create(entry, config, result);
    switch (result) {
        case hostkit::PluginInstance::CreateResult::kCreated:
            break;
        case hostkit::PluginInstance::CreateResult::kNoEntry:
            throw RenderError(kExitPlugin, path + " is not a VST 2 plug-in: it exports neither VSTPluginMain nor main");
        case hostkit::PluginInstance::CreateResult::kNoEffect:
            throw RenderError(kExitPlugin, path + ": the plug-in's entry gave no effect");
        case hostkit::PluginInstance::CreateResult::kBadMagic:
            throw RenderError(kExitPlugin, path + " is not a VST 2 plug-in: its effect lacks the VstP magic");
    }
}

PluginSession::~PluginSession() {
    if (!instance_) return;
    if (running_) suspend();
    instance_->close();
    instance_.reset();
}

KlvPlugin PluginSession::klvPlugin() const {
    const VstInt32 id = effect().uniqueID;
    if (id == fourCharCode("KcLp") || id == fourCharCode("KcLP")) return KlvPlugin::kClampora;
    if (id == fourCharCode("KcTv") || id == fourCharCode("KcTV")) return KlvPlugin::kTonvela;
    return KlvPlugin::kOther;
}

void PluginSession::open(float sampleRate, int blockSize) {
    instance_->config().sampleRate = sampleRate;
    instance_->config().blockSize = blockSize;
    instance_->dispatch(effOpen);
    instance_->dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    instance_->dispatch(effSetBlockSize, 0, blockSize);
}

std::string PluginSession::programName(int index) {
    char name[256];
    std::memset(name, 0, sizeof name);
    if (instance_->dispatch(effGetProgramNameIndexed, index, 0, name) == 0 && index == currentProgram()) {
        // Plug-ins without indexed names still answer for the current one.
        std::memset(name, 0, sizeof name);
        instance_->dispatch(effGetProgramName, 0, 0, name);
    }
    name[sizeof name - 1] = '\0';
    return name;
}

void PluginSession::selectProgram(const std::string& numberOrName) {
    const int count = effect().numPrograms;
    int index = -1;
    if (parseIndex(numberOrName, index)) {
        if (index >= count)
            throw RenderError(kExitUsage, "no program " + numberOrName + ": the plug-in has programs 0 to " +
                                              std::to_string(count - 1));
    } else {
        index = matchName(numberOrName, count, [this](int i) { return programName(i); });
        if (index < 0) {
            std::vector<std::string> names;
            for (int i = 0; i < count; ++i) {
                const std::string n = programName(i);
                bool seen = false;
                for (const auto& m : names) seen = seen || m == n;
                if (!seen) names.push_back(n);
            }
            throw RenderError(kExitUsage, "unknown program \"" + numberOrName + "\"" +
                                              (index == -2 ? " (ambiguous)" : "") + "; programs: " + joinQuoted(names));
        }
    }
    instance_->dispatch(effSetProgram, 0, index);
}

int PluginSession::findParameter(const std::string& key) {
    const int count = effect().numParams;
    int index = -1;
    if (parseIndex(key, index)) {
        if (index < count) return index;
        throw RenderError(kExitUsage,
                          "no parameter " + key + ": the plug-in has parameters 0 to " + std::to_string(count - 1));
    }
    index = matchName(key, count, [this](int i) { return parameterName(i); });
    if (index >= 0) return index;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(parameterName(i));
    throw RenderError(kExitUsage, "unknown parameter \"" + key + "\"" + (index == -2 ? " (ambiguous)" : "") +
                                      "; parameters: " + joinQuoted(names));
}

void PluginSession::resume() {
    instance_->dispatch(effMainsChanged, 0, 1);
    running_ = true;
}

void PluginSession::suspend() {
    if (!running_) return;
    instance_->dispatch(effMainsChanged, 0, 0);
    running_ = false;
}

void PluginSession::processBlock(float** inputs, float** outputs, int frames, bool accumulate) noexcept {
    if (accumulate)
        instance_->process(inputs, outputs, frames);
    else
        instance_->processReplacing(inputs, outputs, frames);
}

}  // namespace klv::render
