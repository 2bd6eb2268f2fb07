// The nine built-in value types: numeric rules, text forms, parsing and blocks.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_host.h"
#include "value_cell.h"

namespace {

using testhost::c_format;
using testhost::counts;
using testhost::value_text;
using testhost::ValueCell;

class ValueTypes : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::start_library();
        liveAtStart = counts().live.size();
    }
    void TearDown() override {
        testhost::fail_after(-1);
        EXPECT_EQ(counts().live.size(), liveAtStart);
        EXPECT_EQ(counts().foreignFrees, 0);
        KVAEQM_Exit();
    }
    size_t liveAtStart = 0;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> components(Value *value, int count) {
    std::vector<double> result(static_cast<size_t>(count));
    std::memcpy(result.data(), KVAV_GetAddress(value), result.size() * sizeof(double));
    return result;
}

// The float4x4 text as the C library forms it: "%10.3lf" sixteen times, single spaces.
std::string matrix_text(const double (&m)[16]) {
    std::string text;
    for (int i = 0; i < 16; ++i) text += (i == 0 ? "" : " ") + c_format("%10.3lf", m[i]);
    return text;
}

TEST_F(ValueTypes, CharHoldsOneSignedByte) {
    ValueCell cell("char");
    KVAV_FromString(cell.get(), "xyz");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 'x');
    KVAV_FromString(cell.get(), "");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0);

    KVAV_SetInteger(cell.get(), 65);
    EXPECT_EQ(value_text(cell.get()), c_format("%c", 65));
    EXPECT_EQ(value_text(cell.get()), "A");

    KVAV_SetInteger(cell.get(), 200);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -56);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), -56.0);
    KVAV_SetInteger(cell.get(), 0x1234);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0x34);

    KVAV_SetDouble(cell.get(), 65.9);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 65);
    KVAV_SetDouble(cell.get(), -2.9);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -2);
    KVAV_SetDouble(cell.get(), 300.0);  // low 8 bits of 300
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 44);
}

TEST_F(ValueTypes, ShortKeepsTheLowSixteenBits) {
    ValueCell cell("short");
    KVAV_FromString(cell.get(), "70000");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 4464);
    KVAV_FromString(cell.get(), "-70000");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -4464);
    KVAV_FromString(cell.get(), " \t-123abc");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -123);
    EXPECT_EQ(value_text(cell.get()), c_format("%hd", static_cast<short>(-123)));

    KVAV_SetInteger(cell.get(), 70000);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 4464);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 4464.0);
    KVAV_SetInteger(cell.get(), -32768);
    EXPECT_EQ(value_text(cell.get()), c_format("%hd", static_cast<short>(-32768)));

    KVAV_SetDouble(cell.get(), 65537.9);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 1);
    KVAV_SetDouble(cell.get(), -7.99);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -7);
}

TEST_F(ValueTypes, IntParsesALeadingDecimalInteger) {
    ValueCell cell("int");
    const struct {
        const char *text;
        int32_t expected;
    } cases[] = {{"42abc", 42},
                 {"abc", 0},
                 {"", 0},
                 {"  -17xyz", -17},
                 {"+5", 5},
                 {"\n\t 12", 12},
                 {"- 3", 0},
                 {"1.9", 1},
                 {"0x10", 0},
                 {"-2147483648", INT32_MIN},
                 {"2147483647", INT32_MAX}};
    for (const auto &c : cases) {
        KVAV_SetInteger(cell.get(), 99);
        KVAV_FromString(cell.get(), c.text);
        EXPECT_EQ(KVAV_GetInteger(cell.get()), c.expected) << '"' << c.text << '"';
    }

    for (int32_t number : {0, 7, -1, INT32_MAX, INT32_MIN}) {
        KVAV_SetInteger(cell.get(), number);
        EXPECT_EQ(KVAV_GetInteger(cell.get()), number);
        EXPECT_EQ(KVAV_GetDouble(cell.get()), static_cast<double>(number));
        EXPECT_EQ(value_text(cell.get()), c_format("%d", number));
    }

    KVAV_SetDouble(cell.get(), 2.7);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 2);
    KVAV_SetDouble(cell.get(), -2.7);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -2);
}

