// The trigger-driven evaluation: which equations run, in what order, who hears of it, and what
// callbacks may change while the walk runs; then one host session from start to stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::add_equation;
using testhost::counts;
using testhost::equation_at;
using testhost::events;
using testhost::result_of;
using testhost::set_number;
using testhost::subscribe;

namespace {

using Log = std::vector<std::string>;

class Evaluation : public testhost::Library {
protected:
    void SetUp() override {
        Library::SetUp();
        events().clear();
        trace = testhost::register_trace_operator(2);
        recorder = testhost::register_recorder("Recorder");
    }
    const char *trace = nullptr;
    int32_t recorder = -1;
    int db[12] = {};
};

// Palettes are found by their user data, the earliest registered first, and the trigger walk
// takes each listed palette's turn through that lookup: a palette under null or shared user
// data lends its turn to the earlier one.
TEST_F(Evaluation, PalettesAreFoundAndWalkedAsTheEarliestPaletteOfTheirUserData) {
    KVAEQM_Evaluate(1);  // no palettes: nothing to do
    EquationPalette *anonymous = KVAEQM_NewEquationPalette(nullptr);
    EquationPalette *first = new_palette(&db[0]);
    EquationPalette *twin = new_palette(&db[0]);
    add_equation(anonymous, "Anonymous", trace);
    add_equation(first, "First", trace);
    add_equation(twin, "Twin", trace);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), (Log{"run First", "run First"}));
    EXPECT_EQ(KVAEQM_GetEquationPalette(nullptr), nullptr);
    EXPECT_EQ(GetEquationPaletteFromUserData(nullptr), anonymous);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&db[0]), first);
    EXPECT_EQ(GetEquationPaletteFromUserData(&db[1]), nullptr);
    // By name, palettes are searched in registration order and names matched exactly.
    EquationPalette *second = new_palette(&db[1]);
    const int32_t inSecond = add_equation(second, "Speed", trace);
    EXPECT_EQ(KVAEQM_FindEquationByName("Speed"), equation_at(second, inSecond));
    const int32_t inFirst = add_equation(first, "Speed", trace);
    EXPECT_EQ(KVAEQM_FindEquationByName("Speed"), equation_at(first, inFirst));
    EXPECT_EQ(KVAEQM_FindEquationByName("speed"), nullptr);
    EXPECT_EQ(KVAEQM_FindEquationByName(nullptr), nullptr);

    // Shared user data deletes the earlier palette; null or unknown user data nothing.
    int unknown = 0;
    KVAEQM_DeleteEquationPalette(&db[0]);
    KVAEQM_DeleteEquationPalette(&unknown);
    KVAEQM_DeleteEquationPalette(nullptr);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&db[0]), twin);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 3);
    KVAEP_DeleteEquationPalette(anonymous);

    // Without memory for a longer list a palette is refused and nothing is left behind; a
    // removal closes the gap in order.
    std::vector<EquationPalette *> made{twin, second};
    for (int i = 2; i < 10; ++i) made.push_back(new_palette(&db[i]));
    const size_t live = counts().live.size();
    testhost::fail_after(2);  // the palette and its slots, but not the longer list
    EXPECT_EQ(new_palette(&db[10]), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 10);
    EXPECT_EQ(counts().live.size(), live);
    made.push_back(new_palette(&db[10]));
    KVAEQM_DeleteEquationPalette(&db[5]);
    ASSERT_EQ(KVAEQM_GetNumPalettes(), 10);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(KVAEQM_GetEquationPalette(&db[i]), i == 5 ? nullptr : made[i]) << i;
    }
}

