#include "gui/drop_target.h"

#include <cstring>
#include <new>

namespace klv::gui {

std::uint32_t dropEffectFor(bool accepting, std::uint32_t keyState) {
    if (!accepting) return kDropEffectNone;
    return (keyState & kDropKeyControl) != 0 ? kDropEffectCopy : kDropEffectMove;
}

bool isShortcutName(const char* name) {
    static const char kExtension[] = ".lnk";
    constexpr std::size_t kLength = sizeof kExtension - 1;
    if (!name) return false;
    const std::size_t length = std::strlen(name);
    if (length < kLength) return false;
    const char* tail = name + length - kLength;
    for (std::size_t i = 0; i < kLength; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

DroppedNames::DroppedNames(long capacity) {
    if (capacity <= 0) return;
    names_ = new (std::nothrow) char*[static_cast<std::size_t>(capacity)];
    if (names_) capacity_ = capacity;
}

DroppedNames::~DroppedNames() {
    for (long i = 0; i < count_; ++i) delete[] names_[i];
    delete[] names_;
}

bool DroppedNames::add(const char* source, std::size_t sourceSize) {
    if (!source || count_ >= capacity_) return false;
    const void* end = std::memchr(source, 0, sourceSize);
    const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - source) : sourceSize;
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return false;
    std::memcpy(copy, source, length);
    copy[length] = '\0';
    names_[count_++] = copy;
    return true;
}

}  // namespace klv::gui
