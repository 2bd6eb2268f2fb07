// Starting and stopping the library.
#include <gtest/gtest.h>

#include "test_host.h"

using testhost::counts;

namespace {

TEST(Lifecycle, InitStartsEveryRegistryOnceWithTheFirstAllocatorPair) {
    testhost::start_library();
    const long allocated = counts().allocations;
    EXPECT_GT(allocated, 0);
    EXPECT_EQ(KVAT_GetNumTypes(), 5);
    EXPECT_EQ(KVAS_GetNumTypes(), 0);

    // A second start with another pair changes nothing and never uses that pair.
    KVAEQM_Init(testhost::other_alloc, testhost::other_free, nullptr);
    EXPECT_EQ(counts().allocations, allocated);
    EXPECT_NE(KVAT_RegisterTrigger("Later"), nullptr);
    EXPECT_EQ(testhost::other_calls(), 0);
    EXPECT_EQ(KVAT_GetNumTypes(), 6);
    KVAEQM_Exit();
    EXPECT_EQ(testhost::other_calls(), 0);
}

TEST(Lifecycle, ExitReleasesEverythingAndIsFinal) {
    testhost::start_library();
    KVAEQM_Exit();
    EXPECT_TRUE(counts().live.empty());
    EXPECT_EQ(counts().foreignFrees, 0);
    EXPECT_EQ(KVAT_GetNumTypes(), 0);
    EXPECT_EQ(KVAS_GetNumTypes(), 0);

    // Stopping again, or starting after the stop, does nothing.
    KVAEQM_Exit();
    KVAEQM_Init(testhost::counting_alloc, testhost::counting_free, nullptr);
    EXPECT_EQ(KVAT_GetNumTypes(), 0);
    EXPECT_EQ(KVAT_NameOfID(1), nullptr);
    EXPECT_TRUE(counts().live.empty());
    EXPECT_EQ(counts().foreignFrees, 0);
}

TEST(Lifecycle, ExitWithoutInitIsHarmless) {
    KVAEQM_Exit();
    KVAEQM_Exit();
    EXPECT_EQ(counts().frees + counts().foreignFrees, 0);
}

TEST(Lifecycle, StartingWithoutMemoryFailsQuietly) {
    testhost::fail_after(0);
    testhost::start_library();
    EXPECT_EQ(KVAT_GetNumTypes(), 0);
    EXPECT_EQ(KVAT_RegisterTrigger("Anything"), nullptr);
    EXPECT_EQ(KVAS_RegisterSubscriberType("Anything", nullptr, nullptr, nullptr), -1);
    testhost::fail_after(-1);
    KVAEQM_Exit();
    EXPECT_EQ(counts().foreignFrees, 0);
}

}  // namespace
