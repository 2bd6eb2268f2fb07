// "Equation" parameters: references to other equations by name, evaluated when read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::add_equation;
using testhost::cached_reference;
using testhost::equation_at;
using testhost::events;
using testhost::refer;
using testhost::result_of;
using testhost::set_number;

namespace {

using Log = std::vector<std::string>;

class References : public testhost::Library {
protected:
    void SetUp() override {
        Library::SetUp();
        events().clear();
        trace = testhost::register_trace_operator(2);
        recorder = testhost::register_recorder("Recorder");
        palette = new_palette();
    }
    void TearDown() override {
        for (Parameter *parameter : loose) KVAP_Delete(parameter);
        Library::TearDown();
    }
    // A parameter of the test's own, outside every equation; a reference to `name` by default.
    Parameter *loose_parameter(const char *name, int32_t type = ZTEQM_PARAMETER_EQUATION) {
        loose.push_back(KVAP_New(type));
        if (name != nullptr) KVAP_SetEquationReferenceName(loose.back(), name);
        return loose.back();
    }
    // `name` = 2 + 3, on no trigger of its own, with one recorder.
    int32_t make_sum(EquationPalette *where, const char *name = "Sum") {
        const int32_t index = add_equation(where, name, trace, "No Trigger");
        set_number(where, index, 0, 2.0);
        set_number(where, index, 1, 3.0);
        testhost::subscribe(equation_at(where, index), recorder, name);
        return index;
    }
    const char *trace = nullptr;
    int32_t recorder = -1;
    EquationPalette *palette = nullptr;
    std::vector<Parameter *> loose;
};

// Unresolved, a reference reads as nothing; once an equation bears its name, every read runs
// that equation with its notifications and reads its result; an operator reading one runs the
// referenced equation on the spot, before its own notifications.
TEST_F(References, AReadRunsTheEquationItsNameFindsAndReadsItsResult) {
    EXPECT_EQ(KVAP_IDOfName("Equation"), ZTEQM_PARAMETER_EQUATION);
    EXPECT_EQ(KVAP_GetParameterTypeLValueEnabled(ZTEQM_PARAMETER_EQUATION), 0);
    Parameter *reference = loose_parameter("Sum");
    EXPECT_EQ(KVAP_GetTypeID(reference), ZTEQM_PARAMETER_EQUATION);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(KVAP_GetInteger(reference), 0);
    EXPECT_EQ(KVAP_GetAddress(reference), nullptr);
    EXPECT_EQ(KVAP_GetDataTypeID(reference), 0);
    EXPECT_EQ(cached_reference(reference), nullptr);

    const int32_t sum = make_sum(palette);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_EQ(cached_reference(reference), equation_at(palette, sum));
    EXPECT_EQ(KVAP_GetInteger(reference), 5);
    EXPECT_EQ(KVAP_GetDataTypeID(reference), ZTEQM_VALUE_DOUBLE);
    EXPECT_EQ(KVAP_GetValue(reference),
              KVAP_GetVariableValue(KVAEQ_GetVariable(equation_at(palette, sum))));
    EXPECT_EQ(events(), (Log{"run Sum", "Sum=5", "run Sum", "Sum=5", "run Sum", "Sum=5", "run Sum",
                             "Sum=5"}));
    events().clear();
    const int32_t user = add_equation(palette, "User", trace);
    refer(palette, user, 1, "Sum");
    testhost::subscribe(equation_at(palette, user), recorder, "User");
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run User", "run Sum", "Sum=5", "User=15"}));

    // A copy refers to the same equation and is one block; an equation without an operator
    // function is not run.
    Parameter *copy = KVAP_CopyParameter(reference);
    EXPECT_EQ(cached_reference(copy), equation_at(palette, sum));
    EXPECT_STREQ(KVAP_GetEquationReferenceName(copy), "Sum");
    const size_t live = testhost::counts().live.size();
    KVAP_Delete(copy);
    EXPECT_EQ(testhost::counts().live.size(), live - 1);
    KVAEQ_SetOperatorName(equation_at(palette, sum), "No Such Operator");
    events().clear();
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_TRUE(events().empty());

    testhost::fail_after(0);
    EXPECT_EQ(KVAP_New(ZTEQM_PARAMETER_EQUATION), nullptr);
    testhost::fail_after(-1);
    KVAP_Exit();  // registered again under the same identifier when the registry restarts
    KVAP_Init();
    EXPECT_STREQ(KVAP_NameOfID(ZTEQM_PARAMETER_EQUATION), "Equation");
}

// The text and value functions reach the referenced result without running anything: the name
// as text resolves at once, the value as text formats the last result, and values written go
// into it (block-stored data copied, not shared). KVAP_SetDouble reads, and so runs, first.
TEST_F(References, TextAndValueFunctionsReachTheResultWithoutRunningIt) {
    const int32_t sum = make_sum(palette);
    Parameter *reference = loose_parameter(nullptr);
    ParameterSetValueFunc setValue = KVAP_GetParameterTypeSetValueFunc(ZTEQM_PARAMETER_EQUATION);
    Parameter *number = loose_parameter(nullptr, ZTEQM_PARAMETER_LITERAL);
    KVAP_SetDouble(number, 4.0);
    KVAP_SetEquationReferenceName(reference, "Sum");
    setValue(reference, KVAP_GetValue(number));  // not resolved yet: nothing is written
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 0.0);
    KVAP_SetString(reference, "Sum", 0);
    EXPECT_EQ(cached_reference(reference), equation_at(palette, sum));
    char *text = nullptr;
    KVAP_GetString(reference, &text, 0);
    EXPECT_STREQ(text, "Sum");
    KVAP_GetString(reference, &text, 1);
    EXPECT_STREQ(text, "0.000000");
    EXPECT_EQ(text, KVAEQ_GetVariable(equation_at(palette, sum))->valueText);
    KVAP_SetString(reference, "7.5", 1);
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 7.5);
    setValue(reference, KVAP_GetValue(number));
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 4.0);
    EXPECT_TRUE(events().empty());
    KVAP_SetDouble(reference, 6.0);
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 6.0);
    EXPECT_EQ(events(), (Log{"run Sum", "Sum=5"}));
    Parameter *string = loose_parameter(nullptr, ZTEQM_PARAMETER_LITERAL);
    KVAP_SetDataTypeName(string, "string");
    KVAP_SetString(string, "hello", 1);
    setValue(reference, KVAP_GetValue(string));
    Value *stored = KVAP_GetVariableValue(KVAEQ_GetVariable(equation_at(palette, sum)));
    EXPECT_STREQ(KVAV_GetTypeName(stored), "string");
    EXPECT_NE(stored->data.p, KVAP_GetValue(string)->data.p);

    // A name nothing bears leaves no value text; null text changes nothing; long names are cut.
    KVAP_SetString(reference, "Nothing", 0);
    EXPECT_EQ(cached_reference(reference), nullptr);
    KVAP_GetString(reference, &text, 1);
    EXPECT_EQ(text, nullptr);
    KVAP_SetString(reference, "1", 1);
    KVAP_SetString(reference, nullptr, 0);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "Nothing");
    KVAP_SetString(reference, std::string(90, 'r').c_str(), 0);
    EXPECT_EQ(std::string(KVAP_GetEquationReferenceName(reference)), std::string(79, 'r'));
}

