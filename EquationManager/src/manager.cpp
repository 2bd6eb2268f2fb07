// Manager: the library's lifecycle, the palette registry and the trigger-driven evaluation.
// Invariant: the list holds numPalettes registered palettes in registration order, within its
// capacity; the library starts once per process, on the first KVAEQM_Init.
#include "ztequationmanager/manager.h"

#include <cstring>

#include "internal/app_variables.h"
#include "internal/equation_reference.h"
#include "internal/evaluation.h"
#include "internal/invariants.h"
#include "internal/manager.h"
#include "internal/manager_lookup.h"
#include "internal/memory.h"
#include "internal/palette.h"
#include "internal/reference_index.h"
#include "internal/text.h"
#include "ztequationmanager/operator.h"
#include "ztequationmanager/parameter.h"
#include "ztequationmanager/subscriber.h"
#include "ztequationmanager/trigger.h"
#include "ztequationmanager/value.h"

namespace {

// First capacity of the list of registered palettes.
constexpr int32_t kInitialPaletteCapacity = 10;

struct ManagerState {
    int32_t initPending = 1;  // cleared by the first KVAEQM_Init, for good
    void *hostContext = nullptr;
    EquationPalette **palettes = nullptr;
    int32_t numPalettes = 0;
    int32_t paletteCapacity = 0;
};

ManagerState manager;

bool append_palette(EquationPalette *palette) {
    const int32_t count = manager.numPalettes;
    if (count + 1 >= manager.paletteCapacity &&
        !zteqm::grow_array(manager.palettes, manager.paletteCapacity, count + 1)) {
        return false;
    }
    manager.palettes[count] = palette;
    manager.numPalettes = count + 1;
    zteqm::references_may_be_stale();  // the palettes names resolve in have changed
    return true;
}

// A trigger name laid out for comparison with an equation's fixed trigger-name field eight
// bytes at a time: the words up to the one holding the terminator, the bytes after the
// terminator masked off. The same answer as a byte comparison up to the terminator, without a
// call per equation; every word read lies inside the field.
struct TriggerPattern {
    static constexpr int32_t kWords = ZTEQM_NAME_SIZE / 8;
    uint64_t words[kWords];
    uint64_t masks[kWords];  // all ones up to the terminator's word, its bytes there, then 0
    int32_t last;            // index of the word that holds the terminator

    // False for a name too long for the field, which no equation's trigger name can equal.
    bool set(const char *name) {
        const size_t length = strnlen(name, ZTEQM_NAME_SIZE);
        if (length == ZTEQM_NAME_SIZE) return false;
        unsigned char bytes[ZTEQM_NAME_SIZE] = {};
        unsigned char mask[ZTEQM_NAME_SIZE] = {};
        std::memcpy(bytes, name, length);
        std::memset(mask, 0xff, length + 1);
        std::memcpy(words, bytes, sizeof words);
        std::memcpy(masks, mask, sizeof masks);
        last = static_cast<int32_t>(length / 8);
        return true;
    }

    // Names of up to 15 characters are settled by the first two words.
    bool matches(const char (&field)[ZTEQM_NAME_SIZE]) const {
        static_assert(ZTEQM_NAME_SIZE % 8 == 0 && ZTEQM_NAME_SIZE >= 16);
        uint64_t first, second;
        std::memcpy(&first, field, sizeof first);
        std::memcpy(&second, field + 8, sizeof second);
        if ((((first ^ words[0]) & masks[0]) | ((second ^ words[1]) & masks[1])) != 0) {
            return false;
        }
        for (int32_t at = 2; at <= last; ++at) {
            uint64_t word;
            std::memcpy(&word, field + at * 8, sizeof word);
            if (((word ^ words[at]) & masks[at]) != 0) return false;
        }
        return true;
    }
};

// Runs every live equation of the palette whose trigger name is the trigger's, by ascending
// index. The extent is read again at every step and the slot taken again by index, since an
// operator or a subscriber may make equations (moving the slots) or delete the palette.
// Out of line, the trigger is read from memory at each comparison: the step's calls make
// keeping it in registers cost more than reading it.
[[gnu::noinline]] void evaluate_palette(EquationPalette *palette, const TriggerPattern &trigger) {
    uint32_t seen = zteqm::palette_deletions();
    for (int32_t index = 0;; ++index) {
        if (!zteqm::palette_alive(palette, &seen)) return;
        if (index >= palette->numEquations || index >= palette->capacity) return;
        const Equation &equation = palette->slots[index];
        if (equation.inUse != 0 && trigger.matches(equation.triggerName)) {
            zteqm::run_triggered_equation({palette, index});
        }
    }
}

}  // namespace

