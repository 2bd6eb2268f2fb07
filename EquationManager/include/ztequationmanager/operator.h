/* Operators: the computations equations apply, and their registry. */
#ifndef ZTEQUATIONMANAGER_OPERATOR_H
#define ZTEQUATIONMANAGER_OPERATOR_H

#include "parameter.h"
#include "types.h"

ZTEQM_BEGIN_DECLS

/* Reads the parameters, writes the result variable; returns 1 when it ran, 0 when a needed
   parameter was null (nothing written). */
typedef int32_t (*OperatorFunc)(Variable *result, int32_t numParameters, Parameter **parameters);

typedef struct OperatorRecord {
    char name[ZTEQM_NAME_SIZE]; /* NUL-terminated, at most 79 characters */
    int32_t numParameters;      /* parameters the operator reads */
    OperatorFunc func;          /* null in slot 0 and in cleared slots */
} OperatorRecord;

/* Creates the table with the 61 built-in operators; nothing when it has storage. */
ZTEQM_API void KVAOP_Init(void);
/* Releases the table; nothing when there is none. */
ZTEQM_API void KVAOP_Exit(void);
/* Appends an operator at identifier count (the name cut to 79 characters); returns its record,
   or null when the name is null or the table has no storage or cannot grow. */
ZTEQM_API OperatorRecord *KVAOP_RegisterOperator(int32_t numParameters, const char *name,
                                                 OperatorFunc func);
/* Clears the slot in place; out of range: nothing. */
ZTEQM_API void KVAOP_UnregisterOperator(int32_t operatorId);
/* Returns the record, or null outside 0 to count - 1. */
ZTEQM_API OperatorRecord *KVAOP_GetOperator(int32_t operatorId);
/* Returns the count, reserved slot 0 and cleared slots included. */
ZTEQM_API int32_t KVAOP_GetNumTypes(void);
/* Returns the operator's name, or null outside 0 to count - 1. */
ZTEQM_API const char *KVAOP_NameOfID(int32_t operatorId);
/* Returns the operator's function, or null. */
ZTEQM_API OperatorFunc KVAOP_GetFunc(int32_t operatorId);
/* Returns the lowest identifier from 1 up whose name matches exactly; 0 for none or null. */
ZTEQM_API int32_t KVAOP_IDOfName(const char *name);
/* Returns the operator's parameter count; 0 outside the table. */
ZTEQM_API int32_t KVAOP_GetNumParameters(int32_t operatorId);

ZTEQM_END_DECLS

#endif
