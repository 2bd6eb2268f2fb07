// The built-in value types, registered by the value registry's start-up.
#pragma once

#include <cstdint>

#include "ztequationmanager/value.h"

namespace zteqm {

// Registers "char", "short", "int", "float", "double", "address", "float4", "float4x4" and
// "string" under identifiers 1 to 9, in that order.
void register_built_in_value_types();

// The numeric callbacks of "char" to "double", shared by those five types.
int32_t numeric_get_integer(Value *value);
void numeric_set_integer(Value *value, int32_t integer);
double numeric_get_double(Value *value);
void numeric_set_double(Value *value, double number);

}  // namespace zteqm
