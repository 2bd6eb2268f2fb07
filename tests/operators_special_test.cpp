// Special operators: Move Value, the range tests, DriveDOF and AsciiFile playback.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "operand_set.h"
#include "scratch.h"
#include "test_host.h"
#include "test_parameters.h"

namespace {

using testhost::call_operator;
using testhost::OperandSet;
using testhost::result_double;
using testhost::result_integer;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Parameter *as_parameter(Variable *variable) { return reinterpret_cast<Parameter *>(variable); }

class SpecialOperators : public ::testing::Test {
protected:
    void SetUp() override { testhost::start_library(); }
    void TearDown() override { KVAEQM_Exit(); }
};

// Move Value ----------------------------------------------------------------------------------

TEST_F(SpecialOperators, MoveValueMovesBetweenNumberTypesByTheirPair) {
    struct Case {
        const char *resultType;
        const char *sourceType;
        double source;
        double expected;
    };
    const Case cases[] = {
        {"int", "double", 2.75, 2},       {"int", "double", -2.75, -2},
        {"float", "int", 7, 7},           {"double", "int", -9, -9},
        {"double", "double", 1.25, 1.25}, {"double", "float", 1.5, 1.5},
        {"short", "char", 65, 65},        {"char", "short", 66, 66},
        {"int", "float", 3.9, 3},         {"float", "short", -300, -300},
    };
    for (const Case &c : cases) {
        OperandSet operands;
        Variable *result = operands.result(c.resultType, 0);
        Parameter *source = operands.typed(c.sourceType);
        KVAP_SetDouble(source, c.source);
        EXPECT_EQ(call_operator("Move Value", result, {source}), 1)
            << c.sourceType << " into " << c.resultType;
        EXPECT_EQ(result_double(result), c.expected) << c.sourceType << " into " << c.resultType;
    }

    // After the two type queries the source is read exactly once.
    for (const char *type : {"int", "double"}) {
        OperandSet operands;
        Variable *result = operands.result(type, 0);
        Parameter *source = operands.recorded("source", 6, type);
        EXPECT_EQ(call_operator("Move Value", result, {source}), 1);
        EXPECT_EQ(result_double(result), 6);
        EXPECT_EQ(operands.reads(), std::vector<std::string>{"source"});
    }
}

TEST_F(SpecialOperators, MoveValueRefusesUnsupportedPairsWithoutReadingTheSourceValue) {
    struct Case {
        const char *resultType;
        const char *sourceType;
    };
    const Case cases[] = {
        {"double", "string"},  {"int", "string"},      {"string", "double"},
        {"double", "address"}, {"address", "double"},  {"address", "address"},
        {"float4", "double"},  {"float4x4", "float4"}, {"float4", "float4x4"},
        {"double", nullptr},   {"char", nullptr},
    };
    for (const Case &c : cases) {
        OperandSet operands;
        Variable *result = operands.result(c.resultType, 4.5);
        const double before = result_double(result);
        void *beforeAddress = KVAP_GetAddress(as_parameter(result));
        Parameter *source = operands.recorded("source", 1, c.sourceType);
        const char *sourceName = c.sourceType ? c.sourceType : "no type";
        EXPECT_EQ(call_operator("Move Value", result, {source}), 0)
            << sourceName << " into " << c.resultType;
        EXPECT_TRUE(operands.reads().empty()) << sourceName << " into " << c.resultType;
        EXPECT_EQ(result_double(result), before);
        EXPECT_EQ(KVAP_GetAddress(as_parameter(result)), beforeAddress);
    }

    // An untyped result variable takes nothing either.
    OperandSet operands;
    Variable *untyped = KVAP_NewVariable();
    ASSERT_NE(untyped, nullptr);
    KVAP_SetTypeName(as_parameter(untyped), "Temporary");
    EXPECT_EQ(call_operator("Move Value", untyped, {operands.number(1)}), 0);
    EXPECT_EQ(call_operator("Move Value", nullptr, {operands.number(1)}), 0);
    KVAP_FreeVariable(untyped);
}

TEST_F(SpecialOperators, MoveValueMovesVectorsByAddress) {
    OperandSet operands;
    Parameter *vector = operands.typed("float4");
    KVAP_SetString(vector, "1 2 3 4", 1);
    auto *components = static_cast<double *>(KVAP_GetAddress(vector));
    ASSERT_NE(components, nullptr);

    // Between two vectors of one type the whole block is copied into the result's own block.
    Variable *copy = operands.result("float4");
    EXPECT_EQ(call_operator("Move Value", copy, {vector}), 1);
    auto *copied = static_cast<double *>(KVAP_GetAddress(as_parameter(copy)));
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, components);
    EXPECT_EQ(copied[0], 1.0);
    EXPECT_EQ(copied[3], 4.0);