// Naming keeps the cached pointer until a fix resolves the name in the earliest registered
// palette bearing it; a pointer set by hand is used as it is. Null parameters and parameters of
// another layout are refused. A direct self-reference, by pointer or name, is broken to the name
// "Recursive".
TEST_F(References, NamesResolveWhenFixedAndSelfReferencesAreBroken) {
    EquationPalette *later = new_palette();
    const int32_t inLater = make_sum(later, "Other");
    const int32_t sum = make_sum(palette);
    Parameter *reference = loose_parameter("Sum");
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), equation_at(palette, sum));
    KVAP_SetEquationReferenceName(reference, "Other");
    EXPECT_EQ(cached_reference(reference), equation_at(palette, sum));
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), equation_at(later, inLater));
    const int32_t other = make_sum(palette, "Other");
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), equation_at(palette, other));
    KVAP_SetEquationReference(reference, equation_at(palette, sum));
    EXPECT_STREQ(KVAP_GetEquationReferenceName(reference), "Other");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_EQ(events().front(), "run Sum");
    KVAP_SetEquationReferenceName(reference, std::string(100, 'x').c_str());
    KVAP_SetEquationReferenceName(reference, nullptr);
    EXPECT_EQ(std::string(KVAP_GetEquationReferenceName(reference)), std::string(79, 'x'));
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), nullptr);

    Parameter *literal = loose_parameter(nullptr, ZTEQM_PARAMETER_LITERAL);
    KVAP_SetEquationReferenceName(literal, "Sum");
    KVAP_SetEquationReference(literal, equation_at(palette, sum));
    KVAP_FixEquationReference(literal);
    EXPECT_EQ(KVAP_GetEquationReferenceName(literal), nullptr);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(literal), 10.0);
    KVAP_SetEquationReference(nullptr, nullptr);
    KVAP_FixEquationReference(nullptr);
    KVAP_SetEquationReferenceName(nullptr, "Sum");
    EXPECT_EQ(KVAP_CheckRecursion(equation_at(palette, sum), literal), 0);
    EXPECT_EQ(KVAP_CheckRecursion(nullptr, reference), 0);
    EXPECT_EQ(KVAP_CheckRecursion(equation_at(palette, sum), nullptr), 0);

    Equation *self = equation_at(palette, sum);
    Parameter *byName = refer(palette, sum, 0, "Sum");
    EXPECT_EQ(cached_reference(byName), self);
    EXPECT_EQ(KVAP_CheckRecursion(self, byName), 1);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(byName), "Recursive");
    EXPECT_EQ(cached_reference(byName), nullptr);
    EXPECT_EQ(KVAP_CheckRecursion(self, byName), 0);
    KVAP_SetEquationReference(byName, self);  // by pointer alone, whatever the name
    EXPECT_EQ(KVAP_CheckRecursion(self, byName), 1);
    Parameter *toSum = refer(palette, other, 0, "Sum");  // another equation's: left alone
    EXPECT_EQ(KVAP_CheckRecursion(equation_at(palette, other), toSum), 0);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(toSum), "Sum");
    KVAEQ_SetName(equation_at(palette, other), "Recursive");
    EXPECT_EQ(KVAP_CheckRecursion(equation_at(palette, other), byName), 1);
}

