// The five registries (triggers, parameter types, value types, subscriber types, operators):
// what they share, tested once over all five, and what each adds of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_host.h"

namespace {

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
    void (*start)(), (*stop)(), (*remove)(int32_t id);
    // What a name that matches nothing gives, the first capacity and the growth beyond it, the
    // count after the start, and how many built-in names are listed from identifier 0 on.
    int32_t none, capacity, step, builtInCount, shown;
    const char *builtIns;

    // The new entry's identifier, or -1 when refused.
    int32_t add(const char *text) const {
        const int32_t id = count();
        return (append != nullptr ? append(text) : claim(id, text) != nullptr) ? id : -1;
    }
};

// The calls that every registry names alike.
#define SHARED_CALLS(P) \
    KVA##P##_GetNumTypes, KVA##P##_NameOfID, KVA##P##_IDOfName, KVA##P##_Init, KVA##P##_Exit

const Registry kRegistries[] = {
    {"Triggers", append_trigger, nullptr, nullptr, 0, SHARED_CALLS(T), KVAT_UnregisterTrigger, 0,
     10, 1, 5, 5, "No Trigger|New Frame|Application|Initialization|New Transform"},
    {"ParameterTypes", nullptr, claim_parameter_type, parameter_type, sizeof(ParameterTypeRecord),
     SHARED_CALLS(P), KVAP_UnregisterParameterType, 0, 64, 1, 8, 8,
     "|Literal|Temporary|Cg Shader|Node Attribute|App Variable|Equation|GLSL Shader"},
    {"ValueTypes", nullptr, claim_value_type, value_type, sizeof(ValueTypeRecord), SHARED_CALLS(V),
     KVAV_UnregisterValueType, 0, 64, 1, 10, 10,
     "|char|short|int|float|double|address|float4|float4x4|string"},
    {"SubscriberTypes", append_subscriber_type, nullptr, nullptr, 0, SHARED_CALLS(S),
     KVAS_UnregisterSubscriberType, -1, 10, 10, 0, 0, ""},
    {"Operators", append_operator, nullptr, nullptr, 0, SHARED_CALLS(OP), KVAOP_UnregisterOperator,
     0, 64, 1, 62, 8, "|Move Value|Clamp|DriveDOF|IsBetween|IsOutside|AsciiFile|++"},
};

class Registries : public testhost::Library, public ::testing::WithParamInterface<int> {
protected:
    const Registry &r = kRegistries[GetParam()];
    // The names from `from` to `to` joined by "|", each followed by "@" and the identifier its
    // name finds when that is another.
    std::string names(int32_t from, int32_t to) const {
        std::string all;
        for (int32_t id = from; id < to; ++id) {
            const std::string name = r.name_of(id) != nullptr ? r.name_of(id) : "(null)";
            all += (id > from ? "|" : "") + name;
            if (!name.empty() && r.id_of(name.c_str()) != id)
                all += "@" + std::to_string(r.id_of(name.c_str()));
        }
        return all;
    }
};
INSTANTIATE_TEST_SUITE_P(Each, Registries, ::testing::Range(0, 5), [](const auto &info) {
    return std::string(kRegistries[info.param].name);
});

