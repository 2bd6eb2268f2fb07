// Values and the nine built-in value types: storage, conversions, text forms and blocks.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "test_host.h"

namespace {

using testhost::counts;
using testhost::is_live;
using Values = testhost::Library;
using std::string;
using Doubles = std::vector<double>;

// A zero-filled Value, as the records that embed one obtain it; its block goes back at the end.
struct Cell {
    Value v{};
    explicit Cell(const char *type = nullptr) { KVAV_SetTypeName(&v, type); }
    ~Cell() {
        if ((v.typeId < 1 || v.typeId > 6) && is_live(v.data.p)) KVAMEM_Free(v.data.p);
    }
    Value *get() { return &v; }
    Value *operator->() { return &v; }
};

// Every new block filled with 0xA5, so that reads of uninitialised contents show.
void *poisoned_alloc(uint64_t size) {
    void *block = testhost::counting_alloc(size);
    return block != nullptr ? std::memset(block, 0xA5, static_cast<size_t>(size)) : nullptr;
}

string fmt(const char *format, double x) {
    char text[400];
    std::snprintf(text, sizeof text, format, x);
    return text;
}
string to_text(Value *value, int32_t size = 80) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    KVAV_ToString(value, buffer.data(), size);
    return string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}
string vector_text(const Doubles &v) {
    string out;
    for (double x : v) out += fmt(out.empty() ? "%10.3lf" : " %10.3lf", x);
    return out;
}
double *components(Value *value) { return static_cast<double *>(KVAV_GetAddress(value)); }

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
        {"address", "-1", 0, 0, minusOne, 0},  // sign-extended; its text does not read back
        {"float4", "  -1.5\t2e2 x 9", 0, 0, vector_text({-1.5, 200, 0, 0}), 32},
        {"float4x4", "1 2", 0, 0, vector_text({1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         128},
        {"string", "hello world", 0, 0, "hello world", 12}};
    int32_t id = 0;
    for (const auto &[type, input, asInt, asDouble, shown, size] : rows) {
        SCOPED_TRACE(type);
        Cell cell(type), again(type);
        EXPECT_EQ(KVAV_GetTypeID(cell.get()), ++id);
        EXPECT_STREQ(KVAV_GetTypeName(cell.get()), type);
        KVAV_FromString(cell.get(), input);
        if (id >= 6) KVAV_SetInteger(cell.get(), 1), KVAV_SetDouble(cell.get(), 1.0);  // ignored
        EXPECT_EQ(KVAV_GetInteger(cell.get()), asInt);
        EXPECT_EQ(KVAV_GetDouble(cell.get()), asDouble);
        EXPECT_EQ(to_text(cell.get(), 400), shown);
        EXPECT_EQ(to_text(cell.get(), 4), shown.substr(0, 3));
        EXPECT_EQ(KVAV_GetSize(cell.get()), size);
        KVAV_FromString(again.get(), shown.c_str());
        EXPECT_EQ(to_text(again.get(), 400) == shown, id != 6);
    }
}

TEST_F(Values, NumbersTruncateSaturateAndKeepTheirLowBits) {
    // Type, number set as a double (and as an integer where it is one), integer and double read.
    // clang-format off
    const std::tuple<int32_t, double, int32_t, double> rows[] = {
        {1, 200, -56, -56}, {1, 300.9, 44, 44}, {2, 65537.9, 1, 1}, {2, 70000, 4464, 4464},
        {3, -2.7, -2, -2}, {3, -3e9, INT32_MIN, INT32_MIN}, {4, 2.7, 2, 2.7f}, {4, 7, 7, 7},
        {4, 1e300, INT32_MAX, HUGE_VAL}, {4, -1e39, INT32_MIN, -HUGE_VAL},
        {4, FLT_MAX, INT32_MAX, FLT_MAX}, {5, -2.5, -2, -2.5}, {5, NAN, 0, 0}};
    // clang-format on
    for (const auto &[type, number, asInt, asDouble] : rows) {
        Cell cell(KVAV_NameOfID(type));
        for (bool asInteger : {false, true}) {
            if (asInteger && number != static_cast<int32_t>(number)) continue;
            if (asInteger) KVAV_SetInteger(cell.get(), static_cast<int32_t>(number));
            if (!asInteger) KVAV_SetDouble(cell.get(), number);
            EXPECT_EQ(KVAV_GetInteger(cell.get()), asInt) << type << ' ' << number;
            EXPECT_EQ(KVAV_GetDouble(cell.get()) == asDouble, !std::isnan(number)) << type;
        }
    }
    // clang-format off
    const std::pair<const char *, int32_t> texts[] = {{"+5", 5}, {"- 3", 0}, {"0x10", 0},
        {"2147483647", INT32_MAX}, {"99999999999", INT32_MAX}, {"-99999999999999999999", INT32_MIN}};
    // clang-format on
    Cell integer("int");
    for (const auto &[input, expected] : texts) {
        KVAV_SetInteger(integer.get(), 99);
        KVAV_FromString(integer.get(), input);
        EXPECT_EQ(KVAV_GetInteger(integer.get()), expected) << '"' << input << '"';
    }
}

