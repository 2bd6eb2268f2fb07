// The memory service: allocation through the host's pair and the growable array.
#include <gtest/gtest.h>

#include <cstring>

#include "test_host.h"

using testhost::counts;

namespace {

class Memory : public ::testing::Test {
protected:
    void SetUp() override { KVAMEM_Init(testhost::counting_alloc, testhost::counting_free); }
    void TearDown() override { testhost::fail_after(-1); }
};

TEST_F(Memory, AllocationsReachTheHostPairEvenAfterExit) {
    void *block = _KVAMEM_Alloc(24, nullptr, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(testhost::is_live(block));
    KVAMEM_Exit();
    void *later = _KVAMEM_Alloc(8, nullptr, 0);
    EXPECT_TRUE(testhost::is_live(later));
    KVAMEM_Free(block);
    KVAMEM_Free(later);
    EXPECT_TRUE(counts().live.empty());
    EXPECT_EQ(counts().foreignFrees, 0);
}

TEST_F(Memory, AllocZZeroesEveryByteAndPassesFailureThrough) {
    auto *bytes = static_cast<unsigned char *>(_KVAMEM_AllocZ(257, nullptr, 0));
    ASSERT_NE(bytes, nullptr);
    for (int i = 0; i < 257; ++i) EXPECT_EQ(bytes[i], 0) << i;
    KVAMEM_Free(bytes);
    testhost::fail_after(0);
    EXPECT_EQ(_KVAMEM_AllocZ(16, nullptr, 0), nullptr);
    EXPECT_EQ(_KVAMEM_Alloc(16, nullptr, 0), nullptr);
}

TEST_F(Memory, GrowingFromNothingAllocatesWithoutCopyingOrReleasing) {
    int32_t *array = nullptr;
    int32_t capacity = 0;
    _KVAMEM_IncreaseArraySize(reinterpret_cast<void **>(&array), sizeof(int32_t), &capacity, 4,
                              nullptr, 0);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(capacity, 4);
    EXPECT_EQ(counts().frees, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(array[i], 0);
    KVAMEM_Free(array);
}

TEST_F(Memory, GrowingKeepsTheWholeOldCapacityAndZeroFillsTheRest) {
    struct Record {
        int32_t a;
        char text[12];
    };
    Record *array = nullptr;
    int32_t capacity = 0;
    auto grow = [&](int32_t to) {
        _KVAMEM_IncreaseArraySize(reinterpret_cast<void **>(&array), sizeof(Record), &capacity, to,
                                  nullptr, 0);
    };
    grow(10);
    // Fill every element, including those beyond any owner's count.
    for (int i = 0; i < 10; ++i) {
        array[i].a = i * 7 + 1;
        std::snprintf(array[i].text, sizeof array[i].text, "slot %d", i);
    }
    Record before[10];
    std::memcpy(before, array, sizeof before);
    Record *old = array;
    grow(11);
    EXPECT_NE(array, old);
    EXPECT_FALSE(testhost::is_live(old));
    EXPECT_EQ(capacity, 11);
    EXPECT_EQ(std::memcmp(before, array, sizeof before), 0);
    const auto *tail = reinterpret_cast<const unsigned char *>(&array[10]);
    for (size_t i = 0; i < sizeof(Record); ++i) EXPECT_EQ(tail[i], 0);

    // An equal capacity still reallocates; the palette list relies on it.
    old = array;
    grow(11);
    EXPECT_NE(array, old);
    EXPECT_EQ(capacity, 11);
    KVAMEM_Free(array);
    EXPECT_TRUE(counts().live.empty());
}

TEST_F(Memory, RefusedGrowthKeepsArrayAndCapacity) {
    int64_t *array = nullptr;
    int32_t capacity = 0;
    _KVAMEM_IncreaseArraySize(reinterpret_cast<void **>(&array), sizeof(int64_t), &capacity, 8,
                              nullptr, 0);
    ASSERT_NE(array, nullptr);
    array[7] = 42;
    int64_t *const original = array;
    auto attempt = [&](int32_t elementSize, int32_t to) {
        _KVAMEM_IncreaseArraySize(reinterpret_cast<void **>(&array), elementSize, &capacity, to,
                                  nullptr, 0);
        EXPECT_EQ(array, original);
        EXPECT_EQ(capacity, 8);
        EXPECT_EQ(array[7], 42);
    };
    attempt(sizeof(int64_t), 4);           // below the current capacity
    attempt(sizeof(int64_t), -1);          // negative
    attempt(sizeof(int64_t), 0x7fffffff);  // product does not fit in 32 bits
    attempt(0x10000, 0x10000);             // likewise
    testhost::fail_after(0);
    attempt(sizeof(int64_t), 9);  // the host's allocator has nothing
    EXPECT_EQ(counts().failed, 1);
    testhost::fail_after(-1);
    KVAMEM_Free(array);
    EXPECT_EQ(counts().foreignFrees, 0);
}

}  // namespace
