// eqm-host's scene reader: what it accepts, and every problem it reports with its place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "external.h"
#include "output.h"
#include "plot.h"
#include "scene.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

fs::path temporary_directory() {
    fs::path dir =
        testhost::scratch_root() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir);
    return dir;
}

struct Parsed {
    std::unique_ptr<eqm::Scene> scene;
    std::vector<eqm::Problem> problems;

    // True when some problem at a place containing `where` has a message containing `text`.
    bool has(const std::string &where, const std::string &text) const {
        for (const eqm::Problem &problem : problems) {
            if (problem.where.find(where) != std::string::npos &&
                problem.message.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    std::string all() const {
        std::string text;
        for (const eqm::Problem &problem : problems) {
            text += problem.where + ": " + problem.message + "\n";
        }
        return text;
    }
};

Parsed parse(const std::string &json, const fs::path &file = "/scenes/test.json") {
    Parsed parsed;
    parsed.scene = eqm::parse_scene(json, file, parsed.problems);
    return parsed;
}

// A database "house" with a door, and the given equations.
std::string house(const std::string &equations, const std::string &extra = "") {
    return R"({"databases": [{"name": "house", "nodes": {"door": {"angle": 0, "stop": 90,
              "open": {"value": 1, "type": "int"}}}, "equations": [)" +
           equations + "]}]" + extra + "}";
}

TEST(SceneReader, ReadsDatabasesAttributesEquationsAndWatches) {
    Parsed parsed = parse(R"({
      "title": "Two rooms", "frames": 3, "fps": 25,
      "databases": [
        {"name": "house", "nodes": {"door": {"angle": 12.5, "open": {"value": -2, "type": "short"}}},
         "equations": [
           {"name": "Swing", "operator": "+", "result": {"type": "Node Attribute",
            "valueType": "float", "name": "swing", "initial": 4, "drives": "door.angle"},
            "parameters": [2.5, {"literal": "7", "valueType": "int"}]},
           {"name": "Late", "operator": "*", "trigger": "Application",
            "parameters": [{"attribute": "door.open", "type": "Temporary"}, {"app": "time"}]}
         ]},
        {"name": "garden", "nodes": {"gate": {"width": 1}},
         "equations": [{"name": "Gate", "operator": "-",
           "parameters": [{"attribute": "house/door.angle"}, {"equation": "Swing"}]}]}
      ],
      "watch": ["house/door.angle", {"name": "swing", "database": "house"}, {"name": "door.open"}]
    })");
    ASSERT_FALSE(eqm::has_errors(parsed.problems)) << parsed.all();
    const eqm::Scene &scene = *parsed.scene;
    EXPECT_EQ(scene.title, "Two rooms");
    EXPECT_EQ(scene.frames, 3);
    EXPECT_EQ(scene.fps, 25.0);
    ASSERT_EQ(scene.databases.size(), 2u);

    const eqm::Database &house = *scene.databases[0];
    const eqm::Attribute *angle = house.find_attribute("door.angle");
    const eqm::Attribute *open = house.find_attribute("door.open");
    ASSERT_NE(angle, nullptr);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(angle->valueType, "double");
    EXPECT_EQ(angle->storage.d, 12.5);  // held in place, in its value type
    EXPECT_EQ(open->valueType, "short");
    EXPECT_EQ(open->storage.s, -2);

    const eqm::EquationPlan &swing = house.equations[0];
    EXPECT_EQ(swing.trigger, "New Frame");  // the default
    EXPECT_EQ(swing.result.parameterType, "Node Attribute");
    EXPECT_EQ(swing.result.valueType, "float");
    EXPECT_EQ(swing.result.initial.value_or(""), "4");
    EXPECT_EQ(swing.result.drives.value_or(""), "door.angle");
    ASSERT_EQ(swing.parameters.size(), 2u);
    EXPECT_EQ(swing.parameters[0].kind, eqm::ParameterPlan::Kind::Literal);
    EXPECT_EQ(swing.parameters[0].text, "2.5");
    EXPECT_EQ(swing.parameters[0].valueType, "double");
    EXPECT_EQ(swing.parameters[1].valueType, "int");