// Regression: every text conversion terminates the buffer, whatever the type could format, and
// never writes beyond the size given; unusable buffers are left untouched.
TEST_F(Values, TextIsCutToTheBufferAndAlwaysTerminated) {
    char buffer[96];
    Cell number("double");
    KVAV_SetDouble(number.get(), 1e80);  // 88 characters
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(number.get(), buffer, 80);
    EXPECT_EQ(string(buffer, 81), fmt("%lf", 1e80).substr(0, 79) + string("\0x", 2));
    KVAV_ToString(number.get(), buffer, 1);
    EXPECT_EQ(string(buffer, 2), string("\0"
                                        "0",
                                        2));

    // Vectors are formed a component at a time (over 300 characters each near DBL_MAX) and the
    // rest of the buffer is NUL-filled up to its size.
    Doubles m(16, DBL_MAX);
    m[0] = -DBL_MAX, m[2] = HUGE_VAL, m[3] = std::numeric_limits<double>::quiet_NaN();
    Cell matrix("float4x4"), vector("float4");
    KVAV_SetAddress(matrix.get(), m.data());
    for (int32_t size : {1, 80, 1000, 8000}) {
        EXPECT_EQ(to_text(matrix.get(), size), vector_text(m).substr(0, size - 1));
    }
    KVAV_FromString(vector.get(), "1 2 3 4");
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(vector.get(), buffer, 60);
    EXPECT_EQ(string(buffer + 43, 18), string(17, '\0') + "x");

    // Nothing to format gives an empty text.
    Cell emptyString("string"), shrunk("float4"), typeless, unknown("int");
    KVAV_SetSize(shrunk.get(), 8);
    KVAV_SetTypeName(unknown.get(), "no such type");
    for (Value *value : {emptyString.get(), shrunk.get(), typeless.get(), unknown.get()}) {
        std::memset(buffer, 'x', sizeof buffer);
        KVAV_ToString(value, buffer, 8);
        EXPECT_EQ(buffer[0], '\0') << KVAV_GetTypeName(value);
    }
}

// Null values, null or empty buffers and null texts leave everything as it was and read as
// nothing, through the value functions and through each built-in type's own callbacks.
TEST_F(Values, NullAndBadArgumentsAreRefusedEverywhere) {
    char buffer[16] = "same";
    Cell cell("float4");
    KVAV_ToString(cell.get(), buffer, 0), KVAV_ToString(cell.get(), buffer, -4);
    KVAV_ToString(cell.get(), nullptr, 8), KVAV_SetSize(cell.get(), -1);
    KVAV_SetTypeID(nullptr, 3), KVAV_SetTypeName(nullptr, "int"), KVAV_SetSize(nullptr, 16);
    KVAV_SetInteger(nullptr, 1), KVAV_GetDataFromAddress(nullptr, buffer);
    EXPECT_EQ(string(buffer) + std::to_string(KVAV_GetSize(cell.get())), "same32");
    EXPECT_EQ(KVAV_GetTypeID(nullptr) + KVAV_GetSize(nullptr) + KVAV_GetInteger(nullptr) +
                  KVAV_GetDouble(nullptr),
              0);
    EXPECT_EQ(KVAV_GetAddress(nullptr), KVAV_GetTypeName(nullptr));
    KVAV_ToString(nullptr, buffer, 8);
    EXPECT_STREQ(buffer, "");
    for (int32_t id = 1; id <= 9; ++id) {
        const ValueTypeRecord *t = KVAV_GetValueFactory(id);
        Cell own(KVAV_NameOfID(id));
        std::strcpy(buffer, "same");
        t->toStringFunc(own.get(), buffer, 0), t->toStringFunc(own.get(), buffer, -1);
        t->toStringFunc(own.get(), nullptr, 8), t->toStringFunc(nullptr, buffer, 8);
        t->fromStringFunc(own.get(), nullptr), t->fromStringFunc(nullptr, "2");
        t->setAddressFunc(nullptr, buffer);
        EXPECT_EQ(string(buffer) + (t->getAddressFunc(nullptr) ? "!" : ""), "same") << id;
        if (id > 5) continue;
        t->setIntegerFunc(nullptr, 1), t->setDoubleFunc(nullptr, 1.0);
        EXPECT_EQ(t->getIntegerFunc(nullptr) + t->getDoubleFunc(nullptr), 0) << id;
    }
}

