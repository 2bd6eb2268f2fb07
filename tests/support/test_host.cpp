// Test host: the counting allocator pair.
#include "test_host.h"

#include <cstdlib>
#include <deque>

namespace testhost {
namespace {

AllocatorCounts state;
long remaining = -1;
long otherCalls = 0;

// While held, freed blocks are given back to the C heap only some frees later, so that no
// address a test holds is handed out again meanwhile and is_live can tell a freed block on any
// platform's allocator. Off by default: other tests want released blocks handed out again.
struct Quarantine {
    bool holding = false;
    static constexpr std::size_t kBlocks = 4096;
    std::deque<void *> blocks;
    void hold(void *block) {
        blocks.push_back(block);
        if (blocks.size() > kBlocks) {
            std::free(blocks.front());
            blocks.pop_front();
        }
    }
    ~Quarantine() {
        for (void *block : blocks) std::free(block);
    }
};
Quarantine quarantine;

}  // namespace

AllocatorCounts &counts() { return state; }

void fail_after(long n) { remaining = n; }

void hold_freed_blocks() { quarantine.holding = true; }

void *counting_alloc(uint64_t size) {
    if (remaining == 0) {
        ++state.failed;
        return nullptr;
    }
    if (remaining > 0) --remaining;
    void *block = std::malloc(size == 0 ? 1 : static_cast<size_t>(size));
    if (block == nullptr) return nullptr;
    ++state.allocations;
    state.live.insert(block);
    return block;
}

void counting_free(void *block) {
    auto found = state.live.find(block);
    if (found == state.live.end()) {
        ++state.foreignFrees;
        return;  // never hand a foreign pointer to the C heap
    }
    state.live.erase(found);
    ++state.frees;
    if (quarantine.holding) {
        quarantine.hold(block);
    } else {
        std::free(block);
    }
}

void *other_alloc(uint64_t size) {
    ++otherCalls;
    return std::malloc(size == 0 ? 1 : static_cast<size_t>(size));
}

void other_free(void *block) {
    ++otherCalls;
    std::free(block);
}

long other_calls() { return otherCalls; }

void start_library() { KVAEQM_Init(counting_alloc, counting_free, &state); }

bool is_live(const void *block) { return state.live.count(const_cast<void *>(block)) != 0; }

void Library::SetUp() { start_library(); }

void Library::TearDown() {
    fail_after(-1);
    for (void *userData : palettes_) KVAEQM_DeleteEquationPalette(userData);
    KVAEQM_Exit();
    EXPECT_EQ(state.foreignFrees, 0) << "pointers freed that the allocator never handed out";
    if (checkLeaks_) {
        EXPECT_TRUE(state.live.empty()) << state.live.size() << " blocks held";
    }
}

EquationPalette *Library::new_palette(void *userData) {
    if (userData == nullptr) {
        tags_.push_back(static_cast<int>(tags_.size()));
        userData = &tags_.back();
    }
    palettes_.push_back(userData);
    return KVAEQM_NewEquationPalette(userData);
}

}  // namespace testhost
