// A small VST 2 host: loads a plug-in library through its exported entry,
// answers the effect's callbacks from a configuration and records them.
// Used by the command-line renderer, the binary tests and the Windows test
// host, on Linux (dlopen) and Windows (LoadLibrary).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/vst2.h"

namespace klv::hostkit {

using EntryProc = AEffect*(KLV_CALL*)(AudioMasterCallback);

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    // The named export, or null.
    EntryProc entry(const char* name) const;
    // VSTPluginMain, else main.
    EntryProc defaultEntry() const;
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

struct HostConfig {
    std::intptr_t version = 2400;  // answer to audioMasterVersion; 0 refuses
    std::int32_t outputLatency = 0;
    std::int32_t blockSize = 512;
    float sampleRate = 44100.0f;
    bool input2Connected = true;  // answer for audioMasterPinConnected, input 1
    // Tests read the record; a renderer leaves it off, since a plug-in that
    // calls back on every block would otherwise grow it for the whole file.
    bool recordCalls = true;
};

struct CallbackRecord {
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    float opt;
};

class PluginInstance {
public:
    // Calls the entry with this host's callback; null when the entry gives
    // no effect or one without the VST magic.
    static std::unique_ptr<PluginInstance> create(EntryProc entry, const HostConfig& config = {});
    // The same, saying why no instance was made.
    enum class CreateResult { kCreated, kNoEntry, kNoEffect, kBadMagic };
    static std::unique_ptr<PluginInstance> create(EntryProc entry, const HostConfig& config, CreateResult& result);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* effect() const { return effect_; }
    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0f);
    void setParameter(std::int32_t index, float value) { effect_->setParameter(effect_, index, value); }
    float getParameter(std::int32_t index) { return effect_->getParameter(effect_, index); }
    void processReplacing(float** in, float** out, std::int32_t frames) {
        effect_->processReplacing(effect_, in, out, frames);
    }
    void process(float** in, float** out, std::int32_t frames) { effect_->process(effect_, in, out, frames); }
    // Sends effClose and answers what the effect answered (0 when already
    // closed); the instance is then empty.
    std::intptr_t close();

    HostConfig& config() { return config_; }
    // Called after each callback is recorded, outside the host's lock, while
    // the effect waits for the answer (a host may call the effect back from
    // there). Not called during construction.
    std::function<void(PluginInstance&, const CallbackRecord&)> onCallback;
    std::vector<CallbackRecord> calls() const;
    void clearCalls();
    int countCalls(std::int32_t opcode) const;

    // The host side of the callback.
    std::intptr_t answer(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                         float opt);

private:
    explicit PluginInstance(const HostConfig& config) : config_(config) {}

    AEffect* effect_ = nullptr;
    HostConfig config_;
    mutable std::mutex mutex_;
    std::vector<CallbackRecord> calls_;
};

// Text helpers around the dispatcher.
std::string getString(PluginInstance& plugin, std::int32_t opcode, std::int32_t index = 0);

}  // namespace klv::hostkit
