// The parameter type registry and the generic parameter functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "test_host.h"
#include "test_parameters.h"

using testhost::live_blocks;

namespace {

int getCalls = 0;
Parameter *lastGetParameter = nullptr;
void *lastGetUserData = nullptr;
double nextValue = 0.0;

// A host get callback that brings the variable up to date the way hosts are told to.
void refresh(Parameter *parameter, void *userData) {
    ++getCalls;
    lastGetParameter = parameter;
    lastGetUserData = userData;
    KVAP_SetDouble(parameter, nextValue);
}

// A host type of the variable layout whose constructor leaves the head to the library.
Parameter *new_host_variable(int32_t) {
    return static_cast<Parameter *>(_KVAMEM_AllocZ(sizeof(Variable), nullptr, 0));
}
Parameter *new_nothing(int32_t) { return nullptr; }
void free_host_variable(Parameter *parameter) { KVAMEM_Free(parameter); }
Value *host_variable_value(Parameter *parameter) {
    return &reinterpret_cast<Variable *>(parameter)->value;
}

uint64_t bits_of(double number) {
    uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}

class Parameters : public ::testing::Test {
protected:
    void SetUp() override {
        getCalls = 0;
        lastGetParameter = nullptr;
        lastGetUserData = nullptr;
        nextValue = 0.0;
        testhost::start_library();
    }
    void TearDown() override { KVAEQM_Exit(); }

    // A "Temporary" variable holding a value of the given value type.
    static Parameter *variable_of(const char *valueType) {
        Parameter *parameter = KVAP_New(ZTEQM_PARAMETER_TEMPORARY);
        KVAP_SetDataTypeName(parameter, valueType);
        return parameter;
    }
    static Variable *as_variable(Parameter *parameter) {
        return reinterpret_cast<Variable *>(parameter);
    }
};

TEST_F(Parameters, BuiltInTypesAreRegisteredUnderTheirIdentifiers) {
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    const struct {
        int32_t id;
        const char *name;
        int32_t lvalueEnabled;
    } builtIns[] = {{1, "Literal", 0},        {2, "Temporary", 1},    {3, "Cg Shader", 1},
                    {4, "Node Attribute", 1}, {5, "App Variable", 1}, {7, "GLSL Shader", 1}};
    for (const auto &type : builtIns) {
        SCOPED_TRACE(type.name);
        const ParameterTypeRecord *record = KVAP_GetParameterFactory(type.id);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->typeId, type.id);
        EXPECT_STREQ(KVAP_NameOfID(type.id), type.name);
        EXPECT_EQ(KVAP_IDOfName(type.name), type.id);
        EXPECT_EQ(KVAP_GetParameterTypeLValueEnabled(type.id), type.lvalueEnabled);
        EXPECT_NE(KVAP_GetParameterTypeConstructorFunc(type.id), nullptr);
    }

