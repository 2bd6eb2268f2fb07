// Variables: creation, defaults, names, types, binding and the enabled flag.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_host.h"
#include "test_parameters.h"

using testhost::live_blocks;

namespace {

void host_refresh(Parameter *, void *) {}

class Variables : public ::testing::Test {
protected:
    void SetUp() override { testhost::start_library(); }
    void TearDown() override { KVAEQM_Exit(); }
};

TEST_F(Variables, ANewVariableIsZeroFilled) {
    Variable *variable = KVAP_NewVariable();
    ASSERT_NE(variable, nullptr);
    EXPECT_TRUE(testhost::is_all_zero(variable));
    KVAP_FreeVariable(variable);

    testhost::fail_after(0);
    EXPECT_EQ(KVAP_NewVariable(), nullptr);
    testhost::fail_after(-1);
}

TEST_F(Variables, DefaultsMakeAnUnboundUnnamedDouble) {
    Variable *variable = KVAP_NewVariable();
    auto *parameter = reinterpret_cast<Parameter *>(variable);
    KVAP_SetTypeName(parameter, "Temporary");
    KVAP_SetEnabled(parameter, 1);
    KVAP_SetVariableName(variable, "old name");
    double memory = 3.0;
    int tag = 0;
    KVAP_SetVariableAddress(variable, &memory);
    KVAP_SetVariableGetFunc(variable, host_refresh);
    KVAP_SetVariableUserData(variable, &tag);
    std::strcpy(variable->valueText, "kept");

    KVAP_SetVariableDefaults(variable);
    EXPECT_EQ(KVAP_GetDataTypeID(parameter), ZTEQM_VALUE_DOUBLE);
    EXPECT_STREQ(KVAP_GetDataTypeName(parameter), "double");
    EXPECT_EQ(KVAP_GetDouble(parameter), 0.0);
    EXPECT_STREQ(KVAP_GetVariableName(variable), "");
    EXPECT_EQ(KVAP_GetVariableAddress(variable), nullptr);
    EXPECT_EQ(variable->getFunc, nullptr);
    EXPECT_EQ(variable->userData, nullptr);
    // The head and the value text are left as they were.
    EXPECT_EQ(KVAP_GetVariableType(variable), ZTEQM_PARAMETER_TEMPORARY);
    EXPECT_STREQ(KVAP_GetVariableTypeName(variable), "Temporary");
    EXPECT_EQ(KVAP_GetEnabled(parameter), 1);
    EXPECT_STREQ(variable->valueText, "kept");
    KVAP_FreeVariable(variable);
}

TEST_F(Variables, AnUntypedVariableHasNoValueThroughTheRegistry) {
    Variable *variable = KVAP_NewVariable();
    auto *parameter = reinterpret_cast<Parameter *>(variable);
    KVAP_SetVariableDefaults(variable);
    EXPECT_EQ(KVAP_GetDataTypeID(parameter), 0);
    EXPECT_EQ(KVAP_GetDouble(parameter), 0.0);
    ASSERT_NE(KVAP_GetVariableValue(variable), nullptr);
    EXPECT_EQ(KVAP_GetVariableValue(variable)->typeId, 5);
    EXPECT_EQ(KVAP_GetVariableValue(variable), &variable->value);

    // Its bound memory still serves reads.
    double memory = 4.25;
    KVAP_SetVariableAddress(variable, &memory);
    EXPECT_EQ(KVAP_GetDouble(parameter), 4.25);
    KVAP_FreeVariable(variable);
}

TEST_F(Variables, NamesAreCutToTheirFieldAndNullIsRefused) {
    Variable *variable = KVAP_NewVariable();
    const std::string longName(2000, 'a');
    KVAP_SetVariableName(variable, longName.c_str());
    EXPECT_EQ(std::string(KVAP_GetVariableName(variable)), longName.substr(0, 1023));

    KVAP_SetVariableName(variable, "short");
    KVAP_SetVariableName(variable, nullptr);
    EXPECT_STREQ(KVAP_GetVariableName(variable), "short");
    // The rest of the field holds no trace of the longer name.
    EXPECT_EQ(variable->name[6], '\0');
    EXPECT_EQ(variable->name[1022], '\0');

    KVAP_SetVariableTypeName(variable, "Cg Shader");
    KVAP_SetVariableTypeName(variable, nullptr);
    EXPECT_STREQ(KVAP_GetVariableTypeName(variable), "Cg Shader");
    KVAP_FreeVariable(variable);
}

TEST_F(Variables, TypeIdentifierAndTypeNameAreSetSeparately) {
    Variable *variable = KVAP_NewVariable();
    KVAP_SetVariableTypeName(variable, "Temporary");
    EXPECT_EQ(KVAP_GetVariableType(variable), ZTEQM_PARAMETER_TEMPORARY);

    KVAP_SetVariableType(variable, ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    EXPECT_EQ(KVAP_GetVariableType(variable), ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    EXPECT_STREQ(KVAP_GetVariableTypeName(variable), "Temporary");
    EXPECT_EQ(KVAP_GetTypeID(reinterpret_cast<Parameter *>(variable)),
              ZTEQM_PARAMETER_NODE_ATTRIBUTE);

    KVAP_SetVariableTypeName(variable, "GLSL Shader");
    EXPECT_EQ(KVAP_GetVariableType(variable), ZTEQM_PARAMETER_GLSL_SHADER);
    KVAP_SetVariableTypeName(variable, "Unknown");
    EXPECT_EQ(KVAP_GetVariableType(variable), 0);
    EXPECT_STREQ(KVAP_GetVariableTypeName(variable), "Unknown");
    KVAP_FreeVariable(variable);
}

TEST_F(Variables, GetCallbackAndUserDataAreStoredOnlyOnVariables) {
    testhost::register_reference_type();
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    Parameter *reference = KVAP_New(ZTEQM_PARAMETER_EQUATION);
    Parameter *attribute = KVAP_New(ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    ASSERT_NE(reference, nullptr);
    int tag = 0;

    const auto literalBytes = testhost::snapshot(reinterpret_cast<LiteralParameter *>(literal));
    const auto referenceBytes =
        testhost::snapshot(reinterpret_cast<EquationParameter *>(reference));
    KVAP_SetVariableGetFunc(reinterpret_cast<Variable *>(literal), host_refresh);
    KVAP_SetVariableUserData(reinterpret_cast<Variable *>(literal), &tag);
    KVAP_SetVariableGetFunc(reinterpret_cast<Variable *>(reference), host_refresh);
    KVAP_SetVariableUserData(reinterpret_cast<Variable *>(reference), &tag);
    EXPECT_EQ(testhost::snapshot(reinterpret_cast<LiteralParameter *>(literal)), literalBytes);
    EXPECT_EQ(testhost::snapshot(reinterpret_cast<EquationParameter *>(reference)), referenceBytes);

    auto *variable = reinterpret_cast<Variable *>(attribute);
    KVAP_SetVariableGetFunc(variable, host_refresh);
    KVAP_SetVariableUserData(variable, &tag);
    EXPECT_EQ(variable->getFunc, host_refresh);
    EXPECT_EQ(variable->userData, &tag);

    KVAP_Delete(literal);
    KVAP_Delete(reference);
    KVAP_Delete(attribute);
}

TEST_F(Variables, VariableFunctionsLeaveLiteralsAndReferencesAlone) {
    testhost::register_reference_type();
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    Parameter *reference = KVAP_New(ZTEQM_PARAMETER_EQUATION);
    ASSERT_NE(reference, nullptr);
    const auto literalBytes = testhost::snapshot(reinterpret_cast<LiteralParameter *>(literal));
    const auto referenceBytes =
        testhost::snapshot(reinterpret_cast<EquationParameter *>(reference));
    int memory = 0;

    // Their blocks are much smaller than a variable's: nothing is written past them.
    for (Parameter *parameter : {literal, reference}) {
        auto *asVariable = reinterpret_cast<Variable *>(parameter);
        KVAP_SetVariableName(asVariable, std::string(1500, 'z').c_str());
        KVAP_SetVariableAddress(asVariable, &memory);
        KVAP_SetVariableDefaults(asVariable);
        EXPECT_EQ(KVAP_GetVariableName(asVariable), nullptr);
        EXPECT_EQ(KVAP_GetVariableAddress(asVariable), nullptr);
        EXPECT_EQ(KVAP_GetVariableValue(asVariable), nullptr);
    }
    EXPECT_EQ(testhost::snapshot(reinterpret_cast<LiteralParameter *>(literal)), literalBytes);
    EXPECT_EQ(testhost::snapshot(reinterpret_cast<EquationParameter *>(reference)), referenceBytes);
    EXPECT_EQ(KVAP_GetDouble(literal), 10.0);

    // Freeing them as variables releases each by its own layout.
    const long live = live_blocks();
    KVAP_SetDataTypeName(literal, "string");
    KVAP_SetString(literal, "text", 1);
    KVAP_FreeVariable(reinterpret_cast<Variable *>(literal));
    KVAP_FreeVariable(reinterpret_cast<Variable *>(reference));
    EXPECT_EQ(live_blocks(), live - 2);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

TEST_F(Variables, FreeingAndDeletingReleaseTheValueBlock) {
    const long live = live_blocks();
    Variable *variable = KVAP_NewVariable();
    KVAP_SetTypeName(reinterpret_cast<Parameter *>(variable), "Temporary");
    KVAP_SetVariableDefaults(variable);
    KVAP_SetDataTypeName(reinterpret_cast<Parameter *>(variable), "float4x4");
    EXPECT_EQ(KVAP_GetVariableValue(variable)->size, 128);
    KVAP_FreeVariable(variable);
    EXPECT_EQ(live_blocks(), live);

    Parameter *parameter = KVAP_New(ZTEQM_PARAMETER_APP_VARIABLE);
    KVAP_SetDataTypeName(parameter, "string");
    KVAP_SetString(parameter, "app text", 1);
    KVAP_Delete(parameter);
    EXPECT_EQ(live_blocks(), live);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

TEST_F(Variables, DefaultsReleaseABlockTheValueHeldBefore) {
    const long live = live_blocks();
    Variable *variable = KVAP_NewVariable();
    KVAP_SetTypeName(reinterpret_cast<Parameter *>(variable), "Temporary");
    KVAP_SetDataTypeName(reinterpret_cast<Parameter *>(variable), "float4");
    ASSERT_EQ(KVAP_GetVariableValue(variable)->size, 32);

    KVAP_SetVariableDefaults(variable);
    EXPECT_EQ(live_blocks(), live + 1);  // only the variable itself
    EXPECT_EQ(KVAP_GetVariableValue(variable)->size, 0);
    EXPECT_EQ(KVAP_GetDouble(reinterpret_cast<Parameter *>(variable)), 0.0);
    KVAP_SetVariableDefaults(variable);  // nothing left to release twice
    KVAP_FreeVariable(variable);
    EXPECT_EQ(live_blocks(), live);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

TEST_F(Variables, NullVariablesAreIgnored) {
    KVAP_SetEnabled(nullptr, 1);
    EXPECT_EQ(KVAP_GetEnabled(nullptr), 0);
    KVAP_FreeVariable(nullptr);
    KVAP_SetVariableDefaults(nullptr);
    KVAP_SetVariableName(nullptr, "name");
    EXPECT_EQ(KVAP_GetVariableName(nullptr), nullptr);
    EXPECT_EQ(KVAP_GetVariableValue(nullptr), nullptr);
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

}  // namespace
