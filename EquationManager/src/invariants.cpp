// The checks of the library's promises about its own state (see internal/invariants.h).
// Compiled in only with ZTEQM_CHECK_INVARIANTS; the checks read state and never change it.
#include "internal/invariants.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "internal/evaluation.h"
#include "internal/parameters.h"
#include "internal/value.h"
#include "ztequationmanager/equation.h"

namespace zteqm {

void invariant_broken(const char *condition, const char *file, int line) {
    // Only the checking builds reach this: the message is for the engineer reading the crash.
    std::fprintf(stderr, "ztequationmanager: invariant broken: %s (%s:%d)\n", condition, file,
                 line);
    std::abort();
}

namespace {

#define ZTEQM_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : invariant_broken(#condition, __FILE__, __LINE__))

bool is_live(const EquationPalette *palette, int32_t index) {
    return index >= 0 && index < palette->capacity && palette->slots[index].inUse != 0;
}

void check_name_index(EquationPalette *palette, const NameIndex &names) {
    if (names.broken) return;  // lookups walk the slots instead
    auto nameAt = [palette](int32_t index) -> const char * { return palette->slots[index].name; };
    // Every entry's chain holds live slots bearing its name, in ascending order.
    for (int32_t entry = 0; entry < names.size; ++entry) {
        const NameIndex::Entry &at = names.entries[entry];
        if (at.head < 0) continue;
        int32_t previous = -1;
        for (int32_t position = at.head; position >= 0; position = names.next[position]) {
            ZTEQM_CHECK(position > previous && position < names.positions);
            ZTEQM_CHECK(is_live(palette, position));
            ZTEQM_CHECK(hash_name(nameAt(position)) == at.hash);
            ZTEQM_CHECK(std::strcmp(nameAt(position), nameAt(at.head)) == 0);
            previous = position;
        }
    }
    // Every live slot is found: its name leads to the lowest live slot bearing it, and the
    // chain from there reaches the slot.
    for (int32_t index = 0; index < palette->capacity; ++index) {
        if (!is_live(palette, index)) continue;
        const int32_t head = name_index_find(names, nameAt(index), nameAt);
        ZTEQM_CHECK(head >= 0 && head <= index);
        for (int32_t lower = 0; lower < head; ++lower) {
            ZTEQM_CHECK(!is_live(palette, lower) || std::strcmp(nameAt(lower), nameAt(index)) != 0);
        }
        int32_t position = head;
        while (position >= 0 && position != index) position = names.next[position];
        ZTEQM_CHECK(position == index);
    }
}

struct Span {
    uintptr_t base;
    uintptr_t extent;
};

struct OwnedBlock {
    const void *block;
    const Value *value;
    bool operator<(const OwnedBlock &other) const {
        return block != other.block ? block < other.block : value < other.value;
    }
};

// Enough for every test and fuzzing session; a larger state is left unchecked.
constexpr int32_t kMaxBlocks = 4096;

struct BlockCensus {
    OwnedBlock blocks[kMaxBlocks];
    int32_t count = 0;
    bool overflowed = false;

    void note(const Value *value) {
        if (value == nullptr || value->data.p == nullptr) return;
        const bool owns =
            keeps_block(value->typeId) || (value->typeId > kStringType && value->size > 0);
        if (!owns) return;
        if (count == kMaxBlocks) {
            overflowed = true;
            return;
        }
        blocks[count++] = {value->data.p, value};
    }

