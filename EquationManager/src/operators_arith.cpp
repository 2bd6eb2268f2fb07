// Arithmetic, comparison, logical and bitwise operators.
#include "internal/operators.h"

namespace zteqm {

namespace {

constexpr BuiltInOperator kArithmeticOperators[] = {
    {"++", 1, nullptr},          {"--", 1, nullptr},        {"~", 1, nullptr},
    {"!", 1, nullptr},           {"&", 1, nullptr},         {"*Var", 1, nullptr},
    {"Change Sign", 1, nullptr}, {"*", 2, nullptr},         {"/", 2, nullptr},
    {"%", 2, nullptr},           {"+", 2, nullptr},         {"-", 2, nullptr},
    {"<<", 2, nullptr},          {">>", 2, nullptr},        {"<", 2, nullptr},
    {"<=", 2, nullptr},          {">", 2, nullptr},         {">=", 2, nullptr},
    {"==", 2, nullptr},          {"!=", 2, nullptr},        {"& Bitwise", 2, nullptr},
    {"^ Bitwise", 2, nullptr},   {"| Bitwise", 2, nullptr}, {"&&", 2, nullptr},
    {"||", 2, nullptr},          {"? :", 3, nullptr},
};

}  // namespace

std::span<const BuiltInOperator> arithmetic_operators() { return kArithmeticOperators; }

}  // namespace zteqm
