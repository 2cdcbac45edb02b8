#include "host/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace klv {

const char kHugeText[] = " Huge!  ";
const char kMinusInfText[] = "  -oo   ";

namespace {
constexpr int kWidth = 8;
}

void float2string(float value, char* text) {
    double v = value;
    if (std::isnan(v)) {
        std::strcpy(text, "  NaN   ");
        return;
    }
    int c = 0;
    const bool negative = v < 0.0;
    if (negative) {
        v = -v;
        ++c;
    }
    // The range tests let through magnitudes whose integer digits alone would
    // overflow the eight characters (eight digits, or seven with a sign); those
    // read as " Huge!  " too instead of silently losing leading digits.
    const double limit = negative ? 999999.0 : 9999999.0;
    if (v > limit) {
        std::strcpy(text, kHugeText);
        return;
    }

    // Integer part, right to left, behind the decimal point.
    char integer[kWidth + 2];
    int pos = kWidth + 1;
    integer[pos] = '\0';
    integer[--pos] = '.';
    ++c;
    double i = std::floor(v);
    do {
        integer[--pos] = static_cast<char>('0' + static_cast<long>(std::fmod(i, 10.0)));
        i /= 10.0;
        ++c;
    } while (i >= 1.0 && c < kWidth);
    if (negative) integer[--pos] = '-';
    std::strcpy(text, integer + pos);
    if (c >= kWidth) return;

    // Fraction: the remaining 8 - c digits, also right to left.
    const int digits = kWidth - c;
    double m = std::fmod(v, 1.0) * std::pow(10.0, digits);
    char* out = text + std::strlen(text);
    for (int d = digits - 1; d >= 0; --d) {
        out[d] = m <= 0.0 ? '0' : static_cast<char>('0' + static_cast<long>(std::fmod(m, 10.0)));
        m /= 10.0;
    }
    out[digits] = '\0';
}

void long2string(long value, char* text) {
    if (value >= 100000000L) {
        std::strcpy(text, kHugeText);
        return;
    }
    char wide[32];
    std::snprintf(wide, sizeof wide, "%7ld", value);
    wide[kWidth] = '\0';
    std::strcpy(text, wide);
}

void dB2string(float value, char* text) {
    if (value > 0.0f)
        float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text);
    else
        std::strcpy(text, kMinusInfText);
}

void Hz2string(float samples, float sampleRate, char* text) {
    if (samples == 0.0f)
        float2string(0.0f, text);
    else
        float2string(static_cast<float>(static_cast<double>(sampleRate) / samples), text);
}

void ms2string(float samples, float sampleRate, char* text) {
    float2string(static_cast<float>(samples * 1000.0 / sampleRate), text);
}

}  // namespace klv
