// Typed helpers over the memory service: the one growable-array primitive and zeroed records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ztequationmanager/memory.h"

namespace zteqm {

// Grows *array to newCapacity elements (see _KVAMEM_IncreaseArraySize); true when it did.
bool increase_array_size(void **array, int32_t elementSize, int32_t *capacity, int32_t newCapacity);

// The growable-array helper every registry and list uses: false leaves array and capacity
// as they were (allocation failure or a refused size).
template <typename T>
bool grow_array(T *&array, int32_t &capacity, int32_t newCapacity) {
    static_assert(sizeof(T) <= INT32_MAX);
    void *raw = array;
    const bool grown =
        increase_array_size(&raw, static_cast<int32_t>(sizeof(T)), &capacity, newCapacity);
    array = static_cast<T *>(raw);
    return grown;
}

// A zero-filled block for one T from the host's allocator, or null.
template <typename T>
T *new_zeroed() {
    return static_cast<T *>(_KVAMEM_AllocZ(sizeof(T), nullptr, 0));
}

}  // namespace zteqm
