// The maths functions the engines use for coefficients and tables. Every
// engine calls these instead of <cmath> directly, so that all builds (Linux,
// 32- and 64-bit Windows with their different maths libraries) compute the
// same values; see dsp_math.cpp for how.
#pragma once

#include <cmath>

namespace klv::dsp {

double pow(double x, double y);
double exp(double x);
double log(double x);
double log10(double x);
double sin(double x);
double cos(double x);
double tan(double x);
double sqrt(double x);  // IEEE square root: exact everywhere

// Single-precision square root for per-sample loops, inline: IEEE square
// root is correctly rounded on every target, and equals sqrt(double(x))
// rounded to float.
inline float sqrtf(float x) noexcept {
    return std::sqrt(x);
}

}  // namespace klv::dsp
