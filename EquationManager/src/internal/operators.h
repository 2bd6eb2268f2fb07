// The built-in operators: each operators_*.cpp file exposes its table in registration order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "internal/parameters.h"
#include "ztequationmanager/operator.h"

namespace zteqm {

struct BuiltInOperator {
    const char *name;
    int32_t numParameters;
    OperatorFunc func;
};

// Identifiers 1 to 6: "Move Value" to "AsciiFile".
std::span<const BuiltInOperator> special_operators();
// Identifiers 7 to 32: "++" to "? :".
std::span<const BuiltInOperator> arithmetic_operators();
// Identifiers 33 to 61: "abs" to "tanh".
std::span<const BuiltInOperator> math_operators();

// Helpers shared by the operator functions ---------------------------------------------------

// The result variable written through the generic parameter functions (it starts with the head).
inline Parameter *result_parameter(Variable *result) {
    return reinterpret_cast<Parameter *>(result);
}

// True when the first `count` entries exist and are non-null. An equation's parameter count can
// change apart from its operator, so an array shorter than the operator reads counts as missing
// parameters rather than being read past its end.
inline bool has_parameters(Parameter *const *parameters, int32_t numParameters, int32_t count) {
    if (parameters == nullptr || numParameters < count) return false;
    for (int32_t index = 0; index < count; ++index) {
        if (parameters[index] == nullptr) return false;
    }
    return true;
}

// One read of a parameter, in the form the computation takes it.
template <typename T>
T read_operand(Parameter *parameter);
template <>
inline int32_t read_operand<int32_t>(Parameter *parameter) {
    return KVAP_GetInteger(parameter);
}
template <>
inline double read_operand<double>(Parameter *parameter) {
    return KVAP_GetDouble(parameter);
}

inline void write_result(Variable *result, int32_t integer) {
    KVAP_SetInteger(result_parameter(result), integer);
}
inline void write_result(Variable *result, double number) {
    KVAP_SetDouble(result_parameter(result), number);
}

template <typename R, typename... A, std::size_t... I>
R read_and_compute(R (*compute)(A...), Parameter *const *parameters, std::index_sequence<I...>) {
    // A braced initialiser evaluates its elements left to right, so the reads keep their order
    // (the arguments of a plain call may be read in any order).
    const std::tuple<A...> operands{read_operand<A>(parameters[I])...};
    return std::apply(compute, operands);
}

template <typename R, typename... A>
int32_t apply_computation(R (*compute)(A...), Variable *result, int32_t numParameters,
                          Parameter **parameters) {
    if (!has_parameters(parameters, numParameters, sizeof...(A))) return 0;
    write_result(result, read_and_compute(compute, parameters, std::index_sequence_for<A...>{}));
    return 1;
}

// The computation with every read and the write taken on the direct paths, for a computation
// on doubles: false when one of them cannot be. A direct read calls nothing the host sees, so
// after a false the operation can start again through the general path and read each
// parameter once more with the same result.
template <typename... A, std::size_t... I>
bool compute_doubles_directly(double (*compute)(A...), Variable *result,
                              Parameter *const *parameters, std::index_sequence<I...>) {
    double operands[sizeof...(A)];
    // The fold reads left to right and stops at the first read that cannot be direct.
    if (!(read_double_directly(parameters[I], &operands[I]) && ...)) return false;
    return result != nullptr &&
           write_double_directly(result_parameter(result), compute(operands[I]...));
}

template <auto compute>
[[gnu::noinline]] int32_t computed_operator_in_general(Variable *result, int32_t numParameters,
                                                       Parameter **parameters) {
    return apply_computation(compute, result, numParameters, parameters);
}

template <typename R, typename... A>
constexpr bool on_doubles(R (*)(A...)) {
    return std::is_same_v<R, double> && (std::is_same_v<A, double> && ...);
}

template <typename R, typename... A>
constexpr std::size_t arity_of(R (*)(A...)) {
    return sizeof...(A);
}

// The operator function of a plain computation: tests its parameters for null, reads each one
// once in order (as integer or double, by the computation's argument types), writes the result
// once (integer or double, by its return type) and returns 1. A computation on doubles first
// tries the direct paths, which call nothing and so need no stack frame.
template <auto compute>
[[gnu::flatten]] int32_t computed_operator(Variable *result, int32_t numParameters,
                                           Parameter **parameters) {
    if constexpr (on_doubles(compute)) {
        constexpr std::size_t arity = arity_of(compute);
        if (!has_parameters(parameters, numParameters, arity)) return 0;
        if (compute_doubles_directly(compute, result, parameters,
                                     std::make_index_sequence<arity>{})) {
            return 1;
        }
        return computed_operator_in_general<compute>(result, numParameters, parameters);
    } else {
        return apply_computation(compute, result, numParameters, parameters);
    }
}

}  // namespace zteqm
