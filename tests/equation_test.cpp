// Equations: names, operator and trigger, the parameter list, the subscriber list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::counts;
using testhost::is_live;

namespace {

std::vector<std::string> calls;

void destructor(void *userData) { calls.push_back(static_cast<const char *>(userData)); }

class Equations : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        testhost::events().clear();
        testhost::start_library();
        palette = KVAEQM_NewEquationPalette(&userData);
        int32_t index = -1;
        equation = KVAEP_NewEquation(palette, &index);
        ASSERT_NE(equation, nullptr);
    }
    void TearDown() override { KVAEQM_Exit(); }

    int userData = 0;
    EquationPalette *palette = nullptr;
    Equation *equation = nullptr;
};

TEST_F(Equations, NullEquationIsAnsweredWithNeutralValuesAndIgnored) {
    EXPECT_EQ(KVAEQ_GetIndex(nullptr), -1);
    EXPECT_EQ(KVAEQ_GetOperatorID(nullptr), 0);
    EXPECT_EQ(KVAEQ_GetNumParameters(nullptr), 0);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(nullptr), 0);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(nullptr), 0);
    EXPECT_EQ(KVAEQ_GetName(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetOperatorName(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetTriggerName(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetVariable(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetParameterList(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetParameterN(nullptr, 0), nullptr);
    EXPECT_EQ(KVAEQ_NewParameterN(nullptr, 0, ZTEQM_PARAMETER_LITERAL), nullptr);
    EXPECT_EQ(KVAEQ_GetCurrentParameter(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetSubscriberList(nullptr), nullptr);
    EXPECT_EQ(KVAEQ_GetSubscriberN(nullptr, 0), nullptr);
    EXPECT_EQ(KVAEQ_RegisterSubscriber(nullptr, 0, nullptr, nullptr), 0);

    const long allocations = counts().allocations;
    KVAEQ_SetName(nullptr, "x");
    KVAEQ_SetOperatorName(nullptr, "+");
    KVAEQ_SetOperatorID(nullptr, 3);
    KVAEQ_SetTriggerName(nullptr, "New Frame");
    KVAEQ_SetNumParameters(nullptr, 3);
    KVAEQ_SetParameterN(nullptr, 0, nullptr);
    KVAEQ_SetCurrentParameterIndex(nullptr, 2);
    KVAEQ_UnregisterAllSubscribers(nullptr);
    KVAEP_ReinitializeSubscriberList(nullptr, equation);
    KVAEP_ReinitializeSubscriberList(palette, nullptr);
    EXPECT_EQ(counts().allocations, allocations);
}

TEST_F(Equations, NamesAreCutTo79CharactersAndNullNamesAreRefused) {
    const std::string longName(100, 'n');
    KVAEQ_SetName(equation, longName.c_str());
    EXPECT_EQ(std::string(KVAEQ_GetName(equation)), std::string(79, 'n'));
    KVAEQ_SetName(equation, "Speed");
    EXPECT_STREQ(KVAEQ_GetName(equation), "Speed");
    for (int at = 5; at < 80; ++at) EXPECT_EQ(equation->name[at], '\0') << at;
    KVAEQ_SetName(equation, nullptr);
    EXPECT_STREQ(KVAEQ_GetName(equation), "Speed");

    KVAEQ_SetOperatorName(equation, "+");
    KVAEQ_SetOperatorName(equation, nullptr);
    EXPECT_STREQ(KVAEQ_GetOperatorName(equation), "+");
    EXPECT_EQ(KVAEQ_GetOperatorID(equation), KVAOP_IDOfName("+"));
    KVAEQ_SetOperatorName(equation, std::string(120, 'o').c_str());
    EXPECT_EQ(std::string(KVAEQ_GetOperatorName(equation)), std::string(79, 'o'));
    EXPECT_EQ(KVAEQ_GetOperatorID(equation), 0);

    KVAEQ_SetTriggerName(equation, "Application");
    KVAEQ_SetTriggerName(equation, nullptr);
    EXPECT_STREQ(KVAEQ_GetTriggerName(equation), "Application");
    EXPECT_EQ(equation->triggerId, KVAT_IDOfName("Application"));
    KVAEQ_SetTriggerName(equation, std::string(81, 't').c_str());
    EXPECT_EQ(std::string(KVAEQ_GetTriggerName(equation)), std::string(79, 't'));
    EXPECT_EQ(equation->triggerId, 0);
}

TEST_F(Equations, OperatorNameSetsTheIdentifierWhileTheIdentifierLeavesTheName) {
    Parameter *only = KVAEQ_GetParameterN(equation, 0);
    KVAEQ_SetOperatorName(equation, "+");
    EXPECT_EQ(KVAEQ_GetOperatorID(equation), 17);
    // The parameter list is not resized by a change of operator.
    EXPECT_EQ(KVAEQ_GetNumParameters(equation), 1);
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 0), only);

    KVAEQ_SetOperatorID(equation, 56);
    EXPECT_EQ(KVAEQ_GetOperatorID(equation), 56);
    EXPECT_STREQ(KVAEQ_GetOperatorName(equation), "+");

    KVAEQ_SetOperatorName(equation, "Sin");
    EXPECT_EQ(KVAEQ_GetOperatorID(equation), 0);
    EXPECT_STREQ(KVAEQ_GetOperatorName(equation), "Sin");
}

TEST_F(Equations, ResizingKeepsLowerParametersDeletesSurplusAndAddsLiterals) {
    KVAEQ_SetNumParameters(equation, 2);
    Parameter *first = KVAEQ_GetParameterN(equation, 0);
    Parameter *second = KVAEQ_GetParameterN(equation, 1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(KVAP_GetTypeID(second), ZTEQM_PARAMETER_LITERAL);
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(second), 10.0);

    KVAEQ_SetNumParameters(equation, 1);
    EXPECT_EQ(KVAEQ_GetNumParameters(equation), 1);
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 0), first);
    EXPECT_FALSE(is_live(second));
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 1), nullptr);

    KVAEQ_SetNumParameters(equation, 3);
    Parameter **list = KVAEQ_GetParameterList(equation);
    EXPECT_EQ(list[0], first);
    EXPECT_STREQ(KVAP_GetTypeName(list[1]), "Literal");
    EXPECT_STREQ(KVAP_GetTypeName(list[2]), "Literal");

    KVAEQ_SetNumParameters(equation, 3);
    EXPECT_EQ(KVAEQ_GetParameterList(equation), list);

    KVAEQ_SetCurrentParameterIndex(equation, 2);
    const std::vector<Parameter *> all(list, list + 3);
    KVAEQ_SetNumParameters(equation, 0);
    EXPECT_EQ(KVAEQ_GetParameterList(equation), nullptr);
    EXPECT_EQ(KVAEQ_GetNumParameters(equation), 0);
    for (Parameter *parameter : all) EXPECT_FALSE(is_live(parameter));
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(equation), 2);  // not adjusted

    KVAEQ_SetNumParameters(equation, -1);
    EXPECT_EQ(KVAEQ_GetNumParameters(equation), 0);
}

