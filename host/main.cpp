// eqm-host: a stand-in for a modelling application. It loads the equation manager as a plug-in,
// builds a scene's equations into it and plays frames, checks scenes for problems, lists the
// library's operators, and draws a scene's graph and its curves.
#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <ztequationmanager/version.h>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <io.h>
#define EQM_ISATTY _isatty
#else
#include <unistd.h>
#define EQM_ISATTY isatty
#endif

#include "counting_allocator.h"
#include "external.h"
#include "graph.h"
#include "module.h"
#include "plot.h"
#include "scene.h"
#include "session.h"

namespace {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kSceneProblems = 1;
constexpr int kUsage = 2;
constexpr int kModuleProblem = 3;
constexpr int kRunFailed = 4;
constexpr int kToolMissing = 5;

constexpr int32_t kMostFrames = 1000000;

struct CommandLine {
    std::vector<std::string> scenes;
    std::optional<int32_t> frames;
    std::optional<std::string> csv;
    std::optional<std::string> module;
    std::optional<std::string> output;
    std::string format;
    std::vector<std::string> watches;
    int32_t every = 1;
    bool trace = false;
    bool stats = false;
    bool quiet = false;
    bool version = false;
};

// A run stops between frames when asked to, so that every file it writes ends with whole rows.
volatile std::sig_atomic_t stopSignal = 0;
extern "C" void ask_to_stop(int signal) { stopSignal = signal; }

void report(const std::string &scene, const std::vector<eqm::Problem> &problems) {
    for (const eqm::Problem &problem : problems) {
        std::cerr << scene << ": " << (problem.where.empty() ? "" : problem.where + ": ")
                  << (problem.warning ? "warning: " : "") << problem.message << '\n';
    }
}

std::size_t error_count(const std::vector<eqm::Problem> &problems) {
    std::size_t count = 0;
    for (const eqm::Problem &problem : problems) count += problem.warning ? 0 : 1;
    return count;
}

// Reads a scene and, with a library, checks it against the library; reports its problems.
std::unique_ptr<eqm::Scene> load_scene(const eqm::Library *library, const std::string &file,
                                       std::vector<eqm::Problem> &problems,
                                       const std::string *text = nullptr) {
    auto scene =
        text != nullptr ? eqm::parse_scene(*text, file, problems) : eqm::read_scene(file, problems);
    if (scene != nullptr && library != nullptr) {
        eqm::check_against_library(*library, *scene, problems);
    }
    report(file, problems);
    return scene;
}

// The module to load: the one named, or the one built beside the host. A bare file name that
// exists is that file, not a name for the loader to search its library path for.
std::string module_path(const CommandLine &line) {
    if (!line.module) return eqm::default_module_path();
    const std::filesystem::path named = *line.module;
    std::error_code error;
    if (!named.has_parent_path() && std::filesystem::is_regular_file(named, error)) {
        return (std::filesystem::path(".") / named).string();
    }
    return *line.module;
}

void print_stats() {
    const eqm::AllocatorStats &stats = eqm::allocator_stats();
    std::fprintf(stderr,
                 "allocator: %lld blocks allocated, %lld released, %lld live; peak %lld blocks, "
                 "%zu bytes\n",
                 stats.allocations, stats.releases, stats.live, stats.peakLive, stats.peakBytes);
    if (stats.foreignReleases != 0) {
        std::fprintf(stderr, "allocator: %lld releases of blocks it never handed out\n",
                     stats.foreignReleases);
    }
}

// "frame 41234 of 1000000 (4%)" on standard error, rewritten in place, once a run has taken
// more than a second and only when standard error is a terminal that is not already showing
// the table's rows.
class Progress {
public:
    Progress(int32_t frames, bool tableOnTerminal)
        : frames_(frames),
          shown_(EQM_ISATTY(2) != 0 && !tableOnTerminal),
          start_(Clock::now()),
          next_(start_) {}
    ~Progress() { clear(); }

    void frame(int32_t frame) {
        if (!shown_ || (frame & 255) != 0) return;
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now < next_) return;
        next_ = now + std::chrono::milliseconds(100);
        std::fprintf(stderr, "\r  frame %d of %d (%d%%)", frame, frames_,
                     static_cast<int>(100.0 * frame / std::max(1, frames_)));
        std::fflush(stderr);
        written_ = true;
    }

