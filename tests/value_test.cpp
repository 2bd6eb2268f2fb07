// The value type registry, the Value functions and the storage classes of values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_host.h"
#include "value_cell.h"

namespace {

using testhost::counts;
using testhost::ValueCell;

class Values : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::start_library();
        liveAtStart = counts().live.size();
    }
    void TearDown() override {
        testhost::fail_after(-1);
        // Every block a test's values took has been given back by now.
        EXPECT_EQ(counts().live.size(), liveAtStart);
        EXPECT_EQ(counts().foreignFrees, 0);
        KVAEQM_Exit();
    }
    size_t liveAtStart = 0;
};

// A host type that records what reached it and keeps an integer in data.
struct HostCalls {
    Value *value = nullptr;
    int32_t integer = 0;
    double number = 0.0;
    void *address = nullptr;
    char *buffer = nullptr;
    int32_t size = 0;
    const char *text = nullptr;
    int setAddressCalls = 0;
};
HostCalls host;

int32_t host_get_integer(Value *value) {
    host.value = value;
    return value->data.i;
}
void host_set_integer(Value *value, int32_t integer) {
    host.value = value;
    host.integer = integer;
    value->data.i = integer;
}
double host_get_double(Value *value) {
    host.value = value;
    return 0.5;
}
void host_set_double(Value *value, double number) {
    host.value = value;
    host.number = number;
}
void *host_get_address(Value *value) {
    host.value = value;
    return &host;
}
void host_set_address(Value *value, void *address) {
    host.value = value;
    host.address = address;
    ++host.setAddressCalls;
}
void host_to_string(Value *value, char *buffer, int32_t size) {
    host.value = value;
    host.buffer = buffer;
    host.size = size;
    std::snprintf(buffer, static_cast<size_t>(size), "host");
}
void host_from_string(Value *value, const char *text) {
    host.value = value;
    host.text = text;
}

ValueTypeRecord *register_host_type(int32_t typeId, const char *name) {
    return KVAV_RegisterValueType(typeId, name, host_get_integer, host_set_integer, host_get_double,
                                  host_set_double, host_get_address, host_set_address,
                                  host_to_string, host_from_string);
}

TEST_F(Values, BuiltInTypesOccupyIdentifiersOneToNine) {
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
    const char *names[] = {"",       "char",    "short",  "int",      "float",
                           "double", "address", "float4", "float4x4", "string"};
    for (int32_t id = 0; id < 10; ++id) {
        EXPECT_STREQ(KVAV_NameOfID(id), names[id]);
        ASSERT_NE(KVAV_GetValueFactory(id), nullptr);
        EXPECT_EQ(KVAV_GetValueFactory(id)->typeId, id);
        if (id > 0) {
            EXPECT_EQ(KVAV_IDOfName(names[id]), id);
        }
    }
    EXPECT_EQ(KVAV_NameOfID(10), nullptr);
    EXPECT_EQ(KVAV_NameOfID(-1), nullptr);
    EXPECT_EQ(KVAV_GetValueFactory(10), nullptr);
    EXPECT_EQ(KVAV_GetValueFactory(-1), nullptr);

    EXPECT_EQ(KVAV_IDOfName("float4x4"), ZTEQM_VALUE_FLOAT4X4);
    EXPECT_EQ(KVAV_IDOfName("Float"), 0);
    EXPECT_EQ(KVAV_IDOfName(nullptr), 0);
    EXPECT_EQ(KVAV_IDOfName(""), 0);
    EXPECT_EQ(KVAV_IDOfName("string "), 0);

    const ValueTypeRecord *none = KVAV_GetValueFactory(0);
    EXPECT_EQ(none->getIntegerFunc, nullptr);
    EXPECT_EQ(none->toStringFunc, nullptr);
}

