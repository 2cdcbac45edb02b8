// Loudness after EBU R128 / ITU-R BS.1770 as libebur128 measures it:
// integrated loudness, loudness range and true peak of a whole stream.
#pragma once

#include <limits>

namespace klv::render {

struct LoudnessFigures {
    bool measured = false;
    // -infinity where the gates leave nothing (silence, under 0.4 s).
    double integratedLufs = -std::numeric_limits<double>::infinity();
    double rangeLu = 0.0;
    double truePeakDbtp = -std::numeric_limits<double>::infinity();  // highest channel
};

class LoudnessMeter {
public:
    // Channels in the usual WAV order (L, R, C, LFE not counted, Ls, Rs);
    // a mono file is one channel, as BS.1770 sums it. A rate libebur128
    // does not take leaves the meter inactive.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const float* interleaved, int frames) noexcept;
    LoudnessFigures figures() const;

private:
    struct State;
    State* state_ = nullptr;
    int channels_;
};

}  // namespace klv::render
