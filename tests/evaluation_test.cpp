// The trigger-driven evaluation and "Equation" parameters: which equations run, in what order,
// who hears of it, what callbacks may change while a walk or a read runs, and how references
// by name find, follow and lose their equations.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

namespace {

using namespace testhost;
using Log = std::vector<std::string>;

Log split(const std::string &text) {  // comma-separated events
    Log log;
    std::stringstream stream(text);
    for (std::string event; std::getline(stream, event, ',');) log.push_back(event);
    return log;
}

// Over the counting allocator: the block named to be withheld is kept back when freed and
// handed to the next request of its size, so that another palette's slots take its place.
void *withheld = nullptr, *held = nullptr;
uint64_t heldSize = 0;
void *reusing_alloc(uint64_t size) {
    if (held == nullptr || size != heldSize) return counting_alloc(size);
    return std::exchange(held, nullptr);
}
void reusing_free(void *block) {
    if (block == nullptr || block != withheld) return counting_free(block);
    held = std::exchange(withheld, nullptr);
}

EquationPalette *target = nullptr;  // the palette the actions work on
int actions = 0;                    // how many more times a callback acts
void (*action)() = nullptr;

// "Act": acts, then reads its last operand and writes its result as if nothing had happened.
int32_t act_operator(Variable *result, int32_t count, Parameter **parameters) {
    events().push_back("run " + std::string(KVAP_GetVariableName(result)));
    if (actions-- > 0) action();
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), KVAP_GetDouble(parameters[count - 1]));
    return 1;
}

class Evaluation : public Library {
protected:
    void SetUp() override {
        KVAEQM_Init(reusing_alloc, reusing_free, &counts());  // the library starts only once
        Library::SetUp();
        trace = register_trace_operator(2);
        recorder = register_recorder("Recorder");
        KVAOP_RegisterOperator(1, "Act", act_operator);
    }
    void TearDown() override {
        for (Parameter *parameter : loose) KVAP_Delete(parameter);
        Library::TearDown();
    }
    // A reference to `name` of the test's own, outside every equation.
    Parameter *loose_parameter(const char *name) {
        KVAP_SetEquationReferenceName(loose.emplace_back(KVAP_New(ZTEQM_PARAMETER_EQUATION)), name);
        return loose.back();
    }
    // `name` = 2 + 3, on no trigger of its own, with one recorder.
    int32_t make_sum(EquationPalette *palette, const char *name) {
        const int32_t index = add_equation(palette, name, trace, "No Trigger");
        set_number(palette, index, 0, 2.0);
        set_number(palette, index, 1, 3.0);
        subscribe(equation_at(palette, index), recorder, name);
        return index;
    }
    const char *trace = nullptr;
    int32_t recorder = -1;
    int db[12] = {};
    std::vector<Parameter *> loose;
};
using References = Evaluation;

// Calls through the wrappers (literal values, variable values, doubles read, doubles written),
// and the functions they wrap.
int calls[4];
ParameterGetValueFunc literalValue = nullptr, variableValue = nullptr;
ValueGetDoubleFunc getDouble = nullptr;
ValueSetDoubleFunc setDouble = nullptr;
Value *literal_value(Parameter *parameter) { return ++calls[0], literalValue(parameter); }
Value *variable_value(Parameter *parameter) { return ++calls[1], variableValue(parameter); }
double get_double(Value *value) { return ++calls[2], getDouble(value); }
void set_double(Value *value, double number) { ++calls[3], setDouble(value, number * 10); }

// The built-in literal, variable and "double" types are served without their functions while
// their registry slots hold them; a host that wraps them by writing the records is called on
// every read and write.
TEST_F(Evaluation, AHostThatWrapsTheBuiltInTypesIsCalledOnEveryRead) {
    make_sum(new_palette(), "Sum");
    ValueTypeRecord *number = KVAV_GetValueFactory(ZTEQM_VALUE_DOUBLE);
    // The literal (1) and variable (2) parameter types.
    literalValue = std::exchange(KVAP_GetParameterFactory(1)->getValueFunc, literal_value);
    variableValue = std::exchange(KVAP_GetParameterFactory(2)->getValueFunc, variable_value);
    getDouble = std::exchange(number->getDoubleFunc, get_double);
    setDouble = std::exchange(number->setDoubleFunc, set_double);
    KVAEQM_EvaluateTriggerName("No Trigger");
    EXPECT_EQ(std::vector<int>(calls, calls + 4), (std::vector<int>{2, 1, 3, 1}));
    EXPECT_EQ(events(), split("run Sum,Sum=50"));
}

