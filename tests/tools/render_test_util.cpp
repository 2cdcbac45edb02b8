#include "tests/tools/render_test_util.h"

#include <dirent.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace klv::test {

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

RunResult runRender(const std::vector<std::string>& args, const std::string& prefix) {
    TempDir capture;
    std::string command = prefix + " " + shellQuote(KLV_RENDER_EXE);
    for (const auto& a : args) command += " " + shellQuote(a);
    command += " >" + shellQuote(capture / "out") + " 2>" + shellQuote(capture / "err") + " </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readText(capture / "out");
    result.err = readText(capture / "err");
    return result;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/klv-render-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
    path_ = name.data();
}

TempDir::~TempDir() {
    // chmod first: a test may have left an unreadable file behind.
    std::system(("chmod -R u+rwx " + shellQuote(path_) + " && rm -rf " + shellQuote(path_)).c_str());
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path_.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeAudio(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = audio.channels;
    info.format = audio.format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) throw std::runtime_error("cannot write test file " + path + ": " + sf_strerror(nullptr));
    sf_writef_float(f, audio.samples.data(), audio.frames());
    sf_close(f);
}

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    Audio audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(f, audio.samples.data(), info.frames);
    sf_close(f);
    return audio;
}

std::vector<float> testSignal(long frames, int channels, int sampleRate) {
    std::vector<float> s(static_cast<std::size_t>(frames) * channels);
    std::uint32_t noise = 12345u;
    const double twoPi = 6.283185307179586;
    for (long n = 0; n < frames; ++n) {
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double white = static_cast<double>(noise >> 8) / 16777216.0 - 0.5;
            const double hz = 220.0 * (c + 1) + 3.0 * c;
            // A level step in the middle, so a compressor has work to do.
            const double level = n < frames / 2 ? 0.1 : 0.4;
            s[n * channels + c] = static_cast<float>(level * std::sin(twoPi * hz * n / sampleRate) + 0.05 * white);
        }
    }
    return s;
}

Audio writeTestFile(const std::string& path, int channels, int format, long frames, int sampleRate) {
    Audio audio;
    audio.sampleRate = sampleRate;
    audio.channels = channels;
    audio.format = format;
    audio.samples = testSignal(frames, channels, sampleRate);
    writeAudio(path, audio);
    return audio;
}

std::string builtPlugin(const std::string& shortName) {
    std::string file;
    if (shortName == "clampora") file = "KLV_Clampora.so";
    if (shortName == "clampora-mono") file = "KLV_Clampora_mono.so";
    if (shortName == "tonvela") file = "KLV_Tonvela.so";
    if (shortName == "tonvela-mono") file = "KLV_Tonvela_mono.so";
    const std::string path = std::string(KLV_PLUGIN_DIR) + "/" + file;
    return !file.empty() && fileExists(path) ? path : std::string();
}

}  // namespace klv::test
