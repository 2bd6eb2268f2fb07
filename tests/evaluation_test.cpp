// The palette registry and the trigger-driven evaluation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::add_equation;
using testhost::counts;
using testhost::events;
using testhost::result_of;
using testhost::set_number;
using testhost::subscribe;

namespace {

using Log = std::vector<std::string>;

class Evaluation : public ::testing::Test {
protected:
    void SetUp() override {
        events().clear();
        testhost::start_library();
        trace = testhost::register_trace_operator(2);
        recorder = testhost::register_recorder("Recorder");
    }
    void TearDown() override { KVAEQM_Exit(); }

    const char *trace = nullptr;
    int32_t recorder = -1;
    int databases[12] = {};
};

// Registry ------------------------------------------------------------------------------

TEST_F(Evaluation, PalettesAreListedInRegistrationOrderAndRemovalClosesTheGap) {
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
    std::vector<EquationPalette *> made;
    for (int &database : databases) made.push_back(KVAEQM_NewEquationPalette(&database));
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 12);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(KVAEQM_GetEquationPalette(&databases[i]), made[i]);

    KVAEQM_DeleteEquationPalette(&databases[0]);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 11);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&databases[0]), nullptr);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&databases[1]), made[1]);

    int unknown = 0;
    KVAEQM_DeleteEquationPalette(&unknown);
    KVAEQM_DeleteEquationPalette(nullptr);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 11);
    for (int i = 1; i < 12; ++i) KVAEQM_DeleteEquationPalette(&databases[i]);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
}

TEST_F(Evaluation, NullAndSharedUserDataFindTheEarliestPalette) {
    EquationPalette *anonymous = KVAEQM_NewEquationPalette(nullptr);
    EquationPalette *first = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *second = KVAEQM_NewEquationPalette(&databases[0]);
    ASSERT_NE(second, first);
    EXPECT_EQ(KVAEQM_GetEquationPalette(nullptr), nullptr);
    EXPECT_EQ(GetEquationPaletteFromUserData(nullptr), anonymous);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&databases[0]), first);
    EXPECT_EQ(GetEquationPaletteFromUserData(&databases[1]), nullptr);

    // Deleting by the shared value removes the earlier palette; the later one is found next.
    KVAEQM_DeleteEquationPalette(&databases[0]);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&databases[0]), second);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 2);
}

TEST_F(Evaluation, RegisteringWithoutMemoryGivesNullAndKeepsTheList) {
    for (int i = 0; i < 10; ++i) KVAEQM_NewEquationPalette(&databases[i]);
    const size_t live = counts().live.size();
    testhost::fail_after(2);  // the palette and its slots, but no longer list
    EXPECT_EQ(KVAEQM_NewEquationPalette(&databases[10]), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 10);
    EXPECT_EQ(counts().live.size(), live);
    EXPECT_NE(KVAEQM_NewEquationPalette(&databases[10]), nullptr);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 11);
}

TEST_F(Evaluation, FindingByNameSearchesPalettesInRegistrationOrder) {
    EquationPalette *a = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *b = KVAEQM_NewEquationPalette(&databases[1]);
    add_equation(a, "Other", trace);
    const int32_t inB = add_equation(b, "Speed", trace);
    EXPECT_EQ(KVAEQM_FindEquationByName("Speed"), KVAEP_GetEquation(b, inB));

    const int32_t inA = add_equation(a, "Speed", trace);
    EXPECT_EQ(KVAEQM_FindEquationByName("Speed"), KVAEP_GetEquation(a, inA));
    EXPECT_EQ(KVAEQM_FindEquationByName("speed"), nullptr);
    EXPECT_EQ(KVAEQM_FindEquationByName(nullptr), nullptr);
}

// Evaluation ----------------------------------------------------------------------------

TEST_F(Evaluation, WithoutPalettesNothingHappens) {
    KVAEQM_Evaluate(1);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
}