TEST_F(Values, HostTypesTakeTheIdentifierTheyChoose) {
    ValueTypeRecord *record = register_host_type(12, "vector3");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record, KVAV_GetValueFactory(12));
    EXPECT_EQ(record->typeId, 12);
    EXPECT_EQ(record->setIntegerFunc, host_set_integer);
    EXPECT_EQ(record->fromStringFunc, host_from_string);
    EXPECT_EQ(KVAV_GetNumTypes(), 13);
    EXPECT_EQ(KVAV_IDOfName("vector3"), 12);
    for (int32_t id : {10, 11}) {
        EXPECT_STREQ(KVAV_NameOfID(id), "");
        ASSERT_NE(KVAV_GetValueFactory(id), nullptr);
        EXPECT_EQ(KVAV_GetValueFactory(id)->typeId, 0);
        EXPECT_EQ(KVAV_GetValueFactory(id)->getIntegerFunc, nullptr);
    }

    // Identifier 64 lies beyond the first 64 slots: the table grows and keeps its records.
    ValueTypeRecord *far = register_host_type(64, "far");
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(KVAV_GetNumTypes(), 65);
    EXPECT_STREQ(KVAV_NameOfID(64), "far");
    EXPECT_STREQ(KVAV_NameOfID(12), "vector3");
    EXPECT_STREQ(KVAV_NameOfID(9), "string");
    EXPECT_STREQ(KVAV_NameOfID(63), "");

    // A lower identifier leaves the count alone; an occupied slot is overwritten.
    ValueTypeRecord *again = KVAV_RegisterValueType(12, "plain", nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(KVAV_GetNumTypes(), 65);
    EXPECT_STREQ(KVAV_NameOfID(12), "plain");
    EXPECT_EQ(again->getIntegerFunc, nullptr);
    EXPECT_EQ(KVAV_IDOfName("vector3"), 0);

    // The first match in ascending order wins.
    register_host_type(20, "int");
    EXPECT_EQ(KVAV_IDOfName("int"), ZTEQM_VALUE_INT);

    const std::string longName(100, 'n');
    ValueTypeRecord *cut = register_host_type(30, longName.c_str());
    EXPECT_EQ(std::string(cut->name), longName.substr(0, 79));
    EXPECT_EQ(KVAV_IDOfName(longName.substr(0, 79).c_str()), 30);
}

