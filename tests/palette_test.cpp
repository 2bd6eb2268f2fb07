// Palettes and their equations: making, deleting, finding, walking, copying and moving them, the
// parameter and subscriber lists, and callbacks that edit the palette while it is being used.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using namespace testhost;
using Strings = std::vector<std::string>;

namespace {

// An equation on one line: "name|operator#id|trigger#id|parameters|result name:type:data
// type:enabled|subscribers".
std::string describe(Equation *e) {
    char number[32];
    std::string out = std::string(KVAEQ_GetName(e)) + "|" + KVAEQ_GetOperatorName(e) + "#" +
                      std::to_string(KVAEQ_GetOperatorID(e)) + "|" + KVAEQ_GetTriggerName(e) + "#" +
                      std::to_string(e->triggerId) + "|";
    for (int32_t p = 0; p < KVAEQ_GetNumParameters(e); ++p) {
        Parameter *parameter = KVAEQ_GetParameterN(e, p);
        std::snprintf(number, sizeof number, "=%g,", parameter ? KVAP_GetDouble(parameter) : -1);
        out += (parameter ? KVAP_GetTypeName(parameter) : "null") + std::string(number);
    }
    Parameter *result = reinterpret_cast<Parameter *>(e->variable);
    const char *dataType = KVAP_GetDataTypeName(result);
    return out + "|" + KVAP_GetVariableName(e->variable) + ":" +
           KVAP_GetVariableTypeName(e->variable) + ":" + (dataType ? dataType : "none") + ":" +
           std::to_string(KVAP_GetEnabled(result)) + "|" +
           std::to_string(KVAEQ_GetNumSubscribers(e));
}
const char *const kFresh = "Equation 0|Move Value#1|No Trigger#0|Literal=10,|:Temporary:double:1|0";

// The subscribers' user data (C strings), or "-" for none.
std::string subscribers(Equation *e) {
    std::string out;
    for (int32_t i = 0; i < KVAEQ_GetNumSubscribers(e); ++i) {
        const void *data = KVAEQ_GetSubscriberN(e, i)->userData;
        out += (data ? static_cast<const char *>(data) : "-") + std::string(" ");
    }
    return out;
}

Strings calls;  // destructors and interest callbacks, in order
void note_destroyed(void *userData) { calls.push_back(static_cast<const char *>(userData)); }

class Palettes : public Library {
protected:
    void SetUp() override {
        Library::SetUp();
        events().clear();
        palette = new_palette(&database);
    }

    // Makes `count` equations at the lowest free indices and returns the last one.
    Equation *make(int count) {
        Equation *made = nullptr;
        for (int32_t index = -1; count-- > 0; index = -1) made = KVAEP_NewEquation(palette, &index);
        return made;
    }

    // "numEquations/capacity/current:" and " index:name" for each equation the walk from
    // GetFirstEquation yields.
    static std::string state(EquationPalette *which) {
        std::string out = std::to_string(KVAEP_GetNumEquations(which)) + "/" +
                          std::to_string(which->capacity) + "/" +
                          std::to_string(KVAEP_GetCurrentEquationIndex(which)) + ":";
        for (Equation *e = KVAEP_GetFirstEquation(which); e; e = KVAEP_GetNextEquation(which, e)) {
            out += " " + std::to_string(KVAEQ_GetIndex(e)) + ":" + KVAEQ_GetName(e);
        }
        return out;
    }

    // "+" of two literals, triggered on "New Frame".
    int32_t sum(const char *name, double a, double b) {
        const int32_t index = add_equation(palette, name, "+");
        set_number(palette, index, 0, a), set_number(palette, index, 1, b);
        return index;
    }