    // Slot 0 is an all-zero record inside the range; 8 and -1 are outside it.
    const ParameterTypeRecord *empty = KVAP_GetParameterFactory(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(testhost::is_all_zero(empty));
    EXPECT_EQ(KVAP_New(0), nullptr);
    EXPECT_STREQ(KVAP_NameOfID(0), "");
    EXPECT_EQ(KVAP_GetParameterFactory(8), nullptr);
    EXPECT_EQ(KVAP_GetParameterFactory(-1), nullptr);
    EXPECT_EQ(KVAP_NameOfID(8), nullptr);
    EXPECT_EQ(KVAP_GetParameterTypeConstructorFunc(8), nullptr);
    EXPECT_EQ(KVAP_New(-1), nullptr);

    // Names match exactly; 0 answers for everything that matches nothing.
    EXPECT_EQ(KVAP_IDOfName("glsl shader"), 0);
    EXPECT_EQ(KVAP_IDOfName("Literal "), 0);
    EXPECT_EQ(KVAP_IDOfName(nullptr), 0);
    EXPECT_EQ(KVAP_IDOfName(""), 0);
}

TEST_F(Parameters, RegistrationGrowsTheRegistryToTheIdentifier) {
    ParameterTypeRecord *record =
        KVAP_RegisterParameterType(100, "Host", 1, new_host_variable, free_host_variable,
                                   host_variable_value, nullptr, nullptr, nullptr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record, KVAP_GetParameterFactory(100));
    EXPECT_EQ(record->typeId, 100);
    EXPECT_EQ(record->constructorFunc, new_host_variable);
    EXPECT_EQ(KVAP_GetNumTypes(), 101);
    EXPECT_EQ(KVAP_IDOfName("Host"), 100);
    for (int32_t id = 8; id < 100; ++id) {
        EXPECT_TRUE(testhost::is_all_zero(KVAP_GetParameterFactory(id))) << id;
    }
    EXPECT_STREQ(KVAP_NameOfID(7), "GLSL Shader");  // records kept across growth

    // A lower identifier leaves the count alone; an identifier in use is overwritten.
    KVAP_RegisterParameterType(50, "Fifty", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr);
    EXPECT_EQ(KVAP_GetNumTypes(), 101);
    KVAP_RegisterParameterType(3, "Replacement", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr);
    EXPECT_EQ(KVAP_IDOfName("Cg Shader"), 0);
    EXPECT_EQ(KVAP_IDOfName("Replacement"), 3);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_CG_SHADER), nullptr);
}

TEST_F(Parameters, RegistrationRefusesANegativeIdentifierOrANullName) {
    EXPECT_EQ(KVAP_RegisterParameterType(-1, "Negative", 0, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr),
              nullptr);
    EXPECT_EQ(KVAP_RegisterParameterType(9, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr),
              nullptr);
    EXPECT_EQ(KVAP_RegisterParameterType(INT32_MAX, "Huge", 0, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr),
              nullptr);
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    EXPECT_EQ(KVAP_IDOfName("Negative"), 0);

    // A registry that cannot grow refuses too, with nothing changed.
    testhost::fail_after(0);
    EXPECT_EQ(KVAP_RegisterParameterType(64, "Beyond", 0, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr),
              nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    EXPECT_STREQ(KVAP_NameOfID(1), "Literal");
}

TEST_F(Parameters, UnregisteringClearsTheRecordButKeepsTheCount) {
    KVAP_UnregisterParameterType(3);
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_CG_SHADER), nullptr);
    EXPECT_EQ(KVAP_IDOfName("Cg Shader"), 0);
    EXPECT_STREQ(KVAP_NameOfID(3), "");
    EXPECT_TRUE(testhost::is_all_zero(KVAP_GetParameterFactory(3)));

    KVAP_UnregisterParameterType(8);
    KVAP_UnregisterParameterType(-1);
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    EXPECT_STREQ(KVAP_NameOfID(4), "Node Attribute");
}

TEST_F(Parameters, ObjectsOfAnUnregisteredTypeKeepOnlyTheirFastPath) {
    Parameter *parameter = variable_of("double");
    KVAP_SetDouble(parameter, 4.0);
    KVAP_UnregisterParameterType(2);

    EXPECT_EQ(KVAP_GetValue(parameter), nullptr);
    EXPECT_EQ(KVAP_GetDouble(parameter), 0.0);
    EXPECT_EQ(KVAP_GetDataTypeID(parameter), 0);
    EXPECT_EQ(KVAP_GetDataTypeName(parameter), nullptr);
    KVAP_SetDouble(parameter, 9.0);
    EXPECT_EQ(as_variable(parameter)->value.data.d, 4.0);
    char *text = nullptr;
    KVAP_GetString(parameter, &text, 1);
    EXPECT_EQ(text, nullptr);

    // Bound memory still serves reads.
    double memory = 6.5;
    KVAP_SetVariableAddress(as_variable(parameter), &memory);
    EXPECT_EQ(KVAP_GetDouble(parameter), 6.5);

    // Without a destructor, deleting releases nothing; the host frees it directly.
    const long live = live_blocks();
    KVAP_Delete(parameter);
    EXPECT_EQ(live_blocks(), live);
    KVAP_FreeVariable(as_variable(parameter));
    EXPECT_EQ(live_blocks(), live - 1);
}

