// Value block ownership for the records that embed a Value: deep copies and release.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "internal/value.h"
#include "ztequationmanager/memory.h"

namespace {

// The library's value and memory sources are built into this test, with a small counting
// allocator of its own.
std::set<void *> live;
long refusals = 0;

void *test_alloc(uint64_t size) {
    if (refusals > 0) {
        --refusals;
        return nullptr;
    }
    void *block = std::malloc(size == 0 ? 1 : static_cast<size_t>(size));
    live.insert(block);
    return block;
}

void test_free(void *block) {
    if (live.erase(block) != 0) std::free(block);
}

class ValueStorage : public ::testing::Test {
protected:
    void SetUp() override {
        KVAMEM_Init(test_alloc, test_free);
        KVAV_Init();
        liveAtStart = live.size();
    }
    void TearDown() override {
        release(source);
        release(target);
        EXPECT_EQ(live.size(), liveAtStart);
        KVAV_Exit();
    }
    static void release(Value &value) {
        if (live.count(value.data.p) != 0 && !(value.typeId >= 1 && value.typeId <= 6)) {
            test_free(value.data.p);
        }
        value = Value{};
    }
    Value source{};
    Value target{};
    size_t liveAtStart = 0;
};

TEST_F(ValueStorage, CopyGivesABlockTypedTargetItsOwnBlock) {
    KVAV_SetTypeName(&source, "string");
    KVAV_FromString(&source, "hello");
    zteqm::copy_value(&target, &source);
    EXPECT_EQ(target.typeId, 9);
    EXPECT_STREQ(target.typeName, "string");
    EXPECT_EQ(target.size, 6);
    ASSERT_NE(target.data.p, source.data.p);
    EXPECT_TRUE(live.count(target.data.p));
    EXPECT_STREQ(static_cast<char *>(target.data.p), "hello");
    KVAV_FromString(&target, "other");
    EXPECT_STREQ(static_cast<char *>(source.data.p), "hello");
    release(target);

    KVAV_SetTypeName(&source, "float4x4");
    const double m[16] = {1, 2, 3};
    KVAV_SetAddress(&source, const_cast<double *>(m));
    zteqm::copy_value(&target, &source);
    EXPECT_EQ(target.size, 128);
    ASSERT_NE(target.data.p, source.data.p);
    EXPECT_EQ(std::memcmp(target.data.p, m, sizeof m), 0);
}

TEST_F(ValueStorage, CopyOfOtherValuesIsByteForByte) {
    for (const char *name : {"char", "int", "double", "address"}) {
        release(source);
        KVAV_SetTypeName(&source, name);
        KVAV_SetAddress(&source, &source);
        zteqm::copy_value(&target, &source);
        EXPECT_EQ(std::memcmp(&target, &source, sizeof(Value)), 0) << name;
    }
    // A block type without a block copies as having none.
    release(source);
    KVAV_SetTypeName(&source, "string");
    zteqm::copy_value(&target, &source);
    EXPECT_EQ(target.data.p, nullptr);
    EXPECT_EQ(target.size, 0);
}

TEST_F(ValueStorage, CopyLeavesTheTargetsOldBlockToTheCaller) {
    KVAV_SetTypeName(&target, "string");
    KVAV_FromString(&target, "old");
    void *old = target.data.p;
    KVAV_SetTypeName(&source, "int");
    KVAV_SetInteger(&source, 4);
    zteqm::copy_value(&target, &source);
    EXPECT_EQ(KVAV_GetInteger(&target), 4);
    EXPECT_TRUE(live.count(old));
    test_free(old);
}

TEST_F(ValueStorage, CopyWithoutMemoryLeavesTheTargetWithoutABlock) {
    KVAV_SetTypeName(&source, "float4");
    refusals = 1;
    zteqm::copy_value(&target, &source);
    EXPECT_EQ(target.typeId, 7);
    EXPECT_EQ(target.data.p, nullptr);
    EXPECT_EQ(target.size, 0);

    zteqm::copy_value(&source, &source);  // onto itself: nothing
    EXPECT_EQ(source.size, 32);
    zteqm::copy_value(nullptr, &source);
    zteqm::copy_value(&target, nullptr);
    EXPECT_EQ(target.data.p, nullptr);
}

TEST_F(ValueStorage, ReleaseFreesOnlyTheBlocksOfBlockTypes) {
    KVAV_SetTypeName(&source, "string");
    KVAV_FromString(&source, "text");
    void *block = source.data.p;
    zteqm::release_value_storage(&source);
    EXPECT_FALSE(live.count(block));
    EXPECT_EQ(source.data.p, nullptr);
    EXPECT_EQ(source.size, 0);
    EXPECT_EQ(source.typeId, 9);
    zteqm::release_value_storage(&source);

    KVAV_SetTypeName(&target, "address");
    KVAV_SetAddress(&target, &target);
    zteqm::release_value_storage(&target);
    EXPECT_EQ(target.data.p, static_cast<void *>(&target));
    zteqm::release_value_storage(nullptr);
}

}  // namespace