    int database = 0;
    EquationPalette *palette = nullptr;
};

TEST_F(Palettes, EquationsAreMadeAtTheLowestFreeIndexOrAGivenOneAndFoundAtTheLowestLiveOne) {
    make(4);
    KVAEP_SetCurrentEquation(palette, equation_at(palette, 1));
    for (auto [deleted, next] : {std::pair{1, 2}, std::pair{3, 2}, std::pair{2, 0}}) {
        KVAEP_DeleteEquation(palette, equation_at(palette, deleted));
        EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), next);  // passed to the next live one
    }
    EXPECT_EQ(state(palette), "4/10/0: 0:Equation 0");  // every slot keeps its index field
    EXPECT_EQ(describe(make(1)), std::string(kFresh).replace(9, 1, "1"));
    fail_after(0);  // no result variable: no equation either
    EXPECT_EQ(make(1), nullptr);
    fail_after(-1);
    make(8);
    fail_after(1);  // the slot counts grow but the slots cannot: nothing is made, nothing moves
    EXPECT_TRUE(make(1) == nullptr && state(palette).substr(0, 6) == "10/10/");
    fail_after(-1);
    EXPECT_EQ(equation_at(palette, 1)->reservedIndex, -1);
    int32_t index = 15;
    EXPECT_STREQ(KVAEQ_GetName(KVAEP_NewEquation(palette, &index)), "Equation 15");
    EXPECT_EQ(state(palette).substr(0, 9), "16/16/0: ");  // making does not choose it
    make(5);  // every slot up to the capacity live: the next one is made at the capacity
    EXPECT_EQ(KVAEQ_GetIndex(make(1)), 16);
    for (auto [at, name] : {std::pair{1, "Speed"}, {3, "Speed"}, {2, "Spee"}}) {
        KVAEQ_SetName(equation_at(palette, at), name);
    }
    index = 1;  // a live index: returned unchanged
    EXPECT_STREQ(KVAEQ_GetName(KVAEP_NewEquation(palette, &index)), "Speed");
    index = -2;
    EXPECT_EQ(KVAEP_NewEquation(palette, &index), KVAEP_NewEquation(palette, nullptr));
    // The index of the live equation found by the name, or -1.
    const auto found = [&](const char *name) {
        return KVAEQ_GetIndex(KVAEP_FindEquationByName(palette, name));
    };
    EXPECT_EQ((std::pair{found("Speed"), found("speed")}), std::pair(1, -1));
    KVAEP_DeleteEquation(palette, equation_at(palette, 1));  // the freed slot keeps the name
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 0);    // not current: the role stays
    EXPECT_EQ(found("Speed"), 3);
    KVAEQ_SetName(equation_at(palette, 3), "Fast");
    KVAEP_MoveEquation(palette, equation_at(palette, 3), 22);
    KVAEP_MoveEquationUpOne(palette, equation_at(palette, 2));  // into the free slot 1
    EXPECT_EQ((std::vector{found("Speed"), found("Fast"), found("Spee")}),
              (std::vector{-1, 22, 1}));
    int other = 0;
    KVAEP_SetUserData(palette, &other);
    EXPECT_TRUE(KVAEQM_GetEquationPalette(&other) == palette &&
                !KVAEQM_GetEquationPalette(&database));
    KVAEP_SetUserData(palette, &database), KVAEP_SetCurrentEquationIndex(palette, 99);
    EXPECT_EQ(KVAEP_GetCurrentEquation(palette), nullptr);
}

// What the walk callback does at its first call.
enum class OnWalk { nothing, stopAfterTwo, clear, grow, deletePalette };
OnWalk onWalk = OnWalk::nothing;
std::vector<int32_t> visited;

int32_t walk_callback(void *userData, Equation *equation, void *context) {
    auto *which = static_cast<EquationPalette *>(context);
    visited.push_back(KVAEQ_GetIndex(equation));
    EXPECT_EQ(equation, KVAEP_GetEquation(which, KVAEQ_GetIndex(equation)));  // the live slot
    int32_t far = 30;
    if (visited.size() == 1 && onWalk == OnWalk::grow) KVAEP_NewEquation(which, &far);
    if (visited.size() == 1 && onWalk == OnWalk::clear) KVAEP_ClearPalette(which);
    if (onWalk == OnWalk::deletePalette) KVAEQM_DeleteEquationPalette(userData);
    return onWalk == OnWalk::stopAfterTwo && visited.size() == 2 ? 0 : 1;
}

