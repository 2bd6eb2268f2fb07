// Application variables, and reading, writing and binding values by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "equation_host.h"
#include "test_host.h"

using namespace testhost;

namespace {

class ValuesByName : public Library {
protected:
    void SetUp() override {
        Library::SetUp();
        first = new_palette(&firstDatabase);
        second = new_palette(&secondDatabase);
    }

    // Names the result variable, or (at a position) puts a named double variable there.
    Variable *name(EquationPalette *palette, int32_t index, const char *text, double value,
                   int32_t position = -1) {
        Equation *equation = equation_at(palette, index);
        Parameter *named = reinterpret_cast<Parameter *>(KVAEQ_GetVariable(equation));
        if (position >= 0) {
            KVAP_Delete(KVAEQ_GetParameterN(equation, position));
            named = KVAEQ_NewParameterN(equation, position, ZTEQM_PARAMETER_NODE_ATTRIBUTE);
            KVAP_SetDataTypeName(named, "double");
        }
        KVAP_SetVariableName(reinterpret_cast<Variable *>(named), text);
        KVAP_SetDouble(named, value);
        return reinterpret_cast<Variable *>(named);
    }

    int firstDatabase = 0, secondDatabase = 0;
    EquationPalette *first = nullptr, *second = nullptr;
};

TEST_F(ValuesByName, TheRegistryKeepsOrderAndDuplicatesCutsNamesAndGoesWithTheLibrary) {
    double values[10] = {};
    for (int i = 0; i < 10; ++i) {
        KVAEQM_RegisterAppVariable(("v" + std::to_string(i)).c_str(), "double", &values[i]);
    }
    KVAEQM_RegisterAppVariable("v3", "int", nullptr);
    KVAEQM_RegisterAppVariable(nullptr, "int", nullptr);
    KVAEQM_RegisterAppVariable(std::string(2000, 'x').c_str(), std::string(100, 't').c_str(),
                               nullptr);
    EXPECT_EQ(KVAEQM_GetNumAppVariables(), 12);
    const char *name = nullptr, *type = nullptr;
    void *address = nullptr;
    std::string seen;  // "name:type:index of the address " for each entry asked for
    for (int32_t index : {9, 10, 12, -1, 11}) {
        KVAEQM_GetAppVariableN(&name, &type, &address, index);
        seen += std::string(name ? name : "-") + ":" + (type ? type : "-") + ":" +
                (address ? std::to_string(static_cast<double *>(address) - values) : "-") + " ";
    }
    EXPECT_EQ(seen, "v9:double:9 v3:int:- -:-:- -:-:- " + std::string(1023, 'x') + ":" +
                        std::string(79, 't') + ":- ");
    KVAEQM_GetAppVariableByName("v3", &type, &address);  // the first of the name
    EXPECT_TRUE(std::string(type) == "double" && address == &values[3]);
    KVAEQM_GetAppVariableByName("missing", &type, &address);
    EXPECT_TRUE(type == nullptr && address == nullptr);
}

TEST_F(ValuesByName, WritesReachEveryMatchAndReadsTakeTheFirstInEachDataType) {
    const int32_t a = add_equation(first, "A", "+"), b = add_equation(first, "B", "+");
    Variable *gain = name(first, a, "gain", 1.0, 1);
    name(first, b, "gain", 2.0);
    name(first, b, "gain", 3.0, 0);
    const auto read = [this](const char *name) {
        return KVAEQM_GetValueDouble(&firstDatabase, name);
    };
    EXPECT_EQ(read("gain"), 1.0);
    KVAEQM_SetValueDouble(&firstDatabase, "gain", 7.5);
    EXPECT_EQ(KVAP_GetDouble(KVAEQ_GetParameterN(equation_at(first, b), 0)) + result_of(first, b),
              15.0);
    KVAEQM_SetValueInt(&firstDatabase, "gain", 4);
    EXPECT_TRUE(KVAEQM_GetValueInt(&firstDatabase, "gain") == 4 && result_of(first, b) == 4.0);
    KVAP_SetDataTypeName(reinterpret_cast<Parameter *>(gain), "address");
    int block[2] = {};
    KVAEQM_SetValueArray(&firstDatabase, "gain", block);
    EXPECT_EQ(KVAEQM_GetValueArray(&firstDatabase, "gain"), block);
    name(first, a, "speed", 1.0, 0);  // within one equation the result comes first
    name(first, a, "speed", 9.0);
    EXPECT_EQ(read("speed"), 9.0);
    // A literal whose text is the name matches like a named variable; other palettes do not.
    EXPECT_EQ(read("10.000000") + read("missing") + read(nullptr), 10.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(&secondDatabase, "gain"), 0.0);

    // A null database searches every palette in order.
    const int32_t s = add_equation(second, "S", "Move Value");
    name(second, s, "target", 2.5);
    EXPECT_EQ(KVAEQM_GetValueInt(nullptr, "target"), 2);
    const int32_t f = add_equation(first, "F", "Move Value");
    name(first, f, "target", 1.0);
    EXPECT_EQ(KVAEQM_GetValueDouble(nullptr, "target"), 1.0);
    KVAEQM_SetValueDouble(nullptr, "target", 6.0);
    EXPECT_EQ(result_of(first, f) + result_of(second, s), 12.0);
}

TEST_F(ValuesByName, BindingIsPerDatabaseAndSkipsLiteralsAndReferences) {
    Variable *bound = name(first, add_equation(first, "A", "+"), "height", 0.0, 0);
    Parameter *reference = refer(first, add_equation(first, "R", "+"), 0, "height");
    double height = 12.5;
    KVAEQM_SetAddress(nullptr, "height", &height);
    EXPECT_EQ(KVAP_GetVariableAddress(bound), nullptr);
    KVAEQM_SetAddress(&firstDatabase, "height", &height);
    EXPECT_TRUE(KVAP_GetVariableAddress(bound) == &height && !cached_reference(reference) &&
                KVAEQM_GetAddress(&firstDatabase, "height") == &height &&
                !KVAEQM_GetAddress(nullptr, "height"));
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "height"), 12.5);
    KVAEQM_SetValueDouble(&firstDatabase, "height", 1.0);  // the value, never the bound memory
    EXPECT_EQ(height, 12.5);
    KVAEQM_SetAddress(&firstDatabase, "height", nullptr);
    EXPECT_EQ(KVAEQM_GetValueDouble(&firstDatabase, "height"), 1.0);
    EXPECT_EQ(KVAEQM_GetAddress(&firstDatabase, "10.000000"), nullptr);  // a literal's text
}

