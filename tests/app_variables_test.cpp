// Application variables and reading, writing and binding values by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "equation_host.h"
#include "test_host.h"

using testhost::add_equation;
using testhost::equation_at;

namespace {

class ValuesByName : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::start_library();
        first = KVAEQM_NewEquationPalette(&firstDatabase);
        second = KVAEQM_NewEquationPalette(&secondDatabase);
    }
    void TearDown() override { KVAEQM_Exit(); }

    // Replaces the parameter at the position by a variable of the name.
    Parameter *variable(EquationPalette *palette, int32_t index, int32_t position, const char *name,
                        double value) {
        Equation *equation = equation_at(palette, index);
        KVAP_Delete(KVAEQ_GetParameterN(equation, position));
        Parameter *parameter =
            KVAEQ_NewParameterN(equation, position, KVAP_IDOfName("Node Attribute"));
        KVAP_SetDataTypeName(parameter, "double");
        KVAP_SetVariableName(reinterpret_cast<Variable *>(parameter), name);
        KVAP_SetDouble(parameter, value);
        return parameter;
    }

    void name_result(EquationPalette *palette, int32_t index, const char *name, double value) {
        Variable *result = KVAEQ_GetVariable(equation_at(palette, index));
        KVAP_SetVariableName(result, name);
        KVAP_SetDouble(reinterpret_cast<Parameter *>(result), value);
    }

    int firstDatabase = 0, secondDatabase = 0;
    EquationPalette *first = nullptr, *second = nullptr;
};

TEST(AppVariables, RegistryKeepsOrderAndDuplicatesAndAnswersNullsOutside) {
    testhost::start_library();
    double values[10] = {};
    for (int i = 0; i < 10; ++i) {
        KVAEQM_RegisterAppVariable(("v" + std::to_string(i)).c_str(), "double", &values[i]);
    }
    KVAEQM_RegisterAppVariable("v3", "int", nullptr);
    KVAEQM_RegisterAppVariable(nullptr, "int", nullptr);
    EXPECT_EQ(KVAEQM_GetNumAppVariables(), 11);

    const char *name = nullptr, *type = nullptr;
    void *address = nullptr;
    KVAEQM_GetAppVariableN(&name, &type, &address, 9);
    EXPECT_STREQ(name, "v9");
    EXPECT_STREQ(type, "double");
    EXPECT_EQ(address, &values[9]);
    for (int32_t outside : {11, -1}) {
        KVAEQM_GetAppVariableN(&name, &type, &address, outside);
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(type, nullptr);
        EXPECT_EQ(address, nullptr);
    }
    KVAEQM_GetAppVariableByName("v3", &type, &address);
    EXPECT_STREQ(type, "double");
    EXPECT_EQ(address, &values[3]);
    KVAEQM_GetAppVariableByName("missing", &type, &address);
    EXPECT_EQ(type, nullptr);
    EXPECT_EQ(address, nullptr);

    const std::string longName(2000, 'x');
    KVAEQM_RegisterAppVariable(longName.c_str(), std::string(100, 't').c_str(), nullptr);
    KVAEQM_GetAppVariableN(&name, &type, &address, 11);
    EXPECT_EQ(std::string(name), longName.substr(0, 1023));
    EXPECT_EQ(std::string(type), std::string(79, 't'));

    KVAEQM_Exit();  // the registry goes with the library
    EXPECT_TRUE(testhost::counts().live.empty());
}

