#include "tools/render/plugin_chain.h"

#include <algorithm>

#include "tools/render/render_error.h"

namespace klv::render {

namespace {

constexpr int kMaxPluginChannels = 256;
// A look-ahead or linear-phase delay is a fraction of a second; a figure
// beyond this is a broken record, not audio to wait for.
constexpr double kMaxDelaySeconds = 60.0;

template <int kChannels>
void deinterleaveFixed(const float* in, float* const* out, int frames) {
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < kChannels; ++c) out[c][f] = in[f * kChannels + c];
}

template <int kChannels>
void interleaveFixed(float* const* in, float* out, int frames) {
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < kChannels; ++c) out[f * kChannels + c] = in[c][f];
}

// Mono and stereo files are nearly all files; their loops get the channel
// count as a constant.
void deinterleave(const float* in, float* const* out, int channels, int frames) {
    if (channels == 1) return deinterleaveFixed<1>(in, out, frames);
    if (channels == 2) return deinterleaveFixed<2>(in, out, frames);
    for (int c = 0; c < channels; ++c)
        for (int f = 0; f < frames; ++f) out[c][f] = in[f * channels + c];
}

void interleave(float* const* in, float* out, int channels, int frames) {
    if (channels == 1) return interleaveFixed<1>(in, out, frames);
    if (channels == 2) return interleaveFixed<2>(in, out, frames);
    for (int c = 0; c < channels; ++c)
        for (int f = 0; f < frames; ++f) out[f * channels + c] = in[c][f];
}

}  // namespace

ChainLibraries::ChainLibraries(const std::vector<ChainLink>& links) : links_(links) {
    for (const ChainLink& link : links_) {
        libraries_.push_back(std::make_unique<hostkit::PluginLibrary>());
        if (!libraries_.back()->open(link.plugin))
            throw RenderError(kExitPlugin, "cannot load " + link.plugin + ": " + libraries_.back()->error());
    }
}

ChainLibraries::~ChainLibraries() = default;

// One plug-in with its buffers. The first stage reads the file's channels
// from its own input buffers; a later one reads its predecessor's first
// outputs (as many as the file has channels) and silence on the rest.
struct PluginChain::Stage {
    std::unique_ptr<PluginSession> session;
    bool accumulate = false;
    std::vector<float> inputs;  // silent, except the first stage's file channels
    std::vector<float> outputs;
    std::vector<float*> inputPointers;
    std::vector<float*> outputPointers;
};