TEST_P(Registries, NumberFindCutClearRestartAndGrowTheirEntriesAlike) {
    EXPECT_EQ(names(0, r.shown), r.builtIns);  // their count shows in the first identifier added
    for (int32_t id : {-1, r.builtInCount, INT32_MAX, INT32_MIN}) EXPECT_EQ(r.name_of(id), nullptr);
    const int32_t first = r.add("Host A");
    const std::string longName(200, 'n'), cut(79, 'n');
    EXPECT_TRUE(first == r.builtInCount && r.add("Host B") == first + 1 &&
                r.add("Host A") == first + 2 && r.add(longName.c_str()) == first + 3 &&
                r.add(nullptr) == -1 && r.id_of(nullptr) == r.none);
    // Names are cut to 79 characters; of two alike, the older is found.
    EXPECT_EQ(names(first, first + 4), "Host A|Host B|Host A@" + std::to_string(first) + "|" + cut);
    for (const char *other : {"", "Unknown", "host a", "Host", "Host A ", longName.c_str()})
        EXPECT_EQ(r.id_of(other), r.none);
    // Unregistering clears an entry in place; its identifier is never given again.
    r.remove(first);
    for (int32_t id : {-1, first + 4, INT32_MAX, INT32_MIN}) r.remove(id);
    EXPECT_EQ(r.add("Host C"), first + 4);
    r.start();  // running already: nothing changes
    EXPECT_EQ(names(first, first + 5), "|Host B|Host A|" + cut + "|Host C");
    EXPECT_EQ(r.count(), first + 5);
    r.stop();
    EXPECT_TRUE(r.count() == 0 && r.name_of(0) == nullptr && r.id_of("Host B") == r.none);
    // A table made while stopped would keep the next start from registering the built-ins, so
    // all but triggers and subscriber types (which make a table when first needed) refuse.
    EXPECT_TRUE((r.claim == nullptr && r.append != append_operator) || r.add("Late") == -1);
    r.stop(), r.start();
    EXPECT_EQ(std::to_string(r.count()) + names(0, r.shown),
              std::to_string(r.builtInCount) + r.builtIns);

    // Up to the first capacity nothing is allocated; a refused growth changes nothing.
    const long allocations = testhost::counts().allocations;
    auto host = [](int32_t id) { return "Host " + std::to_string(id); };
    while (r.count() < r.capacity) ASSERT_GE(r.add(host(r.count()).c_str()), 0);
    EXPECT_EQ(testhost::counts().allocations, allocations);
    testhost::fail_after(0);
    EXPECT_EQ(r.add("Refused"), -1);
    testhost::fail_after(-1);
    EXPECT_TRUE(r.count() == r.capacity && r.id_of("Refused") == r.none);
    // Each growth is one allocation making room for `step` entries; the records move intact.
    for (int32_t step = 0; step < 2 * r.step; ++step)
        EXPECT_TRUE(r.add("Grown") == r.capacity + step &&
                    testhost::counts().allocations == allocations + 1 + step / r.step);
    for (int32_t id = r.builtInCount; id < r.capacity; ++id)
        EXPECT_EQ(r.id_of(host(id).c_str()), id);

    // Parameter and value types fill the record at the identifier given, whatever held it.
    if (r.claim == nullptr) return;
    // Whether the record at `at` holds the identifier and the name given and nothing else.
    auto holds = [this](int32_t at, int32_t id, const char *name) {
        std::vector<char> expected(r.recordSize, 0);
        std::memcpy(expected.data(), &id, sizeof id);  // the identifier, then the name
        std::strcpy(expected.data() + sizeof id, name);
        const void *record = r.record(at);
        return record != nullptr && std::memcmp(record, expected.data(), expected.size()) == 0;
    };
    const void *claimed = r.claim(100, "Host");
    EXPECT_TRUE(claimed == r.record(100) && holds(100, 100, "Host") && holds(99, 0, "") &&
                holds(r.capacity + 2, 0, "") && r.claim(50, "Fifty") != nullptr);
    r.claim(3, "Replacement");  // a lower identifier leaves the count; callbacks are replaced too
    for (int32_t id : {-1, INT32_MAX, INT32_MIN}) EXPECT_EQ(r.claim(id, "Bad"), nullptr) << id;
    EXPECT_TRUE(holds(3, 3, "Replacement") && r.count() == 101 && r.id_of("Bad") == 0);
}

using OneRegistry = testhost::Library;

int32_t host_operator(Variable *, int32_t, Parameter **) { return 1; }