TEST_F(Palettes, WalksSkipFreeSlotsAndSurviveCallbacksThatEditThePalette) {
    using Case = std::tuple<OnWalk, std::vector<int32_t>, int32_t>;  // and the capacity after
    for (const auto &[what, visits, capacity] :
         {Case{OnWalk::nothing, {0, 1, 3}, 10}, Case{OnWalk::stopAfterTwo, {0, 1}, 10},
          Case{OnWalk::clear, {0}, 10},
          Case{OnWalk::grow, {0, 1, 3}, 31},  // the extent is read once
          Case{OnWalk::deletePalette, {0}, 31}}) {
        SCOPED_TRACE(static_cast<int>(what));
        KVAEP_ClearPalette(palette);
        make(4);
        KVAEP_DeleteEquation(palette, equation_at(palette, 2));
        onWalk = what;
        visited.clear();
        EXPECT_EQ(KVAEP_IterateEquations(&database, walk_callback, palette), 1);
        EXPECT_EQ(visited, visits);
        EXPECT_TRUE(what == OnWalk::deletePalette || palette->capacity == capacity);
    }
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
    EXPECT_EQ(KVAEP_IterateEquations(&database, walk_callback, palette), 0);
}

// Interest callbacks: each logs and subscribes, the second twice; the third grows the palette.
EquationPalette *grownPalette = nullptr;
std::vector<Equation *> interestedIn;

void subscribe_once(Equation *equation, void *paletteUserData) {
    interestedIn.push_back(equation);
    calls.push_back(paletteUserData != nullptr ? "once" : "once without user data");
    KVAEQ_RegisterSubscriber(equation, 0, nullptr, const_cast<char *>("first"));
}

TEST_F(Palettes, AReusedSlotStartsExactlyLikeANeverUsedOneUnlessItCannotBeSetUp) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", note_destroyed, nullptr, nullptr);
    Equation *old = make(1);
    KVAEQ_SetName(old, "Speed"), KVAEQ_SetTriggerName(old, "New Frame");
    KVAEQ_SetNumParameters(old, 2), KVAEQ_SetCurrentParameterIndex(old, 1);
    Parameter *oldParameter = KVAEQ_GetParameterN(old, 1);
    Variable *oldResult = KVAEQ_GetVariable(old);
    double host = 4.0;
    KVAP_SetVariableName(oldResult, "speed"), KVAP_SetVariableAddress(oldResult, &host);
    KVAP_SetDataTypeName(reinterpret_cast<Parameter *>(oldResult), "string");
    char *text = nullptr;
    KVAP_GetString(reinterpret_cast<Parameter *>(oldResult), &text, 1);
    KVAEQ_RegisterSubscriber(old, type, nullptr, const_cast<char *>("old"));
    KVAEP_DeleteEquation(palette, old);
    EXPECT_TRUE(calls.empty());
    fail_after(1);  // set-up refused: the freed slot keeps the deleted equation's objects
    EXPECT_EQ(make(1), nullptr);
    fail_after(-1);
    EXPECT_TRUE(KVAEQ_GetName(&palette->slots[0]) == std::string("Speed") && is_live(oldResult) &&
                palette->slots[0].variable == oldResult && palette->slots[0].inUse == 0);
    ASSERT_EQ(KVAEQ_GetIndex(make(1)), 0);
    // The old subscribers' destructors run once.
    EXPECT_TRUE(!is_live(oldParameter) && calls == Strings{"old"});
    int32_t neverUsed = 5;
    Equation *reference = KVAEP_NewEquation(palette, &neverUsed);
    Equation *fresh = equation_at(palette, 0);
    EXPECT_EQ(describe(fresh), describe(reference).replace(9, 1, "0"));
    EXPECT_TRUE(KVAEQ_GetCurrentParameterIndex(fresh) == 0 && !KVAEQ_GetSubscriberList(fresh) &&
                std::memcmp(fresh->variable, reference->variable, sizeof(Variable)) == 0);
}

