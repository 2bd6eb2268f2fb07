// Palettes: numbering, default equations, walks, deletion and the current equation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "equation_host.h"
#include "test_host.h"

using testhost::counts;
using testhost::is_live;

namespace {

class Palettes : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::events().clear();
        testhost::start_library();
        palette = KVAEQM_NewEquationPalette(&database);
        ASSERT_NE(palette, nullptr);
    }
    void TearDown() override { KVAEQM_Exit(); }

    // Makes equations at the lowest free indices until `count` have been made.
    void make(int count) {
        for (int made = 0; made < count; ++made) {
            int32_t index = -1;
            ASSERT_NE(KVAEP_NewEquation(palette, &index), nullptr);
        }
    }

    // The indices the walk from GetFirstEquation yields.
    std::vector<int32_t> walk(EquationPalette *which) {
        std::vector<int32_t> indices;
        for (Equation *e = KVAEP_GetFirstEquation(which); e != nullptr;
             e = KVAEP_GetNextEquation(which, e)) {
            indices.push_back(KVAEQ_GetIndex(e));
        }
        return indices;
    }

    int database = 0;
    EquationPalette *palette = nullptr;
};

TEST_F(Palettes, NewPaletteIsEmptyWithTenFreeSlots) {
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 0);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), -1);
    EXPECT_EQ(KVAEP_GetFirstEquation(palette), nullptr);
    EXPECT_EQ(KVAEP_GetCurrentEquation(palette), nullptr);
    EXPECT_EQ(KVAEP_GetUserData(palette), &database);
    EXPECT_EQ(palette->capacity, 10);
    for (int32_t index = 0; index < 10; ++index) EXPECT_EQ(palette->slots[index].inUse, 0);

    int other = 0;
    KVAEP_SetUserData(palette, &other);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&other), palette);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&database), nullptr);
}

TEST_F(Palettes, NewEquationHasTheDefaults) {
    int32_t index = -1;
    Equation *equation = KVAEP_NewEquation(palette, &index);
    ASSERT_NE(equation, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(equation->inUse, 1);
    EXPECT_EQ(KVAEQ_GetIndex(equation), 0);
    EXPECT_STREQ(KVAEQ_GetName(equation), "Equation 0");
    EXPECT_STREQ(KVAEQ_GetOperatorName(equation), "Move Value");
    EXPECT_EQ(KVAEQ_GetOperatorID(equation), 1);
    EXPECT_STREQ(KVAEQ_GetTriggerName(equation), "No Trigger");
    EXPECT_EQ(equation->reservedIndex, -1);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(equation), 0);

    Variable *result = equation->variable;
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(KVAP_GetVariableTypeName(result), "Temporary");
    EXPECT_EQ(KVAP_GetVariableType(result), ZTEQM_PARAMETER_TEMPORARY);
    EXPECT_EQ(KVAP_GetEnabled(reinterpret_cast<Parameter *>(result)), 1);
    EXPECT_STREQ(KVAP_GetVariableName(result), "");
    EXPECT_STREQ(KVAP_GetDataTypeName(reinterpret_cast<Parameter *>(result)), "double");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(reinterpret_cast<Parameter *>(result)), 0.0);
    EXPECT_EQ(KVAP_GetVariableAddress(result), nullptr);

    ASSERT_EQ(KVAEQ_GetNumParameters(equation), 1);
    EXPECT_STREQ(KVAP_GetTypeName(KVAEQ_GetParameterN(equation, 0)), "Literal");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(KVAEQ_GetParameterN(equation, 0)), 10.0);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(equation), 0);
    EXPECT_EQ(KVAEQ_GetSubscriberList(equation), nullptr);
    EXPECT_EQ(equation->subscriberCapacity, 0);

    EXPECT_EQ(KVAEP_GetNumEquations(palette), 1);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), -1);  // making does not choose it
    EXPECT_EQ(KVAEP_GetFirstEquation(palette), equation);
}

