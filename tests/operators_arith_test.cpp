// Arithmetic, comparison, logical and bitwise operators.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "operand_set.h"
#include "test_host.h"

namespace {

using testhost::call_operator;
using testhost::OperandSet;
using testhost::result_double;
using testhost::result_integer;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class ArithmeticOperators : public ::testing::Test {
protected:
    void SetUp() override { testhost::start_library(); }
    void TearDown() override { KVAEQM_Exit(); }
};

struct IntegerCase {
    const char *name;
    int32_t a;
    int32_t b;
    int32_t expected;
};

struct DoubleCase {
    const char *name;
    double a;
    double b;
    double expected;
};

struct ComparisonCase {
    const char *name;
    double a;
    double b;
    int32_t expected;
};

// Bit-exact comparison, so that -0.0 differs from +0.0 and NaN equals NaN.
bool same_double(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

TEST_F(ArithmeticOperators, UnaryIntegerOperatorsWrapAndLeaveTheirParameterAlone) {
    const IntegerCase cases[] = {
        {"++", 5, 0, 6}, {"++", INT_MAX, 0, INT_MIN},
        {"--", 5, 0, 4}, {"--", INT_MIN, 0, INT_MAX},
        {"~", 0, 0, -1}, {"~", 0x0F0F0F0F, 0, -0x0F0F0F10},
        {"!", 5, 0, 0},  {"!", 0, 0, 1},
        {"!", -1, 0, 0},
    };
    for (const IntegerCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("int");
        Parameter *operand = operands.integer(c.a);
        EXPECT_EQ(call_operator(c.name, result, {operand}), 1) << c.name << " " << c.a;
        EXPECT_EQ(result_integer(result), c.expected) << c.name << " " << c.a;
        EXPECT_EQ(KVAP_GetInteger(operand), c.a) << c.name;
    }
}

TEST_F(ArithmeticOperators, ChangeSignFlipsTheSignOfEveryDoubleIncludingZeros) {
    const double cases[][2] = {
        {0.0, -0.0}, {-0.0, 0.0}, {2.5, -2.5}, {-kInf, kInf}, {kNaN, kNaN},
    };
    for (const auto &c : cases) {
        OperandSet operands;
        Variable *result = operands.result();
        EXPECT_EQ(call_operator("Change Sign", result, {operands.number(c[0])}), 1);
        EXPECT_TRUE(same_double(result_double(result), c[1])) << c[0];
    }
}

TEST_F(ArithmeticOperators, ArithmeticInDoublesFollowsIeee) {
    const DoubleCase cases[] = {
        {"+", 1, 2, 3},
        {"-", 5, 7, -2},
        {"*", 0.5, 4, 2},
        {"/", 1, 4, 0.25},
        {"/", 1, 0, kInf},
        {"/", -1, 0, -kInf},
        {"/", 0, 0, kNaN},
        {"+", kInf, -kInf, kNaN},
        {"*", 1e308, 10, kInf},
        {"-", 0.0, 0.0, 0.0},
        {"+", 0.1, 0.2, 0.1 + 0.2},
    };
    for (const DoubleCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result();
        EXPECT_EQ(call_operator(c.name, result, {operands.number(c.a), operands.number(c.b)}), 1);
        EXPECT_TRUE(same_double(result_double(result), c.expected))
            << c.a << " " << c.name << " " << c.b << " gave " << result_double(result);
    }

    // The result variable's type converts what is written.
    OperandSet operands;
    Variable *intResult = operands.result("int");
    EXPECT_EQ(call_operator("+", intResult, {operands.number(1), operands.number(2)}), 1);
    EXPECT_EQ(KVAP_GetDataTypeID(reinterpret_cast<Parameter *>(intResult)), ZTEQM_VALUE_INT);
    EXPECT_EQ(result_integer(intResult), 3);
}

TEST_F(ArithmeticOperators, RemainderTruncatesTowardZeroAndRefusesAZeroDivisor) {
    const IntegerCase cases[] = {
        {"%", 7, 3, 1},        {"%", -7, 3, -1},      {"%", 7, -3, 1},       {"%", -7, -3, -1},
        {"%", INT_MIN, -1, 0}, {"%", INT_MAX, -1, 0}, {"%", INT_MIN, 3, -2}, {"%", 0, 5, 0},
    };
    for (const IntegerCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("int");
        EXPECT_EQ(call_operator("%", result, {operands.integer(c.a), operands.integer(c.b)}), 1);
        EXPECT_EQ(result_integer(result), c.expected) << c.a << " % " << c.b;
    }

    // A zero divisor: both parameters are still read, nothing is written, the status says so.
    OperandSet operands;
    Variable *result = operands.result("int", 99);
    Parameter *dividend = operands.recorded("dividend", 7, "int");
    Parameter *divisor = operands.recorded("divisor", 0, "int");
    EXPECT_EQ(call_operator("%", result, {dividend, divisor}), 0);
    EXPECT_EQ(result_integer(result), 99);
    EXPECT_EQ(operands.reads(), (std::vector<std::string>{"dividend", "divisor"}));
}

TEST_F(ArithmeticOperators, ShiftsReduceTheCountToItsLowFiveBits) {
    const IntegerCase cases[] = {
        {"<<", 1, 33, 2},       {"<<", 1, 31, INT_MIN}, {"<<", 3, 0, 3},
        {"<<", 1, -1, INT_MIN}, {"<<", -1, 4, -16},     {"<<", INT_MIN, 1, 0},
        {">>", -8, 1, -4},      {">>", -1, 31, -1},     {">>", INT_MIN, 31, -1},
        {">>", 256, 36, 16},    {">>", INT_MAX, 30, 1},
    };
    for (const IntegerCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("int");
        EXPECT_EQ(call_operator(c.name, result, {operands.integer(c.a), operands.integer(c.b)}), 1);
        EXPECT_EQ(result_integer(result), c.expected) << c.a << " " << c.name << " " << c.b;
    }
}

TEST_F(ArithmeticOperators, ComparisonsAreIeeeComparisonsWritingOneOrZero) {
    const ComparisonCase cases[] = {
        {"<", 1, 2, 1},        {"<", 2, 1, 0},
        {"<", 1, kNaN, 0},     {"<=", 2, 2, 1},
        {"<=", kNaN, 2, 0},    {">", 3, 2, 1},
        {">", kNaN, 1, 0},     {">=", 2, 2, 1},
        {">=", 1, 2, 0},       {"==", 0.0, -0.0, 1},
        {"==", kNaN, kNaN, 0}, {"==", 1, 1, 1},
        {"!=", kNaN, kNaN, 1}, {"!=", 1, 1, 0},
        {"<", -kInf, kInf, 1}, {"==", 16777217.0, 16777216.0, 0},
    };
    for (const ComparisonCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("double", 42.0);
        EXPECT_EQ(call_operator(c.name, result, {operands.number(c.a), operands.number(c.b)}), 1);
        EXPECT_EQ(result_double(result), c.expected) << c.a << " " << c.name << " " << c.b;
    }
}

TEST_F(ArithmeticOperators, BitwiseAndLogicalConnectivesWorkOnIntegers) {
    const IntegerCase cases[] = {
        {"& Bitwise", 12, 10, 8},  {"^ Bitwise", 12, 10, 6},
        {"| Bitwise", 12, 10, 14}, {"& Bitwise", -1, INT_MIN, INT_MIN},
        {"^ Bitwise", -1, 0, -1},  {"&&", 2, 3, 1},
        {"&&", 2, 0, 0},           {"&&", 0, 0, 0},
        {"||", 0, 0, 0},           {"||", 0, -5, 1},
        {"||", 4, 4, 1},
    };
    for (const IntegerCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("int");
        EXPECT_EQ(call_operator(c.name, result, {operands.integer(c.a), operands.integer(c.b)}), 1);
        EXPECT_EQ(result_integer(result), c.expected) << c.a << " " << c.name << " " << c.b;
    }
}

TEST_F(ArithmeticOperators, LogicalConnectivesReadBothParametersEvenWhenTheFirstDecides) {
    const ComparisonCase cases[] = {{"&&", 0, 1, 0}, {"||", 1, 0, 1}};
    for (const ComparisonCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("int");
        Parameter *first = operands.recorded("first", c.a, "int");
        Parameter *second = operands.recorded("second", c.b, "int");
        EXPECT_EQ(call_operator(c.name, result, {first, second}), 1);
        EXPECT_EQ(result_integer(result), c.expected) << c.name;
        EXPECT_EQ(operands.reads(), (std::vector<std::string>{"first", "second"})) << c.name;
    }
}

TEST_F(ArithmeticOperators, ConditionalReadsOnlyTheChosenBranch) {
    struct Case {
        int32_t condition;
        double expected;
        const char *branchRead;
    };
    const Case cases[] = {{1, 1.5, "then"}, {-3, 1.5, "then"}, {0, 2.5, "else"}};
    for (const Case &c : cases) {
        OperandSet operands;
        Variable *result = operands.result();
        Parameter *condition = operands.recorded("condition", c.condition, "int");
        Parameter *then = operands.recorded("then", 1.5);
        Parameter *otherwise = operands.recorded("else", 2.5);
        EXPECT_EQ(call_operator("? :", result, {condition, then, otherwise}), 1);
        EXPECT_EQ(result_double(result), c.expected) << c.condition;
        EXPECT_EQ(operands.reads(), (std::vector<std::string>{"condition", c.branchRead}))
            << c.condition;
    }

    // The condition is read as an integer: a double 0.9 truncates to 0.
    OperandSet operands;
    Variable *result = operands.result();
    EXPECT_EQ(call_operator("? :", result,
                            {operands.number(0.9), operands.number(1.5), operands.number(2.5)}),
              1);
    EXPECT_EQ(result_double(result), 2.5);
}

TEST_F(ArithmeticOperators, AddressOfReturnsItsIntegerReadingAndWritesNothing) {
    OperandSet operands;
    Variable *result = operands.result("double", 42.0);
    Parameter *operand = operands.recorded("operand", 17, "int");
    EXPECT_EQ(call_operator("&", result, {operand}), 17);
    EXPECT_EQ(operands.reads(), std::vector<std::string>{"operand"});
    EXPECT_EQ(result_double(result), 42.0);

    // No null test: a null parameter reads as 0, which is the status.
    EXPECT_EQ(call_operator("&", result, {nullptr}), 0);
    EXPECT_EQ(call_operator("&", result, {}), 0);
    EXPECT_EQ(result_double(result), 42.0);
}

TEST_F(ArithmeticOperators, DereferenceReadsNothingAndWritesNothing) {
    OperandSet operands;
    Variable *result = operands.result("double", 42.0);
    EXPECT_EQ(call_operator("*Var", result, {operands.recorded("operand", 5)}), 0);
    EXPECT_EQ(call_operator("*Var", result, {nullptr}), 0);
    EXPECT_TRUE(operands.reads().empty());
    EXPECT_EQ(result_double(result), 42.0);
}

const char *const kPlainOperators[] = {
    "++", "--", "~",         "!",         "Change Sign", "*",  "/",  "%",
    "+",  "-",  "<<",        ">>",        "<",           "<=", ">",  ">=",
    "==", "!=", "& Bitwise", "^ Bitwise", "| Bitwise",   "&&", "||",
};

TEST_F(ArithmeticOperators, NullParametersAreRefusedBeforeAnyRead) {
    for (const char *name : kPlainOperators) testhost::expect_null_parameters_refused(name);
    testhost::expect_null_parameters_refused("? :");
}

TEST_F(ArithmeticOperators, EachParameterIsReadOnceInOrder) {
    for (const char *name : kPlainOperators) {
        testhost::expect_each_parameter_read_once_in_order(name);
    }
}

TEST_F(ArithmeticOperators, ArraysShorterThanTheOperatorReadsAreRefused) {
    OperandSet operands;
    Variable *result = operands.result("double", 42.0);
    Parameter *operand = operands.recorded("operand", 1);
    EXPECT_EQ(call_operator("+", result, {operand}), 0);
    EXPECT_EQ(call_operator("? :", result, {operand, operand}), 0);
    EXPECT_EQ(call_operator("++", result, {}), 0);
    OperatorFunc add = KVAOP_GetFunc(KVAOP_IDOfName("+"));
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(result, 2, nullptr), 0);
    EXPECT_TRUE(operands.reads().empty());
    EXPECT_EQ(result_double(result), 42.0);
}

}  // namespace