TEST_F(Palettes, ClearingAndDeletingReleaseEverythingTheEquationsHold) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", note_destroyed, nullptr, nullptr);
    int32_t far = 12;
    KVAEP_NewEquation(palette, &far);
    KVAEQ_RegisterSubscriber(make(3), type, nullptr, const_cast<char *>("cleared"));
    KVAEP_SetCurrentEquationIndex(palette, 1);
    KVAEP_ClearPalette(palette);
    EXPECT_EQ(state(palette), "0/13/-1:");
    int other = 0;
    EquationPalette *second = new_palette(&other);
    KVAEQ_RegisterSubscriber(make(1), type, nullptr, const_cast<char *>("live"));
    Equation *slots = palette->slots;
    KVAEP_DeleteEquationPalette(palette);  // on its own: also off the manager's list
    EXPECT_FALSE(is_live(slots) || is_live(palette));
    EXPECT_EQ(calls, (Strings{"cleared", "live"}));
    EXPECT_TRUE(KVAEQM_GetEquationPalette(&other) == second && KVAEQM_GetNumPalettes() == 1);
    KVAEQM_EvaluateTriggerName("No Trigger");  // nothing reaches the released palette
}

TEST_F(Palettes, ACopyHasItsOwnParametersAndResultAndNoSubscribers) {
    const int32_t speed = sum("Speed", 2, 3);
    KVAEP_SetLVariableTypeName(palette, equation_at(palette, speed), "Node Attribute");
    subscribe(equation_at(palette, speed), register_recorder("Recorder"), "speed");
    Equation *source = equation_at(palette, speed);
    KVAP_SetEnabled(reinterpret_cast<Parameter *>(KVAEQ_GetVariable(source)), 0);  // copied too
    const std::string before = describe(source);
    Parameter *first = KVAEQ_GetParameterN(source, 0);
    KVAEP_CopyEqToEq(palette, source, source);  // onto itself: nothing
    EXPECT_TRUE(KVAEP_CopyEquation(palette, source, speed) == source &&
                KVAEP_MoveEquation(palette, source, speed) == source);
    EXPECT_TRUE(describe(source) == before && KVAEQ_GetParameterN(source, 0) == first);
    Equation *copy = KVAEP_CopyEquation(palette, equation_at(palette, speed), 5);
    ASSERT_EQ(KVAEQ_GetIndex(copy), 5);
    EXPECT_EQ(describe(copy), "Copy of " + before.substr(0, before.size() - 1) + "0");
    set_number(palette, 5, 0, 10);  // the copy computes on its own; only the source tells
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_TRUE(result_of(palette, 5) == 13.0 && events() == Strings{"speed=5"});
    const std::string longName(79, 'n');  // "Copy of " and the name, cut to 79 characters
    KVAEQ_SetName(source, longName.c_str());
    EXPECT_EQ(KVAEQ_GetName(KVAEP_CopyEquation(palette, source, 1)),
              ("Copy of " + longName).substr(0, 79));
    Equation stale{};
    stale.index = 7;  // beyond the palette's range
    EXPECT_EQ(KVAEP_CopyEquation(palette, &stale, 3), nullptr);
}

