// Subscriber types and subscribers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_host.h"

namespace {

struct Call {
    std::string what;
    void *first;
    void *second;
};
std::vector<Call> calls;

void type_notify(Variable *result, void *userData) { calls.push_back({"type", result, userData}); }
void own_notify(Variable *result, void *userData) { calls.push_back({"own", result, userData}); }
void interest(Equation *equation, void *paletteUserData) {
    calls.push_back({"interest", equation, paletteUserData});
}
void destructor(void *userData) { calls.push_back({"destructor", userData, nullptr}); }

class Subscribers : public testhost::Library {
protected:
    void SetUp() override {
        calls.clear();
        Library::SetUp();
    }
};

TEST_F(Subscribers, TheTableStartsEmpty) {
    EXPECT_EQ(KVAS_GetNumTypes(), 0);
    EXPECT_EQ(KVAS_IDOfName("Anything"), -1);
    EXPECT_EQ(KVAS_IDOfName(nullptr), -1);
    EXPECT_EQ(KVAS_NameOfID(0), nullptr);
    EXPECT_EQ(KVAS_GetSubscriberTypeNotifyFunc(0), nullptr);
}

TEST_F(Subscribers, RegistrationNumbersFromZeroAndGrowsByTen) {
    EXPECT_EQ(KVAS_RegisterSubscriberType("Scene", destructor, type_notify, interest), 0);
    EXPECT_EQ(KVAS_RegisterSubscriberType("Log", nullptr, nullptr, nullptr), 1);
    for (int i = 2; i < 10; ++i) {
        EXPECT_EQ(KVAS_RegisterSubscriberType(("T" + std::to_string(i)).c_str(), nullptr, nullptr,
                                              nullptr),
                  i);
    }
    EXPECT_EQ(KVAS_RegisterSubscriberType("Eleventh", nullptr, nullptr, nullptr), 10);
    EXPECT_EQ(KVAS_GetNumTypes(), 11);
    EXPECT_STREQ(KVAS_NameOfID(0), "Scene");
    EXPECT_STREQ(KVAS_NameOfID(10), "Eleventh");
    EXPECT_EQ(KVAS_IDOfName("Log"), 1);
    EXPECT_EQ(KVAS_IDOfName("log"), -1);
    EXPECT_EQ(KVAS_GetSubscriberTypeDestructorFunc(0), &destructor);
    EXPECT_EQ(KVAS_GetSubscriberTypeNotifyFunc(0), &type_notify);
    EXPECT_EQ(KVAS_GetSubscriberTypeInterestFunc(0), &interest);
    EXPECT_EQ(KVAS_GetSubscriberTypeNotifyFunc(11), nullptr);
    EXPECT_EQ(KVAS_GetSubscriberTypeNotifyFunc(-1), nullptr);
    EXPECT_EQ(KVAS_RegisterSubscriberType(nullptr, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(KVAS_GetNumTypes(), 11);
    EXPECT_EQ(KVAS_RegisterSubscriberType(std::string(90, 'n').c_str(), nullptr, nullptr, nullptr),
              11);
    EXPECT_EQ(std::string(KVAS_NameOfID(11)), std::string(79, 'n'));
}

TEST_F(Subscribers, NotifyPrefersTheSubscribersOwnCallback) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", destructor, type_notify, interest);
    int userData = 0;
    auto *result = reinterpret_cast<Variable *>(&calls);  // only passed through
    Subscriber *own = KVAS_New(type, own_notify, &userData);
    Subscriber *typed = KVAS_New(type, nullptr, &userData);
    ASSERT_NE(own, nullptr);
    ASSERT_NE(typed, nullptr);
    EXPECT_STREQ(own->typeName, "Scene");
    EXPECT_EQ(KVAS_GetTypeID(own), type);
    KVAS_Notify(own, result);
    KVAS_Notify(typed, result);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].what, "own");
    EXPECT_EQ(calls[1].what, "type");
    for (const Call &call : calls) {
        EXPECT_EQ(call.first, result);
        EXPECT_EQ(call.second, &userData);
    }
    KVAS_Notify(nullptr, result);
    EXPECT_EQ(KVAS_GetTypeID(nullptr), 0);
    KVAS_Delete(own);
    KVAS_Delete(typed);
}

TEST_F(Subscribers, DeleteRunsTheDestructorOnceThenReleases) {
    const int32_t withDestructor = KVAS_RegisterSubscriberType("A", destructor, nullptr, nullptr);
    const int32_t without = KVAS_RegisterSubscriberType("B", nullptr, nullptr, nullptr);
    int data = 0;
    Subscriber *a = KVAS_New(withDestructor, nullptr, &data);
    Subscriber *b = KVAS_New(without, nullptr, &data);
    KVAS_Delete(a);
    KVAS_Delete(b);
    KVAS_Delete(nullptr);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].what, "destructor");
    EXPECT_EQ(calls[0].first, &data);
    EXPECT_FALSE(testhost::is_live(a));
    EXPECT_FALSE(testhost::is_live(b));
}

TEST_F(Subscribers, InterestCallsOnlyAValidTypesCallback) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", nullptr, nullptr, interest);
    KVAS_RegisterSubscriberType("Quiet", nullptr, nullptr, nullptr);
    auto *equation = reinterpret_cast<Equation *>(&calls);
    int database = 0;
    KVAS_IsInterested(type, equation, &database);
    KVAS_IsInterested(1, equation, &database);
    KVAS_IsInterested(KVAS_GetNumTypes(), equation, &database);
    KVAS_IsInterested(-1, equation, &database);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, equation);
    EXPECT_EQ(calls[0].second, &database);
}

TEST_F(Subscribers, UnregisteredTypesLeaveExistingSubscribersToTheirOwnCallbacks) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", destructor, type_notify, interest);
    Subscriber *typed = KVAS_New(type, nullptr, nullptr);
    Subscriber *own = KVAS_New(type, own_notify, nullptr);
    KVAS_UnregisterSubscriberType(type);
    KVAS_UnregisterSubscriberType(42);
    EXPECT_EQ(KVAS_GetNumTypes(), 1);
    EXPECT_STREQ(KVAS_NameOfID(0), "");
    EXPECT_EQ(KVAS_IDOfName("Scene"), -1);
    EXPECT_STREQ(typed->typeName, "Scene");
    KVAS_Notify(typed, nullptr);
    KVAS_Notify(own, nullptr);
    KVAS_IsInterested(type, nullptr, nullptr);
    KVAS_Delete(typed);
    KVAS_Delete(own);
    ASSERT_EQ(calls.size(), 1u);  // only the subscriber's own notify ran
    EXPECT_EQ(calls[0].what, "own");
    EXPECT_EQ(KVAS_RegisterSubscriberType("Next", nullptr, nullptr, nullptr), 1);
    Subscriber *cleared = KVAS_New(0, nullptr, nullptr);
    EXPECT_STREQ(cleared->typeName, "");
    KVAS_Delete(cleared);
}

TEST_F(Subscribers, FailuresToAllocateAreReportedByResult) {
    for (int i = 0; i < 10; ++i) KVAS_RegisterSubscriberType("fill", nullptr, nullptr, nullptr);
    testhost::fail_after(0);
    EXPECT_EQ(KVAS_RegisterSubscriberType("no room", nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(KVAS_New(0, nullptr, nullptr), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAS_GetNumTypes(), 10);
    EXPECT_EQ(KVAS_RegisterSubscriberType("room", nullptr, nullptr, nullptr), 10);
}

}  // namespace
