// What klv-x11-host's checks share: one printed line per check, and how two
// pictures differ.
#pragma once

#include <cstdio>
#include <string>

#include "gui/raster/pixel_buffer.h"
#include "tests/conformance/checker.h"

namespace klv::x11host {

// Every check prints its line, passed or not; the Checker counts them and
// gives failures their place in the source.
inline bool check(conformance::Checker& c, bool ok, const std::string& what, const char* file, int line) {
    if (ok) std::printf("ok   %s\n", what.c_str());
    c.check(ok, what, file, line);
    std::fflush(stdout);
    return ok;
}
#define X11_CHECK(c, ok, what) ::klv::x11host::check((c), static_cast<bool>(ok), (what), __FILE__, __LINE__)

// Empty when the pictures are equal, else the size or first differing pixel.
inline std::string describeDifference(const gui::raster::PixelBuffer& shot, const gui::raster::PixelBuffer& expected) {
    if (shot.width != expected.width || shot.height != expected.height)
        return "size " + std::to_string(shot.width) + "x" + std::to_string(shot.height) + ", expected " +
               std::to_string(expected.width) + "x" + std::to_string(expected.height);
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            if (shot.at(x, y) == expected.at(x, y)) continue;
            char text[96];
            std::snprintf(text, sizeof text, "first difference at (%d, %d): %06x, expected %06x", x, y, shot.at(x, y),
                          expected.at(x, y));
            return text;
        }
    }
    return "";
}

inline std::string withDetail(const std::string& what, const std::string& detail) {
    return detail.empty() ? what : what + " (" + detail + ")";
}

}  // namespace klv::x11host
