// Operands for calling operator functions directly.
#include "operand_set.h"

#include <gtest/gtest.h>

namespace testhost {

namespace {

constexpr int32_t kLiteral = 1;
constexpr int32_t kTemporary = 2;

}  // namespace

OperandSet::~OperandSet() {
    for (Parameter *parameter : parameters_) KVAP_Delete(parameter);
    for (Variable *variable : variables_) KVAP_FreeVariable(variable);
}

Parameter *OperandSet::typed(const char *valueType) {
    Parameter *literal = KVAP_New(kLiteral);
    EXPECT_NE(literal, nullptr);
    if (literal == nullptr) return nullptr;
    parameters_.push_back(literal);
    KVAP_SetDataTypeName(literal, valueType);
    return literal;
}

Parameter *OperandSet::number(double value) {
    Parameter *literal = typed("double");
    KVAP_SetDouble(literal, value);
    return literal;
}

Parameter *OperandSet::integer(int32_t value) {
    Parameter *literal = typed("int");
    KVAP_SetInteger(literal, value);
    return literal;
}

Parameter *OperandSet::text(const char *value) {
    Parameter *literal = typed("string");
    KVAP_SetString(literal, value, 1);
    return literal;
}

Parameter *OperandSet::address(void *value) {
    Parameter *literal = typed("address");
    KVAP_SetAddress(literal, value);
    return literal;
}

Parameter *OperandSet::recorded(const char *label, double value, const char *valueType) {
    Parameter *variable = KVAP_New(kTemporary);
    EXPECT_NE(variable, nullptr);
    if (variable == nullptr) return nullptr;
    parameters_.push_back(variable);
    if (valueType != nullptr) {
        KVAP_SetDataTypeName(variable, valueType);
        KVAP_SetDouble(variable, value);
    }
    recordings_.push_back(Recording{this, label, {}});
    auto *asVariable = reinterpret_cast<Variable *>(variable);
    KVAP_SetVariableGetFunc(asVariable, on_read);
    KVAP_SetVariableUserData(asVariable, &recordings_.back());
    return variable;
}

void OperandSet::feed(Parameter *recordedParameter, std::initializer_list<double> values) {
    auto *recording =
        static_cast<Recording *>(reinterpret_cast<Variable *>(recordedParameter)->userData);
    recording->pending.insert(recording->pending.end(), values);
}

void OperandSet::on_read(Parameter *parameter, void *userData) {
    auto *recording = static_cast<Recording *>(userData);
    recording->owner->log_.push_back(recording->label);
    if (recording->pending.empty()) return;
    KVAP_SetDouble(parameter, recording->pending.front());
    recording->pending.pop_front();
}

Variable *OperandSet::result(const char *valueType, double initial) {
    Variable *variable = KVAP_NewVariable();
    EXPECT_NE(variable, nullptr);
    if (variable == nullptr) return nullptr;
    variables_.push_back(variable);
    auto *asParameter = reinterpret_cast<Parameter *>(variable);
    KVAP_SetTypeName(asParameter, "Temporary");
    KVAP_SetVariableDefaults(variable);
    KVAP_SetDataTypeName(asParameter, valueType);
    KVAP_SetDouble(asParameter, initial);
    return variable;
}

int32_t call_operator(const char *name, Variable *result, std::vector<Parameter *> parameters) {
    OperatorFunc func = KVAOP_GetFunc(KVAOP_IDOfName(name));
    EXPECT_NE(func, nullptr) << name;
    if (func == nullptr) return -1;
    return func(result, static_cast<int32_t>(parameters.size()), parameters.data());
}

double result_double(Variable *result) {
    return KVAP_GetDouble(reinterpret_cast<Parameter *>(result));
}

int32_t result_integer(Variable *result) {
    return KVAP_GetInteger(reinterpret_cast<Parameter *>(result));
}

namespace {

std::vector<Parameter *> recorded_parameters(OperandSet &operands, int32_t count) {
    std::vector<Parameter *> parameters;
    for (int32_t index = 0; index < count; ++index) {
        parameters.push_back(operands.recorded(std::to_string(index).c_str(), 1.0, "int"));
    }
    return parameters;
}

}  // namespace

void expect_null_parameters_refused(const char *name) {
    const int32_t count = KVAOP_GetNumParameters(KVAOP_IDOfName(name));
    ASSERT_GT(count, 0) << name;
    for (int32_t missing = 0; missing < count; ++missing) {
        OperandSet operands;
        Variable *result = operands.result("double", 42.0);
        std::vector<Parameter *> parameters = recorded_parameters(operands, count);
        parameters[missing] = nullptr;
        EXPECT_EQ(call_operator(name, result, parameters), 0) << name << " without " << missing;
        EXPECT_TRUE(operands.reads().empty()) << name << " without " << missing;
        EXPECT_EQ(result_double(result), 42.0) << name << " without " << missing;
    }
}

void expect_each_parameter_read_once_in_order(const char *name) {
    const int32_t count = KVAOP_GetNumParameters(KVAOP_IDOfName(name));
    ASSERT_GT(count, 0) << name;
    OperandSet operands;
    Variable *result = operands.result();
    std::vector<Parameter *> parameters = recorded_parameters(operands, count);
    std::vector<std::string> expected;
    for (int32_t index = 0; index < count; ++index) expected.push_back(std::to_string(index));
    EXPECT_EQ(call_operator(name, result, parameters), 1) << name;
    EXPECT_EQ(operands.reads(), expected) << name;
}

}  // namespace testhost
