#include "tools/render/report.h"

#include <unistd.h>

#include <cmath>

namespace klv::render {

namespace {

// Runs shorter than this many seconds of audio finish before a bar helps.
constexpr double kProgressMinSeconds = 10.0;
constexpr int kBarWidth = 40;

std::string format(const char* pattern, double a) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a);
    return text;
}

}  // namespace

void LevelStats::add(const float* interleaved, int frames) {
    const int n = channels();
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < n; ++c) {
            const double x = interleaved[f * n + c];
            if (!std::isfinite(x)) continue;  // a damaged input sample says nothing about the level
            const double a = std::fabs(x);
            if (a > peak_[c]) peak_[c] = a;
            sumSquares_[c] += x * x;
        }
    }
    frames_ += frames;
}

double LevelStats::rms(int channel) const {
    return frames_ > 0 ? std::sqrt(sumSquares_[channel] / static_cast<double>(frames_)) : 0.0;
}

std::string dbfsText(double level) {
    if (!(level > 0.0)) return "-inf";
    return format("%.1f", 20.0 * std::log10(level));
}

std::string durationText(std::int64_t frames, int sampleRate) {
    if (sampleRate <= 0) return "?";
    const double seconds = static_cast<double>(frames) / sampleRate;
    const int minutes = static_cast<int>(seconds / 60.0);
    char text[64];
    std::snprintf(text, sizeof text, "%d:%06.3f", minutes, seconds - 60.0 * minutes);
    return text;
}

std::string speedText(std::int64_t frames, int sampleRate, double elapsedSeconds) {
    if (sampleRate <= 0 || frames == 0) return "-";
    if (elapsedSeconds <= 0.0) return "fast";
    return format("%.1fx", static_cast<double>(frames) / sampleRate / elapsedSeconds);
}

ProgressBar::ProgressBar(std::int64_t totalFrames, int sampleRate, bool wanted)
    : total_(totalFrames),
      enabled_(wanted && totalFrames > 0 && ::isatty(STDERR_FILENO) &&
               static_cast<double>(totalFrames) >= kProgressMinSeconds * sampleRate) {}

void ProgressBar::update(std::int64_t doneFrames) {
    if (!enabled_) return;
    const int percent = static_cast<int>(100 * doneFrames / total_);
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), percent);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!enabled_ || shown_ < 0) return;
    // Clear the bar so the summary starts on a clean line.
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 8, "");
    std::fflush(stderr);
}

void printSummary(std::FILE* out, const RenderSummary& s) {
    std::fprintf(out, "plug-in  %s, program %s, %s, block %d\n", s.pluginName.c_str(), s.programText.c_str(),
                 s.callName.c_str(), s.blockSize);
    std::fprintf(out, "input    %s: %s, %d ch, %d Hz, %s (%lld frames)\n", s.inputPath.c_str(), s.inputFormat.c_str(),
                 s.input.channels(), s.sampleRate, durationText(s.input.frames(), s.sampleRate).c_str(),
                 static_cast<long long>(s.input.frames()));
    std::fprintf(out, "output   %s: %s, %d ch, %d Hz, %s (%lld frames)\n", s.outputPath.c_str(), s.outputFormat.c_str(),
                 s.output.channels(), s.sampleRate, durationText(s.output.frames(), s.sampleRate).c_str(),
                 static_cast<long long>(s.output.frames()));
    std::fprintf(out, "channel   in peak    in RMS  out peak   out RMS  (dBFS)\n");
    for (int c = 0; c < s.output.channels(); ++c)
        std::fprintf(out, "%7d %9s %9s %9s %9s\n", c + 1, dbfsText(s.input.peak(c)).c_str(),
                     dbfsText(s.input.rms(c)).c_str(), dbfsText(s.output.peak(c)).c_str(),
                     dbfsText(s.output.rms(c)).c_str());
    if (s.clippedSamples > 0)
        std::fprintf(out, "clipped  %lld samples beyond full scale\n", static_cast<long long>(s.clippedSamples));
    if (s.invalidSamples > 0)
        std::fprintf(out, "invalid  %lld NaN or infinite samples written as 0\n",
                     static_cast<long long>(s.invalidSamples));
    std::fprintf(out, "speed    %s real time (%.3f s)\n",
                 speedText(s.output.frames(), s.sampleRate, s.elapsedSeconds).c_str(), s.elapsedSeconds);
}

}  // namespace klv::render
