// Parameters and variables: the built-in parameter types, value access, host callbacks, copies.
#include <gtest/gtest.h>

#include "test_parameters.h"
#include "value_cell.h"

namespace {

using Parameters = testhost::Library;
using std::string;

int getCalls = 0;
void *lastUserData = nullptr;
double nextValue = 0.0;
// A host get callback that brings the variable up to date the way hosts are told to.
void refresh(Parameter *parameter, void *userData) {
    ++getCalls, lastUserData = userData;
    KVAP_SetDouble(parameter, nextValue);
}

Variable *as_variable(Parameter *parameter) { return reinterpret_cast<Variable *>(parameter); }
Parameter *variable_of(const char *valueType) {
    Parameter *parameter = KVAP_New(ZTEQM_PARAMETER_TEMPORARY);
    KVAP_SetDataTypeName(parameter, valueType);
    return parameter;
}
uint64_t bits_of(double number) {
    uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}
template <typename T>
string bytes_of(const void *object) {
    return string(static_cast<const char *>(object), sizeof(T));
}

TEST_F(Parameters, EachBuiltInTypeMakesHoldsPrintsAndCopiesItsObjects) {
    const char *vector = "     1.000      2.500      0.000      0.000";
    for (int32_t id : {1, 2, 3, 4, 5, 7}) {
        SCOPED_TRACE(id);
        const bool literal = id == ZTEQM_PARAMETER_LITERAL;
        Parameter *parameter = KVAP_New(id);
        EXPECT_EQ(KVAP_GetTypeID(parameter), id);
        EXPECT_STREQ(KVAP_GetTypeName(parameter), KVAP_NameOfID(id));
        // A literal holds 10 as a double; a variable's value has no type and ignores writes.
        KVAP_SetInteger(parameter, 7);
        EXPECT_EQ(KVAP_GetDouble(parameter) + KVAP_GetInteger(parameter), literal ? 14 : 0);
        EXPECT_EQ(KVAP_GetDataTypeID(parameter), literal ? ZTEQM_VALUE_DOUBLE : 0);
        KVAP_SetDataTypeID(parameter, ZTEQM_VALUE_FLOAT4);
        KVAP_SetDataTypeName(parameter, nullptr);
        KVAP_SetString(parameter, "speed", 0);  // a literal's "name" is its value
        KVAP_SetString(parameter, "1 2.5", 1);
        KVAP_SetString(parameter, nullptr, 1);
        KVAP_SetEnabled(parameter, 1);
        Parameter *copy = KVAP_CopyParameter(parameter);
        KVAP_SetString(parameter, "9", 1);  // the copy owns its block
        KVAP_Delete(parameter);
        char *name = nullptr, *text = nullptr;
        KVAP_GetString(copy, &text, 1);
        KVAP_GetString(copy, &name, 0);
        EXPECT_STREQ(text, vector);
        EXPECT_STREQ(name, literal ? vector : "speed");
        EXPECT_EQ(KVAP_GetEnabled(copy), 1);
        KVAP_Delete(copy);
    }
    // A host constructor that leaves the head empty still gets it filled; failures give null.
    KVAP_RegisterParameterType(
        20, "Host", 1,
        [](int32_t) { return static_cast<Parameter *>(_KVAMEM_AllocZ(sizeof(Variable), 0, 0)); },
        KVAP_GetParameterTypeDestructorFunc(2), nullptr, nullptr, nullptr, nullptr);
    KVAP_RegisterParameterType(
        21, "Failing", 1, [](int32_t) -> Parameter * { return nullptr; }, nullptr, nullptr, nullptr,
        nullptr, nullptr);
    Parameter *host = KVAP_New(20);
    EXPECT_EQ(string(KVAP_GetTypeName(host)) + std::to_string(KVAP_GetTypeID(host)), "Host20");
    KVAP_Delete(host);
    EXPECT_EQ(KVAP_New(21), nullptr);
    testhost::fail_after(0);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_LITERAL), KVAP_New(ZTEQM_PARAMETER_TEMPORARY));
}

