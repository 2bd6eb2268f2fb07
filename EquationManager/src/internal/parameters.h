// Parameter objects from the inside: their three layouts and the helpers the parameter types
// share (the built-in literal and variable types, and the "Equation" type).
#pragma once

#include <cstdint>

#include "internal/builtins.h"
#include "internal/memory.h"
#include "internal/text.h"
#include "ztequationmanager/parameter.h"

namespace zteqm {

// The layout behind a parameter head is told by its type identifier alone.
enum class Layout { literal, equation, variable };

constexpr Layout layout_of(int32_t typeId) {
    if (typeId == kLiteralTypeId) return Layout::literal;
    if (typeId == kEquationTypeId) return Layout::equation;
    return Layout::variable;
}

// The parameter as a Variable, or null when it is null or has another layout.
Variable *as_variable(Parameter *parameter);

// The Value embedded in a literal or a variable; null for an equation reference or null.
Value *embedded_value(Parameter *parameter);

// Replaces target by a copy of source that owns its own block, releasing target's old block.
// False, with target unchanged, when the copy of a block cannot be allocated. Source and
// target may share a block.
bool replace_value(Value *target, const Value *source);

// A zero-filled object of layout T whose head carries typeId and the registry's name for it;
// null when memory cannot be had.
template <typename T>
T *new_parameter_object(int32_t typeId) {
    T *object = new_zeroed<T>();
    if (object == nullptr) return nullptr;
    object->typeId = typeId;
    const char *name = KVAP_NameOfID(typeId);
    if (name != nullptr) copy_text(object->typeName, name);
    return object;
}

// The get-value functions of the built-in literal and variable types: the embedded value.
Value *literal_value(Parameter *parameter);
Value *variable_value(Parameter *parameter);

// KVAP_GetDouble and KVAP_SetDouble without dispatch, for a non-null parameter: a bound
// "double" variable, or a literal or unbound variable without get callback whose types' slots
// still hold the built-in functions. True when done; false, with nothing done, when the read or
// write has to go through the registries.
bool read_double_directly(Parameter *parameter, double *number);
bool write_double_directly(Parameter *parameter, double number);

// True when every type the direct paths trust without reading its registry slot still holds
// the built-in get-value function there and its record was never given to the host. (For the
// invariant checks.)
bool trusted_slots_hold_built_ins();

// Releases a parameter object of any layout together with its value's block.
void release_parameter_object(Parameter *parameter);

// Registers "Literal", "Temporary", "Cg Shader", "GLSL Shader", "Node Attribute", "App Variable"
// and "Equation" under their identifiers, in that order. (parameter_types.cpp, called by
// KVAP_Init)
void register_built_in_parameter_types();

}  // namespace zteqm
