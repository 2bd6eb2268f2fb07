// eqm-host: a stand-in for a modelling application. It loads the equation manager as a plug-in,
// builds a scene's equations into it and plays frames, or checks a scene for problems.
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "counting_allocator.h"
#include "module.h"
#include "scene.h"
#include "session.h"

namespace {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kSceneProblems = 1;
constexpr int kUsage = 2;
constexpr int kModuleProblem = 3;
constexpr int kRunFailed = 4;

const char kUsageText[] =
    "usage: eqm-host run SCENE [--frames N] [--csv FILE] [--trace] [--stats] [--module PATH]\n"
    "       eqm-host check SCENE... [--module PATH]\n"
    "       eqm-host --help\n"
    "\n"
    "run    builds the scene's equations, fires \"Initialization\" once and \"New Frame\" once\n"
    "       per frame, and prints the watched attributes after each\n"
    "         --frames N   frames to play (the scene's \"frames\", else 10)\n"
    "         --csv FILE   also write the table as CSV to FILE\n"
    "         --trace      list every notification under its frame\n"
    "         --stats      report the allocator's counts when the library has stopped\n"
    "check  reports every problem of each scene with its place; status 1 when there is one\n"
    "--module PATH   the equation manager to load (default: the one built beside eqm-host)\n"
    "\n"
    "exit status: 0 fine, 1 problems in a scene, 2 bad command line, 3 module not loaded,\n"
    "4 the library refused the scene\n";

struct CommandLine {
    std::string command;
    std::vector<std::string> scenes;
    std::optional<int32_t> frames;
    std::optional<std::string> csv;
    std::optional<std::string> module;
    bool trace = false;
    bool stats = false;
};

int usage_error(const std::string &message) {
    std::cerr << "eqm-host: " << message << "\n\n" << kUsageText;
    return kUsage;
}

std::optional<int32_t> parse_frames(const std::string &text) {
    if (text.empty() || text.size() > 7) return std::nullopt;
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 1000000) return std::nullopt;
    return value;
}

// Returns an exit status when the command line is not one to run.
std::optional<int> parse_command_line(int argc, char **argv, CommandLine &line) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage_error("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsageText;
        return kOk;
    }
    line.command = args[0];
    if (line.command != "run" && line.command != "check") {
        return usage_error("unknown command \"" + line.command + "\"");
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == "--module") {
            line.module = value();
            if (!line.module) return usage_error("--module needs a path");
        } else if (arg == "--frames" && line.command == "run") {
            auto text = value();
            if (!text || !(line.frames = parse_frames(*text))) {
                return usage_error("--frames needs a whole number from 0 to 1000000");
            }
        } else if (arg == "--csv" && line.command == "run") {
            line.csv = value();
            if (!line.csv) return usage_error("--csv needs a file name");
        } else if (arg == "--trace" && line.command == "run") {
            line.trace = true;
        } else if (arg == "--stats" && line.command == "run") {
            line.stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + arg + " for " + line.command);
        } else {
            line.scenes.push_back(arg);
        }
    }
    if (line.scenes.empty()) return usage_error(line.command + " needs a scene file");
    if (line.command == "run" && line.scenes.size() > 1) {
        return usage_error("run takes one scene");
    }
    return std::nullopt;
}

void report(const std::string &scene, const std::vector<eqm::Problem> &problems) {
    for (const eqm::Problem &problem : problems) {
        std::cerr << scene << ": " << (problem.where.empty() ? "" : problem.where + ": ")
                  << problem.message << '\n';
    }
}

// Reads a scene and checks it against the started library; reports and returns its problems.
std::unique_ptr<eqm::Scene> load_scene(const eqm::Library &library, const std::string &file,
                                       std::vector<eqm::Problem> &problems) {
    auto scene = eqm::read_scene(file, problems);
    if (scene != nullptr) eqm::check_against_library(library, *scene, problems);
    report(file, problems);
    return scene;
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

int run_scene(eqm::Library &library, const CommandLine &line) {
    std::vector<eqm::Problem> problems;
    const std::string &file = line.scenes.front();
    auto scene = load_scene(library, file, problems);
    if (scene == nullptr || !problems.empty()) return kSceneProblems;

    std::ofstream csv;
    if (line.csv) {
        csv.open(*line.csv, std::ios::binary | std::ios::trunc);
        if (!csv) {
            std::cerr << "eqm-host: cannot write " << *line.csv << '\n';
            return kUsage;
        }
    }
    eqm::RunOptions options;
    options.frames = line.frames;
    options.table = &std::cout;
    options.csv = line.csv ? &csv : nullptr;
    options.trace = line.trace;
    eqm::Run run(library, *scene);
    run.play(options);
    std::cout.flush();
    if (line.csv && !csv.flush()) {
        std::cerr << "eqm-host: cannot write " << *line.csv << '\n';
        return kUsage;
    }
    return kOk;
}

int check_scenes(const eqm::Library &library, const CommandLine &line) {
    int status = kOk;
    for (const std::string &file : line.scenes) {
        std::vector<eqm::Problem> problems;
        auto scene = load_scene(library, file, problems);
        if (scene == nullptr || !problems.empty()) {
            std::cerr << file << ": " << problems.size()
                      << (problems.size() == 1 ? " problem\n" : " problems\n");
            status = kSceneProblems;
        } else {
            std::cout << file << ": ok\n";
        }
    }
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    CommandLine line;
    if (auto status = parse_command_line(argc, argv, line)) return *status;

    const std::string modulePath = line.module.value_or(eqm::default_module_path());
    eqm::Module module(modulePath);
    if (!module.loaded()) {
        std::cerr << "eqm-host: " << module.error() << '\n';
        return kModuleProblem;
    }

    int status = kOk;
    try {
        eqm::Library library(module.api());
        status = line.command == "run" ? run_scene(library, line) : check_scenes(library, line);
    } catch (const std::exception &error) {
        std::cout.flush();
        std::cerr << "eqm-host: " << error.what() << '\n';
        status = kRunFailed;
    }
    if (line.stats) print_stats();
    return status;
}
