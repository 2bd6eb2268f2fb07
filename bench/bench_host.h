// Shared set-up for the benchmarks: the library started once, palettes of equations built
// and released the way a host does it.
#pragma once

#include <cstdint>
#include <vector>

#include "ztequationmanager/ztequationmanager.h"

namespace bench {

// Starts the library once for the whole process.
void start_library();

// The notify callback every benchmark uses: stores the double it receives.
void store_double(Variable *result, void *userData);

// A subscriber type registered once, whose subscribers are attached by hand.
int32_t subscriber_type();

// Releases everything the host owns for a palette's live equations, then the palette.
void delete_palette(void *userData);

// Replaces parameter `position` of an equation by a new one of the given parameter type.
Parameter *replace_parameter(Equation *equation, int32_t position, const char *typeName);

// Makes an equation at the lowest free index with the given operator, trigger "New Frame" and
// a subscriber that stores its result into *sink.
Equation *make_equation(EquationPalette *palette, const char *operatorName, int32_t numParameters,
                        double *sink);

}  // namespace bench
