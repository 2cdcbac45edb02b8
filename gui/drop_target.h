// The platform-free decisions of the frame window's drop target: which
// effect a drag gets, which dropped names are shell shortcuts, and the list
// of dropped names handed to the frame. The OLE object itself lives in
// gui/win32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace klv::gui {

// Drop effects and the key-state bit, with the values the OLE drag-and-drop
// protocol gives them.
enum DropEffect : std::uint32_t { kDropEffectNone = 0, kDropEffectCopy = 1, kDropEffectMove = 2 };
constexpr std::uint32_t kDropKeyControl = 0x0008;

// None when the drag is not accepted; copy when Control is held; move
// otherwise.
std::uint32_t dropEffectFor(bool accepting, std::uint32_t keyState);

// True when name ends with ".lnk" in any case (a shell shortcut).
bool isShortcutName(const char* name);

// The names of a file drop, each in a buffer of its own sized to its text,
// so that no name is ever cut short or written past its end.
class DroppedNames {
public:
    // Room for up to capacity names; none when memory runs out.
    explicit DroppedNames(long capacity);
    ~DroppedNames();
    DroppedNames(const DroppedNames&) = delete;
    DroppedNames& operator=(const DroppedNames&) = delete;

    // Copies the text of source, a buffer of sourceSize bytes that need not
    // hold a terminator (at most sourceSize bytes are read); the copy is
    // always terminated. False when the list is full or memory runs out.
    bool add(const char* source, std::size_t sourceSize);

    long count() const { return count_; }
    // The names as the frame's drop entry takes them.
    void** items() { return reinterpret_cast<void**>(names_); }
    const char* name(long index) const { return index >= 0 && index < count_ ? names_[index] : nullptr; }

private:
    char** names_ = nullptr;
    long capacity_ = 0;
    long count_ = 0;
};

}  // namespace klv::gui
