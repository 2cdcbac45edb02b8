// The compressor's meters: running values per channel, published once per
// block into eight rings that the editor reads a few blocks later.
#pragma once

#include "host/relaxed.h"

namespace klv::clampora {

constexpr int kRingSize = 256;
constexpr int kRingMask = kRingSize - 1;

enum MeterRing {
    kRingLevelL,
    kRingLevelR,
    kRingPeakL,
    kRingPeakR,
    kRingClipL,
    kRingClipR,
    kRingGainL,
    kRingGainR,
    kNumRings
};

// One channel's meter values as the editor reads them.
struct MeterReading {
    float level;          // level average
    float peak;           // held meter peak
    float clip;           // 1.0 while clipping, else 0.0
    float gainReduction;  // compressed average / input average
};

struct ChannelMeter {
    float levelAverage = 0.0f;
    float inputAverage = 0.0f;
    float compressedAverage = 0.0f;
    float blockPeak = 0.0f;
    int clipCounter = 0;
    float heldPeak = 0.0f;
    float holdTime = 0.0f;  // samples since the held peak was last raised
};

// Written by the audio calls and read by the editor's idle on another
// thread: every entry and index is one relaxed atomic value.
struct MeterRings {
    Relaxed<float> values[kNumRings][kRingSize];
    Relaxed<int> writeIndex{1};
    Relaxed<int> readIndex{0};

    MeterReading read(int channel) const noexcept {
        const int c = channel == 0 ? 0 : 1;
        const int r = readIndex;
        return {values[kRingLevelL + c][r], values[kRingPeakL + c][r], values[kRingClipL + c][r],
                values[kRingGainL + c][r]};
    }
};

}  // namespace klv::clampora