    const eqm::EquationPlan &late = house.equations[1];
    EXPECT_EQ(late.result.parameterType, "Temporary");
    EXPECT_EQ(late.result.valueType, "double");
    EXPECT_EQ(late.parameters[0].parameterType, "Temporary");
    EXPECT_EQ(late.parameters[0].valueType, "short");  // a variable takes its attribute's type
    EXPECT_EQ(late.parameters[1].kind, eqm::ParameterPlan::Kind::AppVariable);

    const eqm::ParameterPlan &across = scene.databases[1]->equations[0].parameters[0];
    EXPECT_EQ(across.database, "house");
    EXPECT_EQ(across.text, "door.angle");

    ASSERT_EQ(scene.watches.size(), 3u);
    EXPECT_EQ(scene.watches[0].label, "house/door.angle");
    EXPECT_EQ(scene.watches[0].attribute, angle);
    EXPECT_EQ(scene.watches[1].kind, eqm::Watch::Kind::ValueByName);
    EXPECT_EQ(scene.watches[1].label, "house:swing");
    EXPECT_EQ(scene.watches[2].database, "");  // every database
}

TEST(SceneReader, WatchesEveryDrivenAttributeWhenNoWatchIsGiven) {
    Parsed parsed = parse(house(R"(
        {"name": "A", "operator": "+", "result": {"drives": "door.stop"}, "parameters": [1, 2]},
        {"name": "B", "operator": "+", "result": {"drives": "door.angle"}, "parameters": [1, 2]},
        {"name": "C", "operator": "+", "result": {"drives": "door.stop"}, "parameters": [1, 2]})"));
    ASSERT_TRUE(parsed.problems.empty()) << parsed.all();
    ASSERT_EQ(parsed.scene->watches.size(), 2u);
    EXPECT_EQ(parsed.scene->watches[0].label, "house/door.stop");
    EXPECT_EQ(parsed.scene->watches[1].label, "house/door.angle");
}

TEST(SceneReader, ReportsMalformedJsonAtItsLineAndColumn) {
    Parsed parsed = parse("{\n  \"databases\": [,]\n}");
    EXPECT_EQ(parsed.scene, nullptr);
    ASSERT_EQ(parsed.problems.size(), 1u);
    EXPECT_EQ(parsed.problems[0].where, "line 2, column 17");
    EXPECT_NE(parsed.problems[0].message.find("malformed JSON"), std::string::npos);

    for (const char *text : {"", "{", "{\"databases\": [", "nul", "\x01\xff", "1e999999"}) {
        Parsed broken = parse(text);
        EXPECT_EQ(broken.scene, nullptr) << text;
        EXPECT_TRUE(broken.has("", "malformed JSON")) << text << "\n" << broken.all();
    }
}

TEST(SceneReader, ReportsWrongShapesAtTheirPlace) {
    EXPECT_TRUE(parse("[]").has("", "a scene is a JSON object, not an array"));
    EXPECT_TRUE(parse("{}").has("", "needs \"databases\""));
    EXPECT_TRUE(parse(R"({"databases": []})").has("databases", "at least one database"));
    EXPECT_TRUE(parse(R"({"databases": [7]})").has("databases[0]", "not a number"));

    Parsed parsed = parse(house(R"({"name": 3, "operator": "+"}, "loose",
        {"name": "B", "operator": "+", "paramters": [], "parameters": {}})",
                                R"(, "frames": -1, "fps": 0, "extra": true)"));
    EXPECT_TRUE(parsed.has("frames", "whole number from 0 to 1000000")) << parsed.all();
    EXPECT_TRUE(parsed.has("fps", "above 0"));
    EXPECT_TRUE(parsed.has("extra", "unknown key \"extra\""));
    EXPECT_TRUE(parsed.has("equations[0].name", "must be a text, not a number"));
    EXPECT_TRUE(parsed.has("equations[1]", "an equation is an object, not a text"));
    EXPECT_TRUE(parsed.has("equations[2](B).paramters", "unknown key"));
    EXPECT_TRUE(parsed.has("equations[2](B).parameters", "must be a list"));
}