TEST_F(Evaluation, OnlyEquationsOfTheTriggerRunAndTheirSubscribersHearInOrder) {
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t frame = add_equation(palette, "Frame", trace, "New Frame");
    const int32_t app = add_equation(palette, "App", trace, "Application");
    set_number(palette, frame, 0, 2.0);
    set_number(palette, frame, 1, 3.0);
    subscribe(KVAEP_GetEquation(palette, frame), recorder, "first");
    subscribe(KVAEP_GetEquation(palette, frame), recorder, "second");
    subscribe(KVAEP_GetEquation(palette, app), recorder, "app");

    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    EXPECT_EQ(events(), (Log{"run Frame", "first=5", "second=5"}));
    EXPECT_DOUBLE_EQ(result_of(palette, frame), 5.0);

    // The trigger's name is matched exactly and its enabled flag is not consulted.
    events().clear();
    KVAT_EnableByName("New Frame", 0);
    KVAEQM_EvaluateTriggerName("new frame");
    KVAEQM_EvaluateTriggerName(nullptr);
    KVAEQM_Evaluate(KVAT_GetNumTypes());
    KVAEQM_Evaluate(-1);
    EXPECT_TRUE(events().empty());
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events().size(), 3u);
}

TEST_F(Evaluation, ResultVariableIsWhatSubscribersReceive) {
    static Variable *received = nullptr;
    static void *receivedUserData = nullptr;
    const int32_t type = KVAS_RegisterSubscriberType(
        "Probe", nullptr,
        [](Variable *result, void *userData) {
            received = result;
            receivedUserData = userData;
        },
        nullptr);
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t index = add_equation(palette, "Frame", "Move Value");
    Equation *equation = KVAEP_GetEquation(palette, index);
    KVAEQ_RegisterSubscriber(equation, type, nullptr, &databases[5]);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(received, KVAEQ_GetVariable(equation));
    EXPECT_EQ(receivedUserData, &databases[5]);
    EXPECT_DOUBLE_EQ(result_of(palette, index), 10.0);  // "Move Value" of the default literal
}

TEST_F(Evaluation, AnEquationWithoutAnOperatorFunctionIsPassedOver) {
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t unknown = add_equation(palette, "Unknown", "No Such Operator");
    const int32_t cleared = add_equation(palette, "Cleared", "Trace1");
    const int32_t fine = add_equation(palette, "Fine", trace);
    KVAOP_RegisterOperator(1, "Trace1", nullptr);  // a name without a function
    KVAEQ_SetOperatorName(KVAEP_GetEquation(palette, cleared), "Trace1");
    subscribe(KVAEP_GetEquation(palette, unknown), recorder, "unknown");
    subscribe(KVAEP_GetEquation(palette, cleared), recorder, "cleared");
    subscribe(KVAEP_GetEquation(palette, fine), recorder, "Fine");
    EXPECT_EQ(KVAEQ_GetOperatorID(KVAEP_GetEquation(palette, unknown)), 0);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run Fine", "Fine=20"}));
}

TEST_F(Evaluation, PalettesRunInRegistrationOrderAndEquationsByIndex) {
    EquationPalette *a = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *b = KVAEQM_NewEquationPalette(&databases[1]);
    int32_t index = 4;
    KVAEP_NewEquation(b, &index);
    add_equation(b, "B0", trace);
    add_equation(a, "A0", trace);
    add_equation(b, "B1", trace);
    add_equation(a, "A1", trace);
    Equation *last = KVAEP_GetEquation(b, 4);
    KVAEQ_SetOperatorName(last, trace);
    KVAEQ_SetTriggerName(last, "New Frame");
    KVAP_SetVariableName(KVAEQ_GetVariable(last), "B4");
    KVAEP_DeleteEquation(a, KVAEP_GetEquation(a, 0));
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run A1", "run B0", "run B1", "run B4"}));
}

TEST_F(Evaluation, APaletteUnderNullOrSharedUserDataLendsItsTurnToTheEarlierOne) {
    EquationPalette *anonymous = KVAEQM_NewEquationPalette(nullptr);
    EquationPalette *first = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *twin = KVAEQM_NewEquationPalette(&databases[0]);
    add_equation(anonymous, "Anonymous", trace);
    add_equation(first, "First", trace);
    add_equation(twin, "Twin", trace);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run First", "run First"}));
}

