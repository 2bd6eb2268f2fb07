// The operator registry: built-in operators, lookups, registration and unregistration.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "test_host.h"

namespace {

int32_t host_operator(Variable *, int32_t, Parameter **) { return 1; }

struct BuiltIn {
    int32_t id;
    const char *name;
    int32_t numParameters;
};

constexpr BuiltIn kBuiltIns[] = {
    {1, "Move Value", 1},   {2, "Clamp", 3},       {3, "DriveDOF", 6},
    {4, "IsBetween", 3},    {5, "IsOutside", 3},   {6, "AsciiFile", 4},
    {7, "++", 1},           {8, "--", 1},          {9, "~", 1},
    {10, "!", 1},           {11, "&", 1},          {12, "*Var", 1},
    {13, "Change Sign", 1}, {14, "*", 2},          {15, "/", 2},
    {16, "%", 2},           {17, "+", 2},          {18, "-", 2},
    {19, "<<", 2},          {20, ">>", 2},         {21, "<", 2},
    {22, "<=", 2},          {23, ">", 2},          {24, ">=", 2},
    {25, "==", 2},          {26, "!=", 2},         {27, "& Bitwise", 2},
    {28, "^ Bitwise", 2},   {29, "| Bitwise", 2},  {30, "&&", 2},
    {31, "||", 2},          {32, "? :", 3},        {33, "abs", 1},
    {34, "acos", 1},        {35, "asin", 1},       {36, "atan", 1},
    {37, "atan2", 2},       {38, "ceiling", 1},    {39, "cos", 1},
    {40, "cosh", 1},        {41, "Rad to Deg", 1}, {42, "exp", 1},
    {43, "floor", 1},       {44, "fmod", 2},       {45, "isfinite", 1},
    {46, "isnan", 1},       {47, "lerp", 3},       {48, "log", 1},
    {49, "log10", 1},       {50, "max", 2},        {51, "min", 2},
    {52, "pow", 2},         {53, "Deg to Rad", 1}, {54, "round", 1},
    {55, "sign", 1},        {56, "sin", 1},        {57, "sinh", 1},
    {58, "step", 2},        {59, "sqrt", 1},       {60, "tan", 1},
    {61, "tanh", 1},
};

class Operators : public ::testing::Test {
protected:
    void SetUp() override { testhost::start_library(); }
    void TearDown() override { KVAEQM_Exit(); }
};

TEST_F(Operators, BuiltInsHaveTheirNamesIdentifiersAndParameterCounts) {
    EXPECT_EQ(KVAOP_GetNumTypes(), 62);
    ASSERT_EQ(std::size(kBuiltIns), 61u);
    for (const BuiltIn &expected : kBuiltIns) {
        SCOPED_TRACE(expected.name);
        const OperatorRecord *record = KVAOP_GetOperator(expected.id);
        ASSERT_NE(record, nullptr);
        EXPECT_STREQ(record->name, expected.name);
        EXPECT_STREQ(KVAOP_NameOfID(expected.id), expected.name);
        EXPECT_EQ(KVAOP_IDOfName(expected.name), expected.id);
        EXPECT_EQ(record->numParameters, expected.numParameters);
        EXPECT_EQ(KVAOP_GetNumParameters(expected.id), expected.numParameters);
        EXPECT_EQ(KVAOP_GetFunc(expected.id), record->func);
    }
}

TEST_F(Operators, SlotZeroIsReservedAndLookupsOutsideTheTableGiveNothing) {
    ASSERT_NE(KVAOP_GetOperator(0), nullptr);
    EXPECT_STREQ(KVAOP_NameOfID(0), "");
    EXPECT_EQ(KVAOP_GetFunc(0), nullptr);
    EXPECT_EQ(KVAOP_GetNumParameters(0), 0);
    EXPECT_EQ(KVAOP_IDOfName(""), 0);

    for (int32_t id : {-1, 62, 1000}) {
        EXPECT_EQ(KVAOP_GetOperator(id), nullptr) << id;
        EXPECT_EQ(KVAOP_NameOfID(id), nullptr) << id;
        EXPECT_EQ(KVAOP_GetFunc(id), nullptr) << id;
        EXPECT_EQ(KVAOP_GetNumParameters(id), 0) << id;
    }
    EXPECT_EQ(KVAOP_IDOfName("Sin"), 0);
    EXPECT_EQ(KVAOP_IDOfName("sin "), 0);
    EXPECT_EQ(KVAOP_IDOfName(nullptr), 0);
}

TEST_F(Operators, ADuplicateNameGetsAHigherIdentifierAndTheOlderIsFound) {
    OperatorRecord *second = KVAOP_RegisterOperator(5, "Clamp", host_operator);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second, KVAOP_GetOperator(62));
    EXPECT_EQ(second->numParameters, 5);
    EXPECT_EQ(KVAOP_GetFunc(62), host_operator);
    EXPECT_EQ(KVAOP_IDOfName("Clamp"), 2);
    EXPECT_EQ(KVAOP_GetNumTypes(), 63);
}