TEST(SceneReader, ChecksNamesAndAttributes) {
    Parsed parsed = parse(R"({"databases": [
      {"name": "a/b", "nodes": {"door.x": {}, "gate": {"w": "wide", "h": {"value": 1.5,
        "type": "int"}, "d": {"type": "float4"}, "e": 1e308}}},
      {"name": "twin"}, {"name": "twin"}]})");
    EXPECT_TRUE(parsed.has("databases[0].name", "holds no '.' or '/'")) << parsed.all();
    EXPECT_TRUE(parsed.has("databases[2].name", "another database is named \"twin\""));
    EXPECT_TRUE(parsed.has("nodes.door.x", "a node name"));
    EXPECT_TRUE(parsed.has("gate.w", "not a text"));
    EXPECT_TRUE(parsed.has("gate.h", "starts from a whole number"));
    EXPECT_TRUE(parsed.has("gate.d.type", "not \"float4\""));
    EXPECT_FALSE(parsed.has("gate.e", ""));

    const std::string longName(80, 'n');
    Parsed tooLong = parse(house(R"({"name": ")" + longName + R"(", "operator": "+"})"));
    EXPECT_TRUE(tooLong.has(".name", "longer than 79 characters")) << tooLong.all();
}

TEST(SceneReader, ChecksEachParameterKind) {
    Parsed parsed = parse(house(R"({"name": "A", "operator": "+", "parameters": [
        {"literal": 1, "attribute": "door.angle"}, {"attribute": "door.width"},
        {"attribute": "yard/door.angle"}, {"literal": "abc", "valueType": "double"},
        {"literal": "12cm", "valueType": "int"}, {"literal": "abc", "valueType": "string"},
        {"literal": " 42 ", "valueType": "short"}, true, {"literal": [1]}, {"app": 3}]})"));
    EXPECT_TRUE(parsed.has("parameters[0]", "exactly one of")) << parsed.all();
    EXPECT_TRUE(parsed.has("parameters[1].attribute", "no attribute \"door.width\""));
    EXPECT_TRUE(parsed.has("parameters[2].attribute", "no attribute \"yard/door.angle\""));
    EXPECT_TRUE(parsed.has("parameters[3].literal", "\"abc\" is not a number"));
    EXPECT_TRUE(parsed.has("parameters[4].literal", "\"12cm\" is not a whole number"));
    EXPECT_FALSE(parsed.has("parameters[5]", ""));  // any text is a string
    EXPECT_FALSE(parsed.has("parameters[6]", ""));
    EXPECT_TRUE(parsed.has("parameters[7]", "a parameter is a number or an object"));
    EXPECT_TRUE(parsed.has("parameters[8].literal", "must be a text or a number"));
    EXPECT_TRUE(parsed.has("parameters[9].app", "must be a text"));
}

TEST(SceneReader, ResolvesDataFilesAgainstTheSceneDirectory) {
    const fs::path dir = temporary_directory();
    fs::create_directories(dir / "data");
    std::ofstream(dir / "data" / "wind.txt") << "1 2 3\n";
    const fs::path scene = dir / "scene.json";

    Parsed found = parse(house(R"({"name": "A", "operator": "Move Value",
                                   "parameters": [{"file": "data/wind.txt"}]})"),
                         scene);
    ASSERT_FALSE(eqm::has_errors(found.problems)) << found.all();
    const eqm::ParameterPlan &file = found.scene->databases[0]->equations[0].parameters[0];
    EXPECT_EQ(file.valueType, "string");
    EXPECT_EQ(file.file, fs::absolute(dir / "data" / "wind.txt").lexically_normal());
    EXPECT_TRUE(fs::equivalent(file.text, dir / "data" / "wind.txt"));
    EXPECT_LE(file.text.size(), eqm::kMaxFileNameLength);

    Parsed missing = parse(house(R"({"name": "A", "operator": "Move Value",
                                     "parameters": [{"file": "data/calm.txt"}]})"),
                           scene);
    EXPECT_TRUE(missing.has("parameters[0].file", "no data file")) << missing.all();
    EXPECT_TRUE(missing.has("", (dir / "data" / "calm.txt").lexically_normal().generic_string()));

    const fs::path deep = dir / std::string(90, 'd');
    fs::create_directories(deep);
    std::ofstream(deep / "wind.txt") << "1\n";
    Parsed tooLong = parse(house(R"({"name": "A", "operator": "Move Value",
                                     "parameters": [{"file": "wind.txt"}]})"),
                           deep / "scene.json");
    EXPECT_TRUE(tooLong.has("file", "longer than 79 characters")) << tooLong.all();
}