TEST_F(ValueTypes, DoublesBeyondTheIntegerRangeSaturate) {
    // Truncation of numbers outside the signed 32-bit range saturates, NaN gives 0; the
    // narrower integers then keep their low bits.
    struct Case {
        double number;
        int32_t asInt;
    };
    const Case cases[] = {{3e9, INT32_MAX},          {-3e9, INT32_MIN},         {1e300, INT32_MAX},
                          {-HUGE_VAL, INT32_MIN},    {HUGE_VAL, INT32_MAX},     {kNaN, 0},
                          {2147483647.9, INT32_MAX}, {-2147483648.9, INT32_MIN}};
    ValueCell integer("int");
    ValueCell small("short");
    ValueCell byte("char");
    ValueCell single("float");
    ValueCell wide("double");
    for (const Case &c : cases) {
        KVAV_SetDouble(integer.get(), c.number);
        EXPECT_EQ(KVAV_GetInteger(integer.get()), c.asInt) << c.number;
        KVAV_SetDouble(small.get(), c.number);
        EXPECT_EQ(KVAV_GetInteger(small.get()), static_cast<int16_t>(c.asInt)) << c.number;
        KVAV_SetDouble(byte.get(), c.number);
        EXPECT_EQ(KVAV_GetInteger(byte.get()), static_cast<int8_t>(c.asInt)) << c.number;
        KVAV_SetDouble(wide.get(), c.number);
        EXPECT_EQ(KVAV_GetInteger(wide.get()), c.asInt) << c.number;
        // Every case lies beyond the range in single precision too (or is NaN).
        KVAV_SetDouble(single.get(), c.number);
        EXPECT_EQ(KVAV_GetInteger(single.get()), c.asInt) << c.number;
    }
    // Decimal texts beyond the range saturate as well.
    KVAV_FromString(integer.get(), "99999999999");
    EXPECT_EQ(KVAV_GetInteger(integer.get()), INT32_MAX);
    KVAV_FromString(integer.get(), "-99999999999999999999999");
    EXPECT_EQ(KVAV_GetInteger(integer.get()), INT32_MIN);
}

TEST_F(ValueTypes, FloatRoundsToSinglePrecisionAndTruncatesTowardZero) {
    ValueCell cell("float");
    KVAV_SetDouble(cell.get(), 2.7);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 2);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), static_cast<double>(2.7f));
    KVAV_SetDouble(cell.get(), -2.7);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -2);

    KVAV_SetDouble(cell.get(), 1.5);
    EXPECT_EQ(value_text(cell.get()), c_format("%f", 1.5));
    EXPECT_EQ(value_text(cell.get()).size(), 8u);  // six decimals
    KVAV_SetDouble(cell.get(), 0.1);
    EXPECT_EQ(value_text(cell.get()), c_format("%f", static_cast<double>(0.1f)));

    KVAV_SetInteger(cell.get(), 16777217);  // nearest single-precision number
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 16777216.0);

    KVAV_FromString(cell.get(), " 3.25xyz");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 3.25);
    KVAV_FromString(cell.get(), "abc");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    KVAV_FromString(cell.get(), "-1e-3");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), static_cast<double>(-1e-3f));

    // Beyond the single-precision range the number rounds to an infinity.
    KVAV_SetDouble(cell.get(), 1e300);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), HUGE_VAL);
    KVAV_FromString(cell.get(), "-1e39");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), -HUGE_VAL);
    KVAV_SetDouble(cell.get(), static_cast<double>(FLT_MAX));
    EXPECT_EQ(KVAV_GetDouble(cell.get()), static_cast<double>(FLT_MAX));
    KVAV_SetDouble(cell.get(), kNaN);
    EXPECT_TRUE(std::isnan(KVAV_GetDouble(cell.get())));
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0);
}

