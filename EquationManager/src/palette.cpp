// Palettes: making, finding, walking and deleting equations in a palette's slot array.
// Invariant: every slot below a palette's free hint is live, and its index by name holds
// exactly its live slots; the slot storage generation advances whenever a slot array moves.
#include "ztequationmanager/palette.h"

#include <cstdio>
#include <cstring>

#include "internal/equation.h"
#include "internal/equation_reference.h"
#include "internal/evaluation.h"
#include "internal/invariants.h"
#include "internal/manager.h"
#include "internal/memory.h"
#include "internal/name_index.h"
#include "internal/palette.h"
#include "internal/parameters.h"
#include "internal/reference_index.h"
#include "internal/text.h"
#include "ztequationmanager/operator.h"
#include "ztequationmanager/parameter.h"
#include "ztequationmanager/subscriber.h"

namespace {

constexpr int32_t kInitialSlots = 10;

// Every palette made and not yet deleted, registered with the manager or not. Equation
// references are trusted only while they point into one of these palettes' slot arrays.
struct PaletteState {
    EquationPalette **live = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    int32_t lastFound = 0;        // where the last slot search succeeded, tried first next time
    uint32_t deletions = 0;       // lets callers notice that a callback deleted a palette
    uint32_t storageChanges = 0;  // advances whenever a slot array moves or a palette goes
};

PaletteState palettes;

// Bookkeeping the host never sees, kept in the same block behind the public record: every
// palette is made by KVAEP_NewEquationPalette.
struct PaletteExtras {
    int32_t allocated = 0;      // slots allocated; the capacity reported may be fewer
    int32_t firstFreeHint = 0;  // every slot below it is live
    zteqm::NameIndex names;     // live slots by name
    uint64_t fixedAt = 0;       // reference generation in which all references were fixed
    // How often each slot was made live again after holding an equation, for every slot
    // allocated and perhaps more: a reference trusts its cached pointer only while the count
    // of its slot is the one it recorded (equation_reference.cpp).
    uint32_t *incarnations = nullptr;
    int32_t incarnationCapacity = 0;
};

struct PaletteBlock {
    EquationPalette palette;  // first, so both share one address
    PaletteExtras extras;
};

PaletteExtras &extras_of(EquationPalette *palette) {
    return reinterpret_cast<PaletteBlock *>(palette)->extras;
}

auto names_of(EquationPalette *palette) {
    return [palette](int32_t index) -> const char * { return palette->slots[index].name; };
}

// Slot `index` has just become live: the name index learns its name.
void index_live_slot(EquationPalette *palette, int32_t index) {
    zteqm::name_index_insert(extras_of(palette).names, index, names_of(palette));
}

// Slot `index` is about to stop being live, or to change its name.
void unindex_live_slot(EquationPalette *palette, int32_t index) {
    zteqm::name_index_remove(extras_of(palette).names, index, names_of(palette));
}

// Makes sure `count` slots are allocated. Growth doubles the allocation, so making equations
// one at a time does not copy the whole array each time; only a real move of the slots drops
// the references cached into them.
bool reserve_slots(EquationPalette *palette, int32_t count) {
    PaletteExtras &extras = extras_of(palette);
    if (count <= extras.allocated) return true;
    const int32_t doubled = extras.allocated > INT32_MAX / 2 ? INT32_MAX : extras.allocated * 2;
    const Equation *old = palette->slots;
    const int32_t oldCapacity = palette->capacity;
    // The counts grow first, so that every slot allocated always has one.
    int32_t wanted = doubled > count ? doubled : count;
    if (extras.incarnationCapacity < wanted &&
        !zteqm::grow_array(extras.incarnations, extras.incarnationCapacity, wanted)) {
        wanted = count;
        if (extras.incarnationCapacity < wanted &&
            !zteqm::grow_array(extras.incarnations, extras.incarnationCapacity, wanted)) {
            return false;
        }
    }
    if (!zteqm::grow_array(palette->slots, extras.allocated, wanted) &&
        (wanted == count || !zteqm::grow_array(palette->slots, extras.allocated, count))) {
        return false;
    }
    // When the index cannot grow, lookups by name fall back to a walk; nothing else depends
    // on it.
    static_cast<void>(zteqm::name_index_reserve(extras.names, extras.allocated));
    ++palettes.storageChanges;
    zteqm::forget_references_into(old, oldCapacity);
    return true;
}

bool track_palette(EquationPalette *palette) {
    if (palettes.count >= palettes.capacity &&
        !zteqm::grow_array(palettes.live, palettes.capacity, palettes.count + kInitialSlots)) {
        return false;
    }
    palettes.live[palettes.count++] = palette;
    return true;
}

void untrack_palette(const EquationPalette *palette) {
    int32_t kept = 0;
    for (int32_t position = 0; position < palettes.count; ++position) {
        if (palettes.live[position] != palette) palettes.live[kept++] = palettes.live[position];
    }
    palettes.count = kept;
    ++palettes.deletions;
    ++palettes.storageChanges;
    if (palettes.count == 0 && palettes.live != nullptr) {
        // The last palette is gone: give the lists back so that nothing stays allocated. No
        // reference lies in a palette any more, and one placed in a new palette later has its
        // name noted again.
        zteqm::release_referenced_names();
        KVAMEM_Free(palettes.live);
        palettes.live = nullptr;
        palettes.capacity = 0;
        palettes.lastFound = 0;
    }
}

bool slot_of(const EquationPalette *palette, const Equation *equation, zteqm::SlotRef *slot) {
    if (palette->slots == nullptr) return false;
    const auto base = reinterpret_cast<uintptr_t>(palette->slots);
    const auto address = reinterpret_cast<uintptr_t>(equation);
    if (address < base) return false;
    const uintptr_t offset = address - base;
    if (offset % sizeof(Equation) != 0) return false;
    const uintptr_t index = offset / sizeof(Equation);
    if (index >= static_cast<uintptr_t>(palette->capacity)) return false;
    slot->palette = const_cast<EquationPalette *>(palette);
    slot->index = static_cast<int32_t>(index);
    return true;
}

// The palette that the walks use for this one: the first registered under its user data.
EquationPalette *walked_palette(const EquationPalette *palette) {
    return palette != nullptr ? zteqm::registered_palette(palette->userData) : nullptr;
}

// Calls visit(index, slot) for each live slot from `start` while it answers true. The bound
// is read once; the slot is taken again by index every time, since a callback may move the
// slot array, and the walk ends if a callback deleted the palette.
template <typename Visit>
void walk_live(EquationPalette *palette, int32_t start, Visit visit) {
    const int32_t end = palette->numEquations;
    uint32_t seen = palettes.deletions;
    for (int32_t index = start < 0 ? 0 : start; index < end; ++index) {
        if (!zteqm::palette_alive(palette, &seen) || index >= palette->capacity) return;
        Equation *equation = &palette->slots[index];
        if (equation->inUse != 0 && !visit(index, equation)) return;
    }
}

// The lowest free slot, or the capacity when every slot is live. The search starts at the
// hint, below which every slot is live, so making equations one after another stays linear.
int32_t find_free_index(EquationPalette *palette) {
    PaletteExtras &extras = extras_of(palette);
    int32_t index =
        extras.firstFreeHint < palette->capacity ? extras.firstFreeHint : palette->capacity;
    while (index < palette->capacity && palette->slots[index].inUse != 0) ++index;
    ZTEQM_ASSERT(index == palette->capacity || palette->slots[index].inUse == 0);
    extras.firstFreeHint = index;
    return index;
}

int32_t recount_equations(EquationPalette *palette) {
    int32_t highest = -1;
    for (int32_t index = 0; index < palette->capacity; ++index) {
        if (palette->slots[index].index > highest) highest = palette->slots[index].index;
    }
    palette->numEquations = highest + 1;
    return palette->numEquations;
}

bool is_live(const EquationPalette *palette, int32_t index) {
    return index >= 0 && index < palette->capacity && palette->slots[index].inUse != 0;
}

// A new equation's contents, the same whether the slot was never used or held a deleted
// equation: false when memory ran out (what was made is then released again).
bool set_equation_defaults(Equation *equation) {
    char name[ZTEQM_NAME_SIZE];
    std::snprintf(name, sizeof name, "Equation %d", static_cast<int>(equation->index));
    zteqm::copy_text(equation->name, name);
    KVAEQ_SetOperatorName(equation, "Move Value");
    KVAEQ_SetTriggerName(equation, "No Trigger");

    Variable *result = KVAEQ_GetVariable(equation);
    if (result == nullptr) return false;
    KVAP_SetTypeName(reinterpret_cast<Parameter *>(result), "Temporary");
    KVAP_SetEnabled(reinterpret_cast<Parameter *>(result), 1);
    KVAP_SetVariableDefaults(result);

    equation->currentParameterIndex = 0;
    const int32_t count = KVAOP_GetNumParameters(equation->operatorId);
    KVAEQ_SetNumParameters(equation, count);
    bool complete = equation->numParameters == count;
    for (int32_t position = 0; complete && position < count; ++position) {
        complete = equation->parameters[position] != nullptr;
    }
    equation->subscribers = nullptr;
    equation->numSubscribers = 0;
    equation->subscriberCapacity = 0;
    equation->reservedIndex = -1;
    if (!complete) zteqm::release_equation_contents(equation);
    return complete;
}

// True for a slot that has never held an equation: no reference can have been resolved to it.
bool never_used(const Equation &slot) {
    static const Equation kNeverUsed{};  // static: every byte zero, padding too
    return std::memcmp(&slot, &kNeverUsed, sizeof(Equation)) == 0;
}

// A slot made live again holds an equation made after every reference that points at it was
// resolved: its count advances, so that those references, in whatever palette, drop their
// pointer at their next read and resolve again by name. Nothing is walked.
void slot_made_anew(EquationPalette *palette, int32_t index) {
    ZTEQM_ASSERT(index >= 0 && index < extras_of(palette).incarnationCapacity);
    uint32_t &incarnation = extras_of(palette).incarnations[index];
    if (++incarnation == 0) incarnation = 1;  // 0 stays "never made again"
}

// Detaches what a deleted equation left in its slot and clears the slot to never-used.
Equation take_leftovers(Equation *slot) {
    const Equation leftovers = *slot;
    std::memset(static_cast<void *>(slot), 0, sizeof(Equation));
    return leftovers;
}

}  // namespace