TEST_F(Palettes, ADeletedSlotIsTheNextOneMade) {
    make(3);
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 1));
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 3);
    EXPECT_EQ(KVAEP_GetEquation(palette, 1), nullptr);
    EXPECT_EQ(walk(palette), (std::vector<int32_t>{0, 2}));

    int32_t index = -1;
    Equation *again = KVAEP_NewEquation(palette, &index);
    EXPECT_EQ(index, 1);
    EXPECT_STREQ(KVAEQ_GetName(again), "Equation 1");
    EXPECT_EQ(walk(palette), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(Palettes, AnIndexBeyondTheCapacityGrowsTheSlotArray) {
    make(2);
    int32_t index = 15;
    Equation *far = KVAEP_NewEquation(palette, &index);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(index, 15);
    EXPECT_EQ(palette->capacity, 16);
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 16);
    EXPECT_STREQ(KVAEQ_GetName(far), "Equation 15");
    for (int32_t free = 10; free < 15; ++free) EXPECT_EQ(KVAEP_GetEquation(palette, free), nullptr);
    EXPECT_EQ(walk(palette), (std::vector<int32_t>{0, 1, 15}));
    EXPECT_EQ(KVAEP_GetEquation(palette, 16), nullptr);

    // Every slot up to the capacity live: the next one is made at the capacity.
    make(13);
    index = -1;
    ASSERT_NE(KVAEP_NewEquation(palette, &index), nullptr);
    EXPECT_EQ(index, 16);
    EXPECT_EQ(palette->capacity, 17);
}

TEST_F(Palettes, MakingAtALiveIndexReturnsItUnchangedAndOtherNegativeIndicesGiveNull) {
    make(2);
    Equation *live = KVAEP_GetEquation(palette, 1);
    KVAEQ_SetName(live, "Speed");
    KVAEQ_SetOperatorName(live, "+");
    int32_t index = 1;
    EXPECT_EQ(KVAEP_NewEquation(palette, &index), live);
    EXPECT_STREQ(KVAEQ_GetName(live), "Speed");
    EXPECT_STREQ(KVAEQ_GetOperatorName(live), "+");

    index = -2;
    EXPECT_EQ(KVAEP_NewEquation(palette, &index), nullptr);
    EXPECT_EQ(KVAEP_NewEquation(palette, nullptr), nullptr);
    EXPECT_EQ(KVAEP_NewEquation(nullptr, &index), nullptr);
    EXPECT_EQ(KVAEP_GetEquation(palette, -1), nullptr);
    EXPECT_EQ(KVAEP_GetEquation(nullptr, 0), nullptr);
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 2);
}

TEST_F(Palettes, DeletingTheCurrentEquationPassesTheRoleOn) {
    make(3);
    KVAEP_SetCurrentEquation(palette, KVAEP_GetEquation(palette, 1));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 1);
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 1));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 2);

    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 2));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 0);
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 3);  // every slot keeps its index field

    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 0));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), -1);
    EXPECT_EQ(KVAEP_GetCurrentEquation(palette), nullptr);
    EXPECT_EQ(KVAEP_GetFirstEquation(palette), nullptr);

    // Deleting an equation that is not current changes neither the role nor the extent.
    make(2);
    KVAEP_SetCurrentEquationIndex(palette, 0);
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 1));
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 0);
    EXPECT_EQ(KVAEP_GetCurrentEquation(palette), KVAEP_GetEquation(palette, 0));
    KVAEP_DeleteEquation(palette, nullptr);
    KVAEP_DeleteEquation(nullptr, KVAEP_GetEquation(palette, 0));
    EXPECT_NE(KVAEP_GetEquation(palette, 0), nullptr);

    KVAEP_SetCurrentEquationIndex(palette, 99);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), 99);
    EXPECT_EQ(KVAEP_GetCurrentEquation(palette), nullptr);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(nullptr), -1);
    EXPECT_EQ(KVAEP_GetCurrentEquation(nullptr), nullptr);
}