// The direct paths follow the registries: once the result's type ("Temporary") is
// unregistered between two walks, the next write misses it as the dispatch does.
TEST_F(Evaluation, WritesFollowTheRegistriesFromOneWalkToTheNext) {
    EquationPalette *palette = new_palette();
    const int32_t sum = make_sum(palette, "Sum");
    KVAEQM_EvaluateTriggerName("No Trigger");
    KVAP_UnregisterParameterType(ZTEQM_PARAMETER_TEMPORARY);
    set_number(palette, sum, 0, 4.0);
    KVAEQM_EvaluateTriggerName("No Trigger");
    EXPECT_EQ(events(), split("run Sum,Sum=5,run Sum,Sum=5"));
}

// Callbacks that change the palettes while a walk or a read runs -----------------------------

template <class Result>  // as a subscriber's notify callback or a variable's get callback
void act_on(Result *, void *) {
    events().push_back("act");
    if (actions-- > 0) action();
}
Equation *make_at(int32_t index) { return KVAEP_NewEquation(target, &index); }
void remake_first() {
    KVAEP_DeleteEquation(target, KVAEP_GetEquation(target, 0));
    make_at(-1);
}
void subscribe_late() { subscribe(KVAEP_GetEquation(target, 0), 0, "late"); }

enum Hook { kOperator, kSubscribers, kGetCallback };
struct WalkCase {
    Hook hook;  // B0's operator; its subscribers (actor, recorder, actor); or its operand's get
    void (*action)();
    const char *walk;            // palettes A {A}, B {B0, B1}, C {C}
    const char *next = nullptr;  // the walk after it, when not the same
};

// What is made is reached when the walk gets to its index; a palette deleted under the walk
// ends that palette's turn (the removal shifts C into a position the walk has passed); what was
// released or replaced under a running equation (its result, its parameter list) goes once its
// run ends, the operator still reading what it was given; a nested walk skips what still runs.
TEST_F(Evaluation, CallbacksThatChangeThePalettesLeaveTheWalkSound) {
    const int32_t actor = KVAS_RegisterSubscriberType("Actor", nullptr, act_on<Variable>, nullptr);
    const auto delete_palette = [] { KVAEQM_DeleteEquationPalette(KVAEP_GetUserData(target)); };
    const auto clear_palette = [] { KVAEP_ClearPalette(target); };
    const WalkCase cases[] = {
        // An operator copies B1 far ahead (growing the slots); a subscriber grows the slots.
        {kOperator, [] { KVAEP_CopyEquation(target, equation_at(target, 1), 25); },
         "run A,run B0,b0=10,run B1,run B1,run C"},
        {kSubscribers, [] { make_at(target->capacity + 5); },
         "run A,run B0,act,b0=20,act,run B1,run C"},
        // The palette deleted or cleared by a subscriber, an operator, a get callback.
        {kSubscribers, delete_palette, "run A,run B0,act", "run A,run C"},
        {kOperator, delete_palette, "run A,run B0", "run A,run C"},
        {kGetCallback, delete_palette, "run A,run B0,act", "run A,run C"},
        {kSubscribers, clear_palette, "run A,run B0,act,run C", "run A,run C"},
        {kOperator, clear_palette, "run A,run B0,run C", "run A,run C"},
        // The running equation remade, moved on, its list widened or emptied, subscribed to.
        {kOperator, remake_first, "run A,run B0,run B1,run C", "run A,run B1,run C"},
        {kSubscribers, [] { KVAEP_MoveEquation(target, equation_at(target, 0), 3); },
         "run A,run B0,act,b0=20,act,run B1,run B0,run C", "run A,run B1,run B0,run C"},
        {kOperator, [] { KVAEQ_SetNumParameters(equation_at(target, 0), 5); },
         "run A,run B0,b0=10,run B1,run C"},
        {kGetCallback, [] { KVAEQ_SetNumParameters(equation_at(target, 0), 0); },
         "run A,run B0,act,b0=10,run B1,run C", "run A,run B0,b0=0,run B1,run C"},
        {kOperator, subscribe_late, "run A,run B0,b0=10,late=10,run B1,run C"},
        // A subscriber evaluates again: the nested walk skips B0, which still runs.
        {kSubscribers, [] { KVAEQM_EvaluateTriggerName("New Frame"); },
         "run A,run B0,act,run A,run B1,run C,b0=20,act,run B1,run C",
         "run A,run B0,act,b0=20,act,run B1,run C"},
    };
    for (const WalkCase &c : cases) {
        SCOPED_TRACE(c.walk);
        add_equation(new_palette(&db[0]), "A", trace);
        target = new_palette(&db[1]);
        Equation *runner =
            equation_at(target, add_equation(target, "B0", c.hook == kOperator ? "Act" : trace));
        add_equation(target, "B1", trace);
        add_equation(new_palette(&db[2]), "C", trace);
        if (c.hook == kSubscribers) KVAEQ_RegisterSubscriber(runner, actor, nullptr, nullptr);
        subscribe(runner, recorder, "b0");
        if (c.hook == kSubscribers) KVAEQ_RegisterSubscriber(runner, actor, nullptr, nullptr);
        if (c.hook == kGetCallback) {
            KVAP_Delete(KVAEQ_GetParameterN(runner, 0));
            Parameter *operand = KVAEQ_NewParameterN(runner, 0, KVAP_IDOfName("Temporary"));
            KVAP_SetDataTypeName(operand, "double");
            KVAP_SetVariableGetFunc(reinterpret_cast<Variable *>(operand), act_on<Parameter>);
        }
        action = c.action;
        for (int walk = 0; walk < 2; ++walk) {
            actions = 1 - walk;
            events().clear();
            KVAEQM_EvaluateTriggerName("New Frame");
            EXPECT_EQ(events(), split(walk == 0 || c.next == nullptr ? c.walk : c.next));
        }
        for (int &database : db) KVAEQM_DeleteEquationPalette(&database);
    }
}

