// The built-in operators: each operators_*.cpp file exposes its table in registration order.
#pragma once

#include <cstdint>
#include <span>

#include "ztequationmanager/operator.h"

namespace zteqm {

struct BuiltInOperator {
    const char *name;
    int32_t numParameters;
    OperatorFunc func;  // null until the operator is built
};

// Identifiers 1 to 6: "Move Value" to "AsciiFile".
std::span<const BuiltInOperator> special_operators();
// Identifiers 7 to 32: "++" to "? :".
std::span<const BuiltInOperator> arithmetic_operators();
// Identifiers 33 to 61: "abs" to "tanh".
std::span<const BuiltInOperator> math_operators();

}  // namespace zteqm
