// One evaluation step of an equation, shared by the trigger walk and the reading of an
// "Equation" parameter, with the guard that keeps references from re-entering themselves.
//
// The parameter layer reaches up to the equations through this header only (and to the
// palettes through internal/palette_slots.h): an "Equation" parameter evaluates the equation
// it refers to, so it has to find that equation's slot and run it. Defined in equation.cpp.
#pragma once

#include <cstdint>

#include "internal/palette_slots.h"
#include "ztequationmanager/palette.h"

namespace zteqm {

// How deep evaluations may nest: a reference read inside this many equations that are being
// evaluated reads as no value. It keeps a long chain of references from exhausting the thread
// stack.
constexpr int32_t kMaxEvaluationDepth = 64;

// Takes over the objects a released slot held (`leftovers`) when they belong to an equation
// whose operator or subscribers are still running, and releases them once it has finished; a
// callback that deletes or reuses a running equation's slot would otherwise free what the
// operator is using. True when it took them (the record's object fields are then cleared).
// (equation.cpp)
bool defer_release_while_running(Equation *leftovers);

// Runs the equation in the slot for the reading of an "Equation" parameter: its operator, then
// as many of its subscribers as there were before the operator ran. Returns its result
// variable, or null when nothing ran: no operator function, no result variable, the equation
// is already being evaluated, or the nesting is at kMaxEvaluationDepth. Also null when
// callbacks deleted the palette or replaced the equation while it ran. A parameter list that a
// callback replaces while it runs is released when the run ends. (equation.cpp)
Variable *run_referenced_equation(SlotRef slot);

// Holds the objects of the equation whose result variable is `result` for a use that is not
// an evaluation (a read by name): what callbacks release or replace meanwhile is released when
// the hold ends, as for a running equation. Gives the hold's level, or -1 when nesting is at
// kMaxEvaluationDepth (nothing is held then). end_hold ends the innermost hold and tells
// whether the equation itself was released during it. (equation.cpp)
int32_t hold_equation(Variable *result);
bool end_hold(int32_t level);

// The step of the trigger walk: the same run, with the subscriber count taken after the
// operator and cheaper checks after each callback. (equation.cpp)
void run_triggered_equation(SlotRef slot);

}  // namespace zteqm
