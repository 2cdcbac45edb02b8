#include "tools/render/audio_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/render/ascii_text.h"
#include "tools/render/render_error.h"

namespace klv::render {

namespace {

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return asciiLower(path.substr(dot + 1));
}

int containerOf(const std::string& name) {
    if (name == "wav") return SF_FORMAT_WAV;
    if (name == "aiff" || name == "aif" || name == "aifc") return SF_FORMAT_AIFF;
    if (name == "flac") return SF_FORMAT_FLAC;
    return 0;
}

int sampleTypeOf(const std::string& name) {
    if (name == "16") return SF_FORMAT_PCM_16;
    if (name == "24") return SF_FORMAT_PCM_24;
    if (name == "32") return SF_FORMAT_PCM_32;
    if (name == "float") return SF_FORMAT_FLOAT;
    return 0;
}

bool supportedContainer(int major) {
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_AIFF || major == SF_FORMAT_FLAC;
}

bool supportedSampleType(int subtype) {
    return subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_32 ||
           subtype == SF_FORMAT_FLOAT;
}

bool formatValid(int format, int channels) {
    SF_INFO probe{};
    probe.samplerate = 44100;
    probe.channels = channels;
    probe.format = format;
    return sf_format_check(&probe) != 0;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string describeFormat(int format) {
    std::string text;
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
            text = "WAV";
            break;
        case SF_FORMAT_AIFF:
            text = "AIFF";
            break;
        case SF_FORMAT_FLAC:
            text = "FLAC";
            break;
        default:
            text = "other";
            break;
    }
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_16:
            return text + " 16-bit";
        case SF_FORMAT_PCM_24:
            return text + " 24-bit";
        case SF_FORMAT_PCM_32:
            return text + " 32-bit";
        case SF_FORMAT_FLOAT:
            return text + " float";
        default:
            return text + " (other samples)";
    }
}

int chooseOutputFormat(int inputFormat, const std::string& outputPath, const std::string& container,
                       const std::string& sampleType, std::string& note) {
    note.clear();
    int major = containerOf(container);
    if (major == 0) major = containerOf(lowerExtension(outputPath));
    if (major == 0) major = inputFormat & SF_FORMAT_TYPEMASK;
    // WAVEX is kept only when the input used it; otherwise plain WAV.
    if (major == SF_FORMAT_WAV && (inputFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX) major = SF_FORMAT_WAVEX;

    const int wanted = sampleTypeOf(sampleType);
    int subtype = wanted ? wanted : inputFormat & SF_FORMAT_SUBMASK;
    if (!formatValid(major | subtype, 1)) {
        if (wanted)
            throw RenderError(kExitUsage, describeFormat(major | subtype) + " is not a format libsndfile can write");
        note = describeFormat(major | subtype) + " cannot be written; using 24-bit";
        subtype = SF_FORMAT_PCM_24;
    }
    return major | subtype;
}

AudioReader::AudioReader(const std::string& path) : path_(path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw RenderError(kExitInput, "cannot read " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw RenderError(kExitInput, "cannot read " + path + ": it is a folder");
    if (::access(path.c_str(), R_OK) != 0)
        throw RenderError(kExitInput, "cannot read " + path + ": " + std::strerror(errno));

    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!file_)
        throw RenderError(kExitInput,
                          path + ": unsupported format or not an audio file (" + sf_strerror(nullptr) + ")");
    if (!supportedContainer(info.format & SF_FORMAT_TYPEMASK) ||
        !supportedSampleType(info.format & SF_FORMAT_SUBMASK)) {
        SF_FORMAT_INFO major{}, sub{};
        major.format = info.format & SF_FORMAT_TYPEMASK;
        sub.format = info.format & SF_FORMAT_SUBMASK;
        sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
        sf_command(nullptr, SFC_GET_FORMAT_INFO, &sub, sizeof sub);
        sf_close(file_);
        file_ = nullptr;
        throw RenderError(kExitInput, path + ": unsupported format " + std::string(major.name ? major.name : "?") +
                                          ", " + (sub.name ? sub.name : "?") +
                                          " (supported: WAV, AIFF, FLAC; 16/24/32-bit integer, 32-bit float)");
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file_);
        file_ = nullptr;
        throw RenderError(kExitInput, path + ": no channels or no sample rate");
    }
    format_.sampleRate = info.samplerate;
    format_.channels = info.channels;
    format_.format = info.format;
    frames_ = info.frames;
}

AudioReader::~AudioReader() {
    if (file_) sf_close(file_);
}

int AudioReader::read(float* interleaved, int frames) {
    const sf_count_t got = sf_readf_float(file_, interleaved, frames);
    if (got < 0 || (got < frames && sf_error(file_) != SF_ERR_NO_ERROR))
        throw RenderError(kExitInput, "cannot read " + path_ + ": " + sf_strerror(file_));
    return static_cast<int>(got);
}

AudioWriter::AudioWriter(const std::string& path, const AudioFormat& format) : path_(path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RenderError(kExitOutput, "cannot write " + path + ": it is a folder");

    // A hidden temporary name in the target's folder, so the final rename
    // stays on one file system and is atomic.
    std::string pattern = directoryOf(path) + "/." + baseName(path) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw RenderError(kExitOutput, "cannot write " + path + ": " + std::strerror(errno));
    tempPath_ = name.data();
    // mkstemp makes the file private; give it the permissions a plain
    // create would (0666 less the umask).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    SF_INFO info{};
    info.samplerate = format.sampleRate;
    info.channels = format.channels;
    info.format = format.format;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
        const std::string why = sf_strerror(nullptr);
        ::close(fd);
        ::unlink(tempPath_.c_str());
        throw RenderError(kExitOutput, "cannot write " + path + ": " + why);
    }
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (!committed_) discard();
}

void AudioWriter::discard() noexcept {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

void AudioWriter::write(const float* interleaved, int frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames) {
        const std::string why = sf_strerror(file_);
        discard();
        throw RenderError(kExitOutput, "cannot write " + path_ + ": " + why);
    }
}

void AudioWriter::commit() {
    sf_write_sync(file_);
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        discard();
        throw RenderError(kExitOutput, "cannot write " + path_ + ": " + sf_error_number(closed));
    }
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        discard();
        throw RenderError(kExitOutput, "cannot write " + path_ + ": " + why);
    }
    committed_ = true;
}

}  // namespace klv::render