// A read holds its equation: it notifies only the subscribers present before the operator ran
// (where the walk counts them after it), and gives no value when the operator remade the
// equation under it, whose objects go once the read ends.
TEST_F(References, AReadHoldsItsEquationWhileTheOperatorChangesIt) {
    hold_freed_blocks();
    target = new_palette();
    Equation *runner = equation_at(target, add_equation(target, "B0", "Act"));
    subscribe(runner, recorder, "early");
    Variable *result = KVAEQ_GetVariable(runner);
    Parameter *reference = refer(target, add_equation(target, "U", trace, "No Trigger"), 0, "B0");
    action = subscribe_late;
    actions = 3;
    for (int read = 0; read < 2; ++read) KVAP_GetDouble(reference);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(events(), split("run B0,early=10,run B0,early=10,late=10,run B0,early=10,late=10,"
                              "late=10,late=10"));
    events().clear();
    action = remake_first;
    actions = 1;
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 0.0);
    EXPECT_EQ(events(), (Log{"run B0"}));
    EXPECT_FALSE(is_live(result));
}

// One host session -----------------------------------------------------------------------------

std::deque<std::string> labels;  // the scene nodes' user data, at stable addresses
int32_t sceneNode = -1;
// The scene node type wants to hear of every equation of every database.
void watch_every_equation(Equation *equation, void *database) {
    labels.push_back(*static_cast<std::string *>(database) + "/" + KVAEQ_GetName(equation));
    KVAEQ_RegisterSubscriber(equation, sceneNode, nullptr, labels.back().data());
}