// Only the trigger's equations run, palette by palette in registration order and by index
// within one, whatever order they were made in; each then notifies its subscribers in order.
// An equation whose operator has no function is passed over with its subscribers. The
// trigger's enabled flag is not consulted; its name is matched exactly.
TEST_F(Evaluation, ATriggerRunsItsEquationsByPaletteAndIndexAndNotifiesTheirSubscribers) {
    EquationPalette *a = new_palette(&db[0]);
    EquationPalette *b = new_palette(&db[1]);
    for (const char *name : {"B0", "B1", "B2", "B3", "B4"}) add_equation(b, name, trace);
    KVAEP_DeleteEquation(b, equation_at(b, 2));
    KVAEP_DeleteEquation(b, equation_at(b, 3));
    add_equation(a, "A0", trace);
    const int32_t frame = add_equation(a, "Frame", trace);
    const int32_t app = add_equation(a, "App", trace, "Application");
    const int32_t unknown = add_equation(a, "Unknown", "No Such Operator");
    const int32_t cleared = add_equation(a, "Cleared", "Trace1");
    KVAOP_RegisterOperator(1, "Trace1", nullptr);  // a name without a function
    KVAEQ_SetOperatorName(equation_at(a, cleared), "Trace1");
    KVAEP_DeleteEquation(a, equation_at(a, 0));
    set_number(a, frame, 0, 2.0);
    set_number(a, frame, 1, 3.0);
    subscribe(equation_at(a, frame), recorder, "first");
    subscribe(equation_at(a, frame), recorder, "second");
    subscribe(equation_at(a, app), recorder, "app");
    subscribe(equation_at(a, unknown), recorder, "unknown");
    subscribe(equation_at(a, cleared), recorder, "cleared");
    Log expected{"run Frame", "first=5", "second=5", "run B0", "run B1", "run B4"};
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    EXPECT_EQ(events(), expected);
    EXPECT_DOUBLE_EQ(result_of(a, frame), 5.0);

    events().clear();
    KVAT_EnableByName("New Frame", 0);
    KVAEQM_EvaluateTriggerName("new frame");
    KVAEQM_EvaluateTriggerName(nullptr);
    KVAEQM_Evaluate(KVAT_GetNumTypes());
    KVAEQM_Evaluate(-1);
    EXPECT_TRUE(events().empty());
    KVAEQM_EvaluateTriggerName("New Frame");
    KVAEQM_Evaluate(KVAT_IDOfName("Application"));
    expected.insert(expected.end(), {"run App", "app=20"});
    EXPECT_EQ(events(), expected);
}

// Trigger names are compared whole, up to the terminator, whatever their length and whatever
// the host left in an equation's field beyond it.
TEST_F(Evaluation, TriggerNamesMatchOnlyWhole) {
    EquationPalette *palette = new_palette();
    const char *const triggers[] = {"New Frame",
                                    "New Fram",
                                    "New Frame2",
                                    "new Frame",
                                    "",
                                    "A trigger name of more than two words",
                                    "A trigger name of more than two wordz"};
    for (const char *trigger : triggers) {
        subscribe(equation_at(palette, add_equation(palette, trigger, trace, trigger)), recorder,
                  trigger);
    }
    Equation *written = equation_at(palette, add_equation(palette, "Written", trace, "Other"));
    std::memset(written->triggerName, 'x', sizeof written->triggerName);
    std::memcpy(written->triggerName, "New Frame", sizeof "New Frame");
    for (const char *trigger : triggers) {
        events().clear();
        KVAEQM_EvaluateTriggerName(trigger);
        Log expected{std::string("run ") + trigger, std::string(trigger) + "=20"};
        if (std::string(trigger) == "New Frame") expected.push_back("run Written");
        EXPECT_EQ(events(), expected) << trigger;
    }
    events().clear();
    KVAEQM_EvaluateTriggerName(std::string(ZTEQM_NAME_SIZE, 'N').c_str());
    EXPECT_TRUE(events().empty());
}

namespace wrapped {
std::vector<int> calls(4);  // literal values, result values, doubles read, doubles written
ParameterGetValueFunc literalValue = nullptr, variableValue = nullptr;
ValueGetDoubleFunc getDouble = nullptr;
ValueSetDoubleFunc setDouble = nullptr;
Value *literal_value(Parameter *parameter) { return ++calls[0], literalValue(parameter); }
Value *variable_value(Parameter *parameter) { return ++calls[1], variableValue(parameter); }
double get_double(Value *value) { return ++calls[2], getDouble(value); }
void set_double(Value *value, double number) { ++calls[3], setDouble(value, number * 10); }
std::vector<double> heard;
void store_raw(Variable *result, void *) { heard.push_back(result->value.data.d); }
}  // namespace wrapped

