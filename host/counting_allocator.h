// The host's allocator pair: every block the library uses comes from here, and is counted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace eqm {

// Counts are 64-bit everywhere (long is 32-bit on Windows): a long run allocates more than
// 2^31 blocks.
struct AllocatorStats {
    long long allocations = 0;      // blocks handed out
    long long releases = 0;         // blocks given back
    long long foreignReleases = 0;  // frees of pointers this allocator never handed out (null too)
    long long live = 0;             // blocks handed out and not given back
    long long peakLive = 0;
    std::size_t liveBytes = 0;
    std::size_t peakBytes = 0;
};

// The pair handed to KVAEQM_Init. The library keeps them for the life of the process, so
// their state is process-wide.
void *counting_alloc(uint64_t size);
void counting_free(void *block);

const AllocatorStats &allocator_stats();

}  // namespace eqm
