#include "tools/render/audio_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "tools/render/ascii_text.h"
#include "tools/render/buffered_file.h"
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

// libsndfile keeps the reason an open failed in one buffer for the whole
// process, so workers opening files at the same time take turns.
std::mutex openMutex;

sf_count_t ioSize(void* file) {
    return static_cast<BufferedFile*>(file)->size();
}
sf_count_t ioSeek(sf_count_t offset, int whence, void* file) {
    return static_cast<BufferedFile*>(file)->seek(offset, whence);
}
sf_count_t ioRead(void* data, sf_count_t count, void* file) {
    return static_cast<BufferedFile*>(file)->read(data, count);
}
sf_count_t ioWrite(const void* data, sf_count_t count, void* file) {
    return static_cast<BufferedFile*>(file)->write(data, count);
}
sf_count_t ioTell(void* file) {
    return static_cast<BufferedFile*>(file)->tell();
}
SF_VIRTUAL_IO virtualIo = {ioSize, ioSeek, ioRead, ioWrite, ioTell};

SNDFILE* openVirtual(BufferedFile& io, int mode, SF_INFO& info, std::string& why) {
    std::lock_guard<std::mutex> lock(openMutex);
    SNDFILE* file = sf_open_virtual(&virtualIo, mode, &info, &io);
    if (!file) why = io.error() ? std::strerror(io.error()) : sf_strerror(nullptr);
    return file;
}

// Renames, refusing to replace an existing file unless `replace`. Where the
// file system cannot rename without replacing, a hard link does the same
// (it fails on an existing name); false with errno set.
bool moveIntoPlace(const std::string& from, const std::string& to, bool replace) {
    if (replace) return std::rename(from.c_str(), to.c_str()) == 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    struct stat st {};
    if (::stat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
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

std::string containerExtension(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_AIFF:
            return "aiff";
        case SF_FORMAT_FLAC:
            return "flac";
        default:
            return "wav";
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw RenderError(kExitInput, "cannot read " + path + ": " + std::strerror(errno));
    io_ = std::make_unique<BufferedFile>(fd, BufferedFile::Mode::kRead);

    SF_INFO info{};
    std::string why;
    file_ = openVirtual(*io_, SFM_READ, info, why);
    if (!file_) throw RenderError(kExitInput, path + ": unsupported format or not an audio file (" + why + ")");
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
    if (io_->error() != 0) throw RenderError(kExitInput, "cannot read " + path_ + ": " + std::strerror(io_->error()));
    if (got < 0 || (got < frames && sf_error(file_) != SF_ERR_NO_ERROR))
        throw RenderError(kExitInput, "cannot read " + path_ + ": " + sf_strerror(file_));
    return static_cast<int>(got);
}

AudioWriter::AudioWriter(const std::string& path, const AudioFormat& format, bool replace)
    : path_(path), replace_(replace) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RenderError(kExitOutput, "cannot write " + path + ": it is a folder");

    // A hidden temporary name in the target's folder, so the final rename
    // stays on one file system and is atomic.
    std::string pattern = directoryOf(path) + "/." + baseName(path) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw RenderError(kExitOutput, "cannot write " + path + ": " + std::strerror(errno));
    tempPath_ = name.data();
    // mkstemp makes the file private; give it the permissions a plain
    // create would (0666 less the umask).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    io_ = std::make_unique<BufferedFile>(fd, BufferedFile::Mode::kWrite);

    SF_INFO info{};
    info.samplerate = format.sampleRate;
    info.channels = format.channels;
    info.format = format.format;
    std::string why;
    file_ = openVirtual(*io_, SFM_WRITE, info, why);
    if (!file_) fail(why);
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (!committed_) discard();
}

void AudioWriter::discard() noexcept {
    if (file_) sf_close(file_);
    file_ = nullptr;
    io_.reset();
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

void AudioWriter::fail(const std::string& why) {
    discard();
    throw RenderError(kExitOutput, "cannot write " + path_ + ": " + why);
}

void AudioWriter::write(const float* interleaved, int frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames)
        fail(io_->error() ? std::strerror(io_->error()) : sf_strerror(file_));
}

void AudioWriter::commit() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (io_->error()) fail(std::strerror(io_->error()));
    if (closed != 0) fail(sf_error_number(closed));
    if (!io_->finish()) fail(std::strerror(io_->error()));
    io_.reset();
    if (!moveIntoPlace(tempPath_, path_, replace_)) {
        const int why = errno;
        if (why == EEXIST) fail("it exists (add --force to replace it)");
        fail(std::strerror(why));
    }
    committed_ = true;
}

}  // namespace klv::render
