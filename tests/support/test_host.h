// Test host: a counting allocator pair and helpers that start the library with it.
#pragma once

#include <cstdint>
#include <set>

#include "ztequationmanager/ztequationmanager.h"

namespace testhost {

struct AllocatorCounts {
    long allocations = 0;   // successful allocations
    long frees = 0;         // frees of blocks we handed out
    long foreignFrees = 0;  // frees of anything else (null included)
    long failed = 0;        // allocations refused by injection
    std::set<void *> live;  // blocks handed out and not yet freed
};

AllocatorCounts &counts();

// From the next allocation on, allow `n` more to succeed and refuse every later one;
// a negative n never refuses.
void fail_after(long n);

// From now on freed addresses are not handed out again for a while, so that is_live tells a
// released block apart from a new one wherever the C heap would reuse it at once.
void hold_freed_blocks();

void *counting_alloc(uint64_t size);
void counting_free(void *block);

// A second allocator pair, for checking that only the first pair given to Init is used.
void *other_alloc(uint64_t size);
void other_free(void *block);
long other_calls();

// Starts the library with the counting allocator.
void start_library();

// True when the block came from the counting allocator and is still live.
bool is_live(const void *block);

}  // namespace testhost
