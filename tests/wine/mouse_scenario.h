#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tests/conformance/checker.h"

namespace klv::wine {

enum class MouseRun {
    kRan,          // the checks ran; the checker holds the result
    kUnknownKind,  // no scenario for this kind
    kNoPointer,    // xdotool could not be run, or its input never reached
                   // Wine's windows: nothing was learnt about the plug-in
};

// The real-mouse scenario: the editor in a borderless top-level window at
// (50, 50) of the screen, xdotool (a Unix program, started through Wine)
// pressing, dragging and releasing on its controls while the host keeps
// idling at 30 Hz. Checks the host's record of begin edit, automation and
// end edit for each drag and click, the final parameter values, that each
// control drew its new value, and that audio through the instance equals
// audio through a fresh one given the same values. Writes the editor's
// screenshot to shotPath and prints the klv-snapshot arguments of the same
// state ("snapshot arguments: ...") for the comparison on the Linux side.
// scale: the editor's, as the display's DPI makes it (the pointer's path
// and the sizes are the design's times it).
MouseRun runMouseScenario(conformance::Checker& c, const std::string& kind, const std::string& path,
                          const std::string& shotPath, float scale = 1.0f);

// What hosts do besides plain drags (host_scenarios.cpp): quick taps while
// the host pumps its messages late, the editor closed in the middle of a
// drag, and a held drag while the host's loop serves a second editor.
MouseRun runHostScenarios(conformance::Checker& c, const std::string& kind, const std::string& path,
                          const std::string& markerPath, float scale = 1.0f);

// xdotool is a Unix program. Wine starts it from its Unix path but gives no
// handle to wait on, so it runs under /bin/sh, which writes its exit status
// to a file when it ends; the host looks for the file between idle calls.
class PointerDriver {
public:
    // Empty when xdotool can be started, else why not.
    std::string prepare(const std::string& markerPath);
    // Runs xdotool with commands, calling idle over and over until it ends.
    // Its exit status, or -1 when it could not be started or did not end
    // within 30 s.
    int run(const std::string& commands, const std::function<void()>& idle);
    // xdotool commands: to p on the screen, then a pause.
    std::string moveTo(POINT p) const {
        return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " sleep " + pause_ + " ";
    }
    std::string pause() const { return pause_; }

private:
    std::string xdotool_;
    std::string pause_;
    std::string marker_;      // as this program names it
    std::string unixMarker_;  // as /bin/sh names it
};

// A borderless top-level window at (left, top) of the screen, shown:
// without a window manager it stays there, so screen coordinates are known.
HWND createHostWindow(int width, int height, int left, int top);

}  // namespace klv::wine