TEST_F(Equations, ResizingWithoutMemoryLeavesTheListAsItWas) {
    Parameter **list = KVAEQ_GetParameterList(equation);
    const long live = static_cast<long>(counts().live.size());
    testhost::fail_after(0);
    KVAEQ_SetNumParameters(equation, 4);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAEQ_GetNumParameters(equation), 1);
    EXPECT_EQ(KVAEQ_GetParameterList(equation), list);
    EXPECT_EQ(static_cast<long>(counts().live.size()), live);

    // A literal that cannot be made leaves a null entry; the list still has its new length.
    testhost::fail_after(2);
    KVAEQ_SetNumParameters(equation, 3);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAEQ_GetNumParameters(equation), 3);
    EXPECT_NE(KVAEQ_GetParameterN(equation, 1), nullptr);
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 2), nullptr);
}

TEST_F(Equations, NewParameterIsStoredOnlyInRangeAndBecomesCurrent) {
    KVAEQ_SetNumParameters(equation, 2);
    Parameter *old = KVAEQ_GetParameterN(equation, 1);
    EXPECT_EQ(KVAEQ_NewParameterN(equation, 2, ZTEQM_PARAMETER_TEMPORARY), nullptr);
    EXPECT_EQ(KVAEQ_NewParameterN(equation, -1, ZTEQM_PARAMETER_TEMPORARY), nullptr);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(equation), 0);

    Parameter *made = KVAEQ_NewParameterN(equation, 1, ZTEQM_PARAMETER_TEMPORARY);
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(KVAP_GetTypeName(made), "Temporary");
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 1), made);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(equation), 1);
    EXPECT_EQ(KVAEQ_GetCurrentParameter(equation), made);
    EXPECT_TRUE(is_live(old));  // the caller decides the fate of the one it replaced

    // An unregistered type stores null and still moves the cursor.
    KVAP_Delete(KVAEQ_GetParameterN(equation, 0));
    EXPECT_EQ(KVAEQ_NewParameterN(equation, 0, 0), nullptr);
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 0), nullptr);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(equation), 0);

    KVAEQ_SetParameterN(equation, 0, old);
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 0), old);
    KVAEQ_SetParameterN(equation, 2, made);
    KVAEQ_SetParameterN(equation, -1, made);
    EXPECT_EQ(KVAEQ_GetParameterN(equation, 2), nullptr);

    KVAEQ_SetCurrentParameterIndex(equation, 7);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(equation), 7);
    EXPECT_EQ(KVAEQ_GetCurrentParameter(equation), nullptr);
}