TEST_F(Palettes, FindingByNameIsExactAndPrefersTheLowerIndex) {
    make(4);
    KVAEQ_SetName(KVAEP_GetEquation(palette, 1), "Speed");
    KVAEQ_SetName(KVAEP_GetEquation(palette, 3), "Speed");
    KVAEQ_SetName(KVAEP_GetEquation(palette, 2), "Spee");
    EXPECT_EQ(KVAEP_FindEquationByName(palette, "Speed"), KVAEP_GetEquation(palette, 1));
    EXPECT_EQ(KVAEP_FindEquationByName(palette, "speed"), nullptr);
    EXPECT_EQ(KVAEP_FindEquationByName(palette, nullptr), nullptr);
    EXPECT_EQ(KVAEP_FindEquationByName(nullptr, "Speed"), nullptr);

    // A deleted equation is no longer found, though its slot keeps the name.
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 1));
    EXPECT_EQ(KVAEP_FindEquationByName(palette, "Speed"), KVAEP_GetEquation(palette, 3));
}

struct Visit {
    std::vector<int32_t> indices;
    int stopAfter = 0;
    void *userData = nullptr;
};

int32_t visit(void *userData, Equation *equation, void *context) {
    auto *log = static_cast<Visit *>(context);
    log->indices.push_back(KVAEQ_GetIndex(equation));
    log->userData = userData;
    return static_cast<int32_t>(log->indices.size()) < log->stopAfter ? 1 : 0;
}