TEST_F(Parameters, NewFillsTheHeadFromTheRegistry) {
    Parameter *temporary = KVAP_New(ZTEQM_PARAMETER_TEMPORARY);
    ASSERT_NE(temporary, nullptr);
    EXPECT_EQ(KVAP_GetTypeID(temporary), ZTEQM_PARAMETER_TEMPORARY);
    EXPECT_STREQ(KVAP_GetTypeName(temporary), "Temporary");
    EXPECT_EQ(KVAP_GetEnabled(temporary), 0);
    // A variable gets no defaults: its value has no type and reads as 0 until it gets one.
    EXPECT_EQ(KVAP_GetDataTypeID(temporary), 0);
    EXPECT_STREQ(KVAP_GetVariableName(as_variable(temporary)), "");
    KVAP_SetInteger(temporary, 7);
    EXPECT_EQ(KVAP_GetInteger(temporary), 0);
    KVAP_SetDataTypeName(temporary, "int");
    KVAP_SetInteger(temporary, 7);
    EXPECT_EQ(KVAP_GetInteger(temporary), 7);
    EXPECT_EQ(KVAP_GetDouble(temporary), 7.0);
    KVAP_Delete(temporary);

    // A host constructor that leaves the head empty still gets it filled.
    KVAP_RegisterParameterType(20, "Host", 1, new_host_variable, free_host_variable,
                               host_variable_value, nullptr, nullptr, nullptr);
    Parameter *host = KVAP_New(20);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(KVAP_GetTypeID(host), 20);
    EXPECT_STREQ(KVAP_GetTypeName(host), "Host");
    KVAP_Delete(host);

    KVAP_RegisterParameterType(21, "Failing", 1, new_nothing, nullptr, nullptr, nullptr, nullptr,
                               nullptr);
    EXPECT_EQ(KVAP_New(21), nullptr);
    testhost::fail_after(0);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_LITERAL), nullptr);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_TEMPORARY), nullptr);
    testhost::fail_after(-1);
}

TEST_F(Parameters, LiteralsHoldTenAsADoubleAndHaveNoNameOfTheirOwn) {
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    ASSERT_NE(literal, nullptr);
    EXPECT_EQ(KVAP_GetDouble(literal), 10.0);
    EXPECT_EQ(KVAP_GetInteger(literal), 10);
    EXPECT_EQ(KVAP_GetDataTypeID(literal), ZTEQM_VALUE_DOUBLE);
    EXPECT_STREQ(KVAP_GetDataTypeName(literal), "double");

    char *asName = nullptr;
    char *asValue = nullptr;
    KVAP_GetString(literal, &asName, 0);
    KVAP_GetString(literal, &asValue, 1);
    EXPECT_STREQ(asName, "10.000000");
    EXPECT_EQ(asName, asValue);
    EXPECT_EQ(asName, reinterpret_cast<LiteralParameter *>(literal)->text);

    // Setting the "name" sets the value.
    KVAP_SetString(literal, "2.25", 0);
    EXPECT_EQ(KVAP_GetDouble(literal), 2.25);
    KVAP_SetString(literal, "-1.5", 1);
    EXPECT_EQ(KVAP_GetDouble(literal), -1.5);
    KVAP_SetString(literal, nullptr, 1);
    EXPECT_EQ(KVAP_GetDouble(literal), -1.5);

    // A literal has no get callback path: writes are read back through its value's type.
    KVAP_SetDataTypeID(literal, ZTEQM_VALUE_INT);
    KVAP_SetDouble(literal, 2.7);
    EXPECT_EQ(KVAP_GetInteger(literal), 2);
    EXPECT_STREQ(KVAP_GetDataTypeName(literal), "int");
    KVAP_Delete(literal);
}

