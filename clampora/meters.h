// The compressor's meters: running values per channel, published once per
// block into eight rings that the editor reads a few blocks later.
#pragma once

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

struct MeterRings {
    float values[kNumRings][kRingSize] = {};
    int writeIndex = 1;
    int readIndex = 0;

    MeterReading read(int channel) const noexcept {
        const int c = channel == 0 ? 0 : 1;
        return {values[kRingLevelL + c][readIndex], values[kRingPeakL + c][readIndex],
                values[kRingClipL + c][readIndex], values[kRingGainL + c][readIndex]};
    }
};

}  // namespace klv::clampora
