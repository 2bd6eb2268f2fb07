// Palette editing: copies, moves to an index, one-step moves and whole-palette copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::add_equation;
using testhost::equation_at;
using testhost::result_of;
using testhost::set_number;

namespace {

class PaletteEdits : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::events().clear();
        testhost::start_library();
        palette = KVAEQM_NewEquationPalette(&database);
        ASSERT_NE(palette, nullptr);
    }
    void TearDown() override { KVAEQM_Exit(); }

    std::vector<std::string> names(EquationPalette *which) {
        std::vector<std::string> out;
        for (Equation *e = KVAEP_GetFirstEquation(which); e != nullptr;
             e = KVAEP_GetNextEquation(which, e)) {
            out.push_back(std::to_string(KVAEQ_GetIndex(e)) + ":" + KVAEQ_GetName(e));
        }
        return out;
    }

    // "+" of two literals, named and triggered on "New Frame".
    int32_t sum(const char *name, double a, double b, EquationPalette *in = nullptr) {
        EquationPalette *target = in != nullptr ? in : palette;
        const int32_t index = add_equation(target, name, "+");
        set_number(target, index, 0, a);
        set_number(target, index, 1, b);
        return index;
    }

    // What a host does before clearing a palette or copying another over it: it releases
    // what every slot's equation holds and clears those fields.
    static void release_objects(EquationPalette *which) {
        for (int32_t index = 0; index < which->capacity; ++index) {
            Equation *slot = &which->slots[index];
            KVAEQ_UnregisterAllSubscribers(slot);
            if (slot->subscribers != nullptr) KVAMEM_Free(slot->subscribers);
            slot->subscribers = nullptr;
            slot->subscriberCapacity = 0;
            KVAEQ_SetNumParameters(slot, 0);
            if (slot->variable != nullptr) KVAP_FreeVariable(slot->variable);
            slot->variable = nullptr;
        }
    }

    int database = 0;
    EquationPalette *palette = nullptr;
};

TEST_F(PaletteEdits, ACopyHasItsOwnParametersAndNoSubscribers) {
    const int32_t speed = sum("Speed", 2, 3);
    KVAEP_SetLVariableTypeName(palette, equation_at(palette, speed), "Node Attribute");
    KVAP_SetDataTypeName(
        reinterpret_cast<Parameter *>(KVAEQ_GetVariable(equation_at(palette, speed))), "int");
    const int32_t recorder = testhost::register_recorder("Recorder");
    testhost::subscribe(equation_at(palette, speed), recorder, "speed");

    Equation *copy = KVAEP_CopyEquation(palette, equation_at(palette, speed), 5);
    ASSERT_NE(copy, nullptr);
    Equation *source = equation_at(palette, speed);
    EXPECT_EQ(KVAEQ_GetIndex(copy), 5);
    EXPECT_STREQ(KVAEQ_GetName(copy), "Copy of Speed");
    EXPECT_STREQ(KVAEQ_GetOperatorName(copy), "+");
    EXPECT_STREQ(KVAEQ_GetTriggerName(copy), "New Frame");
    Variable *copied = KVAEQ_GetVariable(copy);
    EXPECT_NE(copied, KVAEQ_GetVariable(source));
    EXPECT_STREQ(KVAP_GetVariableName(copied), "Speed");
    EXPECT_STREQ(KVAP_GetVariableTypeName(copied), "Node Attribute");
    EXPECT_STREQ(KVAP_GetDataTypeName(reinterpret_cast<Parameter *>(copied)), "int");
    EXPECT_EQ(KVAEQ_GetNumSubscribers(copy), 0);
    ASSERT_EQ(KVAEQ_GetNumParameters(copy), 2);
    for (int32_t p = 0; p < 2; ++p) {
        EXPECT_NE(KVAEQ_GetParameterN(copy, p), KVAEQ_GetParameterN(source, p));
        EXPECT_EQ(KVAP_GetDouble(KVAEQ_GetParameterN(copy, p)),
                  KVAP_GetDouble(KVAEQ_GetParameterN(source, p)));
    }
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 6);

    // The copy computes on its own; only the source tells its subscriber.
    set_number(palette, 5, 0, 10);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(result_of(palette, 5), 13.0);
    EXPECT_EQ(result_of(palette, speed), 5.0);
    EXPECT_EQ(testhost::events(), std::vector<std::string>({"speed=5"}));

    EXPECT_EQ(KVAEP_CopyEquation(palette, nullptr, 3), nullptr);
    KVAEP_DeleteEquation(palette, equation_at(palette, 5));
    Equation stale{};
    stale.index = 7;  // beyond the palette's range
    EXPECT_EQ(KVAEP_CopyEquation(palette, &stale, 3), nullptr);
}