TEST_F(Values, RegistrationRefusesBadArgumentsAndFailedGrowth) {
    EXPECT_EQ(register_host_type(-1, "negative"), nullptr);
    EXPECT_EQ(register_host_type(15, nullptr), nullptr);
    EXPECT_EQ(register_host_type(INT32_MAX, "largest"), nullptr);
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
    EXPECT_STREQ(KVAV_NameOfID(0), "");

    testhost::fail_after(0);
    EXPECT_EQ(register_host_type(100, "no room"), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
    EXPECT_STREQ(KVAV_NameOfID(9), "string");
    EXPECT_NE(register_host_type(100, "room"), nullptr);
    EXPECT_EQ(KVAV_GetNumTypes(), 101);
}

TEST_F(Values, UnregisteringClearsTheSlotAndSilencesItsValues) {
    ValueCell number("int");
    KVAV_SetInteger(number.get(), 7);
    KVAV_UnregisterValueType(3);
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
    EXPECT_STREQ(KVAV_NameOfID(3), "");
    EXPECT_EQ(KVAV_GetValueFactory(3)->typeId, 0);
    EXPECT_EQ(KVAV_IDOfName("int"), 0);

    EXPECT_EQ(KVAV_GetInteger(number.get()), 0);
    EXPECT_EQ(KVAV_GetDouble(number.get()), 0.0);
    KVAV_SetInteger(number.get(), 9);
    EXPECT_EQ(number->data.i, 7);
    EXPECT_EQ(KVAV_GetTypeID(number.get()), ZTEQM_VALUE_INT);
    EXPECT_STREQ(KVAV_GetTypeName(number.get()), "int");
    char buffer[8] = "same";
    KVAV_ToString(number.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text

    KVAV_UnregisterValueType(99);
    KVAV_UnregisterValueType(-1);
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
}

TEST_F(Values, TheRegistryStartsOnceAndStopsWithTheLibrary) {
    register_host_type(11, "extra");
    KVAV_Init();  // exists already: nothing
    EXPECT_EQ(KVAV_GetNumTypes(), 12);

    ValueCell number("double");
    KVAV_SetDouble(number.get(), 2.5);
    KVAV_Exit();
    EXPECT_EQ(KVAV_GetNumTypes(), 0);
    EXPECT_EQ(KVAV_NameOfID(0), nullptr);
    EXPECT_EQ(KVAV_IDOfName("double"), 0);
    // Without a table values read as empty, and nothing may be registered.
    EXPECT_EQ(KVAV_GetDouble(number.get()), 0.0);
    EXPECT_EQ(register_host_type(11, "late"), nullptr);
    KVAV_SetTypeID(number.get(), 0);
    EXPECT_EQ(KVAV_GetTypeID(number.get()), ZTEQM_VALUE_DOUBLE);
    KVAV_Exit();

    KVAV_Init();
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
    EXPECT_EQ(KVAV_GetDouble(number.get()), 2.5);
}

TEST_F(Values, NullValuesAreIgnoredEverywhere) {
    const long allocations = counts().allocations;
    char buffer[8] = "same";
    EXPECT_EQ(KVAV_GetTypeID(nullptr), 0);
    EXPECT_EQ(KVAV_GetTypeName(nullptr), nullptr);
    EXPECT_EQ(KVAV_GetSize(nullptr), 0);
    EXPECT_EQ(KVAV_GetInteger(nullptr), 0);
    EXPECT_EQ(KVAV_GetDouble(nullptr), 0.0);
    EXPECT_EQ(KVAV_GetAddress(nullptr), nullptr);
    KVAV_SetTypeID(nullptr, ZTEQM_VALUE_INT);
    KVAV_SetTypeName(nullptr, "int");
    KVAV_SetSize(nullptr, 16);
    KVAV_SetInteger(nullptr, 1);
    KVAV_SetDouble(nullptr, 1.0);
    KVAV_SetAddress(nullptr, buffer);
    KVAV_ToString(nullptr, buffer, sizeof buffer);
    KVAV_FromString(nullptr, "1");
    const int32_t source = 5;
    KVAV_GetDataFromAddress(nullptr, &source);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text
    EXPECT_EQ(counts().allocations, allocations);
}

TEST_F(Values, SettingTheTypeByNameCopiesTheTypesName) {
    ValueCell cell;
    EXPECT_EQ(KVAV_GetTypeID(cell.get()), 0);
    KVAV_SetTypeName(cell.get(), "double");
    EXPECT_EQ(KVAV_GetTypeID(cell.get()), ZTEQM_VALUE_DOUBLE);
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "double");
    EXPECT_EQ(KVAV_GetTypeName(cell.get()), cell->typeName);
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);

    KVAV_SetTypeID(cell.get(), ZTEQM_VALUE_STRING);
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "string");

    // A name that matches nothing selects type 0: the value reads 0 and ignores writes.
    KVAV_SetTypeName(cell.get(), "Double");
    EXPECT_EQ(KVAV_GetTypeID(cell.get()), 0);
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "");
    KVAV_SetInteger(cell.get(), 5);
    KVAV_SetDouble(cell.get(), 5.0);
    KVAV_FromString(cell.get(), "5");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    EXPECT_EQ(cell->data.bits, 0u);
    char buffer[8] = "same";
    KVAV_ToString(cell.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text

    KVAV_SetTypeName(cell.get(), "int");
    KVAV_SetTypeName(cell.get(), nullptr);
    EXPECT_EQ(KVAV_GetTypeID(cell.get()), 0);
}

TEST_F(Values, ChangingToTheCurrentOrAnUnknownTypeChangesNothing) {
    ValueCell cell("int");
    KVAV_SetInteger(cell.get(), 7);
    std::strcpy(cell->typeName, "scribbled");
    KVAV_SetTypeID(cell.get(), ZTEQM_VALUE_INT);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 7);
    EXPECT_STREQ(cell->typeName, "scribbled");  // not even refreshed

    for (int32_t id : {10, 64, -1, INT32_MIN}) {
        KVAV_SetTypeID(cell.get(), id);
        EXPECT_EQ(KVAV_GetTypeID(cell.get()), ZTEQM_VALUE_INT);
        EXPECT_EQ(KVAV_GetInteger(cell.get()), 7);
    }

    // Empty slots below the count are types like any other.
    register_host_type(12, "host");
    KVAV_SetTypeID(cell.get(), 11);
    EXPECT_EQ(KVAV_GetTypeID(cell.get()), 11);
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "");
    EXPECT_EQ(cell->data.bits, 0u);  // numbers are cleared when their type goes
}