TEST_F(Palettes, MovesKeepNamesResultsAndReferencesAndTheCurrentRole) {
    const char *trace = register_trace_operator(1);
    for (const char *name : {"A", "B", "C", "D"}) add_equation(palette, name, trace);
    KVAEP_SetCurrentEquationIndex(palette, 0);
    EXPECT_EQ(KVAEQ_GetIndex(KVAEP_MoveEquation(palette, equation_at(palette, 0), 6)), 6);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 1);  // the deleted current passes it on
    EXPECT_EQ(KVAEQ_GetIndex(KVAEP_MoveEquationUpOne(palette, equation_at(palette, 1))), 0);
    EXPECT_EQ(KVAEQ_GetIndex(KVAEP_MoveEquationUpOne(palette, equation_at(palette, 3))), 2);
    EXPECT_EQ(state(palette), "7/10/2: 0:B 2:D 3:C 6:A");
    KVAEQM_EvaluateTriggerName("New Frame");
    // Result variables keep their objects and exchange their settings, names included.
    EXPECT_EQ(events(), (Strings{"run B", "run D", "run C", "run A"}));
    EXPECT_EQ(KVAEP_MoveEquationUpOne(palette, equation_at(palette, 0)), equation_at(palette, 0));
    ASSERT_NE(KVAEP_MoveEquationDownOne(palette, equation_at(palette, 6)), nullptr);
    EXPECT_EQ(state(palette), "8/10/2: 0:B 2:D 3:C 7:A");  // within the walks' range
    KVAEP_ClearPalette(palette);
    sum("Base", 2, 3);
    refer(palette, sum("User", 0, 100), 0, "Base");
    KVAEP_MoveEquationDownOne(palette, equation_at(palette, 0));  // exchange Base and User
    KVAEP_MoveEquation(palette, equation_at(palette, 1), 6);
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(result_of(palette, 0), 105.0);
}

TEST_F(Palettes, APaletteCopyIsPackedAndOwnsEverythingItHolds) {
    for (int32_t i = 0; i < 6; ++i) sum(("E" + std::to_string(i)).c_str(), i, 1);
    for (int32_t i : {1, 3, 4}) KVAEP_DeleteEquation(palette, equation_at(palette, i));
    KVAEQM_EvaluateTriggerName("New Frame");
    int other = 0, nowhere = 0;
    EquationPalette *target = new_palette(&other);
    add_equation(target, "Old", "+");
    KVAEP_CopyEPalette(&other, &database);
    EXPECT_EQ(state(target) + "=" + std::to_string(result_of(target, 2)),
              "3/10/2: 0:E0 1:E2 2:E5=6.000000");       // the result's value comes along
    KVAEQ_SetNumParameters(equation_at(target, 0), 0);  // editing the copy spares the source
    KVAEQM_EvaluateTriggerName("New Frame");
    EXPECT_EQ(KVAEQ_GetNumParameters(equation_at(palette, 0)), 2);
    KVAEP_CopyEPalette(&database, &database);  // onto itself: nothing
    EXPECT_EQ(state(palette), "6/10/-1: 0:E0 2:E2 5:E5");
    KVAEP_CopyEPalette(&other, &nowhere);  // from nowhere: the target is only cleared
    EXPECT_EQ(state(target), "0/10/-1:");
}

// The equations' own lists.

