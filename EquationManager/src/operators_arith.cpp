// Arithmetic, comparison, logical and bitwise operators.
// Invariant: each reads its parameters and writes only the result variable, and writes nothing
// when a parameter it needs is null.
#include <cstdint>

#include "internal/operators.h"

namespace zteqm {

namespace {

// Integer arithmetic wraps modulo 2^32: it is done on the unsigned bits and converted back.
int32_t wrap(uint32_t bits) { return static_cast<int32_t>(bits); }

int32_t increment(int32_t x) { return wrap(static_cast<uint32_t>(x) + 1u); }
int32_t decrement(int32_t x) { return wrap(static_cast<uint32_t>(x) - 1u); }
int32_t complement(int32_t x) { return ~x; }
int32_t logical_not(int32_t x) { return x == 0 ? 1 : 0; }
// Subtracting from -0.0 flips the sign of zeros too (0.0 - 0.0 would give +0.0).
double change_sign(double x) { return -0.0 - x; }

double multiply(double a, double b) { return a * b; }
double divide(double a, double b) { return a / b; }
double add(double a, double b) { return a + b; }
double subtract(double a, double b) { return a - b; }

int32_t shift_left(int32_t value, int32_t count) {
    return wrap(static_cast<uint32_t>(value) << (static_cast<uint32_t>(count) & 31u));
}
int32_t shift_right(int32_t value, int32_t count) {
    return value >> (static_cast<uint32_t>(count) & 31u);
}

int32_t less(double a, double b) { return a < b ? 1 : 0; }
int32_t less_or_equal(double a, double b) { return a <= b ? 1 : 0; }
int32_t greater(double a, double b) { return a > b ? 1 : 0; }
int32_t greater_or_equal(double a, double b) { return a >= b ? 1 : 0; }
int32_t equal(double a, double b) { return a == b ? 1 : 0; }
int32_t not_equal(double a, double b) { return a != b ? 1 : 0; }

int32_t bitwise_and(int32_t a, int32_t b) { return a & b; }
int32_t bitwise_xor(int32_t a, int32_t b) { return a ^ b; }
int32_t bitwise_or(int32_t a, int32_t b) { return a | b; }
int32_t logical_and(int32_t a, int32_t b) { return (a != 0 && b != 0) ? 1 : 0; }
int32_t logical_or(int32_t a, int32_t b) { return (a != 0 || b != 0) ? 1 : 0; }

// "%": a zero divisor has no remainder, so nothing is written and the status says so. The
// quotient of INT32_MIN by -1 overflows, but its remainder is 0 like that of any divisor -1.
int32_t remainder_operator(Variable *result, int32_t numParameters, Parameter **parameters) {
    if (!has_parameters(parameters, numParameters, 2)) return 0;
    const int32_t dividend = KVAP_GetInteger(parameters[0]);
    const int32_t divisor = KVAP_GetInteger(parameters[1]);
    if (divisor == 0) return 0;
    write_result(result, divisor == -1 ? 0 : dividend % divisor);
    return 1;
}

// "&": no null test and no write; the integer reading of parameter 0 is the status.
int32_t address_of(Variable *, int32_t numParameters, Parameter **parameters) {
    if (parameters == nullptr || numParameters < 1) return 0;
    return KVAP_GetInteger(parameters[0]);
}

// "*Var": reads nothing and writes nothing.
int32_t dereference(Variable *, int32_t, Parameter **) { return 0; }

// "? :": only the chosen branch is read, so a branch with effects runs only when taken.
int32_t conditional(Variable *result, int32_t numParameters, Parameter **parameters) {
    if (!has_parameters(parameters, numParameters, 3)) return 0;
    const bool condition = KVAP_GetInteger(parameters[0]) != 0;
    write_result(result, KVAP_GetDouble(parameters[condition ? 1 : 2]));
    return 1;
}

constexpr BuiltInOperator kArithmeticOperators[] = {
    {"++", 1, computed_operator<increment>},
    {"--", 1, computed_operator<decrement>},
    {"~", 1, computed_operator<complement>},
    {"!", 1, computed_operator<logical_not>},
    {"&", 1, address_of},
    {"*Var", 1, dereference},
    {"Change Sign", 1, computed_operator<change_sign>},
    {"*", 2, computed_operator<multiply>},
    {"/", 2, computed_operator<divide>},
    {"%", 2, remainder_operator},
    {"+", 2, computed_operator<add>},
    {"-", 2, computed_operator<subtract>},
    {"<<", 2, computed_operator<shift_left>},
    {">>", 2, computed_operator<shift_right>},
    {"<", 2, computed_operator<less>},
    {"<=", 2, computed_operator<less_or_equal>},
    {">", 2, computed_operator<greater>},
    {">=", 2, computed_operator<greater_or_equal>},
    {"==", 2, computed_operator<equal>},
    {"!=", 2, computed_operator<not_equal>},
    {"& Bitwise", 2, computed_operator<bitwise_and>},
    {"^ Bitwise", 2, computed_operator<bitwise_xor>},
    {"| Bitwise", 2, computed_operator<bitwise_or>},
    {"&&", 2, computed_operator<logical_and>},
    {"||", 2, computed_operator<logical_or>},
    {"? :", 3, conditional},
};

}  // namespace

std::span<const BuiltInOperator> arithmetic_operators() { return kArithmeticOperators; }

}  // namespace zteqm
