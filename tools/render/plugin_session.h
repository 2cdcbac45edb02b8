// One plug-in instance as the renderer hosts it: finding the library,
// creating the effect through its entry, the host's start-up order, programs
// and parameters by name, and the audio calls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/hostkit/plugin_host.h"

namespace klv::render {

// Folders searched for a plug-in given by short name, in order.
std::vector<std::string> pluginSearchPath();

// A path as given (anything with a '/' or an existing file), else a short
// name (clampora, clampora-mono, tonvela, tonvela-mono) or a library file
// name looked up on the search path. Throws RenderError(kExitPlugin).
std::string locatePlugin(const std::string& nameOrPath);

// Which KLV plug-in an effect is, from its unique identifier.
enum class KlvPlugin { kOther, kClampora, kTonvela };

class PluginSession {
public:
    // Loads the library and creates the effect; throws RenderError(kExitPlugin)
    // when the library is not a VST 2 plug-in.
    PluginSession(const std::string& path, const hostkit::HostConfig& config);
    // An effect linked into this program, created through entry.
    PluginSession(const std::string& name, hostkit::EntryProc entry, const hostkit::HostConfig& config);
    // Suspends if running, then closes the effect before the library.
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    AEffect& effect() const { return *instance_->effect(); }
    hostkit::PluginInstance& instance() { return *instance_; }
    const std::string& path() const { return path_; }
    KlvPlugin klvPlugin() const;

    // effOpen, effSetSampleRate, effSetBlockSize.
    void open(float sampleRate, int blockSize);
    // By number or by name (exact, else ignoring case); throws
    // RenderError(kExitUsage) naming the choices.
    void selectProgram(const std::string& numberOrName);
    // Parameter index by index text or host name (exact, else ignoring
    // case); throws RenderError(kExitUsage).
    int findParameter(const std::string& key);
    void setParameter(int index, float value) { instance_->setParameter(index, value); }

    int currentProgram() { return static_cast<int>(instance_->dispatch(effGetProgram)); }
    std::string programName(int index);
    std::string parameterName(int index) { return hostkit::getString(*instance_, effGetParamName, index); }

    // effMainsChanged 1 / 0.
    void resume();
    void suspend();

    bool canReplace() const { return (effect().flags & effFlagsCanReplacing) != 0; }
    // One audio call; `accumulate` uses process (the caller clears the
    // outputs first), otherwise processReplacing.
    void processBlock(float** inputs, float** outputs, int frames, bool accumulate) noexcept;

private:
    void create(hostkit::EntryProc entry, const hostkit::HostConfig& config);

    std::string path_;
    hostkit::PluginLibrary library_;
    std::unique_ptr<hostkit::PluginInstance> instance_;
    bool running_ = false;
};

}  // namespace klv::render