TEST_F(Palettes, NullsAreAnsweredWithNeutralValuesAndOperatorAndTriggerNamesSetIdentifiers) {
    Equation *e = make(1);
    int32_t index = -1;
    const bool neutral[] = {
        !KVAEQ_GetName(nullptr) && !KVAEQ_GetParameterN(nullptr, 0) &&
            !KVAEQ_NewParameterN(nullptr, 0, ZTEQM_PARAMETER_LITERAL),
        !KVAEQ_GetSubscriberN(nullptr, 0) && KVAEQ_GetIndex(nullptr) == -1,
        KVAEQ_GetOperatorID(nullptr) + KVAEQ_GetNumParameters(nullptr) +
                KVAEQ_GetNumSubscribers(nullptr) + KVAEQ_GetCurrentParameterIndex(nullptr) +
                KVAEQ_RegisterSubscriber(nullptr, 0, nullptr, nullptr) ==
            0,
        KVAEP_IterateEquations(&database, nullptr, palette) +
                KVAEP_IterateEquations(nullptr, walk_callback, palette) ==
            0,
        !KVAEP_NewEquation(nullptr, &index) && !KVAEP_GetEquation(nullptr, 0) &&
            !KVAEP_GetCurrentEquation(nullptr),
        !KVAEP_FindEquationByName(nullptr, "Equation 0") &&
            !KVAEP_FindEquationByName(palette, nullptr),
        !KVAEP_CopyEquation(nullptr, e, 3) && !KVAEP_MoveEquation(palette, nullptr, 3),
        !KVAEP_MoveEquationUpOne(nullptr, e) && !KVAEP_MoveEquationDownOne(palette, nullptr)};
    for (size_t i = 0; i < std::size(neutral); ++i) EXPECT_TRUE(neutral[i]) << i;
    KVAEP_DeleteEquation(nullptr, e), KVAEP_DeleteEquation(palette, nullptr);
    KVAEP_SetLVariableTypeName(nullptr, e, "Node Attribute");
    KVAEP_SetLVariableTypeName(palette, nullptr, "Node Attribute");
    KVAEQ_SetNumParameters(nullptr, 3), KVAEQ_SetParameterN(nullptr, 0, nullptr);
    KVAEP_ReinitializeSubscriberList(nullptr, e),
        KVAEP_ReinitializeSubscriberList(palette, nullptr);
    EXPECT_EQ(describe(equation_at(palette, 0)), kFresh);
    // Operator and trigger names set their identifiers; null names are refused.
    KVAEQ_SetName(e, "Application"), KVAEQ_SetName(e, nullptr), KVAEQ_SetName(nullptr, "x");
    KVAEQ_SetOperatorName(e, "+"), KVAEQ_SetOperatorName(e, nullptr);
    KVAEQ_SetTriggerName(e, "Application"), KVAEQ_SetTriggerName(e, nullptr);
    EXPECT_EQ(describe(e), "Application|+#17|Application#2|Literal=10,|:Temporary:double:1|0");
    KVAEQ_SetOperatorID(e, 56);  // the identifier leaves the name
    KVAEQ_SetTriggerName(e, std::string(81, 't').c_str());
    EXPECT_EQ(describe(e).substr(0, 20) + describe(e).substr(96, 3), "Application|+#56|ttt#0|");
}

