#pragma once

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
MouseRun runMouseScenario(conformance::Checker& c, const std::string& kind, const std::string& path,
                          const std::string& shotPath);

}  // namespace klv::wine