namespace zteqm {

void unlist_palette(const EquationPalette *palette) {
    int32_t kept = 0;
    for (int32_t position = 0; position < manager.numPalettes; ++position) {
        if (manager.palettes[position] != palette) {
            manager.palettes[kept++] = manager.palettes[position];
        }
    }
    manager.numPalettes = kept;
    references_may_be_stale();
}

EquationPalette *registered_palette(void *userData) {
    return userData != nullptr ? GetEquationPaletteFromUserData(userData) : nullptr;
}

Equation *find_registered_equation(const char *name) {
    if (name == nullptr) return nullptr;
    for (int32_t position = 0; position < manager.numPalettes; ++position) {
        EquationPalette *palette = manager.palettes[position];
        if (palette == nullptr) continue;
        if (Equation *found = KVAEP_FindEquationByName(palette, name)) return found;
    }
    return nullptr;
}

EquationPalette *listed_palette(int32_t position) {
    return position >= 0 && position < manager.numPalettes ? manager.palettes[position] : nullptr;
}

}  // namespace zteqm

extern "C" {

void KVAEQM_Init(MemoryAllocFunc allocFunc, MemoryFreeFunc freeFunc, void *hostContext) {
    if (manager.initPending == 0) return;
    KVAMEM_Init(allocFunc, freeFunc);
    manager.hostContext = hostContext;
    manager.palettes = static_cast<EquationPalette **>(
        _KVAMEM_Alloc(kInitialPaletteCapacity * sizeof(EquationPalette *), nullptr, 0));
    manager.numPalettes = 0;
    manager.paletteCapacity = manager.palettes != nullptr ? kInitialPaletteCapacity : 0;

    KVAT_Init();
    KVAP_Init();
    KVAV_Init();
    KVAS_Init();
    KVAOP_Init();

    manager.initPending = 0;
}

void KVAEQM_Exit(void) {
    if (manager.palettes != nullptr) {
        // Only the list is released: palettes still registered stay allocated.
        KVAMEM_Free(manager.palettes);
        manager.palettes = nullptr;
        manager.numPalettes = 0;
        manager.paletteCapacity = 0;
    }
    KVAOP_Exit();
    KVAS_Exit();
    KVAV_Exit();
    KVAP_Exit();
    KVAT_Exit();
    // The library never starts twice, so the application variables go with the rest.
    zteqm::release_app_variables();
    zteqm::release_referenced_names();
    zteqm::release_reference_index();
    KVAMEM_Exit();
}

EquationPalette *KVAEQM_NewEquationPalette(void *userData) {
    EquationPalette *palette = KVAEP_NewEquationPalette(userData);
    if (palette != nullptr && !append_palette(palette)) {
        KVAEP_DeleteEquationPalette(palette);
        return nullptr;
    }
    return palette;
}

void KVAEQM_DeleteEquationPalette(void *userData) {
    // Deleting takes the palette off the list too, closing the gap in order.
    if (EquationPalette *palette = KVAEQM_GetEquationPalette(userData)) {
        KVAEP_DeleteEquationPalette(palette);
    }
    ZTEQM_CHECK_BETWEEN_CALLS();
}

EquationPalette *KVAEQM_GetEquationPalette(void *userData) {
    return zteqm::registered_palette(userData);
}

EquationPalette *GetEquationPaletteFromUserData(void *userData) {
    for (int32_t position = 0; position < manager.numPalettes; ++position) {
        EquationPalette *palette = manager.palettes[position];
        if (palette != nullptr && palette->userData == userData) return palette;
    }
    return nullptr;
}

int32_t KVAEQM_GetNumPalettes(void) { return manager.numPalettes; }

Equation *KVAEQM_FindEquationByName(const char *name) {
    return zteqm::find_registered_equation(name);
}

void KVAEQM_Evaluate(int32_t triggerId) {
    if (const char *name = KVAT_NameOfID(triggerId)) KVAEQM_EvaluateTriggerName(name);
}

void KVAEQM_EvaluateTriggerName(const char *triggerName) {
    if (triggerName == nullptr) return;
    // A name longer than the field matches no equation; a shorter one is copied, because a
    // callback that registers triggers may move the table the name came from.
    TriggerPattern trigger;
    if (!trigger.set(triggerName)) return;

    for (int32_t position = 0; position < manager.numPalettes; ++position) {
        EquationPalette *listed = manager.palettes[position];
        if (listed == nullptr) continue;
        if (EquationPalette *walked = KVAEQM_GetEquationPalette(listed->userData)) {
            evaluate_palette(walked, trigger);
        }
    }
    ZTEQM_CHECK_BETWEEN_CALLS();
}

void KVAEQM_RefreshAllSubscribers(void) {
    for (int32_t position = 0; position < manager.numPalettes; ++position) {
        EquationPalette *listed = manager.palettes[position];
        if (listed == nullptr) continue;
        // Walked by index: interest callbacks may make equations (moving the slots) or delete
        // palettes.
        uint32_t seen = zteqm::palette_deletions();
        int32_t index = 0;
        while (Equation *equation = zteqm::first_live_equation(listed, index, &index)) {
            KVAEP_ReinitializeSubscriberList(listed, equation);
            if (!zteqm::palette_alive(listed, &seen) || index == INT32_MAX) break;
            ++index;
        }
    }
}

}  // extern "C"