TEST_F(Values, NumbersAreClearedAndAddressesKeptWhenTheTypeChanges) {
    ValueCell cell("int");
    KVAV_SetInteger(cell.get(), 7);
    KVAV_SetTypeName(cell.get(), "float");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    EXPECT_EQ(cell->data.bits, 0u);

    KVAV_SetDouble(cell.get(), 1.5);
    KVAV_SetTypeName(cell.get(), "address");
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);

    const uint64_t bits = UINT64_C(0x1234567887654321);
    void *address = reinterpret_cast<void *>(static_cast<uintptr_t>(bits));
    KVAV_SetAddress(cell.get(), address);
    KVAV_SetTypeName(cell.get(), "int");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), static_cast<int32_t>(0x87654321u));
    EXPECT_EQ(KVAV_GetAddress(cell.get()), address);  // the raw bits are all still there
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
}

TEST_F(Values, BlockTypesOwnTheirBlockWhileTheyLast) {
    ValueCell cell("double");
    KVAV_SetDouble(cell.get(), 3.0);
    KVAV_SetTypeName(cell.get(), "float4");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 32);
    void *block = KVAV_GetAddress(cell.get());
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(testhost::is_live(block));

    KVAV_SetTypeName(cell.get(), "double");
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    EXPECT_EQ(cell->data.bits, 0u);

    KVAV_SetTypeName(cell.get(), "float4x4");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 128);
    block = KVAV_GetAddress(cell.get());
    KVAV_SetTypeName(cell.get(), "string");  // block to block: the old one goes first
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);

    KVAV_FromString(cell.get(), "text");
    block = KVAV_GetAddress(cell.get());
    KVAV_SetTypeName(cell.get(), "address");
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
}

TEST_F(Values, EnteringABlockTypeNeverTakesForeignBitsForABlock) {
    int32_t hostDatum = 0;
    ValueCell cell("address");
    KVAV_SetAddress(cell.get(), &hostDatum);
    KVAV_SetTypeName(cell.get(), "string");
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);

    KVAV_SetTypeName(cell.get(), "address");
    KVAV_SetAddress(cell.get(), &hostDatum);
    KVAV_SetTypeName(cell.get(), "float4");
    void *block = KVAV_GetAddress(cell.get());
    EXPECT_NE(block, static_cast<void *>(&hostDatum));
    EXPECT_TRUE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 32);
    EXPECT_EQ(hostDatum, 0);

    // A host type's data is the host's: it is neither freed nor written through.
    register_host_type(12, "host");
    KVAV_SetTypeID(cell.get(), 12);
    cell->data.p = &hostDatum;
    cell->size = 4;
    KVAV_SetTypeName(cell.get(), "float4x4");
    EXPECT_NE(KVAV_GetAddress(cell.get()), static_cast<void *>(&hostDatum));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 128);
    EXPECT_EQ(hostDatum, 0);
    EXPECT_EQ(counts().foreignFrees, 0);
}

TEST_F(Values, StorageFollowsTheIdentifiersNotTheNames) {
    // A host type registered under identifier 7 is prepared like "float4" was.
    register_host_type(7, "host block");
    host = HostCalls{};
    ValueCell cell("int");
    KVAV_SetInteger(cell.get(), 5);
    KVAV_SetTypeID(cell.get(), ZTEQM_VALUE_FLOAT4);
    EXPECT_EQ(host.setAddressCalls, 1);
    EXPECT_EQ(host.address, nullptr);
    EXPECT_EQ(host.value, cell.get());
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "host block");

    // Leaving identifier 7 frees whatever block the value holds.
    KVAV_SetSize(cell.get(), 24);
    void *block = cell->data.p;
    EXPECT_TRUE(testhost::is_live(block));
    KVAV_SetTypeID(cell.get(), ZTEQM_VALUE_INT);
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(cell->data.bits, 0u);

    // A host type under an identifier of its own gets no preparation.
    register_host_type(12, "host");
    host = HostCalls{};
    KVAV_SetTypeID(cell.get(), 12);
    EXPECT_EQ(host.setAddressCalls, 0);
}

TEST_F(Values, HostCallbacksReceiveTheValueAndTheArguments) {
    register_host_type(12, "host");
    host = HostCalls{};
    ValueCell cell;
    KVAV_SetTypeName(cell.get(), "host");
    ASSERT_EQ(KVAV_GetTypeID(cell.get()), 12);

    KVAV_SetInteger(cell.get(), 41);
    EXPECT_EQ(host.integer, 41);
    EXPECT_EQ(host.value, cell.get());
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 41);
    KVAV_SetDouble(cell.get(), 2.25);
    EXPECT_EQ(host.number, 2.25);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.5);
    int target = 0;
    KVAV_SetAddress(cell.get(), &target);
    EXPECT_EQ(host.address, &target);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), &host);
    char buffer[16];
    KVAV_ToString(cell.get(), buffer, sizeof buffer);
    EXPECT_EQ(host.buffer, buffer);
    EXPECT_EQ(host.size, 16);
    EXPECT_STREQ(buffer, "host");
    const char *text = "some text";
    KVAV_FromString(cell.get(), text);
    EXPECT_EQ(host.text, text);
}