TEST_F(PaletteEdits, CopyingOrMovingOntoItselfChangesNothing) {
    const int32_t speed = sum("Speed", 2, 3);
    Equation *equation = equation_at(palette, speed);
    Parameter *first = KVAEQ_GetParameterN(equation, 0);
    EXPECT_EQ(KVAEP_CopyEquation(palette, equation, speed), equation);
    EXPECT_EQ(KVAEP_MoveEquation(palette, equation, speed), equation);
    KVAEP_CopyEqToEq(palette, equation, equation);
    EXPECT_STREQ(KVAEQ_GetName(equation), "Speed");
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 0), first);
    EXPECT_EQ(KVAP_GetDouble(first), 2.0);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(result_of(palette, speed), 5.0);
}

TEST_F(PaletteEdits, ALongNameIsCutWhenCopied) {
    const std::string longName(79, 'n');
    const int32_t index = sum(longName.c_str(), 1, 1);
    Equation *copy = KVAEP_CopyEquation(palette, equation_at(palette, index), 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(KVAEQ_GetName(copy)), ("Copy of " + longName).substr(0, 79));
}

TEST_F(PaletteEdits, MovingToAnIndexKeepsTheNameAndFreesTheOldSlot) {
    sum("Speed", 2, 3);
    sum("Other", 1, 1);
    KVAEP_SetCurrentEquationIndex(palette, 0);
    Equation *moved = KVAEP_MoveEquation(palette, equation_at(palette, 0), 4);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(KVAEQ_GetIndex(moved), 4);
    EXPECT_STREQ(KVAEQ_GetName(moved), "Speed");
    EXPECT_EQ(equation_at(palette, 0), nullptr);
    EXPECT_EQ(names(palette), std::vector<std::string>({"1:Other", "4:Speed"}));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 1);  // the deleted current passes it on
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(result_of(palette, 4), 5.0);
}

TEST_F(PaletteEdits, OneStepMovesExchangeWithALiveNeighbourOrTakeAFreeSlot) {
    const char *trace = testhost::register_trace_operator(0);
    for (const char *name : {"A", "B", "C", "D"}) add_equation(palette, name, trace);

    EXPECT_EQ(KVAEP_MoveEquationUpOne(palette, equation_at(palette, 0)), equation_at(palette, 0));
    Equation *up = KVAEP_MoveEquationUpOne(palette, equation_at(palette, 3));
    EXPECT_EQ(up, equation_at(palette, 2));
    EXPECT_EQ(names(palette), std::vector<std::string>({"0:A", "1:B", "2:D", "3:C"}));
    KVAEQM_EvaluateTriggerName("New Frame");
    // Result variables keep their objects and exchange their settings, names included.
    EXPECT_EQ(testhost::events(), std::vector<std::string>({"run A", "run B", "run D", "run C"}));

    KVAEP_DeleteEquation(palette, equation_at(palette, 1));
    Equation *into = KVAEP_MoveEquationUpOne(palette, equation_at(palette, 2));
    EXPECT_EQ(KVAEQ_GetIndex(into), 1);
    EXPECT_EQ(names(palette), std::vector<std::string>({"0:A", "1:D", "3:C"}));

    // Moving the last equation down keeps it within the range the walks cover.
    Equation *down = KVAEP_MoveEquationDownOne(palette, equation_at(palette, 3));
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 5);
    EXPECT_EQ(names(palette), std::vector<std::string>({"0:A", "1:D", "4:C"}));
    EXPECT_EQ(KVAEP_MoveEquationDownOne(palette, nullptr), nullptr);
    EXPECT_EQ(KVAEP_MoveEquationUpOne(nullptr, down), nullptr);
}

