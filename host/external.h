// Programs the host drives for pictures (Graphviz's "dot", gnuplot): found on the PATH and fed
// their input through a pipe.
#pragma once

#include <string>
#include <vector>

namespace eqm {

// The full name of an executable `name` on the PATH, or empty when there is none.
std::string find_program(const std::string &name);

// Runs `program` with `arguments`, writes `input` to its standard input and waits for it.
// Returns its exit status, or -1 when it could not be started or was killed.
int run_with_input(const std::string &program, const std::vector<std::string> &arguments,
                   const std::string &input);

}  // namespace eqm