// Bound memory is read raw before anything else; else the get callback refreshes the value
// before each number read, never before a text read; writes reach neither.
TEST_F(Parameters, BoundMemoryThenTheGetCallbackServeReads) {
    Parameter *parameter = variable_of("double");
    Variable *variable = as_variable(parameter);
    double memory = 2.5;
    KVAP_SetVariableGetFunc(variable, refresh);
    KVAP_SetVariableUserData(variable, &memory);
    KVAP_SetVariableAddress(variable, &memory);
    KVAP_SetDouble(parameter, 8.0);
    KVAP_SetInteger(parameter, 3);
    KVAP_SetAddress(parameter, &getCalls);
    EXPECT_EQ(KVAP_GetVariableValue(variable)->data.p, &getCalls);
    EXPECT_EQ(KVAP_GetDouble(parameter), 2.5);
    EXPECT_EQ(reinterpret_cast<uint64_t>(KVAP_GetAddress(parameter)), bits_of(2.5));
    memory = 3.0000000000000004;  // read afresh each time; its pattern ends in ...0001
    EXPECT_EQ(KVAP_GetInteger(parameter), 1);
    EXPECT_EQ(getCalls, 0);

    KVAP_SetVariableAddress(variable, nullptr);
    nextValue = 2.5;
    EXPECT_EQ(KVAP_GetDouble(parameter), 2.5);
    EXPECT_EQ(lastUserData, &memory);
    EXPECT_EQ(KVAP_GetInteger(parameter), 0);  // raw bits after the callback
    EXPECT_EQ(reinterpret_cast<uint64_t>(KVAP_GetAddress(parameter)), bits_of(2.5));
    KVAP_SetDataTypeName(parameter, "int");  // the double read converts through the type
    nextValue = 2.7;
    EXPECT_EQ(KVAP_GetDouble(parameter) + KVAP_GetInteger(parameter), 4.0);
    char *text = nullptr;
    KVAP_GetString(parameter, &text, 1);
    EXPECT_STREQ(text, "2");
    // An int bound to an int reads as the number; as a double it gives its raw bits.
    int32_t count = 7;
    KVAP_SetVariableAddress(variable, &count);
    EXPECT_EQ(bits_of(KVAP_GetDouble(parameter)) + KVAP_GetInteger(parameter), 7u + 7u);
    EXPECT_EQ(getCalls, 5);
    KVAP_Delete(parameter);
}