TEST_F(Palettes, IterationSkipsFreeSlotsAndStopsWhenTheCallbackAnswersZero) {
    make(4);
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 1));
    Visit all{{}, 100, nullptr};
    EXPECT_EQ(KVAEP_IterateEquations(&database, visit, &all), 1);
    EXPECT_EQ(all.indices, (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(all.userData, &database);

    Visit two{{}, 2, nullptr};
    EXPECT_EQ(KVAEP_IterateEquations(&database, visit, &two), 1);
    EXPECT_EQ(two.indices, (std::vector<int32_t>{0, 2}));

    int unknown = 0;
    EXPECT_EQ(KVAEP_IterateEquations(&unknown, visit, &two), 0);
    EXPECT_EQ(KVAEP_IterateEquations(&database, nullptr, &two), 0);
    EXPECT_EQ(KVAEP_IterateEquations(nullptr, visit, &two), 0);
    EXPECT_EQ(two.indices.size(), 2u);
}

TEST_F(Palettes, WalksFindThePaletteThroughTheManagerByUserData) {
    make(2);
    EquationPalette *twin = KVAEQM_NewEquationPalette(&database);
    int32_t index = 5;
    KVAEP_NewEquation(twin, &index);
    // The walks over the later palette of a shared user data yield the earlier one's equations.
    EXPECT_EQ(walk(twin), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(KVAEP_GetFirstEquation(twin), KVAEP_GetEquation(palette, 0));
    EXPECT_EQ(KVAEP_FindEquationByName(twin, "Equation 5"), nullptr);
    EXPECT_NE(KVAEP_GetEquation(twin, 5), nullptr);

    // A palette the manager does not list, or lists under null, yields nothing to the walks.
    EquationPalette *loose = KVAEP_NewEquationPalette(&index);
    EquationPalette *anonymous = KVAEQM_NewEquationPalette(nullptr);
    for (EquationPalette *unwalked : {loose, anonymous}) {
        int32_t first = -1;
        Equation *made = KVAEP_NewEquation(unwalked, &first);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(KVAEP_GetEquation(unwalked, 0), made);
        EXPECT_EQ(KVAEP_GetFirstEquation(unwalked), nullptr);
        EXPECT_EQ(KVAEP_GetNextEquation(unwalked, made), nullptr);
        EXPECT_EQ(KVAEP_FindEquationByName(unwalked, "Equation 0"), nullptr);
    }
    Visit none{{}, 100, nullptr};
    EXPECT_EQ(KVAEP_IterateEquations(nullptr, visit, &none), 0);
    KVAEP_DeleteEquationPalette(loose);
}

int32_t interestCalls = 0;
void count_interest(Equation *equation, void *) {
    ++interestCalls;
    KVAEQ_RegisterSubscriber(equation, 0, nullptr, nullptr);
}

TEST_F(Palettes, ChangingTheResultTypeRebuildsSubscribersOnlyWhenTheTypeChanges) {
    KVAS_RegisterSubscriberType("Counter", nullptr, nullptr, count_interest);
    make(1);
    Equation *equation = KVAEP_GetEquation(palette, 0);
    KVAEQ_RegisterSubscriber(equation, 0, nullptr, nullptr);
    KVAEQ_RegisterSubscriber(equation, 0, nullptr, nullptr);
    Subscriber *kept = KVAEQ_GetSubscriberN(equation, 0);

    KVAEP_SetLVariableTypeName(palette, equation, "Temporary");
    EXPECT_EQ(interestCalls, 0);
    EXPECT_EQ(KVAEQ_GetSubscriberN(equation, 0), kept);

    KVAEP_SetLVariableTypeName(palette, equation, "Node Attribute");
    Variable *result = KVAEQ_GetVariable(equation);
    EXPECT_STREQ(KVAP_GetVariableTypeName(result), "Node Attribute");
    EXPECT_EQ(KVAP_GetVariableType(result), ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    EXPECT_EQ(interestCalls, 1);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(equation), 1);
    EXPECT_FALSE(is_live(kept));

    // Refused: a type of another layout, a null name, null handles.
    KVAEP_SetLVariableTypeName(palette, equation, "Literal");
    KVAEP_SetLVariableTypeName(palette, equation, "Equation");
    KVAEP_SetLVariableTypeName(palette, equation, nullptr);
    KVAEP_SetLVariableTypeName(nullptr, equation, "Temporary");
    KVAEP_SetLVariableTypeName(palette, nullptr, "Temporary");
    EXPECT_EQ(KVAP_GetVariableType(result), ZTEQM_PARAMETER_NODE_ATTRIBUTE);
    EXPECT_EQ(interestCalls, 1);

    // An unknown name relabels the variable with identifier 0.
    KVAEP_SetLVariableTypeName(palette, equation, "Unknown");
    EXPECT_STREQ(KVAP_GetVariableTypeName(result), "Unknown");
    EXPECT_EQ(KVAP_GetVariableType(result), 0);
    EXPECT_EQ(interestCalls, 2);
}

std::vector<std::string> destroyed;
void note_destroyed(void *userData) { destroyed.push_back(static_cast<const char *>(userData)); }

TEST_F(Palettes, AReusedSlotStartsExactlyLikeANeverUsedOne) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", note_destroyed, nullptr, nullptr);
    make(2);
    Equation *old = KVAEP_GetEquation(palette, 0);
    KVAEQ_SetName(old, "Speed");
    KVAEQ_SetOperatorName(old, "+");
    KVAEQ_SetTriggerName(old, "New Frame");
    KVAEQ_SetNumParameters(old, 2);
    KVAEQ_SetCurrentParameterIndex(old, 1);
    const std::vector<Parameter *> oldParameters{KVAEQ_GetParameterN(old, 0),
                                                 KVAEQ_GetParameterN(old, 1)};
    Variable *oldResult = KVAEQ_GetVariable(old);
    double host = 4.0;
    KVAP_SetVariableName(oldResult, "speed");
    KVAP_SetVariableAddress(oldResult, &host);
    KVAP_SetDataTypeName(reinterpret_cast<Parameter *>(oldResult), "string");
    char *text = nullptr;
    KVAP_GetString(reinterpret_cast<Parameter *>(oldResult), &text, 1);
    char label[] = "subscriber of Speed";
    KVAEQ_RegisterSubscriber(old, type, nullptr, label);
    Subscriber *oldSubscriber = KVAEQ_GetSubscriberN(old, 0);

    KVAEP_DeleteEquation(palette, old);
    EXPECT_STREQ(KVAEQ_GetName(old), "Speed");  // a freed slot keeps its contents
    EXPECT_TRUE(destroyed.empty());

    int32_t index = -1;
    Equation *fresh = KVAEP_NewEquation(palette, &index);
    ASSERT_EQ(index, 0);

    // The deleted equation's objects are released, its subscribers' destructors run once.
    for (Parameter *parameter : oldParameters) EXPECT_FALSE(is_live(parameter));
    EXPECT_FALSE(is_live(oldSubscriber));
    EXPECT_EQ(destroyed, (std::vector<std::string>{label}));

    // The new equation equals the one a never-used slot gets.
    int32_t neverUsed = 5;
    Equation *reference = KVAEP_NewEquation(palette, &neverUsed);
    fresh = KVAEP_GetEquation(palette, 0);
    EXPECT_STREQ(KVAEQ_GetName(fresh), "Equation 0");
    EXPECT_STREQ(KVAEQ_GetOperatorName(fresh), KVAEQ_GetOperatorName(reference));
    EXPECT_STREQ(KVAEQ_GetTriggerName(fresh), "No Trigger");
    EXPECT_EQ(fresh->triggerId, reference->triggerId);
    EXPECT_EQ(KVAEQ_GetCurrentParameterIndex(fresh), 0);
    EXPECT_EQ(KVAEQ_GetNumSubscribers(fresh), 0);
    EXPECT_EQ(KVAEQ_GetSubscriberList(fresh), nullptr);
    EXPECT_EQ(fresh->subscriberCapacity, 0);
    ASSERT_EQ(KVAEQ_GetNumParameters(fresh), 1);
    Parameter *literal = KVAEQ_GetParameterN(fresh, 0);
    EXPECT_STREQ(KVAP_GetTypeName(literal), "Literal");
    EXPECT_DOUBLE_EQ(KVAP_GetDouble(literal), 10.0);

    Variable *result = KVAEQ_GetVariable(fresh);
    Variable *expected = KVAEQ_GetVariable(reference);
    EXPECT_EQ(std::memcmp(result, expected, sizeof(Variable)), 0);
    EXPECT_EQ(KVAP_GetVariableAddress(result), nullptr);
    EXPECT_STREQ(result->valueText, "");
}

std::vector<int32_t> visited;
EquationPalette *walkedPalette = nullptr;

int32_t grow_during_walk(void *, Equation *equation, void *) {
    visited.push_back(KVAEQ_GetIndex(equation));
    // The equation handed over is the live slot at its index at the time of the call.
    EXPECT_EQ(equation, KVAEP_GetEquation(walkedPalette, KVAEQ_GetIndex(equation)));
    if (visited.size() == 1) {
        int32_t far = 30;
        KVAEP_NewEquation(walkedPalette, &far);
    }
    return 1;
}

TEST_F(Palettes, WalksContinueByIndexWhenACallbackMovesTheSlots) {
    make(4);
    KVAEP_DeleteEquation(palette, KVAEP_GetEquation(palette, 2));
    walkedPalette = palette;
    EXPECT_EQ(KVAEP_IterateEquations(&database, grow_during_walk, nullptr), 1);
    // The extent is read once, so the equation made at 30 is not part of this walk.
    EXPECT_EQ(visited, (std::vector<int32_t>{0, 1, 3}));
    EXPECT_EQ(palette->capacity, 31);
}

int32_t delete_during_walk(void *userData, Equation *equation, void *) {
    visited.push_back(KVAEQ_GetIndex(equation));
    KVAEQM_DeleteEquationPalette(userData);
    return 1;
}

TEST_F(Palettes, AWalkEndsWhenACallbackDeletesThePalette) {
    make(3);
    EXPECT_EQ(KVAEP_IterateEquations(&database, delete_during_walk, nullptr), 1);
    EXPECT_EQ(visited, (std::vector<int32_t>{0}));
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
}

TEST_F(Palettes, ClearingFreesEverySlotAndKeepsTheCapacity) {
    int32_t far = 12;
    KVAEP_NewEquation(palette, &far);
    make(3);
    KVAEP_SetCurrentEquationIndex(palette, 1);
    KVAEP_ClearPalette(palette);
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 0);
    EXPECT_EQ(KVAEP_GetCurrentEquationIndex(palette), -1);
    EXPECT_EQ(palette->capacity, 13);
    EXPECT_EQ(KVAEP_GetFirstEquation(palette), nullptr);
    const Equation zero{};
    for (int32_t index = 0; index < 13; ++index) {
        EXPECT_EQ(std::memcmp(&palette->slots[index], &zero, sizeof(Equation)), 0) << index;
    }
    int32_t index = -1;
    ASSERT_NE(KVAEP_NewEquation(palette, &index), nullptr);
    EXPECT_EQ(index, 0);
    KVAEP_ClearPalette(nullptr);
}

