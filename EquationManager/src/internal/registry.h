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
    // The records whose address the host was given, one bit per identifier below 64 (records
    // above are never taken as unchanged): the host may write those at any time, the others
    // change only through the registry's functions.
    uint64_t givenOut = 0;

    // Notes that the host gets the record's address, and returns it.
    Record *give_out(Record *record) {
        const auto id = record != nullptr ? static_cast<uint64_t>(record - records) : 64;
        if (id < 64) givenOut |= uint64_t{1} << id;
        return record;
    }

    // True when the record of `id` changes only through the registry's functions.
    bool kept_inside(int32_t id) const {
        return id >= 0 && id < 64 && ((givenOut >> id) & 1u) == 0 && id < count &&
               records != nullptr;
    }

    bool exists() const { return records != nullptr; }

    // Allocates the array with room for `initialCapacity` records. False, with nothing
    // changed, when it exists already or cannot be allocated.
    bool create(int32_t initialCapacity) {
        return !exists() && grow_array(records, capacity, initialCapacity);
    }

    // The record of an identifier in 0 .. count - 1, or null.
    Record *at(int32_t id) const {
        // The count is never negative: one unsigned comparison bounds the identifier. It may
        // be above 0 without an array (the operators reserve slot 0 from load on).
        return (static_cast<uint32_t>(id) < static_cast<uint32_t>(count) && records != nullptr)
                   ? &records[id]
                   : nullptr;
    }

    // One field of the record of an identifier in 0 .. count - 1; zero or null otherwise.
    template <typename Field>
    Field field(int32_t id, Field Record::*member) const {
        return (static_cast<uint32_t>(id) < static_cast<uint32_t>(count) && records != nullptr)
                   ? records[id].*member
                   : Field{};
    }

    // Makes room for index `id` by growing to `newCapacity` when id is beyond the capacity.
    bool make_room(int32_t id, int32_t newCapacity) {
        return id < capacity || grow_array(records, capacity, newCapacity);
    }

    // For registries whose registrant chooses the identifier: the record at `id`, its
    // identifier and name set and the count raised to cover it. Null, with nothing changed,
    // while the table does not exist, for a negative identifier or the highest one (the count
    // would not fit), a null name, or a table that cannot grow.
    Record *claim(int32_t id, const char *name) {
        if (!exists() || id < 0 || id == INT32_MAX || name == nullptr) return nullptr;
        if (!make_room(id, id + 1)) return nullptr;
        Record &record = records[id];
        record.typeId = id;
        copy_text(record.name, name);
        if (count <= id) count = id + 1;
        return &record;
    }

    // The name of the record at `id`, or null outside 0 .. count - 1.
    const char *name_of(int32_t id) const {
        const Record *record = at(id);
        return record != nullptr ? record->name : nullptr;
    }

    // The first identifier from `first` up whose record's name equals `name`, or -1.
    int32_t find(const char *name, int32_t first) const {
        if (name == nullptr || records == nullptr) return -1;
        for (int32_t id = first < 0 ? 0 : first; id < count; ++id) {
            if (same_text(records[id].name, name)) return id;
        }
        return -1;
    }

    // Empties the record at `id` in place; the count is unchanged. Nothing outside the table.
    void clear(int32_t id) {
        if (Record *record = at(id)) *record = Record{};
    }

    // The first identifier whose record's name equals `name`, or 0 for none or a null name.
    int32_t id_of(const char *name) const {
        const int32_t id = find(name, 0);
        return id < 0 ? 0 : id;
    }

    // Releases the array; the table returns to having none.
    void release() {
        if (records != nullptr) KVAMEM_Free(records);
        records = nullptr;
        capacity = 0;
        count = 0;
        givenOut = 0;
    }
};

}  // namespace zteqm
