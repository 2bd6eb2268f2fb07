// The built-in operators, called directly: what every operator shares, tables of operands and
// results, Move Value, and AsciiFile playback over files in a scratch directory.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "scratch.h"
#include "test_host.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793, kMin = INT_MIN, kMax = INT_MAX;
// A result's value before each call: what a call that writes nothing leaves.
constexpr double kNothing = 42.0;

std::string reads;  // the labels of the recorded operands' reads, in order
const char kLabels[] = "0123456789";
void on_read(Parameter *, void *label) { reads += *static_cast<const char *>(label); }

Parameter *as_parameter(Variable *variable) { return reinterpret_cast<Parameter *>(variable); }
double value_of(Variable *result) { return KVAP_GetDouble(as_parameter(result)); }

// Bit-exact, so that -0.0 differs from +0.0 and NaN equals NaN.
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

int32_t call(const char *name, Variable *result, std::vector<Parameter *> operands) {
    OperatorFunc func = KVAOP_GetFunc(KVAOP_IDOfName(name));
    return func ? func(result, static_cast<int32_t>(operands.size()), operands.data()) : -1;
}

// An operator, the value it writes, then its operands: as many "double" literals as it takes,
// which it reads as integers where it reads integers.
struct Row {
    const char *name;
    double expected;
    double operands[6] = {};
};

class Operators : public testhost::Library {
protected:
    void TearDown() override {
        for (Parameter *parameter : made_) KVAP_Delete(parameter);
        Library::TearDown();
    }

    // A parameter of the kind holding the value in the value type ("" for none); when the value
    // type is null, the kind's own, unset.
    Parameter *make(int32_t kind, const char *valueType, double value) {
        Parameter *parameter = made_.emplace_back(KVAP_New(kind));
        if (valueType != nullptr) KVAP_SetDataTypeName(parameter, valueType);
        if (valueType != nullptr) KVAP_SetDouble(parameter, value);
        return parameter;
    }
    Parameter *literal(double value, const char *valueType = "double") {
        return make(ZTEQM_PARAMETER_LITERAL, valueType, value);
    }
    Variable *result(const char *valueType = "double", double initial = kNothing) {
        return reinterpret_cast<Variable *>(make(ZTEQM_PARAMETER_TEMPORARY, valueType, initial));
    }
    // A variable whose every read appends its label to `reads`. A variable with a get callback is
    // read as an integer from its raw bits, hence "int".
    Parameter *recorded(int label, double value, const char *valueType = "int") {
        Variable *variable = result(valueType, value);
        KVAP_SetVariableGetFunc(variable, on_read);
        KVAP_SetVariableUserData(variable, const_cast<char *>(&kLabels[label]));
        return as_parameter(variable);
    }

    template <size_t N>
    void check(const Row (&rows)[N]) {
        for (const Row &row : rows) {
            const int32_t count = KVAOP_GetNumParameters(KVAOP_IDOfName(row.name));
            const std::vector<double> values(row.operands, row.operands + count);
            std::vector<Parameter *> operands;
            for (double value : values) operands.push_back(literal(value));
            Variable *out = result();
            const std::string trace = row.name + ::testing::PrintToString(values);
            EXPECT_EQ(call(row.name, out, operands), 1) << trace;
            EXPECT_TRUE(same(value_of(out), row.expected)) << trace << " gave " << value_of(out);
        }
    }

    std::vector<Parameter *> made_;
};

