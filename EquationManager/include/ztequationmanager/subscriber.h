/* Subscribers: host objects told of every new result of the equations they watch. */
#ifndef ZTEQUATIONMANAGER_SUBSCRIBER_H
#define ZTEQUATIONMANAGER_SUBSCRIBER_H

#include "types.h"

ZTEQM_BEGIN_DECLS

/* Told of an equation's new result; its result is not used. */
typedef void (*SubscriberNotifyFunc)(Variable *result, void *userData);
/* Asked whether the type wants to subscribe to the equation (it calls
   KVAEQ_RegisterSubscriber if so). */
typedef void (*SubscriberInterestFunc)(Equation *equation, void *paletteUserData);
/* Releases the host data of a subscriber. */
typedef void (*SubscriberDestructorFunc)(void *userData);

typedef struct SubscriberTypeRecord {
    int32_t typeId;             /* position in the table; 0 in a cleared slot */
    char name[ZTEQM_NAME_SIZE]; /* NUL-terminated, at most 79 characters */
    SubscriberDestructorFunc destructorFunc;
    SubscriberNotifyFunc notifyFunc;
    SubscriberInterestFunc interestFunc;
} SubscriberTypeRecord;

struct Subscriber {
    int32_t typeId;                  /* its subscriber type */
    char typeName[ZTEQM_NAME_SIZE];  /* the type's name when it was made */
    SubscriberNotifyFunc notifyFunc; /* its own callback, or null for the type's */
    void *userData;                  /* host value passed to the callbacks */
};

/* Creates the empty table (capacity 10); nothing when it exists. */
ZTEQM_API void KVAS_Init(void);
/* Releases the table; existing subscribers are not touched. */
ZTEQM_API void KVAS_Exit(void);
/* Appends a type and returns its identifier; -1 for a null name or a table that cannot grow. */
ZTEQM_API int32_t KVAS_RegisterSubscriberType(const char *name,
                                              SubscriberDestructorFunc destructorFunc,
                                              SubscriberNotifyFunc notifyFunc,
                                              SubscriberInterestFunc interestFunc);
/* Clears a valid slot in place; the count is unchanged. */
ZTEQM_API void KVAS_UnregisterSubscriberType(int32_t typeId);
/* Returns the number of slots, cleared ones included. */
ZTEQM_API int32_t KVAS_GetNumTypes(void);
/* The type's callbacks; null outside 0 to count - 1. */
ZTEQM_API SubscriberDestructorFunc KVAS_GetSubscriberTypeDestructorFunc(int32_t typeId);
ZTEQM_API SubscriberNotifyFunc KVAS_GetSubscriberTypeNotifyFunc(int32_t typeId);
ZTEQM_API SubscriberInterestFunc KVAS_GetSubscriberTypeInterestFunc(int32_t typeId);
/* Returns the first identifier whose name matches exactly; -1 for none or null. */
ZTEQM_API int32_t KVAS_IDOfName(const char *name);
/* Returns the type's name, or null outside 0 to count - 1. */
ZTEQM_API const char *KVAS_NameOfID(int32_t typeId);
/* Makes a subscriber of the type; null when memory cannot be had. */
ZTEQM_API Subscriber *KVAS_New(int32_t typeId, SubscriberNotifyFunc notifyFunc, void *userData);
/* Calls the type's destructor with the user data, then releases the subscriber. */
ZTEQM_API void KVAS_Delete(Subscriber *subscriber);
/* Calls the subscriber's notify callback, or its type's, with the result and user data. */
ZTEQM_API void KVAS_Notify(Subscriber *subscriber, Variable *result);
/* Calls the type's interest callback with the equation and the palette's user data. */
ZTEQM_API void KVAS_IsInterested(int32_t typeId, Equation *equation, void *paletteUserData);
/* Returns the subscriber's type identifier; 0 for null. */
ZTEQM_API int32_t KVAS_GetTypeID(Subscriber *subscriber);

ZTEQM_END_DECLS

#endif
