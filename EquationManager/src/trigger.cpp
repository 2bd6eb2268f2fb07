// Triggers: the table of named trigger points with their enabled flags.
// Invariant: the five built-in triggers hold identifiers 0 to 4; identifiers never move.
#include "ztequationmanager/trigger.h"

#include "internal/registry.h"

namespace {

zteqm::Table<TriggerRecord> triggers;

constexpr int32_t kInitialCapacity = 10;

constexpr const char *kBuiltInTriggers[] = {"No Trigger", "New Frame", "Application",
                                            "Initialization", "New Transform"};

}  // namespace

extern "C" {

void KVAT_Init(void) {
    if (!triggers.create(kInitialCapacity)) return;
    for (const char *name : kBuiltInTriggers) KVAT_RegisterTrigger(name);
}

void KVAT_Exit(void) { triggers.release(); }

TriggerRecord *KVAT_RegisterTrigger(const char *name) {
    if (name == nullptr) return nullptr;
    const int32_t id = triggers.count;
    // The table grows one slot at a time beyond its first ten.
    if (!triggers.make_room(id, id + 1)) return nullptr;
    triggers.count = id + 1;
    TriggerRecord &record = triggers.records[id];
    record.triggerId = id;
    record.disabled = 0;
    zteqm::copy_text(record.name, name);
    return &record;
}

void KVAT_UnregisterTrigger(int32_t triggerId) { triggers.clear(triggerId); }

TriggerRecord *KVAT_GetTrigger(int32_t triggerId) { return triggers.at(triggerId); }

int32_t KVAT_GetNumTypes(void) { return triggers.count; }

const char *KVAT_NameOfID(int32_t triggerId) {
    const TriggerRecord *record = triggers.at(triggerId);
    return record != nullptr ? record->name : nullptr;
}

int32_t KVAT_IDOfName(const char *name) {
    // Position 0 is never compared: 0 is the answer for a name that matches nothing.
    const int32_t id = triggers.find(name, 1);
    return id < 0 ? 0 : id;
}

void KVAT_EnableByID(int32_t triggerId, int32_t enable) {
    if (TriggerRecord *record = triggers.at(triggerId)) record->disabled = enable == 0 ? 1 : 0;
}

void KVAT_EnableByName(const char *name, int32_t enable) {
    KVAT_EnableByID(KVAT_IDOfName(name), enable);
}

int32_t KVAT_IsEnabledByID(int32_t triggerId) {
    const TriggerRecord *record = triggers.at(triggerId);
    return record != nullptr && record->disabled == 0 ? 1 : 0;
}

int32_t KVAT_IsEnabledByName(const char *name) { return KVAT_IsEnabledByID(KVAT_IDOfName(name)); }

}  // extern "C"
