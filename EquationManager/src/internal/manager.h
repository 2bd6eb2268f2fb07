// What the palettes need from the manager above them.
//
// A palette deleted on its own must not stay in the manager's list, and the palette walks and
// copies start from the palette registered under a user data, so the palette layer calls up
// through these functions (defined in manager.cpp).
#pragma once

#include <cstdint>

#include "ztequationmanager/palette.h"

namespace zteqm {

// Takes every entry of the palette off the manager's list, keeping the others in order.
void unlist_palette(const EquationPalette *palette);

// The palette at a position of the manager's list (registration order), or null outside it.
EquationPalette *listed_palette(int32_t position);

// The palette registered under the user data (the first, when several are), or null (also
// for null user data). KVAEQM_GetEquationPalette answers the same.
EquationPalette *registered_palette(void *userData);

}  // namespace zteqm
