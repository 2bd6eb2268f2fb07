// "Equation" parameters: references to other equations by name, evaluated when read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::add_equation;
using testhost::cached_reference;
using testhost::counts;
using testhost::events;
using testhost::refer;
using testhost::result_of;
using testhost::set_number;
using testhost::subscribe;

namespace {

using Log = std::vector<std::string>;

class EquationReference : public ::testing::Test {
protected:
    void SetUp() override {
        events().clear();
        testhost::start_library();
        trace = testhost::register_trace_operator(2);
        recorder = testhost::register_recorder("Recorder");
        palette = KVAEQM_NewEquationPalette(&database);
    }
    void TearDown() override {
        for (Parameter *parameter : loose) KVAP_Delete(parameter);
        KVAEQM_Exit();
    }

    // An "Equation" parameter of the test's own, outside every equation.
    Parameter *new_reference(const char *name) {
        Parameter *parameter = KVAP_New(ZTEQM_PARAMETER_EQUATION);
        if (name != nullptr) KVAP_SetEquationReferenceName(parameter, name);
        loose.push_back(parameter);
        return parameter;
    }

    // "Sum" = 2 + 3, on no trigger of its own, with one recorder.
    int32_t make_sum(EquationPalette *where, const char *name = "Sum") {
        const int32_t index = add_equation(where, name, trace, "No Trigger");
        set_number(where, index, 0, 2.0);
        set_number(where, index, 1, 3.0);
        subscribe(KVAEP_GetEquation(where, index), recorder, name);
        return index;
    }

    const char *trace = nullptr;
    int32_t recorder = -1;
    int database = 0;
    EquationPalette *palette = nullptr;
    std::vector<Parameter *> loose;
};

TEST_F(EquationReference, TheEquationTypeIsRegisteredUnderSix) {
    EXPECT_EQ(KVAP_IDOfName("Equation"), ZTEQM_PARAMETER_EQUATION);
    EXPECT_STREQ(KVAP_NameOfID(6), "Equation");
    EXPECT_EQ(KVAP_GetParameterTypeLValueEnabled(6), 0);
    Parameter *reference = new_reference(nullptr);
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(KVAP_GetTypeID(reference), ZTEQM_PARAMETER_EQUATION);
    EXPECT_STREQ(KVAP_GetTypeName(reference), "Equation");
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "");
    EXPECT_EQ(cached_reference(reference), nullptr);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);

    // Registered again under the same identifier after the registry restarts.
    KVAP_Exit();
    KVAP_Init();
    EXPECT_EQ(KVAP_IDOfName("Equation"), ZTEQM_PARAMETER_EQUATION);

    testhost::fail_after(0);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_EQUATION), nullptr);
    testhost::fail_after(-1);
}

TEST_F(EquationReference, ReadEvaluatesReferencedEquationAndNotifiesItsSubscribers) {
    const int32_t sum = make_sum(palette);
    Parameter *reference = new_reference("Sum");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, sum));
    EXPECT_EQ(KVAP_GetInteger(reference), 5);
    EXPECT_EQ(KVAP_GetDataTypeID(reference), ZTEQM_VALUE_DOUBLE);
    EXPECT_EQ(events(), (Log{"run Sum", "Sum=5", "run Sum", "Sum=5", "run Sum", "Sum=5"}));
    EXPECT_EQ(KVAP_GetValue(reference),
              KVAP_GetVariableValue(KVAEQ_GetVariable(KVAEP_GetEquation(palette, sum))));

    // Read by an operator, it runs on the spot, before the reading equation's own notifications.
    events().clear();
    const int32_t user = add_equation(palette, "User", trace);
    refer(palette, user, 1, "Sum");
    subscribe(KVAEP_GetEquation(palette, user), recorder, "User");
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run User", "run Sum", "Sum=5", "User=15"}));
}

