// What the palettes need from the manager above them.
//
// A palette deleted on its own must not stay in the manager's list, so the palette layer calls
// up through this one function.
#pragma once

#include <cstdint>

#include "ztequationmanager/palette.h"

namespace zteqm {

// Takes every entry of the palette off the manager's list, keeping the others in order.
void unlist_palette(const EquationPalette *palette);

// The palette at a position of the manager's list (registration order), or null outside it.
EquationPalette *listed_palette(int32_t position);

// Releases the application variable registry; the library's stop calls it. (app_variables.cpp)
void release_app_variables();

}  // namespace zteqm
