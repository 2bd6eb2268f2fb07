// Numeric conversions shared by the value types and the operators.
#pragma once

#include <cmath>
#include <cstdint>

namespace zteqm {

// Truncates toward zero to a signed 32-bit integer, saturating at the range's ends; NaN gives 0.
constexpr int32_t saturate_to_int32(double number) {
    if (number != number) return 0;
    if (number >= 2147483647.0) return INT32_MAX;
    if (number <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(number);
}

}  // namespace zteqm
