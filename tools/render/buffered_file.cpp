#include "tools/render/buffered_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace klv::render {

namespace {

// Large enough that system calls cost nothing next to the samples, small
// enough to stay in the cache while libsndfile converts them.
constexpr std::int64_t kBufferBytes = 512 * 1024;

}  // namespace

BufferedFile::BufferedFile(int fd, Mode mode) : fd_(fd), mode_(mode), buffer_(kBufferBytes) {
    if (mode == Mode::kRead) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

BufferedFile::~BufferedFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::int64_t BufferedFile::size() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        if (!error_) error_ = errno;
        return -1;
    }
    const std::int64_t buffered = mode_ == Mode::kWrite && bufferLength_ > 0 ? bufferStart_ + bufferLength_ : 0;
    return std::max<std::int64_t>(st.st_size, buffered);
}

std::int64_t BufferedFile::seek(std::int64_t offset, int whence) {
    std::int64_t base = 0;
    if (whence == SEEK_CUR) base = pos_;
    if (whence == SEEK_END) base = size();
    if (base < 0 || base + offset < 0) return -1;
    pos_ = base + offset;
    return pos_;
}

std::int64_t BufferedFile::read(void* data, std::int64_t count) {
    if (mode_ == Mode::kWrite && !flush()) return 0;
    char* out = static_cast<char*>(data);
    std::int64_t done = 0;
    while (done < count) {
        if (mode_ == Mode::kRead && pos_ >= bufferStart_ && pos_ < bufferStart_ + bufferLength_) {
            const std::int64_t n = std::min(count - done, bufferStart_ + bufferLength_ - pos_);
            std::memcpy(out + done, buffer_.data() + (pos_ - bufferStart_), static_cast<std::size_t>(n));
            done += n;
            pos_ += n;
            continue;
        }
        // Large reads and reads of a writer go straight to the caller.
        const bool direct = mode_ == Mode::kWrite || count - done >= static_cast<std::int64_t>(buffer_.size());
        char* target = direct ? out + done : buffer_.data();
        const std::size_t want = direct ? static_cast<std::size_t>(count - done) : buffer_.size();
        const ssize_t got = ::pread(fd_, target, want, pos_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (!error_) error_ = errno;
            break;
        }
        if (got == 0) break;
        if (direct) {
            done += got;
            pos_ += got;
        } else {
            bufferStart_ = pos_;
            bufferLength_ = got;
        }
    }
    return done;
}

std::int64_t BufferedFile::write(const void* data, std::int64_t count) {
    if (error_) return 0;
    // The buffer holds one contiguous stretch; a write elsewhere (the
    // library going back to a header) flushes it first.
    if (bufferLength_ > 0 && pos_ != bufferStart_ + bufferLength_ && !flush()) return 0;
    if (bufferLength_ == 0) bufferStart_ = pos_;
    const char* in = static_cast<const char*>(data);
    std::int64_t done = 0;
    while (done < count) {
        if (bufferLength_ == static_cast<std::int64_t>(buffer_.size())) {
            if (!flush()) return done;
            bufferStart_ = pos_;
        }
        const std::int64_t n = std::min(count - done, static_cast<std::int64_t>(buffer_.size()) - bufferLength_);
        std::memcpy(buffer_.data() + bufferLength_, in + done, static_cast<std::size_t>(n));
        bufferLength_ += n;
        done += n;
        pos_ += n;
    }
    return done;
}

bool BufferedFile::flush() {
    std::int64_t written = 0;
    while (written < bufferLength_) {
        const ssize_t n = ::pwrite(fd_, buffer_.data() + written, static_cast<std::size_t>(bufferLength_ - written),
                                   bufferStart_ + written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!error_) error_ = n < 0 ? errno : EIO;
            return false;
        }
        written += n;
    }
    // Start the disk on what was written, so that the sync on finishing
    // waits for the last stretch only, not the whole file.
    ::sync_file_range(fd_, bufferStart_, bufferLength_, SYNC_FILE_RANGE_WRITE);
    bufferStart_ += bufferLength_;
    bufferLength_ = 0;
    return error_ == 0;
}

bool BufferedFile::finish() {
    bool ok = mode_ == Mode::kRead || flush();
    // A full disk may only show when the file system allocates the blocks.
    if (ok && mode_ == Mode::kWrite && ::fsync(fd_) != 0) {
        if (!error_) error_ = errno;
        ok = false;
    }
    if (::close(fd_) != 0 && ok) {
        if (!error_) error_ = errno;
        ok = false;
    }
    fd_ = -1;
    return ok;
}

}  // namespace klv::render
