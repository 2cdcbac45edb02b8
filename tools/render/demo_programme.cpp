#include "tools/render/demo_programme.h"

#include <cmath>
#include <cstdint>

#include "host/dsp_math.h"

namespace klv::render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTempoBpm = 120.0;
constexpr double kStepSeconds = 60.0 / kTempoBpm / 4.0;  // sixteenth notes
constexpr int kStepsPerBar = 16;
constexpr int kBars = 4;
// 0.7079 = 10^(-3/20): the programme peaks at -3 dBFS.
constexpr double kPeakTarget = 0.70794578438;

// Am, F, C, G: one chord per bar, bass root an octave and more below.
constexpr int kChordNotes[kBars][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
constexpr int kBassRoots[kBars] = {33, 29, 36, 31};
// Eighth-note bass line as offsets from the root (12 = octave up).
constexpr int kBassPattern[8] = {0, 0, 12, 0, 0, 7, 12, 0};

// Drum steps within a bar.
constexpr bool kKickSteps[kStepsPerBar] = {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0};
constexpr bool kSnareSteps[kStepsPerBar] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1};

double noteHz(int midiNote) {
    return 440.0 * klv::dsp::pow(2.0, (midiNote - 69) / 12.0);
}

// 32-bit linear congruential generator (Numerical Recipes constants):
// the same white noise everywhere.
class Noise {
public:
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 8388608.0 - 1.0;
    }

private:
    std::uint32_t state_ = 0x4B4C5621u;
};

// Seconds since the latest step at or before `step` that the pattern marks,
// or a large value when none has sounded yet.
double sinceLast(const bool (&pattern)[kStepsPerBar], long step, double inStep) {
    for (long s = step; s >= 0 && s > step - kStepsPerBar; --s)
        if (pattern[s % kStepsPerBar]) return static_cast<double>(step - s) * kStepSeconds + inStep;
    return 1e3;
}

double kick(double t) {
    // Pitch falls from 150 Hz to 50 Hz with a 30 ms time constant; the phase
    // is the integral of that frequency.
    const double phase = 2.0 * kPi * (50.0 * t + 100.0 * 0.03 * (1.0 - klv::dsp::exp(-t / 0.03)));
    return klv::dsp::sin(phase) * klv::dsp::exp(-t / 0.12);
}

double triangle(double phase) {
    const double p = phase - std::floor(phase);
    return p < 0.5 ? 4.0 * p - 1.0 : 3.0 - 4.0 * p;
}

}  // namespace

std::vector<float> synthesiseDemoProgramme() {
    const double fs = kDemoSampleRate;
    const long frames = static_cast<long>(kBars * kStepsPerBar * kStepSeconds * fs);
    std::vector<double> mix(static_cast<std::size_t>(frames) * kDemoChannels, 0.0);
    Noise noise;
    double hatPrev = 0.0;
    double bassPhase = 0.0, bassLow = 0.0;
    // One-pole low-pass for the bass at 400 Hz: a = 1 - e^(-2 pi fc / fs).
    const double bassCoeff = 1.0 - klv::dsp::exp(-2.0 * kPi * 400.0 / fs);
    double chordPhase[3][2] = {};

    for (long n = 0; n < frames; ++n) {
        const double t = n / fs;
        const long step = static_cast<long>(t / kStepSeconds);
        const double inStep = t - step * kStepSeconds;
        const int bar = static_cast<int>(step / kStepsPerBar) % kBars;
        const double white = noise.next();

        const double kickOut = kick(sinceLast(kKickSteps, step, inStep));
        const double ts = sinceLast(kSnareSteps, step, inStep);
        const double snare = white * klv::dsp::exp(-ts / 0.07) * 0.7 +
                             klv::dsp::sin(2.0 * kPi * 190.0 * ts) * klv::dsp::exp(-ts / 0.04) * 0.5;
        // Hi-hat on every eighth, open on the last one: differentiated noise
        // (a first-difference high-pass) under a short decay.
        const double th = (step % 2 == 0) ? inStep : inStep + kStepSeconds;
        const double hatDecay = (step % kStepsPerBar >= 14) ? 0.12 : 0.025;
        const double hat = (white - hatPrev) * 0.5 * klv::dsp::exp(-th / hatDecay);
        hatPrev = white;

        const long eighth = step / 2;
        const double tb = t - eighth * 2.0 * kStepSeconds;
        const double bassHz = noteHz(kBassRoots[bar] + kBassPattern[eighth % 8]);
        bassPhase += bassHz / fs;
        bassPhase -= std::floor(bassPhase);
        const double saw = 2.0 * bassPhase - 1.0;
        bassLow += bassCoeff * (saw - bassLow);
        const double bassEnv = std::fmin(1.0, tb / 0.005) * (0.6 + 0.4 * klv::dsp::exp(-tb / 0.08));
        const double bass = bassLow * bassEnv;

        const double tc = t - static_cast<double>(step / kStepsPerBar * kStepsPerBar) * kStepSeconds;
        const double chordEnv = std::fmin(1.0, tc / 0.05) * (0.5 + 0.5 * klv::dsp::exp(-tc / 0.6));
        double chordSide[2] = {0.0, 0.0};
        for (int v = 0; v < 3; ++v) {
            const double hz = noteHz(kChordNotes[bar][v]);
            // Left and right detuned by +-4 cents (2^(4/1200) = 1.0023131).
            const double detune[2] = {1.0 / 1.0023131, 1.0023131};
            for (int c = 0; c < 2; ++c) {
                chordPhase[v][c] += hz * detune[c] / fs;
                chordPhase[v][c] -= std::floor(chordPhase[v][c]);
                chordSide[c] += triangle(chordPhase[v][c]);
            }
        }

        const double centre = 0.8 * kickOut + 0.35 * bass;
        mix[2 * n] = centre + 0.45 * snare + 0.12 * hat + 0.1 * chordEnv * chordSide[0];
        mix[2 * n + 1] = centre + 0.40 * snare + 0.18 * hat + 0.1 * chordEnv * chordSide[1];
    }

    double peak = 0.0;
    for (double x : mix) peak = std::fmax(peak, std::fabs(x));
    const double scale = peak > 0.0 ? kPeakTarget / peak : 0.0;
    std::vector<float> out(mix.size());
    for (std::size_t i = 0; i < mix.size(); ++i) out[i] = static_cast<float>(mix[i] * scale);
    return out;
}

}  // namespace klv::render