// Each operator, with each parameter missing in turn, a null list or a list one short, gives
// status 0 and reads and writes nothing; given them all, it reads each once in order, except
// where a value decides (the branch taken, the limit on the side of the direction). "%" refuses
// a zero divisor, "&" gives its operand's integer reading as its status, "*Var" does nothing.
TEST_F(Operators, EveryOperatorChecksItsParametersThenReadsEachOnceInOrder) {
    ASSERT_EQ(KVAOP_GetNumTypes(), 62);  // 61 operators after the unused identifier 0
    for (int32_t id = 1; id < 62; ++id) {
        const std::string name = KVAOP_NameOfID(id);
        const OperatorFunc func = KVAOP_GetFunc(id);
        const int32_t count = KVAOP_GetNumParameters(id);
        for (int32_t value : {0, 1}) {
            SCOPED_TRACE(name + " with operands " + std::to_string(value));
            if (name == "AsciiFile" && value == 1) continue;  // would open a file named "1"
            std::vector<Parameter *> all;
            for (int32_t index = 0; index < count; ++index) all.push_back(recorded(index, value));
            Variable *out = result();
            for (int32_t missing = 0; missing <= count + 1; ++missing) {
                std::vector<Parameter *> given = all;
                if (missing < count) given[missing] = nullptr;
                reads.clear();
                Parameter **list = missing == count ? nullptr : given.data();
                EXPECT_EQ(func(out, count - (missing > count), list), 0) << "missing " << missing;
                EXPECT_TRUE(reads.empty() && same(value_of(out), kNothing))
                    << "missing " << missing;
            }
            std::string expected(kLabels, count);
            if (name == "*Var") expected = "";
            if (name == "? :") expected = value ? "01" : "02";
            if (name == "DriveDOF") expected = value ? "01235" : "01234";
            if (name == "AsciiFile") expected = "03";  // disabled: only the store
            const int32_t status = name == "*Var" ? 0 : name == "%" || name == "&" ? value : 1;
            EXPECT_EQ(func(out, count, all.data()), status);  // reads is empty after the refusals
            EXPECT_EQ(reads, expected);
            EXPECT_EQ(same(value_of(out), kNothing), !status || name == "&" || name == "AsciiFile");
        }
    }
}

TEST_F(Operators, ArithmeticWrapsIntegersFollowsIeeeInDoublesAndComparesToOneOrZero) {
    // Integers wrap at 32 bits; "%" truncates toward zero; shifts take the count's low five
    // bits, and ">>" keeps the sign. Doubles follow IEEE 754, comparisons too.
    check({
        {"++", kMin, kMax},    {"--", kMax, kMin},    {"~", kMin, kMax},   {"~", -13, 12},
        {"!", 0, 17},          {"!", 1, -0.0},        {"%", 1, 7, 3},      {"%", -1, -7, 3},
        {"%", 1, 7, -3},       {"%", 0, kMin, -1},    {"%", -2, kMin, 3},  {"<<", 2, 1, 33},
        {"<<", kMin, 1, 31},   {"<<", kMin, 1, -1},   {"<<", -16, -1, 4},  {"<<", 0, kMin, 1},
        {">>", -4, -8, 1},     {">>", -1, kMin, 31},  {">>", 16, 256, 36}, {">>", 1, kMax, 30},
        {"&&", 1, 2, 3},       {"&&", 0, 2, 0},       {"||", 0, 0, 0},     {"||", 1, 0, -5},
        {"+", 3, 1, 2},        {"-", -2, 5, 7},       {"*", 2, 0.5, 4},    {"/", 0.25, 1, 4},
        {"/", kInf, 1, 0},     {"/", -kInf, -1, 0},   {"/", kNaN, 0, 0},   {"-", 0.0, 0.0, 0.0},
        {"<", 1, 1, 2},        {"<", 0, 2, 1},        {"<", 0, 1, kNaN},   {"<", 0, 2, 2},
        {">", 0, 2, 2},        {"<=", 1, 2, 2},       {"<=", 0, kNaN, 2},  {">", 1, 3, 2},
        {">", 0, kNaN, 1},     {">=", 1, 2, 2},       {">=", 0, 1, 2},     {"==", 1, 0.0, -0.0},
        {"==", 0, kNaN, kNaN}, {"!=", 1, kNaN, kNaN}, {"!=", 0, 1, 1},
    });
    // Change Sign flips the sign of zeros as well; "? :" reads its condition as an integer.
    const Row named[] = {
        {"Change Sign", -0.0, 0.0},    {"Change Sign", 0.0, -0.0}, {"Change Sign", -2.5, 2.5},
        {"& Bitwise", 8, 12, 10},      {"^ Bitwise", 6, 12, 10},   {"| Bitwise", 14, 12, 10},
        {"& Bitwise", kMin, -1, kMin}, {"^ Bitwise", -1, -1, 0},   {"? :", 1.5, 1, 1.5, 2.5},
        {"? :", 1.5, -3, 1.5, 2.5},    {"? :", 2.5, 0, 1.5, 2.5},  {"? :", 2.5, 0.9, 1.5, 2.5},
    };
    check(named);
}

