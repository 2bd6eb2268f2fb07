// Finding and running helper programs.
#include "external.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#define EQM_POPEN _popen
#define EQM_PCLOSE _pclose
#else
#include <sys/wait.h>
#define EQM_POPEN popen
#define EQM_PCLOSE pclose
#endif

namespace eqm {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = ';';
const char *const kSuffixes[] = {".exe", ""};

std::string shell_quoted(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}
#else
constexpr char kPathSeparator = ':';
const char *const kSuffixes[] = {""};

// Single quotes keep every byte but the single quote itself, which is closed, escaped, reopened.
std::string shell_quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}
#endif

}  // namespace

std::string find_program(const std::string &name) {
    const char *path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::string directories = path;
    std::size_t start = 0;
    while (start <= directories.size()) {
        std::size_t end = directories.find(kPathSeparator, start);
        if (end == std::string::npos) end = directories.size();
        const std::string directory = directories.substr(start, end - start);
        start = end + 1;
        if (directory.empty()) continue;
        for (const char *suffix : kSuffixes) {
            const std::filesystem::path candidate =
                std::filesystem::path(directory) / (name + suffix);
            std::error_code error;
            if (!std::filesystem::is_regular_file(candidate, error)) continue;
#ifndef _WIN32
            const auto permissions = std::filesystem::status(candidate, error).permissions();
            if ((permissions & std::filesystem::perms::others_exec) ==
                    std::filesystem::perms::none &&
                (permissions & std::filesystem::perms::owner_exec) ==
                    std::filesystem::perms::none) {
                continue;
            }
#endif
            return candidate.string();
        }
    }
    return {};
}

int run_with_input(const std::string &program, const std::vector<std::string> &arguments,
                   const std::string &input) {
    std::string command = shell_quoted(program);
    for (const std::string &argument : arguments) command += " " + shell_quoted(argument);
#ifdef _WIN32
    // _popen hands the line to "cmd /c", which drops the first and the last quote of a line
    // that begins with one: quoted whole once more, the program's quoted name survives it.
    command = "\"" + command + "\"";
#endif
#ifndef _WIN32
    // A program that ends before reading everything must not take the host down with it.
    void (*previous)(int) = std::signal(SIGPIPE, SIG_IGN);
#endif
    std::FILE *pipe = EQM_POPEN(command.c_str(), "w");
    if (pipe == nullptr) return -1;
    const bool written = std::fwrite(input.data(), 1, input.size(), pipe) == input.size();
    const int status = EQM_PCLOSE(pipe);
#ifndef _WIN32
    std::signal(SIGPIPE, previous);
#endif
    if (!written || status == -1) return -1;
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace eqm