// Numbers are cleared when their type goes, addresses keep their bits, and a block type frees its
// block on leaving and never takes foreign bits for one on entering. Storage follows the built-in
// identifiers, whatever type is registered under them.
TEST_F(Values, TypeChangesReleaseWhatTheOldTypeKeptAndPrepareTheNewOne) {
    int32_t hostDatum = 0;
    char buffer[8];
    const auto bits = reinterpret_cast<void *>(uintptr_t{0x1234567887654321});
    Cell cell("int");
    KVAV_SetInteger(cell.get(), 7);
    for (int32_t id : {3, 10, -1}) KVAV_SetTypeID(cell.get(), id);  // same or unknown: nothing
    EXPECT_EQ(KVAV_GetInteger(cell.get()) + KVAV_GetTypeID(cell.get()), 7 + 3);
    KVAV_SetTypeName(cell.get(), "float");
    EXPECT_EQ(cell->data.bits, 0u);
    KVAV_SetTypeName(cell.get(), "address"), KVAV_SetAddress(cell.get(), bits);
    KVAV_SetTypeName(cell.get(), "int");
    EXPECT_EQ(KVAV_GetAddress(cell.get()), bits);
    KVAV_SetTypeName(cell.get(), "address"), KVAV_SetAddress(cell.get(), &hostDatum);
    KVAV_SetTypeName(cell.get(), "string");  // the address is not taken for a block
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    KVAV_FromString(cell.get(), "text");  // block to block: the old one goes first
    KVAV_SetTypeName(cell.get(), "float4x4"), KVAV_SetTypeName(cell.get(), "double");
    EXPECT_EQ(cell->data.bits + static_cast<uint64_t>(KVAV_GetSize(cell.get())), 0u);

    // A host type's data is the host's: neither freed nor written through on leaving it.
    register_host_type(12, "host");
    KVAV_SetTypeID(cell.get(), 12);
    EXPECT_EQ(setAddressCalls, 0);    // no preparation under an identifier of its own
    KVAV_SetInteger(cell.get(), 41);  // and every call reaches the host's callbacks
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 1041);
    KVAV_SetDouble(cell.get(), 2.25);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 2.75);
    KVAV_FromString(cell.get(), "x"), KVAV_SetAddress(cell.get(), &cell);
    KVAV_ToString(cell.get(), buffer, 3);
    EXPECT_EQ(string(buffer) + std::to_string(setAddressCalls), "ho1");
    cell->data.p = &hostDatum, cell->size = 4;
    KVAV_SetTypeName(cell.get(), "float4");
    EXPECT_EQ(KVAV_GetSize(cell.get()) + hostDatum, 32);
    KVAV_SetTypeID(cell.get(), 11);  // an empty slot below the count is a type like any other
    EXPECT_STREQ(KVAV_GetTypeName(cell.get()), "");

    // A host type under identifier 7 is prepared like "float4" and its block freed on leaving.
    register_host_type(7, "host block");
    cell->data.p = &hostDatum;
    KVAV_SetTypeID(cell.get(), 7);
    EXPECT_EQ(setAddressCalls + (cell->data.p == nullptr), 3);
    KVAV_SetSize(cell.get(), 24), KVAV_SetTypeName(cell.get(), "int");
}

