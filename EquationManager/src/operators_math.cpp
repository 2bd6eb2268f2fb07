// Math function operators.
// Invariant: each reads its parameters and writes only the result variable, and writes nothing
// when a parameter it needs is null.
#include <cmath>
#include <cstdint>

#include "internal/numeric.h"
#include "internal/operators.h"

namespace zteqm {

namespace {

constexpr double kPi = 3.141592653589793;

// The magnitude is taken on the unsigned bits, so INT32_MIN, which has no positive
// counterpart, comes back as itself instead of overflowing.
int32_t absolute(int32_t x) {
    const uint32_t bits = static_cast<uint32_t>(x);
    return static_cast<int32_t>(x < 0 ? 0u - bits : bits);
}

double arc_cosine(double x) { return std::acos(x); }
double arc_sine(double x) { return std::asin(x); }
double arc_tangent(double x) { return std::atan(x); }
double arc_tangent2(double y, double x) { return std::atan2(y, x); }
double ceiling(double x) { return std::ceil(x); }
double cosine(double x) { return std::cos(x); }
double hyperbolic_cosine(double x) { return std::cosh(x); }
// The order of the operations is kept: (x * 180) / pi, and (x / 180) * pi below.
double radians_to_degrees(double x) { return x * 180.0 / kPi; }
double exponential(double x) { return std::exp(x); }
double floor_of(double x) { return std::floor(x); }
double floating_remainder(double a, double b) { return std::fmod(a, b); }
int32_t is_finite(double x) { return std::isfinite(x) ? 1 : 0; }
int32_t is_nan(double x) { return std::isnan(x) ? 1 : 0; }
double interpolate(double a, double b, double t) { return (1.0 - t) * a + t * b; }
double natural_log(double x) { return std::log(x); }
double log_base10(double x) { return std::log10(x); }
// Parameter 1 wins whenever the comparison is false: on equal values and on a NaN.
double maximum(double a, double b) { return a > b ? a : b; }
double minimum(double a, double b) { return b > a ? a : b; }
double power(double a, double b) { return std::pow(a, b); }
double degrees_to_radians(double x) { return x / 180.0 * kPi; }
// Half up, then truncated toward zero, so negative halves go toward zero (-2.5 gives -2).
// Sums outside the 32-bit range saturate and NaN gives 0.
double round_half_up(double x) { return static_cast<double>(saturate_to_int32(x + 0.5)); }
int32_t sign(double x) { return x > 0.0 ? 1 : (x < 0.0 ? -1 : 0); }
double sine(double x) { return std::sin(x); }
double hyperbolic_sine(double x) { return std::sinh(x); }
// 1 from the edge upward (equal values included), 0 below it and for a NaN on either side.
int32_t step(double x, double edge) { return x >= edge ? 1 : 0; }
double square_root(double x) { return std::sqrt(x); }
double tangent(double x) { return std::tan(x); }
double hyperbolic_tangent(double x) { return std::tanh(x); }

constexpr BuiltInOperator kMathOperators[] = {
    {"abs", 1, computed_operator<absolute>},
    {"acos", 1, computed_operator<arc_cosine>},
    {"asin", 1, computed_operator<arc_sine>},
    {"atan", 1, computed_operator<arc_tangent>},
    {"atan2", 2, computed_operator<arc_tangent2>},
    {"ceiling", 1, computed_operator<ceiling>},
    {"cos", 1, computed_operator<cosine>},
    {"cosh", 1, computed_operator<hyperbolic_cosine>},
    {"Rad to Deg", 1, computed_operator<radians_to_degrees>},
    {"exp", 1, computed_operator<exponential>},
    {"floor", 1, computed_operator<floor_of>},
    {"fmod", 2, computed_operator<floating_remainder>},
    {"isfinite", 1, computed_operator<is_finite>},
    {"isnan", 1, computed_operator<is_nan>},
    {"lerp", 3, computed_operator<interpolate>},
    {"log", 1, computed_operator<natural_log>},
    {"log10", 1, computed_operator<log_base10>},
    {"max", 2, computed_operator<maximum>},
    {"min", 2, computed_operator<minimum>},
    {"pow", 2, computed_operator<power>},
    {"Deg to Rad", 1, computed_operator<degrees_to_radians>},
    {"round", 1, computed_operator<round_half_up>},
    {"sign", 1, computed_operator<sign>},
    {"sin", 1, computed_operator<sine>},
    {"sinh", 1, computed_operator<hyperbolic_sine>},
    {"step", 2, computed_operator<step>},
    {"sqrt", 1, computed_operator<square_root>},
    {"tan", 1, computed_operator<tangent>},
    {"tanh", 1, computed_operator<hyperbolic_tangent>},
};

}  // namespace

std::span<const BuiltInOperator> math_operators() { return kMathOperators; }

}  // namespace zteqm
