#include "tonvela/tonvela_engine.h"

#include <emmintrin.h>

#include <cmath>
#include <initializer_list>

#include "host/dsp_math.h"
#include "tonvela/saturator_passes.h"

namespace klv::tonvela {

const passes::SineTable passes::kSine;

namespace {

using namespace passes;

constexpr double kPi = 3.14159265358979323846;

// Meter ballistics: a step falls to 0.1091012 of itself (about -19.2 dB).
constexpr double kMeterFall = 0.1091012;
constexpr float kMeterLimit = 4.0f;

using dsp::emit;
using dsp::flushTiny;
using dsp::sanitise;
using dsp::unitValue;

double boundedCorner(double frequency, double sampleRate) noexcept {
    const double limit = kMaxCornerShare * sampleRate;
    return frequency > limit ? limit : frequency;
}

}  // namespace

void OnePoleFilter::initLowpass(double frequency, double sampleRate) noexcept {
    const double k = dsp::tan(kPi * boundedCorner(frequency, sampleRate) / sampleRate);
    b = static_cast<float>(k / (1.0 + k));
    c = static_cast<float>((k - 1.0) / (k + 1.0));
    x1 = y1 = 0.0f;
}

void OnePoleFilter::initHighpass(double frequency, double sampleRate) noexcept {
    const double k = dsp::tan(kPi * boundedCorner(frequency, sampleRate) / sampleRate);
    b = static_cast<float>(1.0 / (1.0 + k));
    c = static_cast<float>((1.0 - k) / (1.0 + k));
    x1 = y1 = 0.0f;
}

// Continuous parameters are meant to lie in 0..1; a host may send anything
// finite. Outside that range the powers overflow, so the working values use
// the nearest end of the range (the stored value is kept).
double levelGain(float value) noexcept {
    return dsp::pow(10.0, (static_cast<double>(unitValue(value)) - 0.5) * 1.2);
}

double driveGain(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 31.0 + 1.0;
}

int shapeStep(float value) noexcept {
    return static_cast<int>(unitValue(value) * 7.0f + 0.5f);
}

double bassCorner(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 450.0 + 50.0;
}

double trebleCorner(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 10000.0 + 2000.0;
}

double trebleHarmonicGain(float value) noexcept {
    return dsp::pow(10.0, (static_cast<double>(unitValue(value)) - 0.1) * 8.0);
}

double bassHarmonicAmount(float value) noexcept {
    const double v = unitValue(value);
    return v * v * 36.9 + 0.1;
}

double bassBandFactor(double amount) noexcept {
    return 10.0 / (dsp::pow(10.0, 0.65) * dsp::pow(amount, 0.65));
}

Normalisers curveNormalisers(double drive) noexcept {
    const double h = 0.1995 * drive;
    Normalisers r{};
    r.n[kNone] = 1.0f;
    r.n[kValve1] = static_cast<float>((h + 7.0) / h);
    r.n[kValve2] = static_cast<float>((h + 4.0) / h);
    r.n[kValve3] = static_cast<float>((h + 2.5) / h);
    const double u = 2.0 * h;
    r.n[kTape1] = u >= 2.0 ? 1.0f : static_cast<float>(1.0 / dsp::sin(u * kPi / 4.0));
    r.n[kTape2] = u >= 2.0 ? 1.0f : static_cast<float>(1.0 / (u - u * u / 4.0));
    const double knee = 1.632993161855452;
    const double w = h * knee;
    r.n[kTape3] = w >= knee ? 1.0f : static_cast<float>(1.0 / ((w - w * w * w / 8.0) * 0.9185586535436918));
    r.n[kDigital] = 1.0f;
    return r;
}

float tableSine(float phase) noexcept {
    const bool negative = phase < 0.0f;
    const float p = (negative ? -phase : phase) * kPhaseToIndex;
    const int whole = static_cast<int>(p);
    const int i = whole & (kSineSize - 1);
    const float f = p - static_cast<float>(whole);
    const float s = f * kSine.v[i + 1] + (1.0f - f) * kSine.v[i];
    return negative ? -s : s;
}

namespace {

// tape1 before its normaliser, for d >= 0: a sine up to 1.0 at d = 1, then
// a half cosine falling to 0.5 at d = 5, then flat.
inline float tape1Positive(float d) noexcept {
    if (d < 1.0f) return tableSine(d * kHalfPi);
    if (d < 5.0f) return 0.75f + 0.25f * tableSine(kHalfPi + (d - 1.0f) * kQuarterPi);
    return 0.5f;
}

inline float curve(int step, float d, float normaliser) noexcept {
    switch (step) {
        case kValve1:
            return normaliser * d / (std::fabs(d) + 7.0f);
        case kValve2:
            return normaliser * d / (std::fabs(d) + 4.0f);
        case kValve3:
            return normaliser * d / (std::fabs(d) + 2.5f);
        case kTape1: {
            const float y = tape1Positive(std::fabs(d));
            return normaliser * (d < 0.0f ? -y : y);
        }
        case kTape2: {
            const float u = 2.0f * d;
            float y = u - u * std::fabs(u) * 0.25f;
            if (std::fabs(y) >= 1.0f) y = y < 0.0f ? -1.0f : 1.0f;
            return normaliser * y;
        }
        case kTape3: {
            const float w = d * kTape3Knee;
            float y;
            if (w >= kTape3Knee)
                y = 1.0f;
            else if (w <= -kTape3Knee)
                y = -1.0f;
            else
                y = (w - w * w * w * 0.125f) * kTape3Scale;
            return normaliser * y;
        }
        case kDigital:
            return d < -1.0f ? -1.0f : d > 1.0f ? 1.0f : d;
        default:
            return d * kUndrive;
    }
}

}  // namespace

float applyCurve(int step, float d, float normaliser) noexcept {
    return curve(step, d, normaliser);
}

int meterDelay(std::int32_t outputLatency, std::int32_t blockSize) noexcept {
    if (outputLatency < 2 || blockSize < 2) return 1;
    const std::int64_t delay =
        static_cast<std::int64_t>(outputLatency) * 10 / (static_cast<std::int64_t>(blockSize) * 12);
    return delay < 1 ? 1 : delay > 255 ? 255 : static_cast<int>(delay);
}

// Per-call constants.
struct TonvelaEngine::Block {
    CallSettings s;
    float bassBandGain;    // GB = F * bass gain
    float trebleBandGain;  // GT = (1/T) * treble gain * 15
    float bassScale;       // S = 6 a
    float bassRelease;     // RB
    float trebleAttack;    // AT
    float trebleRelease;   // RT
    float driveFactor;     // D
    float meterCoef;       // E
    float peakRelease;     // P
};

TonvelaEngine::TonvelaEngine() noexcept {
    reset(44100.0f);
}

void TonvelaEngine::setBassCorner(float hz) noexcept {
    bassCorner_.store(hz, std::memory_order_relaxed);
    bassRequests_.fetch_add(1, std::memory_order_release);
}

void TonvelaEngine::setTrebleCorner(float hz) noexcept {
    trebleCorner_.store(hz, std::memory_order_relaxed);
    trebleRequests_.fetch_add(1, std::memory_order_release);
}

void TonvelaEngine::redesignBass() noexcept {
    bassApplied_ = bassRequests_.load(std::memory_order_acquire);
    const double fb = bassCorner_.load(std::memory_order_relaxed);
    for (auto& channel : bassSplit_)
        for (OnePoleFilter& f : channel) f.initLowpass(fb, filterRate_);
    for (OnePoleFilter& f : bassSmooth_) f.initLowpass(1.9 * fb, filterRate_);
}

void TonvelaEngine::redesignTreble() noexcept {
    trebleApplied_ = trebleRequests_.load(std::memory_order_acquire);
    const double ft = trebleCorner_.load(std::memory_order_relaxed);
    for (auto& channel : trebleSplit_)
        for (OnePoleFilter& f : channel) f.initHighpass(ft, filterRate_);
}

void TonvelaEngine::applyPendingDesigns() noexcept {
    if (bassRequests_.load(std::memory_order_acquire) != bassApplied_) redesignBass();
    if (trebleRequests_.load(std::memory_order_acquire) != trebleApplied_) redesignTreble();
}

void TonvelaEngine::reset(float filterRate) noexcept {
    for (int c = 0; c < 2; ++c) {
        level_[c] = 0.0f;
        heldPeak_[c] = 0.0f;
        holdTime_[c] = 0;
    }
    filterRate_ = usableRate(filterRate);
    redesignTreble();
    redesignBass();
    for (auto& ring : history_.rings)
        for (auto& v : ring) v = 0.0f;
}

void TonvelaEngine::setMeterDelay(int delay) noexcept {
    history_.readPosition = 0;
    history_.writePosition = delay & kMeterRingMask;
}

bool TonvelaEngine::hasSubnormalState() const noexcept {
    auto tiny = [](float v) { return std::fpclassify(v) == FP_SUBNORMAL; };
    for (int c = 0; c < 2; ++c) {
        for (const OnePoleFilter* f :
             {&bassSplit_[c][0], &bassSplit_[c][1], &bassSmooth_[c], &trebleSplit_[c][0], &trebleSplit_[c][1]})
            if (tiny(f->x1) || tiny(f->y1)) return true;
        if (tiny(bassEnvelope_[c]) || tiny(trebleEnvelope_[c]) || tiny(level_[c]) || tiny(heldPeak_[c])) return true;
    }
    return false;
}

MeterReading TonvelaEngine::meter(int channel) const noexcept {
    const int c = channel == 0 ? 0 : 1;
    const int r = history_.readPosition;
    return {history_.rings[c][r], history_.rings[2 + c][r], history_.rings[4 + c][r]};
}

template <bool kAccumulate, int kChannels>
void TonvelaEngine::runBypass(const Block& b, float** inputs, float** outputs, int n) noexcept {
    const float gain = b.s.inputGain;
    const float e = b.meterCoef;
    float peak[2] = {blockPeak_[0], blockPeak_[1]};
    float level[2] = {level_[0], level_[1]};
    for (int i = 0; i < n; ++i) {
        float x[kChannels];
        for (int c = 0; c < kChannels; ++c) x[c] = sanitise(inputs[c][i]) * gain;
        for (int c = 0; c < kChannels; ++c) {
            const float v = std::fabs(x[c]);
            peak[c] = v > peak[c] ? v : peak[c];
            level[c] += (v - level[c]) * e;
        }
        if (kChannels == 2) {
            emit<kAccumulate>(outputs[0], i, x[0]);
            emit<kAccumulate>(outputs[1], i, x[kChannels - 1]);
        } else {
            emit<kAccumulate>(outputs[0], i, x[0]);
            if (b.s.twoOutputs) emit<kAccumulate>(outputs[1], i, x[0]);
        }
    }
    for (int c = 0; c < kChannels; ++c) {
        blockPeak_[c] = peak[c];
        level_[c] = level[c];
    }
}

template <bool kAccumulate, int kChannels, bool kBass, bool kTreble>
void TonvelaEngine::run(const Block& b, float** inputs, float** outputs, int n) noexcept {
    constexpr int W = kChannels;  // floats per frame in the chunk buffers
    ChainState st = loadChain();
    const ChainConstants k = chainConstants(b);
    const int shape = b.s.shape, point = b.s.meterPoint;
    const bool metered = point >= 0 && point <= 2;

    const float* inL = inputs[0];
    const float* inR = inputs[kChannels - 1];
    float* outL = outputs[0];
    float* outR = kChannels == 2 || b.s.twoOutputs ? outputs[1] : nullptr;

    ChunkBuffers<W> buf;
    Lanes peak = splat(0.0f);
    const int chunks = (n + kChunk - 1) / kChunk;
    auto length = [&](int c) { return c < 0 || c >= chunks ? 0 : (n - c * kChunk < kChunk ? n - c * kChunk : kChunk); };

    for (int c = 0; c < chunks + 2; ++c) {
        const int ma = length(c), mb = length(c - 1), mc = length(c - 2);
        if (ma > 0) inputPass<W, kBass>(k, inL + c * kChunk, inR + c * kChunk, ma, buf.dry[c % 3], buf, st);
        if (kBass && mb > 0) smoothPass<W>(k, mb, buf, st);
        if (mc > 0) {
            outputPassFor<W, kBass, kTreble>(shape, k.output, buf, (c + 1) % 3, mc, point, peak);
            const int start = (c - 2) * kChunk;
            writeFrames<kAccumulate, W>(buf.wet, mc, outL + start, outR ? outR + start : nullptr);
        }

        // serial passes: bass on chunk c, treble on c - 1, level on c - 2
        const SerialBuffers sb = {buf.bassIn,           buf.low[c & 1], buf.benv, buf.smoothIn, buf.dry[(c + 2) % 3],
                                  buf.low[(c + 1) & 1], buf.sum,        buf.high, buf.tenv,     buf.meterIn};
        const int groups = (ma > 0 ? 1 : 0) | (mb > 0 ? 2 : 0) | (mc > 0 && metered ? 4 : 0);
        // Only the last chunk is short; the passes run on to the end of the
        // chunk buffers, and the state of the short one is taken where it ends.
        const int split = ma > 0 && ma < kChunk ? ma : mb > 0 && mb < kChunk ? mb : mc > 0 && mc < kChunk ? mc : kChunk;
        serialPasses<W, kBass, kTreble>(groups, k.serial, st, sb, 0, split);
        if (split < kChunk) {
            const ChainState atSplit = st;
            serialPasses<W, kBass, kTreble>(groups, k.serial, st, sb, split, kChunk);
            if (ma == split) st.restoreBass(atSplit);
            if (mb == split) st.restoreTreble(atSplit);
            if (mc == split) st.level = atSplit.level;
        }
    }

    storeChain<kChannels, kBass, kTreble>(st, peak, metered);
}

ChainState TonvelaEngine::loadChain() const noexcept {
    ChainState st;
    st.bs0x = pair(bassSplit_[0][0].x1, bassSplit_[1][0].x1);
    st.bs0y = pair(bassSplit_[0][0].y1, bassSplit_[1][0].y1);
    st.bs1x = pair(bassSplit_[0][1].x1, bassSplit_[1][1].x1);
    st.bs1y = pair(bassSplit_[0][1].y1, bassSplit_[1][1].y1);
    st.smx = pair(bassSmooth_[0].x1, bassSmooth_[1].x1);
    st.smy = pair(bassSmooth_[0].y1, bassSmooth_[1].y1);
    st.ts0x = pair(trebleSplit_[0][0].x1, trebleSplit_[1][0].x1);
    st.ts0y = pair(trebleSplit_[0][0].y1, trebleSplit_[1][0].y1);
    st.ts1x = pair(trebleSplit_[0][1].x1, trebleSplit_[1][1].x1);
    st.ts1y = pair(trebleSplit_[0][1].y1, trebleSplit_[1][1].y1);
    st.benv = pair(bassEnvelope_[0], bassEnvelope_[1]);
    st.tenv = pair(trebleEnvelope_[0], trebleEnvelope_[1]);
    st.level = pair(level_[0], level_[1]);

    return st;
}

ChainConstants TonvelaEngine::chainConstants(const Block& b) const noexcept {
    ChainConstants k;
    k.b0 = splat(bassSplit_[0][0].b);
    k.bsm = splat(bassSmooth_[0].b);
    k.inGain = splat(b.s.inputGain);
    k.scale = splat(b.bassScale);
    SerialConstants& ks = k.serial;
    ks.c0 = splat(bassSplit_[0][0].c);
    ks.b1 = splat(bassSplit_[0][1].b);
    ks.c1 = splat(bassSplit_[0][1].c);
    ks.csm = splat(bassSmooth_[0].c);
    ks.bt0 = splat(trebleSplit_[0][0].b);
    ks.ct0 = splat(trebleSplit_[0][0].c);
    ks.bt1 = splat(trebleSplit_[0][1].b);
    ks.ct1 = splat(trebleSplit_[0][1].c);
    ks.rb = splat(b.bassRelease);
    ks.rt = splat(b.trebleRelease);
    ks.atXorRt = {_mm_xor_ps(splat(b.trebleAttack).v, ks.rt.v)};
    ks.gb = splat(b.bassBandGain);
    ks.harmonic = splat(b.s.trebleHarmonic);
    ks.e = splat(b.meterCoef);
    OutputConstants& ko = k.output;
    ko.harmonic = splat(b.s.trebleHarmonic);
    ko.gt = splat(b.trebleBandGain);
    ko.drive = splat(b.driveFactor);
    ko.normaliser = splat(b.s.normaliser);
    ko.mix = splat(b.s.mix);
    ko.outGain = splat(b.s.outputGain);
    const int shape = b.s.shape;
    const float valveConstants[kNumShapes] = {0.0f, 7.0f, 4.0f, 2.5f, 0.0f, 0.0f, 0.0f, 0.0f};
    ko.valveN = splat(shape >= 0 && shape < kNumShapes ? valveConstants[shape] : 0.0f);
    return k;
}

template <int kChannels, bool kBass, bool kTreble>
void TonvelaEngine::storeChain(const ChainState& st, Lanes peak, bool metered) noexcept {
    auto store = [&](OnePoleFilter& left, OnePoleFilter& right, Lanes x1, Lanes y1) {
        left.x1 = lane(x1, 0);
        left.y1 = lane(y1, 0);
        if (kChannels == 2) {
            right.x1 = lane(x1, 1);
            right.y1 = lane(y1, 1);
        }
    };
    if (kBass) {
        store(bassSplit_[0][0], bassSplit_[1][0], st.bs0x, st.bs0y);
        store(bassSplit_[0][1], bassSplit_[1][1], st.bs1x, st.bs1y);
        store(bassSmooth_[0], bassSmooth_[1], st.smx, st.smy);
    }
    if (kTreble) {
        store(trebleSplit_[0][0], trebleSplit_[1][0], st.ts0x, st.ts0y);
        store(trebleSplit_[0][1], trebleSplit_[1][1], st.ts1x, st.ts1y);
    }
    // Peak lanes: mono 0..3 all of the one channel; stereo 0 and 2 left, 1 and 3 right.
    peak = maximum(Lanes{_mm_movehl_ps(peak.v, peak.v)}, peak);
    if (kChannels == 1) peak = maximum(Lanes{_mm_shuffle_ps(peak.v, peak.v, _MM_SHUFFLE(1, 1, 1, 1))}, peak);
    for (int c = 0; c < kChannels; ++c) {
        if (kBass) bassEnvelope_[c] = lane(st.benv, c);
        if (kTreble) trebleEnvelope_[c] = lane(st.tenv, c);
        if (metered) {
            blockPeak_[c] = lane(peak, c);
            level_[c] = lane(st.level, c);
        }
    }
}

void TonvelaEngine::finishBlock(const Block& b, int frames) noexcept {
    if (!b.s.stereo) {
        // Mono: the right meter follows the left.
        blockPeak_[1] = blockPeak_[0];
        level_[1] = level_[0];
    }
    const double holdLength = 0.3 * static_cast<double>(b.s.sampleRate);
    const int w = history_.writePosition;
    for (int c = 0; c < 2; ++c) {
        level_[c] = flushTiny(level_[c] > kMeterLimit ? kMeterLimit : level_[c]);
        const float peak = blockPeak_[c] > kMeterLimit ? kMeterLimit : blockPeak_[c];
        if (peak > heldPeak_[c]) {
            heldPeak_[c] = peak;
            holdTime_[c] = 0;
        } else if (static_cast<double>(holdTime_[c]) < holdLength) {
            holdTime_[c] += frames;
        } else {
            heldPeak_[c] = flushTiny(heldPeak_[c] + (peak - heldPeak_[c]) * (1.0f - b.peakRelease));
        }
        history_.rings[c][w] = level_[c];
        history_.rings[2 + c][w] = heldPeak_[c];
        history_.rings[4 + c][w] = peak >= 1.0f ? 1.0f : 0.0f;

        // Keep the recursive state out of the denormal range in long silences.
        bassEnvelope_[c] = flushTiny(bassEnvelope_[c]);
        trebleEnvelope_[c] = flushTiny(trebleEnvelope_[c]);
        for (OnePoleFilter* f :
             {&bassSplit_[c][0], &bassSplit_[c][1], &bassSmooth_[c], &trebleSplit_[c][0], &trebleSplit_[c][1]}) {
            f->x1 = flushTiny(f->x1);
            f->y1 = flushTiny(f->y1);
        }
    }
    history_.writePosition = (w + 1) & kMeterRingMask;
    history_.readPosition = (history_.readPosition + 1) & kMeterRingMask;
}

template <bool kAccumulate>
void TonvelaEngine::process(const CallSettings& settings, float** inputs, float** outputs, int sampleFrames) noexcept {
    int n = sampleFrames < 0 ? 0 : sampleFrames;
    const int channels = settings.stereo ? 2 : 1;
    const int outs = settings.stereo || settings.twoOutputs ? 2 : 1;
    if (!inputs || !outputs) n = 0;
    for (int c = 0; n > 0 && c < channels; ++c)
        if (!inputs[c]) n = 0;
    for (int c = 0; n > 0 && c < outs; ++c)
        if (!outputs[c]) n = 0;

    // Hosts commonly set the rate and then resume without a suspend in
    // between; the filters follow the rate at the next call rather than
    // waiting for one.
    const float hostRate = usableRate(settings.sampleRate);
    if (hostRate != static_cast<float>(filterRate_)) {
        filterRate_ = hostRate;
        redesignBass();
        redesignTreble();
    }
    applyPendingDesigns();

    Block b;
    b.s = settings;
    const double fs = usableRate(settings.sampleRate);
    b.s.sampleRate = static_cast<float>(fs);
    const int fsi = static_cast<int>(fs);
    const double vbh = unitValue(settings.bassHarmValue);
    const double vtf = unitValue(settings.trebleFreqValue);
    b.bassBandGain = settings.bassFactor * settings.bassGain;
    b.trebleBandGain = (1.0f / settings.trebleHarmonic) * settings.trebleGain * 15.0f;
    b.bassScale = 6.0f * settings.bassAmount;
    b.bassRelease = static_cast<float>((1.0 - vbh) * (1.0 - vbh) * 0.43 + 0.07);
    b.trebleAttack = static_cast<float>(vtf * vtf * 0.1 + 0.015);
    b.trebleRelease = static_cast<float>(vtf * vtf * 0.03 + 0.005);
    b.driveFactor = settings.shape != kNone ? kDriveScale * settings.drive : kDriveScale;
    b.meterCoef = static_cast<float>(1.0 - dsp::pow(kMeterFall, 1.0 / (0.3 * fsi)));
    b.peakRelease = n > 0 ? static_cast<float>(dsp::pow(kMeterFall, n / (0.6 * fsi))) : 1.0f;

    blockPeak_[0] = blockPeak_[1] = 0.0f;
    if (n > 0) {
        if (settings.bypass) {
            if (settings.stereo)
                runBypass<kAccumulate, 2>(b, inputs, outputs, n);
            else
                runBypass<kAccumulate, 1>(b, inputs, outputs, n);
        } else {
            const int variant = (settings.stereo ? 4 : 0) | (settings.bassOn ? 2 : 0) | (settings.trebleOn ? 1 : 0);
            switch (variant) {
                case 0:
                    run<kAccumulate, 1, false, false>(b, inputs, outputs, n);
                    break;
                case 1:
                    run<kAccumulate, 1, false, true>(b, inputs, outputs, n);
                    break;
                case 2:
                    run<kAccumulate, 1, true, false>(b, inputs, outputs, n);
                    break;
                case 3:
                    run<kAccumulate, 1, true, true>(b, inputs, outputs, n);
                    break;
                case 4:
                    run<kAccumulate, 2, false, false>(b, inputs, outputs, n);
                    break;
                case 5:
                    run<kAccumulate, 2, false, true>(b, inputs, outputs, n);
                    break;
                case 6:
                    run<kAccumulate, 2, true, false>(b, inputs, outputs, n);
                    break;
                default:
                    run<kAccumulate, 2, true, true>(b, inputs, outputs, n);
                    break;
            }
        }
    }
    finishBlock(b, n);
}

template void TonvelaEngine::process<true>(const CallSettings&, float**, float**, int) noexcept;
template void TonvelaEngine::process<false>(const CallSettings&, float**, float**, int) noexcept;

}  // namespace klv::tonvela