TEST_F(Parameters, RelabellingByNameOrIdentifier) {
    Parameter *parameter = KVAP_New(ZTEQM_PARAMETER_TEMPORARY);

    KVAP_SetTypeName(parameter, "No Such Type");
    EXPECT_STREQ(KVAP_GetTypeName(parameter), "No Such Type");
    EXPECT_EQ(KVAP_GetTypeID(parameter), 0);

    KVAP_SetTypeID(parameter, 5);
    EXPECT_EQ(KVAP_GetTypeID(parameter), ZTEQM_PARAMETER_APP_VARIABLE);
    EXPECT_STREQ(KVAP_GetTypeName(parameter), "App Variable");

    // The identifier stored is the first one registered under the type's name.
    KVAP_RegisterParameterType(20, "Temporary", 1, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr);
    KVAP_SetTypeID(parameter, 20);
    EXPECT_EQ(KVAP_GetTypeID(parameter), ZTEQM_PARAMETER_TEMPORARY);
    EXPECT_STREQ(KVAP_GetTypeName(parameter), "Temporary");

    // No type bears identifier 50, so the head carries no name with it.
    KVAP_SetTypeID(parameter, 50);
    EXPECT_EQ(KVAP_GetTypeID(parameter), 50);
    EXPECT_STREQ(KVAP_GetTypeName(parameter), "");

    KVAP_SetTypeName(parameter, "Node Attribute");
    KVAP_SetTypeName(parameter, nullptr);
    EXPECT_EQ(KVAP_GetTypeID(parameter), ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    EXPECT_STREQ(KVAP_GetTypeName(parameter), "Node Attribute");

    // Relabelling changes only the head: the value is kept.
    KVAP_SetTypeName(parameter, "Temporary");
    KVAP_SetDataTypeName(parameter, "double");
    KVAP_SetDouble(parameter, 1.25);
    KVAP_SetTypeName(parameter, "GLSL Shader");
    EXPECT_EQ(KVAP_GetDouble(parameter), 1.25);
    KVAP_Delete(parameter);
}

TEST_F(Parameters, RelabellingNeverGivesAnObjectAnotherLayout) {
    testhost::register_reference_type();
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    Parameter *variable = KVAP_New(ZTEQM_PARAMETER_TEMPORARY);
    Parameter *reference = KVAP_New(ZTEQM_PARAMETER_EQUATION);
    ASSERT_NE(reference, nullptr);

    // A literal's block is far smaller than a variable's: it must never read as one.
    const auto literalBytes = testhost::snapshot(reinterpret_cast<LiteralParameter *>(literal));
    KVAP_SetTypeName(literal, "Temporary");
    KVAP_SetTypeName(literal, "No Such Type");
    KVAP_SetTypeID(literal, 2);
    KVAP_SetTypeID(literal, 6);
    KVAP_SetTypeID(literal, 50);
    EXPECT_EQ(testhost::snapshot(reinterpret_cast<LiteralParameter *>(literal)), literalBytes);

    const auto referenceBytes =
        testhost::snapshot(reinterpret_cast<EquationParameter *>(reference));
    KVAP_SetTypeName(reference, "Literal");
    KVAP_SetTypeID(reference, 4);
    EXPECT_EQ(testhost::snapshot(reinterpret_cast<EquationParameter *>(reference)), referenceBytes);

    KVAP_SetTypeName(variable, "Literal");
    KVAP_SetTypeID(variable, 6);
    KVAP_SetVariableTypeName(as_variable(variable), "Equation");
    KVAP_SetVariableType(as_variable(variable), ZTEQM_PARAMETER_LITERAL);
    EXPECT_EQ(KVAP_GetTypeID(variable), ZTEQM_PARAMETER_TEMPORARY);
    EXPECT_STREQ(KVAP_GetTypeName(variable), "Temporary");

    // Between types of the same layout relabelling works as before.
    KVAP_SetTypeName(literal, "Literal");
    EXPECT_EQ(KVAP_GetTypeID(literal), ZTEQM_PARAMETER_LITERAL);
    KVAP_Delete(literal);
    KVAP_Delete(variable);
    KVAP_Delete(reference);
}

TEST_F(Parameters, BoundMemoryIsReadRawWithoutConversion) {
    Parameter *parameter = variable_of("double");
    double memory = 2.5;
    KVAP_SetVariableAddress(as_variable(parameter), &memory);

    EXPECT_EQ(KVAP_GetDouble(parameter), 2.5);
    // The low 32 bits of the bit pattern of 2.5 (0x4004000000000000).
    EXPECT_EQ(KVAP_GetInteger(parameter), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAP_GetAddress(parameter)), bits_of(2.5));
    // The memory is read afresh each time; this number's pattern ends in ...0001.
    memory = 3.0000000000000004;
    EXPECT_EQ(KVAP_GetInteger(parameter), 1);
    EXPECT_EQ(KVAP_GetDouble(parameter), memory);
    KVAP_Delete(parameter);

    // An int value bound to an int reads as the number; as a double it gives its raw bits.
    Parameter *integer = variable_of("int");
    int32_t count = 7;
    KVAP_SetVariableAddress(as_variable(integer), &count);
    EXPECT_EQ(KVAP_GetInteger(integer), 7);
    double raw;
    const uint64_t sevenBits = 7;
    std::memcpy(&raw, &sevenBits, sizeof raw);
    EXPECT_EQ(bits_of(KVAP_GetDouble(integer)), bits_of(raw));
    count = -3;
    EXPECT_EQ(KVAP_GetInteger(integer), -3);
    KVAP_Delete(integer);

    // Value types that are not refreshed from memory are read as last stored.
    Parameter *text = variable_of("string");
    KVAP_SetString(text, "abc", 1);
    void *block = KVAP_GetAddress(text);
    char other[] = "xyz";
    KVAP_SetVariableAddress(as_variable(text), other);
    EXPECT_EQ(KVAP_GetAddress(text), block);
    KVAP_Delete(text);
}