TEST_F(EquationReference, AnUnresolvedNameReadsAsNothingUntilAnEquationBearsIt) {
    Parameter *reference = new_reference("Later");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(KVAP_GetInteger(reference), 0);
    EXPECT_EQ(KVAP_GetAddress(reference), nullptr);
    EXPECT_EQ(KVAP_GetDataTypeID(reference), 0);
    EXPECT_EQ(KVAP_GetValue(reference), nullptr);
    EXPECT_EQ(cached_reference(reference), nullptr);

    make_sum(palette, "Later");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_NE(cached_reference(reference), nullptr);
}

TEST_F(EquationReference, TextFunctionsNameAndResolveTheReference) {
    const int32_t sum = make_sum(palette);
    Parameter *reference = new_reference(nullptr);
    KVAP_SetString(reference, "Sum", 0);  // resolved at once
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, sum));
    EXPECT_TRUE(events().empty());

    char *text = nullptr;
    KVAP_GetString(reference, &text, 0);
    EXPECT_STREQ(text, "Sum");
    // The value text formats the last result without evaluating anything.
    KVAP_GetString(reference, &text, 1);
    EXPECT_STREQ(text, "0.000000");
    EXPECT_EQ(text, KVAEQ_GetVariable(KVAEP_GetEquation(palette, sum))->valueText);
    KVAP_SetString(reference, "7.5", 1);
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 7.5);
    EXPECT_TRUE(events().empty());

    KVAP_SetString(reference, "Nothing", 0);
    EXPECT_EQ(cached_reference(reference), nullptr);
    text = reinterpret_cast<char *>(&database);
    KVAP_GetString(reference, &text, 1);
    EXPECT_EQ(text, nullptr);
    KVAP_SetString(reference, "1", 1);
    KVAP_SetString(reference, nullptr, 0);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "Nothing");

    KVAP_SetString(reference, std::string(90, 'r').c_str(), 0);
    EXPECT_EQ(std::string(KVAP_GetEquationReferenceName(reference)), std::string(79, 'r'));
}

TEST_F(EquationReference, SettingTheValueWritesTheReferencedResult) {
    const int32_t sum = make_sum(palette);
    Parameter *reference = new_reference("Sum");
    Parameter *number = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    loose.push_back(number);
    KVAP_SetDouble(number, 4.0);
    ParameterSetValueFunc setValue = KVAP_GetParameterTypeSetValueFunc(6);
    setValue(reference, KVAP_GetValue(number));  // unresolved: nothing is written
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 0.0);
    KVAP_FixEquationReference(reference);
    setValue(reference, KVAP_GetValue(number));
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 4.0);
    EXPECT_TRUE(events().empty());

    // Through KVAP_SetDouble the reference is read first, so the equation runs before the write.
    KVAP_SetDouble(reference, 6.0);
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 6.0);
    EXPECT_EQ(events(), (Log{"run Sum", "Sum=5"}));

    // A block-stored value is copied, not shared.
    Parameter *text = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    loose.push_back(text);
    KVAP_SetDataTypeName(text, "string");
    KVAP_SetString(text, "hello", 1);
    setValue(reference, KVAP_GetValue(text));
    Value *stored = KVAP_GetVariableValue(KVAEQ_GetVariable(KVAEP_GetEquation(palette, sum)));
    EXPECT_STREQ(KVAV_GetTypeName(stored), "string");
    EXPECT_NE(stored->data.p, KVAP_GetValue(text)->data.p);
}

