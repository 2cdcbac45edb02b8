#include "tools/render/json_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/render/paths.h"
#include "tools/render/render_error.h"

namespace klv::render {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The shortest text that reads back as the same double.
std::string number(double x) {
    if (!std::isfinite(x)) return "null";
    char text[32];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, x);
        if (std::strtod(text, nullptr) == x) break;
    }
    return text;
}

std::string decibels(double level) {
    return level > 0.0 ? number(20.0 * std::log10(level)) : "null";
}

// Objects are written as lists of "key": value pairs.
class Object {
public:
    Object& add(const std::string& key, const std::string& json) {
        fields_.push_back(quoted(key) + ": " + json);
        return *this;
    }
    std::string text(const std::string& indent) const {
        if (fields_.empty()) return "{}";
        std::string out = "{\n";
        for (std::size_t i = 0; i < fields_.size(); ++i)
            out += indent + "  " + fields_[i] + (i + 1 < fields_.size() ? ",\n" : "\n");
        return out + indent + "}";
    }

private:
    std::vector<std::string> fields_;
};

std::string levelsJson(const LevelStats& levels) {
    std::string peaks = "[", rms = "[";
    for (int c = 0; c < levels.channels(); ++c) {
        peaks += (c ? ", " : "") + decibels(levels.peak(c));
        rms += (c ? ", " : "") + decibels(levels.rms(c));
    }
    return "{\"peakDbfs\": " + peaks + "], \"rmsDbfs\": " + rms + "]}";
}

std::string loudnessJson(const LoudnessFigures& f) {
    return "{\"integratedLufs\": " + number(f.integratedLufs) + ", \"rangeLu\": " + number(f.rangeLu) +
           ", \"truePeakDbtp\": " + number(f.truePeakDbtp) + "}";
}

std::string chainJson(const std::vector<StageSummary>& chain, const std::string& indent) {
    std::string out = "[";
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const StageSummary& s = chain[i];
        Object stage;
        stage.add("plugin", quoted(s.path)).add("name", quoted(s.name));
        stage.add("program", s.program < 0 ? "null" : std::to_string(s.program));
        stage.add("programName", s.program < 0 ? "null" : quoted(s.programName));
        stage.add("call", quoted(s.callName)).add("delayFrames", std::to_string(s.delayFrames));
        out += (i ? ", " : "") + stage.text(indent);
    }
    return out + "]";
}

std::string fileJson(const FileOutcome& f, const std::string& indent) {
    Object o;
    o.add("input", quoted(f.inputPath)).add("output", quoted(f.outputPath));
    o.add("status", quoted(statusText(f.status))).add("exitStatus", std::to_string(f.exitCode));
    o.add("error", f.message.empty() ? "null" : quoted(f.message));
    if (f.status == FileOutcome::Status::kDone) {
        const RenderSummary& s = f.summary;
        const std::string inner = indent + "  ";
        o.add("chain", chainJson(s.chain, inner));
        o.add("blockSize", std::to_string(s.blockSize));
        o.add("delayFrames", std::to_string(s.delayFrames)).add("delayCompensated", s.compensated ? "true" : "false");
        o.add("inputFormat", quoted(s.inputFormat)).add("outputFormat", quoted(s.outputFormat));
        o.add("sampleRate", std::to_string(s.sampleRate)).add("channels", std::to_string(s.input.channels()));
        o.add("inputFrames", std::to_string(s.input.frames())).add("outputFrames", std::to_string(s.output.frames()));
        o.add("seconds", number(static_cast<double>(s.input.frames()) / s.sampleRate));
        o.add("levels", "{\"input\": " + levelsJson(s.input) + ", \"output\": " + levelsJson(s.output) + "}");
        if (s.inputLoudness.measured || s.outputLoudness.measured)
            o.add("loudness", "{\"input\": " + loudnessJson(s.inputLoudness) +
                                  ", \"output\": " + loudnessJson(s.outputLoudness) + "}");
        else
            o.add("loudness", "null");
        o.add("clippedSamples", std::to_string(s.clippedSamples));
        o.add("invalidSamples", std::to_string(s.invalidSamples));
        o.add("renderSeconds", number(s.elapsedSeconds));
        o.add("speed", s.elapsedSeconds > 0.0 && s.input.frames() > 0
                           ? number(static_cast<double>(s.output.frames()) / s.sampleRate / s.elapsedSeconds)
                           : "null");
    }
    return o.text(indent);
}

}  // namespace

std::string jsonReport(const std::vector<FileOutcome>& files, const RenderSettings& settings, int exitStatus,
                       double wallSeconds) {
    int done = 0;
    std::string list = "[";
    for (std::size_t i = 0; i < files.size(); ++i) {
        done += files[i].status == FileOutcome::Status::kDone;
        list += std::string(i ? ", " : "") + fileJson(files[i], "  ");
    }
    list += "]";
    Object report;
    report.add("files", list);
    report.add("done", std::to_string(done)).add("notDone", std::to_string(files.size() - done));
    report.add("exitStatus", std::to_string(exitStatus));
    report.add("loudnessMeasured", settings.loudness ? "true" : "false");
    report.add("wallSeconds", number(wallSeconds));
    return report.text("") + "\n";
}

void writeJsonReport(const std::string& path, const std::string& json) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string pattern = folder + "/." + fileName(path) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw RenderError(kExitOutput, "cannot write " + path + ": " + std::strerror(errno));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    std::size_t written = 0;
    int why = 0;
    while (written < json.size()) {
        const ssize_t n = ::write(fd, json.data() + written, json.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = n < 0 ? errno : EIO;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && !why) why = errno;
    if (!why && std::rename(name.data(), path.c_str()) != 0) why = errno;
    if (why) {
        ::unlink(name.data());
        throw RenderError(kExitOutput, "cannot write " + path + ": " + std::strerror(why));
    }
}

}  // namespace klv::render
