#include "tools/render/loudness.h"

#include <ebur128.h>

#include <cmath>

namespace klv::render {

struct LoudnessMeter::State {
    ebur128_state* meter;
};

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : channels_(channels) {
    // The exact mode keeps every 400 ms gating block (a small allocation per
    // 100 ms of audio); the histogram mode would allocate nothing but rounds
    // loudness to 0.1 LU bins, reading -23.05 for the -23.0 calibration tone.
    ebur128_state* meter = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                                        EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (meter) state_ = new State{meter};
}

LoudnessMeter::~LoudnessMeter() {
    if (!state_) return;
    ebur128_destroy(&state_->meter);
    delete state_;
}

void LoudnessMeter::add(const float* interleaved, int frames) noexcept {
    if (state_ && frames > 0) ebur128_add_frames_float(state_->meter, interleaved, static_cast<std::size_t>(frames));
}

LoudnessFigures LoudnessMeter::figures() const {
    LoudnessFigures f;
    if (!state_) return f;
    f.measured = true;
    double value = 0.0;
    if (ebur128_loudness_global(state_->meter, &value) == EBUR128_SUCCESS) f.integratedLufs = value;
    if (ebur128_loudness_range(state_->meter, &value) == EBUR128_SUCCESS) f.rangeLu = value;
    double peak = 0.0;
    for (int c = 0; c < channels_; ++c)
        if (ebur128_true_peak(state_->meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS && value > peak)
            peak = value;
    if (peak > 0.0) f.truePeakDbtp = 20.0 * std::log10(peak);
    return f;
}

}  // namespace klv::render