TEST_F(Operators, MathFunctionsRangeTestsAndDriveDofKeepTheirEdges) {
    // "abs" takes the integer reading: -2147483648 has no positive counterpart. "round" adds a
    // half, truncates toward zero and saturates at the 32-bit range. "max" and "min" give
    // parameter 1 whenever the comparison fails (a NaN, equal zeros). "step" is x >= edge: 1 on
    // equal values, 0 for a NaN on either side. "lerp" is (1 - t) * a + t * b for any t, so t = 1
    // gives b exactly. (x * 180) / pi overflows where x * (180 / pi) would not.
    check({
        {"abs", 5, -5},        {"abs", 5, 5},         {"abs", kMin, kMin},   {"abs", 2, -2.7},
        {"acos", 0, 1},        {"acos", kPi, -1},     {"acos", kNaN, 2},     {"asin", kPi / 2, 1},
        {"asin", kNaN, -2},    {"atan", kPi / 4, 1},  {"atan2", kPi, 0, -1}, {"ceiling", -1, -1.5},
        {"cos", -1, kPi},      {"cos", kNaN, kInf},   {"cosh", 1, 0},        {"exp", 1, 0},
        {"exp", 0, -kInf},     {"exp", kInf, 1000},   {"floor", -2, -1.5},   {"floor", -0.0, -0.0},
        {"fmod", 1.5, 7.5, 2}, {"fmod", kNaN, 1, 0},  {"fmod", 5, 5, kInf},  {"isfinite", 0, kInf},
        {"isfinite", 0, kNaN}, {"isfinite", 1, 0},    {"isnan", 1, kNaN},    {"isnan", 0, kInf},
        {"log", 0, 1},         {"log", -kInf, 0},     {"log", kNaN, -1},     {"log10", 3, 1000},
        {"log10", -kInf, 0},   {"max", 2, 1, 2},      {"max", 2, 2, 1},      {"max", 1, kNaN, 1},
        {"min", 1, 1, 2},      {"min", 1, 2, 1},      {"min", 1, kNaN, 1},   {"pow", 1024, 2, 10},
        {"pow", 0.5, 2, -1},   {"pow", kInf, 0, -1},  {"pow", 1, kNaN, 0},   {"round", 3, 2.5},
        {"round", 2, 2.49},    {"round", -2, -2.5},   {"round", -2, -2.6},   {"round", 0, -0.4},
        {"round", kMax, 1e10}, {"round", kMax, kInf}, {"round", 0, kNaN},    {"sign", -1, -3},
        {"sign", 1, 0.25},     {"sign", 0, -0.0},     {"sign", 0, kNaN},     {"sin", -0.0, -0.0},
        {"sin", 1, kPi / 2},   {"sinh", -0.0, -0.0},  {"sqrt", 2, 4},        {"sqrt", kNaN, -1},
        {"sqrt", -0.0, -0.0},  {"step", 1, 2, 1},     {"step", 0, 1, 2},     {"step", 1, 1, 1},
        {"step", 0, kNaN, 1},  {"step", 0, 1, kNaN},  {"tan", -0.0, -0.0},   {"tanh", 1, kInf},
    });
    // Clamp, IsBetween and IsOutside take their bounds in either order.
    check({
        {"atan2", kPi / 2, 1, 0},      {"atan2", -kPi, -0.0, -1},     {"ceiling", -0.0, -0.5},
        {"Deg to Rad", kPi, 180},      {"lerp", 12.5, 10, 20, 0.25},  {"lerp", 30, 10, 20, 2},
        {"lerp", 0.1, 0.4, 0.1, 1},    {"max", kNaN, 1, kNaN},        {"max", -0.0, 0.0, -0.0},
        {"min", kNaN, 1, kNaN},        {"min", 0.0, -0.0, 0.0},       {"pow", kNaN, -8, 1.0 / 3},
        {"Rad to Deg", 180, kPi},      {"Rad to Deg", kInf, 1.5e306}, {"round", kMin, -1e10},
        {"round", kMax, 2147483646.7}, {"Clamp", 5, 5, 0, 10},        {"Clamp", 0, -1, 0, 10},
        {"Clamp", 10, 12, 0, 10},      {"Clamp", 0, 5, 10, 0},        {"Clamp", kNaN, kNaN, 0, 10},
        {"Clamp", 0, -0.0, 0, 1},      {"Clamp", -0.0, 0, -1, -0.0},  {"IsBetween", 1, 10, 0, 10},
        {"IsBetween", 1, 10, 10, 0},   {"IsBetween", 0, 10.5, 0, 10}, {"IsBetween", 1, 0, 0, 10},
        {"IsBetween", 0, -1, 10, 0},   {"IsBetween", 0, kNaN, 0, 10}, {"IsOutside", 1, 10, 0, 10},
        {"IsOutside", 0, 5, 0, 10},    {"IsOutside", 1, -1, 0, 10},   {"IsOutside", 1, 0, 10, 0},
        {"IsOutside", 0, 5, 10, 0},    {"IsOutside", 1, 11, 10, 0},   {"IsOutside", 0, kNaN, 0, 10},
    });
    // DriveDOF: direction, stop at limit, current, step, lower, upper. The limit is tested against
    // the current value, so the crossing step overshoots and the next one lands on the limit.
    const Row drive[] = {
        {"DriveDOF", 10.5, 1, 1, 9.5, 1, 0, 10},      {"DriveDOF", 10, 1, 1, 10.5, 1, 0, 10},
        {"DriveDOF", 11.5, 1, 0, 10.5, 1, 0, 10},     {"DriveDOF", 10, 1, 1, 10, 1, 0, 10},
        {"DriveDOF", -0.25, 0, 1, 0.25, 0.5, 0, 10},  {"DriveDOF", 0, 0, 1, -0.25, 0.5, 0, 10},
        {"DriveDOF", -0.75, 0, 0, -0.25, 0.5, 0, 10}, {"DriveDOF", 0, 0, 1, 0, 0.5, 0, 10},
        {"DriveDOF", 2, 1, 1, 3, -1, 0, 10},          {"DriveDOF", 5, -7, 1, 3, 2, 0, 10},
    };
    check(drive);
}

