// The "Equation" parameter type: registered by the parameter registry's start-up, built with
// the equations (it evaluates the equation it refers to).
#pragma once

namespace zteqm {

// Registers the "Equation" parameter type under identifier 6.
void register_equation_parameter_type();

}  // namespace zteqm
