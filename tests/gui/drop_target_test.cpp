#include "gui/drop_target.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace klv::gui {
namespace {

TEST(DropTarget, EffectFollowsAcceptanceAndControlKey) {
    struct Case {
        bool accepting;
        std::uint32_t keyState;
        std::uint32_t effect;
    };
    // Key-state bits: 1 left button, 4 Shift, 8 Control, 16 middle button.
    const Case cases[] = {
        {false, 0x00, kDropEffectNone}, {false, 0x08, kDropEffectNone}, {true, 0x00, kDropEffectMove},
        {true, 0x01, kDropEffectMove},  {true, 0x05, kDropEffectMove},  {true, 0x08, kDropEffectCopy},
        {true, 0x19, kDropEffectCopy},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dropEffectFor(c.accepting, c.keyState), c.effect) << c.accepting << " keys " << c.keyState;
    }
}

TEST(DropTarget, ShortcutNamesEndInLnkInAnyCase) {
    struct Case {
        const char* name;
        bool shortcut;
    };
    const Case cases[] = {
        {"C:\\Music\\kick.lnk", true},
        {"C:\\Music\\kick.LNK", true},
        {"snare.LnK", true},
        {".lnk", true},
        {"lnk", false},
        {"C:\\kick.lnk.wav", false},
        {"C:\\kick.lnx", false},
        {"C:\\kicklnk", false},
        {"", false},
        {nullptr, false},
    };
    for (const Case& c : cases) EXPECT_EQ(isShortcutName(c.name), c.shortcut) << (c.name ? c.name : "(null)");
}

TEST(DropTarget, NamesAreCopiedWholeAndNeverReadPastTheirBuffer) {
    // A resolved shortcut target longer than a 1024-byte name buffer keeps
    // all of its text.
    const std::string longTarget = "C:\\" + std::string(1500, 'd') + "\\take.wav";
    // A buffer filled to its end without a terminator, followed by bytes that
    // must not be read.
    char unterminated[12];
    std::memcpy(unterminated, "ABCDEFGHIJKLZZZZ", sizeof unterminated);

    DroppedNames names(4);
    EXPECT_TRUE(names.add("C:\\a.wav", 1024));
    EXPECT_TRUE(names.add(longTarget.c_str(), 2048));
    EXPECT_TRUE(names.add(unterminated, sizeof unterminated));
    EXPECT_TRUE(names.add("", 1024));
    EXPECT_FALSE(names.add("C:\\fifth.wav", 1024));  // the list holds what the drop announced

    ASSERT_EQ(names.count(), 4);
    EXPECT_STREQ(names.name(0), "C:\\a.wav");
    EXPECT_EQ(std::string(names.name(1)), longTarget);
    EXPECT_STREQ(names.name(2), "ABCDEFGHIJKL");
    EXPECT_STREQ(names.name(3), "");
    EXPECT_EQ(names.name(4), nullptr);
    EXPECT_EQ(names.items()[1], static_cast<const void*>(names.name(1)));
}

TEST(DropTarget, AnEmptyDropHoldsNothing) {
    DroppedNames names(0);
    EXPECT_FALSE(names.add("C:\\a.wav", 1024));
    EXPECT_EQ(names.count(), 0);
}

}  // namespace
}  // namespace klv::gui