PluginChain::PluginChain(const ChainLibraries& libraries, const ChainSetup& setup)
    : channels_(setup.channels), blockSize_(setup.blockSize), sampleRate_(setup.sampleRate) {
    hostkit::HostConfig config;
    config.sampleRate = setup.sampleRate;
    config.blockSize = setup.blockSize;
    // A mono file leaves input 2 unconnected, so a stereo plug-in's own
    // detection decides how to run.
    config.input2Connected = setup.channels >= 2;
    config.recordCalls = false;
    const std::size_t count = libraries.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& path = libraries.link(i).plugin;
        auto stage = std::make_unique<Stage>();
        stage->session = std::make_unique<PluginSession>(path, libraries.entry(i), config);
        const AEffect& effect = stage->session->effect();
        // Counts beyond any real speaker layout mean a broken record, not a
        // plug-in to size buffers for.
        if (effect.numInputs < 0 || effect.numOutputs < 0 || effect.numInputs > kMaxPluginChannels ||
            effect.numOutputs > kMaxPluginChannels)
            throw RenderError(kExitPlugin, path + " declares " + std::to_string(effect.numInputs) + " inputs and " +
                                               std::to_string(effect.numOutputs) + " outputs");
        if (setup.channels > effect.numInputs || setup.channels > effect.numOutputs) {
            const std::string which =
                count == 1 ? "the plug-in" : "plug-in " + std::to_string(i + 1) + " of the chain (" + path + ")";
            throw RenderError(kExitInput, setup.inputPath + " has " + std::to_string(setup.channels) + " channels; " +
                                              which + " takes " + std::to_string(effect.numInputs) + " in and " +
                                              std::to_string(effect.numOutputs) + " out");
        }
        chain_.push_back(std::move(stage));
    }

    for (std::size_t i = 0; i < count; ++i) {
        Stage& stage = *chain_[i];
        PluginSession& session = *stage.session;
        const ChainLink& link = libraries.link(i);
        stage.accumulate = setup.call == ProcessCall::kAccumulating;
        if (!stage.accumulate && !session.canReplace()) {
            if (setup.call == ProcessCall::kReplacing)
                notes_.push_back(link.plugin + " has no processReplacing; using process");
            stage.accumulate = true;
        }
        session.open(setup.sampleRate, setup.blockSize);
        if (!link.program.empty()) session.selectProgram(link.program);
        for (const auto& s : link.settings) session.setParameter(session.findParameter(s.key), s.value);

        StageSummary summary;
        summary.path = link.plugin;
        summary.name = hostkit::getString(session.instance(), effGetEffectName);
        if (summary.name.empty()) summary.name = link.plugin;
        if (session.effect().numPrograms > 0) {
            summary.program = session.currentProgram();
            summary.programName = session.programName(summary.program);
        }
        summary.callName = stage.accumulate ? "process" : "processReplacing";
        stages_.push_back(summary);

        const std::size_t block = static_cast<std::size_t>(setup.blockSize);
        const int inputs = session.effect().numInputs;
        const int outputs = session.effect().numOutputs;
        stage.inputs.assign(static_cast<std::size_t>(inputs) * block, 0.0f);
        stage.outputs.assign(static_cast<std::size_t>(outputs) * block, 0.0f);
        for (int c = 0; c < inputs; ++c) {
            const bool fromPrevious = i > 0 && c < channels_;
            stage.inputPointers.push_back(fromPrevious ? chain_[i - 1]->outputPointers[c] : &stage.inputs[c * block]);
        }
        for (int c = 0; c < outputs; ++c) stage.outputPointers.push_back(&stage.outputs[c * block]);
    }
}

PluginChain::~PluginChain() {
    // Sessions suspend and close themselves; the last plug-in goes first,
    // as a host tears a chain down.
    while (!chain_.empty()) chain_.pop_back();
}

void PluginChain::start() {
    delayFrames_ = 0;
    for (std::size_t i = 0; i < chain_.size(); ++i) {
        chain_[i]->session->resume();
        // Plug-ins settle their delay by the time they are resumed.
        const VstInt32 delay = chain_[i]->session->effect().initialDelay;
        if (delay < 0 || delay > kMaxDelaySeconds * sampleRate_)
            throw RenderError(kExitPlugin, stages_[i].path + " reports a delay of " + std::to_string(delay) +
                                               " samples, which no output can be shifted by");
        stages_[i].delayFrames = delay;
        delayFrames_ += delay;
    }
}

void PluginChain::stop() noexcept {
    for (auto& stage : chain_) stage->session->suspend();
}

void PluginChain::process(float* interleaved, int frames) noexcept {
    for (int done = 0; done < frames; done += blockSize_)
        runBlock(interleaved + static_cast<std::size_t>(done) * channels_, std::min(blockSize_, frames - done));
}

void PluginChain::runBlock(float* interleaved, int frames) noexcept {
    deinterleave(interleaved, chain_.front()->inputPointers.data(), channels_, frames);
    for (auto& stage : chain_) {
        if (stage->accumulate) std::fill(stage->outputs.begin(), stage->outputs.end(), 0.0f);
        stage->session->processBlock(stage->inputPointers.data(), stage->outputPointers.data(), frames,
                                     stage->accumulate);
    }
    interleave(chain_.back()->outputPointers.data(), interleaved, channels_, frames);
}

}  // namespace klv::render
