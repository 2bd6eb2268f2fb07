// The "Equation" parameter type: registered by the parameter registry's start-up, built with
// the equations (it evaluates the equation it refers to).
#pragma once

#include <cstdint>

#include "ztequationmanager/parameter.h"
#include "ztequationmanager/types.h"

namespace zteqm {

// Registers the "Equation" parameter type under identifier 6.
void register_equation_parameter_type();

// Drops the cached equation of every "Equation" parameter alive that points into the given
// slot array, which is about to be released (it moved or its palette is deleted): each such
// reference is resolved again by name when it is next read.
void forget_references_into(const Equation *slots, int32_t capacity);

// Gives the copy `to` the cached equation of `from`, trusted no further than in `from`.
void copy_cached_equation(EquationParameter *to, EquationParameter *from);

// Releases the parameter as the "Equation" type's destructor does when it is a reference the
// library made and still tracks; false (nothing done) for any other object.
bool release_if_tracked_reference(Parameter *parameter);

// KVAP_FixEquationReference for a reference the library made, reached through its links.
struct ReferenceLinks;
void fix_tracked_reference(ReferenceLinks *links);

}  // namespace zteqm

namespace zteqm {

// Whether every "Equation" parameter still points where its name resolves is tracked by a
// generation: anything that may break that (a reference set by hand, an equation renamed or
// deleted under a referenced name, slots moving, palettes coming and going) starts a new one.
// A palette whose references were all fixed in the current generation needs no fix-up.
uint64_t reference_generation();
void references_may_be_stale();

// The same for changes that concern only the references bearing one name (an equation of that
// name made, deleted or renamed) or one reference (set or placed by hand): the fix-up pass
// then fixes only those (reference_index.h).
void name_may_resolve_anew(const char *name);
void reference_may_be_stale(Parameter *parameter);

// Names that some "Equation" parameter has borne. Only a change to such a name can change
// what a reference resolves to.
void note_referenced_name(const char *name);
bool is_referenced_name(const char *name);

// Gives the list of referenced names back (the library's stop).
void release_referenced_names();

}  // namespace zteqm