// Number types move by their pair; vectors move by address, into a vector result's own block.
// Every other pair is refused (status 0, marked NaN here).
TEST_F(Operators, MoveValueMovesByThePairOfValueTypes) {
    const std::tuple<const char *, const char *, double, double> pairs[] = {
        {"int", "double", 2.75, 2},    {"float", "int", 7, 7},
        {"double", "float", 1.5, 1.5}, {"short", "char", 65, 65},
        {"int", "float", 3.9, 3},      {"int", "string", 0, kNaN},
        {"string", "double", 0, kNaN}, {"address", "double", 0, kNaN},
        {"float4", "double", 0, kNaN}, {"float4x4", "float4", 0, kNaN},
        {"double", "", 0, kNaN},       {"", "double", 0, kNaN},
    };
    for (const auto &[to, from, source, expected] : pairs) {
        const bool moves = !std::isnan(expected);
        Variable *out = result(to, 4.5);
        Parameter *operand = literal(source, from);
        EXPECT_EQ(call("Move Value", out, {operand}), moves ? 1 : 0) << from << " into " << to;
        EXPECT_TRUE(!moves || value_of(out) == expected) << from << " into " << to;
    }
    EXPECT_EQ(call("Move Value", nullptr, {literal(1)}), 0);

    Parameter *vector = literal(0, "float4");
    KVAP_SetString(vector, "1 2 3 4", 1);
    for (const char *to : {"float4", "double", "int", "float", "char"}) {
        Variable *out = result(to, 0);
        EXPECT_EQ(call("Move Value", out, {vector}), 1) << to;
        const double *moved = static_cast<double *>(KVAP_GetAddress(as_parameter(out)));
        EXPECT_EQ(moved == KVAP_GetAddress(vector), std::string(to) != "float4") << to;
        EXPECT_TRUE(moved != nullptr && moved[3] == 4.0) << to;
    }
}

