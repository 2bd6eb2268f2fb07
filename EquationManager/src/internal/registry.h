// The one registry shape: a growable table of fixed-size records addressed by identifier.
#pragma once

#include <cstdint>

#include "internal/memory.h"
#include "internal/text.h"

namespace zteqm {

template <typename Record>
struct Table {
    Record *records = nullptr;
    int32_t capacity = 0;
    int32_t count = 0;

    bool exists() const { return records != nullptr; }

    // The record of an identifier in 0 .. count - 1, or null.
    Record *at(int32_t id) const {
        return (records != nullptr && id >= 0 && id < count) ? &records[id] : nullptr;
    }

    // Makes room for index `id` by growing to `newCapacity` when id is beyond the capacity.
    bool make_room(int32_t id, int32_t newCapacity) {
        return id < capacity || grow_array(records, capacity, newCapacity);
    }

    // The first identifier from `first` up whose record's name equals `name`, or -1.
    int32_t find(const char *name, int32_t first) const {
        if (name == nullptr || records == nullptr) return -1;
        for (int32_t id = first < 0 ? 0 : first; id < count; ++id) {
            if (same_text(records[id].name, name)) return id;
        }
        return -1;
    }

    // Releases the array; the table returns to having none.
    void release() {
        if (records != nullptr) KVAMEM_Free(records);
        records = nullptr;
        capacity = 0;
        count = 0;
    }
};

}  // namespace zteqm