// The built-in literal, variable and "double" types are served without their functions while
// their registry slots hold them; a host that wraps them, even by writing the records, is
// called on every read and write, and unwrapping brings the direct paths back.
TEST_F(Evaluation, AHostThatWrapsTheBuiltInTypesIsCalledOnEveryRead) {
    EquationPalette *palette = new_palette();
    const int32_t sum = add_equation(palette, "Sum", "+");
    set_number(palette, sum, 0, 2.0);
    double bound = 3.0;
    Equation *equation = equation_at(palette, sum);
    KVAP_Delete(KVAEQ_GetParameterN(equation, 1));
    Parameter *variable = KVAEQ_NewParameterN(equation, 1, KVAP_IDOfName("Node Attribute"));
    KVAP_SetDataTypeName(variable, "double");
    KVAP_SetVariableAddress(reinterpret_cast<Variable *>(variable), &bound);
    KVAEQ_RegisterSubscriber(
        equation, KVAS_RegisterSubscriberType("Raw", nullptr, wrapped::store_raw, nullptr), nullptr,
        nullptr);
    KVAEQM_EvaluateTriggerName("New Frame");

    ParameterTypeRecord *literal = KVAP_GetParameterFactory(ZTEQM_PARAMETER_LITERAL);
    ParameterTypeRecord *temporary = KVAP_GetParameterFactory(2);
    ValueTypeRecord *number = KVAV_GetValueFactory(ZTEQM_VALUE_DOUBLE);
    wrapped::literalValue = std::exchange(literal->getValueFunc, wrapped::literal_value);
    wrapped::variableValue = std::exchange(temporary->getValueFunc, wrapped::variable_value);
    wrapped::getDouble = number->getDoubleFunc;
    wrapped::setDouble = number->setDoubleFunc;
    KVAV_RegisterValueType(ZTEQM_VALUE_DOUBLE, "double", number->getIntegerFunc,
                           number->setIntegerFunc, wrapped::get_double, wrapped::set_double,
                           number->getAddressFunc, number->setAddressFunc, number->toStringFunc,
                           number->fromStringFunc);
    bound = 4.0;
    KVAEQM_EvaluateTriggerName("New Frame");
    // The literal is read through both its types, the bound double from memory as always, and
    // the result is written through both its types.
    EXPECT_EQ(wrapped::calls, (std::vector<int>{1, 1, 1, 1}));

    literal->getValueFunc = wrapped::literalValue;
    temporary->getValueFunc = wrapped::variableValue;
    number->getDoubleFunc = wrapped::getDouble;
    number->setDoubleFunc = wrapped::setDouble;
    bound = 5.0;
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(wrapped::calls, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(wrapped::heard, (std::vector<double>{5.0, 60.0, 7.0}));
}

// Callbacks that change the palettes while the walk runs ---------------------------------------

EquationPalette *target = nullptr;  // the palette the actions work on
int actions = 0;                    // how many more times a callback acts
void (*action)() = nullptr;

// "Act": acts, then reads its operand and writes its result as if nothing had happened.
int32_t act_operator(Variable *result, int32_t count, Parameter **parameters) {
    events().push_back("run " + std::string(KVAP_GetVariableName(result)));
    if (actions-- > 0) action();
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), KVAP_GetDouble(parameters[count - 1]));
    return 1;
}
void act_on_notify(Variable *, void *) {
    events().push_back("act");
    if (actions-- > 0) action();
}

