// The references by name, their placements and the log of changes that concern them.
//
// Invariants: a reference is in the bucket of the hash of the name it was indexed under, and
// the index holds `count` of them; the table exists while count is above 0. Log entry i of the
// ring carries the generation it was made in; entries naming a reference are dropped before
// that reference is released, so every reference an entry names is alive.
#include "internal/reference_index.h"

#include "internal/equation_reference.h"
#include "internal/evaluation.h"
#include "internal/memory.h"
#include "internal/name_index.h"
#include "internal/palette_slots.h"
#include "internal/parameters.h"
#include "internal/text.h"
#include "ztequationmanager/parameter.h"

namespace zteqm {

namespace {

struct ReferenceTable {
    ReferenceLinks **buckets = nullptr;
    int32_t size = 0;     // a power of two, or 0
    int32_t count = 0;    // references in the table
    int32_t tracked = 0;  // references made and not yet released, in the table or not
    bool broken = false;  // memory ran out: until every reference is gone, the log cannot
                          // tell what to fix
};

enum class Change { nothing, anything, name, reference };

struct LogEntry {
    uint64_t generation = 0;
    Change change = Change::nothing;
    ReferenceLinks *links = nullptr;
    uint32_t hash = 0;
    char name[ZTEQM_NAME_SIZE] = {};
};

// Enough for the changes one editing operation makes between two fix-up passes.
constexpr int32_t kLogSize = 64;

struct ChangeLog {
    LogEntry entries[kLogSize];
    int32_t next = 0;  // where the next entry goes
};

ReferenceTable table;
ChangeLog changes;

void link_into(ReferenceLinks **buckets, int32_t size, ReferenceLinks *links) {
    ReferenceLinks *&head = buckets[links->hash & static_cast<uint32_t>(size - 1)];
    links->previous = nullptr;
    links->next = head;
    if (head != nullptr) head->previous = links;
    head = links;
}

// Takes every reference out of the index (and gives the table back).
void empty_table() {
    for (int32_t bucket = 0; bucket < table.size; ++bucket) {
        for (ReferenceLinks *links = table.buckets[bucket]; links != nullptr;) {
            ReferenceLinks *next = links->next;
            links->indexed = false;
            links->next = links->previous = nullptr;
            links = next;
        }
    }
    if (table.buckets != nullptr) KVAMEM_Free(table.buckets);
    table.buckets = nullptr;
    table.size = 0;
    table.count = 0;
}

bool grow_table() {
    const int32_t size = table.size > 0 ? table.size * 2 : 64;
    if (size > (1 << 28)) return false;
    auto *buckets = static_cast<ReferenceLinks **>(
        _KVAMEM_AllocZ(static_cast<uint64_t>(size) * sizeof(ReferenceLinks *), nullptr, 0));
    if (buckets == nullptr) return false;
    for (int32_t bucket = 0; bucket < table.size; ++bucket) {
        for (ReferenceLinks *links = table.buckets[bucket]; links != nullptr;) {
            ReferenceLinks *next = links->next;
            link_into(buckets, size, links);
            links = next;
        }
    }
    if (table.buckets != nullptr) KVAMEM_Free(table.buckets);
    table.buckets = buckets;
    table.size = size;
    return true;
}

ReferenceLinks *bucket_of(uint32_t hash) {
    return table.size > 0 ? table.buckets[hash & static_cast<uint32_t>(table.size - 1)] : nullptr;
}

LogEntry &append(uint64_t generation, Change change) {
    LogEntry &entry = changes.entries[changes.next];
    changes.next = (changes.next + 1) % kLogSize;
    if (entry.change == Change::reference) --entry.links->logged;
    entry = LogEntry{};
    entry.generation = generation;
    entry.change = change;
    return entry;
}

enum class Placement { inside, elsewhere, unknown };

// Whether the reference sits in a live equation of `walked`, as far as its last placement
// shows: unknown when that placement no longer holds it.
Placement placement_of(const ReferenceLinks *links, EquationPalette *walked) {
    EquationPalette *palette = links->palette;
    if (palette == nullptr) return Placement::unknown;
    uint32_t seen = palette_deletions() + 1;  // never current: the palette is looked for
    if (!palette_alive(palette, &seen) || links->index >= palette->capacity) {
        return Placement::unknown;
    }
    const Equation &slot = palette->slots[links->index];
    if (links->position >= slot.numParameters ||
        slot.parameters[links->position] != reinterpret_cast<Parameter *>(links->self)) {
        return Placement::unknown;
    }
    return palette == walked && slot.inUse != 0 ? Placement::inside : Placement::elsewhere;
}

// Calls visit(links) for every reference an entry concerns; false when one of them cannot
// be placed.
template <typename Visit>
bool concerned(const LogEntry &entry, EquationPalette *walked, Visit visit) {
    switch (entry.change) {
        case Change::nothing:
            return true;
        case Change::anything:
            return false;
        case Change::reference: {
            const Placement placement = placement_of(entry.links, walked);
            if (placement == Placement::unknown) return false;
            if (placement == Placement::inside) visit(entry.links);
            return true;
        }
        case Change::name:
            for (ReferenceLinks *links = bucket_of(entry.hash); links != nullptr;
                 links = links->next) {
                if (!same_text(links->self->referenceName, entry.name)) continue;
                const Placement placement = placement_of(links, walked);
                if (placement == Placement::unknown) return false;
                if (placement == Placement::inside) visit(links);
            }
            return true;
    }
    return false;
}

}  // namespace

// Puts the reference in the bucket of the name it bears.
static void insert(ReferenceLinks *links) {
    if (links->indexed || table.broken) return;
    if (table.count >= table.size && !grow_table()) {
        // Without the index no change can be traced to its references any more.
        empty_table();
        table.broken = true;
        return;
    }
    links->hash = hash_name(links->self->referenceName);
    link_into(table.buckets, table.size, links);
    links->indexed = true;
    ++table.count;
}

void index_reference(ReferenceLinks *links) {
    ++table.tracked;
    insert(links);
}

// Takes the reference out of its bucket.
static void unlink_reference(ReferenceLinks *links) {
    if (!links->indexed) return;
    if (links->previous != nullptr) {
        links->previous->next = links->next;
    } else {
        table.buckets[links->hash & static_cast<uint32_t>(table.size - 1)] = links->next;
    }
    if (links->next != nullptr) links->next->previous = links->previous;
    links->next = links->previous = nullptr;
    links->indexed = false;
    --table.count;
}

void unindex_reference(ReferenceLinks *links) {
    if (links->logged > 0) {
        for (LogEntry &entry : changes.entries) {
            if (entry.change == Change::reference && entry.links == links) {
                entry.change = Change::nothing;  // a released reference lies in no palette
                entry.links = nullptr;
            }
        }
        links->logged = 0;
    }
    unlink_reference(links);
    if (--table.tracked == 0) {
        // No reference is left that the table could have missed: it starts afresh.
        empty_table();
        table.broken = false;
    }
}

bool rename_reference(EquationParameter *reference, const char *name) {
    ReferenceLinks *links = tracked_links(reinterpret_cast<Parameter *>(reference));
    if (links != nullptr) unlink_reference(links);
    const bool renamed = copy_text(reference->referenceName, name);
    if (links != nullptr) insert(links);
    return renamed;
}

ReferenceLinks *tracked_links(Parameter *parameter) {
    if (parameter == nullptr || parameter->typeId != kEquationTypeId) return nullptr;
    auto *reference = reinterpret_cast<EquationParameter *>(parameter);
    for (ReferenceLinks *links = bucket_of(hash_name(reference->referenceName)); links != nullptr;
         links = links->next) {
        if (links->self == reference) return links;
    }
    return nullptr;
}

void note_placement(Parameter *parameter, Equation *equation, int32_t position) {
    ReferenceLinks *links = tracked_links(parameter);
    if (links == nullptr) return;
    SlotRef slot;
    if (locate_equation(equation, &slot)) {
        links->palette = slot.palette;
        links->index = slot.index;
        links->position = position;
    } else {
        links->palette = nullptr;
    }
}

void log_any_change(uint64_t generation) { append(generation, Change::anything); }

void log_name_change(uint64_t generation, const char *name) {
    LogEntry &entry = append(generation, Change::name);
    copy_text(entry.name, name);
    entry.hash = hash_name(entry.name);
}

void log_reference_change(uint64_t generation, ReferenceLinks *links) {
    LogEntry &entry = append(generation, Change::reference);
    entry.links = links;
    ++links->logged;
}

bool fix_logged_references(EquationPalette *walked, uint64_t fixedAt, uint64_t generation) {
    if (table.broken || fixedAt > generation || generation - fixedAt > kLogSize) return false;
    const auto span = static_cast<int32_t>(generation - fixedAt);
    auto entry_at = [](int32_t back) -> const LogEntry & {
        return changes.entries[(changes.next - 1 - back + 2 * kLogSize) % kLogSize];
    };
    // Every entry since the last pass must be held and tell which references it concerns
    // before anything is fixed.
    for (int32_t back = 0; back < span; ++back) {
        const LogEntry &entry = entry_at(back);
        if (entry.generation != generation - static_cast<uint64_t>(back)) return false;
        if (!concerned(entry, walked, [](ReferenceLinks *) {})) return false;
    }
    for (int32_t back = 0; back < span; ++back) {
        concerned(entry_at(back), walked,
                  [](ReferenceLinks *links) { fix_tracked_reference(links); });
    }
    return true;
}

void release_reference_index() {
    empty_table();
    table.broken = false;
    table.tracked = 0;
    for (LogEntry &entry : changes.entries) entry = LogEntry{};
    changes.next = 0;
}

}  // namespace zteqm
