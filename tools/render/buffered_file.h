// A file descriptor behind a large buffer, for libsndfile's virtual I/O: the
// library reads and writes a few kilobytes at a time, which as system calls
// cost about as much as converting the samples. Reads are served from a
// buffer refilled with pread; writes collect in a buffer flushed with pwrite
// whenever it fills or the library seeks (to rewrite a header).
#pragma once

#include <cstdint>
#include <vector>

namespace klv::render {

class BufferedFile {
public:
    enum class Mode { kRead, kWrite };
    // Takes ownership of fd.
    BufferedFile(int fd, Mode mode);
    // Closes the descriptor without flushing: a writer that was not
    // finished is being thrown away.
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    std::int64_t size();
    std::int64_t seek(std::int64_t offset, int whence);
    std::int64_t tell() const { return pos_; }
    // Both answer the bytes moved; fewer on failure (see error()) or, for
    // read, at the end of the file.
    std::int64_t read(void* data, std::int64_t count);
    std::int64_t write(const void* data, std::int64_t count);

    // Writes what is buffered, then flushes the file to the disk and closes
    // it; false on failure (see error()).
    bool finish();
    // errno of the first failure, 0 if none.
    int error() const { return error_; }

private:
    bool flush();

    int fd_;
    Mode mode_;
    std::vector<char> buffer_;
    std::int64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::int64_t bufferLength_ = 0;
    std::int64_t pos_ = 0;
    int error_ = 0;
};

}  // namespace klv::render
