// Audio files through libsndfile: WAV, AIFF and FLAC with 16/24/32-bit
// integer or 32-bit float samples, read and written as interleaved floats.
// The writer works on a temporary file next to the target and renames it
// only on commit, so a failed or interrupted run never leaves a partial file.
// libsndfile reaches the disk through our own buffered file: left to itself
// it makes one system call per few kilobytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sf_private_tag;

namespace klv::render {

struct AudioFormat {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;  // libsndfile container | sample type
};

// "WAV 24-bit", "FLAC 16-bit", "AIFF float".
std::string describeFormat(int format);

// The output format: container from `container` ("wav", "aiff", "flac"),
// else from the output's extension, else the input's; sample type from
// `sampleType` ("16", "24", "32", "float"), else the input's where the
// container can hold it (FLAC cannot hold 32-bit or float: 24-bit then).
// Throws RenderError(kExitUsage) for an explicit combination that cannot be.
int chooseOutputFormat(int inputFormat, const std::string& outputPath, const std::string& container,
                       const std::string& sampleType, std::string& note);

// The usual extension of a libsndfile container: "wav", "aiff", "flac".
std::string containerExtension(int format);

class BufferedFile;

class AudioReader {
public:
    // Throws RenderError(kExitInput) with the reason in words.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    const AudioFormat& format() const { return format_; }
    std::int64_t frames() const { return frames_; }
    // Reads up to `frames` interleaved frames; answers how many were read
    // (fewer only at the end). Throws on a read error.
    int read(float* interleaved, int frames);

private:
    std::string path_;
    std::unique_ptr<BufferedFile> io_;
    sf_private_tag* file_ = nullptr;
    AudioFormat format_;
    std::int64_t frames_ = 0;
};

class AudioWriter {
public:
    // Creates the temporary file; throws RenderError(kExitOutput). Commit
    // replaces an existing file at `path` only if `replace`.
    AudioWriter(const std::string& path, const AudioFormat& format, bool replace);
    // Removes the temporary file unless committed.
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // Samples beyond full scale are clipped in integer formats. Throws
    // RenderError(kExitOutput) (full disk, file size limit).
    void write(const float* interleaved, int frames);
    // Finishes the file, flushes it to the disk and moves it to its name;
    // throws on failure.
    void commit();
    const std::string& temporaryPath() const { return tempPath_; }

private:
    [[noreturn]] void fail(const std::string& why);
    void discard() noexcept;

    std::string path_;
    std::string tempPath_;
    bool replace_;
    std::unique_ptr<BufferedFile> io_;
    sf_private_tag* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace klv::render
