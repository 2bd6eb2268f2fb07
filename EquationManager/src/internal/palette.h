// The palette's internal operations that the editing of palettes and the manager build on
// (palette.cpp). The rooms below reach palette.cpp through internal/palette_slots.h and
// internal/equation_owner.h only, which this header includes.
#pragma once

#include <cstdint>

#include "internal/equation_owner.h"
#include "internal/palette_slots.h"
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

// Makes the free slot at `index` live as it stands (its contents were copied in).
void mark_slot_live(EquationPalette *palette, int32_t index);

// Frees the equation's slot (keeping its contents) and, when it was the current equation,
// passes that role to the next live equation above it, else below it, else to none.
void delete_equation(EquationPalette *palette, Equation *equation);

}  // namespace zteqm
