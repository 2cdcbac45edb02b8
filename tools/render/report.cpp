#include "tools/render/report.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "tools/render/sample_scan.h"

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

inline void accumulate(float x, float& peak, double& sumSquares) {
    if (!std::isfinite(x)) return;
    peak = std::max(peak, std::fabs(x));
    sumSquares += static_cast<double>(x) * x;
}

std::string loudnessRow(const char* label, const LoudnessFigures& f) {
    char text[128];
    std::snprintf(text, sizeof text, "%-9s%7s LUFS %7s LU %7s dBTP\n", label, decibelText(f.integratedLufs).c_str(),
                  decibelText(f.rangeLu).c_str(), decibelText(f.truePeakDbtp).c_str());
    return text;
}

}  // namespace

void LevelStats::add(const float* interleaved, int frames) {
    const int n = channels();
    frames_ += frames;
    if (addLevelsFast(interleaved, static_cast<std::size_t>(frames) * n, n, peak_.data(), sumSquares_.data())) return;
    // Other channel counts, and stretches with a damaged sample: four
    // running sums per channel keep the additions from waiting on one
    // another.
    for (int c = 0; c < n; ++c) {
        const float* x = interleaved + c;
        float peak[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        double sum[4] = {0.0, 0.0, 0.0, 0.0};
        int f = 0;
        for (; f + 4 <= frames; f += 4)
            for (int k = 0; k < 4; ++k) accumulate(x[(f + k) * n], peak[k], sum[k]);
        for (; f < frames; ++f) accumulate(x[f * n], peak[0], sum[0]);
        const double blockPeak = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
        peak_[c] = std::max(peak_[c], blockPeak);
        sumSquares_[c] += (sum[0] + sum[1]) + (sum[2] + sum[3]);
    }
}

double LevelStats::rms(int channel) const {
    return frames_ > 0 ? std::sqrt(sumSquares_[channel] / static_cast<double>(frames_)) : 0.0;
}

double LevelStats::highestPeak() const {
    double p = 0.0;
    for (double x : peak_) p = std::max(p, x);
    return p;
}

double LevelStats::highestRms() const {
    double r = 0.0;
    for (int c = 0; c < channels(); ++c) r = std::max(r, rms(c));
    return r;
}

std::string dbfsText(double level) {
    if (!(level > 0.0)) return "-inf";
    return format("%.1f", 20.0 * std::log10(level));
}

std::string decibelText(double db) {
    if (!std::isfinite(db)) return db > 0 ? "inf" : "-inf";
    return format("%.1f", db);
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

std::string programText(const StageSummary& stage) {
    if (stage.program < 0) return "none";
    return std::to_string(stage.program) + " \"" + stage.programName + "\"";
}

ProgressBar::ProgressBar(std::int64_t totalFrames, double totalSeconds, bool wanted)
    : total_(totalFrames),
      enabled_(wanted && totalFrames > 0 && ::isatty(STDERR_FILENO) && totalSeconds >= kProgressMinSeconds) {}

void ProgressBar::update(std::int64_t doneFrames, const std::string& suffix) {
    if (!enabled_) return;
    const int percent = static_cast<int>(100 * std::min(doneFrames, total_) / total_);
    if (percent == shown_ && suffix == suffix_) return;
    shown_ = percent;
    suffix_ = suffix;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%%s%s", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), percent, suffix.empty() ? "" : "  ", suffix.c_str());
    std::fflush(stderr);
}

void ProgressBar::clear() {
    if (!enabled_ || shown_ < 0) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 10 + static_cast<int>(suffix_.size()), "");
    std::fflush(stderr);
    shown_ = -1;
}

void printSummary(std::FILE* out, const RenderSummary& s) {
    for (const StageSummary& stage : s.chain)
        std::fprintf(out, "plug-in  %s, program %s, %s, block %d\n", stage.name.c_str(), programText(stage).c_str(),
                     stage.callName.c_str(), s.blockSize);
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
    if (s.inputLoudness.measured || s.outputLoudness.measured) {
        std::fprintf(out, "%-9s%12s%11s%13s\n", "loudness", "integrated", "range", "true peak");
        std::fputs(loudnessRow("in", s.inputLoudness).c_str(), out);
        std::fputs(loudnessRow("out", s.outputLoudness).c_str(), out);
    }
    if (s.clippedSamples > 0)
        std::fprintf(out, "clipped  %lld samples beyond full scale\n", static_cast<long long>(s.clippedSamples));
    if (s.invalidSamples > 0)
        std::fprintf(out, "invalid  %lld NaN or infinite samples written as 0\n",
                     static_cast<long long>(s.invalidSamples));
    if (s.delayFrames == 0)
        std::fprintf(out, "delay    none reported\n");
    else
        std::fprintf(out, "delay    %lld frames (%s ms), %s\n", static_cast<long long>(s.delayFrames),
                     format("%.1f", 1000.0 * static_cast<double>(s.delayFrames) / s.sampleRate).c_str(),
                     s.compensated ? "compensated" : "not compensated (--no-compensate)");
    std::fprintf(out, "speed    %s real time (%.3f s)\n",
                 speedText(s.output.frames(), s.sampleRate, s.elapsedSeconds).c_str(), s.elapsedSeconds);
}

const char* statusText(FileOutcome::Status status) {
    switch (status) {
        case FileOutcome::Status::kDone:
            return "done";
        case FileOutcome::Status::kFailed:
            return "failed";
        case FileOutcome::Status::kInterrupted:
            return "interrupted";
        case FileOutcome::Status::kNotStarted:
            break;
    }
    return "not started";
}

void printBatchTable(std::FILE* out, const std::vector<FileOutcome>& files, bool loudness, double wallSeconds) {
    std::fprintf(out, "%9s %8s %8s %8s", "length", "in peak", "out peak", "out RMS");
    if (loudness) std::fprintf(out, " %8s %8s %7s %8s", "in LUFS", "out LUFS", "out LRA", "out dBTP");
    std::fprintf(out, " %9s  %-11s %s\n", "speed", "status", "file");
    double audioSeconds = 0.0;
    int done = 0;
    for (const FileOutcome& f : files) {
        const RenderSummary& s = f.summary;
        const bool ok = f.status == FileOutcome::Status::kDone;
        const auto cell = [ok](const std::string& text) { return ok ? text : std::string("-"); };
        std::fprintf(out, "%9s %8s %8s %8s", cell(durationText(s.input.frames(), s.sampleRate)).c_str(),
                     cell(dbfsText(s.input.highestPeak())).c_str(), cell(dbfsText(s.output.highestPeak())).c_str(),
                     cell(dbfsText(s.output.highestRms())).c_str());
        if (loudness)
            std::fprintf(out, " %8s %8s %7s %8s", cell(decibelText(s.inputLoudness.integratedLufs)).c_str(),
                         cell(decibelText(s.outputLoudness.integratedLufs)).c_str(),
                         cell(decibelText(s.outputLoudness.rangeLu)).c_str(),
                         cell(decibelText(s.outputLoudness.truePeakDbtp)).c_str());
        const std::string file = ok ? f.inputPath + " -> " + f.outputPath : f.inputPath;
        std::fprintf(out, " %9s  %-11s %s\n",
                     cell(speedText(s.output.frames(), s.sampleRate, s.elapsedSeconds)).c_str(), statusText(f.status),
                     file.c_str());
        if (ok) {
            ++done;
            audioSeconds += static_cast<double>(s.input.frames()) / s.sampleRate;
        }
    }
    const int failed = static_cast<int>(files.size()) - done;
    std::fprintf(out, "%zu files: %d done, %d not done; %.1f s of audio in %.3f s (%s real time)\n", files.size(), done,
                 failed, audioSeconds, wallSeconds,
                 wallSeconds > 0.0 && audioSeconds > 0.0 ? format("%.1fx", audioSeconds / wallSeconds).c_str() : "-");
}

}  // namespace klv::render
