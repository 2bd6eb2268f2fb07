// How each built-in operator reads its parameters. A bound variable is read in place, without
// conversion through its value type, so the host checks that every variable it binds is held
// in the value type the operator reads it as.
#pragma once

#include <string>

namespace eqm {

enum class Read {
    Integer,  // read as a 32-bit integer: exact for an "int" variable only
    Double,   // read as a double: exact for a "double" variable only
    ByType,   // read by the source's value type ("Move Value"): "int" or "double"
    Text,     // its value text, which a bound variable does not refresh from its memory
    Address,  // an address the operator keeps there ("AsciiFile"'s open file)
    Unread,
};

// How the built-in operator `op` reads parameter `position`; Unread for an operator the host
// does not know (one the library's user registered) and beyond its parameters.
Read operator_read(const std::string &op, std::size_t position);

// "a double", "an integer", ...
const char *describe(Read read);

}  // namespace eqm
