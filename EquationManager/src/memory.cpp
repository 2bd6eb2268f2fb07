// Memory service: the host's allocator pair and the growable-array primitive.
// Invariant: every block the library holds comes from the host's allocator pair; without one,
// allocation fails rather than falling back to another heap.
#include "internal/memory.h"

#include <cstring>

namespace {

struct MemoryState {
    MemoryAllocFunc allocFunc = nullptr;
    MemoryFreeFunc freeFunc = nullptr;
};

MemoryState memory;

}  // namespace

extern "C" {

void KVAMEM_Init(MemoryAllocFunc allocFunc, MemoryFreeFunc freeFunc) {
    memory.allocFunc = allocFunc;
    memory.freeFunc = freeFunc;
}

void KVAMEM_Exit(void) {}

void *_KVAMEM_Alloc(uint64_t size, void *, int32_t) {
    return memory.allocFunc != nullptr ? memory.allocFunc(size) : nullptr;
}

void *_KVAMEM_AllocZ(uint64_t size, void *ignored, int32_t ignoredLine) {
    void *block = _KVAMEM_Alloc(size, ignored, ignoredLine);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}

void KVAMEM_Free(void *block) {
    if (memory.freeFunc != nullptr) memory.freeFunc(block);
}

void _KVAMEM_IncreaseArraySize(void **array, int32_t elementSize, int32_t *capacity,
                               int32_t newCapacity, void *, int32_t) {
    zteqm::increase_array_size(array, elementSize, capacity, newCapacity);
}

}  // extern "C"

namespace zteqm {

bool increase_array_size(void **array, int32_t elementSize, int32_t *capacity,
                         int32_t newCapacity) {
    if (array == nullptr || capacity == nullptr) return false;
    const int32_t oldCapacity = *capacity;
    // A shrinking, negative or overflowing request is refused with nothing changed; an equal
    // capacity still reallocates, as callers that grow "to count + 1" rely on.
    if (elementSize < 0 || newCapacity < 0 || newCapacity < oldCapacity) return false;
    const int64_t bytes = int64_t{newCapacity} * elementSize;
    if (bytes > INT32_MAX) return false;

    void *fresh = _KVAMEM_AllocZ(static_cast<uint64_t>(bytes), nullptr, 0);
    if (fresh == nullptr && bytes > 0) return false;  // keep the old array on failure

    void *old = *array;
    *array = fresh;
    *capacity = newCapacity;
    if (old != nullptr) {
        if (oldCapacity > 0 && elementSize > 0) {
            std::memcpy(fresh, old, static_cast<size_t>(int64_t{oldCapacity} * elementSize));
        }
        KVAMEM_Free(old);
    }
    return true;
}

}  // namespace zteqm
