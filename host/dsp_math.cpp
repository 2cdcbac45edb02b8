#include "host/dsp_math.h"

#include <cmath>

namespace klv::dsp {

double pow(double x, double y) { return std::pow(x, y); }
double exp(double x) { return std::exp(x); }
double log(double x) { return std::log(x); }
double log10(double x) { return std::log10(x); }
double sin(double x) { return std::sin(x); }
double cos(double x) { return std::cos(x); }
double tan(double x) { return std::tan(x); }
double sqrt(double x) { return std::sqrt(x); }

}  // namespace klv::dsp