TEST_F(Palettes, DeletingAPaletteOnItsOwnAlsoTakesItOffTheManagersList) {
    int otherDatabase = 0;
    EquationPalette *second = KVAEQM_NewEquationPalette(&otherDatabase);
    make(2);
    Equation *slots = palette->slots;
    KVAEP_DeleteEquationPalette(palette);
    EXPECT_FALSE(is_live(slots));
    EXPECT_FALSE(is_live(palette));
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 1);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&database), nullptr);
    EXPECT_EQ(KVAEQM_GetEquationPalette(&otherDatabase), second);
    KVAEQM_EvaluateTriggerName("No Trigger");  // nothing reaches the released palette
    KVAEP_DeleteEquationPalette(nullptr);
    KVAEQM_DeleteEquationPalette(&otherDatabase);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
}

TEST_F(Palettes, DeletingOrClearingAPaletteReleasesWhatItsEquationsHold) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", note_destroyed, nullptr, nullptr);
    char live[] = "live", deleted[] = "deleted", cleared[] = "cleared";
    int otherDatabase = 0;
    const size_t baseline = counts().live.size();
    EquationPalette *other = KVAEQM_NewEquationPalette(&otherDatabase);
    for (char *label : {live, deleted}) {
        int32_t index = -1;
        Equation *equation = KVAEP_NewEquation(other, &index);
        KVAEQ_SetNumParameters(equation, 3);
        KVAEQ_RegisterSubscriber(equation, type, nullptr, label);
    }
    KVAEP_DeleteEquation(other, KVAEP_GetEquation(other, 1));
    KVAEQM_DeleteEquationPalette(&otherDatabase);
    EXPECT_EQ(destroyed, (std::vector<std::string>{live, deleted}));
    EXPECT_EQ(counts().live.size(), baseline);

    const size_t withPalette = counts().live.size();
    make(2);
    KVAEQ_RegisterSubscriber(KVAEP_GetEquation(palette, 1), type, nullptr, cleared);
    KVAEP_ClearPalette(palette);
    EXPECT_EQ(destroyed.back(), cleared);
    EXPECT_EQ(counts().live.size(), withPalette);
}