namespace zteqm {

bool locate_equation(const Equation *equation, SlotRef *slot) {
    if (equation == nullptr || palettes.count == 0) return false;
    if (palettes.lastFound < palettes.count &&
        slot_of(palettes.live[palettes.lastFound], equation, slot)) {
        return true;
    }
    for (int32_t position = 0; position < palettes.count; ++position) {
        if (slot_of(palettes.live[position], equation, slot)) {
            palettes.lastFound = position;
            return true;
        }
    }
    return false;
}

uint32_t slot_incarnation(const SlotRef &slot) {
    const PaletteExtras &extras = extras_of(slot.palette);
    return slot.index < extras.incarnationCapacity ? extras.incarnations[slot.index] : 0;
}

int32_t tracked_palette_count() { return palettes.count; }

EquationPalette *tracked_palette(int32_t position) {
    return position >= 0 && position < palettes.count ? palettes.live[position] : nullptr;
}

PaletteBookkeeping palette_bookkeeping(EquationPalette *palette) {
    const PaletteExtras &extras = extras_of(palette);
    return {extras.allocated, extras.firstFreeHint, &extras.names, extras.incarnationCapacity};
}

bool palette_alive(const EquationPalette *palette, uint32_t *seen) {
    if (*seen == palettes.deletions) return true;
    for (int32_t position = 0; position < palettes.count; ++position) {
        if (palettes.live[position] == palette) {
            *seen = palettes.deletions;
            return true;
        }
    }
    return false;
}

uint32_t palette_deletions() { return palettes.deletions; }

uint32_t slot_storage_generation() { return palettes.storageChanges; }

Equation *first_live_equation(EquationPalette *palette, int32_t start, int32_t *index) {
    EquationPalette *walked = walked_palette(palette);
    if (walked == nullptr) return nullptr;
    Equation *found = nullptr;
    walk_live(walked, start, [&](int32_t at, Equation *equation) {
        found = equation;
        if (index != nullptr) *index = at;
        return false;
    });
    return found;
}

Equation *get_equation_slot(EquationPalette *palette, int32_t index, bool create) {
    if (palette == nullptr || index < 0) return nullptr;
    if (index >= palette->numEquations && !create) return nullptr;
    if (index >= palette->capacity) {
        if (!create || index == INT32_MAX) return nullptr;
        if (!reserve_slots(palette, index + 1)) return nullptr;
        // The capacity reported grows to exactly index + 1; the slots beyond it are zero.
        palette->capacity = index + 1;
    }
    return &palette->slots[index];
}

Equation *obtain_equation(EquationPalette *palette, int32_t index) {
    Equation *slot = get_equation_slot(palette, index, true);
    if (slot == nullptr) return nullptr;
    if (slot->inUse == 0) {
        // A reused slot starts exactly like a never-used one: the deleted equation's objects
        // are released, once the new equation is in place, so no destructor sees a half-made
        // slot.
        Equation leftovers = take_leftovers(slot);
        slot->index = index;
        if (!set_equation_defaults(slot)) {
            *slot = leftovers;  // out of memory: the slot stays as it was
            return nullptr;
        }
        slot->inUse = 1;
        if (!never_used(leftovers)) slot_made_anew(palette, index);
        index_live_slot(palette, index);
        if (index >= palette->numEquations) palette->numEquations = index + 1;
        // Only a reference that names the new equation can resolve differently now.
        if (is_referenced_name(slot->name)) name_may_resolve_anew(slot->name);
        uint32_t seen = palettes.deletions;
        release_equation_contents(&leftovers);
        if (!palette_alive(palette, &seen)) return nullptr;
    }
    fix_references_unless_current(palette);
    // Taken again: a destructor above may have moved the slots or deleted the equation.
    Equation *made = get_equation_slot(palette, index, false);
    return made != nullptr && made->inUse != 0 ? made : nullptr;
}

void fix_references_unless_current(EquationPalette *palette) {
    EquationPalette *walked = walked_palette(palette);
    // Skipped only when it provably changes nothing: every reference of the palette was
    // fixed and nothing since could have made one point elsewhere than its name resolves.
    // When the changes since can be told, only the references they concern are fixed.
    if (walked != nullptr) {
        PaletteExtras &extras = extras_of(walked);
        const uint64_t generation = reference_generation();
        if (extras.fixedAt == generation) return;
        if (fix_logged_references(walked, extras.fixedAt, generation)) {
            extras.fixedAt = generation;
            return;
        }
    }
    fix_palette_references(palette);
}

void fix_palette_references(EquationPalette *palette) {
    EquationPalette *walked = walked_palette(palette);
    if (walked == nullptr) return;
    const uint64_t generation = reference_generation();
    uint32_t seen = palettes.deletions;
    walk_live(walked, 0, [](int32_t, Equation *equation) {
        for (int32_t position = 0; position < equation->numParameters; ++position) {
            Parameter *parameter = equation->parameters[position];
            if (KVAP_GetTypeID(parameter) == zteqm::kEquationTypeId)
                KVAP_FixEquationReference(parameter);
        }
        return true;
    });
    if (palette_alive(walked, &seen) && generation == reference_generation()) {
        extras_of(walked).fixedAt = generation;
    }
}

void delete_equation(EquationPalette *palette, Equation *equation) {
    if (palette == nullptr || equation == nullptr) return;
    const int32_t index = equation->index;
    if (Equation *slot = get_equation_slot(palette, index, false); slot != nullptr && slot->inUse) {
        unindex_live_slot(palette, index);
        if (is_referenced_name(slot->name)) name_may_resolve_anew(slot->name);
        slot->inUse = 0;
        PaletteExtras &extras = extras_of(palette);
        if (index < extras.firstFreeHint) extras.firstFreeHint = index;
    }
    if (palette->currentIndex != index) return;

    const int32_t extent = recount_equations(palette);
    for (int32_t above = index + 1; above < extent; ++above) {
        if (is_live(palette, above)) {
            palette->currentIndex = above;
            return;
        }
    }
    for (int32_t below = index - 1; below >= 0; --below) {
        if (is_live(palette, below)) {
            palette->currentIndex = below;
            return;
        }
    }
    palette->currentIndex = -1;
}

void rename_equation(Equation *equation, const char *name) {
    if (equation == nullptr || name == nullptr) return;
    SlotRef slot;
    const bool indexed = locate_equation(equation, &slot) && equation->inUse != 0;
    if (indexed) unindex_live_slot(slot.palette, slot.index);
    char old[ZTEQM_NAME_SIZE];
    copy_text(old, equation->name);
    copy_text(equation->name, name);
    // References bearing the old name may resolve elsewhere now, and so may those bearing
    // the new one.
    if (is_referenced_name(old)) name_may_resolve_anew(old);
    if (is_referenced_name(equation->name)) name_may_resolve_anew(equation->name);
    if (indexed) index_live_slot(slot.palette, slot.index);
}

void mark_slot_live(EquationPalette *palette, int32_t index) {
    Equation *slot = get_equation_slot(palette, index, false);
    if (slot == nullptr || slot->inUse != 0) return;
    slot->inUse = 1;
    slot_made_anew(palette, index);
    index_live_slot(palette, index);
    if (is_referenced_name(slot->name)) name_may_resolve_anew(slot->name);
}

void release_equation_contents(Equation *equation) {
    if (defer_release_while_running(equation)) return;
    Variable *result = equation->variable;
    Parameter **parameters = equation->parameters;
    const int32_t numParameters = equation->numParameters;
    Subscriber **subscribers = equation->subscribers;
    const int32_t numSubscribers = equation->numSubscribers;
    detach_objects(equation);

    // Everything is detached first: the destructors below may call back into the library.
    for (int32_t position = 0; position < numSubscribers; ++position) {
        KVAS_Delete(subscribers[position]);
    }
    if (subscribers != nullptr) KVAMEM_Free(subscribers);
    for (int32_t position = 0; position < numParameters; ++position) {
        KVAP_Delete(parameters[position]);
    }
    if (parameters != nullptr) KVAMEM_Free(parameters);
    if (result != nullptr) KVAP_FreeVariable(result);
}

}  // namespace zteqm