TEST_F(ValuesByName, WritesReachEveryMatchAndReadsTakeTheFirst) {
    const int32_t a = add_equation(first, "A", "+");
    const int32_t b = add_equation(first, "B", "+");
    variable(first, a, 1, "gain", 1.0);
    name_result(first, b, "gain", 2.0);
    variable(first, b, 0, "gain", 3.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "gain"), 1.0);

    KVAEQM_SetValueDouble(&firstDatabase, "gain", 7.5);
    EXPECT_EQ(KVAP_GetDouble(KVAEQ_GetParameterN(equation_at(first, a), 1)), 7.5);
    EXPECT_EQ(KVAP_GetDouble(KVAEQ_GetParameterN(equation_at(first, b), 0)), 7.5);
    EXPECT_EQ(testhost::result_of(first, b), 7.5);
    KVAEQM_SetValueInt(&firstDatabase, "gain", 4);
    EXPECT_EQ(KVAEQM_GetValueInt(&firstDatabase, "gain"), 4);

    // Within one equation the result variable comes before the parameters.
    variable(first, a, 0, "speed", 1.0);
    name_result(first, a, "speed", 9.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "speed"), 9.0);

    // A literal whose text is the name matches like a named variable.
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "10.000000"), 10.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "missing"), 0.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, nullptr), 0.0);
    int unknown = 0;
    EXPECT_EQ(KVAEQM_GetValueDouble(&unknown, "gain"), 0.0);  // no fallback to other palettes
}

TEST_F(ValuesByName, ANullDatabaseSearchesEveryPaletteInOrder) {
    add_equation(first, "A", "+");
    const int32_t s = add_equation(second, "S", "Move Value");
    name_result(second, s, "target", 2.5);
    EXPECT_EQ(KVAEQM_GetValueDouble(nullptr, "target"), 2.5);
    EXPECT_EQ(KVAEQM_GetValueInt(nullptr, "target"), 2);
    EXPECT_NE(KVAEQM_GetValueArray(nullptr, "target"), nullptr);  // the raw bits of 2.5

    const int32_t f = add_equation(first, "F", "Move Value");
    name_result(first, f, "target", 1.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(nullptr, "target"), 1.0);
    KVAEQM_SetValueDouble(nullptr, "target", 6.0);
    EXPECT_EQ(testhost::result_of(first, f), 6.0);
    EXPECT_EQ(testhost::result_of(second, s), 6.0);
}

TEST_F(ValuesByName, BindingIsPerDatabaseAndSkipsLiteralsAndReferences) {
    const int32_t a = add_equation(first, "A", "+");
    Parameter *bound = variable(first, a, 0, "height", 0.0);
    const int32_t r = add_equation(first, "R", "+");
    Parameter *reference = testhost::refer(first, r, 0, "height");
    double height = 12.5;

    KVAEQM_SetAddress(nullptr, "height", &height);
    EXPECT_EQ(KVAP_GetVariableAddress(reinterpret_cast<Variable *>(bound)), nullptr);
    KVAEQM_SetAddress(&firstDatabase, "height", &height);
    EXPECT_EQ(KVAP_GetVariableAddress(reinterpret_cast<Variable *>(bound)), &height);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "height");
    EXPECT_EQ(reinterpret_cast<EquationParameter *>(reference)->equation, nullptr);
    EXPECT_EQ(KVAEQM_GetAddress(&firstDatabase, "height"), &height);
    EXPECT_EQ(KVAEQM_GetAddress(nullptr, "height"), nullptr);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "height"), 12.5);

    // Writes change the value, never the bound memory.
    KVAEQM_SetValueDouble(&firstDatabase, "height", 1.0);
    EXPECT_EQ(height, 12.5);
    KVAEQM_SetAddress(&firstDatabase, "height", nullptr);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "height"), 1.0);
    EXPECT_EQ(KVAEQM_GetAddress(&firstDatabase, "10.000000"), nullptr);  // a literal's text
}

}  // namespace