TEST(SceneReader, ReportsDuplicateNamesMissingReferencesAndCycles) {
    Parsed parsed = parse(house(R"(
        {"name": "A", "operator": "+", "parameters": [{"equation": "B"}, 1]},
        {"name": "B", "operator": "+", "parameters": [{"equation": "C"}, 1]},
        {"name": "C", "operator": "+", "parameters": [{"equation": "A"}, {"equation": "Gone"}]},
        {"name": "Self", "operator": "+", "parameters": [{"equation": "Self"}, 1]},
        {"name": "A", "operator": "+", "parameters": [1, 2]})"));
    EXPECT_TRUE(parsed.has("equations[4](A).name", "another equation is named \"A\""))
        << parsed.all();
    EXPECT_TRUE(parsed.has("(C).parameters[1].equation", "no equation is named \"Gone\""));
    EXPECT_TRUE(parsed.has("(C).parameters[0]", "\"A\" -> \"B\" -> \"C\" -> \"A\""));
    EXPECT_TRUE(parsed.has("(Self).parameters[0]", "\"Self\" -> \"Self\""));
    int cycles = 0;
    for (const eqm::Problem &problem : parsed.problems) {
        cycles += problem.message.find("cycle") != std::string::npos;
    }
    EXPECT_EQ(cycles, 2);  // each cycle once
}

TEST(SceneReader, SurvivesDeepNestingAndOddInput) {
    const std::string deep =
        "{\"databases\": " + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_TRUE(parse(deep).has("databases[0]", "a database is an object"));
    EXPECT_TRUE(parse(std::string("{\"databases\": [{\"name\": \"a\0b\"}]}", 32))
                    .has("", "malformed JSON"));
    Parsed watch = parse(house("", R"(, "watch": [1, "door.angle", "house/door", {"name": 2}])"));
    EXPECT_TRUE(watch.has("watch[0]", "a watched column")) << watch.all();
    EXPECT_FALSE(watch.has("watch[1]", ""));  // one database: its name may be left out
    EXPECT_TRUE(watch.has("watch[2]", "no attribute"));
    EXPECT_TRUE(watch.has("watch[3].name", "must be a text"));
}

// Values that would silently read as something else, watches that would read 0 on every frame,
// and results that reach nothing: each at its place; the last only a warning.
TEST(SceneReader, RefusesSilentWrongValuesAndWarnsOfUnreachedResults) {
    Parsed parsed = parse(R"({"databases": [{"name": "rig",
        "nodes": {"n": {"c": {"value": 300, "type": "char"}, "s": {"value": 70000, "type": "short"},
                        "i": {"value": -3e9, "type": "int"}, "f": {"value": 1e39, "type": "float"},
                        "ok": {"value": -128, "type": "char"}}},
        "equations": [
          {"name": "Lost", "operator": "+", "result": {"name": "lost"}, "parameters": [1, 2]},
          {"name": "Seen", "operator": "+", "result": {"name": "speed"},
           "parameters": [{"literal": 70000, "valueType": "short"}, {"attribute": "n.ok"}]},
          {"name": "Read", "operator": "+", "trigger": "No Trigger", "parameters": [1, 2]},
          {"name": "Reader", "operator": "+", "result": {"drives": "n.ok"},
           "parameters": [{"equation": "Read"}, {"app": "time"}]}]}],
        "watch": [{"name": "sped"}, {"name": "speed", "database": "rig"}, {"name": "n.ok"},
                  {"name": "time"}, {"name": "nope", "database": "rig"}]})");
    EXPECT_TRUE(parsed.has("nodes.n.c", "300 is outside the range of \"char\" (-128 to 127)"))
        << parsed.all();
    EXPECT_TRUE(parsed.has("nodes.n.s", "70000 is outside the range of \"short\""));
    EXPECT_TRUE(parsed.has("nodes.n.i", "-3000000000 is outside the range of \"int\""));
    EXPECT_TRUE(parsed.has("nodes.n.f", "outside the range of \"float\""));
    EXPECT_FALSE(parsed.has("nodes.n.ok", ""));
    EXPECT_TRUE(parsed.has("equations[1](Seen).parameters[0].literal",
                           "\"70000\" is outside the range of \"short\""));
    EXPECT_TRUE(parsed.has("watch[0].name",
                           "no result or variable is named \"sped\" (did you "
                           "mean \"speed\"?)"));
    EXPECT_TRUE(parsed.has("watch[4].name", "no result or variable is named \"nope\" in \"rig\""));
    for (const char *watched : {"watch[1]", "watch[2]", "watch[3]"}) {
        EXPECT_FALSE(parsed.has(watched, "")) << watched;
    }
    // Only "Lost" reaches nothing: "Seen" is watched, "Read" is read, "Reader" drives.
    std::vector<std::string> warned;
    for (const eqm::Problem &problem : parsed.problems) {
        if (problem.warning) warned.push_back(problem.where + ": " + problem.message);
    }
    ASSERT_EQ(warned.size(), 1u) << parsed.all();
    EXPECT_EQ(warned[0],
              "databases[0](rig).equations[0](Lost): its result reaches nothing: it "
              "drives no attribute, no watch shows it and no equation reads it");

    Parsed warnedOnly = parse(house(R"({"name": "Lost", "operator": "+", "parameters": [1, 2]})"));
    ASSERT_EQ(warnedOnly.problems.size(), 1u);
    EXPECT_FALSE(eqm::has_errors(warnedOnly.problems));
}

