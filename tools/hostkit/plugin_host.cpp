#include "tools/hostkit/plugin_host.h"

#include <cstring>
#include <map>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace klv::hostkit {

namespace {

// Effects call back before the entry has returned their record, so the
// instance under construction is found through this thread's pointer; after
// that, through the record.
thread_local PluginInstance* constructing = nullptr;
std::mutex registryMutex;
std::map<AEffect*, PluginInstance*>& registry() {
    static std::map<AEffect*, PluginInstance*> instances;
    return instances;
}

VstIntPtr KLV_CALL hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    PluginInstance* host = nullptr;
    if (effect) {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto it = registry().find(effect);
        if (it != registry().end()) host = it->second;
    }
    if (!host) host = constructing;
    if (!host) return opcode == audioMasterVersion ? 2400 : 0;
    return host->answer(effect, opcode, index, value, ptr, opt);
}

}  // namespace

PluginLibrary::~PluginLibrary() {
    close();
}

bool PluginLibrary::open(const std::string& path) {
    close();
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (!handle_) error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? why : ("cannot load " + path);
    }
#endif
    return handle_ != nullptr;
}

void PluginLibrary::close() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
}

EntryProc PluginLibrary::entry(const char* name) const {
    if (!handle_) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<EntryProc>(
        reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name)));
#else
    return reinterpret_cast<EntryProc>(dlsym(handle_, name));
#endif
}

EntryProc PluginLibrary::defaultEntry() const {
    EntryProc e = entry("VSTPluginMain");
    return e ? e : entry("main");
}

std::unique_ptr<PluginInstance> PluginInstance::create(EntryProc entry, const HostConfig& config) {
    CreateResult result;
    return create(entry, config, result);
}

std::unique_ptr<PluginInstance> PluginInstance::create(EntryProc entry, const HostConfig& config,
                                                       CreateResult& result) {
    result = CreateResult::kNoEntry;
    if (!entry) return nullptr;
    std::unique_ptr<PluginInstance> host(new PluginInstance(config));
    constructing = host.get();
    AEffect* effect = entry(hostCallback);
    constructing = nullptr;
    result = CreateResult::kNoEffect;
    if (!effect) return nullptr;
    result = CreateResult::kBadMagic;
    if (effect->magic != kEffectMagic) return nullptr;  // not ours to close
    result = CreateResult::kCreated;
    host->effect_ = effect;
    std::lock_guard<std::mutex> lock(registryMutex);
    registry()[effect] = host.get();
    return host;
}

PluginInstance::~PluginInstance() {
    close();
}

std::intptr_t PluginInstance::close() {
    if (!effect_) return 0;
    const std::intptr_t answer = effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(effect_);
    effect_ = nullptr;
    return answer;
}

std::intptr_t PluginInstance::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                       float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::intptr_t PluginInstance::answer(AEffect*, std::int32_t opcode, std::int32_t index, std::intptr_t value, void*,
                                     float opt) {
    const CallbackRecord record{opcode, index, value, opt};
    if (config_.recordCalls) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(record);
    }
    if (onCallback && effect_) onCallback(*this, record);
    switch (opcode) {
        case audioMasterVersion:
            return config_.version;
        case audioMasterGetOutputLatency:
            return config_.outputLatency;
        case audioMasterGetBlockSize:
            return config_.blockSize;
        case audioMasterGetSampleRate:
            return static_cast<std::intptr_t>(config_.sampleRate);
        case audioMasterPinConnected:
            // 0 means connected. Only the second input is ever in doubt.
            if (value == 0 && index == 1) return config_.input2Connected ? 0 : 1;
            return 0;
        default:
            return 0;
    }
}

std::vector<CallbackRecord> PluginInstance::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void PluginInstance::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

int PluginInstance::countCalls(std::int32_t opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& c : calls_) n += c.opcode == opcode;
    return n;
}

std::string getString(PluginInstance& plugin, std::int32_t opcode, std::int32_t index) {
    char text[256];
    std::memset(text, 0, sizeof text);
    plugin.dispatch(opcode, index, 0, text);
    text[sizeof text - 1] = '\0';
    return text;
}

}  // namespace klv::hostkit
