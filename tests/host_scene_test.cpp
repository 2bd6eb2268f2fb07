// eqm-host's own parts: the scene reader (what it accepts, every problem it reports with its
// place), the table, the plot and helper programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "external.h"
#include "output.h"
#include "plot.h"
#include "scene.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

// What a scene reads as: its title, then a line per equation and per parameter. What a scene's
// attributes and watches hold shows in the runs compared with scenes/*.expected.
std::string describe(const eqm::Scene &scene) {
    static const char *const kinds[] = {"literal", "attribute", "app", "equation", "file"};
    std::ostringstream out;
    out << scene.title << ", " << scene.frames << " frames at " << scene.fps << '\n';
    for (const auto &database : scene.databases)
        for (const eqm::EquationPlan &e : database->equations) {
            out << e.name << ": " << e.op << " on " << e.trigger << " into "
                << e.result.parameterType << ' ' << e.result.valueType << " '" << e.result.name
                << "' from " << e.result.initial.value_or("-") << " driving "
                << e.result.drives.value_or("-") << '\n';
            for (const eqm::ParameterPlan &p : e.parameters)
                out << "  " << kinds[static_cast<int>(p.kind)] << ' ' << p.database << '/' << p.text
                    << ' ' << p.valueType << ' ' << p.parameterType << '\n';
        }
    return out.str();
}

// A scene, and what must be within its report: "where: [warning: ]message" a line, then
// describe() when the scene was read.
struct SceneCase {
    std::string scene;
    std::string says;
    std::size_t problems = 1;  // errors and warnings
    fs::path file = "/scenes/test.json";
};

TEST(SceneReader, ReadsWhatItCanAndReportsEveryProblemAtItsPlace) {
    const fs::path deep = testhost::make_scratch_directory("scenes") / std::string(90, 'd');
    fs::create_directories(deep);
    std::ofstream(deep / "wind.txt") << "1\n";
    const std::vector<SceneCase> cases = {
        {R"({"title": "Two rooms", "frames": 3, "fps": 25, "databases": [{"name": "house",
          "nodes": {"door": {"angle": 12.5, "open": {"value": -2, "type": "short"}}}, "equations": [
          {"name": "Swing", "operator": "+", "result": {"type": "Node Attribute", "name": "swing",
           "valueType": "float", "initial": 4, "drives": "door.angle"},
           "parameters": [2.5, {"literal": "7", "valueType": "int"}]},
          {"name": "Late", "operator": "*", "trigger": "Application", "result": {"drives":
           "door.angle"}, "parameters": [{"attribute": "door.open", "type": "Temporary"},
           {"app": "time"}, {"attribute": "door.angle"}, {"equation": "Swing"}, {"literal": "abc",
           "valueType": "string"}, {"literal": " 42 ", "valueType": "short"}]}]}]})",
         "Two rooms, 3 frames at 25\n"
         "Swing: + on New Frame into Node Attribute float 'swing' from 4 driving door.angle\n"
         "  literal /2.5 double \n  literal /7 int \n"
         "Late: * on Application into Temporary double '' from - driving door.angle\n"
         "  attribute house/door.open short Temporary\n  app /time double \n"
         "  attribute house/door.angle double Node Attribute\n  equation /Swing double \n"
         "  literal /abc string \n  literal / 42  short \n",
         0},
        // A data file's name must fit a text parameter (others: scenes/missing_file.json and the
        // playback example).
        {R"({"databases": [{"name": "h", "nodes": {"n": {"v": 0}}, "equations": [{"name": "A",
          "operator": "Move Value", "result": {"drives": "n.v"}, "parameters": [{"file":
          "wind.txt"}]}]}]})",
         "wind.txt\" is longer than 79 characters", 1, deep / "s.json"},
        // Malformed JSON: where it breaks, and nothing read.
        {"{\"databases\": [{\"name\": \"a\",\n  \"nodes\": {\"n\": {\"v\": 1e400}}}]}",
         "line 2, column 24: malformed JSON: number overflow parsing '1e400'"},
        {"nul", "line 1, column 4: malformed JSON"},
        {"\x01\xff", "line 1, column 1: malformed JSON"},
        {std::string("{\"databases\": [{\"name\": \"a\0b\"}]}", 32),
         "line 1, column 27: malformed JSON"},
        // Deep nesting is read without exhausting the stack.
        {"{\"databases\": " + std::string(100000, '[') + std::string(100000, ']') + "}",
         "databases[0]: a database is an object, not an array"},
        // Wrong shapes; the rest of what a scene may get wrong is in scenes/*.json.
        {"[]", "a scene is a JSON object, not an array"},
        {"{}", "needs \"databases\""},
        {R"({"databases": []})", "databases: must be a list of at least one database"},
    };
    for (const SceneCase &c : cases) {
        SCOPED_TRACE(c.scene.substr(0, 300));
        std::vector<eqm::Problem> problems;
        const auto scene = eqm::parse_scene(c.scene, c.file, problems);
        std::string report;
        for (const eqm::Problem &p : problems)
            report += (p.where.empty() ? "" : p.where + ": ") + (p.warning ? "warning: " : "") +
                      p.message + '\n';
        if (scene != nullptr) report += describe(*scene);
        EXPECT_EQ(problems.size(), c.problems) << report;
        EXPECT_EQ(scene == nullptr, report.find("malformed JSON") != std::string::npos) << report;
        EXPECT_NE(report.find(c.says), std::string::npos) << c.says << "\n" << report;
    }
}

