// The "Equation" parameter type: registered by the parameter registry's start-up, built with
// the equations (it evaluates the equation it refers to).
#pragma once

#include <cstdint>

#include "ztequationmanager/types.h"

namespace zteqm {

// Registers the "Equation" parameter type under identifier 6.
void register_equation_parameter_type();

// Drops the cached equation of every "Equation" parameter alive that points into the given
// slot array, which is about to be released (it moved or its palette is deleted): each such
// reference is resolved again by name when it is next read.
void forget_references_into(const Equation *slots, int32_t capacity);

}  // namespace zteqm