    void clear() {
        if (written_) std::fprintf(stderr, "\r%40s\r", "");
        written_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    int32_t frames_;
    bool shown_;
    bool written_ = false;
    Clock::time_point start_;
    Clock::time_point next_;
};

int run_scene(eqm::Library &library, const CommandLine &line) {
    std::vector<eqm::Problem> problems;
    const std::string &file = line.scenes.front();
    auto scene = load_scene(&library, file, problems);
    if (scene == nullptr || eqm::has_errors(problems)) return kSceneProblems;

    const bool csvToOutput = line.csv && *line.csv == "-";
    std::ofstream csvFile;
    if (line.csv && !csvToOutput) {
        csvFile.open(*line.csv, std::ios::binary | std::ios::trunc);
        if (!csvFile) {
            std::cerr << "eqm-host: cannot write " << *line.csv << ": " << std::strerror(errno)
                      << '\n';
            return kUsage;
        }
    }
    std::ostream *csv = csvToOutput ? &std::cout : line.csv ? &csvFile : nullptr;
    const int32_t frames = line.frames.value_or(scene->frames);
    const bool tableShown = !line.quiet && !csvToOutput;
    Progress progress(frames, tableShown && EQM_ISATTY(1) != 0);

    eqm::RunOptions options;
    options.frames = frames;
    // Standard output carries either the table or the CSV, never both.
    options.table = tableShown ? &std::cout : nullptr;
    options.summary = csvToOutput ? &std::cerr : &std::cout;
    options.csv = csv;
    options.trace = line.trace;
    options.every = line.every;
    options.stop = &stopSignal;
    options.afterFrame = [&](int32_t frame) { progress.frame(frame); };
    options.onEnd = [&] { progress.clear(); };
    std::signal(SIGINT, ask_to_stop);
    std::signal(SIGTERM, ask_to_stop);
    eqm::Run run(library, *scene);
    const int32_t played = run.play(options);
    progress.clear();
    std::cout.flush();
    if (line.csv && !csvToOutput && !csvFile.flush()) {
        std::cerr << "eqm-host: cannot write " << *line.csv << '\n';
        return kUsage;
    }
    if (stopSignal != 0) {
        std::cerr << "eqm-host: interrupted after frame " << played << " of " << frames
                  << (line.csv ? "; the CSV ends with that frame's row" : "") << '\n';
        return 128 + stopSignal;
    }
    return kOk;
}

int check_scenes(const eqm::Library &library, const CommandLine &line) {
    int status = kOk;
    for (const std::string &file : line.scenes) {
        std::vector<eqm::Problem> problems;
        auto scene = load_scene(&library, file, problems);
        const std::size_t errors = error_count(problems);
        const std::size_t warnings = problems.size() - errors;
        if (scene == nullptr || errors != 0) {
            std::cerr << file << ": " << errors << (errors == 1 ? " problem\n" : " problems\n");
            status = kSceneProblems;
        } else if (warnings != 0) {
            std::cout << file << ": ok, " << warnings
                      << (warnings == 1 ? " warning\n" : " warnings\n");
        } else {
            std::cout << file << ": ok\n";
        }
    }
    return status;
}

int list_operators(const eqm::Library &library) {
    const eqm::Api &api = library.api();
    std::cout << "operators\n     id  parameters  name\n";
    for (int32_t id = 1; id < api.KVAOP_GetNumTypes(); ++id) {
        const char *name = api.KVAOP_NameOfID(id);
        if (name == nullptr || *name == '\0') continue;
        std::printf("  %5d  %10d  %s\n", id, api.KVAOP_GetNumParameters(id), name);
        std::fflush(stdout);
    }
    auto list = [](const char *title, int32_t from, int32_t count, auto nameOf, auto extra) {
        std::cout << '\n' << title << "\n     id  name\n";
        for (int32_t id = from; id < count; ++id) {
            const char *name = nameOf(id);
            if (name == nullptr || *name == '\0') continue;
            std::cout << (id < 10    ? "      "
                          : id < 100 ? "     "
                                     : "    ")
                      << id << "  " << name << extra(id) << '\n';
        }
    };
    auto nothing = [](int32_t) { return std::string(); };
    list("value types", 1, api.KVAV_GetNumTypes(), api.KVAV_NameOfID, nothing);
    list("parameter types", 1, api.KVAP_GetNumTypes(), api.KVAP_NameOfID, [&](int32_t id) {
        return std::string(api.KVAP_GetParameterTypeLValueEnabled(id) != 0
                               ? "  (a variable: may hold a result)"
                               : "");
    });
    list("triggers", 0, api.KVAT_GetNumTypes(), api.KVAT_NameOfID, nothing);
    return kOk;
}

std::string format_of(const CommandLine &line) {
    if (!line.format.empty()) return line.format;
    if (line.output) {
        const std::string picture = eqm::plot_format(*line.output);
        if (!picture.empty()) return picture;
    }
    return "dot";
}

bool write_text(const std::optional<std::string> &output, const std::string &text) {
    if (!output || *output == "-") {
        std::cout << text;
        return static_cast<bool>(std::cout.flush());
    }
    std::ofstream out(*output, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

int draw_graph(const CommandLine &line) {
    const std::string &file = line.scenes.front();
    std::vector<eqm::Problem> problems;
    auto scene = load_scene(nullptr, file, problems);
    if (scene == nullptr) return kSceneProblems;
    for (const auto &cycle : eqm::reference_cycles(*scene)) {
        std::string path;
        for (const std::string &name : cycle)
            path += (path.empty() ? "\"" : " -> \"") + name + "\"";
        std::cerr << file << ": cycle: " << path << '\n';
    }
    const std::string dot = eqm::scene_graph_dot(*scene);
    const std::string format = format_of(line);
    if (format == "dot") {
        if (!write_text(line.output, dot)) {
            std::cerr << "eqm-host: cannot write " << line.output.value_or("-") << '\n';
            return kUsage;
        }
        return kOk;
    }
    const std::string program = eqm::find_program("dot");
    if (program.empty()) {
        std::cerr << "eqm-host: " << format
                  << " needs Graphviz's \"dot\" program, which is not on the PATH (install the "
                     "graphviz package), or write --format dot\n";
        return kToolMissing;
    }
    std::vector<std::string> arguments = {"-T" + format};
    if (line.output && *line.output != "-") arguments.push_back("-o" + *line.output);
    std::cout.flush();
    if (eqm::run_with_input(program, arguments, dot) != 0) {
        std::cerr << "eqm-host: dot could not draw the graph\n";
        return kRunFailed;
    }
    return kOk;
}

// The scene's text with its watches replaced by those named on the command line: each is one of
// the scene's own columns by its label, "database/node.attribute", "database:name" or a name.
std::optional<std::string> with_watches(const std::string &file, const eqm::Scene &scene,
                                        const std::vector<std::string> &watches) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    nlohmann::ordered_json root = nlohmann::ordered_json::parse(text.str(), nullptr, false);
    if (root.is_discarded() || !root.is_object()) return std::nullopt;
    const nlohmann::ordered_json own = root.value("watch", nlohmann::ordered_json::array());
    nlohmann::ordered_json chosen = nlohmann::ordered_json::array();
    for (const std::string &watch : watches) {
        bool found = false;
        for (std::size_t i = 0; i < scene.watches.size() && !found; ++i) {
            if (scene.watches[i].label != watch) continue;
            found = true;
            chosen.push_back(own.is_array() && i < own.size() ? own[i]
                                                              : nlohmann::ordered_json(watch));
        }
        if (found) continue;
        const std::size_t colon = watch.find(':');
        if (watch.find('/') != std::string::npos) {
            chosen.push_back(watch);
        } else if (colon != std::string::npos) {
            chosen.push_back(
                {{"name", watch.substr(colon + 1)}, {"database", watch.substr(0, colon)}});
        } else {
            chosen.push_back({{"name", watch}});
        }
    }
    root["watch"] = chosen;
    return root.dump(2);
}

int draw_plot(eqm::Library &library, const CommandLine &line) {
    const std::string &file = line.scenes.front();
    const std::string format = line.format.empty() ? eqm::plot_format(*line.output) : line.format;
    if (format != "svg" && format != "png") {
        std::cerr << "eqm-host: plot: -o names an .svg or a .png file (or give --format); see "
                     "'eqm-host plot --help'\n";
        return kUsage;
    }
    std::vector<eqm::Problem> problems;
    auto scene = load_scene(&library, file, problems);
    if (scene == nullptr || eqm::has_errors(problems)) return kSceneProblems;
    if (!line.watches.empty()) {
        const auto text = with_watches(file, *scene, line.watches);
        if (!text) return kSceneProblems;
        problems.clear();
        scene = load_scene(&library, file, problems, &*text);
        if (scene == nullptr || eqm::has_errors(problems)) return kSceneProblems;
    }
    if (scene->watches.empty()) {
        std::cerr << file << ": nothing to plot: no watch, and no equation drives an attribute\n";
        return kSceneProblems;
    }
    const std::string program = eqm::find_program("gnuplot");
    if (program.empty()) {
        std::cerr << "eqm-host: plot needs the \"gnuplot\" program, which is not on the PATH "
                     "(install the gnuplot-nox package)\n";
        return kToolMissing;
    }

    eqm::PlotData data;
    data.title = scene->title.empty() ? scene->file.filename().string() : scene->title;
    data.fps = scene->fps;
    for (const eqm::Watch &watch : scene->watches) {
        data.series.push_back({watch.label, false, {}});
    }
    eqm::RunOptions options;
    options.frames = line.frames;
    options.onFrame = [&](int32_t frame, double, const std::vector<eqm::Cell> &cells) {
        data.frames.push_back(frame);
        for (std::size_t i = 0; i < cells.size() && i < data.series.size(); ++i) {
            data.series[i].values.push_back(cells[i].value);
            data.series[i].integer = cells[i].integer;
        }
    };
    {
        eqm::Run run(library, *scene);
        run.play(options);
    }
    if (eqm::run_with_input(program, {}, eqm::gnuplot_script(data, *line.output, format)) != 0) {
        std::cerr << "eqm-host: gnuplot could not draw " << *line.output << '\n';
        return kRunFailed;
    }
    return kOk;
}

void print_version(const CommandLine &line) {
    std::cout << "eqm-host " << ZTEQM_VERSION_STRING << '\n';
    const std::string path = module_path(line);
    eqm::Module module(path);
    if (module.loaded()) {
        std::cout << "library " << ZTEQM_VERSION_STRING
                  << " (the header eqm-host was built with), loaded from " << path << '\n';
    } else {
        std::cout << "library: " << module.error() << '\n';
    }
}

// CLI11's checks say what is wrong with a value; these say it in the host's words.
std::string whole_number(const std::string &text, int32_t least, int32_t most) {
    if (text.empty() || text.size() > 10) return "";
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return "";
        value = value * 10 + (c - '0');
    }
    return value >= least && value <= most ? text : "";
}

CLI::Validator whole_numbers(int32_t least, int32_t most) {
    const std::string range = std::to_string(least) + " to " + std::to_string(most);
    return CLI::Validator(
        [=](std::string &text) {
            return whole_number(text, least, most).empty()
                       ? "needs a whole number from " + range + ", not \"" + text + "\""
                       : std::string();
        },
        "N", "");
}

}  // namespace

