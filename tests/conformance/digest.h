#pragma once

#include <string>

namespace klv::conformance {

// Renders a fixed programme through every program of the plug-in at a few
// sample rates and block sizes and prints one digest of the output bits per
// line, so that builds for different platforms can be compared exactly.
// Returns false when the library cannot be loaded.
bool printDigests(const std::string& path);

}  // namespace klv::conformance