// Regression: only a block the value allocated is released or replaced; a value of no type or
// of an unknown type may carry the bits of an address or a number, never a block of ours. A
// value of a type gone ignores writes.
TEST_F(Values, SetSizeReplacesOnlyABlockTheValueOwns) {
    Cell text("string");
    KVAV_FromString(text.get(), "hello"), testhost::fail_after(0);
    KVAV_SetSize(text.get(), 16), testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetSize(text.get()) + (text->data.p == nullptr), 1);

    char hostMemory[16];
    for (const char *name : {"char", "short", "int", "float", "double", "address", "", "gone"}) {
        register_host_type(12, "gone");
        Cell cell(name);
        cell->data.p = hostMemory;
        KVAV_UnregisterValueType(12);
        KVAV_SetSize(cell.get(), 8);
        EXPECT_TRUE(cell->data.p == hostMemory && KVAV_GetSize(cell.get()) == 0) << name;
        if (name[0] != 'g') continue;
        KVAV_SetAddress(cell.get(), nullptr), KVAV_FromString(cell.get(), "x");
        EXPECT_TRUE(!KVAV_GetAddress(cell.get()) && cell->data.p == hostMemory);
    }
    // A host type given an address's bits owns only a block given it by a resize.
    register_host_type(13, "keeper");
    Cell keeper("address");
    KVAV_SetAddress(keeper.get(), hostMemory), KVAV_SetTypeID(keeper.get(), 13);
    KVAV_SetSize(keeper.get(), 8), KVAV_SetSize(keeper.get(), 16);
    EXPECT_EQ(KVAV_GetSize(keeper.get()) + is_live(keeper->data.p), 17);
}

TEST_F(Values, VectorAndStringBlocksKeepOrReplaceByTheirOwnRules) {
    KVAMEM_Init(poisoned_alloc, testhost::counting_free);  // nothing uninitialised may show
    Cell vector("float4"), matrix("float4x4"), text("string");
    EXPECT_EQ(Doubles(components(matrix.get()), components(matrix.get()) + 16), Doubles(16, 0.0));
    Doubles v = {1, 2, 3, 4};
    KVAV_SetAddress(vector.get(), v.data());
    EXPECT_NE(KVAV_GetAddress(vector.get()), v.data());
    // Parsing stops at the first number it cannot read; setting null keeps the block.
    KVAV_FromString(vector.get(), "5 6"), KVAV_FromString(vector.get(), "7 8 9 10 11");
    KVAV_FromString(vector.get(), ""), KVAV_SetAddress(vector.get(), nullptr);
    EXPECT_EQ(to_text(vector.get()), vector_text({7, 8, 9, 10}));
    // A block resized below the components is never overrun; a larger one is kept.
    KVAV_SetSize(matrix.get(), 64), KVAV_FromString(matrix.get(), "9");
    EXPECT_EQ(KVAV_GetSize(matrix.get()) + components(matrix.get())[15], 128);
    KVAV_SetSize(vector.get(), 48);
    void *block = KVAV_GetAddress(vector.get());
    KVAV_SetAddress(vector.get(), v.data());
    EXPECT_EQ(KVAV_GetAddress(vector.get()) == block ? components(vector.get())[3] : 0, 4);
    testhost::fail_after(0);
    Cell empty("float4");
    KVAV_FromString(empty.get(), "1");
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetSize(empty.get()), 0);

    // A string resized by the host holds no terminator: it is read within its size.
    KVAV_SetSize(text.get(), 4);
    EXPECT_EQ(to_text(text.get()) + to_text(text.get(), 3), string(6, '\xA5'));
    block = KVAV_GetAddress(text.get());
    KVAV_FromString(text.get(), "ab");  // shorter than the stored text: the block is kept
    EXPECT_EQ(KVAV_GetAddress(text.get()), block);
    KVAV_FromString(text.get(), "cd");  // not shorter: replaced by one of its own size
    EXPECT_EQ(KVAV_GetSize(text.get()), 3);
    block = KVAV_GetAddress(text.get());
    KVAV_SetAddress(text.get(), const_cast<char *>("hi"));  // by address: kept while it fits
    EXPECT_EQ(KVAV_GetAddress(text.get()), block);
    KVAV_SetAddress(text.get(), const_cast<char *>("hello"));
    // Its own text is taken before the old block goes.
    KVAV_FromString(text.get(), static_cast<char *>(KVAV_GetAddress(text.get())));
    KVAV_SetAddress(text.get(), static_cast<char *>(KVAV_GetAddress(text.get())) + 1);
    EXPECT_EQ(to_text(text.get()) + std::to_string(KVAV_GetSize(text.get())), "ello6");
    KVAV_SetSize(text.get(), 0), KVAV_FromString(text.get(), "");
    EXPECT_EQ(KVAV_GetSize(text.get()), 1);
    testhost::fail_after(0);
    KVAV_FromString(text.get(), "longer");
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetAddress(text.get()), nullptr);
    KVAMEM_Init(testhost::counting_alloc, testhost::counting_free);
}

}  // namespace