TEST_F(Parameters, BoundMemoryTakesPrecedenceOverTheGetCallback) {
    Parameter *parameter = variable_of("double");
    KVAP_SetVariableGetFunc(as_variable(parameter), refresh);
    double memory = 2.5;
    KVAP_SetVariableAddress(as_variable(parameter), &memory);
    nextValue = 99.0;

    EXPECT_EQ(KVAP_GetDouble(parameter), 2.5);
    EXPECT_EQ(KVAP_GetInteger(parameter), 0);
    KVAP_GetAddress(parameter);
    EXPECT_EQ(getCalls, 0);

    // Unbinding lets the callback serve reads again.
    KVAP_SetVariableAddress(as_variable(parameter), nullptr);
    EXPECT_EQ(KVAP_GetDouble(parameter), 99.0);
    EXPECT_EQ(getCalls, 1);
    KVAP_Delete(parameter);
}

TEST_F(Parameters, WritesNeverTouchBoundMemory) {
    Parameter *parameter = variable_of("double");
    KVAP_SetVariableGetFunc(as_variable(parameter), refresh);
    double memory = 2.5;
    const double untouched = memory;
    KVAP_SetVariableAddress(as_variable(parameter), &memory);

    KVAP_SetDouble(parameter, 8.0);
    EXPECT_EQ(KVAP_GetVariableValue(as_variable(parameter))->data.d, 8.0);
    EXPECT_EQ(memory, untouched);
    KVAP_SetInteger(parameter, 3);
    KVAP_SetAddress(parameter, &memory);
    EXPECT_EQ(memory, untouched);
    EXPECT_EQ(getCalls, 0);

    // The next read takes the memory again.
    EXPECT_EQ(KVAP_GetDouble(parameter), 2.5);
    EXPECT_EQ(KVAP_GetVariableValue(as_variable(parameter))->data.d, 2.5);
    KVAP_Delete(parameter);
}

