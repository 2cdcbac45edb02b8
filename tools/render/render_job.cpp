#include "tools/render/render_job.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "tools/render/audio_file.h"
#include "tools/render/plugin_session.h"
#include "tools/render/render_error.h"

namespace klv::render {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

constexpr int kMaxPluginChannels = 256;

// Channel buffers for the audio calls plus the interleaved file blocks.
class BlockBuffers {
public:
    BlockBuffers(int fileChannels, int pluginInputs, int pluginOutputs, int blockSize)
        : fileChannels_(fileChannels),
          blockSize_(blockSize),
          interleaved_(static_cast<std::size_t>(fileChannels) * blockSize),
          inputs_(static_cast<std::size_t>(pluginInputs) * blockSize, 0.0f),
          outputs_(static_cast<std::size_t>(pluginOutputs) * blockSize, 0.0f) {
        for (int c = 0; c < pluginInputs; ++c) inputPointers_.push_back(&inputs_[c * blockSize_]);
        for (int c = 0; c < pluginOutputs; ++c) outputPointers_.push_back(&outputs_[c * blockSize_]);
    }

    float* interleaved() { return interleaved_.data(); }
    float** inputs() { return inputPointers_.data(); }
    float** outputs() { return outputPointers_.data(); }

    // File channels into the first plug-in inputs; inputs the file does not
    // feed stay silent, as an unconnected input is.
    void deinterleave(int frames) {
        for (int c = 0; c < fileChannels_; ++c)
            for (int f = 0; f < frames; ++f) inputPointers_[c][f] = interleaved_[f * fileChannels_ + c];
    }

    void clearOutputs() { std::fill(outputs_.begin(), outputs_.end(), 0.0f); }

    // The first plug-in outputs back into the file block; answers how many
    // samples were not finite (written as 0).
    std::int64_t interleave(int frames) {
        std::int64_t invalid = 0;
        for (int c = 0; c < fileChannels_; ++c) {
            for (int f = 0; f < frames; ++f) {
                float x = outputPointers_[c][f];
                if (!std::isfinite(x)) {
                    x = 0.0f;
                    ++invalid;
                }
                interleaved_[f * fileChannels_ + c] = x;
            }
        }
        return invalid;
    }

private:
    int fileChannels_;
    int blockSize_;
    std::vector<float> interleaved_;
    std::vector<float> inputs_;
    std::vector<float> outputs_;
    std::vector<float*> inputPointers_;
    std::vector<float*> outputPointers_;
};

std::int64_t countOverFullScale(const float* samples, std::size_t count) {
    std::int64_t n = 0;
    for (std::size_t i = 0; i < count; ++i) n += std::fabs(samples[i]) > 1.0f;
    return n;
}

bool integerFormat(int format) {
    return describeFormat(format).find("float") == std::string::npos;
}

}  // namespace

void requestStop() noexcept {
    stopRequested = 1;
}

RenderSummary renderFile(const RenderRequest& request) {
    AudioReader reader(request.inputPath);
    const AudioFormat inFormat = reader.format();
    const int channels = inFormat.channels;

    hostkit::HostConfig config;
    config.sampleRate = static_cast<float>(inFormat.sampleRate);
    config.blockSize = request.blockSize;
    // A mono file leaves input 2 unconnected, so a stereo plug-in's own
    // detection decides how to run.
    config.input2Connected = channels >= 2;
    PluginSession session(request.pluginPath, config);
    const AEffect& effect = session.effect();
    // Counts beyond any real speaker layout mean a broken record, not a
    // plug-in to size buffers for.
    if (effect.numInputs < 0 || effect.numOutputs < 0 || effect.numInputs > kMaxPluginChannels ||
        effect.numOutputs > kMaxPluginChannels)
        throw RenderError(kExitPlugin, request.pluginPath + " declares " + std::to_string(effect.numInputs) +
                                           " inputs and " + std::to_string(effect.numOutputs) + " outputs");
    if (channels > effect.numInputs || channels > effect.numOutputs)
        throw RenderError(kExitInput, request.inputPath + " has " + std::to_string(channels) +
                                          " channels; the plug-in takes " + std::to_string(effect.numInputs) +
                                          " in and " + std::to_string(effect.numOutputs) + " out");

    bool accumulate = request.call == ProcessCall::kAccumulating;
    if (!accumulate && !session.canReplace()) {
        if (request.call == ProcessCall::kReplacing)
            std::fprintf(stderr, "klv-render: the plug-in has no processReplacing; using process\n");
        accumulate = true;
    }

    std::string note;
    AudioFormat outFormat = inFormat;
    outFormat.format =
        chooseOutputFormat(inFormat.format, request.outputPath, request.container, request.sampleType, note);
    if (!note.empty()) std::fprintf(stderr, "klv-render: %s\n", note.c_str());

    session.open(config.sampleRate, request.blockSize);
    if (!request.program.empty()) session.selectProgram(request.program);
    for (const auto& s : request.settings) session.setParameter(session.findParameter(s.key), s.value);

    RenderSummary summary;
    summary.pluginName = hostkit::getString(session.instance(), effGetEffectName);
    if (summary.pluginName.empty()) summary.pluginName = request.pluginPath;
    const int program = session.currentProgram();
    summary.programText = effect.numPrograms > 0 ? std::to_string(program) + " \"" + session.programName(program) + "\""
                                                 : std::string("none");
    summary.callName = accumulate ? "process" : "processReplacing";
    summary.blockSize = request.blockSize;
    summary.inputPath = request.inputPath;
    summary.outputPath = request.outputPath;
    summary.inputFormat = describeFormat(inFormat.format);
    summary.outputFormat = describeFormat(outFormat.format);
    summary.sampleRate = inFormat.sampleRate;
    summary.input = LevelStats(channels);
    summary.output = LevelStats(channels);

    AudioWriter writer(request.outputPath, outFormat);
    BlockBuffers buffers(channels, effect.numInputs, effect.numOutputs, request.blockSize);
    const bool clips = integerFormat(outFormat.format);
    ProgressBar progress(reader.frames(), inFormat.sampleRate, request.progress);

    const auto start = std::chrono::steady_clock::now();
    session.resume();
    std::int64_t done = 0;
    for (;;) {
        if (stopRequested) {
            progress.finish();
            throw RenderError(kExitInterrupted, "interrupted; " + request.outputPath + " not written");
        }
        const int frames = reader.read(buffers.interleaved(), request.blockSize);
        if (frames == 0) break;
        summary.input.add(buffers.interleaved(), frames);
        buffers.deinterleave(frames);
        if (accumulate) buffers.clearOutputs();
        session.processBlock(buffers.inputs(), buffers.outputs(), frames, accumulate);
        summary.invalidSamples += buffers.interleave(frames);
        summary.output.add(buffers.interleaved(), frames);
        if (clips)
            summary.clippedSamples +=
                countOverFullScale(buffers.interleaved(), static_cast<std::size_t>(frames) * channels);
        writer.write(buffers.interleaved(), frames);
        done += frames;
        progress.update(done);
    }
    session.suspend();
    summary.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.finish();
    writer.commit();
    return summary;
}

}  // namespace klv::render