TEST_F(Equations, SubscribersAppendInOrderAndUnregisteringRunsEachDestructorOnce) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", destructor, nullptr, nullptr);
    char a[] = "a", b[] = "b", c[] = "c";
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, a), 0);
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, b), 1);
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, a), 2);  // no duplicate check
    EXPECT_EQ(KVAEQ_GetNumSubscribers(equation), 3);
    EXPECT_EQ(equation->subscriberCapacity, 3);
    EXPECT_EQ(KVAEQ_GetSubscriberN(equation, 1)->userData, b);
    EXPECT_EQ(KVAEQ_GetSubscriberN(equation, 3), nullptr);
    EXPECT_EQ(KVAEQ_GetSubscriberN(equation, -1), nullptr);

    Subscriber **list = KVAEQ_GetSubscriberList(equation);
    const std::vector<Subscriber *> old(list, list + 3);
    KVAEQ_UnregisterAllSubscribers(equation);
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(KVAEQ_GetNumSubscribers(equation), 0);
    EXPECT_EQ(KVAEQ_GetSubscriberList(equation), list);  // kept for reuse
    EXPECT_EQ(equation->subscriberCapacity, 3);
    for (Subscriber *subscriber : old) EXPECT_FALSE(is_live(subscriber));

    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, c), 0);
    KVAEQ_UnregisterAllSubscribers(equation);
    EXPECT_EQ(calls.back(), "c");
    EXPECT_EQ(calls.size(), 4u);
}

TEST_F(Equations, RegisteringASubscriberWithoutMemoryReportsMinusOne) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", destructor, nullptr, nullptr);
    testhost::fail_after(0);
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, nullptr), -1);
    testhost::fail_after(1);  // the list grows, the subscriber cannot be made
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, nullptr), -1);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(equation), 0);
    EXPECT_EQ(KVAEQ_RegisterSubscriber(equation, type, nullptr, nullptr), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Equations, ResultVariableIsMadeOnceAndKept) {
    Variable *result = KVAEQ_GetVariable(equation);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(KVAEQ_GetVariable(equation), result);
    EXPECT_EQ(equation->variable, result);
}

// Interest callbacks for the subscriber-list tests: each logs what it was given and
// subscribes, the second one twice.
EquationPalette *grownPalette = nullptr;
std::vector<Equation *> interestedIn;

void subscribe_once(Equation *equation, void *paletteUserData) {
    interestedIn.push_back(equation);
    calls.push_back(paletteUserData != nullptr ? "once" : "once without user data");
    KVAEQ_RegisterSubscriber(equation, 0, nullptr, const_cast<char *>("first"));
}

void subscribe_twice(Equation *equation, void *) {
    interestedIn.push_back(equation);
    calls.push_back("twice");
    KVAEQ_RegisterSubscriber(equation, 2, nullptr, const_cast<char *>("second"));
    KVAEQ_RegisterSubscriber(equation, 2, nullptr, const_cast<char *>("third"));
}

void grow_palette(Equation *equation, void *) {
    interestedIn.push_back(equation);
    int32_t far = grownPalette->capacity + 30;  // beyond the end: the slots move
    KVAEP_NewEquation(grownPalette, &far);
}