    void note(Parameter *parameter) {
        if (parameter != nullptr) note(embedded_value(parameter));
    }
};

}  // namespace

void check_palette(EquationPalette *palette) {
    ZTEQM_CHECK(palette != nullptr);
    const PaletteBookkeeping facts = palette_bookkeeping(palette);
    ZTEQM_CHECK(palette->capacity >= 0 && palette->capacity <= facts.allocated);
    ZTEQM_CHECK(palette->slots != nullptr || facts.allocated == 0);
    ZTEQM_CHECK(facts.incarnationCapacity >= facts.allocated);  // every slot's remakes counted
    ZTEQM_CHECK(facts.firstFreeHint >= 0);
    for (int32_t index = 0; index < facts.firstFreeHint && index < palette->capacity; ++index) {
        ZTEQM_CHECK(is_live(palette, index));  // below the hint every slot is live
    }
    for (int32_t index = 0; index < palette->capacity; ++index) {
        if (!is_live(palette, index)) continue;
        ZTEQM_CHECK(palette->slots[index].index == index);
        ZTEQM_CHECK(index < palette->numEquations);
    }
    // Slots allocated beyond the reported capacity are never used.
    for (int32_t index = palette->capacity; index < facts.allocated; ++index) {
        ZTEQM_CHECK(palette->slots[index].inUse == 0);
    }
    check_name_index(palette, *facts.names);
}

void check_references() {
    Span spans[256];
    const int32_t count = std::min<int32_t>(tracked_palette_count(), 256);
    for (int32_t position = 0; position < count; ++position) {
        EquationPalette *palette = tracked_palette(position);
        spans[position] = {
            reinterpret_cast<uintptr_t>(palette->slots),
            static_cast<uintptr_t>(palette_bookkeeping(palette).allocated) * sizeof(Equation)};
    }
    struct Context {
        const Span *spans;
        int32_t count;
    } context{spans, count};
    for_each_tracked_reference(
        [](EquationParameter *reference, const ReferenceLinks &links, void *raw) {
            const auto *where = static_cast<const Context *>(raw);
            ZTEQM_CHECK(reference->typeId == kEquationTypeId);
            const auto address = reinterpret_cast<uintptr_t>(reference->equation);
            if (address == 0) return;
            SlotRef slot;
            if (links.cached == reference->equation &&
                locate_equation(reference->equation, &slot)) {
                ZTEQM_CHECK(links.cachedIncarnation <= slot_incarnation(slot));
            }
            for (int32_t position = 0; position < where->count; ++position) {
                const Span &span = where->spans[position];
                if (address < span.base || address - span.base >= span.extent) continue;
                ZTEQM_CHECK((address - span.base) % sizeof(Equation) == 0);
            }
        },
        &context);
}

void check_value_blocks() {
    static BlockCensus census;  // large: kept out of the stack
    census.count = 0;
    census.overflowed = false;
    for (int32_t position = 0; position < tracked_palette_count(); ++position) {
        EquationPalette *palette = tracked_palette(position);
        for (int32_t index = 0; index < palette->capacity; ++index) {
            const Equation &slot = palette->slots[index];
            if (slot.variable != nullptr) census.note(&slot.variable->value);
            for (int32_t p = 0; p < slot.numParameters && slot.parameters != nullptr; ++p) {
                census.note(slot.parameters[p]);
            }
        }
    }
    if (census.overflowed) return;
    std::sort(census.blocks, census.blocks + census.count);
    for (int32_t at = 1; at < census.count; ++at) {
        const OwnedBlock &before = census.blocks[at - 1];
        const OwnedBlock &here = census.blocks[at];
        // The same value may be listed twice (one parameter placed twice); two values never
        // share a block.
        ZTEQM_CHECK(here.block != before.block || here.value == before.value);
    }
}

void check_no_evaluation_running() {
    ZTEQM_CHECK(evaluation_depth() == 0);
    ZTEQM_CHECK(!evaluation_keeps_objects());
}

void check_invariants() {
    check_no_evaluation_running();
    ZTEQM_CHECK(trusted_slots_hold_built_ins());
    ZTEQM_CHECK(trusted_double_holds_built_ins());
    for (int32_t position = 0; position < tracked_palette_count(); ++position) {
        check_palette(tracked_palette(position));
    }
    check_references();
    check_value_blocks();
}

void check_invariants_between_calls() {
    if (evaluation_depth() == 0) check_invariants();
}

#undef ZTEQM_CHECK

}  // namespace zteqm