// Parameter types tell which may hold a result and make objects only of types that exist;
// operators keep their parameter counts and functions, with slot 0 reserved; triggers report a
// disabled trigger disabled by identifier and by name.
TEST_F(OneRegistry, ParameterTypesOperatorsAndTriggersKeepWhatEachEntryMayDo) {
    // Of identifiers -1 to 8, whether it may hold a result (not literals and references) and
    // whether it has a constructor.
    std::string results;
    for (int32_t id = -1; id < 9; ++id)
        results += std::to_string(KVAP_GetParameterTypeLValueEnabled(id)) +
                   (KVAP_GetParameterTypeConstructorFunc(id) != nullptr ? "+ " : "- ");
    EXPECT_EQ(results, "0- 0- 0+ 1+ 1+ 1+ 1+ 0+ 1+ 0- ");
    EXPECT_TRUE(!KVAP_New(-1) && !KVAP_New(0) && !KVAP_New(8));

    const OperatorRecord *op = KVAOP_RegisterOperator(5, "Host", host_operator);
    EXPECT_TRUE(op == KVAOP_GetOperator(62) && KVAOP_GetNumParameters(62) == 5 &&
                KVAOP_GetFunc(62) == host_operator && KVAOP_GetOperator(0) != nullptr);
    KVAOP_UnregisterOperator(14);
    for (int32_t id : {0, 14, -1, 63, INT32_MAX})
        EXPECT_TRUE(KVAOP_GetFunc(id) == nullptr && KVAOP_GetNumParameters(id) == 0) << id;

    TriggerRecord *trigger = KVAT_RegisterTrigger("Host");
    // Any non-zero enables; an unknown name acts on trigger 0; bad identifiers change nothing.
    for (const auto &[id, on] : {std::pair{1, 0}, {2, 0}, {2, 7}, {-3, 1}, {6, 1}, {99, 1}})
        KVAT_EnableByID(id, on);
    for (const char *name : {"Initialization", "Host", "Nowhere"}) KVAT_EnableByName(name, 0);
    KVAT_EnableByName(nullptr, 0);
    std::string flags;  // of identifiers -1 to 6
    for (int32_t id = -1; id <= 6; ++id) flags += std::to_string(KVAT_IsEnabledByID(id));
    EXPECT_EQ(flags, "00010100");
    EXPECT_TRUE(KVAT_IsEnabledByName("New Frame") == 0 && KVAT_IsEnabledByName("Host") == 0 &&
                KVAT_IsEnabledByName("New Transform") == 1 && KVAT_IsEnabledByName("Else") == 0 &&
                KVAT_IsEnabledByName(nullptr) == 0 && trigger->triggerId == 5);
    KVAT_UnregisterTrigger(5);  // leaves an enabled, cleared slot that the empty name finds
    EXPECT_TRUE(trigger->triggerId == 0 && KVAT_IsEnabledByID(5) == 1 && KVAT_IDOfName("") == 5);
}

// Each callback notes its name, and a "?" when its user data or palette is not `calls`.
std::string calls;
void note(const char *what, const void *p) { calls += what + std::string(p != &calls, '?') + " "; }
void type_notify(Variable *, void *data) { note("type", data); }
void own_notify(Variable *, void *data) { note("own", data); }
void interest(Equation *, void *palette) { note("interest", palette); }
void destructor(void *data) { note("destructor", data); }

TEST_F(OneRegistry, SubscribersCallTheirOwnCallbackOrTheirTypesWhileTheTypeLasts) {
    const int32_t type = KVAS_RegisterSubscriberType("Scene", destructor, type_notify, interest);
    const int32_t quiet = KVAS_RegisterSubscriberType("Quiet", nullptr, nullptr, nullptr);
    auto *result = reinterpret_cast<Variable *>(&calls);  // only passed through
    auto *equation = reinterpret_cast<Equation *>(&calls);
    Subscriber *own = KVAS_New(type, own_notify, &calls), *typed = KVAS_New(type, nullptr, &calls);
    Subscriber *plain = KVAS_New(quiet, nullptr, nullptr), *none = nullptr;
    EXPECT_TRUE(std::strcmp(own->typeName, "Scene") == 0 && KVAS_GetTypeID(plain) == quiet &&
                KVAS_GetTypeID(nullptr) == 0);
    for (Subscriber *each : {own, typed, plain, none}) KVAS_Notify(each, result);
    for (int32_t id : {type, quiet, 2, -1}) KVAS_IsInterested(id, equation, &calls);
    for (Subscriber *each : {own, plain, none}) KVAS_Delete(each);
    KVAS_UnregisterSubscriberType(type);  // its subscribers keep only their own callback
    KVAS_Notify(typed, result), KVAS_IsInterested(type, equation, &calls), KVAS_Delete(typed);
    EXPECT_EQ(calls, "own type interest destructor ");
}

}  // namespace