// AsciiFile ------------------------------------------------------------------------------------

using Written = std::vector<double>;

// One AsciiFile equation's parameters: enable, file name, column and store, the three that are
// variables recording their reads.
class AsciiFile : public Operators {
protected:
    void SetUp() override {
        Operators::SetUp();
        directory_ = testhost::make_scratch_directory("ascii");
        filesBefore_ = testhost::open_file_count();
        out_ = result();
        enable_ = recorded(0, 1);
        name_ = literal(0, "string");
        column_ = recorded(2, 1);
        store_ = recorded(3, 0, "address");
    }
    void TearDown() override {
        std::filesystem::remove_all(directory_);
        Operators::TearDown();
    }

    // Writes the file under a name longer than a parameter's text field and plays it.
    std::string write_file(const std::string &contents) {
        const std::string path = (directory_ / (std::string(120, 'n') + ".txt")).string();
        std::ofstream(path, std::ios::binary) << contents;
        KVAP_SetString(name_, path.c_str(), 1);
        return path;
    }
    // The number each evaluation writes, or kNothing; a store given is used from now on.
    Written evaluate(size_t times = 1, Parameter *store = nullptr) {
        if (store != nullptr) store_ = store;
        Written written;
        while (written.size() < times) {
            KVAP_SetDouble(as_parameter(out_), kNothing);
            EXPECT_EQ(call("AsciiFile", out_, {enable_, name_, column_, store_}), 1);
            written.push_back(value_of(out_));
        }
        return written;
    }
    int files_open() { return testhost::open_file_count() - filesBefore_; }

    std::filesystem::path directory_;
    int filesBefore_ = 0;
    Variable *out_ = nullptr;
    Parameter *enable_ = nullptr, *name_ = nullptr, *column_ = nullptr, *store_ = nullptr;
};

TEST_F(AsciiFile, PlaysALinePerEvaluationClosesAtTheEndAndStartsOverWhenEnabledAgain) {
    const std::string path = write_file("1 2 3\n4 5 6\n7 8 9\n");
    KVAP_SetInteger(column_, 2);
    reads.clear();
    EXPECT_EQ(evaluate(3), (Written{2, 5, 8}));
    EXPECT_EQ(reads, "023023023");  // enable, column, store; the file name is text
    // The end of the file closes it, and the next evaluation starts over.
    EXPECT_EQ(evaluate(6), (Written{kNothing, 2, 5, 8, kNothing, 2}));

    // Disabling closes the file (twice is harmless) reading only the store; enabling again starts
    // at the first line.
    KVAP_SetInteger(enable_, 0);
    EXPECT_EQ(evaluate(2), (Written{kNothing, kNothing}));
    EXPECT_EQ(files_open(), 0);
    KVAP_SetInteger(enable_, 1);
    EXPECT_EQ(evaluate(4), (Written{2, 5, 8, kNothing}));

    // A missing file writes nothing and is tried again at every evaluation.
    std::filesystem::remove(path);
    EXPECT_EQ(evaluate(3), (Written{kNothing, kNothing, kNothing}));
    write_file("0 3.5\n");
    EXPECT_EQ(evaluate(2), (Written{3.5, kNothing}));

    // An "Equation" parameter that refers to no equation has no value text: nothing is opened.
    name_ = make(ZTEQM_PARAMETER_EQUATION, nullptr, 0);
    EXPECT_EQ(evaluate(2), (Written{kNothing, kNothing}));
    EXPECT_EQ(files_open(), 0);
}

