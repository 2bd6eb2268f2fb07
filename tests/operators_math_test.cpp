// Math function operators.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "operand_set.h"
#include "test_host.h"

namespace {

using testhost::call_operator;
using testhost::OperandSet;
using testhost::result_double;
using testhost::result_integer;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;

class MathOperators : public ::testing::Test {
protected:
    void SetUp() override { testhost::start_library(); }
    void TearDown() override { KVAEQM_Exit(); }
};

// Bit-exact comparison, so that -0.0 differs from +0.0 and NaN equals NaN.
bool same_double(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

double apply1(const char *name, double x) {
    OperandSet operands;
    Variable *result = operands.result();
    EXPECT_EQ(call_operator(name, result, {operands.number(x)}), 1) << name;
    return result_double(result);
}

double apply2(const char *name, double a, double b) {
    OperandSet operands;
    Variable *result = operands.result();
    EXPECT_EQ(call_operator(name, result, {operands.number(a), operands.number(b)}), 1) << name;
    return result_double(result);
}

const double kSamples[] = {-1e300, -710, -2.5, -1,  -0.5,  -0.0, 0.0,   0.5, 1,
                           2,      3.75, 10,   710, 1e300, kInf, -kInf, kNaN};

TEST_F(MathOperators, FunctionsOfOneDoubleGiveWhatTheMathLibraryGives) {
    struct Case {
        const char *name;
        double (*reference)(double);
    };
    const Case cases[] = {
        {"acos", [](double x) { return std::acos(x); }},
        {"asin", [](double x) { return std::asin(x); }},
        {"atan", [](double x) { return std::atan(x); }},
        {"ceiling", [](double x) { return std::ceil(x); }},
        {"cos", [](double x) { return std::cos(x); }},
        {"cosh", [](double x) { return std::cosh(x); }},
        {"exp", [](double x) { return std::exp(x); }},
        {"floor", [](double x) { return std::floor(x); }},
        {"log", [](double x) { return std::log(x); }},
        {"log10", [](double x) { return std::log10(x); }},
        {"sin", [](double x) { return std::sin(x); }},
        {"sinh", [](double x) { return std::sinh(x); }},
        {"sqrt", [](double x) { return std::sqrt(x); }},
        {"tan", [](double x) { return std::tan(x); }},
        {"tanh", [](double x) { return std::tanh(x); }},
    };
    for (const Case &c : cases) {
        for (double x : kSamples) {
            EXPECT_TRUE(same_double(apply1(c.name, x), c.reference(x)))
                << c.name << "(" << x << ")";
        }
    }
}

TEST_F(MathOperators, FunctionsOfTwoDoublesGiveWhatTheMathLibraryGives) {
    struct Case {
        const char *name;
        double (*reference)(double, double);
    };
    const Case cases[] = {
        {"atan2", [](double y, double x) { return std::atan2(y, x); }},
        {"fmod", [](double a, double b) { return std::fmod(a, b); }},
        {"pow", [](double a, double b) { return std::pow(a, b); }},
    };
    for (const Case &c : cases) {
        for (double a : kSamples) {
            for (double b : kSamples) {
                EXPECT_TRUE(same_double(apply2(c.name, a, b), c.reference(a, b)))
                    << c.name << "(" << a << ", " << b << ")";
            }
        }
    }
}

TEST_F(MathOperators, KnownValuesAndDomainErrorsAreWrittenAsTheyCome) {
    struct Case {
        const char *name;
        double a;
        double b;
        double expected;
    };
    const Case cases[] = {
        {"atan2", 1, 0, 1.5707963267948966},
        {"atan2", 0, -1, kPi},
        {"fmod", 7.5, 2, 1.5},
        {"fmod", -7.5, 2, -1.5},
        {"fmod", 1, 0, kNaN},
        {"pow", 2, 10, 1024},
        {"log10", 1000, 0, 3},
        {"log", 0, 0, -kInf},
        {"sqrt", -1, 0, kNaN},
        {"acos", 2, 0, kNaN},
        {"ceiling", -1.5, 0, -1.0},
        {"floor", -1.5, 0, -2.0},
        {"exp", 0, 0, 1},
    };
    for (const Case &c : cases) {
        const bool binary = KVAOP_GetNumParameters(KVAOP_IDOfName(c.name)) == 2;
        const double got = binary ? apply2(c.name, c.a, c.b) : apply1(c.name, c.a);
        EXPECT_TRUE(same_double(got, c.expected)) << c.name << " " << c.a << " gave " << got;
    }
}

TEST_F(MathOperators, AngleConversionsMultiplyAndDivideInTheirOwnOrder) {
    EXPECT_EQ(apply1("Rad to Deg", kPi), 180.0);
    EXPECT_EQ(apply1("Rad to Deg", 1), 57.29577951308232);
    EXPECT_EQ(apply1("Deg to Rad", 180), kPi);
    EXPECT_EQ(apply1("Deg to Rad", 90), 1.5707963267948966);
    for (double x : kSamples) {
        const double degrees = x * 180.0;
        EXPECT_TRUE(same_double(apply1("Rad to Deg", x), degrees / kPi)) << x;
        const double turns = x / 180.0;
        EXPECT_TRUE(same_double(apply1("Deg to Rad", x), turns * kPi)) << x;
    }
}

TEST_F(MathOperators, RoundAddsAHalfTruncatesTowardZeroAndSaturates) {
    const double cases[][2] = {
        {2.5, 3.0},           {2.49, 2.0},
        {-2.5, -2.0},         {-2.6, -2.0},
        {-0.4, 0.0},          {0.0, 0.0},
        {1e10, 2147483647.0}, {-1e10, -2147483648.0},
        {kInf, 2147483647.0}, {-kInf, -2147483648.0},
        {kNaN, 0.0},          {2147483646.7, 2147483647.0},
    };
    for (const auto &c : cases) {
        const double got = apply1("round", c[0]);
        EXPECT_TRUE(same_double(got, c[1])) << c[0] << " gave " << got;
    }
}

TEST_F(MathOperators, MaxAndMinGiveParameterOneWheneverTheComparisonFails) {
    const struct {
        const char *name;
        double a;
        double b;
        double expected;
    } cases[] = {
        {"max", 1, 2, 2},        {"max", 2, 1, 2},         {"max", 1, kNaN, kNaN},
        {"max", kNaN, 1, 1},     {"max", 0.0, -0.0, -0.0}, {"min", 1, 2, 1},
        {"min", 2, 1, 1},        {"min", 1, kNaN, kNaN},   {"min", kNaN, 1, 1},
        {"min", -0.0, 0.0, 0.0},
    };
    for (const auto &c : cases) {
        EXPECT_TRUE(same_double(apply2(c.name, c.a, c.b), c.expected))
            << c.name << "(" << c.a << ", " << c.b << ")";
    }
}

TEST_F(MathOperators, LerpEvaluatesItsFormulaAsWrittenWithoutLimitingT) {
    const double cases[][4] = {
        {10, 20, 0.25, 12.5},
        {10, 20, 2, 30},
        {10, 20, -1, 0},
        {0, 1, 0.5, 0.5},
    };
    for (const auto &c : cases) {
        OperandSet operands;
        Variable *result = operands.result();
        EXPECT_EQ(
            call_operator("lerp", result,
                          {operands.number(c[0]), operands.number(c[1]), operands.number(c[2])}),
            1);
        EXPECT_EQ(result_double(result), c[3]) << c[0] << " " << c[1] << " " << c[2];
    }

    // Inputs where another arrangement (a + t * (b - a)) rounds differently.
    const double a = 0.1, b = 0.7, t = 0.3;
    const double weightA = (1.0 - t) * a;
    const double weightB = t * b;
    OperandSet operands;
    Variable *result = operands.result();
    EXPECT_EQ(
        call_operator("lerp", result, {operands.number(a), operands.number(b), operands.number(t)}),
        1);
    EXPECT_EQ(result_double(result), weightA + weightB);
}

TEST_F(MathOperators, IntegerResultsForAbsSignStepAndTheFinitenessTests) {
    const struct {
        const char *name;
        double a;
        double b;
        int32_t expected;
    } cases[] = {
        {"sign", -3, 0, -1},      {"sign", 0.25, 0, 1},      {"sign", -0.0, 0, 0},
        {"sign", 0.0, 0, 0},      {"sign", kNaN, 0, 0},      {"sign", -kInf, 0, -1},
        {"isnan", kNaN, 0, 1},    {"isnan", kInf, 0, 0},     {"isnan", 0, 0, 0},
        {"isfinite", kInf, 0, 0}, {"isfinite", -kInf, 0, 0}, {"isfinite", kNaN, 0, 0},
        {"isfinite", 0, 0, 1},    {"isfinite", 1e308, 0, 1}, {"step", 2, 1, 1},
        {"step", 1, 2, 0},        {"step", 1, 1, 1},         {"step", -0.0, 0.0, 1},
        {"step", kNaN, 1, 0},     {"step", 1, kNaN, 0},      {"step", kNaN, kNaN, 0},
        {"step", kInf, kInf, 1},
    };
    for (const auto &c : cases) {
        OperandSet operands;
        Variable *result = operands.result("int", 99);
        std::vector<Parameter *> parameters{operands.number(c.a)};
        if (KVAOP_GetNumParameters(KVAOP_IDOfName(c.name)) == 2) {
            parameters.push_back(operands.number(c.b));
        }
        EXPECT_EQ(call_operator(c.name, result, parameters), 1);
        EXPECT_EQ(result_integer(result), c.expected) << c.name << "(" << c.a << ", " << c.b << ")";
    }

    // "abs" takes the integer reading: a double -2.7 is read as -2.
    for (const int32_t x : {-5, 5, 0, INT_MIN, INT_MAX}) {
        OperandSet operands;
        Variable *result = operands.result("int");
        EXPECT_EQ(call_operator("abs", result, {operands.integer(x)}), 1);
        EXPECT_EQ(result_integer(result), x == INT_MIN ? INT_MIN : std::abs(x)) << x;
    }
    OperandSet operands;
    Variable *result = operands.result("int");
    EXPECT_EQ(call_operator("abs", result, {operands.number(-2.7)}), 1);
    EXPECT_EQ(result_integer(result), 2);
}

const char *const kMathNames[] = {
    "abs",        "acos", "asin",  "atan", "atan2",      "ceiling", "cos",  "cosh",
    "Rad to Deg", "exp",  "floor", "fmod", "isfinite",   "isnan",   "lerp", "log",
    "log10",      "max",  "min",   "pow",  "Deg to Rad", "round",   "sign", "sin",
    "sinh",       "step", "sqrt",  "tan",  "tanh",
};

TEST_F(MathOperators, NullParametersAreRefusedBeforeAnyRead) {
    for (const char *name : kMathNames) testhost::expect_null_parameters_refused(name);
}

TEST_F(MathOperators, EachParameterIsReadOnceInOrder) {
    for (const char *name : kMathNames) testhost::expect_each_parameter_read_once_in_order(name);
}

}  // namespace