TEST_F(Values, TextCallsRefuseUnusableBuffersAndNullText) {
    register_host_type(12, "host");
    host = HostCalls{};
    ValueCell cell;
    KVAV_SetTypeID(cell.get(), 12);
    char buffer[8] = "same";
    KVAV_ToString(cell.get(), nullptr, 8);
    KVAV_ToString(cell.get(), buffer, 0);
    KVAV_ToString(cell.get(), buffer, -4);
    KVAV_FromString(cell.get(), nullptr);
    EXPECT_EQ(host.value, nullptr);  // no callback ran
    EXPECT_STREQ(buffer, "same");

    ValueCell number("int");
    KVAV_SetInteger(number.get(), 12);
    KVAV_FromString(number.get(), nullptr);
    EXPECT_EQ(KVAV_GetInteger(number.get()), 12);
    KVAV_ToString(number.get(), buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_STREQ(buffer + 1, "ame");
}

TEST_F(Values, SetSizeReplacesTheBlockOfBlockTypesOnly) {
    ValueCell text("string");
    KVAV_FromString(text.get(), "hello");
    const long freesBefore = testhost::counts().frees;
    KVAV_SetSize(text.get(), 40);
    // The old block went back (the new one may be given its address again).
    EXPECT_EQ(testhost::counts().frees, freesBefore + 1);
    EXPECT_EQ(KVAV_GetSize(text.get()), 40);
    EXPECT_TRUE(testhost::is_live(text->data.p));

    // A negative size is refused with nothing changed.
    void *current = text->data.p;
    KVAV_SetSize(text.get(), -1);
    EXPECT_EQ(text->data.p, current);
    EXPECT_EQ(KVAV_GetSize(text.get()), 40);

    // Failed allocation: no block, size 0.
    testhost::fail_after(0);
    KVAV_SetSize(text.get(), 16);
    testhost::fail_after(-1);
    EXPECT_FALSE(testhost::is_live(current));
    EXPECT_EQ(text->data.p, nullptr);
    EXPECT_EQ(KVAV_GetSize(text.get()), 0);
    char buffer[8] = "same";
    KVAV_ToString(text.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");

    // Inline types hold numbers and addresses, never a block: resizing them is refused.
    for (const char *name : {"char", "short", "int", "float", "double", "address"}) {
        ValueCell inlineCell(name);
        KVAV_SetAddress(inlineCell.get(), &buffer);
        KVAV_SetSize(inlineCell.get(), 8);
        EXPECT_EQ(KVAV_GetAddress(inlineCell.get()), static_cast<void *>(&buffer)) << name;
        EXPECT_EQ(KVAV_GetSize(inlineCell.get()), 0) << name;
    }
    EXPECT_EQ(counts().foreignFrees, 0);

    // Host types may keep a block of their own.
    register_host_type(12, "host");
    ValueCell hostCell;
    KVAV_SetTypeID(hostCell.get(), 12);
    KVAV_SetSize(hostCell.get(), 24);
    EXPECT_EQ(KVAV_GetSize(hostCell.get()), 24);
    EXPECT_TRUE(testhost::is_live(hostCell->data.p));
}

TEST_F(Values, BoundDataIsCopiedByTheWidthOfTheType) {
    const uint64_t pattern = UINT64_C(0x1111111111111111);
    void *patternAddress = reinterpret_cast<void *>(static_cast<uintptr_t>(pattern));
    struct Case {
        const char *name;
        size_t width;
    };
    const unsigned char source[8] = {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8};
    for (const Case &c :
         {Case{"char", 1}, Case{"short", 2}, Case{"int", 4}, Case{"float", 4}, Case{"double", 8}}) {
        ValueCell cell(c.name);
        KVAV_SetAddress(cell.get(), patternAddress);
        KVAV_GetDataFromAddress(cell.get(), source);
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(cell->data.bytes[i], i < c.width ? source[i] : 0x11) << c.name << i;
        }
    }

    int8_t byte = -3;
    ValueCell small("char");
    KVAV_GetDataFromAddress(small.get(), &byte);
    EXPECT_EQ(KVAV_GetInteger(small.get()), -3);
    double number = 6.25;
    ValueCell wide("double");
    KVAV_GetDataFromAddress(wide.get(), &number);
    EXPECT_EQ(KVAV_GetDouble(wide.get()), 6.25);
    KVAV_GetDataFromAddress(wide.get(), nullptr);
    EXPECT_EQ(KVAV_GetDouble(wide.get()), 6.25);

    // Other types are left as they were.
    ValueCell address("address");
    KVAV_SetAddress(address.get(), patternAddress);
    KVAV_GetDataFromAddress(address.get(), source);
    EXPECT_EQ(KVAV_GetAddress(address.get()), patternAddress);
    ValueCell vector("float4");
    const Value before = *vector.get();
    KVAV_GetDataFromAddress(vector.get(), source);
    EXPECT_EQ(std::memcmp(&before, vector.get(), sizeof(Value)), 0);
    ValueCell text("string");
    KVAV_GetDataFromAddress(text.get(), source);
    EXPECT_EQ(KVAV_GetAddress(text.get()), nullptr);
}

}  // namespace

