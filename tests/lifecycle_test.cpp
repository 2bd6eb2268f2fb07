// Starting and stopping the library.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host_session.h"
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

namespace {

// Start-up with the allocator refusing exactly one of its allocations, then completed by the
// host the documented way. Each case runs in a process of its own: the library starts once.
long allocationsSeen = 0;
long refusedAllocation = -1;

void *refusing_once(uint64_t size) {
    if (allocationsSeen++ == refusedAllocation) return nullptr;
    return testhost::counting_alloc(size);
}

// What a host checks after start-up: a registry left without its built-in entries.
bool start_up_incomplete() {
    return KVAT_GetNumTypes() == 0 || KVAP_GetNumTypes() == 0 || KVAV_GetNumTypes() == 0 ||
           KVAOP_GetNumTypes() <= 1;
}

class StartUpFailure : public ::testing::TestWithParam<long> {};

TEST_P(StartUpFailure, IsSeenThroughTheRegistryCountsAndCompletedByTheRegistryStarts) {
    // Start-up allocates the palette list, then the trigger, parameter type, value type,
    // subscriber type and operator tables, in that order.
    refusedAllocation = GetParam();
    KVAEQM_Init(refusing_once, testhost::counting_free, nullptr);
    ASSERT_EQ(allocationsSeen, 6);
    // The palette list and the subscriber table are made when first needed; the others
    // show their absence. (The last case refuses nothing.)
    const bool detectable = GetParam() >= 1 && GetParam() <= 5 && GetParam() != 4;
    EXPECT_EQ(start_up_incomplete(), detectable);

    // A literal made meanwhile may lack its value type: its value owns no block to resize.
    if (Parameter *early = KVAP_New(ZTEQM_PARAMETER_LITERAL)) {
        KVAV_SetSize(KVAP_GetValue(early), 16);
        KVAP_Delete(early);
    }
    EXPECT_EQ(counts().foreignFrees, 0);

    KVAT_Init();
    KVAP_Init();
    KVAV_Init();
    KVAS_Init();
    KVAOP_Init();
    EXPECT_FALSE(start_up_incomplete());
    EXPECT_EQ(KVAT_GetNumTypes(), 5);
    EXPECT_EQ(KVAP_GetNumTypes(), 8);
    EXPECT_EQ(KVAV_GetNumTypes(), 10);
    EXPECT_EQ(KVAOP_GetNumTypes(), 62);

    const std::string data = testhost::write_playback_file();
    testhost::run_host_session(data);
    std::remove(data.c_str());
    EXPECT_TRUE(testhost::library_still_computes());
    EXPECT_EQ(KVAEQM_GetNumPalettes(), 0);
    KVAEQM_Exit();
    EXPECT_EQ(counts().foreignFrees, 0);
}

INSTANTIATE_TEST_SUITE_P(EachAllocation, StartUpFailure, ::testing::Range(0L, 7L));

}  // namespace