TEST_F(Evaluation, RefreshingRebuildsTheSubscribersOfEveryLiveEquation) {
    static Log asked;
    KVAS_RegisterSubscriberType("Everything", nullptr, nullptr, [](Equation *equation, void *) {
        asked.push_back(KVAEQ_GetName(equation));
        KVAEQ_RegisterSubscriber(equation, 1, nullptr, const_cast<char *>("all"));
    });
    EquationPalette *a = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *b = KVAEQM_NewEquationPalette(&databases[1]);
    KVAEQM_NewEquationPalette(nullptr);
    add_equation(b, "B0", trace);
    add_equation(a, "A0", trace);
    add_equation(a, "A1", trace);
    add_equation(a, "A2", trace);
    subscribe(KVAEP_GetEquation(a, 0), recorder, "old");
    KVAEP_DeleteEquation(a, KVAEP_GetEquation(a, 1));

    KVAEQM_RefreshAllSubscribers();
    EXPECT_EQ(asked, (Log{"A0", "A2", "B0"}));
    EXPECT_EQ(KVAEQ_GetNumSubscribers(KVAEP_GetEquation(a, 0)), 1);
    EXPECT_EQ(KVAEQ_GetSubscriberN(KVAEP_GetEquation(a, 0), 0)->typeId, 1);
}

TEST_F(Evaluation, EvaluatingABuiltPaletteAllocatesNothing) {
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    for (const char *name : {"A", "B", "C"}) {
        const int32_t index = add_equation(palette, name, trace);
        subscribe(KVAEP_GetEquation(palette, index), recorder, name);
    }
    testhost::refer(palette, 2, 0, "A");
    KVAEQM_EvaluateTriggerName("New Frame");
    const long allocations = counts().allocations;
    for (int frame = 0; frame < 5; ++frame) KVAEQM_Evaluate(1);
    EXPECT_EQ(counts().allocations, allocations);
}

// Callbacks that change the palettes while they are evaluated --------------------------------

EquationPalette *changed = nullptr;
int growCalls = 0;

int32_t grow_and_trace(Variable *result, int32_t, Parameter **) {
    events().push_back("run " + std::string(KVAP_GetVariableName(result)));
    if (growCalls++ == 0) {
        int32_t far = 25;
        Equation *made = KVAEP_NewEquation(changed, &far);
        KVAEQ_SetOperatorName(made, "Grow");
        KVAEQ_SetTriggerName(made, "New Frame");
        KVAP_SetVariableName(KVAEQ_GetVariable(made), "Made");
    }
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), 1.0);
    return 1;
}

TEST_F(Evaluation, AnOperatorThatMakesEquationsDoesNotDisturbTheWalk) {
    KVAOP_RegisterOperator(0, "Grow", grow_and_trace);
    changed = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t first = add_equation(changed, "First", "Grow");
    const int32_t second = add_equation(changed, "Second", "Grow");
    subscribe(KVAEP_GetEquation(changed, first), recorder, "first");
    subscribe(KVAEP_GetEquation(changed, second), recorder, "second");
    KVAEQM_EvaluateTriggerName("New Frame");
    // Equations made while the walk runs are reached when it gets to their index.
    EXPECT_EQ(events(), (Log{"run First", "first=1", "run Second", "second=1", "run Made"}));
    EXPECT_EQ(changed->capacity, 26);
}

void grow_on_notify(Variable *, void *) {
    events().push_back("growing");
    int32_t far = changed->capacity + 5;
    KVAEP_NewEquation(changed, &far);
}

TEST_F(Evaluation, ASubscriberThatMakesEquationsDoesNotDisturbTheOthers) {
    const int32_t grower = KVAS_RegisterSubscriberType("Grower", nullptr, grow_on_notify, nullptr);
    changed = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t first = add_equation(changed, "First", trace);
    add_equation(changed, "Second", trace);
    KVAEQ_RegisterSubscriber(KVAEP_GetEquation(changed, first), grower, nullptr, nullptr);
    subscribe(KVAEP_GetEquation(changed, first), recorder, "first");
    KVAEQ_RegisterSubscriber(KVAEP_GetEquation(changed, first), grower, nullptr, nullptr);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run First", "growing", "first=20", "growing", "run Second"}));
    EXPECT_EQ(changed->capacity, 22);
}

void delete_palette_on_notify(Variable *, void *userData) {
    events().push_back("deleting");
    KVAEQM_DeleteEquationPalette(userData);
}