TEST_F(ValueTypes, DoubleIsExactAndCutToTheBuffer) {
    ValueCell cell("double");
    KVAV_SetInteger(cell.get(), 2);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 2.0);
    EXPECT_EQ(value_text(cell.get()), c_format("%lf", 2.0));
    KVAV_SetDouble(cell.get(), -1234.56789);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), -1234);
    EXPECT_EQ(value_text(cell.get()), c_format("%lf", -1234.56789));

    KVAV_FromString(cell.get(), "  -1.5e3 rest");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), -1500.0);
    KVAV_FromString(cell.get(), "none");
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);

    // 1e80 takes 88 characters: an 80-byte buffer gets the first 79 and a terminator.
    KVAV_SetDouble(cell.get(), 1e80);
    const std::string full = c_format("%lf", 1e80);
    ASSERT_EQ(full.size(), 88u);
    char buffer[96];
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(cell.get(), buffer, 80);
    EXPECT_EQ(std::string(buffer), full.substr(0, 79));
    EXPECT_EQ(buffer[80], 'x');  // nothing beyond the buffer's size
    EXPECT_EQ(value_text(cell.get(), 200), full);

    KVAV_SetDouble(cell.get(), -DBL_MAX);
    EXPECT_EQ(value_text(cell.get(), 400), c_format("%lf", -DBL_MAX));
    EXPECT_EQ(value_text(cell.get(), 2), "-");
}

TEST_F(ValueTypes, RawAddressCallbacksExposeTheBitsOfNumbers) {
    ValueCell cell("double");
    KVAV_SetDouble(cell.get(), 1.0);
    void *bits = KVAV_GetAddress(cell.get());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bits), UINT64_C(0x3FF0000000000000));

    ValueCell integer("int");
    KVAV_SetAddress(integer.get(), reinterpret_cast<void *>(UINT64_C(0xAAAABBBB0000002A)));
    EXPECT_EQ(KVAV_GetInteger(integer.get()), 42);
    KVAV_SetInteger(integer.get(), -1);  // only the int's own 4 bytes change
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAV_GetAddress(integer.get())),
              UINT64_C(0xAAAABBBBFFFFFFFF));
}

TEST_F(ValueTypes, AddressPrintsInThePlatformPointerFormatAndReadsDecimal) {
    ValueCell cell("address");
    int target = 0;
    KVAV_SetAddress(cell.get(), &target);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), static_cast<void *>(&target));
    const std::string text = value_text(cell.get());
    EXPECT_EQ(text, c_format("%p", static_cast<void *>(&target)));

    // The hexadecimal text does not read back.
    KVAV_FromString(cell.get(), text.c_str());
    EXPECT_NE(KVAV_GetAddress(cell.get()), static_cast<void *>(&target));

    KVAV_FromString(cell.get(), "123");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAV_GetAddress(cell.get())), 123u);
    KVAV_FromString(cell.get(), "-1");  // sign-extended to 64 bits
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAV_GetAddress(cell.get())), UINTPTR_MAX);
    KVAV_SetAddress(cell.get(), nullptr);
    EXPECT_EQ(value_text(cell.get()), c_format("%p", static_cast<void *>(nullptr)));

    // No integer or double form.
    KVAV_FromString(cell.get(), "77");
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0);
    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    KVAV_SetInteger(cell.get(), 5);
    KVAV_SetDouble(cell.get(), 5.0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAV_GetAddress(cell.get())), 77u);
}