TEST_F(Palettes, ParameterAndSubscriberListsGrowShrinkAndReleaseTheirEntries) {
    hold_freed_blocks();  // so that a released entry is not mistaken for a new one
    Equation *equation = make(1);
    Parameter *first = KVAEQ_GetParameterN(equation, 0);
    KVAEQ_SetNumParameters(equation, 2);
    Parameter *second = KVAEQ_GetParameterN(equation, 1);
    KVAEQ_SetNumParameters(equation, 1), KVAEQ_SetNumParameters(equation, 3);
    Parameter **list = KVAEQ_GetParameterList(equation);
    EXPECT_TRUE(!is_live(second) && list[0] == first);
    KVAEQ_SetNumParameters(equation, 3);  // the same count keeps the list
    fail_after(0);                        // no list: nothing changes
    KVAEQ_SetNumParameters(equation, 4);
    EXPECT_EQ(KVAEQ_GetParameterList(equation), list);
    fail_after(2);  // a literal that cannot be made leaves a null entry
    KVAEQ_SetNumParameters(equation, 5);
    fail_after(-1);
    Parameter *old = KVAEQ_GetParameterN(equation, 1);
    EXPECT_FALSE(KVAEQ_NewParameterN(equation, 5, ZTEQM_PARAMETER_TEMPORARY) ||
                 KVAEQ_NewParameterN(equation, -1, ZTEQM_PARAMETER_TEMPORARY));
    Parameter *made = KVAEQ_NewParameterN(equation, 1, ZTEQM_PARAMETER_TEMPORARY);
    // The caller decides the fate of the one it replaced.
    EXPECT_TRUE(KVAEQ_GetCurrentParameter(equation) == made && is_live(old));
    KVAP_Delete(KVAEQ_GetParameterN(equation, 0));
    EXPECT_EQ(KVAEQ_NewParameterN(equation, 0, 0), nullptr);  // an unregistered type
    KVAEQ_SetParameterN(equation, 0, old);
    KVAEQ_SetParameterN(equation, 5, made), KVAEQ_SetParameterN(equation, -1, made);
    EXPECT_EQ(describe(equation),
              "Equation 0|Move Value#1|No Trigger#0|Literal=10,Temporary=0,"
              "Literal=10,Literal=10,null=-1,|:Temporary:double:1|0");
    KVAEQ_SetCurrentParameterIndex(equation, 2);
    list = KVAEQ_GetParameterList(equation);
    const std::vector<Parameter *> all(list, list + 4);
    KVAEQ_SetNumParameters(equation, 0);
    for (Parameter *parameter : all) EXPECT_FALSE(is_live(parameter));
    KVAEQ_SetNumParameters(equation, -1);
    EXPECT_TRUE(!KVAEQ_GetParameterList(equation) && KVAEQ_GetNumParameters(equation) == 0 &&
                KVAEQ_GetCurrentParameterIndex(equation) == 2);  // the index is not adjusted
    // Subscribers append in order and unregistering runs each destructor once.
    const int32_t type = KVAS_RegisterSubscriberType("Scene", note_destroyed, nullptr, nullptr);
    char a[] = "a", b[] = "b", c[] = "c";
    for (long allowed : {0, 1}) {  // no list, or a list and no subscriber
        fail_after(allowed);
        EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, a), -1);
    }
    fail_after(-1);
    for (int32_t at = 0; at < 3; ++at) {  // no duplicate check
        EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, at == 1 ? b : a), at);
    }
    EXPECT_EQ(subscribers(equation), "a b a ");
    EXPECT_EQ(KVAEQ_GetSubscriberN(equation, 3), KVAEQ_GetSubscriberN(equation, -1));
    Subscriber **subscriberList = KVAEQ_GetSubscriberList(equation);
    const std::vector<Subscriber *> gone(subscriberList, subscriberList + 3);
    KVAEQ_UnregisterAllSubscribers(equation);
    EXPECT_EQ(KVAEQ_GetSubscriberList(equation), subscriberList);  // kept for reuse
    for (Subscriber *subscriber : gone) EXPECT_FALSE(is_live(subscriber));
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, c), 0);
    KVAEQ_UnregisterAllSubscribers(equation);
    EXPECT_TRUE(calls == (Strings{"a", "b", "a", "c"}) && !KVAEQ_GetNumSubscribers(equation));
}

void subscribe_twice(Equation *equation, void *) {
    calls.push_back("twice");
    KVAEQ_RegisterSubscriber(equation, 2, nullptr, const_cast<char *>("second"));
    KVAEQ_RegisterSubscriber(equation, 2, nullptr, const_cast<char *>("third"));
}

void grow_palette(Equation *equation, void *) {
    interestedIn.push_back(equation);
    int32_t far = grownPalette->capacity + 30;  // beyond the end: the slots move
    KVAEP_NewEquation(grownPalette, &far);
}

