// The renderer's one failure type: a message for the user's stderr line and
// the exit status that tells scripts what kind of failure it was.
#pragma once

#include <stdexcept>
#include <string>

namespace klv::render {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,  // anything not listed below
    kExitUsage = 2,    // command line: option, value, program or parameter
    kExitInput = 3,    // input file missing, unreadable, unsupported, too many channels
    kExitPlugin = 4,   // plug-in not found or not a VST 2 plug-in
    kExitOutput = 5,   // output cannot be written
    kExitInterrupted = 130,
};

class RenderError : public std::runtime_error {
public:
    RenderError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ExitCode code() const { return code_; }

private:
    ExitCode code_;
};

}  // namespace klv::render