namespace {

// What a get callback does to the palette whose variable is being read by name.
enum class Sabotage { deletePalette, clearPalette, rebuildPalette };

struct SabotageOrder {
    Sabotage what;
    int *database;
};

void sabotage(Parameter *, void *userData) {
    const auto *order = static_cast<const SabotageOrder *>(userData);
    EquationPalette *palette = KVAEQM_GetEquationPalette(order->database);
    switch (order->what) {
        case Sabotage::deletePalette:
            KVAEQM_DeleteEquationPalette(order->database);
            break;
        case Sabotage::clearPalette:
            KVAEP_ClearPalette(palette);
            break;
        case Sabotage::rebuildPalette: {
            KVAEP_ClearPalette(palette);
            const int32_t again = add_equation(palette, "v", "Move Value");
            KVAP_SetDouble(
                reinterpret_cast<Parameter *>(KVAEQ_GetVariable(equation_at(palette, again))), 4.0);
            KVAP_SetVariableName(KVAEQ_GetVariable(equation_at(palette, again)), "v");
            break;
        }
    }
}

TEST_F(ValuesByName, AReadByNameSurvivesItsGetCallbackRemovingThePalette) {
    for (Sabotage what :
         {Sabotage::deletePalette, Sabotage::clearPalette, Sabotage::rebuildPalette}) {
        for (int read = 0; read < 3; ++read) {
            SabotageOrder order{what, &secondDatabase};
            if (KVAEQM_GetEquationPalette(&secondDatabase) == nullptr) {
                second = KVAEQM_NewEquationPalette(&secondDatabase);
            }
            // "v" is a result variable with a get callback; "p" a parameter with one.
            const int32_t index = add_equation(second, "E", "+");
            name_result(second, index, "v", 4.0);
            KVAP_SetVariableGetFunc(KVAEQ_GetVariable(equation_at(second, index)), sabotage);
            KVAP_SetVariableUserData(KVAEQ_GetVariable(equation_at(second, index)), &order);
            const char *name = read == 1 ? "p" : "v";
            if (read == 1) {
                auto *p = reinterpret_cast<Variable *>(variable(second, index, 0, "p", 4.0));
                KVAP_SetVariableGetFunc(p, sabotage);
                KVAP_SetVariableUserData(p, &order);
            }
            const std::string label = std::to_string(static_cast<int>(what)) + "/" + name;
            switch (read) {
                case 0:
                    EXPECT_EQ(KVAEQM_GetValueDouble(&secondDatabase, name), 0.0) << label;
                    break;
                case 1:
                    EXPECT_EQ(KVAEQM_GetValueInt(nullptr, name), 0) << label;
                    break;
                default:
                    EXPECT_EQ(KVAEQM_GetValueArray(&secondDatabase, name), nullptr) << label;
                    break;
            }
            EXPECT_EQ(testhost::counts().foreignFrees, 0);
            if (EquationPalette *left = KVAEQM_GetEquationPalette(&secondDatabase)) {
                KVAEP_ClearPalette(left);
            }
        }
    }
}

}  // namespace

namespace {

int *doomedDatabase = nullptr;

// A host value type whose text deletes the palette registered under doomedDatabase.
void doom_to_string(Value *, char *buffer, int32_t size) {
    if (doomedDatabase != nullptr) KVAEQM_DeleteEquationPalette(doomedDatabase);
    std::snprintf(buffer, static_cast<size_t>(size), "doomed");
}

TEST_F(ValuesByName, ASearchSurvivesTextCallbacksThatDeleteThePalette) {
    KVAV_RegisterValueType(20, "doom", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           doom_to_string, nullptr);
    for (int call = 0; call < 3; ++call) {
        if (KVAEQM_GetEquationPalette(&secondDatabase) == nullptr) {
            second = KVAEQM_NewEquationPalette(&secondDatabase);
        }
        // A literal's name is its value's text, which the host type formats.
        const int32_t index = add_equation(second, "E", "+");
        add_equation(second, "F", "+");
        KVAP_SetDataTypeName(KVAEQ_GetParameterN(equation_at(second, index), 0), "doom");
        doomedDatabase = &secondDatabase;
        switch (call) {
            case 0:
                EXPECT_EQ(KVAEQM_GetValueDouble(&secondDatabase, "doomed"), 0.0);
                break;
            case 1:
                KVAEQM_SetValueDouble(nullptr, "F", 1.0);
                break;
            default:
                EXPECT_EQ(KVAEQM_GetAddress(&secondDatabase, "F"), nullptr);
                break;
        }
        doomedDatabase = nullptr;
        EXPECT_EQ(KVAEQM_GetEquationPalette(&secondDatabase), nullptr);
    }
    EXPECT_EQ(testhost::counts().foreignFrees, 0);
}

}  // namespace