// A number too large for a double, and a file that cannot be read, say where and why.
TEST(SceneReader, SaysWhereANumberOverflowsAndWhyAFileCannotBeRead) {
    Parsed parsed =
        parse("{\"databases\": [{\"name\": \"a\",\n  \"nodes\": {\"n\": {\"v\": 1e400}}}]}");
    ASSERT_EQ(parsed.problems.size(), 1u);
    EXPECT_EQ(parsed.problems[0].where, "line 2, column 24") << parsed.all();
    EXPECT_NE(parsed.problems[0].message.find("number overflow parsing '1e400'"),
              std::string::npos);

#ifdef __linux__
    // A regular file whose reading fails: /proc/self/mem, which only Linux has.
    std::vector<eqm::Problem> problems;
    EXPECT_EQ(eqm::read_scene("/proc/self/mem", problems), nullptr);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].message, "cannot read the scene file: Input/output error");
#endif
}

// A helper program starts by its full name, quoted, even with a space in it, gets its quoted
// arguments and what it is given to read, and hands back its exit status.
TEST(External, RunsAProgramAndReturnsItsStatus) {
    const fs::path dir = temporary_directory() / "helper programs";
    fs::create_directories(dir);
#ifdef _WIN32
    const fs::path helper = dir / "same.bat";
    std::ofstream(helper, std::ios::binary) << "@echo off\r\nset /p line=\r\n"
                                               "if \"%line%\"==\"%~1\" exit /b 3\r\nexit /b 1\r\n";
    EXPECT_FALSE(eqm::find_program("cmd").empty());
#else
    const fs::path helper = dir / "same";
    std::ofstream(helper, std::ios::binary)
        << "#!/bin/sh\nread line\n[ \"$line\" = \"$1\" ] && exit 3\nexit 1\n";
    fs::permissions(helper, fs::perms::owner_all);
    EXPECT_FALSE(eqm::find_program("sh").empty());
#endif
    EXPECT_EQ(eqm::run_with_input(helper.string(), {"a b"}, "a b\n"), 3);
    EXPECT_EQ(eqm::run_with_input(helper.string(), {"a b"}, "c\n"), 1);
    EXPECT_EQ(eqm::find_program("no-such-program-anywhere"), "");
}