TEST_F(EquationReference, NameFunctionsKeepThePointerUntilFixed) {
    const int32_t sum = make_sum(palette);
    const int32_t other = make_sum(palette, "Other");
    Parameter *reference = new_reference("Sum");
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, sum));

    KVAP_SetEquationReferenceName(reference, "Other");
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "Other");
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, sum));
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, other));

    KVAP_SetEquationReference(reference, KVAEP_GetEquation(palette, sum));
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "Other");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_EQ(events().front(), "run Sum");
    KVAP_SetEquationReference(reference, nullptr);
    EXPECT_EQ(cached_reference(reference), nullptr);

    KVAP_SetEquationReferenceName(reference, std::string(100, 'x').c_str());
    EXPECT_EQ(std::string(KVAP_GetEquationReferenceName(reference)), std::string(79, 'x'));
    KVAP_SetEquationReferenceName(reference, nullptr);
    EXPECT_EQ(std::string(KVAP_GetEquationReferenceName(reference)), std::string(79, 'x'));
    KVAP_SetEquationReferenceName(reference, "Nobody");
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), nullptr);

    // Null parameters and parameters of another layout are refused.
    Parameter *literal = KVAP_New(ZTEQM_PARAMETER_LITERAL);
    loose.push_back(literal);
    const std::string before = reinterpret_cast<LiteralParameter *>(literal)->text;
    KVAP_SetEquationReferenceName(literal, "Sum");
    KVAP_SetEquationReference(literal, KVAEP_GetEquation(palette, sum));
    KVAP_FixEquationReference(literal);
    EXPECT_EQ(KVAP_GetEquationReferenceName(literal), nullptr);
    EXPECT_EQ(reinterpret_cast<LiteralParameter *>(literal)->text, before);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(literal), 10.0);
    EXPECT_EQ(KVAP_GetEquationReferenceName(nullptr), nullptr);
    KVAP_SetEquationReference(nullptr, nullptr);
    KVAP_FixEquationReference(nullptr);
    KVAP_SetEquationReferenceName(nullptr, "Sum");
}

TEST_F(EquationReference, FixingFindsTheEquationOfTheEarliestRegisteredPalette) {
    int laterDatabase = 0;
    EquationPalette *later = KVAEQM_NewEquationPalette(&laterDatabase);
    const int32_t inLater = make_sum(later, "Shared");
    Parameter *reference = new_reference("Shared");
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(later, inLater));

    const int32_t inFirst = make_sum(palette, "Shared");
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, inFirst));
}

TEST_F(EquationReference, CheckingRecursionBreaksOnlyADirectSelfReference) {
    const int32_t self = add_equation(palette, "Self", trace);
    Equation *equation = KVAEP_GetEquation(palette, self);
    Parameter *literal = KVAEQ_GetParameterN(equation, 1);
    EXPECT_EQ(KVAP_CheckRecursion(equation, literal), 0);
    EXPECT_EQ(KVAP_CheckRecursion(nullptr, literal), 0);
    EXPECT_EQ(KVAP_CheckRecursion(equation, nullptr), 0);

    Parameter *byName = refer(palette, self, 0, "Self");
    EXPECT_EQ(cached_reference(byName), equation);
    EXPECT_EQ(KVAP_CheckRecursion(equation, byName), 1);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(byName), "Recursive");
    EXPECT_EQ(cached_reference(byName), nullptr);
    EXPECT_EQ(KVAP_CheckRecursion(equation, byName), 0);

    // By pointer alone, whatever the name says.
    KVAP_SetEquationReference(byName, equation);
    EXPECT_EQ(KVAP_CheckRecursion(equation, byName), 1);

    // Another equation's reference is left alone.
    const int32_t other = add_equation(palette, "Other", trace);
    Parameter *toOther = refer(palette, other, 0, "Self");
    EXPECT_EQ(KVAP_CheckRecursion(KVAEP_GetEquation(palette, other), toOther), 0);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(toOther), "Self");

    // An equation named "Recursive" is what a broken reference then finds.
    KVAEQ_SetName(KVAEP_GetEquation(palette, other), "Recursive");
    EXPECT_EQ(KVAP_CheckRecursion(KVAEP_GetEquation(palette, other), byName), 1);
}

TEST_F(EquationReference, ASelfReferenceReadsAsNothingAndRunsOnce) {
    const int32_t self = add_equation(palette, "Self", trace);
    set_number(palette, self, 1, 1.0);
    refer(palette, self, 0, "Self");
    subscribe(KVAEP_GetEquation(palette, self), recorder, "Self");
    KVAEQM_EvaluateTriggerName("New Frame");
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run Self", "Self=1", "run Self", "Self=1"}));
}

