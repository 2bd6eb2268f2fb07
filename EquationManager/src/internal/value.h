// Ownership of a value's separately stored data, for the records that embed a Value.
#pragma once

#include "internal/builtins.h"
#include "ztequationmanager/value.h"

namespace zteqm {

// Frees the value's block when its type keeps one; data becomes null and size 0.
void release_value_storage(Value *value);

// Copies the whole source record into target, giving target its own copy of a block-stored
// value's data. The target's previous block is not released (the caller decides). When the
// copy cannot be allocated the target has no block (data null, size 0).
void copy_value(Value *target, const Value *source);

// True when the value is a "double" whose type's registry slot still holds the built-in get
// (read) or set (write) callback: its data is then the number itself, read or written as is.
// The value functions and the parameter reads take this path instead of the dispatch.
bool reads_double_directly(const Value *value);
bool writes_double_directly(const Value *value);

// True when the "double" callbacks the direct paths trust are still the built-in ones, in a
// record never given to the host. (For the invariant checks.)
bool trusted_double_holds_built_ins();

}  // namespace zteqm