// Columns of 1 or less select the first field after leading blanks. Fields are separated by the
// next space, by a tab only where no space follows (the second field of "1\t2\t3 4" is 4). Lines
// longer than 1023 characters play in runs of 1023 (the "7" below ends the first run). A missing
// field or one that is no number writes nothing. Every file plays the same with CR LF line ends,
// on every platform: CR LF counts as one character where a long line is cut into runs, and a
// Ctrl-Z is a byte like any other.
TEST_F(AsciiFile, FieldsAreFoundBySpacesBeforeTabsAndOnlyNumbersAreWrittenWhateverTheLineEnds) {
    const std::string longRun = "12.5" + std::string(1018, ' ');
    const std::string grid = "  1 2 3\n\t 4 5 6\n7 8 9\n";
    const std::string tabs = "1\t2 3\n1\t2\t3\n1 2\t3\n1\t2\t3 4\n";
    const std::tuple<std::string, int32_t, Written> cases[] = {
        {grid, 1, {1, 4, 7, kNothing}},
        {grid, 3, {3, 6, 9, kNothing}},
        {tabs, 2, {3, 2, 2, 4, kNothing}},
        {tabs, 3, {kNothing, 3, 3, kNothing, kNothing}},
        {"1 2\nabc\n   \n12.5cm 4\n-3e2 x\n", 0, {1, kNothing, kNothing, 12.5, -300, kNothing}},
        {"1 2\n1 2 \n1 2 3\n", 3, {kNothing, kNothing, 3, kNothing}},
        {longRun + "7" + "25 8\n6\n", 2, {7, 8, kNothing, kNothing}},
        {longRun + "\n25 8\n", 1, {12.5, 25, kNothing}},
        {longRun + "\r5\n", 1, {12.5, 5, kNothing}},
        {"1 2\n\x1a 5\n3 4\n", 1, {1, kNothing, 3, kNothing}},
    };
    for (const auto &[lf, column, expected] : cases) {
        std::string crlf;
        for (char ch : lf) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        KVAP_SetInteger(column_, column);
        for (const std::string &contents : {lf, crlf}) {
            write_file(contents);
            EXPECT_EQ(evaluate(expected.size()), expected)
                << "column " << column << " of " << ::testing::PrintToString(contents);
            EXPECT_EQ(files_open(), 0);
        }
    }
}

// Only a file the operator opened and has not closed is read or closed through a store.
TEST_F(AsciiFile, AStoreIsTrustedOnlyWithAFileItsOperatorOpenedAndHasNotClosed) {
    write_file("1\n2\n3\n");
    Parameter *first = literal(10.0);  // whose bits are no file: opened afresh
    EXPECT_EQ(evaluate(2, first), (Written{1, 2}));
    Parameter *stale = literal(0, "address");  // a copy of the store, closed through the first
    KVAP_SetAddress(stale, KVAP_GetAddress(first));
    Parameter *second = literal(0, "char");  // a number keeps an address's 8 bytes
    EXPECT_EQ(evaluate(1, second), Written{1});
    EXPECT_EQ(files_open(), 2);

    // Closing the first file leaves the second playing, and the stale copy opens its own.
    KVAP_SetInteger(enable_, 0);
    EXPECT_EQ(evaluate(1, first), Written{kNothing});
    EXPECT_EQ(files_open(), 1);
    KVAP_SetInteger(enable_, 1);
    EXPECT_EQ(evaluate(1, second), Written{2});
    EXPECT_EQ(evaluate(1, stale), Written{1});

    // Disabled, every store is closed or, holding no file of the operator's, only cleared.
    Parameter *foreign = literal(0, "address");
    KVAP_SetAddress(foreign, &reads);
    KVAP_SetInteger(enable_, 0);
    for (Parameter *store : {stale, second, foreign}) {
        EXPECT_EQ(evaluate(1, store), Written{kNothing});
        EXPECT_EQ(KVAP_GetAddress(store), nullptr);
    }
    EXPECT_EQ(files_open(), 0);

    // A store whose value type cannot keep an address opens nothing.
    KVAP_SetInteger(enable_, 1);
    for (const char *type : {"string", "float4", "float4x4", ""})
        EXPECT_EQ(evaluate(2, literal(0, type)), (Written{kNothing, kNothing}));
    EXPECT_EQ(files_open(), 0);

    // When the list of open files cannot grow, the file is closed again and nothing is played.
    testhost::fail_after(0);
    EXPECT_EQ(evaluate(1, first), Written{kNothing});  // the first store was cleared
    EXPECT_EQ(files_open(), 0);
}

}  // namespace
