// eqm-host driving the real module: loading it, checking scenes against its registries,
// building and playing scenes, and releasing everything it made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "counting_allocator.h"
#include "module.h"
#include "scene.h"
#include "scratch.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;

struct Started {
    eqm::Module module{ZTEQM_MODULE_PATH};
    std::unique_ptr<eqm::Library> library;

    Started() {
        if (module.loaded()) library = std::make_unique<eqm::Library>(module.api());
    }
};

std::unique_ptr<eqm::Scene> scene_from(const std::string &json, const eqm::Library &library,
                                       const fs::path &file = "/scenes/test.json") {
    std::vector<eqm::Problem> problems;
    auto scene = eqm::parse_scene(json, file, problems);
    if (scene != nullptr) eqm::check_against_library(library, *scene, problems);
    for (const eqm::Problem &problem : problems) {
        if (!problem.warning) ADD_FAILURE() << problem.where << ": " << problem.message;
    }
    return eqm::has_errors(problems) ? nullptr : std::move(scene);
}

// Plays the scene and returns the table.
std::string play(eqm::Library &library, eqm::Scene &scene, bool trace = false) {
    std::ostringstream table;
    eqm::RunOptions options;
    options.table = &table;
    options.trace = trace;
    eqm::Run run(library, scene);
    run.play(options);
    return table.str();
}

// The cells of the table row of `frame`, split at blanks; empty when there is none.
std::vector<std::string> row(const std::string &table, int frame) {
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream cells(line);
        std::vector<std::string> row;
        for (std::string cell; cells >> cell;) row.push_back(cell);
        if (!row.empty() && row[0] == std::to_string(frame) && row.size() > 1 &&
            row[1].find('.') != std::string::npos) {
            return row;
        }
    }
    return {};
}

using Cells = std::vector<std::string>;

// The host's block counts do not wrap after 2^31 blocks on any platform (long is 32-bit on
// Windows).
static_assert(sizeof(eqm::AllocatorStats::allocations) == 8 &&
              sizeof(eqm::AllocatorStats::live) == 8);

TEST(Module, NamesEveryFunctionAForeignLibraryLacks) {
#if defined(_WIN32)
    eqm::Module foreign("kernel32.dll");
#else
    eqm::Module foreign("libm.so.6");
#endif
    EXPECT_FALSE(foreign.loaded());
    EXPECT_NE(foreign.error().find("lacks"), std::string::npos) << foreign.error();
    EXPECT_NE(foreign.error().find("KVAEQM_Init"), std::string::npos);
    EXPECT_NE(foreign.error().find("KVAEP_DeleteEquation"), std::string::npos);
    EXPECT_EQ(foreign.api().KVAEQM_Init, nullptr);

    eqm::Module nowhere("/nonexistent/libztequationmanager.so");
    EXPECT_FALSE(nowhere.loaded());
    EXPECT_NE(nowhere.error().find("cannot load the module /nonexistent/"), std::string::npos);
}

TEST(Module, ResolvesEveryFunctionTheHostUses) {
    eqm::Module module(ZTEQM_MODULE_PATH);
    ASSERT_TRUE(module.loaded()) << module.error();
    EXPECT_TRUE(module.missing().empty());
    EXPECT_NE(module.api().KVAEQM_Init, nullptr);
    EXPECT_NE(module.api().KVAEP_DeleteEquation, nullptr);
}

