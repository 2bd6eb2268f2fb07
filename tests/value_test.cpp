// Values and the nine built-in value types: storage, conversions, text forms and blocks.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <tuple>

#include "value_cell.h"

namespace {

using testhost::c_format;
using testhost::counts;
using testhost::is_live;
using testhost::value_text;
using testhost::ValueCell;
using Values = testhost::Library;
using std::string;
using Doubles = std::vector<double>;

Doubles components(Value *value, size_t count) {
    const auto *block = static_cast<const double *>(KVAV_GetAddress(value));
    return Doubles(block, block + count);
}
string vector_text(const Doubles &v) {
    string text;
    for (double x : v) text += c_format(text.empty() ? "%10.3lf" : " %10.3lf", x);
    return text;
}

// A host type that keeps everything in data and reads it back with a twist the built-in
// callbacks would not give.
int setAddressCalls = 0;
void register_host_type(int32_t typeId, const char *name) {
    KVAV_RegisterValueType(
        typeId, name, [](Value *v) { return v->data.i + 1000; },
        [](Value *v, int32_t i) { v->data.i = i; }, [](Value *v) { return v->data.d + 0.5; },
        [](Value *v, double d) { v->data.d = d; }, [](Value *v) { return v->data.p; },
        [](Value *v, void *a) { v->data.p = a, ++setAddressCalls; },
        [](Value *, char *b, int32_t s) { std::snprintf(b, static_cast<size_t>(s), "host"); },
        [](Value *v, const char *t) { v->data.p = const_cast<char *>(t); });
}

TEST_F(Values, EachBuiltInTypeStoresConvertsAndPrintsItsOwnWay) {
    const auto minusOne = c_format("%p", reinterpret_cast<void *>(UINTPTR_MAX));
    const std::tuple<const char *, const char *, int32_t, double, string, int32_t> rows[] = {
        {"char", "xyz", 'x', 'x', "x", 0},
        {"short", " -70000", -4464, -4464, "-4464", 0},
        {"int", "\n\t -17xyz", -17, -17, "-17", 0},
        {"float", " 3.25xyz", 3, 3.25, "3.250000", 0},
        {"double", " -1.5e3 rest", -1500, -1500, "-1500.000000", 0},
        {"address", "-1", 0, 0, minusOne, 0},  // sign-extended; its text does not read back
        {"float4", "  -1.5\t2e2 x 9", 0, 0, vector_text({-1.5, 200, 0, 0}), 32},
        {"float4x4", "1 2", 0, 0, vector_text({1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         128},
        {"string", "hello world", 0, 0, "hello world", 12}};
    int32_t id = 0;
    for (const auto &[type, input, asInt, asDouble, text, size] : rows) {
        SCOPED_TRACE(type);
        ValueCell cell(type), again(type);
        EXPECT_EQ(KVAV_GetTypeID(cell.get()), ++id);
        EXPECT_STREQ(KVAV_GetTypeName(cell.get()), type);
        KVAV_FromString(cell.get(), input);
        if (id >= 6) KVAV_SetInteger(cell.get(), 1), KVAV_SetDouble(cell.get(), 1.0);  // ignored
        EXPECT_EQ(KVAV_GetInteger(cell.get()), asInt);
        EXPECT_EQ(KVAV_GetDouble(cell.get()), asDouble);
        EXPECT_EQ(value_text(cell.get(), 400), text);
        EXPECT_EQ(value_text(cell.get(), 4), text.substr(0, 3));
        EXPECT_EQ(KVAV_GetSize(cell.get()), size);
        KVAV_FromString(again.get(), text.c_str());
        EXPECT_EQ(value_text(again.get(), 400) == text, id != 6);
    }
}

TEST_F(Values, NumbersTruncateSaturateAndKeepTheirLowBits) {
    // Set as a double, and as an integer too where the number is one.
    const std::tuple<int32_t, double, int32_t, double> rows[] = {{1, 200, -56, -56},
                                                                 {1, 300.9, 44, 44},
                                                                 {2, 65537.9, 1, 1},
                                                                 {2, 70000, 4464, 4464},
                                                                 {3, -2.7, -2, -2},
                                                                 {4, 2.7, 2, 2.7f},
                                                                 {4, 7, 7, 7},
                                                                 {4, 1e300, INT32_MAX, HUGE_VAL},
                                                                 {4, -1e39, INT32_MIN, -HUGE_VAL},
                                                                 {4, FLT_MAX, INT32_MAX, FLT_MAX},
                                                                 {5, -2.5, -2, -2.5}};
    for (const auto &[type, number, asInt, asDouble] : rows) {
        ValueCell cell(KVAV_NameOfID(type));
        for (bool asInteger : {false, true}) {
            if (asInteger && number != static_cast<int32_t>(number)) continue;
            if (asInteger) KVAV_SetInteger(cell.get(), static_cast<int32_t>(number));
            if (!asInteger) KVAV_SetDouble(cell.get(), number);
            EXPECT_EQ(KVAV_GetInteger(cell.get()), asInt) << type << ' ' << number;
            EXPECT_EQ(KVAV_GetDouble(cell.get()), asDouble) << type << ' ' << number;
        }
    }
    // Beyond the 32-bit range truncation saturates and NaN gives 0, then the low bits are kept.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double number : {3e9, -HUGE_VAL, HUGE_VAL, nan, 2147483647.9, -2147483648.9}) {
        const int32_t saturated = std::isnan(number) ? 0 : number > 0 ? INT32_MAX : INT32_MIN;
        const int32_t expected[] = {static_cast<int8_t>(saturated), static_cast<int16_t>(saturated),
                                    saturated};
        for (int32_t type = 1; type <= 5; ++type) {
            ValueCell cell(KVAV_NameOfID(type));
            KVAV_SetDouble(cell.get(), number);
            EXPECT_EQ(KVAV_GetInteger(cell.get()), expected[std::min(type, 3) - 1]) << type;
            EXPECT_EQ(std::isnan(number) && type >= 4, std::isnan(KVAV_GetDouble(cell.get())));
        }
    }
    const std::pair<const char *, int32_t> texts[] = {{"+5", 5},
                                                      {"- 3", 0},
                                                      {"0x10", 0},
                                                      {"-2147483648", INT32_MIN},
                                                      {"2147483647", INT32_MAX},
                                                      {"99999999999", INT32_MAX},
                                                      {"-99999999999999999999999", INT32_MIN}};
    ValueCell integer("int");
    for (const auto &[text, expected] : texts) {
        KVAV_SetInteger(integer.get(), 99);
        KVAV_FromString(integer.get(), text);
        EXPECT_EQ(KVAV_GetInteger(integer.get()), expected) << '"' << text << '"';
    }
}

// Regression: every text conversion terminates the buffer, whatever the type could format, and
// never writes beyond the size given; unusable buffers are left untouched.
TEST_F(Values, TextIsCutToTheBufferAndAlwaysTerminated) {
    char buffer[96];
    ValueCell number("double");
    KVAV_SetDouble(number.get(), 1e80);  // 88 characters
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(number.get(), buffer, 80);
    EXPECT_EQ(string(buffer, 81), c_format("%lf", 1e80).substr(0, 79) + string("\0x", 2));
    KVAV_ToString(number.get(), nullptr, 8);
    for (int32_t size : {0, -4}) KVAV_ToString(number.get(), buffer, size);
    KVAV_ToString(number.get(), buffer, 1);
    EXPECT_EQ(string(buffer, 2), string("\0"
                                        "0",
                                        2));

    // Vectors are formed a component at a time (over 300 characters each near DBL_MAX) and the
    // rest of the buffer is NUL-filled up to its size.
    Doubles m(16, DBL_MAX);
    m[0] = -DBL_MAX, m[2] = HUGE_VAL, m[3] = std::numeric_limits<double>::quiet_NaN();
    ValueCell matrix("float4x4"), vector("float4");
    KVAV_SetAddress(matrix.get(), m.data());
    EXPECT_EQ(value_text(matrix.get(), 8000), vector_text(m));
    for (int32_t size : {1, 80, 1000}) {
        EXPECT_EQ(value_text(matrix.get(), size), vector_text(m).substr(0, size - 1));
    }
    KVAV_SetAddress(vector.get(), m.data() + 12);
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(vector.get(), buffer, 60);
    EXPECT_EQ(string(buffer, 61),
              vector_text(Doubles(4, DBL_MAX)).substr(0, 59) + string("\0x", 2));
    KVAV_FromString(vector.get(), "1 2 3 4");
    KVAV_ToString(vector.get(), buffer, 60);
    EXPECT_EQ(string(buffer + 43, 18), string(17, '\0') + "x");

    // Nothing to format gives an empty text, through the registry and the type's own callback.
    ValueCell emptyString("string"), shrunk("float4"), typeless, unknown("int");
    KVAV_SetSize(shrunk.get(), 8);
    KVAV_SetTypeName(unknown.get(), "no such type");
    for (Value *value : {emptyString.get(), shrunk.get(), typeless.get(), unknown.get()}) {
        const ValueTypeRecord *type = KVAV_GetValueFactory(KVAV_GetTypeID(value));
        for (auto toString : {KVAV_ToString, type->toStringFunc}) {
            std::memset(buffer, 'x', sizeof buffer);
            if (toString != nullptr) toString(value, buffer, 8);
            EXPECT_TRUE(toString == nullptr || buffer[0] == '\0') << KVAV_GetTypeName(value);
        }
    }
    // The built-in callbacks called through their records refuse bad arguments too.
    for (int32_t id = 1; id <= 9; ++id) {
        const ValueTypeRecord *type = KVAV_GetValueFactory(id);
        ValueCell cell(KVAV_NameOfID(id));
        std::strcpy(buffer, "same");
        for (int32_t size : {0, -1}) type->toStringFunc(cell.get(), buffer, size);
        type->toStringFunc(cell.get(), nullptr, 8);
        type->toStringFunc(nullptr, buffer, 8);
        type->fromStringFunc(cell.get(), nullptr);
        type->fromStringFunc(nullptr, "2");
        type->setAddressFunc(nullptr, buffer);
        EXPECT_STREQ(buffer, "same") << id;
        EXPECT_EQ(type->getAddressFunc(nullptr), nullptr);
        if (id > 5) continue;
        type->setIntegerFunc(nullptr, 1);
        type->setDoubleFunc(nullptr, 1.0);
        EXPECT_EQ(type->getIntegerFunc(nullptr) + type->getDoubleFunc(nullptr), 0);
    }
}

// Numbers are cleared when their type goes, addresses keep their bits, and a block type frees its
// block on leaving and never takes foreign bits for one on entering. Storage follows the built-in
// identifiers, whatever type is registered under them.
TEST_F(Values, TypeChangesReleaseWhatTheOldTypeKeptAndPrepareTheNewOne) {
    int32_t hostDatum = 0;
    const auto bits = reinterpret_cast<void *>(uintptr_t{0x1234567887654321});
    ValueCell cell("int");
    KVAV_SetInteger(cell.get(), 7);
    for (int32_t id : {3, 10, -1}) KVAV_SetTypeID(cell.get(), id);  // same or unknown: nothing
    EXPECT_EQ(KVAV_GetInteger(cell.get()) + KVAV_GetTypeID(cell.get()), 7 + 3);
    KVAV_SetTypeName(cell.get(), "float");
    EXPECT_EQ(cell->data.bits, 0u);
    KVAV_SetTypeName(cell.get(), "address");
    KVAV_SetAddress(cell.get(), bits);
    KVAV_SetTypeName(cell.get(), "int");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), static_cast<int32_t>(0x87654321u));
    EXPECT_EQ(KVAV_GetAddress(cell.get()), bits);
    KVAV_SetTypeName(cell.get(), "address");
    KVAV_SetAddress(cell.get(), &hostDatum);
    KVAV_SetTypeName(cell.get(), "string");
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    KVAV_FromString(cell.get(), "text");
    void *block = KVAV_GetAddress(cell.get());
    KVAV_SetTypeName(cell.get(), "float4x4");  // block to block: the old one goes first
    EXPECT_FALSE(is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 128);
    block = KVAV_GetAddress(cell.get());
    KVAV_SetTypeName(cell.get(), "double");
    EXPECT_FALSE(is_live(block));
    EXPECT_EQ(cell->data.bits + static_cast<uint64_t>(KVAV_GetSize(cell.get())), 0u);