void make_far_on_trigger() {
    int32_t far = 25;
    Equation *made = KVAEP_NewEquation(target, &far);
    KVAEQ_SetOperatorName(made, "Trace2");
    KVAEQ_SetTriggerName(made, "New Frame");
    KVAP_SetVariableName(KVAEQ_GetVariable(made), "Made");
}
void grow() {
    int32_t far = target->capacity + 5;
    KVAEP_NewEquation(target, &far);
}
void delete_palette() { KVAEQM_DeleteEquationPalette(KVAEP_GetUserData(target)); }
void clear_palette() { KVAEP_ClearPalette(target); }
void remake_first() {
    KVAEP_DeleteEquation(target, KVAEP_GetEquation(target, 0));
    int32_t lowest = -1;
    KVAEP_NewEquation(target, &lowest);
}
void move_first_to_three() { KVAEP_MoveEquation(target, KVAEP_GetEquation(target, 0), 3); }
void evaluate_again() { KVAEQM_EvaluateTriggerName("New Frame"); }

struct WalkCase {
    const char *what;
    bool byOperator;  // else by B0's subscribers: an actor, a recorder, an actor
    void (*action)();
    int actions;
    const char *walk;  // the events, comma-separated; palettes A {A}, B {B0, B1}, C {C}
    const char *next;  // the walk after it, when given
    int32_t capacity;  // B's afterwards, when given
    bool keepsRunner;  // B0's result variable outlives the walk
};

Log split(const char *text) {
    Log log;
    std::stringstream stream(text);
    for (std::string event; std::getline(stream, event, ',');) log.push_back(event);
    return log;
}

// B0's operator or subscribers act while the walk runs: what they made is reached when the walk
// gets to its index, a palette deleted under the walk ends that palette's turn (the removal
// shifts C into a position the walk has passed), and what was released under a running equation
// goes once its run ends; a nested walk skips what is still running.
TEST_F(Evaluation, CallbacksThatChangeThePalettesLeaveTheWalkSound) {
    testhost::hold_freed_blocks();
    KVAOP_RegisterOperator(1, "Act", act_operator);
    const int32_t actor = KVAS_RegisterSubscriberType("Actor", nullptr, act_on_notify, nullptr);
    const WalkCase cases[] = {
        {"operator makes far ahead", true, make_far_on_trigger, 1,
         "run A,run B0,b0=10,run B1,run Made,run C", "", 26, true},
        {"subscribers grow the slots", false, grow, 2, "run A,run B0,act,b0=20,act,run B1,run C",
         "", 22, true},
        {"subscriber deletes palette", false, delete_palette, 1, "run A,run B0,act", "run A,run C",
         0, false},
        {"operator deletes palette", true, delete_palette, 1, "run A,run B0", "run A,run C", 0,
         false},
        {"subscriber clears palette", false, clear_palette, 1, "run A,run B0,act,run C",
         "run A,run C", 0, false},
        {"operator clears palette", true, clear_palette, 1, "run A,run B0,run C", "run A,run C", 0,
         false},
        {"operator remakes its equation", true, remake_first, 1, "run A,run B0,run B1,run C",
         "run A,run B1,run C", 0, false},
        {"subscriber moves its equation on", false, move_first_to_three, 1,
         "run A,run B0,act,b0=20,act,run B1,run B0,run C", "", 0, true},
        {"subscriber evaluates again", false, evaluate_again, 1,
         "run A,run B0,act,run A,run B1,run C,b0=20,act,run B1,run C", "", 0, true},
    };
    for (const WalkCase &c : cases) {
        SCOPED_TRACE(c.what);
        EquationPalette *a = new_palette(&db[0]);
        target = new_palette(&db[1]);
        add_equation(a, "A", trace);
        const int32_t b0 = add_equation(target, "B0", c.byOperator ? "Act" : trace);
        add_equation(target, "B1", trace);
        add_equation(new_palette(&db[2]), "C", trace);
        Equation *runner = equation_at(target, b0);
        if (!c.byOperator) KVAEQ_RegisterSubscriber(runner, actor, nullptr, nullptr);
        subscribe(runner, recorder, "b0");
        if (!c.byOperator) KVAEQ_RegisterSubscriber(runner, actor, nullptr, nullptr);
        Variable *result = KVAEQ_GetVariable(runner);
        action = c.action;
        actions = c.actions;
        events().clear();
        KVAEQM_EvaluateTriggerName("New Frame");
        EXPECT_EQ(events(), split(c.walk));
        EXPECT_EQ(testhost::is_live(result), c.keepsRunner);
        EXPECT_EQ(c.capacity != 0 ? target->capacity : 0, c.capacity);
        if (*c.next != 0) {
            events().clear();
            KVAEQM_EvaluateTriggerName("New Frame");
            EXPECT_EQ(events(), split(c.next));
        }
        for (int &database : db) KVAEQM_DeleteEquationPalette(&database);
    }
}

