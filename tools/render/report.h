// What the renderer tells the user: level statistics per channel, the
// progress bar on a terminal and the summaries after a run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace klv::render {

// Peak and RMS per channel of an interleaved stream.
class LevelStats {
public:
    explicit LevelStats(int channels = 0) : peak_(channels, 0.0), sumSquares_(channels, 0.0) {}
    void add(const float* interleaved, int frames);
    int channels() const { return static_cast<int>(peak_.size()); }
    std::int64_t frames() const { return frames_; }
    double peak(int channel) const { return peak_[channel]; }
    double rms(int channel) const;

private:
    std::vector<double> peak_;
    std::vector<double> sumSquares_;
    std::int64_t frames_ = 0;
};

// 20 log10(level), "-inf" for silence, one decimal.
std::string dbfsText(double level);

// A one-line bar on stderr, redrawn when the percentage changes; only on a
// terminal and only for runs long enough to watch.
class ProgressBar {
public:
    ProgressBar(std::int64_t totalFrames, int sampleRate, bool wanted);
    void update(std::int64_t doneFrames);
    void finish();

private:
    std::int64_t total_;
    bool enabled_;
    int shown_ = -1;
};

struct RenderSummary {
    std::string pluginName;
    std::string programText;  // e.g. 7 "vocal1"
    std::string callName;     // "processReplacing" or "process"
    int blockSize = 0;
    std::string inputPath, outputPath;
    std::string inputFormat, outputFormat;
    int sampleRate = 0;
    LevelStats input, output;
    std::int64_t clippedSamples = 0;  // beyond full scale in an integer format
    std::int64_t invalidSamples = 0;  // NaN or infinite output, written as 0
    double elapsedSeconds = 0.0;
};

void printSummary(std::FILE* out, const RenderSummary& summary);

// Length as m:ss.mmm.
std::string durationText(std::int64_t frames, int sampleRate);
// Audio length over wall time, e.g. "215.3x".
std::string speedText(std::int64_t frames, int sampleRate, double elapsedSeconds);

}  // namespace klv::render