TEST_F(Evaluation, ASubscriberThatDeletesItsPaletteEndsThatPalettesTurnOnly) {
    const int32_t deleter =
        KVAS_RegisterSubscriberType("Deleter", nullptr, delete_palette_on_notify, nullptr);
    EquationPalette *a = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *b = KVAEQM_NewEquationPalette(&databases[1]);
    EquationPalette *c = KVAEQM_NewEquationPalette(&databases[2]);
    add_equation(a, "A", trace);
    const int32_t b0 = add_equation(b, "B0", trace);
    add_equation(b, "B1", trace);
    add_equation(c, "C", trace);
    KVAEQ_RegisterSubscriber(KVAEP_GetEquation(b, b0), deleter, nullptr, &databases[1]);
    subscribe(KVAEP_GetEquation(b, b0), recorder, "never");
    KVAEQM_EvaluateTriggerName("New Frame");
    // The removal shifts C into B's position, which the walk has passed.
    EXPECT_EQ(events(), (Log{"run A", "run B0", "deleting"}));
    events().clear();
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run A", "run C"}));
}

// Deletes the palette (or only remakes the running equation), then reads its parameters and
// writes its result as if nothing had happened.
bool remakeOnly = false;
int32_t pull_the_rug(Variable *result, int32_t numParameters, Parameter **parameters) {
    events().push_back("run " + std::string(KVAP_GetVariableName(result)));
    if (remakeOnly) {
        KVAEP_DeleteEquation(changed, KVAEP_GetEquation(changed, 0));
        int32_t again = -1;
        KVAEP_NewEquation(changed, &again);
    } else {
        KVAEQM_DeleteEquationPalette(KVAEP_GetUserData(changed));
    }
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result),
                   KVAP_GetDouble(parameters[numParameters - 1]));
    return 1;
}

TEST_F(Evaluation, AnOperatorThatReleasesItsOwnEquationFinishesOnWhatItHeld) {
    KVAOP_RegisterOperator(1, "Rug", pull_the_rug);
    for (bool remake : {true, false}) {
        remakeOnly = remake;
        changed = KVAEQM_NewEquationPalette(&databases[0]);
        const int32_t index = add_equation(changed, "Runner", "Rug");
        Variable *result = KVAEQ_GetVariable(KVAEP_GetEquation(changed, index));
        subscribe(KVAEP_GetEquation(changed, index), recorder, "never");
        const int32_t user = add_equation(changed, "User", trace, "No Trigger");
        testhost::refer(changed, user, 0, "Runner");
        Parameter *reference = KVAEQ_GetParameterN(KVAEP_GetEquation(changed, user), 0);

        events().clear();
        KVAEQM_EvaluateTriggerName("New Frame");
        EXPECT_EQ(events(), (Log{"run Runner"}));
        EXPECT_FALSE(testhost::is_live(result));  // released once the operator returned
        if (remake) {
            // A read whose equation was replaced while it ran gives no value.
            events().clear();
            KVAEQ_SetName(KVAEP_GetEquation(changed, 0), "Runner");
            KVAEQ_SetOperatorName(KVAEP_GetEquation(changed, 0), "Rug");
            KVAP_SetVariableName(KVAEQ_GetVariable(KVAEP_GetEquation(changed, 0)), "Again");
            EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
            EXPECT_EQ(events(), (Log{"run Again"}));
            KVAEQM_DeleteEquationPalette(&databases[0]);
        }
    }
}

void evaluate_again(Variable *, void *) {
    events().push_back("nested");
    KVAEQM_EvaluateTriggerName("New Frame");
}

TEST_F(Evaluation, AnEvaluationStartedByASubscriberSkipsTheEquationsStillRunning) {
    const int32_t nester = KVAS_RegisterSubscriberType("Nester", nullptr, evaluate_again, nullptr);
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t a = add_equation(palette, "A", trace);
    add_equation(palette, "B", trace);
    KVAEQ_RegisterSubscriber(KVAEP_GetEquation(palette, a), nester, nullptr, nullptr);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run A", "nested", "run B", "run B"}));
}

}  // namespace

// Direct paths ------------------------------------------------------------------------------

namespace wrapped {

int literalReads = 0;
int variableValues = 0;
int doubleReads = 0;
int doubleWrites = 0;
ParameterGetValueFunc literalValue = nullptr;
ParameterGetValueFunc variableValue = nullptr;
ValueGetDoubleFunc getDouble = nullptr;
ValueSetDoubleFunc setDouble = nullptr;

Value *literal_value(Parameter *parameter) {
    ++literalReads;
    return literalValue(parameter);
}
Value *variable_value(Parameter *parameter) {
    ++variableValues;
    return variableValue(parameter);
}
double get_double(Value *value) {
    ++doubleReads;
    return getDouble(value);
}
void set_double(Value *value, double number) {
    ++doubleWrites;
    setDouble(value, number * 10);
}
std::vector<double> heard;
void store_raw(Variable *result, void *) { heard.push_back(result->value.data.d); }

}  // namespace wrapped

