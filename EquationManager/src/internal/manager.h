// What the palettes need from the manager above them.
//
// A palette deleted on its own must not stay in the manager's list, so the palette layer calls
// up through this one function.
#pragma once

#include "ztequationmanager/palette.h"

namespace zteqm {

// Takes every entry of the palette off the manager's list, keeping the others in order.
void unlist_palette(const EquationPalette *palette);

}  // namespace zteqm