    // A scalar result stores the source's block address itself.
    for (const char *scalar : {"double", "int", "float", "char"}) {
        Variable *result = operands.result(scalar);
        EXPECT_EQ(call_operator("Move Value", result, {vector}), 1) << scalar;
        EXPECT_EQ(KVAP_GetAddress(as_parameter(result)), components) << scalar;
    }

    Parameter *matrix = operands.typed("float4x4");
    KVAP_SetString(matrix, "1 0 0 0 0 1 0 0 0 0 1 0 5 6 7 1", 1);
    Variable *matrixCopy = operands.result("float4x4");
    EXPECT_EQ(call_operator("Move Value", matrixCopy, {matrix}), 1);
    auto *matrixComponents = static_cast<double *>(KVAP_GetAddress(as_parameter(matrixCopy)));
    ASSERT_NE(matrixComponents, nullptr);
    EXPECT_EQ(matrixComponents[12], 5.0);
}

// Range tests and DriveDOF ------------------------------------------------------------------

struct RangeCase {
    const char *name;
    double value;
    double boundA;
    double boundB;
    double expected;
};

TEST_F(SpecialOperators, ClampAndRangeTestsCompareAgainstBoundsInEitherOrder) {
    const RangeCase cases[] = {
        {"Clamp", 5, 0, 10, 5},        {"Clamp", -1, 0, 10, 0},       {"Clamp", 12, 0, 10, 10},
        {"Clamp", 5, 10, 0, 0},        {"Clamp", 0, 0, 10, 0},        {"Clamp", 10, 0, 10, 10},
        {"Clamp", kNaN, 0, 10, kNaN},  {"IsBetween", 10, 0, 10, 1},   {"IsBetween", 10, 10, 0, 1},
        {"IsBetween", 10.5, 0, 10, 0}, {"IsBetween", 0, 0, 10, 1},    {"IsBetween", -1, 10, 0, 0},
        {"IsBetween", 5, 5, 5, 1},     {"IsBetween", kNaN, 0, 10, 0}, {"IsOutside", 10, 0, 10, 1},
        {"IsOutside", 5, 0, 10, 0},    {"IsOutside", -1, 0, 10, 1},   {"IsOutside", 0, 10, 0, 1},
        {"IsOutside", 5, 10, 0, 0},    {"IsOutside", 11, 10, 0, 1},   {"IsOutside", kNaN, 0, 10, 0},
    };
    for (const RangeCase &c : cases) {
        OperandSet operands;
        Variable *result = operands.result();
        EXPECT_EQ(call_operator(c.name, result,
                                {operands.number(c.value), operands.number(c.boundA),
                                 operands.number(c.boundB)}),
                  1);
        const double got = result_double(result);
        EXPECT_TRUE(got == c.expected || (std::isnan(got) && std::isnan(c.expected)))
            << c.name << "(" << c.value << ", " << c.boundA << ", " << c.boundB << ") gave " << got;
    }
}

