// What each part of the library promises about its own state, checked in the sanitizer and
// fuzzing builds (ZTEQM_CHECK_INVARIANTS defined) and compiled out everywhere else.
#pragma once

#include <cstdint>

#include "internal/name_index.h"
#include "internal/reference_index.h"
#include "ztequationmanager/palette.h"
#include "ztequationmanager/parameter.h"

#if defined(ZTEQM_CHECK_INVARIANTS)
#define ZTEQM_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : ::zteqm::invariant_broken(#condition, __FILE__, __LINE__))
// At the end of a call that may be the host's own: checks everything when no evaluation, read
// by name or other use of an equation is under way.
#define ZTEQM_CHECK_BETWEEN_CALLS() ::zteqm::check_invariants_between_calls()
#else
#define ZTEQM_ASSERT(condition) static_cast<void>(0)
#define ZTEQM_CHECK_BETWEEN_CALLS() static_cast<void>(0)
#endif

namespace zteqm {

// Stops the process: a promise of the library was broken. Only the checking builds call it.
[[noreturn]] void invariant_broken(const char *condition, const char *file, int line);

// Each check stops the process at the first broken promise. (invariants.cpp)

// A palette: every slot below its lowest-free hint is live; each live slot bears its own index
// and lies below numEquations; numEquations and the capacity stay within the slots allocated;
// the index by name holds exactly the live slots, each name leading to its lowest live slot.
void check_palette(EquationPalette *palette);

// Every "Equation" parameter alive points at nothing, at a slot of a palette that exists, or
// wholly outside every palette's slots (a pointer set by hand, dropped when read): never into
// a slot array off a slot's boundary. A pointer may address a slot deleted or made again since
// (its palette's next fix-up or its next read drops it), but the incarnation recorded with a
// pointer the library cached never lies ahead of its slot's.
void check_references();

// No block of a "float4", "float4x4" or "string" value (or a host type's resized block) is
// held by two values, among the result variables and parameters of every palette's slots.
void check_value_blocks();

// No equation is being evaluated or held, and nothing waits to be released at the end of one.
void check_no_evaluation_running();

// All of the above, over every palette: for the moments between the host's calls.
void check_invariants();

// check_invariants, when no equation is being evaluated or held (a call made from inside a
// callback leaves the checks to the outermost one).
void check_invariants_between_calls();

// What the checks read from the families that own the state. ------------------------------

// The palettes made and not yet deleted, registered with the manager or not. (palette.cpp)
int32_t tracked_palette_count();
EquationPalette *tracked_palette(int32_t position);

// A palette's bookkeeping behind its public record. (palette.cpp)
struct PaletteBookkeeping {
    int32_t allocated;
    int32_t firstFreeHint;
    const NameIndex *names;
    int32_t incarnationCapacity;  // slots whose remakes are counted
};
PaletteBookkeeping palette_bookkeeping(EquationPalette *palette);

// Calls visit for every "Equation" parameter made and not yet released. (equation_reference.cpp)
void for_each_tracked_reference(void (*visit)(EquationParameter *reference,
                                              const ReferenceLinks &links, void *context),
                                void *context);

// The number of equations being evaluated or held, and whether any frame, in use or not,
// still keeps objects to release. (equation.cpp)
int32_t evaluation_depth();
bool evaluation_keeps_objects();

}  // namespace zteqm