// What a host callback run by a read or write by name does to the second palette.
enum class Sabotage { deletePalette, clearPalette, rebuildPalette };
Sabotage sabotage = Sabotage::deletePalette;
int *doomed = nullptr;

void sabotage_palette() {
    EquationPalette *palette = KVAEQM_GetEquationPalette(doomed);
    if (palette == nullptr) return;
    if (sabotage == Sabotage::deletePalette) KVAEQM_DeleteEquationPalette(doomed);
    if (sabotage != Sabotage::deletePalette) KVAEP_ClearPalette(palette);
    if (sabotage == Sabotage::rebuildPalette) {
        Variable *v = KVAEQ_GetVariable(equation_at(palette, add_equation(palette, "v", "+")));
        KVAP_SetDouble(reinterpret_cast<Parameter *>(v), 4.0);
    }
}
void sabotage_get(Parameter *, void *) { sabotage_palette(); }
void sabotage_text(Value *, char *buffer, int32_t size) {
    sabotage_palette();
    std::snprintf(buffer, static_cast<size_t>(size), "doomed");
}

TEST_F(ValuesByName, ReadsAndWritesSurviveCallbacksThatDeleteClearOrRebuildThePalette) {
    KVAV_RegisterValueType(20, "doom", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           sabotage_text, nullptr);
    using Read = double (*)();
    const Read reads[] = {[] { return KVAEQM_GetValueDouble(doomed, "v"); },
                          [] { return double(KVAEQM_GetValueInt(nullptr, "p")); },
                          [] { return KVAEQM_GetValueArray(doomed, "v") ? 1.0 : 0.0; },
                          [] { return KVAEQM_GetValueDouble(doomed, "doomed"); },
                          [] { return KVAEQM_SetValueDouble(nullptr, "F", 1.0), 0.0; },
                          [] { return KVAEQM_GetAddress(doomed, "F") ? 1.0 : 0.0; }};
    for (Sabotage what :
         {Sabotage::deletePalette, Sabotage::clearPalette, Sabotage::rebuildPalette}) {
        for (int read = 0; read < 6; ++read) {
            SCOPED_TRACE(std::to_string(static_cast<int>(what)) + "/" + std::to_string(read));
            if (!KVAEQM_GetEquationPalette(&secondDatabase)) second = new_palette(&secondDatabase);
            KVAEP_ClearPalette(second);
            // "v" is a result variable with a get callback, "p" a parameter with one; the
            // literal's text comes from the host type, read by every search past it.
            const int32_t index = add_equation(second, "E", "+");
            add_equation(second, "F", "+");
            KVAP_SetVariableGetFunc(name(second, index, "v", 4.0), sabotage_get);
            KVAP_SetVariableGetFunc(name(second, index, "p", 4.0, 0), sabotage_get);
            KVAP_SetDataTypeName(KVAEQ_GetParameterN(equation_at(second, index), 1), "doom");
            sabotage = what;
            doomed = &secondDatabase;
            EXPECT_EQ(reads[read](), 0.0);
            doomed = nullptr;
        }
    }
}

}  // namespace