TEST_F(EquationReference, ACycleThroughOtherEquationsStopsAtTheFirstReentry) {
    const int32_t a = add_equation(palette, "A", trace);
    const int32_t b = add_equation(palette, "B", trace, "No Trigger");
    const int32_t c = add_equation(palette, "C", trace, "No Trigger");
    refer(palette, a, 0, "B");
    set_number(palette, a, 1, 1.0);
    refer(palette, b, 0, "C");
    set_number(palette, b, 1, 10.0);
    refer(palette, c, 0, "A");
    set_number(palette, c, 1, 100.0);
    for (int32_t index : {a, b, c}) {
        subscribe(KVAEP_GetEquation(palette, index), recorder,
                  index == a   ? "A"
                  : index == b ? "B"
                               : "C");
    }
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run A", "run B", "run C", "C=100", "B=110", "A=111"}));

    // Read from outside, the cycle is entered at B and stops when it comes back to B.
    events().clear();
    Parameter *reference = new_reference("B");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 10.0 + 100.0 + 1.0);
    EXPECT_EQ(events(), (Log{"run B", "run C", "run A", "A=1", "C=101", "B=111"}));
}

TEST_F(EquationReference, ALongChainOfReferencesStopsAtTheNestingLimit) {
    constexpr int kChain = 300;
    int32_t capacity = kChain;
    KVAEP_NewEquation(palette, &capacity);  // room for the whole chain at once
    for (int link = 0; link < kChain; ++link) {
        const std::string name = "Link " + std::to_string(link);
        const int32_t index = add_equation(palette, name.c_str(), trace, "No Trigger");
        ASSERT_EQ(index, link);
        set_number(palette, index, 0, 0.0);
        set_number(palette, index, 1, 1.0);
        if (link > 0) refer(palette, index, 0, ("Link " + std::to_string(link - 1)).c_str());
    }
    // Reading the last link nests 64 evaluations; the innermost one reads its reference as 0.
    Parameter *reference = new_reference(("Link " + std::to_string(kChain - 1)).c_str());
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 64.0);
    EXPECT_EQ(events().size(), 64u);
    // A short chain is evaluated whole.
    Parameter *shortChain = new_reference("Link 9");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(shortChain), 10.0);

    // Every link on a trigger: each evaluation ends, whatever the length.
    for (int link = 0; link < kChain; ++link) {
        KVAEQ_SetTriggerName(KVAEP_GetEquation(palette, link), "New Frame");
    }
    events().clear();
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_DOUBLE_EQ(result_of(palette, kChain - 1), 64.0);
    // The last evaluation to reach a link is the deepest one of the last link's chain.
    EXPECT_DOUBLE_EQ(result_of(palette, kChain - 64), 1.0);
}

TEST_F(EquationReference, AReferenceFollowsItsEquationWhenTheSlotArrayMoves) {
    int otherDatabase = 0;
    EquationPalette *other = KVAEQM_NewEquationPalette(&otherDatabase);
    make_sum(palette, "Target");
    const int32_t user = add_equation(other, "User", trace);
    Parameter *inEquation = refer(other, user, 0, "Target");
    Parameter *outside = new_reference("Target");
    KVAP_FixEquationReference(outside);
    Parameter *offBoundary = new_reference("Target");
    KVAP_SetEquationReference(
        offBoundary,
        reinterpret_cast<Equation *>(reinterpret_cast<char *>(KVAEP_GetEquation(palette, 0)) + 8));

    // Growing the target's palette releases the slots the cached pointers address.
    Equation *oldSlots = palette->slots;
    int32_t far = 40;
    KVAEP_NewEquation(palette, &far);
    ASSERT_NE(palette->slots, oldSlots);
    // Another palette may now be given the released block; it must not be mistaken for it.
    int thirdDatabase = 0;
    EquationPalette *third = KVAEQM_NewEquationPalette(&thirdDatabase);
    make_sum(third, "Impostor");

    EXPECT_DOUBLE_EQ(KVAP_GetDouble(inEquation), 5.0);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(outside), 5.0);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(offBoundary), 5.0);
    for (Parameter *reference : {inEquation, outside, offBoundary}) {
        EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, 0));
    }
    EXPECT_EQ(events(),
              (Log{"run Target", "Target=5", "run Target", "Target=5", "run Target", "Target=5"}));
}

