// The five registries (triggers, parameter types, value types, subscriber types, operators):
// what they share, tested once over all five, and what each adds of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_host.h"

namespace {

using testhost::counts;

bool append_trigger(const char *name) { return KVAT_RegisterTrigger(name) != nullptr; }
bool append_operator(const char *name) { return KVAOP_RegisterOperator(1, name, nullptr); }
bool append_subscriber_type(const char *name) {
    return KVAS_RegisterSubscriberType(name, nullptr, nullptr, nullptr) >= 0;
}
const void *claim_parameter_type(int32_t id, const char *name) {
    return KVAP_RegisterParameterType(id, name, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
}
const void *claim_value_type(int32_t id, const char *name) {
    return KVAV_RegisterValueType(id, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
}
const void *parameter_type(int32_t id) { return KVAP_GetParameterFactory(id); }
const void *value_type(int32_t id) { return KVAV_GetValueFactory(id); }

// One registry through the calls all five share. Triggers, subscriber types and operators
// append at the count; parameter and value types claim the identifier their registrant gives.
struct Registry {
    const char *name;
    bool (*append)(const char *name);
    const void *(*claim)(int32_t id, const char *name);  // with no callbacks
    const void *(*record)(int32_t id);
    size_t recordSize;
    int32_t (*count)();
    const char *(*name_of)(int32_t id);
    int32_t (*id_of)(const char *name);
    void (*start)();
    void (*stop)();
    void (*remove)(int32_t id);
    int32_t none;            // what a name that matches nothing gives
    int32_t capacity, step;  // the first capacity and the growth beyond it
    int32_t builtInCount;    // the count after the start
    std::vector<const char *> builtIns;

    // The new entry's identifier, or -1 when refused.
    int32_t add(const char *text) const {
        const int32_t id = count();
        return (append != nullptr ? append(text) : claim(id, text) != nullptr) ? id : -1;
    }
    // Triggers and subscriber types make a table when first needed; the others refuse.
    bool refuses_without_table() const { return claim != nullptr || append == append_operator; }
};

// The calls that every registry names alike.
#define SHARED_CALLS(P) \
    KVA##P##_GetNumTypes, KVA##P##_NameOfID, KVA##P##_IDOfName, KVA##P##_Init, KVA##P##_Exit

// The built-in names from identifier 0 on (of the operators, the first few).
const std::vector<const char *> kTriggers = {"No Trigger", "New Frame", "Application",
                                             "Initialization", "New Transform"};
const std::vector<const char *> kParameterTypes = {"",          "Literal",        "Temporary",
                                                   "Cg Shader", "Node Attribute", "App Variable",
                                                   "Equation",  "GLSL Shader"};
const std::vector<const char *> kValueTypes = {"",       "char",    "short",  "int",      "float",
                                               "double", "address", "float4", "float4x4", "string"};
const std::vector<const char *> kOperators = {"",          "Move Value", "Clamp",     "DriveDOF",
                                              "IsBetween", "IsOutside",  "AsciiFile", "++"};

const Registry kRegistries[] = {
    {"Triggers", append_trigger, nullptr, nullptr, 0, SHARED_CALLS(T), KVAT_UnregisterTrigger, 0,
     10, 1, 5, kTriggers},
    {"ParameterTypes", nullptr, claim_parameter_type, parameter_type, sizeof(ParameterTypeRecord),
     SHARED_CALLS(P), KVAP_UnregisterParameterType, 0, 64, 1, 8, kParameterTypes},
    {"ValueTypes", nullptr, claim_value_type, value_type, sizeof(ValueTypeRecord), SHARED_CALLS(V),
     KVAV_UnregisterValueType, 0, 64, 1, 10, kValueTypes},
    {"SubscriberTypes", append_subscriber_type, nullptr, nullptr, 0, SHARED_CALLS(S),
     KVAS_UnregisterSubscriberType, -1, 10, 10, 0, std::vector<const char *>()},
    {"Operators", append_operator, nullptr, nullptr, 0, SHARED_CALLS(OP), KVAOP_UnregisterOperator,
     0, 64, 1, 62, kOperators},
};

class Registries : public testhost::Library, public ::testing::WithParamInterface<int> {
protected:
    const Registry &r = kRegistries[GetParam()];
    void expect_built_ins() const {
        EXPECT_EQ(r.count(), r.builtInCount);
        for (int32_t id = 0; id < static_cast<int32_t>(r.builtIns.size()); ++id) {
            EXPECT_STREQ(r.name_of(id), r.builtIns[id]);
            EXPECT_EQ(r.id_of(r.builtIns[id]), id) << r.builtIns[id];
        }
    }
};
std::string registry_name(const ::testing::TestParamInfo<int> &info) {
    return kRegistries[info.param].name;
}
INSTANTIATE_TEST_SUITE_P(Each, Registries, ::testing::Range(0, 5), registry_name);

TEST_P(Registries, NumberFindCutAndClearTheirEntriesAlike) {
    expect_built_ins();
    for (int32_t id : {-1, r.builtInCount, INT32_MAX, INT32_MIN}) EXPECT_EQ(r.name_of(id), nullptr);
    for (const char *name : {"", "Unknown", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(r.id_of(name), r.none);
    }
    const int32_t first = r.add("Host A");
    EXPECT_EQ(first, r.builtInCount);
    EXPECT_EQ(r.add("Host B"), first + 1);
    EXPECT_EQ(r.add("Host A"), first + 2);  // the older of two is found
    EXPECT_EQ(r.id_of("Host A"), first);
    EXPECT_EQ(r.id_of("Host B"), first + 1);
    for (const char *near : {"host a", "Host", "Host A "}) EXPECT_EQ(r.id_of(near), r.none);
    const std::string longName(200, 'n'), cut(79, 'n');
    EXPECT_EQ(r.add(longName.c_str()), first + 3);
    EXPECT_EQ(r.name_of(first + 3), cut);
    EXPECT_EQ(r.id_of(cut.c_str()), first + 3);
    EXPECT_EQ(r.id_of(longName.c_str()), r.none);
    EXPECT_EQ(r.add(nullptr), -1);

    // Unregistering clears an entry in place; its identifier is never given again.
    r.remove(first);
    for (int32_t id : {-1, first + 4, INT32_MAX, INT32_MIN}) r.remove(id);
    EXPECT_EQ(r.count(), first + 4);
    EXPECT_STREQ(r.name_of(first), "");
    EXPECT_EQ(r.id_of("Host A"), first + 2);
    EXPECT_STREQ(r.name_of(first + 1), "Host B");
    EXPECT_EQ(r.add("Host C"), first + 4);
    for (size_t id = 0; id < r.builtIns.size(); ++id) EXPECT_STREQ(r.name_of(id), r.builtIns[id]);
}

TEST_P(Registries, GrowPastTheirFirstCapacityAndARefusedGrowthChangesNothing) {
    const long allocations = counts().allocations;
    auto host = [](int32_t id) { return "Host " + std::to_string(id); };
    while (r.count() < r.capacity) ASSERT_GE(r.add(host(r.count()).c_str()), 0);
    EXPECT_EQ(counts().allocations, allocations);

    testhost::fail_after(0);
    EXPECT_EQ(r.add("Refused"), -1);
    testhost::fail_after(-1);
    EXPECT_EQ(r.count(), r.capacity);
    EXPECT_EQ(r.id_of("Refused"), r.none);

    // Each growth is one allocation making room for `step` entries; the records move intact.
    for (int32_t step = 0; step < 2 * r.step; ++step) {
        EXPECT_EQ(r.add("Grown"), r.capacity + step);
        EXPECT_EQ(counts().allocations, allocations + 1 + step / r.step) << step;
    }
    for (int32_t id = r.builtInCount; id < r.capacity; ++id)
        EXPECT_EQ(r.id_of(host(id).c_str()), id);
    for (size_t id = 0; id < r.builtIns.size(); ++id) EXPECT_STREQ(r.name_of(id), r.builtIns[id]);
}

TEST_P(Registries, StartOnceAndAfreshAfterAStop) {
    const int32_t host = r.add("Host");
    r.start();  // running already: nothing changes
    EXPECT_EQ(r.count(), host + 1);
    EXPECT_STREQ(r.name_of(host), "Host");

    r.stop();
    EXPECT_EQ(r.count(), 0);
    EXPECT_EQ(r.name_of(0), nullptr);
    EXPECT_EQ(r.id_of("Host"), r.none);
    // A table made while stopped would keep the next start from registering the built-ins.
    EXPECT_TRUE(!r.refuses_without_table() || r.add("Late") == -1);
    r.stop();
    r.start();
    expect_built_ins();
    EXPECT_EQ(r.id_of("Host"), r.none);
}

// Parameter and value types: a record filled at the identifier given, whatever held it.
using ChosenIdentifiers = Registries;
INSTANTIATE_TEST_SUITE_P(Each, ChosenIdentifiers, ::testing::Values(1, 2), registry_name);

TEST_P(ChosenIdentifiers, FillTheRecordAtTheIdentifierAndOverwriteItWhole) {
    // Whether the record at `at` holds the identifier and the name given and nothing else.
    auto holds = [this](int32_t at, int32_t id, const char *name) {
        std::vector<char> expected(r.recordSize, 0);
        std::memcpy(expected.data(), &id, sizeof id);  // the identifier, then the name
        std::strcpy(expected.data() + sizeof id, name);
        const void *record = r.record(at);
        return record != nullptr && std::memcmp(record, expected.data(), expected.size()) == 0;
    };
    const void *host = r.claim(100, "Host");
    EXPECT_EQ(host, r.record(100));
    EXPECT_TRUE(holds(100, 100, "Host"));
    EXPECT_EQ(r.count(), 101);
    for (int32_t id = r.builtInCount; id < 100; ++id) EXPECT_TRUE(holds(id, 0, "")) << id;
    for (size_t id = 0; id < r.builtIns.size(); ++id) EXPECT_STREQ(r.name_of(id), r.builtIns[id]);

    // A lower identifier leaves the count; one in use is overwritten, callbacks and all.
    EXPECT_NE(r.claim(50, "Fifty"), nullptr);
    r.claim(3, "Replacement");
    EXPECT_TRUE(holds(3, 3, "Replacement"));
    EXPECT_EQ(r.id_of(r.builtIns[3]), 0);
    for (int32_t id : {-1, INT32_MAX, INT32_MIN}) EXPECT_EQ(r.claim(id, "Bad"), nullptr) << id;
    EXPECT_EQ(r.count(), 101);
    EXPECT_EQ(r.id_of("Bad"), 0);
}

using ParameterTypeRegistry = testhost::Library;
using OperatorRegistry = testhost::Library;
using TriggerRegistry = testhost::Library;
using SubscriberRegistry = testhost::Library;

TEST_F(ParameterTypeRegistry, TellsWhichTypesMayHoldAResultAndMakesObjectsOnlyOfTypesItHas) {
    for (int32_t id = 1; id < 8; ++id) {  // literals and references may not
        EXPECT_EQ(KVAP_GetParameterTypeLValueEnabled(id), id != 1 && id != 6) << id;
        EXPECT_NE(KVAP_GetParameterTypeConstructorFunc(id), nullptr) << id;
    }
    for (int32_t id : {-1, 0, 8}) {
        EXPECT_TRUE(KVAP_GetParameterTypeLValueEnabled(id) == 0 && KVAP_New(id) == nullptr) << id;
    }
}

int32_t host_operator(Variable *, int32_t, Parameter **) { return 1; }

TEST_F(OperatorRegistry, KeepsParameterCountsAndFunctionsWithSlotZeroReserved) {
    const std::pair<int32_t, int32_t> parameterCounts[] = {{1, 1},  {2, 3},  {3, 6},  {6, 4},
                                                           {14, 2}, {32, 3}, {37, 2}, {47, 3}};
    for (const auto &[id, numParameters] : parameterCounts) {
        EXPECT_TRUE(KVAOP_GetNumParameters(id) == numParameters && KVAOP_GetFunc(id) != nullptr &&
                    KVAOP_GetFunc(id) == KVAOP_GetOperator(id)->func)
            << id;
    }
    EXPECT_NE(KVAOP_GetOperator(0), nullptr);
    for (int32_t id : {0, -1, 62, INT32_MAX}) {
        EXPECT_TRUE(KVAOP_GetFunc(id) == nullptr && KVAOP_GetNumParameters(id) == 0) << id;
    }
    const OperatorRecord *host = KVAOP_RegisterOperator(5, "Host", host_operator);
    EXPECT_EQ(host, KVAOP_GetOperator(62));
    EXPECT_TRUE(KVAOP_GetNumParameters(62) == 5 && KVAOP_GetFunc(62) == host_operator);
    KVAOP_UnregisterOperator(14);
    EXPECT_TRUE(KVAOP_GetFunc(14) == nullptr && KVAOP_GetNumParameters(14) == 0);
}

TEST_F(TriggerRegistry, KeepsAnEnabledFlagForTheHost) {
    auto enabled = [] {  // of identifiers -1 to 6
        std::vector<int32_t> flags;
        for (int32_t id = -1; id <= 6; ++id) flags.push_back(KVAT_IsEnabledByID(id));
        return flags;
    };
    for (int32_t id = 0; id < 5; ++id) EXPECT_EQ(KVAT_GetTrigger(id)->triggerId, id);
    EXPECT_EQ(enabled(), (std::vector<int32_t>{0, 1, 1, 1, 1, 1, 0, 0}));
    KVAT_EnableByID(1, 0);
    EXPECT_EQ(KVAT_IsEnabledByName("New Frame"), 0);
    KVAT_EnableByID(2, 0);
    KVAT_EnableByID(2, 7);
    KVAT_EnableByName("Nowhere", 0);  // an unknown name acts on trigger 0 and reports it
    EXPECT_EQ(KVAT_IsEnabledByName("Elsewhere"), 0);
    for (int32_t id : {-3, 5, 99}) KVAT_EnableByID(id, 1);
    EXPECT_EQ(enabled(), (std::vector<int32_t>{0, 0, 0, 1, 1, 1, 0, 0}));
    KVAT_EnableByName(nullptr, 1);
    EXPECT_EQ(KVAT_IsEnabledByName(nullptr), 1);

    // A disabled trigger unregistered leaves an enabled, cleared slot that the empty name finds.
    TriggerRecord *host = KVAT_RegisterTrigger("Host");
    KVAT_EnableByName("Host", 0);
    EXPECT_EQ(KVAT_IsEnabledByID(5), 0);
    KVAT_UnregisterTrigger(5);
    EXPECT_TRUE(host->triggerId == 0 && KVAT_IsEnabledByID(5) == 1 && KVAT_IDOfName("") == 5);
}

struct Call {
    std::string what;
    void *first, *second;
    bool operator==(const Call &) const = default;
};
std::vector<Call> calls;
void type_notify(Variable *result, void *data) { calls.push_back({"type", result, data}); }
void own_notify(Variable *result, void *data) { calls.push_back({"own", result, data}); }
void interest(Equation *equation, void *palette) {
    calls.push_back({"interest", equation, palette});
}
void destructor(void *data) { calls.push_back({"destructor", data, nullptr}); }

TEST_F(SubscriberRegistry, SubscribersCallTheirOwnCallbackOrTheirTypesWhileTheTypeLasts) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", destructor, type_notify, interest);
    const int32_t quiet = KVAS_RegisterSubscriberType("Quiet", nullptr, nullptr, nullptr);
    int data = 0;
    auto *result = reinterpret_cast<Variable *>(&calls);  // only passed through
    auto *equation = reinterpret_cast<Equation *>(&data);
    Subscriber *own = KVAS_New(type, own_notify, &data);
    Subscriber *typed = KVAS_New(type, nullptr, &data);
    Subscriber *plain = KVAS_New(quiet, nullptr, nullptr);
    ASSERT_TRUE(own != nullptr && typed != nullptr && plain != nullptr);
    EXPECT_STREQ(own->typeName, "Scene");
    EXPECT_EQ(KVAS_GetTypeID(plain), quiet);
    EXPECT_EQ(KVAS_GetTypeID(nullptr), 0);
    for (Subscriber *subscriber : {own, typed, plain, static_cast<Subscriber *>(nullptr)}) {
        KVAS_Notify(subscriber, result);
    }
    for (int32_t id : {type, quiet, 2, -1}) KVAS_IsInterested(id, equation, &calls);
    KVAS_Delete(own);
    KVAS_Delete(plain);
    KVAS_Delete(nullptr);

    // Once the type is unregistered, its subscribers have only their own callback.
    KVAS_UnregisterSubscriberType(type);
    KVAS_Notify(typed, result);
    KVAS_IsInterested(type, equation, nullptr);
    KVAS_Delete(typed);
    EXPECT_EQ(calls, (std::vector<Call>{{"own", result, &data},
                                        {"type", result, &data},
                                        {"interest", equation, &calls},
                                        {"destructor", &data, nullptr}}));
    testhost::fail_after(0);
    EXPECT_EQ(KVAS_New(quiet, nullptr, nullptr), nullptr);
}

}  // namespace
