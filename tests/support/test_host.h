// Test host: a counting allocator pair and helpers that start the library with it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
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

// One test's library: started with the counting allocator, and at the end the palettes made
// through new_palette() are deleted (with all they hold), the library stops, and no block may
// be left live nor any pointer freed that the allocator did not hand out.
class Library : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A palette on the manager's list whose user data is `userData`, or a tag of the fixture's
    // own when null; deleted at the end if the test has not deleted it.
    EquationPalette *new_palette(void *userData = nullptr);

    // For a test that leaves blocks held on purpose.
    void skip_leak_check() { checkLeaks_ = false; }

private:
    std::deque<int> tags_;
    std::deque<void *> palettes_;
    bool checkLeaks_ = true;
};

}  // namespace testhost