TEST_F(SpecialOperators, DriveDofStepsTowardTheLimitAndLandsOnItAfterCrossing) {
    struct Case {
        int32_t direction;
        int32_t stopAtLimit;
        double current;
        double step;
        double expected;
    };
    // Lower limit 0, upper limit 10 throughout.
    const Case cases[] = {
        {1, 1, 9.5, 1, 10.5},
        {1, 1, 10.5, 1, 10},
        {1, 0, 10.5, 1, 11.5},
        {1, 1, 10, 1, 10},
        {0, 1, 0.2, 0.5, 0.2 - 0.5},
        {0, 1, 0.2 - 0.5, 0.5, 0},
        {0, 0, -0.3, 0.5, -0.3 - 0.5},
        {0, 1, 0, 0.5, 0},
        {1, 1, 3, -1, 2},
        {-7, 1, 3, 2, 5},
        {0, 1, 3, -2, 5},
    };
    for (const Case &c : cases) {
        OperandSet operands;
        Variable *result = operands.result();
        EXPECT_EQ(call_operator("DriveDOF", result,
                                {operands.integer(c.direction), operands.integer(c.stopAtLimit),
                                 operands.number(c.current), operands.number(c.step),
                                 operands.number(0), operands.number(10)}),
                  1);
        EXPECT_EQ(result_double(result), c.expected)
            << "direction " << c.direction << " limit " << c.stopAtLimit << " from " << c.current;
    }
}

TEST_F(SpecialOperators, DriveDofReadsOnlyTheLimitOnTheSideOfItsDirection) {
    for (int32_t direction : {1, 0}) {
        OperandSet operands;
        Variable *result = operands.result();
        std::vector<Parameter *> parameters{
            operands.recorded("direction", direction, "int"),
            operands.recorded("flag", 1, "int"),
            operands.recorded("current", 5),
            operands.recorded("step", 1),
            operands.recorded("lower", 0),
            operands.recorded("upper", 10),
        };
        EXPECT_EQ(call_operator("DriveDOF", result, parameters), 1);
        const std::vector<std::string> expected{"direction", "flag", "current", "step",
                                                direction ? "upper" : "lower"};
        EXPECT_EQ(operands.reads(), expected);
    }
}

TEST_F(SpecialOperators, RangeTestsReadEachParameterOnceInOrder) {
    for (const char *name : {"Clamp", "IsBetween", "IsOutside"}) {
        testhost::expect_each_parameter_read_once_in_order(name);
    }
}

TEST_F(SpecialOperators, NullParametersAreRefusedBeforeAnyRead) {
    for (const char *name :
         {"Move Value", "Clamp", "DriveDOF", "IsBetween", "IsOutside", "AsciiFile"}) {
        testhost::expect_null_parameters_refused(name);
    }
    OperandSet operands;
    Variable *result = operands.result("double", 42.0);
    EXPECT_EQ(call_operator("Move Value", result, {}), 0);
    EXPECT_EQ(call_operator("DriveDOF", result, {operands.integer(1), operands.integer(1)}), 0);
    EXPECT_EQ(result_double(result), 42.0);
}

// AsciiFile ---------------------------------------------------------------------------------

// One AsciiFile equation's worth of parameters over files in a fresh temporary directory.
class AsciiFilePlayback : public SpecialOperators {
protected:
    void SetUp() override {
        SpecialOperators::SetUp();
        directory_ = testhost::make_scratch_directory("ascii");
        ASSERT_FALSE(directory_.empty());
        descriptorsBefore_ = testhost::open_file_count();
        operands_.emplace();
        result_ = operands_->result();
        enable_ = operands_->integer(1);
        fileName_ = operands_->text("");
        column_ = operands_->integer(1);
        store_ = operands_->address(nullptr);
    }

    void TearDown() override {
        // Playback left running is stopped, so that no test hands its open file on.
        if (operands_) {
            set_enabled(false);
            evaluate();
            operands_.reset();
        }
        std::filesystem::remove_all(directory_);
        SpecialOperators::TearDown();
    }

    // Writes the file and points the file name parameter at it.
    std::string write_file(const std::string &name, const std::string &contents) {
        const std::string path = (directory_ / name).string();
        EXPECT_LT(path.size(), 80u) << "file names are kept in 79 characters";
        std::ofstream(path, std::ios::binary) << contents;
        use_file(path);
        return path;
    }
    void use_file(const std::string &path) { KVAP_SetString(fileName_, path.c_str(), 1); }