// Two databases whose equations refer to each other, evaluated frame after frame: refreshing
// asks for every live equation of every palette in order; equations run by palette and index,
// references read on the spot notify as they go, an equation whose operator has no function is
// passed over; the trigger's enabled flag is not consulted, its name is matched whole up to the
// terminator (whatever the field holds beyond it), and a frame allocates nothing once built. A
// palette under shared user data lends its turn to the earliest palette of that user data. Without
// memory for a longer list of palettes a palette is refused and nothing is left behind.
TEST_F(Evaluation, AHostEvaluatesTwoDatabasesFrameAfterFrame) {
    sceneNode = register_recorder("Scene Node", watch_every_equation);
    std::string carName = "Car", roadName = "Road";
    EquationPalette *car = new_palette(&carName), *road = new_palette(&roadName);
    add_equation(new_palette(&carName), "Twin", trace);
    const int32_t speed = add_equation(car, "Speed", "+");
    refer(car, speed, 0, "Frame");  // not made yet: resolved when first read
    set_number(car, speed, 1, 10.0);
    const int32_t distance = add_equation(car, "Distance", "*");
    refer(car, distance, 0, "Speed");
    set_number(car, distance, 1, 2.0);
    add_equation(car, "Unknown", "No Such Operator");
    set_number(road, add_equation(road, "Frame", "Move Value"), 0, 3.0);
    refer(road, add_equation(road, "Echo", "abs"), 0, "Distance");
    std::memset(equation_at(road, 1)->triggerName + 10, 'x', ZTEQM_NAME_SIZE - 10);  // Echo's

    KVAEQM_RefreshAllSubscribers();  // the twin's turn goes to Car: its equations asked again
    const std::string cars = "Car/Speed,Car/Distance,Car/Unknown";
    EXPECT_EQ(Log(labels.begin(), labels.end()), split(cars + ",Road/Frame,Road/Echo," + cars));
    KVAT_EnableByName("New Frame", 0);
    KVAEQM_EvaluateTriggerName("New Frame");
    const std::string tooLong(ZTEQM_NAME_SIZE, 'N');
    const char *others[] = {"new frame", "New Fram", "New Frame2", "", tooLong.c_str(), nullptr};
    for (const char *name : others) KVAEQM_EvaluateTriggerName(name);
    for (int32_t id : {KVAT_GetNumTypes(), -1}) KVAEQM_Evaluate(id);
    // Only the first frame ran. Car: Speed reads Frame; Distance reads Speed, which reads Frame
    // again. Road: Frame, then Echo, which reads back into Car. Then Car again, in the twin's turn.
    const std::string car3 = "Road/Frame=3,Car/Speed=13,Road/Frame=3,Car/Speed=13,Car/Distance=26";
    EXPECT_EQ(events(), split(car3 + ",Road/Frame=3,Road/Frame=3,Car/Speed=13,Car/Distance=26," +
                              "Road/Echo=26," + car3));
    const long allocations = counts().allocations;
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    EXPECT_EQ(counts().allocations, allocations);
    for (int i = 0; i < 6; ++i) new_palette(&db[i]);
    const size_t live = counts().live.size();
    fail_after(2);  // the palette and its slots, but not the longer list
    EXPECT_TRUE(new_palette(&db[6]) == nullptr && counts().live.size() == live);
}

// References by name ---------------------------------------------------------------------------

// Naming keeps the cached pointer until a fix resolves the name in the earliest registered
// palette bearing it; as text it resolves at once; a pointer set by hand is used as it is.
// Every read runs the equation with its notifications; the text functions give the name or the
// result, and write the result. A direct self-reference is broken to the name "Recursive".
// A read that would re-enter an equation being evaluated gives nothing, so a self-reference
// runs once and a cycle stops at its first re-entry; a chain nests at most 64 evaluations.
TEST_F(References, NamesResolveWhenFixedAndReadsRunTheirEquationWithoutReentering) {
    EquationPalette *palette = new_palette(), *later = new_palette();
    const int32_t inLater = make_sum(later, "Other"), sum = make_sum(palette, "Sum");
    Parameter *reference = loose_parameter("Sum");
    char *unresolved = nullptr;  // text reads only what a reference already resolved
    KVAP_GetString(reference, &unresolved, 1);
    EXPECT_EQ(unresolved, nullptr);
    KVAP_FixEquationReference(reference);
    KVAP_SetEquationReferenceName(reference, "Other");
    EXPECT_EQ(cached_reference(reference), equation_at(palette, sum));
    KVAP_FixEquationReference(reference);
    EXPECT_EQ(cached_reference(reference), equation_at(later, inLater));
    const int32_t other = make_sum(palette, "Other");
    KVAP_SetString(reference, "Other", 0);
    EXPECT_EQ(cached_reference(reference), equation_at(palette, other));
    KVAP_SetEquationReference(reference, equation_at(palette, sum));
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference) + KVAP_GetInteger(reference), 10.0);
    char *name = nullptr, *text = nullptr;
    KVAP_GetString(reference, &name, 0);
    KVAP_GetString(reference, &text, 1);
    EXPECT_EQ(std::string(name) + "|" + text, "Other|5.000000");
    KVAP_SetString(reference, "7.5", 1);
    EXPECT_DOUBLE_EQ(result_of(palette, sum), 7.5);
    // A pointer follows the name it bears: an equation named after it, then renamed away, is
    // found and then dropped by the fix-up that making an equation runs.
    Parameter *inSum = refer(palette, sum, 1, "Named later");
    make_sum(palette, "Fix-up");
    KVAEQ_SetName(equation_at(palette, other), "Named later");
    make_sum(palette, "Fix-up 2");
    EXPECT_EQ(cached_reference(inSum), equation_at(palette, other));
    KVAEQ_SetName(equation_at(palette, other), "Renamed");
    make_sum(palette, "Fix-up 3");
    EXPECT_EQ(cached_reference(inSum), nullptr);
    Parameter *self = refer(palette, sum, 0, "Sum");
    EXPECT_EQ(KVAP_CheckRecursion(equation_at(palette, sum), self), 1);
    EXPECT_STREQ(KVAP_GetEquationReferenceName(self), "Recursive");
    const char *kLong = "A trigger name of more than two words";  // compared word by word
    EquationPalette *cycle = new_palette();
    const Log names = split("A,B,C,Self"), targets = split("B,C,A,Self");
    for (int32_t index = 0; index < 4; ++index) {
        add_equation(cycle, names[index].c_str(), trace, index % 3 ? "No Trigger" : kLong);
        refer(cycle, index, 0, targets[index].c_str());
        set_number(cycle, index, 1, index == 0 ? 1.0 : 10.0 * index);
        subscribe(equation_at(cycle, index), recorder, names[index].c_str());
    }
    KVAEQM_EvaluateTriggerName("A trigger name of more than two wordz");
    KVAEQM_EvaluateTriggerName(kLong);
    // Text runs nothing; then the cycle, and the self-reference.
    EXPECT_EQ(events(), split("run Sum,Sum=5,run Sum,Sum=5,run A,run B,run C,C=20,B=30,A=31,"
                              "run Self,Self=30"));
    EquationPalette *chain = new_palette();
    for (int link = 0; link < 100; ++link) {
        add_equation(chain, ("L" + std::to_string(link)).c_str(), trace, "No Trigger");
        set_number(chain, link, 1, 1.0);
        if (link > 0) refer(chain, link, 0, ("L" + std::to_string(link - 1)).c_str());
    }
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(loose_parameter("L99")), 64.0);
    EXPECT_EQ(events().size(), 12u + 64);  // 64 runs after the twelve events above
}

