// Parameters and variables: the built-in parameter types, value access, host callbacks, copies.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "test_host.h"

namespace {

using Parameters = testhost::Library;
using std::string;

int getCalls = 0;
double nextValue = 0.0;
// A host get callback that brings the variable up to date the way hosts are told to.
void refresh(Parameter *parameter, void *userData) {
    ++getCalls, *static_cast<void **>(userData) = userData;
    KVAP_SetDouble(parameter, nextValue);
}

Variable *as_variable(Parameter *parameter) { return reinterpret_cast<Variable *>(parameter); }
Parameter *variable_of(const char *valueType) {
    Parameter *parameter = KVAP_New(ZTEQM_PARAMETER_TEMPORARY);
    KVAP_SetDataTypeName(parameter, valueType);
    return parameter;
}

TEST_F(Parameters, EachBuiltInTypeMakesHoldsPrintsAndCopiesItsObjects) {
    const char *vector = "     1.000      2.500      0.000      0.000";
    for (int32_t id : {1, 2, 3, 4, 5, 7}) {
        SCOPED_TRACE(id);
        const bool literal = id == ZTEQM_PARAMETER_LITERAL;
        Parameter *parameter = KVAP_New(id);
        EXPECT_EQ(KVAP_GetTypeName(parameter) + std::to_string(KVAP_GetTypeID(parameter)),
                  KVAP_NameOfID(id) + std::to_string(id));
        // A literal holds 10 as a double; a variable's value has no type and ignores writes.
        KVAP_SetInteger(parameter, 7);
        EXPECT_EQ(KVAP_GetDouble(parameter) + KVAP_GetInteger(parameter), literal ? 14 : 0);
        KVAP_SetDataTypeID(parameter, ZTEQM_VALUE_FLOAT4), KVAP_SetDataTypeName(parameter, nullptr);
        KVAP_SetString(parameter, "speed", 0);  // a literal's "name" is its value
        KVAP_SetString(parameter, "1 2.5", 1), KVAP_SetString(parameter, nullptr, 1);
        KVAP_SetEnabled(parameter, 1);
        Parameter *copy = KVAP_CopyParameter(parameter);
        KVAP_SetString(parameter, "9", 1);  // the copy owns its block
        KVAP_Delete(parameter);
        char *name = nullptr, *text = nullptr;
        KVAP_GetString(copy, &text, 1), KVAP_GetString(copy, &name, 0);
        EXPECT_EQ(string(text) + "|" + name + "|" + std::to_string(KVAP_GetEnabled(copy)),
                  string(vector) + "|" + (literal ? vector : "speed") + "|1");
        KVAP_Delete(copy);
    }
}

// Bound memory is read raw before anything else; else the get callback refreshes the value
// before each number read, never before a text read; writes reach neither.
TEST_F(Parameters, BoundMemoryThenTheGetCallbackServeReads) {
    Parameter *parameter = variable_of("double");
    Variable *variable = as_variable(parameter);
    double memory = 2.5;
    void *userData = nullptr;
    KVAP_SetVariableGetFunc(variable, refresh), KVAP_SetVariableUserData(variable, &userData);
    KVAP_SetVariableAddress(variable, &memory);
    KVAP_SetDouble(parameter, 8), KVAP_SetInteger(parameter, 3),
        KVAP_SetAddress(parameter, &getCalls);
    EXPECT_EQ(KVAP_GetVariableValue(variable)->data.p == &getCalls ? KVAP_GetDouble(parameter) : 0,
              2.5);
    EXPECT_EQ(reinterpret_cast<uint64_t>(KVAP_GetAddress(parameter)), std::bit_cast<uint64_t>(2.5));
    memory = 3.0000000000000004;  // read afresh each time; its pattern ends in ...0001
    EXPECT_EQ(KVAP_GetInteger(parameter) + getCalls, 1);

    KVAP_SetVariableAddress(variable, nullptr), nextValue = 2.5;
    EXPECT_EQ(KVAP_GetDouble(parameter) + (userData == &userData), 3.5);
    EXPECT_EQ(KVAP_GetInteger(parameter), 0);  // raw bits after the callback
    EXPECT_EQ(reinterpret_cast<uint64_t>(KVAP_GetAddress(parameter)), std::bit_cast<uint64_t>(2.5));
    KVAP_SetDataTypeName(parameter, "int"), nextValue = 2.7;  // converted through the type
    EXPECT_EQ(KVAP_GetDouble(parameter) + KVAP_GetInteger(parameter), 4.0);
    char *text = nullptr;
    KVAP_GetString(parameter, &text, 1);
    EXPECT_EQ(text + std::to_string(getCalls), "25");
    KVAP_Delete(parameter);
}

// Regression: relabelling and the variable functions never give an object another layout nor
// write past its block; a literal's or a reference's is far smaller than a variable's.
TEST_F(Parameters, RelabellingKeepsTheValueAndTheLayout) {
    Parameter *variable = variable_of("double");
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    Parameter *reference = KVAP_New(ZTEQM_PARAMETER_EQUATION);
    auto label = [&] {
        return KVAP_GetTypeName(variable) + std::to_string(variable->typeId) + ",";
    };
    KVAP_SetDouble(variable, 1.25), KVAP_SetTypeName(variable, "No Such Type");
    string seen = label();
    KVAP_SetTypeID(variable, 5), KVAP_SetTypeName(variable, nullptr), seen += label();
    KVAP_RegisterParameterType(20, "Temporary", 1, 0, 0, 0, 0, 0, 0);
    KVAP_SetTypeID(variable, 20), seen += label();  // the first identifier under the name
    KVAP_SetTypeID(variable, 50), seen += label();  // no type bears it: no name
    KVAP_SetVariableType(as_variable(variable), ZTEQM_PARAMETER_NODE_ATTRIBUTE), seen += label();
    KVAP_SetVariableTypeName(as_variable(variable), "GLSL Shader"), KVAP_SetTypeID(variable, 1);
    KVAP_SetVariableType(as_variable(variable), 6), seen += label();
    EXPECT_EQ(seen, "No Such Type0,App Variable5,Temporary2,50,4,GLSL Shader7,");
    EXPECT_EQ(KVAP_GetDouble(variable) + KVAP_GetVariableType(as_variable(variable)), 8.25);

    auto bytes = [&] {
        return string(reinterpret_cast<char *>(literal), sizeof(LiteralParameter)) +
               string(reinterpret_cast<char *>(reference), sizeof(EquationParameter));
    };
    const string before = bytes();
    for (Parameter *other : {literal, reference}) {
        for (const char *name : {"Temporary", "No Such", "Equation"}) KVAP_SetTypeName(other, name);
        for (int32_t id : {1, 2, 4, 6, 50}) KVAP_SetTypeID(other, id);
        Variable *asVariable = as_variable(other);
        KVAP_SetVariableName(asVariable, string(1500, 'z').c_str());
        KVAP_SetVariableAddress(asVariable, asVariable), KVAP_SetVariableDefaults(asVariable);
        KVAP_SetVariableGetFunc(asVariable, refresh), KVAP_SetVariableType(asVariable, 2);
        KVAP_SetVariableUserData(asVariable, asVariable);
        EXPECT_TRUE(!KVAP_GetVariableName(asVariable) && !KVAP_GetVariableAddress(asVariable) &&
                    !KVAP_GetVariableValue(asVariable));
    }
    EXPECT_EQ(bytes(), before);
    KVAP_Delete(variable);
    KVAP_SetDataTypeName(literal, "string"), KVAP_SetString(literal, "text", 1);
    KVAP_FreeVariable(as_variable(literal)), KVAP_Delete(reference);  // by their own layouts
}

// A copy has a block of its own or is not made; setting a value copies it, also from the target
// itself or an alias of its block.
TEST_F(Parameters, CopiesOwnTheirBlocksOrAreRefusedWithoutMemory) {
    Parameter *variable = variable_of("string");
    KVAP_SetString(variable, "payload", 1);
    for (long allowed : {0, 1}) {  // no object, or an object without its block
        testhost::fail_after(allowed);
        EXPECT_EQ(KVAP_CopyParameter(variable), nullptr);
    }
    testhost::fail_after(-1);

    Parameter *target = variable_of("float4");
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    KVAP_GetParameterTypeSetValueFunc(1)(literal, KVAP_GetValue(variable));
    const ParameterSetValueFunc setValue = KVAP_GetParameterTypeSetValueFunc(2);
    setValue(target, KVAP_GetValue(variable));
    KVAP_Delete(variable);
    Value alias = *KVAP_GetValue(target);
    setValue(target, KVAP_GetValue(target)), setValue(target, &alias), setValue(target, nullptr);
    EXPECT_EQ(string(static_cast<char *>(KVAP_GetAddress(target))) +
                  static_cast<char *>(KVAP_GetAddress(literal)),
              "payloadpayload");
    KVAP_Delete(target), KVAP_Delete(literal);
}

// Defaults make an unbound unnamed double and release the value's block, leaving the head and
// the value text. An object whose type was unregistered keeps only its fast path.
TEST_F(Parameters, VariablesFromNewToFreeAndObjectsOfAnUnregisteredType) {
    Variable *variable = KVAP_NewVariable();
    auto *parameter = reinterpret_cast<Parameter *>(variable);
    double memory = 4.25;
    KVAP_SetVariableTypeName(variable, "Temporary"), KVAP_SetEnabled(parameter, 1);
    KVAP_SetVariableName(variable, "name"), KVAP_SetVariableGetFunc(variable, refresh);
    KVAP_SetVariableUserData(variable, &memory), KVAP_SetDataTypeName(parameter, "float4x4");
    std::strcpy(variable->valueText, "kept");
    KVAP_SetVariableDefaults(variable), KVAP_SetVariableDefaults(variable);
    EXPECT_EQ(string(KVAP_GetDataTypeName(parameter)) + KVAP_GetVariableName(variable) + "," +
                  KVAP_GetVariableTypeName(variable) + std::to_string(KVAP_GetEnabled(parameter)) +
                  variable->valueText,
              "double,Temporary1kept");
    EXPECT_TRUE(!KVAP_GetVariableAddress(variable) && !variable->getFunc && !variable->userData);
    EXPECT_EQ(KVAP_GetDouble(parameter), 0.0);
    KVAP_FreeVariable(variable);
    // A reference freed as a variable is forgotten by the library too: stopping reads nothing.
    KVAP_FreeVariable(reinterpret_cast<Variable *>(KVAP_New(ZTEQM_PARAMETER_EQUATION)));

    Parameter *orphan = variable_of("double");
    KVAP_SetDouble(orphan, 4.0), KVAP_UnregisterParameterType(ZTEQM_PARAMETER_TEMPORARY);
    KVAP_SetDouble(orphan, 9.0);
    char *text = nullptr;
    KVAP_GetString(orphan, &text, 1);
    EXPECT_TRUE(!text && !KVAP_GetValue(orphan));
    EXPECT_EQ(KVAP_GetDouble(orphan) + KVAP_GetDataTypeID(orphan), 0);
    KVAP_SetVariableAddress(as_variable(orphan), &memory), KVAP_Delete(orphan);
    EXPECT_EQ(KVAP_GetDouble(orphan) + testhost::is_live(orphan), 4.25 + 1);
    KVAP_FreeVariable(as_variable(orphan));

    // Null objects are refused everywhere.
    KVAP_SetEnabled(nullptr, 1), KVAP_FreeVariable(nullptr), KVAP_SetVariableDefaults(nullptr);
    KVAP_SetVariableName(nullptr, "name"), KVAP_GetString(nullptr, &text, 1);
    KVAP_GetString(orphan = KVAP_New(ZTEQM_PARAMETER_LITERAL), nullptr, 1), KVAP_Delete(orphan);
    EXPECT_EQ(KVAP_GetEnabled(nullptr) + KVAP_GetInteger(nullptr) + KVAP_GetDouble(nullptr), 0);
    EXPECT_EQ(KVAP_GetAddress(nullptr), KVAP_GetDataTypeName(nullptr));
    EXPECT_TRUE(!KVAP_CopyParameter(nullptr) && !KVAP_GetVariableValue(nullptr) &&
                !KVAP_GetVariableName(nullptr));
}

}  // namespace