TEST_F(Operators, UnregisteringClearsTheSlotInPlace) {
    KVAOP_UnregisterOperator(14);
    EXPECT_EQ(KVAOP_GetFunc(14), nullptr);
    EXPECT_EQ(KVAOP_GetNumParameters(14), 0);
    EXPECT_STREQ(KVAOP_NameOfID(14), "");
    EXPECT_EQ(KVAOP_IDOfName("*"), 0);
    EXPECT_EQ(KVAOP_GetNumTypes(), 62);
    EXPECT_STREQ(KVAOP_NameOfID(15), "/");

    // The identifier is not reused: the next registration takes the count.
    OperatorRecord *next = KVAOP_RegisterOperator(2, "*", host_operator);
    ASSERT_EQ(next, KVAOP_GetOperator(62));
    EXPECT_EQ(KVAOP_IDOfName("*"), 62);
}

TEST_F(Operators, UnregisteringOutsideTheTableDoesNothing) {
    for (int32_t id : {-1, 62, 1000, INT32_MIN, INT32_MAX}) KVAOP_UnregisterOperator(id);
    EXPECT_EQ(KVAOP_GetNumTypes(), 62);
    for (const BuiltIn &expected : kBuiltIns) {
        EXPECT_STREQ(KVAOP_NameOfID(expected.id), expected.name);
    }
}

TEST_F(Operators, RegistrationGrowsTheTableOneRecordAtATimeBeyondItsStart) {
    const long allocations = testhost::counts().allocations;
    OperatorRecord *first = KVAOP_RegisterOperator(1, "Host A", host_operator);
    OperatorRecord *second = KVAOP_RegisterOperator(2, "Host B", nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first, KVAOP_GetOperator(62));
    EXPECT_EQ(second, KVAOP_GetOperator(63));
    EXPECT_EQ(testhost::counts().allocations, allocations);  // the first 64 records suffice

    OperatorRecord *third = KVAOP_RegisterOperator(3, "Host C", host_operator);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third, KVAOP_GetOperator(64));
    EXPECT_EQ(testhost::counts().allocations, allocations + 1);
    EXPECT_EQ(KVAOP_GetNumTypes(), 65);

    // Records registered before the table moved keep their contents.
    EXPECT_STREQ(KVAOP_NameOfID(62), "Host A");
    EXPECT_EQ(KVAOP_GetNumParameters(63), 2);
    EXPECT_EQ(KVAOP_GetFunc(62), host_operator);
    EXPECT_EQ(KVAOP_GetFunc(63), nullptr);
    EXPECT_EQ(KVAOP_IDOfName("tanh"), 61);
    EXPECT_EQ(KVAOP_IDOfName("Host C"), 64);

    KVAOP_RegisterOperator(0, "Host D", nullptr);
    EXPECT_EQ(testhost::counts().allocations, allocations + 2);
}

