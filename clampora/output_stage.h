// The compressor's output stage: a cubic soft clipper, either behind a
// look-ahead peak limiter (mode 1) or normalised by a fast envelope (mode 2).
#pragma once

namespace klv::clampora {

// sqrt(8/3): where z - z^3/8 has zero slope.
constexpr float kClipKnee = 1.632993161855452f;
// 1 / (k - k^3/8) at k = sqrt(8/3): scales the curve to reach exactly 1.0 there.
constexpr float kClipScale = 0.9185586535436918f;
// Keeps the clipped output a hair below full scale.
constexpr float kClipCeiling = 0.999969f;

inline float softClip(float z) noexcept {
    if (z >= kClipKnee) return 1.0f;
    if (z <= -kClipKnee) return -1.0f;
    return (z - z * z * 0.125f * z) * kClipScale;
}

enum class SatMode { kOff, kLimiter, kClipper };

inline SatMode satModeOf(float target) noexcept {
    return target > 1.5f ? SatMode::kClipper : target > 0.5f ? SatMode::kLimiter : SatMode::kOff;
}

// State shared by both channels (the level follows the louder one).
struct OutputStageState {
    float envelope = 0.0f;  // the output is divided by this while it is above 1.0
    float runningPeak = 0.0f;
    float heldPeak = 0.0f;
    int holdCounter = 0;  // samples since the limiter last handed a peak over
};

// Per-block constants of the output stage.
struct OutputStageCoefficients {
    float clipperRise;  // k(0.0065)
    float clipperFall;  // k(0.0125)
    float limiterRise;  // k(0.0019)
    float limiterFall;  // k(0.0024)
    float peakGlide;    // k(0.0008)
    int holdStart;      // fs * 0.0012
    int holdEnd;        // fs * 0.0024
};

// Mode 2: e is the louder channel's |out| * 1.414. Returns 1 / gain.
inline float clipperInverseGain(OutputStageState& s, const OutputStageCoefficients& c, float e) noexcept {
    s.envelope += (e - s.envelope) * (e <= s.envelope ? c.clipperFall : c.clipperRise);
    return 1.0f / (s.envelope > 1.0f ? s.envelope : 1.0f);
}

// Mode 1: p is the louder channel's |out| before the delay. The held peak
// follows a new maximum at once, glides toward the running peak between
// holdStart and holdEnd samples after a hand-over, and is replaced by the
// running peak at holdEnd. Returns 1 / gain for the delayed samples.
inline float limiterInverseGain(OutputStageState& s, const OutputStageCoefficients& c, float p) noexcept {
    if (p > s.runningPeak) s.runningPeak = p;
    if (s.runningPeak > s.heldPeak) {
        s.holdCounter = 0;
        s.heldPeak = s.runningPeak;
        s.runningPeak = 0.0f;
    } else if (c.holdStart < s.holdCounter && s.holdCounter < c.holdEnd) {
        s.heldPeak += (s.runningPeak - s.heldPeak) * c.peakGlide;
        ++s.holdCounter;
    } else if (s.holdCounter < c.holdEnd) {
        ++s.holdCounter;
    } else {
        s.holdCounter = 0;
        s.heldPeak = s.runningPeak;
        s.runningPeak = 0.0f;
    }
    const float t = s.heldPeak * 0.95f;
    s.envelope += (t - s.envelope) * (t <= s.envelope ? c.limiterFall : c.limiterRise);
    return 1.0f / (s.envelope > 1.0f ? s.envelope : 1.0f);
}

}  // namespace klv::clampora