    // One evaluation: the number written, or nothing.
    std::optional<double> evaluate() {
        constexpr double kUntouched = -12345.678;
        KVAP_SetDouble(as_parameter(result_), kUntouched);
        EXPECT_EQ(call_operator("AsciiFile", result_, {enable_, fileName_, column_, store_}), 1);
        const double written = result_double(result_);
        if (written == kUntouched) return std::nullopt;
        return written;
    }

    std::vector<std::optional<double>> evaluate(int times) {
        std::vector<std::optional<double>> written;
        for (int i = 0; i < times; ++i) written.push_back(evaluate());
        return written;
    }

    void set_column(int32_t column) { KVAP_SetInteger(column_, column); }
    void set_enabled(bool enabled) { KVAP_SetInteger(enable_, enabled ? 1 : 0); }
    void *handle() { return KVAP_GetAddress(store_); }
    int descriptors_opened() { return testhost::open_file_count() - descriptorsBefore_; }

    std::filesystem::path directory_;
    int descriptorsBefore_ = 0;
    std::optional<OperandSet> operands_;
    Variable *result_ = nullptr;
    Parameter *enable_ = nullptr;
    Parameter *fileName_ = nullptr;
    Parameter *column_ = nullptr;
    Parameter *store_ = nullptr;
};

using Written = std::vector<std::optional<double>>;
constexpr std::nullopt_t kNothing = std::nullopt;

TEST_F(AsciiFilePlayback, PlaysOneLinePerEvaluationAndLoopsAfterAnEmptyEvaluation) {
    write_file("grid.txt", "1 2 3\n4 5 6\n7 8 9\n");
    const long liveBefore = testhost::live_blocks();
    set_column(2);
    EXPECT_EQ(evaluate(3), (Written{2, 5, 8}));
    EXPECT_NE(handle(), nullptr);
    EXPECT_EQ(descriptors_opened(), 1);

    // The end of the file closes it and writes nothing; the next evaluation starts over.
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(handle(), nullptr);
    EXPECT_EQ(descriptors_opened(), 0);
    for (int loop = 0; loop < 3; ++loop) {
        EXPECT_EQ(evaluate(4), (Written{2, 5, 8, kNothing}));
        EXPECT_EQ(descriptors_opened(), 0);
    }
    EXPECT_EQ(evaluate(), 2);

    // Disabling closes the file; no handle and no block is left behind.
    set_enabled(false);
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(descriptors_opened(), 0);
    EXPECT_EQ(testhost::live_blocks(), liveBefore);
}

TEST_F(AsciiFilePlayback, ColumnsOfOneOrLessSelectTheFirstFieldAfterLeadingBlanks) {
    write_file("grid.txt", "  1 2 3\n\t 4 5 6\n7 8 9\n");
    for (int32_t column : {1, 0, -4}) {
        set_column(column);
        EXPECT_EQ(evaluate(4), (Written{1, 4, 7, kNothing})) << "column " << column;
    }
    set_column(3);
    EXPECT_EQ(evaluate(3), (Written{3, 6, 9}));
}

TEST_F(AsciiFilePlayback, DisablingClosesTheFileAndReenablingStartsAtTheFirstLine) {
    write_file("lines.txt", "10\n20\n30\n");
    EXPECT_EQ(evaluate(2), (Written{10, 20}));
    set_enabled(false);
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(handle(), nullptr);
    EXPECT_EQ(descriptors_opened(), 0);
    EXPECT_EQ(evaluate(), kNothing);  // disabling twice is harmless
    set_enabled(true);
    EXPECT_EQ(evaluate(2), (Written{10, 20}));
}