// Regression: relabelling and the variable functions never give an object another layout nor
// write past its block; a literal's or a reference's is far smaller than a variable's.
TEST_F(Parameters, RelabellingKeepsTheValueAndTheLayout) {
    testhost::register_reference_type();
    Parameter *variable = variable_of("double");
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    Parameter *reference = KVAP_New(ZTEQM_PARAMETER_EQUATION);
    KVAP_SetDouble(variable, 1.25);
    KVAP_SetTypeName(variable, "No Such Type");
    EXPECT_EQ(KVAP_GetTypeName(variable) + std::to_string(KVAP_GetTypeID(variable)),
              "No Such Type0");
    KVAP_SetTypeID(variable, 5);
    KVAP_SetTypeName(variable, nullptr);
    EXPECT_STREQ(KVAP_GetTypeName(variable), "App Variable");
    KVAP_RegisterParameterType(20, "Temporary", 1, 0, 0, 0, 0, 0, 0);
    KVAP_SetTypeID(variable, 20);  // the first identifier registered under the name
    EXPECT_EQ(KVAP_GetTypeID(variable), ZTEQM_PARAMETER_TEMPORARY);
    KVAP_SetTypeID(variable, 50);  // no type bears it: no name
    EXPECT_EQ(KVAP_GetTypeName(variable) + std::to_string(KVAP_GetTypeID(variable)), "50");
    KVAP_SetVariableType(as_variable(variable), ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    EXPECT_EQ(KVAP_GetVariableType(as_variable(variable)), ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    KVAP_SetVariableTypeName(as_variable(variable), "GLSL Shader");
    KVAP_SetTypeID(variable, 1);
    KVAP_SetVariableType(as_variable(variable), 6);
    EXPECT_EQ(KVAP_GetTypeID(variable), ZTEQM_PARAMETER_GLSL_SHADER);
    EXPECT_EQ(KVAP_GetDouble(variable), 1.25);

    const string literalBytes = bytes_of<LiteralParameter>(literal);
    const string referenceBytes = bytes_of<EquationParameter>(reference);
    for (Parameter *other : {literal, reference}) {
        for (const char *name : {"Temporary", "No Such Type", "Literal", "Equation"}) {
            KVAP_SetTypeName(other, name);
        }
        for (int32_t id : {1, 2, 4, 6, 50}) KVAP_SetTypeID(other, id);
        Variable *asVariable = as_variable(other);
        KVAP_SetVariableName(asVariable, string(1500, 'z').c_str());
        KVAP_SetVariableAddress(asVariable, asVariable);
        KVAP_SetVariableGetFunc(asVariable, refresh);
        KVAP_SetVariableUserData(asVariable, asVariable);
        KVAP_SetVariableDefaults(asVariable);
        KVAP_SetVariableType(asVariable, 2);
        EXPECT_EQ(KVAP_GetVariableName(asVariable), KVAP_GetVariableAddress(asVariable));
        EXPECT_EQ(KVAP_GetVariableValue(asVariable), nullptr);
    }
    EXPECT_EQ(bytes_of<LiteralParameter>(literal), literalBytes);
    EXPECT_EQ(bytes_of<EquationParameter>(reference), referenceBytes);
    KVAP_Delete(variable);
    KVAP_SetDataTypeName(literal, "string");
    KVAP_SetString(literal, "text", 1);
    KVAP_FreeVariable(as_variable(literal));  // each released by its own layout
    KVAP_FreeVariable(as_variable(reference));
}

TEST_F(Parameters, CopiesOwnTheirBlocksStartUnboundAndAreRefusedWithoutMemory) {
    Parameter *variable = variable_of("string");
    KVAP_SetString(variable, "payload", 1);
    KVAP_SetVariableAddress(as_variable(variable), &getCalls);
    KVAP_SetVariableGetFunc(as_variable(variable), refresh);
    KVAP_SetVariableUserData(as_variable(variable), &getCalls);
    Variable *copy = as_variable(KVAP_CopyParameter(variable));
    EXPECT_TRUE(!copy->address && !copy->getFunc && !copy->userData && !copy->valueText[0]);
    KVAP_FreeVariable(copy);
    const long live = testhost::live_blocks();
    for (long allowed : {0, 1}) {  // no object, or an object without its block
        testhost::fail_after(allowed);
        EXPECT_EQ(KVAP_CopyParameter(variable), nullptr);
    }
    testhost::fail_after(-1);
    EXPECT_EQ(testhost::live_blocks(), live);

    // Setting a value gives the target a block of its own; itself or an alias keeps it intact.
    Parameter *target = variable_of("float4");
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    KVAP_GetParameterTypeSetValueFunc(1)(literal, KVAP_GetValue(variable));
    const ParameterSetValueFunc setValue = KVAP_GetParameterTypeSetValueFunc(2);
    setValue(target, KVAP_GetValue(variable));
    KVAP_Delete(variable);
    setValue(target, KVAP_GetValue(target));
    Value alias = *KVAP_GetValue(target);
    setValue(target, &alias);
    setValue(target, nullptr);
    EXPECT_STREQ(static_cast<char *>(KVAP_GetAddress(target)), "payload");
    EXPECT_STREQ(static_cast<char *>(KVAP_GetAddress(literal)), "payload");
    KVAP_Delete(target);
    KVAP_Delete(literal);

    // An equation reference refers to the same equation under the same name.
    testhost::register_reference_type();
    auto *reference = reinterpret_cast<EquationParameter *>(KVAP_New(ZTEQM_PARAMETER_EQUATION));
    reference->equation = reinterpret_cast<Equation *>(&getCalls);  // never dereferenced
    std::strcpy(reference->referenceName, "sum");
    auto *referenceCopy = reinterpret_cast<EquationParameter *>(
        KVAP_CopyParameter(reinterpret_cast<Parameter *>(reference)));
    EXPECT_EQ(referenceCopy->equation, reference->equation);
    EXPECT_STREQ(referenceCopy->referenceName, "sum");
    KVAP_Delete(reinterpret_cast<Parameter *>(reference));
    KVAP_Delete(reinterpret_cast<Parameter *>(referenceCopy));
}

TEST_F(Parameters, VariablesFromNewToFreeAndObjectsOfAnUnregisteredType) {
    Variable *variable = nullptr;
    {
        testhost::PoisonedAllocations poisoned;
        variable = KVAP_NewVariable();
        EXPECT_EQ(bytes_of<Variable>(variable), string(sizeof(Variable), '\0'));
        testhost::fail_after(0);
        EXPECT_EQ(KVAP_NewVariable(), nullptr);
        testhost::fail_after(-1);
    }
    auto *parameter = reinterpret_cast<Parameter *>(variable);
    // Without a type the value is out of the registry's reach; bound memory still serves.
    KVAP_SetVariableDefaults(variable);
    EXPECT_EQ(KVAP_GetVariableValue(variable)->typeId + KVAP_GetDataTypeID(parameter), 5);
    double memory = 4.25;
    KVAP_SetVariableAddress(variable, &memory);
    EXPECT_EQ(KVAP_GetDouble(parameter), 4.25);

    // Defaults make an unbound unnamed double and release the block the value held; the head
    // and the value text are left as they were.
    KVAP_SetVariableTypeName(variable, "Temporary");
    KVAP_SetEnabled(parameter, 1);
    KVAP_SetVariableName(variable, string(2000, 'a').c_str());
    EXPECT_EQ(string(KVAP_GetVariableName(variable)), string(1023, 'a'));
    KVAP_SetVariableName(variable, "short");
    KVAP_SetVariableName(variable, nullptr);
    EXPECT_EQ(variable->name[6] + variable->name[1022], 0);  // no trace of the longer name
    KVAP_SetVariableGetFunc(variable, refresh);
    KVAP_SetVariableUserData(variable, &memory);
    KVAP_SetDataTypeName(parameter, "float4x4");
    std::strcpy(variable->valueText, "kept");
    const long live = testhost::live_blocks();
    KVAP_SetVariableDefaults(variable);
    KVAP_SetVariableDefaults(variable);
    EXPECT_EQ(testhost::live_blocks(), live - 1);
    EXPECT_STREQ(KVAP_GetDataTypeName(parameter), "double");
    EXPECT_EQ(KVAP_GetDouble(parameter), 0.0);
    EXPECT_STREQ(KVAP_GetVariableName(variable), "");
    EXPECT_TRUE(!KVAP_GetVariableAddress(variable) && !variable->getFunc && !variable->userData);
    EXPECT_EQ(KVAP_GetVariableTypeName(variable) + std::to_string(KVAP_GetEnabled(parameter)),
              "Temporary1");
    EXPECT_STREQ(variable->valueText, "kept");
    KVAP_SetDataTypeName(parameter, "string");
    KVAP_SetString(parameter, "text", 1);
    KVAP_FreeVariable(variable);

    // An object whose type was unregistered keeps only its fast path and has no destructor.
    Parameter *orphan = variable_of("double");
    KVAP_SetDouble(orphan, 4.0);
    KVAP_UnregisterParameterType(ZTEQM_PARAMETER_TEMPORARY);
    KVAP_SetDouble(orphan, 9.0);
    char *text = nullptr;
    KVAP_GetString(orphan, &text, 1);
    EXPECT_TRUE(!text && !KVAP_GetValue(orphan));
    EXPECT_EQ(KVAP_GetDouble(orphan) + KVAP_GetDataTypeID(orphan), 0);
    KVAP_SetVariableAddress(as_variable(orphan), &memory);
    EXPECT_EQ(KVAP_GetDouble(orphan), 4.25);
    KVAP_Delete(orphan);
    EXPECT_TRUE(testhost::is_live(orphan));
    KVAP_FreeVariable(as_variable(orphan));

    // Null objects are refused everywhere.
    KVAP_SetEnabled(nullptr, 1);
    KVAP_FreeVariable(nullptr);
    KVAP_SetVariableDefaults(nullptr);
    KVAP_SetVariableName(nullptr, "name");
    KVAP_GetString(nullptr, &text, 1);
    KVAP_GetString(orphan = KVAP_New(ZTEQM_PARAMETER_LITERAL), nullptr, 1);
    KVAP_Delete(orphan);
    EXPECT_EQ(KVAP_GetEnabled(nullptr) + KVAP_GetInteger(nullptr) + KVAP_GetDouble(nullptr), 0);
    EXPECT_EQ(KVAP_GetAddress(nullptr), KVAP_GetDataTypeName(nullptr));
    EXPECT_TRUE(!KVAP_CopyParameter(nullptr) && !KVAP_GetVariableValue(nullptr));
    EXPECT_EQ(KVAP_GetVariableName(nullptr), text);
}

}  // namespace
