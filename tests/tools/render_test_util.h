// Helpers for the end-to-end tests of klv-render: running the binary,
// temporary folders, and audio files read and written with libsndfile
// directly (not through the renderer's own file code).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace klv::test {

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs klv-render with `args`; `prefix` goes before the command in the shell
// (e.g. "cd DIR &&" or "KLV_PROBE_LOG=FILE").
RunResult runRender(const std::vector<std::string>& args, const std::string& prefix = "");

std::string shellQuote(const std::string& s);

// A parsed JSON value, enough for reading klv-render's report.
struct Json {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;
    const Json& operator[](const std::string& key) const;
    const Json& operator[](std::size_t index) const { return items.at(index); }
};

// Throws std::runtime_error on anything that is not one JSON value.
Json parseJson(const std::string& text);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Every entry, hidden ones included, sorted; of a subfolder if given.
    std::vector<std::string> entries(const std::string& sub = "") const;

private:
    std::string path_;
};

struct Audio {
    int sampleRate = 44100;
    int channels = 1;
    int format = 0;              // libsndfile format
    std::vector<float> samples;  // interleaved
    long frames() const { return channels ? static_cast<long>(samples.size()) / channels : 0; }
};

void writeAudio(const std::string& path, const Audio& audio);
Audio readAudio(const std::string& path);
bool fileExists(const std::string& path);
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// A deterministic test signal: a different sine per channel plus noise,
// peaking below 0.5.
std::vector<float> testSignal(long frames, int channels, int sampleRate);

// Writes testSignal(frames, channels, sampleRate) to path in format and
// answers it.
Audio writeTestFile(const std::string& path, int channels, int format, long frames, int sampleRate = 44100);

// amplitude * sin(2 pi hz n / rate + phase) in every channel.
Audio sineFile(const std::string& path, int channels, int format, long frames, int sampleRate, double hz,
               double amplitude, double phase = 0.0);

// The built KLV plug-in library by short name, or empty when not built.
std::string builtPlugin(const std::string& shortName);

}  // namespace klv::test
