// The whole signal path against a plain per-sample model of the chain,
// written out here formula by formula: random settings, every curve, both
// channel modes, odd block sizes, both meter points that see the chain.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "host/dsp_math.h"
#include "tests/tonvela/tonvela_test_util.h"

namespace klv::tonvela::test {
namespace {

float flush(float v) {
    return std::fabs(v) < 1e-20f ? 0.0f : v;
}

// One channel of the chain, one sample at a time.
struct ReferenceChannel {
    OnePoleFilter bass0, bass1, smooth, treble0, treble1;
    float bassEnv = 0.0f, trebleEnv = 0.0f, level = 0.0f;
};

struct Reference {
    // Working values as the effect derived them.
    bool bassOn, trebleOn;
    int shape, point;
    float inGain, outGain, mix, drive, normaliser, bassBandGain, trebleBandGain, bassScale, harmonic;
    float bassRelease, trebleAttack, trebleRelease, meterCoef;
    ReferenceChannel ch[2];

    Reference(TonvelaEffect& e, float rate) {
        bassOn = e.getParameter(kBassOn) != 0.0f;
        trebleOn = e.getParameter(kTrebleOn) != 0.0f;
        shape = static_cast<int>(e.getWorkingValue(kShape));
        point = static_cast<int>(e.getParameter(kPrePost));
        inGain = e.getWorkingValue(kInput);
        outGain = e.getWorkingValue(kOutput);
        mix = e.getWorkingValue(kMix);
        drive = (shape != kNone ? 0.1995f * e.getWorkingValue(kDrive) : 0.1995f);
        normaliser = e.curveNormaliser(shape);
        harmonic = e.getWorkingValue(kTrebleHarm);
        bassBandGain = e.bassBandFactor() * e.getWorkingValue(kBassBoost);
        trebleBandGain = (1.0f / harmonic) * e.getWorkingValue(kTrebleBoost) * 15.0f;
        bassScale = 6.0f * e.getWorkingValue(kBassHarm);
        const double vbh = e.getParameter(kBassHarm), vtf = e.getParameter(kTrebleFreq);
        bassRelease = static_cast<float>((1.0 - vbh) * (1.0 - vbh) * 0.43 + 0.07);
        trebleAttack = static_cast<float>(vtf * vtf * 0.1 + 0.015);
        trebleRelease = static_cast<float>(vtf * vtf * 0.03 + 0.005);
        meterCoef = static_cast<float>(1.0 - dsp::pow(0.1091012, 1.0 / (0.3 * static_cast<int>(rate))));
        const double fb = e.getWorkingValue(kBassFreq), ft = e.getWorkingValue(kTrebleFreq);
        for (ReferenceChannel& c : ch) {
            c.bass0.initLowpass(fb, rate);
            c.bass1.initLowpass(fb, rate);
            c.smooth.initLowpass(1.9 * fb, rate);
            c.treble0.initHighpass(ft, rate);
            c.treble1.initHighpass(ft, rate);
        }
    }

    float curve(float d) const {
        const float a = std::fabs(d);
        const float sign = d < 0.0f ? -1.0f : 1.0f;
        switch (shape) {
            case kValve1:
                return normaliser * d / (a + 7.0f);
            case kValve2:
                return normaliser * d / (a + 4.0f);
            case kValve3:
                return normaliser * d / (a + 2.5f);
            case kTape1: {
                const float halfPi = 1.5707963267948966f, quarterPi = 0.78539816339744831f;
                float y = 0.5f;
                if (a < 1.0f)
                    y = tableSine(a * halfPi);
                else if (a < 5.0f)
                    y = 0.75f + 0.25f * tableSine(halfPi + (a - 1.0f) * quarterPi);
                return normaliser * sign * y;
            }
            case kTape2: {
                const float u = 2.0f * d;
                const float y = u - u * std::fabs(u) * 0.25f;
                return normaliser * (std::fabs(y) >= 1.0f ? (y < 0.0f ? -1.0f : 1.0f) : y);
            }
            case kTape3: {
                const float knee = 1.632993161855452f, w = d * knee;
                return normaliser * (std::fabs(w) >= knee ? sign : (w - w * w * w * 0.125f) * 0.9185586535436918f);
            }
            case kDigital:
                return d < -1.0f ? -1.0f : d > 1.0f ? 1.0f : d;
            default:
                return d * 5.0125313f;
        }
    }