// A read whose equation its own operator remakes while it runs gives no value, and what the
// equation held goes once the read ends.
TEST_F(Evaluation, AReadWhoseEquationIsRemadeWhileItRunsGivesNoValue) {
    testhost::hold_freed_blocks();
    KVAOP_RegisterOperator(1, "Act", act_operator);
    target = new_palette();
    Variable *result = KVAEQ_GetVariable(equation_at(target, add_equation(target, "B0", "Act")));
    Parameter *reference =
        testhost::refer(target, add_equation(target, "User", trace, "No Trigger"), 0, "B0");
    action = remake_first;
    actions = 1;
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(events(), (Log{"run B0"}));
    EXPECT_FALSE(testhost::is_live(result));
}

// An operator or a get callback that resizes the running equation's parameter list: the
// operator still reads the operands it was given, and the old list goes once the run ends.
struct Resize {
    EquationPalette *palette = nullptr;
    int32_t index = -1, count = 0;
} resize;
void resize_the_equation() {
    KVAEQ_SetNumParameters(KVAEP_GetEquation(resize.palette, resize.index), resize.count);
}
void resize_on_get(Parameter *parameter, void *) {
    resize_the_equation();
    KVAP_SetVariableGetFunc(reinterpret_cast<Variable *>(parameter), nullptr);
}
int32_t resize_then_sum(Variable *result, int32_t count, Parameter **parameters) {
    resize_the_equation();
    double sum = 0.0;
    for (int32_t position = 0; position < count; ++position) {
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
            EquationPalette *palette = new_palette(&db[0]);
            const int32_t index = add_equation(palette, "E", fromOperator ? "ResizeSum" : trace3);
            Equation *equation = equation_at(palette, index);
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
            EXPECT_EQ(KVAEQ_GetNumParameters(equation_at(palette, index)), count);
            EXPECT_FALSE(testhost::is_live(list)) << "released once the run ended";
            KVAEQM_DeleteEquationPalette(&db[0]);
        }
    }
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
    EquationPalette *palette = new_palette();
    const int32_t index = add_equation(palette, "S", "Subscribe");
    subscribe(equation_at(palette, index), recorder, "early");
    resize = Resize{palette, index, 0};
    Parameter *reference =
        testhost::refer(palette, add_equation(palette, "U", trace, "No Trigger"), 0, "S");
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

// One host session ----------------------------------------------------------------------------

std::deque<std::string> labels;  // the scene nodes' user data, at stable addresses
int32_t sceneNode = -1, released = 0, frameCounter = 0;
void push_into_scene(Variable *result, void *label) {
    char line[96];
    std::snprintf(line, sizeof line, "%s=%g", static_cast<std::string *>(label)->c_str(),
                  KVAP_GetDouble(reinterpret_cast<Parameter *>(result)));
    events().push_back(line);
}
// The scene node type wants to hear of every equation of every database.
void watch_every_equation(Equation *equation, void *database) {
    labels.push_back(*static_cast<std::string *>(database) + "/" + KVAEQ_GetName(equation));
    KVAEQ_RegisterSubscriber(equation, sceneNode, nullptr, &labels.back());
}
Equation *define(EquationPalette *palette, const char *name, const char *op,
                 const char *trigger = "New Frame") {
    return equation_at(palette, add_equation(palette, name, op, trigger));
}
void refer_to(Equation *equation, int32_t position, const char *name) {
    KVAP_Delete(KVAEQ_GetParameterN(equation, position));
    KVAP_SetString(KVAEQ_NewParameterN(equation, position, ZTEQM_PARAMETER_EQUATION), name, 0);
}