    // A host type's data is the host's: neither freed nor written through on leaving it.
    register_host_type(12, "host");
    KVAV_SetTypeID(cell.get(), 12);
    EXPECT_EQ(setAddressCalls, 0);  // no preparation under an identifier of its own
    cell->data.p = &hostDatum;
    cell->size = 4;
    KVAV_SetTypeName(cell.get(), "float4");
    EXPECT_TRUE(is_live(KVAV_GetAddress(cell.get())));
    EXPECT_EQ(KVAV_GetSize(cell.get()) + hostDatum, 32);
    KVAV_SetTypeID(cell.get(), 11);  // an empty slot below the count is a type like any other
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "");

    // A host type under identifier 7 is prepared like "float4" and its block freed on leaving.
    register_host_type(7, "host block");
    cell->data.p = &hostDatum;
    KVAV_SetTypeID(cell.get(), 7);
    EXPECT_EQ(setAddressCalls, 1);
    EXPECT_EQ(cell->data.p, nullptr);
    KVAV_SetSize(cell.get(), 24);
    block = cell->data.p;
    KVAV_SetTypeName(cell.get(), "int");
    EXPECT_FALSE(is_live(block));
}

// Regression: only a block the value allocated is released or replaced; a value of no type or
// of an unknown type may carry the bits of an address or a number, never a block of ours.
TEST_F(Values, SetSizeReplacesOnlyABlockTheValueOwns) {
    ValueCell text("string");
    KVAV_FromString(text.get(), "hello");
    const long frees = counts().frees;
    KVAV_SetSize(text.get(), 40);
    KVAV_SetSize(text.get(), -1);
    EXPECT_EQ(counts().frees, frees + 1);
    EXPECT_EQ(KVAV_GetSize(text.get()), 40);
    EXPECT_TRUE(is_live(text->data.p));
    testhost::fail_after(0);
    KVAV_SetSize(text.get(), 16);
    testhost::fail_after(-1);
    EXPECT_EQ(counts().frees, frees + 2);
    EXPECT_EQ(text->data.p, nullptr);
    EXPECT_EQ(KVAV_GetSize(text.get()), 0);

    char hostMemory[16];
    for (const char *name : {"char", "short", "int", "float", "double", "address", "", "gone"}) {
        register_host_type(12, "gone");
        ValueCell cell(name);
        cell->data.p = hostMemory;
        KVAV_UnregisterValueType(12);
        KVAV_SetSize(cell.get(), 8);
        EXPECT_EQ(cell->data.p, static_cast<void *>(hostMemory)) << name;
        EXPECT_EQ(KVAV_GetSize(cell.get()), 0) << name;
    }
    // A host type given an address's bits owns only a block given it by a resize.
    register_host_type(13, "keeper");
    ValueCell keeper("address");
    KVAV_SetAddress(keeper.get(), hostMemory);
    KVAV_SetTypeID(keeper.get(), 13);
    KVAV_SetSize(keeper.get(), 8);
    const size_t held = counts().live.size();
    KVAV_SetSize(keeper.get(), 16);
    EXPECT_EQ(counts().live.size(), held);
    EXPECT_TRUE(is_live(keeper->data.p));
    EXPECT_EQ(KVAV_GetSize(keeper.get()), 16);
}

