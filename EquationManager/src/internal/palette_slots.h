// What the rooms below the palettes (equations, "Equation" parameters, the reference index)
// and the application variables ask of palette slots: where an equation lies, and whether a
// palette and its slot array still stand after a host callback. The only door from below into
// palette.cpp; every function here is defined there.
#pragma once

#include <cstdint>

#include "ztequationmanager/palette.h"

namespace zteqm {

// An equation named by the slot that holds it, which stays meaningful when the palette's slot
// array moves (an Equation handle does not).
struct SlotRef {
    EquationPalette *palette = nullptr;
    int32_t index = -1;
};

// Finds the palette slot that `equation` addresses: true only when it lies on a slot boundary
// inside the current slot array of a palette that has not been deleted.
bool locate_equation(const Equation *equation, SlotRef *slot);

// How often the slot was made live again after holding an equation (0: never).
uint32_t slot_incarnation(const SlotRef &slot);

// True while the palette has not been deleted. `seen` is the caller's copy of the deletion
// count: while it is current the answer needs no search.
bool palette_alive(const EquationPalette *palette, uint32_t *seen);

// The count of palette deletions so far, for palette_alive.
uint32_t palette_deletions();

// Advances whenever a palette's slot array moves or a palette is deleted: while it stays the
// same, an Equation pointer taken into a live palette's slots still addresses that slot.
uint32_t slot_storage_generation();

// The slot again after a callback ran: null when the palette was deleted meanwhile. The slot
// array may have moved, so it is always taken afresh by index.
inline Equation *slot_after_callback(SlotRef slot, uint32_t *seen) {
    if (!palette_alive(slot.palette, seen)) return nullptr;
    if (slot.index >= slot.palette->capacity) return nullptr;
    return &slot.palette->slots[slot.index];
}

}  // namespace zteqm
