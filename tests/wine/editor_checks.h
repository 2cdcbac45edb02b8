#pragma once

#include <cstdio>
#include <string>

#include "tests/conformance/checker.h"

// Every check prints its line, passed or not, so the run reads as a report.
#define EDITOR_CHECK(c, cond, what)                                                 \
    do {                                                                            \
        const bool klvOk_ = static_cast<bool>(cond);                                \
        if (klvOk_) std::printf("ok   %s\n", std::string(what).c_str());            \
        (c).check(klvOk_, std::string(what) + "  (" #cond ")", __FILE__, __LINE__); \
    } while (0)

namespace klv::wine {

// Opens the plug-in's editor in real Win32 windows: size before open, the
// child window's class and size, idle at 30 Hz, a screenshot of the child's
// client area (24-bit BMP at shotPath, a second one after the other
// instance's editor closed), two editors of one library at once, 100
// open/close cycles without growing GDI or USER objects, and a host that
// idles, closes and opens at the wrong times. False for an unknown kind.
// scale: the editor's, as the display's DPI makes it.
bool runEditorChecks(conformance::Checker& c, const std::string& kind, const std::string& path,
                     const std::string& shotPath, float scale = 1.0f);

}  // namespace klv::wine