TEST(Check, AsksTheLibraryForOperatorsTriggersTypesAndParameterCounts) {
    Started started;
    ASSERT_TRUE(started.library) << started.module.error();
    std::vector<eqm::Problem> problems;
    auto scene = eqm::parse_scene(R"({"databases": [{"name": "house",
      "nodes": {"door": {"angle": 0}},
      "equations": [
        {"name": "A", "operator": "clamp", "parameters": [1, 2, 3]},
        {"name": "B", "operator": "DriveDOF", "trigger": "New Frames", "parameters": [1]},
        {"name": "C", "operator": "sin", "result": {"type": "Equation", "valueType": "duoble"},
         "parameters": [{"attribute": "door.angle", "type": "Literal"}]},
        {"name": "D", "operator": "+", "result": {"type": "Temporari"},
         "parameters": [{"app": "clock"}, {"literal": 1, "valueType": "quad"}]},
        {"name": "E", "operator": "AsciiFile", "trigger": "No Trigger",
         "parameters": [1, {"literal": "f", "valueType": "string"}, 2,
                        {"literal": "0", "valueType": "string"}]},
        {"name": "G", "operator": "*", "parameters": [{"app": "frame"}, {"app": "time"}]},
        {"name": "H", "operator": "? :", "parameters": [{"attribute": "door.angle"}, 1, 2]},
        {"name": "F", "operator": "Move Value", "trigger": "Initialization",
         "parameters": [{"app": "frame"}]}
      ]}]})",
                                  "/scenes/test.json", problems);
    ASSERT_FALSE(eqm::has_errors(problems));
    problems.clear();  // only warnings: these results reach nothing
    eqm::check_against_library(*started.library, *scene, problems);
    auto has = [&](const std::string &where, const std::string &text) {
        for (const eqm::Problem &problem : problems) {
            if (problem.where.find(where) != std::string::npos &&
                problem.message.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has("(A).operator", "unknown operator \"clamp\" (did you mean \"Clamp\"?)"));
    EXPECT_TRUE(has("(B).parameters", "\"DriveDOF\" takes 6 parameters, 1 given"));
    EXPECT_TRUE(has("(B).trigger", "unknown trigger \"New Frames\" (did you mean \"New Frame\"?)"));
    EXPECT_TRUE(has("(C).result.type", "\"Equation\" is not a variable type"));
    EXPECT_TRUE(has("(C).result.valueType", "unknown value type \"duoble\""));
    EXPECT_TRUE(has("(C).parameters[0].type", "\"Literal\" is not a variable type"));
    EXPECT_TRUE(has("(D).result.type", "unknown parameter type \"Temporari\""));
    EXPECT_TRUE(has("(D).parameters[0].app", "no application variable \"clock\""));
    EXPECT_TRUE(has("(D).parameters[1].valueType", "unknown value type \"quad\""));
    EXPECT_TRUE(has("(E).parameters[3]", "keeps its open file here"));
    EXPECT_TRUE(has("(G).parameters[0]",
                    "\"*\" reads parameter 0 as a double, but \"frame\" is "
                    "bound to memory held as \"int\""));
    EXPECT_FALSE(has("(G).parameters[1]", ""));
    EXPECT_TRUE(has("(H).parameters[0]", "as an integer, but \"door.angle\""));
    EXPECT_FALSE(has("(F)", ""));  // "Move Value" reads an "int" source as an integer
    EXPECT_EQ(problems.size(), 12u);
}

TEST(Run, DrivesTheDoorToItsStopAndReleasesEveryBlock) {
    Started started;
    ASSERT_TRUE(started.library) << started.module.error();
    const long long before = eqm::allocator_stats().live;
    auto scene = scene_from(R"({"frames": 5, "databases": [{"name": "house",
      "nodes": {"door": {"angle": 50, "stop": 90, "open": {"value": 0, "type": "int"}}},
      "equations": [
        {"name": "Closed", "operator": "Move Value", "trigger": "Initialization",
         "result": {"drives": "door.angle"}, "parameters": [60]},
        {"name": "Swing", "operator": "DriveDOF", "result": {"drives": "door.angle"},
         "parameters": [{"literal": 1, "valueType": "int"}, {"literal": 1, "valueType": "int"},
                        {"attribute": "door.angle"}, 12.5, 0, {"attribute": "door.stop"}]},
        {"name": "Open", "operator": ">=", "result": {"valueType": "int", "drives": "door.open"},
         "parameters": [{"attribute": "door.angle"}, {"attribute": "door.stop"}]}
      ]}]})",
                            *started.library);
    ASSERT_TRUE(scene);
    const std::string table = play(*started.library, *scene);
    // Initialization puts the door at 60; each frame adds 12.5 until the stop is reached: the
    // step that crosses it overshoots, the next one lands on it.
    EXPECT_EQ(row(table, 0), (Cells{"0", "0.000", "60.000", "0"})) << table;
    EXPECT_EQ(row(table, 2), (Cells{"2", "0.083", "85.000", "0"}));
    EXPECT_EQ(row(table, 3), (Cells{"3", "0.125", "97.500", "1"}));
    EXPECT_EQ(row(table, 4), (Cells{"4", "0.167", "90.000", "1"}));
    EXPECT_EQ(row(table, 5), (Cells{"5", "0.208", "90.000", "1"}));
    EXPECT_NE(table.find("  house/Swing        5"), std::string::npos);
    EXPECT_NE(table.find("  house/Closed       1"), std::string::npos);
    EXPECT_EQ(eqm::allocator_stats().live, before);
    EXPECT_EQ(eqm::allocator_stats().foreignReleases, 0);
}

