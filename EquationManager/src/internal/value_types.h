// The built-in value types, registered by the value registry's start-up.
#pragma once

namespace zteqm {

// Registers "char", "short", "int", "float", "double", "address", "float4", "float4x4" and
// "string" under identifiers 1 to 9, in that order.
void register_built_in_value_types();

}  // namespace zteqm
