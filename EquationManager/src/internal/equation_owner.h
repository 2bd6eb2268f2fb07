// What an equation needs from the palette that holds it: its name is kept in the palette's
// index by name, and its objects are released as the palette releases them (later, while it
// runs). The equations' one door up into palette.cpp besides internal/palette_slots.h.
#pragma once

#include "internal/palette_slots.h"
#include "ztequationmanager/equation.h"

namespace zteqm {

// Renames an equation, keeping its palette's index by name in step.
void rename_equation(Equation *equation, const char *name);

// Releases every object the equation record holds (result variable, parameters and their
// array, subscribers and their array) and clears those fields. Subscriber and parameter
// destructors run; the rest of the record is untouched. The objects of an equation that is
// still being evaluated are released when its evaluation ends.
void release_equation_contents(Equation *equation);

}  // namespace zteqm
