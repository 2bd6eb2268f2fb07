/* Equations: one operator applied to an ordered list of parameters, writing a result
   variable, run on a named trigger and followed by its subscribers. */
#ifndef ZTEQUATIONMANAGER_EQUATION_H
#define ZTEQUATIONMANAGER_EQUATION_H

#include "parameter.h"
#include "subscriber.h"
#include "types.h"

ZTEQM_BEGIN_DECLS

/* Stored by value in its palette's slot array; a handle is the slot's address, valid until
   the slot array grows. */
struct Equation {
    int32_t inUse; /* 1 live, 0 free slot */
    int32_t index; /* the slot's position */
    char name[ZTEQM_NAME_SIZE];
    char operatorName[ZTEQM_NAME_SIZE];
    int32_t operatorId; /* 0 = no operator */
    char triggerName[ZTEQM_NAME_SIZE];
    int32_t triggerId;
    Variable *variable;     /* result variable, made on first request */
    Parameter **parameters; /* numParameters entries, or null */
    int32_t numParameters;
    int32_t currentParameterIndex; /* cursor kept for the host */
    Subscriber **subscribers;      /* growable array */
    int32_t numSubscribers;
    int32_t subscriberCapacity;
    int32_t reservedIndex; /* -1 after set-up or copy */
};

/* All functions ignore a null equation (getters answer null, 0, or -1 for the index). */

ZTEQM_API const char *KVAEQ_GetName(Equation *equation);
/* Copies the name, cut to 79 characters; null name refused. */
ZTEQM_API void KVAEQ_SetName(Equation *equation, const char *name);
ZTEQM_API int32_t KVAEQ_GetIndex(Equation *equation);
ZTEQM_API const char *KVAEQ_GetOperatorName(Equation *equation);
/* Copies the name (cut to 79 characters) and looks its identifier up; null name refused. */
ZTEQM_API void KVAEQ_SetOperatorName(Equation *equation, const char *name);
ZTEQM_API int32_t KVAEQ_GetOperatorID(Equation *equation);
/* Sets the identifier only; the operator name keeps its text. */
ZTEQM_API void KVAEQ_SetOperatorID(Equation *equation, int32_t operatorId);
ZTEQM_API const char *KVAEQ_GetTriggerName(Equation *equation);
/* Copies the name (cut to 79 characters) and looks its identifier up; null name refused. */
ZTEQM_API void KVAEQ_SetTriggerName(Equation *equation, const char *name);
/* Returns the result variable, making it on first use; null when it cannot be made. */
ZTEQM_API Variable *KVAEQ_GetVariable(Equation *equation);
ZTEQM_API int32_t KVAEQ_GetNumParameters(Equation *equation);
/* The parameter array itself (not a copy), or null. */
ZTEQM_API Parameter **KVAEQ_GetParameterList(Equation *equation);
/* Resizes the list: kept entries stay, surplus ones are deleted, new ones are literals (null
   when one cannot be made). A negative count, or no memory for the list, changes nothing. */
ZTEQM_API void KVAEQ_SetNumParameters(Equation *equation, int32_t count);
/* Returns the parameter at the position, or null outside 0 to count - 1. */
ZTEQM_API Parameter *KVAEQ_GetParameterN(Equation *equation, int32_t position);
/* Stores the parameter at a valid position; the previous one is not released. */
ZTEQM_API void KVAEQ_SetParameterN(Equation *equation, int32_t position, Parameter *parameter);
/* Stores a new parameter of the type at a valid position and makes it current; null outside. */
ZTEQM_API Parameter *KVAEQ_NewParameterN(Equation *equation, int32_t position, int32_t typeId);
ZTEQM_API int32_t KVAEQ_GetCurrentParameterIndex(Equation *equation);
ZTEQM_API void KVAEQ_SetCurrentParameterIndex(Equation *equation, int32_t position);
ZTEQM_API Parameter *KVAEQ_GetCurrentParameter(Equation *equation);
ZTEQM_API int32_t KVAEQ_GetNumSubscribers(Equation *equation);
ZTEQM_API Subscriber **KVAEQ_GetSubscriberList(Equation *equation);
/* Returns the subscriber at the position, or null outside 0 to count - 1. */
ZTEQM_API Subscriber *KVAEQ_GetSubscriberN(Equation *equation, int32_t position);
/* Appends a new subscriber and returns its position; 0 for a null equation, -1 when the
   subscriber cannot be made. */
ZTEQM_API int32_t KVAEQ_RegisterSubscriber(Equation *equation, int32_t subscriberTypeId,
                                           SubscriberNotifyFunc notifyFunc, void *userData);
/* Deletes every subscriber (destructors run) and empties the list. */
ZTEQM_API void KVAEQ_UnregisterAllSubscribers(Equation *equation);

ZTEQM_END_DECLS

#endif