TEST_F(Operators, NamesAreCutToSeventyNineCharactersAndNullIsRefused) {
    const std::string longName(200, 'o');
    OperatorRecord *record = KVAOP_RegisterOperator(1, longName.c_str(), host_operator);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::string(record->name), longName.substr(0, 79));
    EXPECT_EQ(KVAOP_IDOfName(longName.substr(0, 79).c_str()), 62);

    EXPECT_EQ(KVAOP_RegisterOperator(1, nullptr, host_operator), nullptr);
    EXPECT_EQ(KVAOP_GetNumTypes(), 63);
}

TEST_F(Operators, ATableThatCannotGrowRegistersNothing) {
    KVAOP_RegisterOperator(1, "Host A", nullptr);
    KVAOP_RegisterOperator(1, "Host B", nullptr);
    testhost::fail_after(0);
    EXPECT_EQ(KVAOP_RegisterOperator(1, "Host C", host_operator), nullptr);
    testhost::fail_after(-1);
    EXPECT_EQ(KVAOP_GetNumTypes(), 64);
    EXPECT_EQ(KVAOP_IDOfName("Host C"), 0);
    EXPECT_STREQ(KVAOP_NameOfID(63), "Host B");
    EXPECT_NE(KVAOP_RegisterOperator(1, "Host C", host_operator), nullptr);
    EXPECT_EQ(KVAOP_IDOfName("Host C"), 64);
}

TEST_F(Operators, StartingTwiceRegistersNothingAndStoppingTwiceIsHarmless) {
    KVAOP_RegisterOperator(1, "Host", host_operator);
    KVAOP_Init();
    EXPECT_EQ(KVAOP_GetNumTypes(), 63);
    EXPECT_EQ(KVAOP_IDOfName("Host"), 62);

    KVAOP_Exit();
    EXPECT_EQ(KVAOP_GetNumTypes(), 0);
    EXPECT_EQ(KVAOP_GetOperator(0), nullptr);
    EXPECT_EQ(KVAOP_GetOperator(1), nullptr);
    EXPECT_EQ(KVAOP_IDOfName("Move Value"), 0);
    EXPECT_EQ(KVAOP_GetFunc(1), nullptr);
    KVAOP_Exit();
    EXPECT_EQ(testhost::counts().foreignFrees, 0);

    // Started again, slot 0 is still reserved and the built-ins keep their identifiers.
    KVAOP_Init();
    EXPECT_EQ(KVAOP_GetNumTypes(), 62);
    EXPECT_STREQ(KVAOP_NameOfID(0), "");
    EXPECT_EQ(KVAOP_IDOfName("Move Value"), 1);
    EXPECT_EQ(KVAOP_IDOfName("tanh"), 61);
    EXPECT_EQ(KVAOP_IDOfName("Host"), 0);
}

TEST(OperatorsWithoutInit, NothingIsRegisteredWhileTheTableHasNoStorage) {
    EXPECT_EQ(KVAOP_GetNumTypes(), 1);
    EXPECT_EQ(KVAOP_RegisterOperator(2, "Early", host_operator), nullptr);
    EXPECT_EQ(KVAOP_IDOfName("Early"), 0);
    EXPECT_EQ(KVAOP_GetOperator(0), nullptr);
    KVAOP_Exit();  // nothing to release: the count stays
    EXPECT_EQ(KVAOP_GetNumTypes(), 1);

    testhost::start_library();
    EXPECT_EQ(KVAOP_GetNumTypes(), 62);
    KVAOP_Exit();
    EXPECT_EQ(KVAOP_RegisterOperator(2, "Late", host_operator), nullptr);
    EXPECT_EQ(KVAOP_GetNumTypes(), 0);
    KVAEQM_Exit();
}

}  // namespace
