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
    if (refusals-- > 0) return nullptr;
    return *live.insert(std::malloc(static_cast<size_t>(size) + 1)).first;
}
void test_free(void *block) {
    if (live.erase(block) != 0) std::free(block);
}

// A copy gives a block type a block of its own (or none without memory) and copies any other
// value byte for byte; release frees only the blocks of block types.
TEST(ValueStorage, CopiesOwnTheirBlocksAndReleaseFreesOnlyBlocks) {
    KVAMEM_Init(test_alloc, test_free);
    KVAV_Init();
    Value source{}, target{}, other{};
    KVAV_SetTypeName(&target, "string"), KVAV_FromString(&target, "old");
    void *old = target.data.p;
    KVAV_SetTypeName(&source, "float4x4");
    const double m[16] = {1, 2, 3};
    KVAV_SetAddress(&source, const_cast<double *>(m));
    zteqm::copy_value(&target, &source);  // the target's old block is left to the caller
    EXPECT_EQ(live.count(old) + live.count(target.data.p) + target.size, 2u + 128);
    EXPECT_EQ(std::memcmp(target.data.p, m, sizeof m), 0);
    zteqm::release_value_storage(&target);
    EXPECT_EQ(target.data.p, nullptr);
    EXPECT_EQ(target.size + target.typeId, 0 + 8);
    test_free(old);
    for (const char *type : {"string", "address"}) {  // a string without a block has none
        KVAV_SetTypeName(&other, type), KVAV_SetAddress(&other, type[0] == 'a' ? &other : nullptr);
        zteqm::copy_value(&target, &other), zteqm::release_value_storage(&target);
        EXPECT_EQ(std::memcmp(&target, &other, sizeof(Value)), 0) << type;
    }
    refusals = 1;  // without memory: no block
    zteqm::copy_value(&target, &source);
    EXPECT_EQ(target.typeId + (target.data.p == nullptr) + target.size, 8 + 1);
    zteqm::copy_value(&source, &source), zteqm::copy_value(nullptr, &source);
    zteqm::copy_value(&target, nullptr), zteqm::release_value_storage(nullptr);
    EXPECT_EQ(source.size, 128);
    zteqm::release_value_storage(&source);
    KVAV_Exit();
    EXPECT_TRUE(live.empty());
}

}  // namespace
