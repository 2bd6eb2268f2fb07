// The trigger registry.
#include <gtest/gtest.h>

#include <string>

#include "test_host.h"

namespace {

class Triggers : public ::testing::Test {
protected:
    void SetUp() override { testhost::start_library(); }
    void TearDown() override { KVAEQM_Exit(); }
};

TEST_F(Triggers, BuiltInsAreRegisteredInOrderAndEnabled) {
    EXPECT_EQ(KVAT_GetNumTypes(), 5);
    const char *names[] = {"No Trigger", "New Frame", "Application", "Initialization",
                           "New Transform"};
    for (int32_t id = 0; id < 5; ++id) {
        EXPECT_STREQ(KVAT_NameOfID(id), names[id]);
        EXPECT_EQ(KVAT_GetTrigger(id)->triggerId, id);
        EXPECT_EQ(KVAT_IsEnabledByID(id), 1);
    }
    EXPECT_EQ(KVAT_NameOfID(5), nullptr);
    EXPECT_EQ(KVAT_NameOfID(-1), nullptr);
    EXPECT_EQ(KVAT_GetTrigger(5), nullptr);
    EXPECT_EQ(KVAT_GetTrigger(-1), nullptr);
}

TEST_F(Triggers, NamesMapToIdentifiersExactlyWithZeroForNoMatch) {
    EXPECT_EQ(KVAT_IDOfName("New Frame"), 1);
    EXPECT_EQ(KVAT_IDOfName("New Transform"), 4);
    EXPECT_EQ(KVAT_IDOfName("No Trigger"), 0);  // position 0 is never compared
    EXPECT_EQ(KVAT_IDOfName("new frame"), 0);
    EXPECT_EQ(KVAT_IDOfName(nullptr), 0);
    EXPECT_EQ(KVAT_IDOfName(""), 0);
}

TEST_F(Triggers, RegistrationAppendsAndGrowsOneSlotAtATime) {
    TriggerRecord *first = KVAT_RegisterTrigger("Host 0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->triggerId, 5);
    EXPECT_EQ(first->disabled, 0);
    for (int i = 1; i < 5; ++i) KVAT_RegisterTrigger(("Host " + std::to_string(i)).c_str());
    EXPECT_EQ(KVAT_GetNumTypes(), 10);
    // The sixth host trigger (count 10 to 11) grows the table by exactly one slot.
    TriggerRecord *sixth = KVAT_RegisterTrigger("Host 5");
    ASSERT_NE(sixth, nullptr);
    EXPECT_EQ(sixth->triggerId, 10);
    EXPECT_EQ(KVAT_RegisterTrigger("Host 6")->triggerId, 11);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(KVAT_IDOfName(("Host " + std::to_string(i)).c_str()), 5 + i);
    }
    // Duplicates get a new slot; the lower one is still found.
    EXPECT_EQ(KVAT_RegisterTrigger("New Frame")->triggerId, 12);
    EXPECT_EQ(KVAT_IDOfName("New Frame"), 1);
    EXPECT_EQ(KVAT_RegisterTrigger(nullptr), nullptr);
    EXPECT_EQ(KVAT_GetNumTypes(), 13);
}

TEST_F(Triggers, UnregisteringClearsTheSlotInPlace) {
    KVAT_EnableByID(2, 0);
    KVAT_UnregisterTrigger(2);
    EXPECT_EQ(KVAT_GetNumTypes(), 5);
    EXPECT_STREQ(KVAT_NameOfID(2), "");
    EXPECT_EQ(KVAT_GetTrigger(2)->triggerId, 0);
    EXPECT_EQ(KVAT_IsEnabledByID(2), 1);  // a cleared slot is enabled
    EXPECT_EQ(KVAT_IDOfName("Application"), 0);
    EXPECT_EQ(KVAT_IDOfName(""), 2);
    EXPECT_EQ(KVAT_RegisterTrigger("Next")->triggerId, 5);

    KVAT_UnregisterTrigger(99);
    KVAT_UnregisterTrigger(-1);
    EXPECT_EQ(KVAT_GetNumTypes(), 6);
}

TEST_F(Triggers, EnabledFlagIsKeptForTheHost) {
    KVAT_EnableByID(1, 0);
    EXPECT_EQ(KVAT_IsEnabledByID(1), 0);
    EXPECT_EQ(KVAT_IsEnabledByName("New Frame"), 0);
    KVAT_EnableByID(1, 7);
    EXPECT_EQ(KVAT_IsEnabledByID(1), 1);

    // An unknown or null name acts on and reports trigger 0.
    KVAT_EnableByName("Nowhere", 0);
    EXPECT_EQ(KVAT_IsEnabledByID(0), 0);
    EXPECT_EQ(KVAT_IsEnabledByName("Elsewhere"), 0);
    EXPECT_EQ(KVAT_IsEnabledByName(nullptr), 0);
    KVAT_EnableByName(nullptr, 1);
    EXPECT_EQ(KVAT_IsEnabledByID(0), 1);

    EXPECT_EQ(KVAT_IsEnabledByID(99), 0);
    KVAT_EnableByID(99, 0);
    KVAT_EnableByID(-3, 0);
    for (int32_t id = 0; id < 5; ++id) EXPECT_EQ(KVAT_IsEnabledByID(id), 1);
}

TEST_F(Triggers, LongNamesAreCutTo79Characters) {
    const std::string longName(100, 'x');
    TriggerRecord *record = KVAT_RegisterTrigger(longName.c_str());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::string(record->name), longName.substr(0, 79));
    EXPECT_EQ(KVAT_IDOfName(longName.substr(0, 79).c_str()), record->triggerId);
    EXPECT_EQ(KVAT_IDOfName(longName.c_str()), 0);
}

TEST_F(Triggers, RestartingTheRegistryGivesTheBuiltInsAgain) {
    KVAT_RegisterTrigger("Extra");
    KVAT_Init();  // exists already: nothing
    EXPECT_EQ(KVAT_GetNumTypes(), 6);
    KVAT_Exit();
    EXPECT_EQ(KVAT_GetNumTypes(), 0);
    KVAT_Exit();
    KVAT_Init();
    EXPECT_EQ(KVAT_GetNumTypes(), 5);
    EXPECT_STREQ(KVAT_NameOfID(4), "New Transform");
}

TEST_F(Triggers, FailedGrowthRegistersNothing) {
    for (int i = 0; i < 5; ++i) KVAT_RegisterTrigger("fill");
    ASSERT_EQ(KVAT_GetNumTypes(), 10);
    testhost::fail_after(0);
    EXPECT_EQ(KVAT_RegisterTrigger("no room"), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAT_GetNumTypes(), 10);
    EXPECT_EQ(KVAT_RegisterTrigger("room")->triggerId, 10);
}

}  // namespace