TEST_F(EquationReference, AReferenceIntoADeletedPaletteIsResolvedByNameAgain) {
    int otherDatabase = 0;
    EquationPalette *other = KVAEQM_NewEquationPalette(&otherDatabase);
    make_sum(other, "Target");
    const int32_t user = add_equation(palette, "User", trace);
    Parameter *inEquation = refer(palette, user, 0, "Target");
    Parameter *outside = new_reference("Target");
    KVAP_FixEquationReference(outside);

    KVAEQM_DeleteEquationPalette(&otherDatabase);
    EXPECT_EQ(cached_reference(inEquation), nullptr);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(inEquation), 0.0);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(outside), 0.0);
    EXPECT_EQ(cached_reference(outside), nullptr);

    int thirdDatabase = 0;
    EquationPalette *third = KVAEQM_NewEquationPalette(&thirdDatabase);
    const int32_t again = make_sum(third, "Target");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(outside), 5.0);
    EXPECT_EQ(cached_reference(outside), KVAEP_GetEquation(third, again));
}

TEST_F(EquationReference, ADeletedEquationIsStillReachedUntilItsNameIsResolvedAgain) {
    const int32_t sum = make_sum(palette);
    const int32_t user = add_equation(palette, "User", trace);
    Parameter *reference = refer(palette, user, 0, "Sum");
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, sum));
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);

    // Making an equation fixes the palette's references: the name now finds nothing.
    int32_t index = 5;
    KVAEP_NewEquation(palette, &index);
    EXPECT_EQ(cached_reference(reference), nullptr);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
}

TEST_F(EquationReference, AReferencedEquationWithoutAnOperatorIsNotEvaluated) {
    const int32_t sum = make_sum(palette);
    KVAEQ_SetOperatorName(KVAEP_GetEquation(palette, sum), "No Such Operator");
    Parameter *reference = new_reference("Sum");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(palette, sum));
    EXPECT_TRUE(events().empty());
}

TEST_F(EquationReference, ACopiedReferenceRefersToTheSameEquation) {
    const int32_t sum = make_sum(palette);
    Parameter *reference = new_reference("Sum");
    KVAP_FixEquationReference(reference);
    Parameter *copy = KVAP_CopyParameter(reference);
    loose.push_back(copy);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(copy), "Sum");
    EXPECT_EQ(cached_reference(copy), KVAEP_GetEquation(palette, sum));
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(copy), 5.0);
    const long live = static_cast<long>(counts().live.size());
    KVAP_Delete(copy);
    loose.pop_back();
    EXPECT_EQ(static_cast<long>(counts().live.size()), live - 1);
}

}  // namespace