TEST_F(PaletteEdits, ReferencesFollowTheEquationsTheyNameThroughMoves) {
    sum("Base", 2, 3);
    const int32_t user = add_equation(palette, "User", "+");
    testhost::refer(palette, user, 0, "Base");
    set_number(palette, user, 1, 100);
    KVAEP_MoveEquationDownOne(palette, equation_at(palette, 0));  // exchange Base and User
    EXPECT_EQ(names(palette), std::vector<std::string>({"0:User", "1:Base"}));
    KVAEP_MoveEquation(palette, equation_at(palette, 1), 6);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(result_of(palette, 0), 105.0);
}

TEST_F(PaletteEdits, ExchangesAndCopiesDuplicateStoredText) {
    const int32_t a = add_equation(palette, "A", "Move Value");
    add_equation(palette, "B", "Move Value");
    Parameter *text = KVAEQ_GetParameterN(equation_at(palette, a), 0);
    KVAP_SetDataTypeName(text, "string");
    KVAP_SetString(text, "stored text", 1);
    KVAEP_MoveEquationDownOne(palette, equation_at(palette, a));
    Equation *copy = KVAEP_CopyEquation(palette, equation_at(palette, 1), 2);
    Parameter *moved = KVAEQ_GetParameterN(equation_at(palette, 1), 0);
    Parameter *copied = KVAEQ_GetParameterN(copy, 0);
    ASSERT_NE(KVAP_GetAddress(moved), nullptr);
    EXPECT_NE(KVAP_GetAddress(moved), KVAP_GetAddress(copied));
    KVAP_SetString(copied, "changed", 1);
    EXPECT_STREQ(static_cast<const char *>(KVAP_GetAddress(moved)), "stored text");
}

TEST_F(PaletteEdits, APaletteCopyIsPackedAndOwnsEverythingItHolds) {
    for (int32_t i = 0; i < 6; ++i) sum(("E" + std::to_string(i)).c_str(), i, 1);
    for (int32_t i : {1, 3, 4}) KVAEP_DeleteEquation(palette, equation_at(palette, i));
    KVAEQM_EvaluateTriggerName("New Frame");
    int other = 0;
    EquationPalette *target = KVAEQM_NewEquationPalette(&other);
    sum("Old", 0, 0, target);

    release_objects(target);
    KVAEP_CopyEPalette(&other, &database);
    EXPECT_EQ(names(target), std::vector<std::string>({"0:E0", "1:E2", "2:E5"}));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(target), 2);
    EXPECT_EQ(KVAEP_GetNumEquations(target), 3);
    for (int32_t k = 0; k < 3; ++k) {
        Equation *copy = equation_at(target, k);
        EXPECT_EQ(KVAEQ_GetNumSubscribers(copy), 0);
        EXPECT_NE(KVAEQ_GetVariable(copy), KVAEQ_GetVariable(equation_at(palette, k == 0   ? 0
                                                                                  : k == 1 ? 2
                                                                                           : 5)));
    }
    EXPECT_EQ(result_of(target, 2), 6.0);  // the result's value comes along

    // Editing the copy never touches the source.
    KVAEQ_SetNumParameters(equation_at(target, 0), 0);
    KVAEP_MoveEquationDownOne(target, equation_at(target, 1));
    KVAEP_DeleteEquation(target, equation_at(target, 2));
    int32_t again = 2;
    KVAEP_NewEquation(target, &again);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(result_of(palette, 0), 1.0);
    EXPECT_EQ(result_of(palette, 2), 3.0);
    EXPECT_EQ(result_of(palette, 5), 6.0);
    EXPECT_EQ(KVAEQ_GetNumParameters(equation_at(palette, 0)), 2);

    // Onto itself: nothing; from nowhere: the target is only cleared.
    KVAEP_CopyEPalette(&database, &database);
    EXPECT_EQ(names(palette), std::vector<std::string>({"0:E0", "2:E2", "5:E5"}));
    int nowhere = 0;
    release_objects(target);
    KVAEP_CopyEPalette(&other, &nowhere);
    EXPECT_EQ(KVAEP_GetNumEquations(target), 0);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(target), -1);
}

}  // namespace
