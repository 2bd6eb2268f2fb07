// The palette's internal operations that the editing of palettes and the evaluation build on.
#pragma once

#include <cstdint>

#include "ztequationmanager/palette.h"

namespace zteqm {

// The slot at `index` (live or free), or null for a null palette, a negative index, an index
// at or beyond numEquations when `create` is false, or a slot array that cannot grow. With
// `create`, an index beyond the capacity grows the slot array to index + 1 slots, which moves
// every slot: take equations again by index afterwards. Neither marks the slot live nor
// changes numEquations.
Equation *get_equation_slot(EquationPalette *palette, int32_t index, bool create);

// The live equation at `index`, making a default one when the slot is free, then fixes the
// palette's equation references. Null for a null palette, a negative index or exhausted
// memory (the slot then stays free).
Equation *obtain_equation(EquationPalette *palette, int32_t index);

// The live equation with the lowest index at or above `start` in the palette that the walks
// use for this one (the first registered under its user data), or null; its index goes to
// *index when that is not null.
Equation *first_live_equation(EquationPalette *palette, int32_t start, int32_t *index);

// Resolves every "Equation" parameter of the palette's live equations again by name.
void fix_palette_references(EquationPalette *palette);

// The same, passed over when it provably changes nothing.
void fix_references_unless_current(EquationPalette *palette);

// Renames an equation, keeping its palette's index by name in step.
void rename_equation(Equation *equation, const char *name);

// Makes the free slot at `index` live as it stands (its contents were copied in).
void mark_slot_live(EquationPalette *palette, int32_t index);

// Frees the equation's slot (keeping its contents) and, when it was the current equation,
// passes that role to the next live equation above it, else below it, else to none.
void delete_equation(EquationPalette *palette, Equation *equation);

// Releases every object the equation record holds (result variable, parameters and their
// array, subscribers and their array) and clears those fields. Subscriber and parameter
// destructors run; the rest of the record is untouched. The objects of an equation that is
// still being evaluated are released when its evaluation ends.
void release_equation_contents(Equation *equation);

// True while the palette has not been deleted. `seen` is the caller's copy of the deletion
// count: while it is current the answer needs no search.
bool palette_alive(const EquationPalette *palette, uint32_t *seen);

// The count of palette deletions so far, for palette_alive.
uint32_t palette_deletions();

// Advances whenever a palette's slot array moves or a palette is deleted: while it stays the
// same, an Equation pointer taken into a live palette's slots still addresses that slot.
uint32_t slot_storage_generation();

}  // namespace zteqm
