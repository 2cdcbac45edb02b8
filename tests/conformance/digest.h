#pragma once

#include <cstdio>
#include <string>

namespace klv::conformance {

// Renders a fixed programme through every program of the plug-in at a few
// sample rates and block sizes and prints one digest of the output bits per
// line, so that builds for different platforms can be compared exactly.
// Returns false when the library cannot be loaded.
bool printDigests(const std::string& path);
bool writeDigests(const std::string& path, std::FILE* out);

// The same digests compared line by line with a file of expected ones (the
// audio a build is known to produce); prints the differing lines.
bool checkDigests(const std::string& path, const std::string& expectedFile);

// Renders the same through two builds of one plug-in (every program, the
// rates above, two block sizes) and prints the largest sample difference
// of each render. True when no difference exceeds tolerance.
bool compareBuilds(const std::string& pathA, const std::string& pathB, double tolerance);

}  // namespace klv::conformance
