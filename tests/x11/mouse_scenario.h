// The editors under a real pointer: xdotool drags a knob and two faders and
// clicks two switches while the host idles the editor at about 30 Hz, then
// the host checks what it recorded (begin/automate/end edit calls), the
// parameters, the window's pixels against klv-snapshot's picture of the same
// state, and the audio against a fresh instance given the same values.
#pragma once

#include <string>

#include "tests/conformance/checker.h"
#include "tests/x11/host_display.h"

namespace klv::x11host {

struct MouseOptions {
    std::string snapshotTool;  // klv-snapshot, which draws the reference picture
    // KIND-mouse-before.png, KIND-mouse.png (after) and KIND-mouse-reference.png go here.
    std::string shotDirectory;
};

// kind is clampora, clampora-mono, tonvela or tonvela-mono; width and height
// the editor's size.
void runMouseScenario(conformance::Checker& r, HostDisplay& x, const std::string& kind, int width, int height,
                      const std::string& path, const MouseOptions& options);

}  // namespace klv::x11host
