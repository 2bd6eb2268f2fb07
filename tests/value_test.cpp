// Values and the nine built-in value types: storage, conversions, text forms and blocks.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <tuple>

#include "test_host.h"

namespace {

using testhost::is_live;
using Values = testhost::Library;
using std::string;
using Doubles = std::vector<double>;

// A zero-filled Value, as the records that embed one obtain it; its block goes back at the end.
struct Cell : Value {
    explicit Cell(const char *type = nullptr) : Value{} { KVAV_SetTypeName(this, type); }
    ~Cell() {
        if ((typeId < 1 || typeId > 6) && is_live(data.p)) KVAMEM_Free(data.p);
    }
};

// Every new block filled with 0xA5, so that reads of uninitialised contents show.
void *poisoned_alloc(uint64_t size) {
    void *block = testhost::counting_alloc(size);
    return block != nullptr ? std::memset(block, 0xA5, static_cast<size_t>(size)) : nullptr;
}

string to_text(Value *value, int32_t size = 80) {
    std::vector<char> buffer(static_cast<size_t>(size), 'x');  // an unterminated text shows
    KVAV_ToString(value, buffer.data(), size);
    return string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}
string vector_text(const Doubles &v) {
    string out;
    char piece[400];
    for (double x : v) std::snprintf(piece, sizeof piece, " %10.3lf", x), out += piece;
    return out.substr(1);
}

// A host type that keeps everything in data and reads it back with a twist of its own.
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
    char minusOne[40];
    std::snprintf(minusOne, sizeof minusOne, "%p", reinterpret_cast<void *>(UINTPTR_MAX));
    const std::tuple<const char *, const char *, int32_t, double, string, int32_t> rows[] = {
        {"char", "xyz", 'x', 'x', "x", 0},
        {"short", " -70000", -4464, -4464, "-4464", 0},
        {"int", "\n\t -17xyz", -17, -17, "-17", 0},
        {"float", " 3.25xyz", 3, 3.25, "3.250000", 0},
        {"double", " -1.5e3 rest", -1500, -1500, "-1500.000000", 0},
        {"address", "-1", 0, 0, minusOne, 0},  // read as a decimal, sign-extended
        {"float4", "  -1.5\t2e2 x 9", 0, 0, vector_text({-1.5, 200, 0, 0}), 32},
        {"float4x4", "1 2", 0, 0, vector_text({1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         128},
        {"string", "hello world", 0, 0, "hello world", 12}};
    int32_t id = 0;
    for (const auto &[type, input, asInt, asDouble, shown, size] : rows) {
        SCOPED_TRACE(type);
        Cell cell(type);
        EXPECT_EQ(KVAV_GetTypeName(&cell) + std::to_string(KVAV_GetTypeID(&cell)),
                  type + std::to_string(++id));
        KVAV_FromString(&cell, input);
        if (id >= 6) KVAV_SetInteger(&cell, 1), KVAV_SetDouble(&cell, 1.0);  // ignored
        EXPECT_EQ(KVAV_GetInteger(&cell), asInt);
        EXPECT_EQ(KVAV_GetDouble(&cell), asDouble);
        EXPECT_EQ(to_text(&cell, 400), shown);
        EXPECT_EQ(to_text(&cell, 4), shown.substr(0, 3));
        EXPECT_EQ(KVAV_GetSize(&cell), size);
    }
}

TEST_F(Values, NumbersTruncateSaturateAndKeepTheirLowBits) {
    // Type, number set as a double, integer and double read.
    // clang-format off
    const std::tuple<int32_t, double, int32_t, double> rows[] = {
        {1, 200, -56, -56}, {1, 300.9, 44, 44}, {2, 65537.9, 1, 1}, {2, 70000, 4464, 4464},
        {3, -2.7, -2, -2}, {3, -3e9, INT32_MIN, INT32_MIN}, {4, 2.7, 2, 2.7f}, {4, 7, 7, 7},
        {4, 1e300, INT32_MAX, HUGE_VAL}, {4, -1e39, INT32_MIN, -HUGE_VAL},
        {4, FLT_MAX, INT32_MAX, FLT_MAX}, {5, -2.5, -2, -2.5}, {5, NAN, 0, 0}};
    // clang-format on
    for (const auto &[type, number, asInt, asDouble] : rows) {
        Cell cell(KVAV_NameOfID(type));
        KVAV_SetDouble(&cell, number);
        EXPECT_EQ(KVAV_GetInteger(&cell), asInt) << type << ' ' << number;
        EXPECT_EQ(KVAV_GetDouble(&cell) == asDouble, !std::isnan(number)) << type;
    }
    Cell integer("int");  // decimal text saturates too
    for (const auto &[input, expected] :
         {std::pair{"+5", 5}, {"99999999999", INT32_MAX}, {"-99999999999999999999", INT32_MIN}}) {
        KVAV_FromString(&integer, input);
        EXPECT_EQ(KVAV_GetInteger(&integer), expected) << '"' << input << '"';
    }
}

// Regression: every text conversion terminates the buffer, whatever the type could format, and
// never writes beyond the size given; unusable buffers are left untouched.
TEST_F(Values, TextIsCutToTheBufferAndAlwaysTerminated) {
    char buffer[96];
    Cell number("double");
    KVAV_SetDouble(&number, 1e80);  // 88 characters
    std::memset(buffer, 'x', sizeof buffer), KVAV_ToString(&number, buffer, 80);
    EXPECT_EQ(string(buffer, 81), std::to_string(1e80).substr(0, 79) + string("\0x", 2));

    // Vectors are formed a component at a time (over 300 characters each near DBL_MAX).
    Doubles m(16, DBL_MAX);
    m[0] = -DBL_MAX, m[2] = HUGE_VAL, m[3] = NAN;
    Cell matrix("float4x4");
    KVAV_SetAddress(&matrix, m.data());
    for (int32_t size : {1, 80, 1000, 8000}) {
        EXPECT_EQ(to_text(&matrix, size), vector_text(m).substr(0, size - 1));
    }

    Cell emptyString("string"), shrunk("float4"), typeless, unknown("int");  // nothing to format
    KVAV_SetSize(&shrunk, 8), KVAV_SetTypeName(&unknown, "no such type");
    for (Value *value : {&emptyString, &shrunk, &typeless, &unknown}) {
        EXPECT_EQ(to_text(value, 8), "") << KVAV_GetTypeName(value);
    }
}

// Null values, null or empty buffers and null texts leave everything as it was and read as
// nothing, through the value functions and through each built-in type's own callbacks.
TEST_F(Values, NullAndBadArgumentsAreRefusedEverywhere) {
    char buffer[16] = "same";
    Cell cell("float4");
    KVAV_ToString(&cell, buffer, 0), KVAV_ToString(&cell, buffer, -4);
    KVAV_ToString(&cell, nullptr, 8), KVAV_SetSize(&cell, -1);
    KVAV_SetTypeID(nullptr, 3), KVAV_SetTypeName(nullptr, "int"), KVAV_SetSize(nullptr, 16);
    KVAV_SetInteger(nullptr, 1), KVAV_GetDataFromAddress(nullptr, buffer);
    EXPECT_EQ(string(buffer) + std::to_string(KVAV_GetSize(&cell)), "same32");
    EXPECT_EQ(KVAV_GetTypeID(nullptr) + KVAV_GetSize(nullptr) + KVAV_GetInteger(nullptr), 0);
    EXPECT_TRUE(!KVAV_GetDouble(nullptr) && !KVAV_GetAddress(nullptr) &&
                !KVAV_GetTypeName(nullptr));
    for (int32_t id = 1; id <= 9; ++id) {
        const ValueTypeRecord *t = KVAV_GetValueFactory(id);
        Cell own(KVAV_NameOfID(id));
        std::strcpy(buffer, "same");
        t->toStringFunc(&own, buffer, 0), t->toStringFunc(&own, buffer, -1);
        t->toStringFunc(&own, nullptr, 8), t->toStringFunc(nullptr, buffer, 8);
        t->fromStringFunc(&own, nullptr), t->fromStringFunc(nullptr, "2");
        t->setAddressFunc(nullptr, buffer);
        EXPECT_EQ(string(buffer) + (t->getAddressFunc(nullptr) ? "!" : ""), "same") << id;
        if (id > 5) continue;
        t->setIntegerFunc(nullptr, 1), t->setDoubleFunc(nullptr, 1.0);
        EXPECT_EQ(t->getIntegerFunc(nullptr) + t->getDoubleFunc(nullptr), 0) << id;
    }
}

// Numbers are cleared when their type goes, addresses keep their bits, and a block type frees its
// block on leaving and never takes foreign bits for one on entering; a host type's data is its
// own.
TEST_F(Values, TypeChangesReleaseWhatTheOldTypeKeptAndPrepareTheNewOne) {
    int32_t hostDatum = 0;
    const auto bits = reinterpret_cast<void *>(uintptr_t{0x1234567887654321});
    Cell cell("int");
    KVAV_SetInteger(&cell, 7);
    for (int32_t id : {3, 10, -1}) KVAV_SetTypeID(&cell, id);  // same or unknown: nothing
    EXPECT_EQ(KVAV_GetInteger(&cell) + KVAV_GetTypeID(&cell), 7 + 3);
    KVAV_SetTypeName(&cell, "float"), KVAV_SetTypeName(&cell, "address");
    EXPECT_EQ(KVAV_GetAddress(&cell), nullptr);
    KVAV_SetAddress(&cell, bits);
    KVAV_SetTypeName(&cell, "int");
    EXPECT_EQ(KVAV_GetAddress(&cell), bits);
    KVAV_SetTypeName(&cell, "address"), KVAV_SetAddress(&cell, &hostDatum);
    KVAV_SetTypeName(&cell, "string");  // the address is not taken for a block
    EXPECT_EQ(KVAV_GetAddress(&cell), nullptr);
    KVAV_FromString(&cell, "text");  // block to block: the old one goes first
    KVAV_SetTypeName(&cell, "float4x4"), KVAV_SetTypeName(&cell, "double");
    EXPECT_EQ(cell.data.bits + static_cast<uint64_t>(KVAV_GetSize(&cell)), 0u);

    // A host type's data is the host's: neither freed nor written through on leaving it.
    register_host_type(12, "host");
    KVAV_SetTypeID(&cell, 12);
    EXPECT_EQ(setAddressCalls, 0);  // no preparation under an identifier of its own
    KVAV_SetInteger(&cell, 41);     // and every call reaches the host's callbacks
    const int32_t integer = KVAV_GetInteger(&cell);
    KVAV_SetDouble(&cell, 2.25), KVAV_FromString(&cell, "x"), KVAV_SetAddress(&cell, &cell);
    EXPECT_EQ(to_text(&cell, 3) + std::to_string(setAddressCalls + integer), "ho1042");
    KVAV_SetDouble(&cell, 2.25);
    EXPECT_EQ(KVAV_GetDouble(&cell), 2.75);
    cell.data.p = &hostDatum, cell.size = 4;
    KVAV_SetTypeName(&cell, "float4");
    EXPECT_EQ(KVAV_GetSize(&cell) + hostDatum, 32);
}

// Regression: only a block the value allocated is released or replaced; a value of no type or
// of an unknown type may carry the bits of an address or a number, never a block of ours. A
// value of a type gone ignores writes.
TEST_F(Values, SetSizeReplacesOnlyABlockTheValueOwns) {
    char hostMemory[16];
    for (const char *name : {"char", "short", "int", "float", "double", "address", "", "gone"}) {
        register_host_type(12, "gone");
        Cell cell(name);
        cell.data.p = hostMemory;
        KVAV_UnregisterValueType(12);
        KVAV_SetSize(&cell, 8);
        EXPECT_TRUE(cell.data.p == hostMemory && KVAV_GetSize(&cell) == 0) << name;
        if (name[0] != 'g') continue;
        KVAV_SetAddress(&cell, nullptr), KVAV_FromString(&cell, "x");
        EXPECT_TRUE(!KVAV_GetAddress(&cell) && cell.data.p == hostMemory);
    }
    // A host type given an address's bits owns only a block given it by a resize.
    register_host_type(13, "keeper");
    Cell keeper("address");
    KVAV_SetAddress(&keeper, hostMemory), KVAV_SetTypeID(&keeper, 13);
    KVAV_SetSize(&keeper, 0), KVAV_SetSize(&keeper, 8), KVAV_SetSize(&keeper, 16);
    EXPECT_EQ(KVAV_GetSize(&keeper) + is_live(keeper.data.p), 17);
}

TEST_F(Values, VectorAndStringBlocksKeepOrReplaceByTheirOwnRules) {
    KVAMEM_Init(poisoned_alloc, testhost::counting_free);  // nothing uninitialised may show
    Cell vector("float4"), matrix("float4x4"), text("string");
    Doubles v = {1, 2, 3, 4};
    KVAV_SetAddress(&vector, v.data());
    // Parsing stops at the first number it cannot read; setting null keeps the block.
    KVAV_FromString(&vector, "5 6"), KVAV_FromString(&vector, "7 8 9 10 11");
    KVAV_FromString(&vector, ""), KVAV_SetAddress(&vector, nullptr);
    EXPECT_EQ(to_text(&vector), vector_text({7, 8, 9, 10}));
    // A block resized below the components is never overrun: a fresh cleared one replaces it.
    KVAV_SetSize(&matrix, 64), KVAV_FromString(&matrix, "9");
    EXPECT_EQ(KVAV_GetSize(&matrix) + static_cast<double *>(KVAV_GetAddress(&matrix))[15], 128);

    // A string resized by the host holds no terminator: it is read within its size.
    KVAV_SetSize(&text, 4);
    EXPECT_EQ(to_text(&text) + to_text(&text, 3), string(6, '\xA5'));
    void *block = KVAV_GetAddress(&text);
    KVAV_FromString(&text, "ab");  // shorter than the stored text: the block is kept
    EXPECT_EQ(KVAV_GetAddress(&text), block);
    KVAV_FromString(&text, "cd");  // not shorter: replaced by one of its own size
    EXPECT_EQ(KVAV_GetSize(&text), 3);
    block = KVAV_GetAddress(&text);
    KVAV_SetAddress(&text, const_cast<char *>("hi"));  // by address: kept while it fits
    EXPECT_EQ(KVAV_GetAddress(&text), block);
    KVAV_SetAddress(&text, const_cast<char *>("hello"));
    // Its own text is taken before the old block goes.
    KVAV_FromString(&text, static_cast<char *>(KVAV_GetAddress(&text)));
    KVAV_SetAddress(&text, static_cast<char *>(KVAV_GetAddress(&text)) + 1);
    EXPECT_EQ(to_text(&text) + std::to_string(KVAV_GetSize(&text)), "ello6");
    KVAV_SetSize(&text, 0), KVAV_FromString(&text, "");
    EXPECT_EQ(KVAV_GetSize(&text), 1);
    testhost::fail_after(0), KVAV_FromString(&text, "longer"), testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetAddress(&text), nullptr);
    KVAMEM_Init(testhost::counting_alloc, testhost::counting_free);
}

}  // namespace