    // Sample i of a block on channel c.
    float step(ReferenceChannel& c, float in, int i) {
        const float guard = i % 2 == 0 ? -1e-9f : 1e-9f;
        const float x = dsp::sanitise(in) * inGain;
        float s = x;
        if (bassOn) {
            const float low = c.bass1.lowpass(c.bass0.lowpass(x + guard));
            c.bassEnv = low > c.bassEnv ? low : c.bassEnv + (low - c.bassEnv) * bassRelease;
            const float h = bassScale * c.bassEnv / (std::fabs(c.bassEnv) + 5.0f);
            s = (x - low) + c.smooth.lowpass(h + guard) * bassBandGain;
        }
        if (trebleOn) {
            const float high = c.treble1.highpass(c.treble0.highpass(s + guard));
            const float t = high * harmonic, mag = std::fabs(t);
            const float k = mag > c.trebleEnv ? trebleAttack : trebleRelease;
            c.trebleEnv = c.trebleEnv + (mag - c.trebleEnv) * k;
            s = (s - high) + (t / (c.trebleEnv + 14.0f)) * trebleBandGain;
        }
        const float d = s * drive;
        const float out = ((curve(d) - x) * mix + x) * outGain;
        const float v = std::fabs(point == 0 ? x : point == 1 ? out : d);
        c.level = c.level + (v - c.level) * meterCoef;
        return out;
    }

    // What the engine does to its state at the end of each block.
    void endBlock() {
        for (ReferenceChannel& c : ch) {
            c.level = flush(c.level > 4.0f ? 4.0f : c.level);
            c.bassEnv = flush(c.bassEnv);
            c.trebleEnv = flush(c.trebleEnv);
            for (OnePoleFilter* f : {&c.bass0, &c.bass1, &c.smooth, &c.treble0, &c.treble1}) {
                f->x1 = flush(f->x1);
                f->y1 = flush(f->y1);
            }
        }
    }
};

TEST(TonvelaReference, WholeChainMatchesThePerSampleFormulas) {
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int blockSizes[] = {512, 97, 1, 32, 33, 200};
    for (int mono = kStereo ? 0 : 1; mono < 2; ++mono) {
        for (int shape = 0; shape < kNumShapes; ++shape) {
            for (int round = 0; round < 3; ++round) {
                Settings s;
                s.shape = shape / 7.0f;
                s.input = unit(random);
                s.output = unit(random);
                s.drive = unit(random);
                s.mix = unit(random);
                s.bassBoost = unit(random);
                s.trebleBoost = unit(random);
                s.bassFreq = unit(random);
                s.trebleFreq = unit(random);
                s.trebleHarm = unit(random);
                s.bassHarm = unit(random);
                s.bassOn = round == 1 ? 0.0f : 1.0f;
                s.trebleOn = round == 2 ? 0.0f : 1.0f;
                s.prePost = static_cast<float>(round % 3);  // input, output, driven
                s.stereoMono = static_cast<float>(mono);
                const float rate = round == 0 ? 48000.0f : 44100.0f;
                hostkit::HostConfig config;
                config.sampleRate = rate;
                auto p = makeEffect(s, config);
                ASSERT_TRUE(p);
                TonvelaEffect& effect = object(*p);
                Reference model(effect, rate);

                const int frames = 3000;
                const int block = blockSizes[(shape + round) % 6];
                const float amplitude = 0.1f + 2.0f * unit(random);
                const auto l = noise(frames, 100 + shape, amplitude);
                const auto r = sine(170.0 + 40.0 * round, amplitude, frames, rate);
                const auto out = runBoth(*p, l, r, block);

                float worst = 0.0f;
                for (int pos = 0; pos < frames; pos += block) {
                    const int n = frames - pos < block ? frames - pos : block;
                    for (int i = 0; i < n; ++i) {
                        const float left = model.step(model.ch[0], l[pos + i], i);
                        const float right = mono ? left : model.step(model.ch[1], r[pos + i], i);
                        worst = std::fmax(worst, std::fabs(out[0][pos + i] - left) / (1.0f + std::fabs(left)));
                        if (kStereo)
                            worst = std::fmax(worst, std::fabs(out[1][pos + i] - right) / (1.0f + std::fabs(right)));
                    }
                    model.endBlock();
                }
                EXPECT_LE(worst, 1e-6f) << "shape " << shape << " round " << round << " mono " << mono;

                // The level meter of the last block, as written to the ring.
                const MeterHistory& h = effect.engine().history();
                const int w = (h.writePosition + kMeterRingMask) & kMeterRingMask;
                EXPECT_NEAR(h.rings[0][w], model.ch[0].level, 1e-6f * (1.0f + model.ch[0].level));
                if (!mono) {
                    EXPECT_NEAR(h.rings[1][w], model.ch[1].level, 1e-6f * (1.0f + model.ch[1].level));
                }
            }
        }
    }
}

}  // namespace
}  // namespace klv::tonvela::test
