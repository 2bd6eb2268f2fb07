// Allocation failure: a host session over every family, run with the allocator failing from
// each allocation point onward in turn.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host_session.h"
#include "test_host.h"

using testhost::counts;
using testhost::subscriber_counts;

namespace {

TEST(AllocationFailure, FailingFromAnyPointLeavesNoFaultNoLeakAndAWorkingLibrary) {
    testhost::start_library();
    const std::string data = testhost::write_playback_file();
    ASSERT_FALSE(data.empty());

    // A clean session counts the allocation points and settles the registries' own blocks.
    const long before = counts().allocations;
    testhost::run_host_session(data);
    const long points = counts().allocations - before;
    ASSERT_GT(points, 100);
    ASSERT_TRUE(testhost::library_still_computes());
    const size_t settled = counts().live.size();

    long failingFrom = 0;
    for (;; ++failingFrom) {
        const long refusedBefore = counts().failed;
        testhost::fail_after(failingFrom);
        testhost::run_host_session(data);
        testhost::fail_after(-1);
        const bool reached = counts().failed > refusedBefore;

        ASSERT_EQ(counts().foreignFrees, 0) << "failing from allocation " << failingFrom;
        ASSERT_TRUE(testhost::library_still_computes()) << "failing from " << failingFrom;
        ASSERT_EQ(counts().live.size(), settled) << "failing from " << failingFrom;
        ASSERT_EQ(subscriber_counts().made, subscriber_counts().destroyed)
            << "failing from " << failingFrom;
        if (!reached) break;
    }
    EXPECT_GE(failingFrom, points);
    std::remove(data.c_str());
    KVAEQM_Exit();
}

}  // namespace