TEST_F(AsciiFilePlayback, MissingFileWritesNothingAndIsTriedAgainAtEveryEvaluation) {
    const std::string path = (directory_ / "later.txt").string();
    use_file(path);
    EXPECT_EQ(evaluate(3), (Written{kNothing, kNothing, kNothing}));
    EXPECT_EQ(handle(), nullptr);
    EXPECT_EQ(descriptors_opened(), 0);

    std::ofstream(path) << "3.5\n";
    EXPECT_EQ(evaluate(), 3.5);

    // A file name parameter without value text (an unresolved reference) opens nothing.
    testhost::register_reference_type();
    Parameter *unresolved = KVAP_New(ZTEQM_PARAMETER_EQUATION);
    ASSERT_NE(unresolved, nullptr);
    void *store = nullptr;
    OperandSet operands;
    Parameter *emptyStore = operands.address(store);
    Variable *result = operands.result("double", 42);
    EXPECT_EQ(call_operator("AsciiFile", result,
                            {operands.integer(1), unresolved, operands.integer(1), emptyStore}),
              1);
    EXPECT_EQ(KVAP_GetAddress(emptyStore), nullptr);
    EXPECT_EQ(result_double(result), 42);
    KVAP_Delete(unresolved);
}

TEST_F(AsciiFilePlayback, SpacesAreFoundBeforeTabsWhenSeparatingFields) {
    write_file("mixed.txt", "1\t2 3\n1\t2\t3\n1 2\t3\n1\t2\t3 4\n");
    set_column(2);
    // Line 1: the space after 2 is found first, so the second field is 3.
    // Line 2: no space at all, tabs separate. Line 3: a space, then a tab.
    // Line 4: the space after 3 is found from the first field, skipping 2 and 3.
    EXPECT_EQ(evaluate(5), (Written{3, 2, 2, 4, kNothing}));
    set_column(3);
    EXPECT_EQ(evaluate(4), (Written{kNothing, 3, 3, kNothing}));
}

TEST_F(AsciiFilePlayback, FieldsThatAreMissingOrNotNumbersWriteNothing) {
    write_file("odd.txt", "1 2\nabc\n\n12.5cm 4\n   \n-3e2 x\n1 2 \n");
    set_column(3);
    EXPECT_EQ(evaluate(), kNothing);  // two fields only
    set_column(1);
    EXPECT_EQ(evaluate(5), (Written{kNothing, kNothing, 12.5, kNothing, -300}));
    set_column(3);
    EXPECT_EQ(evaluate(), kNothing);  // a trailing blank is not a third field
}

TEST_F(AsciiFilePlayback, LongLinesArePlayedBackInRunsOf1023Characters) {
    std::string first = "12.5";
    first.resize(1022, ' ');
    first += "7";  // character 1023 ends the first run
    write_file("long.txt", first + "25 8\n" + "6\n");
    set_column(2);
    // Run one: "12.5 ... 7"; run two: "25 8\n"; then the next line.
    EXPECT_EQ(evaluate(3), (Written{7, 8, kNothing}));
    set_column(1);
    EXPECT_EQ(evaluate(4), (Written{kNothing, 12.5, 25, 6}));
}

// A file written on Windows plays exactly as the same file with LF line ends, on every
// platform: CR LF counts as one character where a long line is cut into runs, and a Ctrl-Z
// (the end of a text file to the Windows C runtime) is a byte like any other.
TEST_F(AsciiFilePlayback, CrLfLineEndsPlayAsLfLineEndsDo) {
    std::string longLine = "12.5";
    longLine.resize(1022, ' ');  // with its line end, the line just fills one run
    const std::string files[] = {
        "1 2 3\n4 5 6\n\n7 8 9\n",
        longLine + "\n25 8\n",
        "1 2\n\x1a 5\n3 4\n",
        "1\t2 3\n4 5 \n6\n",
    };
    for (const std::string &lf : files) {
        std::string crlf;
        for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        for (int32_t column : {1, 2, 3}) {
            set_column(column);
            write_file("lf.txt", lf);
            const Written expected = evaluate(6);
            set_enabled(false);
            evaluate();
            set_enabled(true);
            write_file("crlf.txt", crlf);
            EXPECT_EQ(evaluate(6), expected) << "column " << column << " of " << lf.substr(0, 12);
            set_enabled(false);
            evaluate();
            set_enabled(true);
        }
    }
    write_file("crlf.txt", longLine + "\r\n25 8\r\n");
    set_column(1);
    EXPECT_EQ(evaluate(3), (Written{12.5, 25, kNothing}));
    write_file("crlf.txt", "1 2\r\n\x1a 5\r\n3 4\r\n");
    EXPECT_EQ(evaluate(4), (Written{1, kNothing, 3, kNothing}));
}

