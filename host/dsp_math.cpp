// Deterministic elementary functions. The maths libraries of glibc and of
// the two mingw-w64 runtimes (the 32-bit one partly on the x87 unit) round
// differently in the last bits, which would make the Windows builds compute
// slightly different coefficients and so different audio. These versions use
// only IEEE double additions, multiplications and divisions (SSE2, no fused
// multiply-add) and exact scaling, so every build gets the same bits. They
// are accurate to a few units in the last place of a double, far below the
// float precision of every value they feed.
#include "host/dsp_math.h"

#include <cmath>
#include <limits>

namespace klv::dsp {

namespace {

constexpr double kLn2Hi = 6.93147180369123816490e-01;  // ln 2, upper bits (exact times small k)
constexpr double kLn2Lo = 1.90821492927058770002e-10;  // ln 2 - kLn2Hi
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kInvLn10 = 0.43429448190325181667;
constexpr double kSqrtHalf = 0.70710678118654752440;
// pi/2 in three parts for the reduction of sine and cosine arguments.
constexpr double kPio2_1 = 1.57079632673412561417e+00;
constexpr double kPio2_2 = 6.07710050650619224932e-11;
constexpr double kPio2_3 = 2.02226624879595063154e-21;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

double nan() {
    return std::numeric_limits<double>::quiet_NaN();
}
double inf() {
    return std::numeric_limits<double>::infinity();
}

// e^r for |r| <= ln2/2: Taylor series to r^14 (remainder below 1e-18).
double expKernel(double r) {
    double sum = 1.0 / 87178291200.0;  // 1/14!
    const double inverseFactorials[] = {1.0 / 6227020800.0,
                                        1.0 / 479001600.0,
                                        1.0 / 39916800.0,
                                        1.0 / 3628800.0,
                                        1.0 / 362880.0,
                                        1.0 / 40320.0,
                                        1.0 / 5040.0,
                                        1.0 / 720.0,
                                        1.0 / 120.0,
                                        1.0 / 24.0,
                                        1.0 / 6.0,
                                        0.5,
                                        1.0,
                                        1.0};
    for (double c : inverseFactorials) sum = sum * r + c;
    return sum;
}

// Sine and cosine of |x| <= pi/4 (Taylor to x^17 and x^18).
double sinKernel(double x) {
    const double x2 = x * x;
    double s = -1.0 / 355687428096000.0;  // -1/17!
    const double c[] = {1.0 / 20922789888000.0, -1.0 / 1307674368000.0, 1.0 / 6227020800.0, -1.0 / 39916800.0,
                        1.0 / 362880.0,         -1.0 / 5040.0,          1.0 / 120.0,        -1.0 / 6.0};
    for (double k : c) s = s * x2 + k;
    return x + x * x2 * s;
}

double cosKernel(double x) {
    const double x2 = x * x;
    double s = -1.0 / 6402373705728000.0;  // -1/18!
    const double c[] = {1.0 / 20922789888000.0, -1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0,
                        1.0 / 40320.0,          -1.0 / 720.0,         1.0 / 24.0,        -0.5};
    for (double k : c) s = s * x2 + k;
    return 1.0 + x2 * s;
}

// Reduces x to r in [-pi/4, pi/4] and the quadrant n (x = r + n pi/2).
void reduce(double x, double& r, long long& quadrant) {
    const double n = std::floor(x * kTwoOverPi + 0.5);
    if (std::fabs(n) < 1e9) {
        r = ((x - n * kPio2_1) - n * kPio2_2) - n * kPio2_3;
    } else {
        // Far outside any audio use; still deterministic.
        r = std::fmod(x, 2.0 * 3.14159265358979323846);
        reduce(r, r, quadrant);
        return;
    }
    quadrant = static_cast<long long>(std::fmod(n, 4.0));
    if (quadrant < 0) quadrant += 4;
}

}  // namespace

double exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.782712893384) return inf();
    if (x < -745.1332191019412) return 0.0;
    const double k = std::floor(x * kInvLn2 + 0.5);
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    return std::ldexp(expKernel(r), static_cast<int>(k));
}

double log(double x) {
    if (std::isnan(x) || x < 0.0) return nan();
    if (x == 0.0) return -inf();
    if (std::isinf(x)) return x;
    int e = 0;
    double m = std::frexp(x, &e);  // x = m 2^e, m in [0.5, 1)
    if (m < kSqrtHalf) {
        m *= 2.0;
        --e;
    }
    // log m = 2 atanh f with f = (m - 1) / (m + 1), |f| <= 0.1716.
    const double f = (m - 1.0) / (m + 1.0);
    const double f2 = f * f;
    double s = 1.0 / 25.0;
    for (int k = 23; k >= 3; k -= 2) s = s * f2 + 1.0 / k;
    const double logm = 2.0 * f + 2.0 * f * f2 * s;
    return e * kLn2Hi + (e * kLn2Lo + logm);
}

double log10(double x) {
    // Exact powers of ten give exact results (callers compare against them).
    if (x > 0.0 && x <= 1e22) {
        double p = 1.0;
        for (int n = 0; n <= 22; ++n, p *= 10.0)
            if (x == p) return n;
    }
    return log(x) * kInvLn10;
}

double pow(double x, double y) {
    if (y == 0.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return nan();
    if (x == 1.0) return 1.0;
    const bool integer = std::floor(y) == y && std::fabs(y) <= 64.0;
    if (integer) {
        // Repeated squaring: exact for the small integer powers engines use.
        double base = y < 0 ? 1.0 / x : x;
        long n = static_cast<long>(std::fabs(y));
        double result = 1.0;
        while (n > 0) {
            if (n & 1) result *= base;
            base *= base;
            n >>= 1;
        }
        return result;
    }
    if (x < 0.0) return nan();
    if (x == 0.0) return y > 0.0 ? 0.0 : inf();
    return exp(y * log(x));
}

double sin(double x) {
    if (!std::isfinite(x)) return nan();
    double r;
    long long q;
    reduce(x, r, q);
    switch (q) {
        case 0:
            return sinKernel(r);
        case 1:
            return cosKernel(r);
        case 2:
            return -sinKernel(r);
        default:
            return -cosKernel(r);
    }
}

double cos(double x) {
    if (!std::isfinite(x)) return nan();
    double r;
    long long q;
    reduce(x, r, q);
    switch (q) {
        case 0:
            return cosKernel(r);
        case 1:
            return -sinKernel(r);
        case 2:
            return -cosKernel(r);
        default:
            return sinKernel(r);
    }
}

double tan(double x) {
    if (!std::isfinite(x)) return nan();
    double r;
    long long q;
    reduce(x, r, q);
    const double s = sinKernel(r), c = cosKernel(r);
    return (q % 2 == 0) ? s / c : -c / s;
}

double sqrt(double x) {
    return std::sqrt(x);
}

}  // namespace klv::dsp