namespace {

// A fix-up pass after a few changes fixes exactly the references a pass over the whole
// palette would: those of its own live equations that a change concerns, whether by the name
// they bear or set by hand, and no reference of another palette; after more changes than the
// library keeps track of, it still catches up with all of them.
TEST_F(EquationReference, AFixUpPassCatchesUpWithEveryChangeSinceTheLastOne) {
    int otherDatabase = 0;
    EquationPalette *other = KVAEQM_NewEquationPalette(&otherDatabase);
    const int32_t sum = make_sum(palette);
    const int32_t second = make_sum(palette, "Other");
    Parameter *bySum = refer(palette, add_equation(palette, "U1", trace), 0, "Sum");
    Parameter *byOther = refer(palette, add_equation(palette, "U2", trace), 0, "Other");
    Parameter *elsewhere = refer(other, add_equation(other, "V", trace), 0, "Sum");
    int32_t index = -1;
    KVAEP_NewEquation(palette, &index);  // every reference of the palette is fixed now

    KVAP_SetEquationReference(byOther, KVAEP_GetEquation(palette, sum));
    KVAP_SetEquationReference(elsewhere, KVAEP_GetEquation(palette, second));
    KVAEQ_SetName(KVAEP_GetEquation(palette, sum), "Renamed");
    index = -1;
    KVAEP_NewEquation(palette, &index);
    EXPECT_EQ(cached_reference(bySum), nullptr);
    EXPECT_EQ(cached_reference(byOther), KVAEP_GetEquation(palette, second));
    EXPECT_EQ(cached_reference(elsewhere), KVAEP_GetEquation(palette, second));

    for (int change = 0; change < 100; ++change) {
        KVAP_SetEquationReference(byOther, KVAEP_GetEquation(palette, change % 2 ? sum : second));
    }
    KVAEQ_SetName(KVAEP_GetEquation(palette, second), "Sum");
    index = -1;
    KVAEP_NewEquation(palette, &index);
    EXPECT_EQ(cached_reference(bySum), KVAEP_GetEquation(palette, second));
    EXPECT_EQ(cached_reference(byOther), nullptr);
    EXPECT_EQ(cached_reference(elsewhere), KVAEP_GetEquation(palette, second));
}

TEST_F(EquationReference, AReferenceNeverRunsAnEquationMadeLaterInTheSlotItPointsAt) {
    int otherDatabase = 0;
    EquationPalette *other = KVAEQM_NewEquationPalette(&otherDatabase);
    const int32_t b = make_sum(other, "B");
    const int32_t a = add_equation(palette, "A", trace);
    Parameter *reference = refer(palette, a, 0, "B");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);

    // B goes; a new equation takes its slot under another name. A's palette is not fixed up.
    KVAEP_DeleteEquation(other, KVAEP_GetEquation(other, b));
    int32_t index = -1;
    Equation *stranger = KVAEP_NewEquation(other, &index);
    ASSERT_EQ(index, b);
    ASSERT_STREQ(KVAEQ_GetName(stranger), "Equation 0");
    events().clear();
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(cached_reference(reference), nullptr);
    EXPECT_TRUE(events().empty());

    // A new "B", wherever it is made, is what the name finds next.
    const int32_t again = make_sum(other, "B");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_EQ(cached_reference(reference), KVAEP_GetEquation(other, again));

    // A pointer set by hand is trusted, whatever the name, until its slot is made again; so is
    // a copy of it, and no further. A reference to the new equation is not taken for a
    // reference of the new equation to itself.
    Parameter *byHand = new_reference("B");
    KVAP_SetEquationReference(byHand, KVAEP_GetEquation(other, b));
    EXPECT_EQ(cached_reference(byHand), KVAEP_GetEquation(other, b));
    KVAP_GetDouble(byHand);
    EXPECT_EQ(cached_reference(byHand), KVAEP_GetEquation(other, b));
    Parameter *copy = KVAP_CopyParameter(byHand);
    loose.push_back(copy);
    EXPECT_EQ(cached_reference(copy), KVAEP_GetEquation(other, b));
    KVAEP_DeleteEquation(other, KVAEP_GetEquation(other, b));
    int32_t same = b;
    Equation *remade = KVAEP_NewEquation(other, &same);
    EXPECT_EQ(KVAP_CheckRecursion(remade, copy), 0);
    for (Parameter *stale : {byHand, copy}) {
        EXPECT_DOUBLE_EQ(KVAP_GetDouble(stale), 5.0);
        EXPECT_EQ(cached_reference(stale), KVAEP_GetEquation(other, again));
    }
}

}  // namespace
