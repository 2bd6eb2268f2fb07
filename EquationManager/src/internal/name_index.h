// A hash index from names to the lowest of the positions that bear them, for names stored
// elsewhere (a palette's slots, the list of referenced names). Positions bearing the same
// name are chained in ascending order.
#pragma once

#include <cstdint>
#include <cstring>

#include "internal/memory.h"

namespace zteqm {

struct NameIndex {
    struct Entry {
        uint32_t hash;
        int32_t head;  // lowest position bearing the name; kEmpty or kRemoved otherwise
    };
    static constexpr int32_t kEmpty = -1;
    static constexpr int32_t kRemoved = -2;

    Entry *entries = nullptr;
    int32_t size = 0;         // a power of two, or 0
    int32_t used = 0;         // entries that are not empty (removed ones included)
    int32_t *next = nullptr;  // next position bearing the same name, or -1
    int32_t positions = 0;    // room in `next`
    bool broken = false;      // memory ran out once: callers search without the index
};

inline uint32_t hash_name(const char *name) {
    uint32_t hash = 2166136261u;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c != 0; ++c) {
        hash = (hash ^ *c) * 16777619u;
    }
    return hash;
}

// Makes room for positions below `count`; false (and the index broken) when memory ran out.
bool name_index_reserve(NameIndex &index, int32_t count);
// Forgets every name; the storage is kept and a broken index works again.
void name_index_clear(NameIndex &index);
// Gives the storage back.
void name_index_release(NameIndex &index);
// Makes room for one more entry, rehashing when the table is full enough.
bool name_index_make_room(NameIndex &index);

// The entry of `name`, or null. NameAt maps a position to the name it bears.
template <typename NameAt>
NameIndex::Entry *name_index_entry(const NameIndex &index, const char *name, uint32_t hash,
                                   NameAt nameAt) {
    if (index.size == 0) return nullptr;
    const uint32_t mask = static_cast<uint32_t>(index.size) - 1;
    for (uint32_t probe = hash & mask;; probe = (probe + 1) & mask) {
        NameIndex::Entry &entry = index.entries[probe];
        if (entry.head == NameIndex::kEmpty) return nullptr;
        if (entry.head >= 0 && entry.hash == hash && std::strcmp(nameAt(entry.head), name) == 0) {
            return &entry;
        }
    }
}

// The lowest position bearing `name`, or -1.
template <typename NameAt>
int32_t name_index_find(const NameIndex &index, const char *name, NameAt nameAt) {
    const NameIndex::Entry *entry = name_index_entry(index, name, hash_name(name), nameAt);
    return entry != nullptr ? entry->head : -1;
}

// Records that `position` bears the name nameAt(position).
template <typename NameAt>
void name_index_insert(NameIndex &index, int32_t position, NameAt nameAt) {
    if (index.broken) return;
    if (position >= index.positions && !name_index_reserve(index, position + 1)) return;
    const char *name = nameAt(position);
    const uint32_t hash = hash_name(name);
    if (NameIndex::Entry *entry = name_index_entry(index, name, hash, nameAt)) {
        if (position == entry->head) return;
        if (position < entry->head) {
            index.next[position] = entry->head;
            entry->head = position;
            return;
        }
        int32_t before = entry->head;
        while (index.next[before] >= 0 && index.next[before] < position)
            before = index.next[before];
        if (index.next[before] == position) return;
        index.next[position] = index.next[before];
        index.next[before] = position;
        return;
    }
    if (!name_index_make_room(index)) return;
    const uint32_t mask = static_cast<uint32_t>(index.size) - 1;
    uint32_t probe = hash & mask;
    while (index.entries[probe].head >= 0) probe = (probe + 1) & mask;
    if (index.entries[probe].head == NameIndex::kEmpty) ++index.used;
    index.entries[probe] = {hash, position};
    index.next[position] = -1;
}

// Records that `position` no longer bears the name nameAt(position).
template <typename NameAt>
void name_index_remove(NameIndex &index, int32_t position, NameAt nameAt) {
    if (index.broken) return;
    const char *name = nameAt(position);
    NameIndex::Entry *entry = name_index_entry(index, name, hash_name(name), nameAt);
    if (entry == nullptr) return;
    if (entry->head == position) {
        entry->head = index.next[position] >= 0 ? index.next[position] : NameIndex::kRemoved;
        return;
    }
    for (int32_t before = entry->head; index.next[before] >= 0; before = index.next[before]) {
        if (index.next[before] == position) {
            index.next[before] = index.next[position];
            return;
        }
    }
}

}  // namespace zteqm