TEST_F(ValueTypes, Float4PrintsFourRightAlignedComponents) {
    ValueCell cell("float4");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 32);
    const double numbers[4] = {1, 2, 3, 4};
    KVAV_SetAddress(cell.get(), const_cast<double *>(numbers));
    EXPECT_NE(KVAV_GetAddress(cell.get()), static_cast<const void *>(numbers));
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({1, 2, 3, 4}));

    const std::string expected = c_format("%10.3lf %10.3lf %10.3lf %10.3lf", 1.0, 2.0, 3.0, 4.0);
    EXPECT_EQ(expected.size(), 43u);
    EXPECT_EQ(expected.substr(0, 11), "     1.000 ");
    // The rest of the buffer is NUL-filled up to its size.
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(cell.get(), buffer, 60);
    EXPECT_EQ(std::string(buffer), expected);
    for (int i = 43; i < 60; ++i) EXPECT_EQ(buffer[i], '\0') << i;
    EXPECT_EQ(buffer[60], 'x');

    // Cut to size - 1 characters.
    std::memset(buffer, 'x', sizeof buffer);
    KVAV_ToString(cell.get(), buffer, 20);
    EXPECT_EQ(std::string(buffer), expected.substr(0, 19));
    EXPECT_EQ(buffer[20], 'x');

    // Parsing stops at the first number that cannot be read.
    KVAV_FromString(cell.get(), "5 6");
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({5, 6, 3, 4}));
    KVAV_FromString(cell.get(), "  -1.5\t2e2 x 9");
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({-1.5, 200, 3, 4}));
    KVAV_FromString(cell.get(), "7 8 9 10 11");
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({7, 8, 9, 10}));
    KVAV_FromString(cell.get(), "");
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({7, 8, 9, 10}));

    // A null address or the block's own address leaves the components as they are.
    void *block = KVAV_GetAddress(cell.get());
    KVAV_SetAddress(cell.get(), nullptr);
    KVAV_SetAddress(cell.get(), block);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), block);
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({7, 8, 9, 10}));

    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0);
    KVAV_SetInteger(cell.get(), 1);
    KVAV_SetDouble(cell.get(), 1.0);
    EXPECT_EQ(components(cell.get(), 4), std::vector<double>({7, 8, 9, 10}));
}

TEST_F(ValueTypes, Float4x4PrintsSixteenComponents) {
    ValueCell cell("float4x4");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 128);
    EXPECT_EQ(components(cell.get(), 16), std::vector<double>(16, 0.0));

    double m[16];
    for (int i = 0; i < 16; ++i) m[i] = (i - 5) * 1.25;
    KVAV_SetAddress(cell.get(), m);
    const std::string expected = matrix_text(m);
    EXPECT_EQ(value_text(cell.get(), 400), expected);
    EXPECT_EQ(value_text(cell.get(), 80), expected.substr(0, 79));

    KVAV_FromString(cell.get(), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
    std::vector<double> counted(16);
    for (int i = 0; i < 16; ++i) counted[static_cast<size_t>(i)] = i + 1;
    EXPECT_EQ(components(cell.get(), 16), counted);

    KVAV_FromString(cell.get(), "0 0 bad 0");
    counted[0] = counted[1] = 0;
    EXPECT_EQ(components(cell.get(), 16), counted);
}

TEST_F(ValueTypes, VeryLongVectorTextsAreCutWithoutOverflow) {
    // Components near the largest double print over 300 characters each: a float4x4 text is
    // then more than 5000 characters long.
    double m[16];
    for (int i = 0; i < 16; ++i) m[i] = (i % 2 == 0 ? -DBL_MAX : DBL_MAX);
    ValueCell matrix("float4x4");
    KVAV_SetAddress(matrix.get(), m);
    const std::string expected = matrix_text(m);
    ASSERT_GT(expected.size(), 5000u);
    EXPECT_EQ(value_text(matrix.get(), 8000), expected);
    EXPECT_EQ(value_text(matrix.get(), 80), expected.substr(0, 79));
    EXPECT_EQ(value_text(matrix.get(), 1000), expected.substr(0, 999));

    const double v[4] = {DBL_MAX, -DBL_MAX, HUGE_VAL, kNaN};
    ValueCell vector("float4");
    KVAV_SetAddress(vector.get(), const_cast<double *>(v));
    const std::string vectorText =
        c_format("%10.3lf %10.3lf %10.3lf %10.3lf", v[0], v[1], v[2], v[3]);
    EXPECT_EQ(value_text(vector.get(), 2000), vectorText);
    EXPECT_EQ(value_text(vector.get(), 80), vectorText.substr(0, 79));
    EXPECT_EQ(value_text(vector.get(), 1), "");
}

