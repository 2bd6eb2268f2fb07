// Math function operators.
#include "internal/operators.h"

namespace zteqm {

namespace {

constexpr BuiltInOperator kMathOperators[] = {
    {"abs", 1, nullptr},      {"acos", 1, nullptr},  {"asin", 1, nullptr},
    {"atan", 1, nullptr},     {"atan2", 2, nullptr}, {"ceiling", 1, nullptr},
    {"cos", 1, nullptr},      {"cosh", 1, nullptr},  {"Rad to Deg", 1, nullptr},
    {"exp", 1, nullptr},      {"floor", 1, nullptr}, {"fmod", 2, nullptr},
    {"isfinite", 1, nullptr}, {"isnan", 1, nullptr}, {"lerp", 3, nullptr},
    {"log", 1, nullptr},      {"log10", 1, nullptr}, {"max", 2, nullptr},
    {"min", 2, nullptr},      {"pow", 2, nullptr},   {"Deg to Rad", 1, nullptr},
    {"round", 1, nullptr},    {"sign", 1, nullptr},  {"sin", 1, nullptr},
    {"sinh", 1, nullptr},     {"step", 2, nullptr},  {"sqrt", 1, nullptr},
    {"tan", 1, nullptr},      {"tanh", 1, nullptr},
};

}  // namespace

std::span<const BuiltInOperator> math_operators() { return kMathOperators; }

}  // namespace zteqm
