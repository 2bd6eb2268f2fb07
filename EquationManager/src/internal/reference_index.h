// Which "Equation" parameters a change concerns: the references the library made, indexed by
// the name they bear, where each was last placed, and a short log of the changes that may have
// made references point elsewhere than their names resolve. A palette's fix-up pass then fixes
// exactly the references that the changes since its last pass concern, instead of visiting
// every reference of the palette.
//
// The log holds one entry per reference generation (equation_reference.h): a name whose
// resolution may have changed, one reference that may be stale, or anything at all. A palette
// fixed in generation g can be brought up to date from the log when every entry after g is
// still held and none is "anything"; otherwise the caller runs the whole pass.
#pragma once

#include <cstdint>

#include "ztequationmanager/palette.h"

namespace zteqm {

// Kept in the trailer of every reference the "Equation" type makes.
struct ReferenceLinks {
    EquationParameter *self = nullptr;
    ReferenceLinks *next = nullptr;  // the other references indexed under the same name
    ReferenceLinks *previous = nullptr;
    uint32_t hash = 0;  // of the name it is indexed under
    bool indexed = false;
    EquationPalette *palette = nullptr;  // where it was last placed: slot and position
    int32_t index = -1;
    int32_t position = -1;
    int32_t logged = 0;  // log entries that name it
    // The pointer the library last cached in the reference and the incarnation of its slot
    // then (equation_reference.cpp): a slot made again since voids the cache.
    const Equation *cached = nullptr;
    uint32_t cachedIncarnation = 0;
};

// Indexes the reference under the name it bears now; unindexing takes it out (and out of the
// log, before it is released).
void index_reference(ReferenceLinks *links);
void unindex_reference(ReferenceLinks *links);

// Gives the reference a new name (cut to the field, always terminated), keeping the index in
// step; false, with nothing changed, for a null name.
bool rename_reference(EquationParameter *reference, const char *name);

// The links of a reference the library made, found through the index by the name it bears;
// null for any other parameter (or one whose name was written past the library).
ReferenceLinks *tracked_links(Parameter *parameter);

// Records that the parameter now sits at `position` of the equation (nothing for a parameter
// that is not a tracked reference or an equation outside every palette).
void note_placement(Parameter *parameter, Equation *equation, int32_t position);

// Logs the change that advanced the reference generation to `generation`.
void log_any_change(uint64_t generation);
void log_name_change(uint64_t generation, const char *name);
void log_reference_change(uint64_t generation, ReferenceLinks *links);

// Fixes the references of the walked palette's live equations that the changes after
// `fixedAt` concern. False, having fixed some or none, when the log cannot tell which those
// are: the caller then fixes them all.
bool fix_logged_references(EquationPalette *walked, uint64_t fixedAt, uint64_t generation);

// Gives the index's table back (the library's stop, or the last palette gone).
void release_reference_index();

}  // namespace zteqm