TEST_F(ValueTypes, FreshVectorBlocksStartAtZero) {
    // The allocator hands out blocks full of 0xA5: nothing uninitialised must show.
    testhost::PoisonedAllocations poisoned;
    ValueCell vector("float4");
    EXPECT_EQ(components(vector.get(), 4), std::vector<double>(4, 0.0));
    ValueCell matrix("float4x4");
    EXPECT_EQ(components(matrix.get(), 16), std::vector<double>(16, 0.0));

    // A value that lost its block gets a cleared one back when text arrives.
    testhost::fail_after(0);
    ValueCell empty("float4");
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetAddress(empty.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(empty.get()), 0);
    char buffer[8] = "same";
    KVAV_ToString(empty.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text
    KVAV_FromString(empty.get(), "2.5");
    EXPECT_EQ(KVAV_GetSize(empty.get()), 32);
    EXPECT_EQ(components(empty.get(), 4), std::vector<double>({2.5, 0, 0, 0}));
}

TEST_F(ValueTypes, VectorsWithoutABlockStayWithoutOneWhenAllocationFails) {
    testhost::fail_after(0);
    ValueCell vector("float4");
    ValueCell matrix("float4x4");
    KVAV_FromString(vector.get(), "1 2 3 4");
    const double m[16] = {1};
    KVAV_SetAddress(matrix.get(), const_cast<double *>(m));
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetAddress(vector.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(vector.get()), 0);
    EXPECT_EQ(KVAV_GetAddress(matrix.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(matrix.get()), 0);

    // Once memory is there again, setting by address gives a block with the data.
    KVAV_SetAddress(matrix.get(), const_cast<double *>(m));
    EXPECT_EQ(KVAV_GetSize(matrix.get()), 128);
    EXPECT_EQ(components(matrix.get(), 16)[0], 1.0);
}

TEST_F(ValueTypes, VectorBlocksResizedBelowTheirComponentsAreNotOverrun) {
    ValueCell vector("float4");
    KVAV_SetSize(vector.get(), 8);
    char buffer[8] = "same";
    KVAV_ToString(vector.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text
    const double v[4] = {1, 2, 3, 4};
    KVAV_SetAddress(vector.get(), const_cast<double *>(v));
    EXPECT_EQ(KVAV_GetSize(vector.get()), 32);
    EXPECT_EQ(components(vector.get(), 4), std::vector<double>({1, 2, 3, 4}));

    ValueCell matrix("float4x4");
    KVAV_SetSize(matrix.get(), 64);
    KVAV_FromString(matrix.get(), "9");
    EXPECT_EQ(KVAV_GetSize(matrix.get()), 128);
    EXPECT_EQ(components(matrix.get(), 16)[0], 9.0);
    EXPECT_EQ(components(matrix.get(), 16)[15], 0.0);

    // A larger block than needed is kept.
    KVAV_SetSize(vector.get(), 48);
    void *block = KVAV_GetAddress(vector.get());
    KVAV_SetAddress(vector.get(), const_cast<double *>(v));
    EXPECT_EQ(KVAV_GetAddress(vector.get()), block);
    EXPECT_EQ(KVAV_GetSize(vector.get()), 48);
}

TEST_F(ValueTypes, StringGrowsByTwoDifferentRules) {
    ValueCell cell("string");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);

    // Setting by address keeps a block whose size suffices.
    KVAV_SetAddress(cell.get(), const_cast<char *>("hello"));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 6);
    void *block = KVAV_GetAddress(cell.get());
    EXPECT_STREQ(static_cast<char *>(block), "hello");
    KVAV_SetAddress(cell.get(), const_cast<char *>("hi"));
    EXPECT_EQ(KVAV_GetAddress(cell.get()), block);
    EXPECT_EQ(KVAV_GetSize(cell.get()), 6);
    EXPECT_EQ(value_text(cell.get()), "hi");
    KVAV_SetAddress(cell.get(), nullptr);
    EXPECT_EQ(value_text(cell.get()), "hi");
    KVAV_SetAddress(cell.get(), const_cast<char *>("longer text"));
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 12);

    // Setting from text keeps the block only while the stored text is longer.
    KVAV_FromString(cell.get(), "hello");
    block = KVAV_GetAddress(cell.get());
    EXPECT_EQ(KVAV_GetSize(cell.get()), 12);  // 11 letters stored, longer than 5
    KVAV_SetAddress(cell.get(), const_cast<char *>("hello"));
    KVAV_SetSize(cell.get(), 6);
    KVAV_SetAddress(cell.get(), const_cast<char *>("hello"));
    block = KVAV_GetAddress(cell.get());
    KVAV_FromString(cell.get(), "ab");  // over 5 letters: kept
    EXPECT_EQ(KVAV_GetAddress(cell.get()), block);
    EXPECT_EQ(KVAV_GetSize(cell.get()), 6);
    EXPECT_EQ(value_text(cell.get()), "ab");
    KVAV_FromString(cell.get(), "cd");  // over 2 letters in 6 bytes: a block of 3
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 3);
    EXPECT_EQ(value_text(cell.get()), "cd");

    KVAV_FromString(cell.get(), "hello");
    block = KVAV_GetAddress(cell.get());
    EXPECT_EQ(KVAV_GetSize(cell.get()), 6);
    KVAV_FromString(cell.get(), "world");  // as long as the stored text: replaced
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetSize(cell.get()), 6);
    EXPECT_EQ(value_text(cell.get()), "world");

    KVAV_FromString(cell.get(), "");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 6);
    EXPECT_EQ(value_text(cell.get()), "");
}

