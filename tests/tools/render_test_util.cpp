#include "tests/tools/render_test_util.h"

#include <dirent.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
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

namespace {

// Reads one JSON value from text[at...]; enough for klv-render's report
// (no escapes beyond \" and \\, which its paths would need).
Json parseValue(const std::string& text, std::size_t& at) {
    const auto skip = [&] {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    };
    const auto fail = [&](const char* what) {
        throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(at));
    };
    const auto string = [&] {
        std::string out;
        for (++at; at < text.size() && text[at] != '"'; ++at) out += text[at] == '\\' ? text[++at] : text[at];
        if (at++ >= text.size()) fail("unterminated string");
        return out;
    };
    // Items of an array or object up to `close`, each read by `item`.
    const auto items = [&](char close, auto item) {
        ++at;
        skip();
        if (at < text.size() && text[at] == close) return void(++at);
        for (;;) {
            item();
            skip();
            if (at < text.size() && text[at] == ',') {
                ++at;
                continue;
            }
            if (at >= text.size() || text[at] != close) fail("expected , or a closing bracket");
            return void(++at);
        }
    };
    skip();
    Json v;
    if (at >= text.size()) fail("no value");
    if (text[at] == '{') {
        v.kind = Json::Kind::kObject;
        items('}', [&] {
            skip();
            if (at >= text.size() || text[at] != '"') fail("expected a key");
            const std::string key = string();
            skip();
            if (at >= text.size() || text[at++] != ':') fail("expected :");
            v.fields[key] = parseValue(text, at);
        });
    } else if (text[at] == '[') {
        v.kind = Json::Kind::kArray;
        items(']', [&] { v.items.push_back(parseValue(text, at)); });
    } else if (text[at] == '"') {
        v.kind = Json::Kind::kString;
        v.text = string();
    } else if (text.compare(at, 4, "null") == 0) {
        at += 4;
    } else if (text.compare(at, 4, "true") == 0 || text.compare(at, 5, "false") == 0) {
        v.kind = Json::Kind::kBool;
        v.boolean = text[at] == 't';
        at += v.boolean ? 4 : 5;
    } else {
        char* end = nullptr;
        v.kind = Json::Kind::kNumber;
        v.number = std::strtod(text.c_str() + at, &end);
        if (end == text.c_str() + at) fail("not a value");
        at = static_cast<std::size_t>(end - text.c_str());
    }
    return v;
}

}  // namespace

const Json& Json::operator[](const std::string& key) const {
    const auto it = fields.find(key);
    if (it == fields.end()) throw std::runtime_error("JSON: no field " + key);
    return it->second;
}

Json parseJson(const std::string& text) {
    std::size_t at = 0;
    Json v = parseValue(text, at);
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at != text.size()) throw std::runtime_error("JSON: text after the value");
    return v;
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

std::vector<std::string> TempDir::entries(const std::string& sub) const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir((sub.empty() ? path_ : path_ + "/" + sub).c_str())) {
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

Audio sineFile(const std::string& path, int channels, int format, long frames, int sampleRate, double hz,
               double amplitude, double phase) {
    Audio audio;
    audio.sampleRate = sampleRate;
    audio.channels = channels;
    audio.format = format;
    for (long n = 0; n < frames; ++n) {
        const float x = static_cast<float>(amplitude * std::sin(6.283185307179586 * hz * n / sampleRate + phase));
        audio.samples.insert(audio.samples.end(), static_cast<std::size_t>(channels), x);
    }
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
