/* Manager: start and stop, the palette registry, trigger-driven evaluation, application
   variables and value access by name. */
#ifndef ZTEQUATIONMANAGER_MANAGER_H
#define ZTEQUATIONMANAGER_MANAGER_H

#include "memory.h"
#include "palette.h"
#include "types.h"

ZTEQM_BEGIN_DECLS

typedef struct AppVariableRecord {
    char name[ZTEQM_LONG_NAME_SIZE];    /* at most 1023 characters */
    char dataTypeName[ZTEQM_NAME_SIZE]; /* stored, never interpreted */
    void *address;                      /* stored, never read through */
} AppVariableRecord;

/* Starts the library once per process; later calls do nothing. */
ZTEQM_API void KVAEQM_Init(MemoryAllocFunc allocFunc, MemoryFreeFunc freeFunc, void *hostContext);
/* Stops the library (final for the process); harmless without Init and when repeated. */
ZTEQM_API void KVAEQM_Exit(void);

/* Makes a palette and registers it; null when memory cannot be had. */
ZTEQM_API EquationPalette *KVAEQM_NewEquationPalette(void *userData);
/* Deletes and unregisters the first palette registered under userData. */
ZTEQM_API void KVAEQM_DeleteEquationPalette(void *userData);
/* The first palette registered under userData; null for null user data. */
ZTEQM_API EquationPalette *KVAEQM_GetEquationPalette(void *userData);
/* The first palette registered under userData, null user data compared like any other. */
ZTEQM_API EquationPalette *GetEquationPaletteFromUserData(void *userData);
ZTEQM_API int32_t KVAEQM_GetNumPalettes(void);
/* The lowest-index equation of that name in the earliest palette that has one, or null. */
ZTEQM_API Equation *KVAEQM_FindEquationByName(const char *name);
/* Evaluates the trigger of that identifier; nothing for an unknown identifier. */
ZTEQM_API void KVAEQM_Evaluate(int32_t triggerId);
/* Runs every equation whose trigger name matches, palettes in registration order. */
ZTEQM_API void KVAEQM_EvaluateTriggerName(const char *triggerName);
/* Rebuilds the subscriber list of every live equation of every palette. */
ZTEQM_API void KVAEQM_RefreshAllSubscribers(void);

/* Appends an application variable; null name or type name refused. */
ZTEQM_API void KVAEQM_RegisterAppVariable(const char *name, const char *dataTypeName,
                                          void *address);
ZTEQM_API int32_t KVAEQM_GetNumAppVariables(void);
/* Stores the record's fields through the out-pointers; nulls outside 0 to count - 1. */
ZTEQM_API void KVAEQM_GetAppVariableN(const char **outName, const char **outDataTypeName,
                                      void **outAddress, int32_t index);
/* Stores the first record of that name's fields; nulls when none. */
ZTEQM_API void KVAEQM_GetAppVariableByName(const char *name, const char **outDataTypeName,
                                           void **outAddress);

/* Value access by name: database is a palette's user data, or null for every palette. */
ZTEQM_API int32_t KVAEQM_GetValueInt(void *database, const char *name);
ZTEQM_API double KVAEQM_GetValueDouble(void *database, const char *name);
ZTEQM_API void *KVAEQM_GetValueArray(void *database, const char *name);
ZTEQM_API void KVAEQM_SetValueInt(void *database, const char *name, int32_t integer);
ZTEQM_API void KVAEQM_SetValueDouble(void *database, const char *name, double number);
ZTEQM_API void KVAEQM_SetValueArray(void *database, const char *name, void *address);
/* The first match's bound address in that database only; null for literals and references. */
ZTEQM_API void *KVAEQM_GetAddress(void *database, const char *name);
/* Binds every variable of that name in that database only (null unbinds). */
ZTEQM_API void KVAEQM_SetAddress(void *database, const char *name, void *address);

ZTEQM_END_DECLS

#endif