TEST_F(AsciiFilePlayback, NullHandleStoreIsRefusedAndOpensNothing) {
    write_file("lines.txt", "1\n2\n");
    Variable *result = operands_->result("double", 42);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(call_operator("AsciiFile", result, {enable_, fileName_, column_, nullptr}), 0);
    }
    EXPECT_EQ(result_double(result), 42);
    EXPECT_EQ(descriptors_opened(), 0);
    // An array too short to hold the store is refused the same way.
    EXPECT_EQ(call_operator("AsciiFile", result, {enable_, fileName_, column_}), 0);
    EXPECT_EQ(descriptors_opened(), 0);
}

TEST_F(AsciiFilePlayback, StoreHoldingSomethingElseThanAnOpenFileIsNeverUsedAsOne) {
    write_file("lines.txt", "1\n2\n3\n");

    // A new literal holds 10.0, whose bits are no file: the file is opened afresh.
    store_ = operands_->typed("double");
    EXPECT_EQ(evaluate(2), (Written{1, 2}));
    EXPECT_EQ(descriptors_opened(), 1);

    // A copy of the store keeps the handle after the original closed it: it opens its own file.
    Parameter *original = store_;
    Parameter *copy = operands_->address(KVAP_GetAddress(original));
    set_enabled(false);
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(descriptors_opened(), 0);
    set_enabled(true);
    store_ = copy;
    EXPECT_EQ(evaluate(2), (Written{1, 2}));
    set_enabled(false);
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(descriptors_opened(), 0);

    // A handle that was never a file is cleared, not closed, when playback is disabled.
    int marker = 0;
    store_ = operands_->address(&marker);
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(KVAP_GetAddress(store_), nullptr);
}

TEST_F(AsciiFilePlayback, StoreThatCannotKeepAHandleOpensNothing) {
    write_file("lines.txt", "1\n2\n");
    for (const char *valueType : {"string", "float4", "float4x4"}) {
        store_ = operands_->typed(valueType);
        EXPECT_EQ(evaluate(2), (Written{kNothing, kNothing})) << valueType;
        EXPECT_EQ(descriptors_opened(), 0) << valueType;
    }
    store_ = operands_->recorded("store", 0, nullptr);  // no value type at all
    EXPECT_EQ(evaluate(2), (Written{kNothing, kNothing}));
    EXPECT_EQ(descriptors_opened(), 0);
}

TEST_F(AsciiFilePlayback, ReadsEnableColumnAndStoreInThatOrder) {
    write_file("lines.txt", "1\n");
    OperandSet &operands = *operands_;
    enable_ = operands.recorded("enable", 1, "int");
    column_ = operands.recorded("column", 1, "int");
    store_ = operands.recorded("store", 0, "address");
    EXPECT_EQ(evaluate(), 1);
    EXPECT_EQ(operands.reads(), (std::vector<std::string>{"enable", "column", "store"}));

    operands.clear_reads();
    EXPECT_EQ(evaluate(), kNothing);  // end of file
    EXPECT_EQ(operands.reads(), (std::vector<std::string>{"enable", "column", "store"}));

    operands.clear_reads();
    operands.feed(enable_, {0});
    EXPECT_EQ(evaluate(), kNothing);
    EXPECT_EQ(operands.reads(), (std::vector<std::string>{"enable", "store"}));
    EXPECT_EQ(descriptors_opened(), 0);
}

}  // namespace

namespace {

TEST_F(AsciiFilePlayback, AStringFileNameIsOpenedWholeBeyondTheTextField) {
    const std::string path = (directory_ / (std::string(120, 'n') + ".txt")).string();
    std::ofstream(path, std::ios::binary) << "1 2\n3 4\n";
    use_file(path);
    char *text = nullptr;
    KVAP_GetString(fileName_, &text, 1);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), path.substr(0, 79));  // the text field keeps 79 characters
    set_column(2);
    EXPECT_EQ(evaluate(2), (Written{2, 4}));
}

}  // namespace