// The built-in literal, variable and "double" types are served without their functions while
// their registry slots hold them; a host that wraps them, even by writing the records, is
// called exactly as the dispatch calls them, and unwrapping brings the direct paths back.
TEST_F(Evaluation, AHostThatWrapsTheBuiltInTypesIsCalledOnEveryRead) {
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t sum = add_equation(palette, "Sum", "+");
    set_number(palette, sum, 0, 2.0);
    double bound = 3.0;
    Equation *equation = testhost::equation_at(palette, sum);
    KVAP_Delete(KVAEQ_GetParameterN(equation, 1));
    Parameter *variable = KVAEQ_NewParameterN(equation, 1, KVAP_IDOfName("Node Attribute"));
    KVAP_SetDataTypeName(variable, "double");
    KVAP_SetVariableAddress(reinterpret_cast<Variable *>(variable), &bound);
    const int32_t raw = KVAS_RegisterSubscriberType("Raw", nullptr, wrapped::store_raw, nullptr);
    KVAEQ_RegisterSubscriber(equation, raw, nullptr, nullptr);
    KVAEQM_EvaluateTriggerName("New Frame");

    ParameterTypeRecord *literal = KVAP_GetParameterFactory(1);
    ParameterTypeRecord *temporary = KVAP_GetParameterFactory(2);
    ValueTypeRecord *number = KVAV_GetValueFactory(5);
    wrapped::literalValue = literal->getValueFunc;
    wrapped::variableValue = temporary->getValueFunc;
    wrapped::getDouble = number->getDoubleFunc;
    wrapped::setDouble = number->setDoubleFunc;
    literal->getValueFunc = wrapped::literal_value;
    temporary->getValueFunc = wrapped::variable_value;
    KVAV_RegisterValueType(5, "double", number->getIntegerFunc, number->setIntegerFunc,
                           wrapped::get_double, wrapped::set_double, number->getAddressFunc,
                           number->setAddressFunc, number->toStringFunc, number->fromStringFunc);
    bound = 4.0;
    KVAEQM_EvaluateTriggerName("New Frame");
    // The literal is read through both of its types; the bound double is read from memory as
    // always; the result is written through both of its types.
    EXPECT_EQ(wrapped::literalReads, 1);
    EXPECT_EQ(wrapped::doubleReads, 1);
    EXPECT_EQ(wrapped::variableValues, 1);
    EXPECT_EQ(wrapped::doubleWrites, 1);

    literal->getValueFunc = wrapped::literalValue;
    temporary->getValueFunc = wrapped::variableValue;
    number->getDoubleFunc = wrapped::getDouble;
    number->setDoubleFunc = wrapped::setDouble;
    bound = 5.0;
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(wrapped::literalReads + wrapped::doubleReads + wrapped::variableValues +
                  wrapped::doubleWrites,
              4);
    EXPECT_EQ(wrapped::heard, (std::vector<double>{5.0, 60.0, 7.0}));
}

// Trigger names are compared whole, up to the terminator, whatever their length and whatever
// the host left in an equation's field beyond it.
TEST_F(Evaluation, TriggerNamesMatchOnlyWhole) {
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const char *const triggers[] = {"New Frame",
                                    "New Fram",
                                    "New Frame2",
                                    "new Frame",
                                    "",
                                    "A trigger name of more than two words",
                                    "A trigger name of more than two wordz"};
    for (const char *trigger : triggers) {
        subscribe(testhost::equation_at(palette, add_equation(palette, trigger, trace, trigger)),
                  recorder, trigger);
    }
    // Written by hand: bytes after the terminator do not count.
    Equation *written =
        testhost::equation_at(palette, add_equation(palette, "Written", trace, "Other"));
    std::memset(written->triggerName, 'x', sizeof written->triggerName);
    std::memcpy(written->triggerName, "New Frame", sizeof "New Frame");
    subscribe(written, recorder, "written");

    for (const char *trigger : triggers) {
        events().clear();
        KVAEQM_EvaluateTriggerName(trigger);
        Log expected{std::string("run ") + trigger, std::string(trigger) + "=20"};
        if (std::string(trigger) == "New Frame") {
            expected.insert(expected.end(), {"run Written", "written=20"});
        }
        EXPECT_EQ(events(), expected) << trigger;
    }
    events().clear();
    KVAEQM_EvaluateTriggerName(std::string(ZTEQM_NAME_SIZE, 'N').c_str());
    EXPECT_TRUE(events().empty());
}

