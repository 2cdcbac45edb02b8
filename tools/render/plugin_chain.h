// Plug-ins in series: the libraries loaded once per run, and for each file a
// chain of fresh instances that the audio runs through block by block.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/hostkit/plugin_host.h"
#include "tools/render/options.h"
#include "tools/render/plugin_session.h"
#include "tools/render/report.h"

namespace klv::render {

// The chain's libraries, shared read-only by every worker. `links` hold
// located paths.
class ChainLibraries {
public:
    // Throws RenderError(kExitPlugin) for a library that does not load.
    explicit ChainLibraries(const std::vector<ChainLink>& links);
    ~ChainLibraries();
    ChainLibraries(const ChainLibraries&) = delete;
    ChainLibraries& operator=(const ChainLibraries&) = delete;

    std::size_t size() const { return links_.size(); }
    const ChainLink& link(std::size_t i) const { return links_[i]; }
    hostkit::EntryProc entry(std::size_t i) const { return libraries_[i]->defaultEntry(); }

private:
    std::vector<ChainLink> links_;
    std::vector<std::unique_ptr<hostkit::PluginLibrary>> libraries_;
};

struct ChainSetup {
    float sampleRate = 44100.0f;
    int channels = 0;  // the file's; 0 only checks programs and settings
    int blockSize = 512;
    ProcessCall call = ProcessCall::kAuto;
    std::string inputPath;  // for messages
};

class PluginChain {
public:
    // Creates every plug-in, checks that each takes the file's channels,
    // opens them and applies programs and settings, in the host's usual
    // order. Throws RenderError.
    PluginChain(const ChainLibraries& libraries, const ChainSetup& setup);
    ~PluginChain();
    PluginChain(const PluginChain&) = delete;
    PluginChain& operator=(const PluginChain&) = delete;

    // Lines for the user (a plug-in without processReplacing), once each.
    const std::vector<std::string>& notes() const { return notes_; }

    // Resumes every plug-in and reads the delays they report; throws
    // RenderError(kExitPlugin) for a delay no file could be shifted by.
    void start();
    void stop() noexcept;
    // The sum of the plug-ins' delays, known after start().
    std::int64_t delayFrames() const { return delayFrames_; }
    const std::vector<StageSummary>& stages() const { return stages_; }

    // Runs `frames` interleaved frames of the file's channels through every
    // plug-in in calls of the block size (the last may be shorter), and
    // writes the chain's output over them.
    void process(float* interleaved, int frames) noexcept;

private:
    struct Stage;
    void runBlock(float* interleaved, int frames) noexcept;

    std::vector<std::unique_ptr<Stage>> chain_;
    std::vector<StageSummary> stages_;
    std::vector<std::string> notes_;
    int channels_;
    int blockSize_;
    float sampleRate_;
    std::int64_t delayFrames_ = 0;
};

}  // namespace klv::render