TEST_F(Values, VectorAndStringBlocksKeepOrReplaceByTheirOwnRules) {
    testhost::PoisonedAllocations poisoned;  // nothing uninitialised may show
    ValueCell vector("float4"), matrix("float4x4"), text("string");
    EXPECT_EQ(components(matrix.get(), 16), Doubles(16, 0.0));
    Doubles v = {1, 2, 3, 4};
    KVAV_SetAddress(vector.get(), v.data());
    EXPECT_NE(KVAV_GetAddress(vector.get()), v.data());
    KVAV_FromString(vector.get(), "5 6");  // parsing stops at the first number it cannot read
    KVAV_FromString(vector.get(), "7 8 9 10 11");
    KVAV_FromString(vector.get(), "");
    void *block = KVAV_GetAddress(vector.get());
    KVAV_SetAddress(vector.get(), nullptr);
    KVAV_SetAddress(vector.get(), block);
    EXPECT_EQ(components(vector.get(), 4), Doubles({7, 8, 9, 10}));
    // A block resized below the components is never overrun; a larger one is kept.
    KVAV_SetSize(matrix.get(), 64);
    KVAV_FromString(matrix.get(), "9");
    EXPECT_EQ(KVAV_GetSize(matrix.get()), 128);
    EXPECT_EQ(components(matrix.get(), 16)[15], 0.0);
    KVAV_SetSize(vector.get(), 48);
    block = KVAV_GetAddress(vector.get());
    KVAV_SetAddress(vector.get(), v.data());
    EXPECT_EQ(KVAV_GetAddress(vector.get()), block);
    EXPECT_EQ(components(vector.get(), 4), v);
    testhost::fail_after(0);
    ValueCell empty("float4");
    KVAV_FromString(empty.get(), "1");
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetSize(empty.get()), 0);
    KVAV_FromString(empty.get(), "2.5");
    EXPECT_EQ(components(empty.get(), 4), Doubles({2.5, 0, 0, 0}));

    // A string resized by the host holds no terminator: it is read within its size.
    KVAV_SetSize(text.get(), 4);
    EXPECT_EQ(value_text(text.get()), string(4, '\xA5'));
    EXPECT_EQ(value_text(text.get(), 3), string(2, '\xA5'));
    block = KVAV_GetAddress(text.get());
    KVAV_FromString(text.get(), "ab");  // shorter than the stored text: the block is kept
    EXPECT_EQ(KVAV_GetAddress(text.get()), block);
    KVAV_FromString(text.get(), "cd");  // not shorter: replaced by one of its own size
    EXPECT_FALSE(is_live(block));
    EXPECT_EQ(KVAV_GetSize(text.get()), 3);
    block = KVAV_GetAddress(text.get());
    KVAV_SetAddress(text.get(), const_cast<char *>("hi"));  // by address: kept while it fits
    EXPECT_EQ(KVAV_GetAddress(text.get()), block);
    KVAV_SetAddress(text.get(), const_cast<char *>("hello"));
    EXPECT_FALSE(is_live(block));
    EXPECT_EQ(KVAV_GetSize(text.get()), 6);
    // Its own text is taken before the old block goes.
    KVAV_FromString(text.get(), static_cast<char *>(KVAV_GetAddress(text.get())));
    KVAV_SetAddress(text.get(), static_cast<char *>(KVAV_GetAddress(text.get())) + 1);
    EXPECT_EQ(value_text(text.get()), "ello");
    KVAV_SetSize(text.get(), 0);
    KVAV_FromString(text.get(), "");
    EXPECT_EQ(KVAV_GetSize(text.get()), 1);
    testhost::fail_after(0);
    KVAV_FromString(text.get(), "longer");
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetAddress(text.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(text.get()), 0);
}