namespace {

TEST_F(Values, AValueOfNoOrAnUnknownTypeOwnsNoBlockToResize) {
    // A host pointer kept by an "address" that was renamed to an unknown type, and the bits of
    // a double left in a value whose type went away: neither is a block of the library's.
    char hostMemory[16] = {};
    ValueCell address("address");
    KVAV_SetAddress(address.get(), hostMemory);
    KVAV_SetTypeName(address.get(), "no such type");
    ASSERT_EQ(KVAV_GetTypeID(address.get()), 0);
    KVAV_SetSize(address.get(), 32);
    EXPECT_EQ(address->data.p, static_cast<void *>(hostMemory));
    EXPECT_EQ(KVAV_GetSize(address.get()), 0);

    register_host_type(12, "host");
    ValueCell unregistered;
    KVAV_SetTypeID(unregistered.get(), 12);
    unregistered->data.d = 10.0;
    KVAV_UnregisterValueType(12);
    KVAV_SetSize(unregistered.get(), 32);
    EXPECT_EQ(unregistered->data.d, 10.0);
    EXPECT_EQ(KVAV_GetSize(unregistered.get()), 0);

    // A host type given bits by an "address" frees only a block it was given by a resize.
    register_host_type(13, "keeper");
    ValueCell keeper("address");
    KVAV_SetAddress(keeper.get(), hostMemory);
    KVAV_SetTypeID(keeper.get(), 13);
    KVAV_SetSize(keeper.get(), 8);
    EXPECT_TRUE(testhost::is_live(keeper->data.p));
    const size_t held = counts().live.size();
    KVAV_SetSize(keeper.get(), 16);  // the first block is replaced, not kept beside
    EXPECT_EQ(counts().live.size(), held);
    EXPECT_TRUE(testhost::is_live(keeper->data.p));
    EXPECT_EQ(KVAV_GetSize(keeper.get()), 16);
    EXPECT_EQ(counts().foreignFrees, 0);
}

TEST_F(Values, TextConversionAlwaysTerminatesTheBuffer) {
    ValueCell emptyString("string");
    ValueCell shrunk("float4");
    KVAV_SetSize(shrunk.get(), 8);
    ValueCell typeless;
    ValueCell unknown("int");
    KVAV_SetTypeName(unknown.get(), "no such type");
    for (Value *value : {emptyString.get(), shrunk.get(), typeless.get(), unknown.get()}) {
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        KVAV_ToString(value, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, "") << KVAV_GetTypeName(value);
        // The type's own callback, reached through the registry, terminates as well.
        if (ValueTypeRecord *type = KVAV_GetValueFactory(KVAV_GetTypeID(value))) {
            if (type->toStringFunc != nullptr) {
                std::memset(buffer, 'x', sizeof buffer);
                type->toStringFunc(value, buffer, sizeof buffer);
                EXPECT_STREQ(buffer, "") << KVAV_GetTypeName(value);
            }
        }
    }
}

}  // namespace