// A read that would re-enter an equation being evaluated gives nothing, so a self-reference
// runs once and a cycle stops at its first re-entry; a chain nests at most 64 evaluations.
TEST_F(References, SelfReferencesCyclesAndLongChainsEnd) {
    const int32_t a = add_equation(palette, "A", trace);
    const int32_t b = add_equation(palette, "B", trace, "No Trigger");
    const int32_t c = add_equation(palette, "C", trace, "No Trigger");
    const int32_t self = add_equation(palette, "Self", trace);
    const char *names[] = {"B", "C", "A", "Self"};
    for (int32_t index : {a, b, c, self}) {
        refer(palette, index, 0, names[index]);
        set_number(palette, index, 1, index == self ? 1000.0 : index == a ? 1.0 : 10.0 * index);
        testhost::subscribe(equation_at(palette, index), recorder,
                            KVAEQ_GetName(equation_at(palette, index)));
    }
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(),
              (Log{"run A", "run B", "run C", "C=20", "B=30", "A=31", "run Self", "Self=1000"}));
    events().clear();
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(loose_parameter("B")), 10.0 + 20.0 + 1.0);
    EXPECT_EQ(events(), (Log{"run B", "run C", "run A", "A=1", "C=21", "B=31"}));

    constexpr int kChain = 300;
    EquationPalette *chain = new_palette();
    int32_t capacity = kChain;
    KVAEP_NewEquation(chain, &capacity);  // room for the whole chain at once
    for (int link = 0; link < kChain; ++link) {
        const int32_t index = add_equation(chain, ("L" + std::to_string(link)).c_str(), trace);
        set_number(chain, index, 0, 0.0);
        set_number(chain, index, 1, 1.0);
        if (link > 0) refer(chain, index, 0, ("L" + std::to_string(link - 1)).c_str());
    }
    events().clear();
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(loose_parameter("L299")), 64.0);
    EXPECT_EQ(events().size(), 64u);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(loose_parameter("L9")), 10.0);
    KVAEQM_EvaluateTriggerName("New Frame");  // every link on the trigger: each run ends
    EXPECT_DOUBLE_EQ(result_of(chain, kChain - 1), 64.0);
    // The last run to reach a link is the deepest one of the last link's chain.
    EXPECT_DOUBLE_EQ(result_of(chain, kChain - 64), 1.0);
}

// Cached pointers never outlive their slots: growing the target's palette moves the slots
// (and another palette may be given the freed block), deleting the palette releases them; a
// reference then resolves its name afresh, into whatever palette now bears it.
TEST_F(References, AReferenceFollowsItsEquationWhenTheSlotsMoveOrGo) {
    EquationPalette *other = new_palette();
    make_sum(palette, "Target");
    Parameter *inEquation = refer(other, add_equation(other, "User", trace), 0, "Target");
    Parameter *outside = loose_parameter("Target");
    KVAP_FixEquationReference(outside);
    Parameter *offBoundary = loose_parameter("Target");
    KVAP_SetEquationReference(
        offBoundary,
        reinterpret_cast<Equation *>(reinterpret_cast<char *>(equation_at(palette, 0)) + 8));
    Equation *oldSlots = palette->slots;
    int32_t far = 40;
    KVAEP_NewEquation(palette, &far);
    ASSERT_NE(palette->slots, oldSlots);
    make_sum(new_palette(), "Impostor");  // may be given the released block
    for (Parameter *reference : {inEquation, outside, offBoundary}) {
        EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
        EXPECT_EQ(cached_reference(reference), equation_at(palette, 0));
    }
    EXPECT_EQ(events(),
              (Log{"run Target", "Target=5", "run Target", "Target=5", "run Target", "Target=5"}));

    KVAEQM_DeleteEquationPalette(KVAEP_GetUserData(palette));
    EXPECT_EQ(cached_reference(inEquation), nullptr);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(inEquation), 0.0);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(outside), 0.0);
    EquationPalette *third = new_palette();
    const int32_t again = make_sum(third, "Target");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(outside), 5.0);
    EXPECT_EQ(cached_reference(outside), equation_at(third, again));
}

