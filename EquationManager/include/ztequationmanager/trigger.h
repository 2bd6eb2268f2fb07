/* Triggers: named points of the host's life at which equations are evaluated. */
#ifndef ZTEQUATIONMANAGER_TRIGGER_H
#define ZTEQUATIONMANAGER_TRIGGER_H

#include "types.h"

ZTEQM_BEGIN_DECLS

typedef struct TriggerRecord {
    int32_t triggerId;          /* position in the table; 0 in a cleared slot */
    char name[ZTEQM_NAME_SIZE]; /* NUL-terminated, at most 79 characters */
    int32_t disabled;           /* 0 enabled, 1 disabled */
} TriggerRecord;

/* Creates the table with the five built-in triggers; nothing when it exists. */
ZTEQM_API void KVAT_Init(void);
/* Releases the table; nothing when there is none. */
ZTEQM_API void KVAT_Exit(void);
/* Appends an enabled trigger at identifier count; returns its record, or null when the name
   is null or the table cannot grow. */
ZTEQM_API TriggerRecord *KVAT_RegisterTrigger(const char *name);
/* Clears the slot in place (identifier 0, empty name, enabled); out of range: nothing. */
ZTEQM_API void KVAT_UnregisterTrigger(int32_t triggerId);
/* Returns the record of the identifier, or null outside 0 to count - 1. */
ZTEQM_API TriggerRecord *KVAT_GetTrigger(int32_t triggerId);
/* Returns the number of slots, cleared ones included. */
ZTEQM_API int32_t KVAT_GetNumTypes(void);
/* Returns the trigger's name, or null outside 0 to count - 1. */
ZTEQM_API const char *KVAT_NameOfID(int32_t triggerId);
/* Returns the lowest identifier from 1 up whose name matches exactly; 0 for none or null. */
ZTEQM_API int32_t KVAT_IDOfName(const char *name);
/* Enables (enable non-zero) or disables (enable 0) a valid trigger. */
ZTEQM_API void KVAT_EnableByID(int32_t triggerId, int32_t enable);
/* KVAT_EnableByID on KVAT_IDOfName(name): an unknown name acts on trigger 0. */
ZTEQM_API void KVAT_EnableByName(const char *name, int32_t enable);
/* Returns 1 for a valid enabled trigger, else 0. */
ZTEQM_API int32_t KVAT_IsEnabledByID(int32_t triggerId);
/* KVAT_IsEnabledByID on KVAT_IDOfName(name). */
ZTEQM_API int32_t KVAT_IsEnabledByName(const char *name);

ZTEQM_END_DECLS

#endif
