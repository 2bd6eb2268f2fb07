// The counting allocator pair: malloc and free, with a table of the live blocks and their sizes.
#include "counting_allocator.h"

#include <cstdlib>
#include <unordered_map>

namespace eqm {

namespace {

AllocatorStats stats;

std::unordered_map<void *, std::size_t> &live_blocks() {
    static std::unordered_map<void *, std::size_t> blocks;
    return blocks;
}

}  // namespace

void *counting_alloc(uint64_t size) {
    void *block = std::malloc(size == 0 ? 1 : static_cast<std::size_t>(size));
    if (block == nullptr) return nullptr;
    live_blocks().emplace(block, static_cast<std::size_t>(size));
    ++stats.allocations;
    ++stats.live;
    stats.liveBytes += static_cast<std::size_t>(size);
    if (stats.live > stats.peakLive) stats.peakLive = stats.live;
    if (stats.liveBytes > stats.peakBytes) stats.peakBytes = stats.liveBytes;
    return block;
}

void counting_free(void *block) {
    auto found = live_blocks().find(block);
    if (found == live_blocks().end()) {
        // Never hand a pointer we do not own to the C heap.
        ++stats.foreignReleases;
        return;
    }
    stats.liveBytes -= found->second;
    live_blocks().erase(found);
    ++stats.releases;
    --stats.live;
    std::free(block);
}

const AllocatorStats &allocator_stats() { return stats; }

}  // namespace eqm
