// The demo's built-in programme: four bars of drums, bass and chords,
// synthesised the same way on every machine (own noise generator, the
// project's deterministic maths functions).
#pragma once

#include <vector>

namespace klv::render {

constexpr int kDemoSampleRate = 44100;
constexpr int kDemoChannels = 2;

// Interleaved stereo at kDemoSampleRate, peak normalised to -3 dBFS.
std::vector<float> synthesiseDemoProgramme();

}  // namespace klv::render
