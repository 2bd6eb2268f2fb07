// Test support for parameter objects: a stand-in "Equation" type and the live block count.
#pragma once

#include "test_host.h"

namespace testhost {

// Registers a type of the equation-reference layout under identifier 6, with only a
// constructor and a destructor, so that tests of the generic functions need no equations.
inline void register_reference_type() {
    KVAP_RegisterParameterType(
        6, "Equation", 0,
        [](int32_t typeId) {
            auto *reference = static_cast<EquationParameter *>(
                _KVAMEM_AllocZ(sizeof(EquationParameter), nullptr, 0));
            if (reference != nullptr) reference->typeId = typeId;
            return reinterpret_cast<Parameter *>(reference);
        },
        [](Parameter *parameter) { KVAMEM_Free(parameter); }, nullptr, nullptr, nullptr, nullptr);
}

// The number of blocks the counting allocator has handed out and not taken back.
inline long live_blocks() { return static_cast<long>(counts().live.size()); }

}  // namespace testhost