TEST_F(Parameters, GetCallbackRefreshesAnUnboundVariableBeforeEachRead) {
    Parameter *parameter = variable_of("double");
    int tag = 0;
    KVAP_SetVariableGetFunc(as_variable(parameter), refresh);
    KVAP_SetVariableUserData(as_variable(parameter), &tag);

    nextValue = 1.5;
    EXPECT_EQ(KVAP_GetDouble(parameter), 1.5);
    EXPECT_EQ(getCalls, 1);
    EXPECT_EQ(lastGetParameter, parameter);
    EXPECT_EQ(lastGetUserData, &tag);

    // The integer and address reads after the callback take the raw bits.
    nextValue = 2.5;
    EXPECT_EQ(KVAP_GetInteger(parameter), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAP_GetAddress(parameter)), bits_of(2.5));
    EXPECT_EQ(getCalls, 3);

    // The double read after the callback converts through the value's type.
    KVAP_SetDataTypeName(parameter, "int");
    nextValue = 2.7;
    EXPECT_EQ(KVAP_GetDouble(parameter), 2.0);
    EXPECT_EQ(KVAP_GetInteger(parameter), 2);
    EXPECT_EQ(getCalls, 5);

    // Text requests never call it.
    char *text = nullptr;
    KVAP_GetString(parameter, &text, 1);
    EXPECT_STREQ(text, "2");
    EXPECT_EQ(getCalls, 5);
    KVAP_Delete(parameter);
}

TEST_F(Parameters, NullParametersReadAsNothingAndNullTextPlacesAreRefused) {
    EXPECT_EQ(KVAP_GetInteger(nullptr), 0);
    EXPECT_EQ(KVAP_GetDouble(nullptr), 0.0);
    EXPECT_EQ(KVAP_GetAddress(nullptr), nullptr);
    EXPECT_EQ(KVAP_GetDataTypeName(nullptr), nullptr);
    EXPECT_EQ(KVAP_CopyParameter(nullptr), nullptr);
    char *text = nullptr;
    KVAP_GetString(nullptr, &text, 1);
    EXPECT_EQ(text, nullptr);

    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    KVAP_GetString(literal, nullptr, 1);
    KVAP_SetDataTypeName(literal, nullptr);
    EXPECT_STREQ(KVAP_GetDataTypeName(literal), "double");
    KVAP_Delete(literal);
}

TEST_F(Parameters, VariableTextIsItsNameOrItsValueAsLastStored) {
    Parameter *parameter = variable_of("double");
    KVAP_SetString(parameter, "speed", 0);
    KVAP_SetString(parameter, "4.5", 1);
    char *name = nullptr;
    KVAP_GetString(parameter, &name, 0);
    EXPECT_STREQ(name, "speed");
    EXPECT_EQ(name, KVAP_GetVariableName(as_variable(parameter)));
    EXPECT_EQ(KVAP_GetDouble(parameter), 4.5);

    // The value text does not read the bound memory.
    double memory = 7.0;
    KVAP_SetVariableAddress(as_variable(parameter), &memory);
    char *text = nullptr;
    KVAP_GetString(parameter, &text, 1);
    EXPECT_STREQ(text, "4.500000");
    EXPECT_EQ(text, as_variable(parameter)->valueText);

    const std::string longName(1500, 'v');
    KVAP_SetString(parameter, longName.c_str(), 0);
    EXPECT_EQ(std::string(KVAP_GetVariableName(as_variable(parameter))), longName.substr(0, 1023));
    KVAP_SetString(parameter, nullptr, 0);
    EXPECT_EQ(std::strlen(KVAP_GetVariableName(as_variable(parameter))), 1023u);

    // A value of no type formats nothing; the pointer still names the (empty) buffer.
    Parameter *untyped = KVAP_New(ZTEQM_PARAMETER_CG_SHADER);
    text = nullptr;
    KVAP_GetString(untyped, &text, 1);
    EXPECT_STREQ(text, "");
    KVAP_Delete(untyped);
    KVAP_Delete(parameter);
}