TEST_F(Values, HostTypesReceiveEveryCallAndNullValuesAreIgnored) {
    register_host_type(12, "host");
    ValueCell cell("host");
    char buffer[16] = "same";
    KVAV_SetInteger(cell.get(), 41);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 1041);
    KVAV_SetDouble(cell.get(), 2.25);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 2.75);
    KVAV_ToString(cell.get(), nullptr, 8);
    KVAV_ToString(cell.get(), buffer, 0);
    KVAV_FromString(cell.get(), nullptr);
    EXPECT_STREQ(buffer, "same");
    KVAV_FromString(cell.get(), buffer);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), buffer);
    KVAV_SetAddress(cell.get(), &cell);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), &cell);
    KVAV_ToString(cell.get(), buffer, 3);
    EXPECT_STREQ(buffer, "ho");

    // A type unregistered or a registry stopped leaves values that read 0 and ignore writes.
    KVAV_UnregisterValueType(12);
    KVAV_SetAddress(cell.get(), nullptr);
    KVAV_SetInteger(cell.get(), 1);
    KVAV_SetDouble(cell.get(), 1.0);
    KVAV_FromString(cell.get(), "x");
    EXPECT_EQ(KVAV_GetInteger(cell.get()) + KVAV_GetDouble(cell.get()), 0);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    EXPECT_EQ(cell->data.p, &cell);
    ValueCell number("double");
    KVAV_SetDouble(number.get(), 2.5);
    KVAV_Exit();
    KVAV_SetTypeID(number.get(), 0);
    EXPECT_EQ(KVAV_GetDouble(number.get()), 0.0);
    KVAV_Init();
    EXPECT_EQ(KVAV_GetDouble(number.get()), 2.5);

    KVAV_SetTypeID(nullptr, 3);
    KVAV_SetTypeName(nullptr, "int");
    KVAV_SetSize(nullptr, 16);
    KVAV_SetInteger(nullptr, 1);
    KVAV_GetDataFromAddress(nullptr, buffer);
    KVAV_ToString(nullptr, buffer, 8);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(KVAV_GetTypeID(nullptr) + KVAV_GetSize(nullptr) + KVAV_GetInteger(nullptr), 0);
    EXPECT_EQ(KVAV_GetDouble(nullptr), 0.0);
    EXPECT_EQ(KVAV_GetAddress(nullptr), KVAV_GetTypeName(nullptr));
}

TEST_F(Values, BoundDataIsCopiedByTheWidthOfTheType) {
    const unsigned char source[8] = {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8};
    const size_t widths[] = {1, 2, 4, 4, 8, 0, 0};
    for (int32_t id = 1; id <= 7; ++id) {
        ValueCell cell(KVAV_NameOfID(id));
        if (id <= 6) cell->data.bits = UINT64_C(0x1111111111111111);
        const ValueData before = cell->data;
        KVAV_GetDataFromAddress(cell.get(), source);
        KVAV_GetDataFromAddress(cell.get(), nullptr);
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(cell->data.bytes[i], i < widths[id - 1] ? source[i] : before.bytes[i]) << id;
        }
    }
}

}  // namespace
