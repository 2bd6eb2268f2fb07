// "Equation" parameters: references to other equations by name.
#include "internal/equation_reference.h"

namespace zteqm {

void register_equation_parameter_type() {}

}  // namespace zteqm