// A deleted equation is still reached until a fix-up of its palette resolves the name again;
// a slot made live again voids every pointer into it, whichever palette the reference is in,
// so a reference never runs an equation made later in the slot it points at. A pointer set by
// hand is trusted, whatever the name, until its slot is made again; so is its copy.
TEST_F(References, ARemadeSlotVoidsTheReferencesIntoIt) {
    const int32_t sum = make_sum(palette);
    Parameter *reference = refer(palette, add_equation(palette, "User", trace), 0, "Sum");
    KVAEP_DeleteEquation(palette, equation_at(palette, sum));
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    int32_t index = 5;
    KVAEP_NewEquation(palette, &index);  // fixes the palette's references
    EXPECT_EQ(cached_reference(reference), nullptr);

    EquationPalette *other = new_palette();
    const int32_t b = make_sum(other, "B");
    KVAP_SetString(reference, "B", 0);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    KVAEP_DeleteEquation(other, equation_at(other, b));
    index = -1;
    ASSERT_NE(KVAEP_NewEquation(other, &index), nullptr);  // a stranger in B's slot
    ASSERT_EQ(index, b);
    events().clear();
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(cached_reference(reference), nullptr);
    EXPECT_TRUE(events().empty());
    const int32_t again = make_sum(other, "B");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    EXPECT_EQ(cached_reference(reference), equation_at(other, again));

    Parameter *byHand = loose_parameter("B");
    KVAP_SetEquationReference(byHand, equation_at(other, b));
    KVAP_GetDouble(byHand);
    EXPECT_EQ(cached_reference(byHand), equation_at(other, b));
    loose.push_back(KVAP_CopyParameter(byHand));
    Parameter *copy = loose.back();
    EXPECT_EQ(cached_reference(copy), equation_at(other, b));
    KVAEP_DeleteEquation(other, equation_at(other, b));
    int32_t same = b;
    Equation *remade = KVAEP_NewEquation(other, &same);
    EXPECT_EQ(KVAP_CheckRecursion(remade, copy), 0);  // not a reference of its own
    for (Parameter *stale : {byHand, copy}) {
        EXPECT_DOUBLE_EQ(KVAP_GetDouble(stale), 5.0);
        EXPECT_EQ(cached_reference(stale), equation_at(other, again));
    }
}

// A fix-up pass after a few changes fixes exactly the references a pass over the whole palette
// would: those of its own live equations that a change concerns, whether by the name they bear
// or set by hand, and no reference of another palette; after more changes than the library
// keeps track of, it still catches up with all of them.
TEST_F(References, AFixUpPassCatchesUpWithEveryChangeSinceTheLastOne) {
    EquationPalette *other = new_palette();
    const int32_t sum = make_sum(palette);
    const int32_t second = make_sum(palette, "Other");
    Parameter *bySum = refer(palette, add_equation(palette, "U1", trace), 0, "Sum");
    Parameter *byOther = refer(palette, add_equation(palette, "U2", trace), 0, "Other");
    Parameter *elsewhere = refer(other, add_equation(other, "V", trace), 0, "Sum");
    const auto fix_up = [&] {
        int32_t index = -1;
        KVAEP_NewEquation(palette, &index);
    };
    fix_up();
    KVAP_SetEquationReference(byOther, equation_at(palette, sum));
    KVAP_SetEquationReference(elsewhere, equation_at(palette, second));
    KVAEQ_SetName(equation_at(palette, sum), "Renamed");
    fix_up();
    EXPECT_EQ(cached_reference(bySum), nullptr);
    EXPECT_EQ(cached_reference(byOther), equation_at(palette, second));
    EXPECT_EQ(cached_reference(elsewhere), equation_at(palette, second));
    for (int change = 0; change < 100; ++change) {
        KVAP_SetEquationReference(byOther, equation_at(palette, change % 2 ? sum : second));
    }
    KVAEQ_SetName(equation_at(palette, second), "Sum");
    fix_up();
    EXPECT_EQ(cached_reference(bySum), equation_at(palette, second));
    EXPECT_EQ(cached_reference(byOther), nullptr);
    EXPECT_EQ(cached_reference(elsewhere), equation_at(palette, second));
}

}  // namespace