namespace {

// Where the callbacks below find the equation whose parameter list they resize.
struct Resize {
    EquationPalette *palette = nullptr;
    int32_t index = -1;
    int32_t count = 0;
};
Resize resize;

void resize_the_equation() {
    KVAEQ_SetNumParameters(KVAEP_GetEquation(resize.palette, resize.index), resize.count);
}

void resize_on_get(Parameter *parameter, void *) {
    resize_the_equation();
    KVAP_SetVariableGetFunc(reinterpret_cast<Variable *>(parameter), nullptr);
}

// Resizes its own list, then reads what it was given.
int32_t resize_then_sum(Variable *result, int32_t numParameters, Parameter **parameters) {
    resize_the_equation();
    double sum = 0.0;
    for (int32_t position = 0; position < numParameters; ++position) {
        sum += KVAP_GetDouble(parameters[position]);
    }
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), sum);
    return 1;
}

TEST_F(Evaluation, ACallbackResizingTheRunningEquationsListLeavesTheOperatorItsOperands) {
    KVAOP_RegisterOperator(3, "ResizeSum", resize_then_sum);
    const char *trace3 = testhost::register_trace_operator(3);
    for (int32_t count : {0, 1, 5}) {
        for (bool fromOperator : {false, true}) {
            EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
            const int32_t index =
                add_equation(palette, "E", fromOperator ? "ResizeSum" : trace3, "New Frame");
            Equation *equation = KVAEP_GetEquation(palette, index);
            Parameter *first = KVAEQ_GetParameterN(equation, 0);
            if (!fromOperator) {
                KVAP_Delete(first);
                first = KVAEQ_NewParameterN(equation, 0, KVAP_IDOfName("Temporary"));
                KVAP_SetDataTypeName(first, "double");
                KVAP_SetVariableGetFunc(reinterpret_cast<Variable *>(first), resize_on_get);
            }
            KVAP_SetDouble(first, 1.0);
            set_number(palette, index, 1, 2.0);
            set_number(palette, index, 2, 3.0);
            Parameter **list = KVAEQ_GetParameterList(equation);
            resize = Resize{palette, index, count};

            KVAEQM_EvaluateTriggerName("New Frame");
            EXPECT_DOUBLE_EQ(result_of(palette, index), 6.0) << count;
            equation = KVAEP_GetEquation(palette, index);
            EXPECT_EQ(KVAEQ_GetNumParameters(equation), count);
            EXPECT_FALSE(testhost::is_live(list)) << "released once the run ended";
            KVAEQM_DeleteEquationPalette(&databases[0]);
        }
    }
    EXPECT_EQ(counts().foreignFrees, 0);
}

// Subscribes another recorder to the equation it runs in.
int32_t subscribe_another(Variable *result, int32_t, Parameter **) {
    events().push_back("run");
    Equation *equation = KVAEP_GetEquation(resize.palette, resize.index);
    KVAEQ_RegisterSubscriber(equation, 0, nullptr, const_cast<char *>("late"));
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), 1.0);
    return 1;
}

TEST_F(Evaluation, AReferenceReadNotifiesOnlyTheSubscribersPresentBeforeTheOperator) {
    ASSERT_EQ(recorder, 0);
    KVAOP_RegisterOperator(0, "Subscribe", subscribe_another);
    EquationPalette *palette = KVAEQM_NewEquationPalette(&databases[0]);
    const int32_t index = add_equation(palette, "S", "Subscribe", "New Frame");
    subscribe(KVAEP_GetEquation(palette, index), recorder, "early");
    resize = Resize{palette, index, 0};
    const int32_t user = add_equation(palette, "U", trace, "No Trigger");
    Parameter *reference = testhost::refer(palette, user, 0, "S");

    KVAP_GetDouble(reference);
    EXPECT_EQ(events(), (Log{"run", "early=1"}));
    events().clear();
    KVAP_GetDouble(reference);
    EXPECT_EQ(events(), (Log{"run", "early=1", "late=1"}));

    // The trigger walk counts them after the operator: the one it adds hears at once.
    events().clear();
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run", "early=1", "late=1", "late=1", "late=1"}));
}

}  // namespace