TEST_F(ValueTypes, StringTextIsCutAndAbsentTextIsEmpty) {
    ValueCell cell("string");
    char buffer[8] = "same";
    KVAV_ToString(cell.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);

    KVAV_FromString(cell.get(), "hello world");
    EXPECT_EQ(value_text(cell.get(), 6), "hello");
    EXPECT_EQ(value_text(cell.get(), 1), "");
    EXPECT_EQ(value_text(cell.get()), "hello world");
    EXPECT_STREQ(static_cast<char *>(KVAV_GetAddress(cell.get())), "hello world");

    EXPECT_EQ(KVAV_GetDouble(cell.get()), 0.0);
    EXPECT_EQ(KVAV_GetInteger(cell.get()), 0);
    KVAV_SetInteger(cell.get(), 1);
    KVAV_SetDouble(cell.get(), 1.0);
    EXPECT_EQ(value_text(cell.get()), "hello world");
}

TEST_F(ValueTypes, StringTakesItsOwnTextSafely) {
    ValueCell cell("string");
    KVAV_FromString(cell.get(), "self");
    // The stored text is exactly as long as the new one: the block is replaced, and the text
    // is taken before the old block goes.
    KVAV_FromString(cell.get(), static_cast<char *>(KVAV_GetAddress(cell.get())));
    EXPECT_EQ(value_text(cell.get()), "self");
    KVAV_SetAddress(cell.get(), static_cast<char *>(KVAV_GetAddress(cell.get())) + 1);
    EXPECT_EQ(value_text(cell.get()), "elf");
    KVAV_FromString(cell.get(), static_cast<char *>(KVAV_GetAddress(cell.get())) + 2);
    EXPECT_EQ(value_text(cell.get()), "f");
}

