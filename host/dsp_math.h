// The maths functions the engines use for coefficients and tables. Every
// engine calls these instead of <cmath> directly, so that all builds (Linux,
// 32- and 64-bit Windows with their different maths libraries) compute the
// same values; see dsp_math.cpp for how.
#pragma once

namespace klv::dsp {

double pow(double x, double y);
double exp(double x);
double log(double x);
double log10(double x);
double sin(double x);
double cos(double x);
double tan(double x);
double sqrt(double x);  // IEEE square root: exact everywhere

}  // namespace klv::dsp