TEST(Run, ReferencesRunTheirEquationOnEveryReadAcrossDatabases) {
    Started started;
    ASSERT_TRUE(started.library) << started.module.error();
    auto scene = scene_from(R"({"frames": 2, "databases": [
      {"name": "a", "nodes": {"n": {"x": 0}}, "equations": [
        {"name": "Frame Number", "operator": "Move Value", "trigger": "No Trigger",
         "parameters": [{"app": "frame"}]},
        {"name": "Double Time", "operator": "*", "trigger": "No Trigger",
         "result": {"name": "twice"}, "parameters": [{"equation": "Frame Number"}, 2]}]},
      {"name": "b", "nodes": {"n": {"y": {"value": 0, "type": "int"}, "z": 0}}, "equations": [
        {"name": "Y", "operator": "+", "result": {"drives": "n.y"},
         "parameters": [{"equation": "Double Time"}, {"equation": "Double Time"}]},
        {"name": "Z", "operator": "? :", "result": {"drives": "n.z"},
         "parameters": [{"attribute": "n.y"}, 1, {"equation": "Double Time"}]}]}],
      "watch": ["b/n.y", "b/n.z", {"name": "twice"}]})",
                            *started.library);
    ASSERT_TRUE(scene);
    const std::string table = play(*started.library, *scene, true);
    // "frame" is an int application variable, moved into a double before it is multiplied:
    // frame 2 gives twice 4 and y 8; z takes its second branch only while y is 0.
    EXPECT_EQ(row(table, 1), (Cells{"1", "0.042", "4", "1.000", "2.000"})) << table;
    EXPECT_EQ(row(table, 2), (Cells{"2", "0.083", "8", "1.000", "4.000"}));
    // Double Time runs twice a frame for Y, never for Z.
    EXPECT_NE(table.find("  a/Double Time        4"), std::string::npos) << table;
    EXPECT_NE(table.find("  a/Frame Number       4"), std::string::npos);
    EXPECT_NE(table.find("        a/Double Time = 4.000000"), std::string::npos);
}

TEST(Run, ClosesPlaybackFilesAndLeavesNoDescriptorOpen) {
    Started started;
    ASSERT_TRUE(started.library) << started.module.error();
    const fs::path dir = testhost::scratch_root() / "playback";
    fs::create_directories(dir);
    std::ofstream(dir / "take.txt") << "1 10\n2 20\n3 30\n";
    const long long before = eqm::allocator_stats().live;
    const int descriptors = testhost::open_file_count();
    auto scene = scene_from(R"({"frames": 2, "databases": [{"name": "s",
      "nodes": {"n": {"v": 0}}, "equations": [
        {"name": "Take", "operator": "AsciiFile", "result": {"drives": "n.v"},
         "parameters": [{"literal": 1, "valueType": "int"}, {"file": "take.txt"},
                        {"literal": 2, "valueType": "int"},
                        {"literal": 0, "valueType": "address"}]}]}]})",
                            *started.library, dir / "scene.json");
    ASSERT_TRUE(scene);
    const std::string table = play(*started.library, *scene);
    EXPECT_EQ(row(table, 2), (Cells{"2", "0.083", "20.000"})) << table;
    EXPECT_EQ(testhost::open_file_count(), descriptors);
    EXPECT_EQ(eqm::allocator_stats().live, before);
}

}  // namespace