TEST_F(Equations, ReinitializingAsksEveryTypeInOrderWithThePalettesUserData) {
    KVAS_RegisterSubscriberType("First", destructor, nullptr, subscribe_once);
    KVAS_RegisterSubscriberType("Cleared", destructor, nullptr, subscribe_once);
    KVAS_RegisterSubscriberType("Second", destructor, nullptr, subscribe_twice);
    KVAS_RegisterSubscriberType("Silent", destructor, nullptr, nullptr);
    KVAS_UnregisterSubscriberType(1);
    char old[] = "old";
    KVAEQ_RegisterSubscriber(equation, 3, nullptr, old);

    KVAEP_ReinitializeSubscriberList(palette, equation);
    EXPECT_EQ(calls, (std::vector<std::string>{"old", "once", "twice"}));
    ASSERT_EQ(KVAEQ_GetNumSubscribers(equation), 3);
    EXPECT_STREQ(static_cast<const char *>(KVAEQ_GetSubscriberN(equation, 0)->userData), "first");
    EXPECT_STREQ(static_cast<const char *>(KVAEQ_GetSubscriberN(equation, 2)->userData), "third");
    EXPECT_EQ(interestedIn, (std::vector<Equation *>{equation, equation}));

    // The palette's user data is what the callbacks receive, registered or not.
    calls.clear();
    EquationPalette *loose = KVAEP_NewEquationPalette(nullptr);
    KVAEP_ReinitializeSubscriberList(loose, equation);
    EXPECT_EQ(calls.front(), "first");  // the destructor of the subscriber it replaced
    EXPECT_EQ(calls[3], "once without user data");
    KVAEP_DeleteEquationPalette(loose);
}

TEST_F(Equations, ReinitializingFollowsTheEquationWhenAnInterestCallbackMovesTheSlots) {
    grownPalette = palette;
    interestedIn.clear();
    KVAS_RegisterSubscriberType("Grower", nullptr, nullptr, grow_palette);
    KVAS_RegisterSubscriberType("Subscriber", nullptr, nullptr, subscribe_once);
    Equation *before = equation;

    KVAEP_ReinitializeSubscriberList(palette, equation);
    Equation *after = KVAEP_GetEquation(palette, 0);
    ASSERT_EQ(interestedIn.size(), 2u);
    EXPECT_EQ(interestedIn[0], before);
    EXPECT_EQ(interestedIn[1], after);  // taken again by index after the slots moved
    EXPECT_EQ(KVAEQ_GetNumSubscribers(after), 1);
    EXPECT_EQ(palette->capacity, 41);

    // The same when the palette given is not the one that holds the equation.
    EquationPalette *loose = KVAEP_NewEquationPalette(nullptr);
    interestedIn.clear();
    KVAEP_ReinitializeSubscriberList(loose, after);
    Equation *again = KVAEP_GetEquation(palette, 0);
    ASSERT_EQ(interestedIn.size(), 2u);
    EXPECT_NE(again, after);
    EXPECT_EQ(interestedIn[1], again);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(again), 1);
    KVAEP_DeleteEquationPalette(loose);
}

int grownBy = 0;
void grow_on_destroy(void *) {
    int32_t far = 20 + grownBy++;
    KVAEP_NewEquation(grownPalette, &far);
}

TEST_F(Equations, UnregisteringFollowsTheEquationWhenADestructorMovesTheSlots) {
    testhost::hold_freed_blocks();  // the growth would otherwise reuse a subscriber's address
    grownPalette = palette;
    const int32_t type = KVAS_RegisterSubscriberType("Grower", grow_on_destroy, nullptr, nullptr);
    std::vector<Subscriber *> made;
    for (int i = 0; i < 3; ++i) {
        KVAEQ_RegisterSubscriber(equation, type, nullptr, nullptr);
        made.push_back(KVAEQ_GetSubscriberN(equation, i));
    }
    KVAEQ_UnregisterAllSubscribers(equation);  // every destructor moves the slots
    Equation *after = KVAEP_GetEquation(palette, 0);
    EXPECT_EQ(grownBy, 3);
    EXPECT_EQ(palette->capacity, 23);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(after), 0);
    for (Subscriber *subscriber : made) EXPECT_FALSE(is_live(subscriber));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(KVAEQ_GetSubscriberList(after)[i], nullptr);
}

}  // namespace