TEST_F(Palettes, SubscriberListsAreRebuiltByEveryTypeInOrderWhenAskedOrWhenTheResultTypeChanges) {
    Equation *equation = make(1);
    KVAS_RegisterSubscriberType("First", note_destroyed, nullptr, subscribe_once);
    KVAS_RegisterSubscriberType("Cleared", note_destroyed, nullptr, subscribe_once);
    KVAS_RegisterSubscriberType("Second", note_destroyed, nullptr, subscribe_twice);
    KVAS_RegisterSubscriberType("Silent", note_destroyed, nullptr, nullptr);
    KVAS_UnregisterSubscriberType(1);
    KVAEQ_RegisterSubscriber(equation, 3, nullptr, const_cast<char *>("old"));
    KVAEP_ReinitializeSubscriberList(palette, equation);
    EXPECT_EQ(subscribers(equation), "first second third ");
    EquationPalette *loose = KVAEP_NewEquationPalette(nullptr);  // its user data, listed or not
    KVAEP_ReinitializeSubscriberList(loose, equation);
    EXPECT_EQ(calls, (Strings{"old", "once", "twice", "first", "second", "third",
                              "once without user data", "twice"}));
    KVAEP_DeleteEquationPalette(loose);
    // Changing the result's type rebuilds the list, only when the type changes.
    calls.clear();
    hold_freed_blocks();
    Subscriber *kept = KVAEQ_GetSubscriberN(equation, 0);
    std::string types;
    for (const char *name :
         {"Temporary", "Node Attribute", "Literal", "Equation", (const char *)nullptr,
          "Unknown"}) {  // another layout is refused; an unknown name is 0
        KVAEP_SetLVariableTypeName(palette, equation, name);
        types += std::to_string(KVAP_GetVariableType(KVAEQ_GetVariable(equation))) + " ";
    }
    EXPECT_EQ(types, "2 4 4 4 4 0 ");  // temporary, then node attribute kept
    EXPECT_EQ(calls, (Strings{"first", "second", "third", "once", "twice", "first", "second",
                              "third", "once", "twice"}));
    EXPECT_EQ(describe(equation),
              "Equation 0|Move Value#1|No Trigger#0|Literal=10,|:Unknown:none:1|3");
    EXPECT_FALSE(is_live(kept));
}

TEST_F(Palettes, ReinitializingFollowsTheEquationWhenAnInterestCallbackMovesTheSlots) {
    Equation *before = make(1);
    grownPalette = palette;
    KVAS_RegisterSubscriberType("Grower", nullptr, nullptr, grow_palette);
    KVAS_RegisterSubscriberType("Subscriber", nullptr, nullptr, subscribe_once);
    EquationPalette *loose = KVAEP_NewEquationPalette(nullptr);
    // Also when the palette given is not the one that holds the equation.
    for (EquationPalette *given : {palette, loose}) {
        interestedIn.clear();
        KVAEP_ReinitializeSubscriberList(given, before);
        Equation *after = equation_at(palette, 0);
        ASSERT_EQ(interestedIn, (std::vector<Equation *>{before, after}));  // taken again
        EXPECT_TRUE(after != before && subscribers(after) == "first ");
        before = after;
    }
    EXPECT_EQ(palette->capacity, 72);
    KVAEP_DeleteEquationPalette(loose);
}

int grownBy = 0;
void grow_on_destroy(void *) {
    int32_t far = 20 + grownBy++;
    KVAEP_NewEquation(grownPalette, &far);
}

TEST_F(Palettes, UnregisteringFollowsTheEquationWhenADestructorMovesTheSlots) {
    hold_freed_blocks();  // the growth would otherwise reuse a subscriber's address
    Equation *equation = make(1);
    grownPalette = palette;
    const int32_t type = KVAS_RegisterSubscriberType("Grower", grow_on_destroy, nullptr, nullptr);
    std::vector<Subscriber *> made;
    for (int i = 0; i < 3; ++i) {
        KVAEQ_RegisterSubscriber(equation, type, nullptr, nullptr);
        made.push_back(KVAEQ_GetSubscriberN(equation, i));
    }
    KVAEQ_UnregisterAllSubscribers(equation);  // every destructor moves the slots
    Equation *after = equation_at(palette, 0);
    EXPECT_TRUE(palette->capacity == 23 && KVAEQ_GetNumSubscribers(after) == 0);
    for (Subscriber *subscriber : made) EXPECT_FALSE(is_live(subscriber));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(KVAEQ_GetSubscriberList(after)[i], nullptr);
}

}  // namespace
