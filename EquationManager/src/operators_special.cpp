// Special operators: moving values between types, range tests, DriveDOF, AsciiFile playback.
#include "internal/operators.h"

namespace zteqm {

namespace {

constexpr BuiltInOperator kSpecialOperators[] = {
    {"Move Value", 1, nullptr}, {"Clamp", 3, nullptr},     {"DriveDOF", 6, nullptr},
    {"IsBetween", 3, nullptr},  {"IsOutside", 3, nullptr}, {"AsciiFile", 4, nullptr},
};

}  // namespace

std::span<const BuiltInOperator> special_operators() { return kSpecialOperators; }

}  // namespace zteqm
