// What the renderer tells the user: level statistics per channel, the
// progress bar on a terminal and the summaries after a run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/render/loudness.h"

namespace klv::render {

// Peak and RMS per channel of an interleaved stream; non-finite samples are
// left out (they say nothing about the level).
class LevelStats {
public:
    explicit LevelStats(int channels = 0) : peak_(channels, 0.0), sumSquares_(channels, 0.0) {}
    void add(const float* interleaved, int frames);
    int channels() const { return static_cast<int>(peak_.size()); }
    std::int64_t frames() const { return frames_; }
    double peak(int channel) const { return peak_[channel]; }
    double rms(int channel) const;
    double highestPeak() const;
    double highestRms() const;

private:
    std::vector<double> peak_;
    std::vector<double> sumSquares_;
    std::int64_t frames_ = 0;
};

// 20 log10(level), "-inf" for silence, one decimal.
std::string dbfsText(double level);
// A figure already in dB (LUFS, LU, dBTP), one decimal; "-inf" below any.
std::string decibelText(double db);

// A one-line bar on stderr for a whole run, redrawn when the percentage
// changes; only on a terminal and only for runs long enough to watch.
class ProgressBar {
public:
    ProgressBar(std::int64_t totalFrames, double totalSeconds, bool wanted);
    // `suffix` follows the percentage, e.g. "3/20 files".
    void update(std::int64_t doneFrames, const std::string& suffix = std::string());
    // Clears the bar, so that a message or the summary starts on a clean line.
    void clear();

private:
    std::int64_t total_;
    bool enabled_;
    int shown_ = -1;
    std::string suffix_;
};

// One plug-in of the chain as it was set up for a file.
struct StageSummary {
    std::string path;
    std::string name;  // the plug-in's own, else its path
    int program = -1;  // -1: the plug-in has no programs
    std::string programName;
    std::string callName;  // "processReplacing" or "process"
    int delayFrames = 0;   // its initialDelay
};

struct RenderSummary {
    std::vector<StageSummary> chain;
    int blockSize = 0;
    std::int64_t delayFrames = 0;  // the whole chain's
    bool compensated = true;
    std::string inputPath, outputPath;
    std::string inputFormat, outputFormat;
    int sampleRate = 0;
    LevelStats input, output;
    LoudnessFigures inputLoudness, outputLoudness;
    std::int64_t clippedSamples = 0;  // beyond full scale in an integer format
    std::int64_t invalidSamples = 0;  // NaN or infinite output, written as 0
    double elapsedSeconds = 0.0;      // from the first block to the committed file
};

// 7 "vocal1", or none.
std::string programText(const StageSummary& stage);

// The detailed summary of one file.
void printSummary(std::FILE* out, const RenderSummary& summary);

// What became of one file of a run.
struct FileOutcome {
    enum class Status { kNotStarted, kDone, kFailed, kInterrupted };
    std::string inputPath, outputPath;
    Status status = Status::kNotStarted;
    int exitCode = 0;
    std::string message;    // why it failed
    RenderSummary summary;  // complete only when done
};

const char* statusText(FileOutcome::Status status);

// One row per file and a closing line with the run's totals.
void printBatchTable(std::FILE* out, const std::vector<FileOutcome>& files, bool loudness, double wallSeconds);

// Length as m:ss.mmm.
std::string durationText(std::int64_t frames, int sampleRate);
// Audio length over wall time, e.g. "215.3x".
std::string speedText(std::int64_t frames, int sampleRate, double elapsedSeconds);

}  // namespace klv::render
