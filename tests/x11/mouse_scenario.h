// The editors under a real pointer: xdotool drags a knob and two faders and
// clicks two switches while the host idles the editor at about 30 Hz, then
// the host checks what it recorded (begin/automate/end edit calls), the
// parameters, the window's pixels against klv-snapshot's picture of the same
// state, and the audio against a fresh instance given the same values.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/conformance/checker.h"
#include "tests/x11/host_display.h"

namespace klv::x11host {

struct MouseOptions {
    std::string snapshotTool;  // klv-snapshot, which draws the reference picture
    // KIND-mouse-before.png, KIND-mouse.png (after) and KIND-mouse-reference.png go here.
    std::string shotDirectory;
    // The editor's scale (KLV_EDITOR_SCALE of the run): the pointer's path is
    // the design's times it, the values the same.
    float scale = 1.0f;
};

// kind is clampora, clampora-mono, tonvela or tonvela-mono; width and height
// the editor's size.
void runMouseScenario(conformance::Checker& r, HostDisplay& x, const std::string& kind, int width, int height,
                      const std::string& path, const MouseOptions& options);

// What hosts do that the scenario above does not (host_scenarios.cpp):
// quick taps, closing the editor or destroying its window in the middle of
// a drag, and a held drag while the host idles a second editor.
void runHostScenarios(conformance::Checker& r, HostDisplay& x, const std::string& kind, int width, int height,
                      const std::string& path, float scale);

// Starts a program (found on PATH); its pid, or -1.
pid_t spawn(const std::vector<std::string>& words);
// Runs tick (the host's loop) about 30 times a second until the program
// exits; its exit status, or -1 when it did not run or had to be stopped.
int tickUntilExit(pid_t pid, const std::function<void()>& tick);

}  // namespace klv::x11host