extern "C" {

EquationPalette *KVAEP_NewEquationPalette(void *userData) {
    auto *block = zteqm::new_zeroed<PaletteBlock>();
    if (block == nullptr) return nullptr;
    EquationPalette *palette = &block->palette;
    block->extras = PaletteExtras{};
    if (!zteqm::grow_array(palette->slots, block->extras.allocated, kInitialSlots) ||
        !zteqm::grow_array(block->extras.incarnations, block->extras.incarnationCapacity,
                           kInitialSlots) ||
        !track_palette(palette)) {
        if (palette->slots != nullptr) KVAMEM_Free(palette->slots);
        if (block->extras.incarnations != nullptr) KVAMEM_Free(block->extras.incarnations);
        KVAMEM_Free(palette);
        return nullptr;
    }
    palette->capacity = kInitialSlots;
    zteqm::name_index_reserve(block->extras.names, kInitialSlots);
    palette->userData = userData;
    palette->numEquations = 0;
    palette->currentIndex = -1;
    return palette;
}

void KVAEP_DeleteEquationPalette(EquationPalette *palette) {
    if (palette == nullptr) return;
    // A palette deleted on its own would otherwise stay in the manager's list, released.
    zteqm::unlist_palette(palette);
    untrack_palette(palette);
    Equation *slots = palette->slots;
    const int32_t capacity = palette->capacity;
    zteqm::forget_references_into(slots, capacity);
    palette->slots = nullptr;
    palette->capacity = 0;
    palette->numEquations = 0;
    zteqm::name_index_release(extras_of(palette).names);
    if (extras_of(palette).incarnations != nullptr) KVAMEM_Free(extras_of(palette).incarnations);
    KVAMEM_Free(palette);

    // The palette is out of every list before any destructor runs: no callback can reach it.
    for (int32_t index = 0; index < capacity; ++index) {
        zteqm::release_equation_contents(&slots[index]);
    }
    if (slots != nullptr) KVAMEM_Free(slots);
    ZTEQM_CHECK_BETWEEN_CALLS();
}

void KVAEP_ClearPalette(EquationPalette *palette) {
    if (palette == nullptr) return;
    for (int32_t index = 0; index < palette->numEquations && index < palette->capacity; ++index) {
        palette->slots[index].inUse = 0;
    }
    palette->numEquations = 0;
    palette->currentIndex = -1;
    zteqm::name_index_clear(extras_of(palette).names);
    extras_of(palette).firstFreeHint = 0;
    zteqm::forget_references_into(palette->slots, palette->capacity);

    // Each slot is zeroed before what it held is released, and taken again by index after,
    // since a destructor may call back into the palette.
    uint32_t seen = palettes.deletions;
    for (int32_t index = 0; index < palette->capacity; ++index) {
        Equation leftovers = take_leftovers(&palette->slots[index]);
        zteqm::release_equation_contents(&leftovers);
        if (!zteqm::palette_alive(palette, &seen)) return;
    }
    ZTEQM_CHECK_BETWEEN_CALLS();
}

void *KVAEP_GetUserData(EquationPalette *palette) {
    return palette != nullptr ? palette->userData : nullptr;
}

void KVAEP_SetUserData(EquationPalette *palette, void *userData) {
    if (palette == nullptr) return;
    palette->userData = userData;
    zteqm::references_may_be_stale();  // the palettes names resolve in may have changed
}

int32_t KVAEP_GetNumEquations(EquationPalette *palette) {
    return palette != nullptr ? palette->numEquations : 0;
}

Equation *KVAEP_NewEquation(EquationPalette *palette, int32_t *index) {
    if (palette == nullptr || index == nullptr) return nullptr;
    if (*index == -1) *index = find_free_index(palette);
    Equation *made = zteqm::obtain_equation(palette, *index);
    ZTEQM_CHECK_BETWEEN_CALLS();
    return made;
}

Equation *KVAEP_GetEquation(EquationPalette *palette, int32_t index) {
    Equation *slot = zteqm::get_equation_slot(palette, index, false);
    return slot != nullptr && slot->inUse != 0 ? slot : nullptr;
}

Equation *KVAEP_GetFirstEquation(EquationPalette *palette) {
    return zteqm::first_live_equation(palette, 0, nullptr);
}

Equation *KVAEP_GetNextEquation(EquationPalette *palette, Equation *equation) {
    if (equation == nullptr || equation->index == INT32_MAX) return nullptr;
    return zteqm::first_live_equation(palette, equation->index + 1, nullptr);
}

Equation *KVAEP_FindEquationByName(EquationPalette *palette, const char *name) {
    if (name == nullptr) return nullptr;
    EquationPalette *walked = walked_palette(palette);
    if (walked == nullptr) return nullptr;
    const zteqm::NameIndex &names = extras_of(walked).names;
    if (!names.broken) {
        const int32_t index = zteqm::name_index_find(names, name, names_of(walked));
        return index >= 0 && index < walked->numEquations ? &walked->slots[index] : nullptr;
    }
    Equation *found = nullptr;
    walk_live(walked, 0, [&](int32_t, Equation *equation) {
        if (std::strcmp(equation->name, name) != 0) return true;
        found = equation;
        return false;
    });
    return found;
}

int32_t KVAEP_IterateEquations(void *userData, EquationIterateFunc callback, void *context) {
    if (callback == nullptr) return 0;
    EquationPalette *walked = zteqm::registered_palette(userData);
    if (walked == nullptr) return 0;
    walk_live(walked, 0, [&](int32_t, Equation *equation) {
        return callback(userData, equation, context) != 0;
    });
    return 1;
}

int32_t KVAEP_GetCurrentEquationIndex(EquationPalette *palette) {
    return palette != nullptr ? palette->currentIndex : -1;
}

void KVAEP_SetCurrentEquationIndex(EquationPalette *palette, int32_t index) {
    if (palette != nullptr) palette->currentIndex = index;
}

Equation *KVAEP_GetCurrentEquation(EquationPalette *palette) {
    return palette != nullptr ? KVAEP_GetEquation(palette, palette->currentIndex) : nullptr;
}

void KVAEP_SetCurrentEquation(EquationPalette *palette, Equation *equation) {
    if (palette != nullptr && equation != nullptr) palette->currentIndex = equation->index;
}

void KVAEP_SetLVariableTypeName(EquationPalette *palette, Equation *equation,
                                const char *typeName) {
    if (palette == nullptr || equation == nullptr || typeName == nullptr) return;
    const int32_t typeId = KVAP_IDOfName(typeName);
    // A literal or a reference is laid out differently from a variable: relabelling the result
    // variable as one would make every later access misread it.
    if (typeId == zteqm::kLiteralTypeId || typeId == zteqm::kEquationTypeId) return;
    Variable *result = KVAEQ_GetVariable(equation);
    if (result == nullptr || KVAP_GetVariableType(result) == typeId) return;
    KVAP_SetVariableTypeName(result, typeName);
    KVAP_SetVariableType(result, typeId);
    KVAEP_ReinitializeSubscriberList(palette, equation);
}

void KVAEP_DeleteEquation(EquationPalette *palette, Equation *equation) {
    zteqm::delete_equation(palette, equation);
    ZTEQM_CHECK_BETWEEN_CALLS();
}

void KVAEP_ReinitializeSubscriberList(EquationPalette *palette, Equation *equation) {
    if (palette == nullptr || equation == nullptr) return;
    const int32_t types = KVAS_GetNumTypes();
    // A destructor or an interest callback may make equations and so move the slots: an
    // equation that lives in a palette is taken again by its index after each one.
    zteqm::SlotRef slot;
    const bool inPalette = zteqm::locate_equation(equation, &slot);
    uint32_t seenPalette = zteqm::palette_deletions();
    uint32_t seenSlot = seenPalette;
    KVAEQ_UnregisterAllSubscribers(equation);
    for (int32_t type = 0; type < types; ++type) {
        if (!zteqm::palette_alive(palette, &seenPalette)) return;
        if (inPalette && (equation = zteqm::slot_after_callback(slot, &seenSlot)) == nullptr)
            return;
        KVAS_IsInterested(type, equation, palette->userData);
    }
}

}  // extern "C"
