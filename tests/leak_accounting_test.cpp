// Leak accounting: a host that follows the ownership rules ends with no block held.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host_session.h"
#include "test_host.h"

using testhost::counts;

namespace {

TEST(LeakAccounting, AHostThatFollowsTheOwnershipRulesEndsWithNoBlock) {
    testhost::start_library();
    const std::string data = testhost::write_playback_file();
    ASSERT_FALSE(data.empty());
    testhost::run_host_session(data);
    testhost::run_host_session(data);  // slots, palettes and registries used a second time
    EXPECT_TRUE(testhost::library_still_computes());
    KVAEQM_Exit();
    std::remove(data.c_str());

    EXPECT_TRUE(counts().live.empty()) << counts().live.size() << " blocks held";
    EXPECT_EQ(counts().foreignFrees, 0);
    EXPECT_GT(testhost::subscriber_counts().made, 0);
    EXPECT_EQ(testhost::subscriber_counts().made, testhost::subscriber_counts().destroyed);
}

}  // namespace