int main(int argc, char **argv) {
    CommandLine line;
    CLI::App app{
        "eqm-host: plays, checks and draws equation manager scenes, loading the library "
        "as a plug-in.",
        "eqm-host"};
    app.footer(
        "Exit status: 0 fine, 1 problems in a scene, 2 bad command line, 3 module not loaded,\n"
        "4 the library refused the scene (or a drawing program failed), 5 a drawing program is "
        "missing.\nSee 'eqm-host COMMAND --help' for each command's options.\n");
    app.require_subcommand(0, 1);
    // Options begin with "-" on every platform: on Windows CLI11 would also take a word
    // beginning with "/" for an option, and so an absolute path such as /scenes/door.json.
    // Set before the commands are added, which inherit it.
    app.allow_windows_style_options(false);
    app.add_flag("--version", line.version, "print eqm-host's and the library's versions");
    auto add_module = [&](CLI::App *command) {
        command->add_option("--module", line.module,
                            "the equation manager to load (default: the one built beside "
                            "eqm-host); a bare file name that exists loads that file");
    };
    add_module(&app);
    auto add_frames = [&](CLI::App *command) {
        command
            ->add_option("--frames", line.frames,
                         "frames to play (the scene's \"frames\", else 10)")
            ->check(whole_numbers(0, kMostFrames))
            ->type_name("N");
    };

    CLI::App *run = app.add_subcommand(
        "run",
        "build the scene's equations, fire \"Initialization\" once and \"New Frame\" once "
        "per frame, and print the watched values after each");
    run->add_option("scene", line.scenes, "the scene file")->required()->expected(1);
    add_frames(run);
    run->add_option("--csv", line.csv,
                    "also write the table as CSV to FILE ('-': standard "
                    "output, instead of the table)")
        ->type_name("FILE");
    run->add_option("--every", line.every, "print frame 0, every Nth frame and the last one")
        ->check(whole_numbers(1, kMostFrames))
        ->type_name("N");
    run->add_flag("--quiet,-q", line.quiet, "no table: only the notification counts");
    run->add_flag("--trace", line.trace, "list every notification under its frame");
    run->add_flag("--stats", line.stats,
                  "report the allocator's counts when the library has stopped");
    add_module(run);

    CLI::App *check = app.add_subcommand(
        "check", "report every problem of each scene with its place; status 1 when there is one");
    check->add_option("scenes", line.scenes, "scene files")->required();
    add_module(check);

    CLI::App *operators = app.add_subcommand(
        "operators",
        "list the library's operators with their parameter counts, its value types, "
        "parameter types and triggers");
    add_module(operators);

    CLI::App *graph = app.add_subcommand(
        "graph",
        "draw what each equation reads and drives; cycles in red, listed on standard "
        "error");
    graph->add_option("scene", line.scenes, "the scene file")->required()->expected(1);
    graph
        ->add_option("--format", line.format,
                     "dot (the default), svg or png; svg and png need "
                     "Graphviz's dot")
        ->check(CLI::IsMember({"dot", "svg", "png"}));
    graph->add_option("-o,--output", line.output, "the file to write (default: standard output)")
        ->type_name("FILE");

    CLI::App *plot = app.add_subcommand(
        "plot",
        "play the scene and draw each watched value over the frames, one panel each "
        "(needs gnuplot)");
    plot->add_option("scene", line.scenes, "the scene file")->required()->expected(1);
    add_frames(plot);
    plot->add_option("--watch", line.watches,
                     "a value to draw, instead of the scene's watches: one of its columns' "
                     "labels, \"database/node.attribute\", \"database:name\" or a name; repeat it")
        ->type_name("NAME");
    plot->add_option("-o,--output", line.output, "the .svg or .png file to write")
        ->required()
        ->type_name("FILE");
    plot->add_option("--format", line.format, "svg or png (default: from the file's extension)")
        ->check(CLI::IsMember({"svg", "png"}));
    add_module(plot);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        return app.exit(CLI::CallForHelp());
    } catch (const CLI::ParseError &error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::string command;
        for (CLI::App *sub : app.get_subcommands({})) {
            if (sub->parsed()) command = sub->get_name();
        }
        std::string message = error.what();
        // An unknown first word is an unknown command, not an extra argument.
        if (command.empty() && argc > 1 && argv[1][0] != '-') {
            std::string nearest;
            for (const char *known : {"run", "check", "operators", "graph", "plot"}) {
                if (eqm::edit_distance(argv[1], known) <= 2) nearest = known;
            }
            message = std::string("unknown command \"") + argv[1] + "\" " +
                      (nearest.empty() ? "(the commands: run, check, operators, graph, plot)"
                                       : "(did you mean \"" + nearest + "\"?)");
        }
        std::cerr << "eqm-host: " << (command.empty() ? "" : command + ": ") << message
                  << "; see 'eqm-host " << (command.empty() ? "" : command + " ") << "--help'\n";
        return kUsage;
    }

    if (line.version) {
        print_version(line);
        return kOk;
    }
    if (app.get_subcommands().empty()) {
        std::cerr << "eqm-host: no command given (run, check, operators, graph, plot); see "
                     "'eqm-host --help'\n";
        return kUsage;
    }
    if (graph->parsed()) return draw_graph(line);

    const std::string path = module_path(line);
    eqm::Module module(path);
    if (!module.loaded()) {
        std::cerr << "eqm-host: " << module.error() << '\n';
        return kModuleProblem;
    }

    int status = kOk;
    try {
        eqm::Library library(module.api());
        if (run->parsed()) {
            status = run_scene(library, line);
        } else if (check->parsed()) {
            status = check_scenes(library, line);
        } else if (operators->parsed()) {
            status = list_operators(library);
        } else {
            status = draw_plot(library, line);
        }
    } catch (const std::exception &error) {
        std::cout.flush();
        std::cerr << "eqm-host: " << error.what() << '\n';
        status = kRunFailed;
    }
    if (line.stats) print_stats();
    return status;
}