// A table's columns widen with what they hold: the frame and time columns for the last frame, a
// value column from the row that needs more.
TEST(Output, TableColumnsWidenPlotsKeepTheirExtremesAndHelperProgramsGetWhatTheyAreGiven) {
    std::ostringstream out;
    eqm::TableWriter table(out, {"a/b.c"}, 1000000, 1000000 / 24.0);
    table.header();
    table.row(1000000, 1000000 / 24.0, {{123456789012.0, false}});
    table.row(1000000, 1000000 / 24.0, {{2.0, true}});
    EXPECT_EQ(out.str(),
              "  frame      time       a/b.c\n"
              "1000000 41666.667  123456789012.000\n"
              "1000000 41666.667                 2\n");

    // A long run's curve keeps its first and last frames and every bucket's extremes, in order;
    // a short one keeps every frame. The script quotes what it names.
    std::vector<double> values(100000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(i * 0.001);
    values[54321] = 50.0;  // one frame's spike
    values[77777] = -50.0;
    const std::vector<std::size_t> rows = eqm::plotted_rows(values);
    const std::vector<std::size_t> kept = {0, 54321, 77777, values.size() - 1};
    EXPECT_TRUE(rows.size() <= 2 * eqm::kPlotBuckets + 2 && std::ranges::is_sorted(rows) &&
                std::ranges::includes(rows, kept));
    EXPECT_EQ(eqm::plotted_rows(std::vector<double>(4000)).size(), 4000u);

    const eqm::PlotData data{
        "It's a rig", 24, {0, 1, 2}, {{"a/b.c", false, {0.5, 1.0, 1.5}}, {"d:e", true, {0, 1, 0}}}};
    const std::string script = eqm::gnuplot_script(data, "/tmp/x'y.svg", "svg");
    for (const char *part : {"set output '/tmp/x''y.svg'", "set multiplot title 'It''s a rig'",
                             "plot $series1 using 1:2 with steps"})
        EXPECT_NE(script.find(part), std::string::npos) << part << "\n" << script;

    // A helper program (gnuplot, dot) starts by its full name, quoted, even with a space in it,
    // gets its quoted arguments and what it is given to read, and hands back its exit status.
    const fs::path dir = testhost::make_scratch_directory("helper programs");
#ifdef _WIN32
    const fs::path helper = dir / "same.bat";
    std::ofstream(helper, std::ios::binary) << "@echo off\r\nset /p line=\r\n"
                                               "if \"%line%\"==\"%~1\" exit /b 3\r\nexit /b 1\r\n";
#else
    const fs::path helper = dir / "same";
    std::ofstream(helper, std::ios::binary)
        << "#!/bin/sh\nread line\n[ \"$line\" = \"$1\" ] && exit 3\nexit 1\n";
    fs::permissions(helper, fs::perms::owner_all);
#endif
    EXPECT_EQ(eqm::run_with_input(helper.string(), {"a b"}, "a b\n"), 3);
    EXPECT_EQ(eqm::run_with_input(helper.string(), {"a b"}, "c\n"), 1);
    EXPECT_EQ(eqm::find_program("no-such-program-anywhere"), "");
}

}  // namespace
