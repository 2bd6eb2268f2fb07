// The one lookup an "Equation" parameter needs from the manager above it: an equation by name
// across the registered palettes. Defined in manager.cpp.
#pragma once

#include "ztequationmanager/equation.h"

namespace zteqm {

// The first equation bearing the name in the first registered palette that has one, or null
// (also for a null name). KVAEQM_FindEquationByName answers the same.
Equation *find_registered_equation(const char *name);

}  // namespace zteqm