// Cached pointers never outlive their slots: growing the target's palette moves the slots
// (and another palette is given the freed block), deleting the palette releases them, and a
// slot made live again voids every pointer into it, whichever palette the reference is in, so
// that a reference never runs an equation made later in the slot it points at. A pointer set
// by hand, and its copy, are trusted whatever the name until then. A reference then resolves
// its name afresh, into whatever palette now bears it.
TEST_F(References, AReferenceFollowsItsEquationWhenTheSlotsMoveOrGo) {
    target = new_palette();
    EquationPalette *other = new_palette();
    make_sum(target, "Target");
    Parameter *inEquation = refer(other, add_equation(other, "User", trace), 0, "Target");
    Parameter *outside = loose_parameter("Target");
    KVAP_FixEquationReference(outside);
    Equation *oldSlots = target->slots;
    withheld = oldSlots;
    heldSize = target->capacity * sizeof(Equation);
    make_at(40);
    EquationPalette *impostor = new_palette();
    ASSERT_EQ(impostor->slots, oldSlots);
    make_sum(impostor, "Impostor");
    for (Parameter *reference : {inEquation, outside})
        EXPECT_TRUE(KVAP_GetDouble(reference) == 5.0 &&
                    cached_reference(reference) == target->slots);
    EXPECT_EQ(events(), split("run Target,Target=5,run Target,Target=5"));

    KVAEQM_DeleteEquationPalette(KVAEP_GetUserData(target));
    EXPECT_EQ(cached_reference(inEquation), nullptr);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(inEquation) + KVAP_GetDouble(outside), 0.0);
    target = new_palette();
    make_sum(target, "Target");
    Parameter *byHand = loose_parameter("Elsewhere");
    KVAP_SetEquationReference(byHand, equation_at(target, 0));
    Parameter *copy = loose.emplace_back(KVAP_CopyParameter(byHand));
    const std::initializer_list<Parameter *> all = {inEquation, outside, byHand, copy};
    for (Parameter *reference : all) EXPECT_DOUBLE_EQ(KVAP_GetDouble(reference), 5.0);
    remake_first();  // a stranger in the target's slot
    for (Parameter *stale : all)
        EXPECT_TRUE(KVAP_GetDouble(stale) == 0.0 && cached_reference(stale) == nullptr);
    EXPECT_EQ(events().size(), 12u);  // the six reads that found Target, none since
    make_sum(target, "Target");       // at the next free index
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(inEquation), 5.0);
    EXPECT_EQ(cached_reference(inEquation), equation_at(target, 1));
}

}  // namespace