TEST(Attribute, ConvertsNumbersLikeTheLibrary) {
    eqm::Attribute attribute;
    attribute.valueType = "int";
    attribute.set(2.7);
    EXPECT_EQ(attribute.storage.i, 2);
    attribute.set(-2.7);
    EXPECT_EQ(attribute.storage.i, -2);
    attribute.set(std::nan(""));
    EXPECT_EQ(attribute.storage.i, 0);
    attribute.set(1e20);
    EXPECT_EQ(attribute.storage.i, 2147483647);
    attribute.valueType = "short";
    attribute.set(70000);
    EXPECT_EQ(attribute.storage.s, 4464);  // low 16 bits
    EXPECT_EQ(attribute.get(), 4464.0);
    attribute.valueType = "float";
    attribute.set(0.1);
    EXPECT_EQ(attribute.storage.f, 0.1f);
    EXPECT_FALSE(attribute.is_integer());
}

// Columns widen with what they hold: the frame and time columns for the last frame, a value
// column from the row that needs more.
TEST(TableWriter, WidensColumnsForTheirContents) {
    std::ostringstream out;
    eqm::TableWriter table(out, {"a/b.c"}, 1000000, 1000000 / 24.0);
    table.header();
    table.row(0, 0.0, {{1.5, false}});
    table.row(1000000, 1000000 / 24.0, {{123456789012.0, false}});
    table.row(1000000, 1000000 / 24.0, {{2.0, true}});
    EXPECT_EQ(out.str(),
              "  frame      time       a/b.c\n"
              "      0     0.000       1.500\n"
              "1000000 41666.667  123456789012.000\n"
              "1000000 41666.667                 2\n");
}

// A long run's curve keeps its first and last frames and every bucket's extremes, in order;
// a short one keeps every frame.
TEST(Plot, ThinsALongRunWithoutLosingItsExtremes) {
    std::vector<double> values(100000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(i * 0.001);
    values[54321] = 50.0;  // one frame's spike
    values[77777] = -50.0;
    const std::vector<std::size_t> rows = eqm::plotted_rows(values);
    EXPECT_LE(rows.size(), 2 * eqm::kPlotBuckets + 2);
    EXPECT_EQ(rows.front(), 0u);
    EXPECT_EQ(rows.back(), values.size() - 1);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
    EXPECT_NE(std::find(rows.begin(), rows.end(), 54321u), rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), 77777u), rows.end());

    EXPECT_EQ(eqm::plotted_rows(std::vector<double>(4000)).size(), 4000u);

    eqm::PlotData data;
    data.title = "It's a rig";
    data.frames = {0, 1, 2};
    data.series = {{"a/b.c", false, {0.5, 1.0, 1.5}}, {"d:e", true, {0, 1, 0}}};
    const std::string script = eqm::gnuplot_script(data, "/tmp/x'y.svg", "svg");
    EXPECT_NE(script.find("set output '/tmp/x''y.svg'"), std::string::npos) << script;
    EXPECT_NE(script.find("set multiplot title 'It''s a rig'"), std::string::npos);
    EXPECT_NE(script.find("$series0 << EOD\n0 0.5\n1 1\n2 1.5\nEOD\n"), std::string::npos);
    EXPECT_NE(script.find("plot $series1 using 1:2 with steps"), std::string::npos);
}

}  // namespace