TEST_F(Palettes, MakingWithoutMemoryChangesNothing) {
    const size_t live = counts().live.size();
    int other = 0;
    testhost::fail_after(0);
    EXPECT_EQ(KVAEP_NewEquationPalette(&other), nullptr);
    testhost::fail_after(1);
    EXPECT_EQ(KVAEP_NewEquationPalette(&other), nullptr);
    EXPECT_EQ(KVAEQM_NewEquationPalette(&other), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(counts().live.size(), live);
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 1);

    // An equation whose parts cannot all be made is not made: the slot stays free.
    for (long allowed = 0; allowed < 3; ++allowed) {
        testhost::fail_after(allowed);
        int32_t index = -1;
        EXPECT_EQ(KVAEP_NewEquation(palette, &index), nullptr) << allowed;
        testhost::fail_after(-1);
        EXPECT_EQ(index, 0);
        EXPECT_EQ(KVAEP_GetNumEquations(palette), 0);
        EXPECT_EQ(palette->slots[0].inUse, 0);
        EXPECT_EQ(counts().live.size(), live) << allowed;
    }

    // A slot array that cannot grow leaves the palette as it was.
    make(1);
    testhost::fail_after(0);
    int32_t far = 50;
    EXPECT_EQ(KVAEP_NewEquation(palette, &far), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(palette->capacity, 10);
    EXPECT_EQ(KVAEP_GetNumEquations(palette), 1);
}

TEST_F(Palettes, AReusedSlotThatCannotBeSetUpKeepsTheDeletedEquation) {
    make(1);
    Equation *old = KVAEP_GetEquation(palette, 0);
    KVAEQ_SetName(old, "Kept");
    Variable *oldResult = KVAEQ_GetVariable(old);
    KVAEP_DeleteEquation(palette, old);
    testhost::fail_after(1);
    int32_t index = -1;
    EXPECT_EQ(KVAEP_NewEquation(palette, &index), nullptr);
    testhost::fail_after(-1);
    EXPECT_STREQ(KVAEQ_GetName(&palette->slots[0]), "Kept");
    EXPECT_EQ(palette->slots[0].variable, oldResult);
    EXPECT_TRUE(is_live(oldResult));
    EXPECT_EQ(palette->slots[0].inUse, 0);
}

}  // namespace
