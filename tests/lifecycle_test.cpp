// Starting and stopping the library, the memory service under it, and host sessions with the
// allocator refusing at each point.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host_session.h"
#include "test_host.h"

namespace {

using testhost::counts;

// The registries' counts, triggers to operators.
std::vector<int32_t> registry_counts() {
    return {KVAT_GetNumTypes(), KVAP_GetNumTypes(), KVAV_GetNumTypes(), KVAS_GetNumTypes(),
            KVAOP_GetNumTypes()};
}

TEST(Lifecycle, StartsOnceWithTheFirstAllocatorPairAndStopsForGood) {
    // Before the start nothing registers; operator slot 0 is reserved from load on.
    KVAEQM_Exit();  // harmless, and no start is lost by it
    EXPECT_EQ(registry_counts(), (std::vector<int32_t>{0, 0, 0, 0, 1}));
    EXPECT_TRUE(KVAT_RegisterTrigger("Early") == nullptr && KVAOP_GetOperator(0) == nullptr &&
                KVAOP_GetFunc(0) == nullptr && KVAOP_GetNumParameters(0) == 0 &&
                KVAOP_RegisterOperator(1, "Early", nullptr) == nullptr &&
                KVAS_RegisterSubscriberType("Early", nullptr, nullptr, nullptr) == -1);

    testhost::start_library();
    EXPECT_EQ(KVAOP_IDOfName("Early"), 0);
    KVAEQM_Init(testhost::other_alloc, testhost::other_free, nullptr);  // never used
    int database = 0;
    EquationPalette *kept = KVAEQM_NewEquationPalette(&database);

    // The stop releases the palette list and the registries, not a palette left on the list.
    KVAEQM_Exit();
    EXPECT_TRUE(KVAEQM_GetNumPalettes() == 0 && KVAEQM_GetEquationPalette(&database) == nullptr &&
                testhost::is_live(kept));
    KVAEQM_Exit(), KVAEQM_Init(testhost::counting_alloc, testhost::counting_free, nullptr);
    EXPECT_EQ(registry_counts(), (std::vector<int32_t>{0, 0, 0, 0, 0}));
    KVAEP_DeleteEquationPalette(kept);
    EXPECT_TRUE(counts().live.empty() && counts().foreignFrees == 0 &&
                testhost::other_calls() == 0);
}

// Start-up with the allocator refusing one of its allocations (the palette list, then the
// trigger, parameter type, value type, subscriber type and operator tables; the last case
// refuses none), completed by the host through the registries' own starts.
long allocationsSeen = 0;
long refusedAllocation = -1;
void *refusing_once(uint64_t size) {
    return allocationsSeen++ == refusedAllocation ? nullptr : testhost::counting_alloc(size);
}

class StartUpFailure : public ::testing::TestWithParam<long> {};
INSTANTIATE_TEST_SUITE_P(EachAllocation, StartUpFailure, ::testing::Range(0L, 7L));

TEST_P(StartUpFailure, ShowsInTheRegistryCountsAndIsCompletedByTheRegistryStarts) {
    refusedAllocation = GetParam();
    KVAEQM_Init(refusing_once, testhost::counting_free, nullptr);
    ASSERT_EQ(allocationsSeen, 6);
    // The palette list and the subscriber table are made when first needed.
    const std::vector<int32_t> full = {5, 8, 10, 0, 62};
    EXPECT_EQ(registry_counts() != full, GetParam() >= 1 && GetParam() <= 5 && GetParam() != 4);

    // A literal made meanwhile may lack its value type: its value owns no block to resize.
    if (Parameter *early = KVAP_New(ZTEQM_PARAMETER_LITERAL)) {
        KVAV_SetSize(KVAP_GetValue(early), 16);
        KVAP_Delete(early);
    }
    for (void (*start)() : {KVAT_Init, KVAP_Init, KVAV_Init, KVAS_Init, KVAOP_Init}) start();
    EXPECT_EQ(registry_counts(), full);
    EXPECT_TRUE(testhost::library_still_computes() && KVAEQM_GetNumPalettes() == 0);
    KVAEQM_Exit();
    EXPECT_TRUE(counts().live.empty() && counts().foreignFrees == 0);
}

using Memory = testhost::Library;

TEST_F(Memory, AllocatesThroughTheHostsPairEvenAfterTheStopAndGrowsArraysWithNothingLost) {
    auto *array = static_cast<int64_t *>(_KVAMEM_AllocZ(80, nullptr, 0));
    for (int i = 0; i < 9; ++i) array[i] = i * 7 + 1;  // the tenth stays zero-filled
    int32_t capacity = 10;
    auto grow = [&](int32_t elementSize, int32_t to) {
        _KVAMEM_IncreaseArraySize(reinterpret_cast<void **>(&array), elementSize, &capacity, to,
                                  nullptr, 0);
    };
    KVAEQM_Exit();
    grow(8, 11);  // copies the whole old capacity, zero-fills the rest (the old block is freed)
    const std::vector<int64_t> grown = {1, 8, 15, 22, 29, 36, 43, 50, 57, 0, 0};
    EXPECT_EQ(std::vector<int64_t>(array, array + 11), grown);
    int64_t *old = array;
    grow(8, 11);  // an equal capacity still moves: the palette list relies on it
    EXPECT_NE(array, old);
    // Shrinking, negative or overflowing sizes, and an allocator with nothing, change nothing.
    old = array;
    testhost::fail_after(0);
    const int32_t refused[][2] = {{8, 4}, {8, -1}, {8, 0x7fffffff}, {0x10000, 0x10000}, {8, 12}};
    for (const auto &[size, to] : refused) grow(size, to);
    EXPECT_TRUE(array == old && capacity == 11 && _KVAMEM_Alloc(8, nullptr, 0) == nullptr &&
                std::vector<int64_t>(array, array + 11) == grown && counts().failed == 2);
    KVAMEM_Free(array);
}

using HostSession = testhost::Library;

TEST_F(HostSession, FailingFromAnyAllocationLeavesNoFaultNoLeakAndAWorkingLibrary) {
    const std::string data = testhost::write_playback_file();
    // A clean session counts the allocation points and settles the registries' own blocks.
    const long before = counts().allocations;
    testhost::run_host_session(data);
    const long points = counts().allocations - before;
    const size_t settled = counts().live.size();
    long failingFrom = 0;
    for (bool reached = true; reached; ++failingFrom) {
        SCOPED_TRACE("failing from allocation " + std::to_string(failingFrom));
        const long refusedBefore = counts().failed;
        testhost::fail_after(failingFrom);
        testhost::run_host_session(data);
        testhost::fail_after(-1);
        reached = counts().failed > refusedBefore;
        ASSERT_TRUE(counts().foreignFrees == 0 && testhost::library_still_computes() &&
                    counts().live.size() == settled);
        ASSERT_EQ(testhost::subscriber_counts().made, testhost::subscriber_counts().destroyed);
    }
    EXPECT_TRUE(points > 100 && failingFrom > points && testhost::subscriber_counts().made > 0);
    std::remove(data.c_str());
}

}  // namespace