TEST_F(Parameters, CopiesFollowTheLayoutOfTheSource) {
    // A literal keeps its value, its text and its flag.
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    KVAP_SetDouble(literal, 3.0);
    char *text = nullptr;
    KVAP_GetString(literal, &text, 1);
    KVAP_SetEnabled(literal, 1);
    Parameter *literalCopy = KVAP_CopyParameter(literal);
    ASSERT_NE(literalCopy, nullptr);
    EXPECT_NE(literalCopy, literal);
    EXPECT_EQ(KVAP_GetDouble(literalCopy), 3.0);
    EXPECT_STREQ(KVAP_GetDataTypeName(literalCopy), "double");
    EXPECT_STREQ(reinterpret_cast<LiteralParameter *>(literalCopy)->text, "3.000000");
    EXPECT_EQ(KVAP_GetEnabled(literalCopy), 1);

    // A variable keeps its name and value and starts unbound.
    Parameter *variable = KVAP_New(ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    KVAP_SetDataTypeName(variable, "float");
    KVAP_SetString(variable, "position.x", 0);
    KVAP_SetDouble(variable, 1.75);
    KVAP_GetString(variable, &text, 1);
    float memory = 1.75f;
    int tag = 0;
    KVAP_SetVariableAddress(as_variable(variable), &memory);
    KVAP_SetVariableGetFunc(as_variable(variable), refresh);
    KVAP_SetVariableUserData(as_variable(variable), &tag);
    Parameter *variableCopy = KVAP_CopyParameter(variable);
    ASSERT_NE(variableCopy, nullptr);
    const Variable *copied = as_variable(variableCopy);
    EXPECT_STREQ(KVAP_GetTypeName(variableCopy), "Node Attribute");
    EXPECT_STREQ(copied->name, "position.x");
    EXPECT_EQ(KVAP_GetDataTypeID(variableCopy), ZTEQM_VALUE_FLOAT);
    EXPECT_STREQ(copied->valueText, "");
    EXPECT_EQ(copied->address, nullptr);
    EXPECT_EQ(copied->getFunc, nullptr);
    EXPECT_EQ(copied->userData, nullptr);
    EXPECT_EQ(KVAP_GetDouble(variableCopy), 1.75);
    EXPECT_EQ(getCalls, 0);

    // An equation reference refers to the same equation under the same name.
    testhost::register_reference_type();
    auto *reference = reinterpret_cast<EquationParameter *>(KVAP_New(ZTEQM_PARAMETER_EQUATION));
    ASSERT_NE(reference, nullptr);
    Equation *equation = reinterpret_cast<Equation *>(&tag);  // never dereferenced
    reference->equation = equation;
    std::strcpy(reference->referenceName, "sum");
    auto *referenceCopy = reinterpret_cast<EquationParameter *>(
        KVAP_CopyParameter(reinterpret_cast<Parameter *>(reference)));
    ASSERT_NE(referenceCopy, nullptr);
    EXPECT_EQ(referenceCopy->equation, equation);
    EXPECT_STREQ(referenceCopy->referenceName, "sum");

    for (Parameter *parameter : {literal, literalCopy, variable, variableCopy}) {
        KVAP_Delete(parameter);
    }
    KVAP_Delete(reinterpret_cast<Parameter *>(reference));
    KVAP_Delete(reinterpret_cast<Parameter *>(referenceCopy));
}

TEST_F(Parameters, CopiesOwnTheirValueBlocks) {
    const long live = live_blocks();
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    KVAP_SetDataTypeName(literal, "string");
    KVAP_SetString(literal, "hello", 1);
    Parameter *vector = variable_of("float4");
    KVAP_SetString(vector, "1 2 3 4", 1);

    Parameter *literalCopy = KVAP_CopyParameter(literal);
    Parameter *vectorCopy = KVAP_CopyParameter(vector);
    ASSERT_NE(literalCopy, nullptr);
    ASSERT_NE(vectorCopy, nullptr);
    EXPECT_NE(KVAP_GetAddress(literalCopy), KVAP_GetAddress(literal));
    EXPECT_NE(KVAP_GetAddress(vectorCopy), KVAP_GetAddress(vector));
    EXPECT_STREQ(static_cast<const char *>(KVAP_GetAddress(literalCopy)), "hello");
    EXPECT_EQ(static_cast<const double *>(KVAP_GetAddress(vectorCopy))[3], 4.0);

    // Changing or deleting the source leaves the copy whole.
    KVAP_SetString(literal, "a much longer text", 1);
    KVAP_SetString(vector, "9 9 9 9", 1);
    KVAP_Delete(literal);
    KVAP_Delete(vector);
    char *text = nullptr;
    KVAP_GetString(literalCopy, &text, 1);
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(static_cast<const double *>(KVAP_GetAddress(vectorCopy))[0], 1.0);

    // Deleting releases the object and its block: nothing is left behind.
    KVAP_Delete(literalCopy);
    KVAP_Delete(vectorCopy);
    EXPECT_EQ(live_blocks(), live);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

TEST_F(Parameters, ACopyThatCannotHaveItsBlockIsNotMade) {
    Parameter *text = variable_of("string");
    KVAP_SetString(text, "payload", 1);
    const long live = live_blocks();

    testhost::fail_after(0);
    EXPECT_EQ(KVAP_CopyParameter(text), nullptr);
    testhost::fail_after(1);  // the object, but not its block
    EXPECT_EQ(KVAP_CopyParameter(text), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(live_blocks(), live);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
    KVAP_Delete(text);
}

TEST_F(Parameters, SetValueFunctionsGiveTheTargetItsOwnBlock) {
    const long live = live_blocks();
    Parameter *source = variable_of("string");
    KVAP_SetString(source, "shared?", 1);
    Parameter *target = variable_of("float4");  // holds a block of its own already
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);

    const ParameterSetValueFunc setVariable = KVAP_GetParameterTypeSetValueFunc(2);
    const ParameterSetValueFunc setLiteral = KVAP_GetParameterTypeSetValueFunc(1);
    ASSERT_NE(setVariable, nullptr);
    ASSERT_NE(setLiteral, nullptr);
    Value *sourceValue = KVAP_GetValue(source);
    setVariable(target, sourceValue);
    setLiteral(literal, sourceValue);
    EXPECT_EQ(KVAP_GetDataTypeID(target), ZTEQM_VALUE_STRING);
    EXPECT_EQ(KVAP_GetDataTypeID(literal), ZTEQM_VALUE_STRING);
    EXPECT_NE(KVAP_GetAddress(target), KVAP_GetAddress(source));
    EXPECT_NE(KVAP_GetAddress(literal), KVAP_GetAddress(source));

    // Setting a value to itself, or to a record sharing its block, keeps it intact.
    setVariable(target, KVAP_GetValue(target));
    Value alias = *KVAP_GetValue(target);
    setVariable(target, &alias);
    setVariable(target, nullptr);
    EXPECT_STREQ(static_cast<const char *>(KVAP_GetAddress(target)), "shared?");

    KVAP_Delete(source);
    EXPECT_STREQ(static_cast<const char *>(KVAP_GetAddress(target)), "shared?");
    EXPECT_STREQ(static_cast<const char *>(KVAP_GetAddress(literal)), "shared?");
    KVAP_Delete(target);
    KVAP_Delete(literal);
    EXPECT_EQ(live_blocks(), live);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

TEST_F(Parameters, StoppingAndStartingTheRegistryAgain) {
    KVAP_RegisterParameterType(20, "Host", 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    KVAP_Init();  // already running: nothing changes
    EXPECT_EQ(KVAP_GetNumTypes(), 21);

    KVAP_Exit();
    EXPECT_EQ(KVAP_GetNumTypes(), 0);
    EXPECT_EQ(KVAP_GetParameterFactory(1), nullptr);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_LITERAL), nullptr);
    EXPECT_EQ(KVAP_IDOfName("Literal"), 0);
    EXPECT_EQ(KVAP_RegisterParameterType(2, "Late", 1, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr),
              nullptr);
    KVAP_Exit();

    KVAP_Init();
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    EXPECT_EQ(KVAP_IDOfName("Literal"), ZTEQM_PARAMETER_LITERAL);
    EXPECT_EQ(KVAP_IDOfName("GLSL Shader"), ZTEQM_PARAMETER_GLSL_SHADER);
    EXPECT_EQ(KVAP_IDOfName("Host"), 0);
}

}  // namespace