// Two databases whose equations refer to each other across palettes, evaluated frame after
// frame: refreshing asks every live equation of every palette in order and replaces the old
// subscribers, references read on the spot notify as they go, a frame allocates nothing once
// built, and closing the databases releases everything.
TEST_F(Evaluation, AHostEvaluatesTwoDatabasesFrameAfterFrame) {
    sceneNode = KVAS_RegisterSubscriberType(
        "Scene Node", [](void *) { ++released; }, push_into_scene, watch_every_equation);
    std::string car = "Car", road = "Road";
    EquationPalette *carPalette = new_palette(&car);
    EquationPalette *roadPalette = new_palette(&road);
    new_palette();  // an empty one in between changes nothing

    // Car: Speed = Frame + 10, Distance = Speed * 2, and a start-up equation frames never run.
    Equation *speed = define(carPalette, "Speed", "+");
    refer_to(speed, 0, "Frame");  // not made yet: resolved when first read
    KVAP_SetDouble(KVAEQ_GetParameterN(speed, 1), 10.0);
    Equation *scrap = define(carPalette, "Scrap", "+");  // deleted: never asked
    Equation *distance = define(carPalette, "Distance", "*");
    refer_to(distance, 0, "Speed");
    KVAP_SetDouble(KVAEQ_GetParameterN(distance, 1), 2.0);
    KVAP_SetDouble(
        KVAEQ_GetParameterN(define(carPalette, "Setup", "Move Value", "Initialization"), 0), 42.0);
    KVAEP_DeleteEquation(carPalette, scrap);
    subscribe(equation_at(carPalette, 0), recorder, "old");  // replaced by the refresh
    // Road: Frame moves the host's frame counter in; Echo reads Car's Distance back.
    Equation *frame = define(roadPalette, "Frame", "Move Value");
    KVAP_Delete(KVAEQ_GetParameterN(frame, 0));
    Parameter *counter = KVAEQ_NewParameterN(frame, 0, KVAP_IDOfName("Temporary"));
    KVAP_SetDataTypeName(counter, "int");
    KVAP_SetVariableAddress(reinterpret_cast<Variable *>(counter), &frameCounter);
    refer_to(define(roadPalette, "Echo", "abs"), 0, "Distance");

    KVAEQM_RefreshAllSubscribers();
    EXPECT_EQ(labels, (std::deque<std::string>{"Car/Speed", "Car/Distance", "Car/Setup",
                                               "Road/Frame", "Road/Echo"}));
    for (int f = 1; f <= 3; ++f) {
        frameCounter = f;
        events().clear();
        KVAEQM_EvaluateTriggerName("New Frame");
        const std::string n = std::to_string(f), s = std::to_string(f + 10),
                          d = std::to_string(2 * (f + 10));
        EXPECT_EQ(events(), (Log{// Car by index: Speed reads Road's Frame on the spot, and
                                 // Distance reads Speed, which reads Frame again.
                                 "Road/Frame=" + n, "Car/Speed=" + s, "Road/Frame=" + n,
                                 "Car/Speed=" + s, "Car/Distance=" + d,
                                 // Road: Frame on its trigger, then Echo reading back into Car.
                                 "Road/Frame=" + n, "Road/Frame=" + n, "Car/Speed=" + s,
                                 "Car/Distance=" + d, "Road/Echo=" + d}))
            << "frame " << f;
    }
    events().clear();
    KVAEQM_Evaluate(KVAT_IDOfName("Initialization"));
    EXPECT_EQ(events(), (Log{"Car/Setup=42"}));

    const long allocations = counts().allocations;
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    EXPECT_EQ(counts().allocations, allocations);
    KVAEQM_DeleteEquationPalette(&car);
    KVAEQM_DeleteEquationPalette(&road);
    EXPECT_EQ(released, 5);
}

}  // namespace