TEST_F(ValueTypes, StringLosesItsBlockWhenAllocationFails) {
    ValueCell cell("string");
    KVAV_FromString(cell.get(), "abc");
    void *block = KVAV_GetAddress(cell.get());
    testhost::fail_after(0);
    KVAV_FromString(cell.get(), "abcdef");
    testhost::fail_after(-1);
    EXPECT_FALSE(testhost::is_live(block));
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
    char buffer[8] = "same";
    KVAV_ToString(cell.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");  // nothing to format: an empty text

    testhost::fail_after(0);
    KVAV_SetAddress(cell.get(), const_cast<char *>("xyz"));
    testhost::fail_after(-1);
    EXPECT_EQ(KVAV_GetAddress(cell.get()), nullptr);
    EXPECT_EQ(KVAV_GetSize(cell.get()), 0);
}

TEST_F(ValueTypes, StringBlocksResizedByTheHostAreReadWithinTheirSize) {
    // A resized block holds uninitialised bytes, with no terminator in them.
    testhost::PoisonedAllocations poisoned;
    ValueCell cell("string");
    KVAV_SetSize(cell.get(), 4);
    EXPECT_EQ(value_text(cell.get()), std::string(4, '\xA5'));
    EXPECT_EQ(value_text(cell.get(), 3), std::string(2, '\xA5'));
    // Four bytes of stored "text" are longer than "ab": the block is kept.
    void *block = KVAV_GetAddress(cell.get());
    KVAV_FromString(cell.get(), "ab");
    EXPECT_EQ(KVAV_GetAddress(cell.get()), block);
    EXPECT_EQ(value_text(cell.get()), "ab");
    KVAV_SetSize(cell.get(), 0);
    KVAV_FromString(cell.get(), "");
    EXPECT_EQ(KVAV_GetSize(cell.get()), 1);
    EXPECT_EQ(value_text(cell.get()), "");
}

TEST_F(ValueTypes, CallbacksCalledThroughTheirRecordsRefuseBadArguments) {
    for (int32_t id = 1; id <= 9; ++id) {
        const ValueTypeRecord *type = KVAV_GetValueFactory(id);
        ValueCell cell;
        KVAV_SetTypeID(cell.get(), id);
        KVAV_FromString(cell.get(), "1");
        const int32_t before = KVAV_GetInteger(cell.get());
        char buffer[8] = "same";
        type->toStringFunc(cell.get(), nullptr, 8);
        type->toStringFunc(cell.get(), buffer, 0);
        type->toStringFunc(cell.get(), buffer, -1);
        type->toStringFunc(nullptr, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, "same") << id;
        type->fromStringFunc(cell.get(), nullptr);
        type->fromStringFunc(nullptr, "2");
        if (type->getIntegerFunc != nullptr) {
            EXPECT_EQ(type->getIntegerFunc(nullptr), 0);
            EXPECT_EQ(type->getDoubleFunc(nullptr), 0.0);
            type->setIntegerFunc(nullptr, 1);
            type->setDoubleFunc(nullptr, 1.0);
            EXPECT_EQ(KVAV_GetInteger(cell.get()), before) << id;
        }
        EXPECT_EQ(type->getAddressFunc(nullptr), nullptr);
        type->setAddressFunc(nullptr, buffer);
    }
    // The numeric callbacks act only on the identifiers they know.
    ValueCell address("address");
    KVAV_SetAddress(address.get(), reinterpret_cast<void *>(uintptr_t{5}));
    const ValueTypeRecord *numbers = KVAV_GetValueFactory(3);
    EXPECT_EQ(numbers->getIntegerFunc(address.get()), 0);
    EXPECT_EQ(numbers->getDoubleFunc(address.get()), 0.0);
    numbers->setIntegerFunc(address.get(), 9);
    numbers->setDoubleFunc(address.get(), 9.0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(KVAV_GetAddress(address.get())), 5u);
}

}  // namespace
