/* Memory service: every block the library uses comes from the host's allocator pair. */
#ifndef ZTEQUATIONMANAGER_MEMORY_H
#define ZTEQUATIONMANAGER_MEMORY_H

#include "types.h"

ZTEQM_BEGIN_DECLS

/* Host allocator: returns a block of `size` bytes, or null when it has none. */
typedef void *(*MemoryAllocFunc)(uint64_t size);
/* Host release function for a block obtained from the allocator. */
typedef void (*MemoryFreeFunc)(void *block);

/* Stores the host's allocator pair; later allocations go through it. */
ZTEQM_API void KVAMEM_Init(MemoryAllocFunc allocFunc, MemoryFreeFunc freeFunc);
/* Does nothing: the allocator pair stays usable after the library stops. */
ZTEQM_API void KVAMEM_Exit(void);
/* Returns an uninitialised block of `size` bytes from the host, or null. The last two
   arguments are ignored. */
ZTEQM_API void *_KVAMEM_Alloc(uint64_t size, void *ignored, int32_t ignoredLine);
/* Returns a zero-filled block of `size` bytes, or null (nothing written). */
ZTEQM_API void *_KVAMEM_AllocZ(uint64_t size, void *ignored, int32_t ignoredLine);
/* Gives a block back to the host's release function. */
ZTEQM_API void KVAMEM_Free(void *block);
/* Replaces *array by a zero-filled array of newCapacity elements holding the whole old
   capacity, releasing the old one. On allocation failure, an element-size product that does
   not fit, a negative capacity or one below *capacity, the array and *capacity are kept. */
ZTEQM_API void _KVAMEM_IncreaseArraySize(void **array, int32_t elementSize, int32_t *capacity,
                                         int32_t newCapacity, void *ignored, int32_t ignoredLine);

ZTEQM_END_DECLS

#endif
