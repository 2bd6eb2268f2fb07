// The name index's storage: its hash table and the chains of positions sharing a name.
// Invariant: a name's chain lists its positions in ascending order, its head the lowest.
#include "internal/name_index.h"

namespace zteqm {

namespace {

void break_index(NameIndex &index) {
    name_index_release(index);
    index.broken = true;
}

// Rebuilds the table with `size` entries, dropping removed ones.
bool rehash(NameIndex &index, int32_t size) {
    auto *entries = static_cast<NameIndex::Entry *>(
        _KVAMEM_Alloc(static_cast<uint64_t>(size) * sizeof(NameIndex::Entry), nullptr, 0));
    if (entries == nullptr) return false;
    for (int32_t i = 0; i < size; ++i) entries[i] = {0, NameIndex::kEmpty};
    const uint32_t mask = static_cast<uint32_t>(size) - 1;
    int32_t used = 0;
    for (int32_t i = 0; i < index.size; ++i) {
        const NameIndex::Entry entry = index.entries[i];
        if (entry.head < 0) continue;
        uint32_t probe = entry.hash & mask;
        while (entries[probe].head != NameIndex::kEmpty) probe = (probe + 1) & mask;
        entries[probe] = entry;
        ++used;
    }
    if (index.entries != nullptr) KVAMEM_Free(index.entries);
    index.entries = entries;
    index.size = size;
    index.used = used;
    return true;
}

}  // namespace

bool name_index_reserve(NameIndex &index, int32_t count) {
    if (index.broken) return false;
    if (count <= index.positions) return true;
    int32_t room = index.positions > 0 ? index.positions : 16;
    while (room < count) room = room > INT32_MAX / 2 ? count : room * 2;
    int32_t *next = index.next;
    int32_t positions = index.positions;
    if (!grow_array(next, positions, room)) {
        break_index(index);
        return false;
    }
    index.next = next;
    index.positions = positions;
    return true;
}

bool name_index_make_room(NameIndex &index) {
    if (index.broken) return false;
    // At most three quarters full, removed entries counted, so probes stay short.
    if (index.size > 0 && (index.used + 1) * 4 <= index.size * 3) return true;
    int32_t live = 0;
    for (int32_t i = 0; i < index.size; ++i) live += index.entries[i].head >= 0 ? 1 : 0;
    int32_t size = index.size > 0 ? index.size : 16;
    while ((live + 1) * 2 > size) size *= 2;
    if (size > (1 << 28) || !rehash(index, size)) {
        break_index(index);
        return false;
    }
    return true;
}

void name_index_clear(NameIndex &index) {
    // The table goes back to the allocator; the chains keep their room for the positions.
    if (index.entries != nullptr) KVAMEM_Free(index.entries);
    index.entries = nullptr;
    index.size = 0;
    index.used = 0;
    index.broken = false;
}

void name_index_release(NameIndex &index) {
    if (index.entries != nullptr) KVAMEM_Free(index.entries);
    if (index.next != nullptr) KVAMEM_Free(index.next);
    index = NameIndex{};
}

}  // namespace zteqm
