/* Values: the typed cell that holds every datum, and the registry of value types. */
#ifndef ZTEQUATIONMANAGER_VALUE_H
#define ZTEQUATIONMANAGER_VALUE_H

#include "types.h"

ZTEQM_BEGIN_DECLS

/* The 8 bytes of a value: the datum itself, inline, or the address of its storage block. */
typedef union ValueData {
    int8_t c;
    int16_t s;
    int32_t i;
    float f;
    double d;
    void *p;
    uint64_t bits;
    unsigned char bytes[8];
} ValueData;

struct Value {
    int32_t typeId;                 /* value type identifier; 0 = no type */
    char typeName[ZTEQM_NAME_SIZE]; /* copy of the type's name */
    int32_t size;                   /* size of the storage block; 0 when there is none */
    ValueData data;                 /* inline datum or block address */
};

/* Identifiers of the nine built-in value types. Numbers ("char" to "double") are held inline;
   "address" holds a host address inline; "float4", "float4x4" and "string" keep their data in a
   separate block. */
#define ZTEQM_VALUE_NONE 0
#define ZTEQM_VALUE_CHAR 1
#define ZTEQM_VALUE_SHORT 2
#define ZTEQM_VALUE_INT 3
#define ZTEQM_VALUE_FLOAT 4
#define ZTEQM_VALUE_DOUBLE 5
#define ZTEQM_VALUE_ADDRESS 6
#define ZTEQM_VALUE_FLOAT4 7
#define ZTEQM_VALUE_FLOAT4X4 8
#define ZTEQM_VALUE_STRING 9

typedef int32_t (*ValueGetIntegerFunc)(Value *value);
typedef void (*ValueSetIntegerFunc)(Value *value, int32_t integer);
typedef double (*ValueGetDoubleFunc)(Value *value);
typedef void (*ValueSetDoubleFunc)(Value *value, double number);
typedef void *(*ValueGetAddressFunc)(Value *value);
typedef void (*ValueSetAddressFunc)(Value *value, void *address);
/* Writes the value's text into buffer, terminator included, within size bytes. */
typedef void (*ValueToStringFunc)(Value *value, char *buffer, int32_t size);
typedef void (*ValueFromStringFunc)(Value *value, const char *text);

typedef struct ValueTypeRecord {
    int32_t typeId;             /* equal to the slot's index; 0 in an empty slot */
    char name[ZTEQM_NAME_SIZE]; /* NUL-terminated, at most 79 characters */
    ValueGetIntegerFunc getIntegerFunc;
    ValueSetIntegerFunc setIntegerFunc;
    ValueGetDoubleFunc getDoubleFunc;
    ValueSetDoubleFunc setDoubleFunc;
    ValueGetAddressFunc getAddressFunc;
    ValueSetAddressFunc setAddressFunc;
    ValueToStringFunc toStringFunc;
    ValueFromStringFunc fromStringFunc;
} ValueTypeRecord;

/* Creates the table (capacity 64) with the nine built-in types; nothing when it exists. */
ZTEQM_API void KVAV_Init(void);
/* Releases the table; values and their blocks are not touched. */
ZTEQM_API void KVAV_Exit(void);
/* Fills the slot typeId (growing the table) and returns it; null for a negative identifier,
   a null name, a table that cannot grow, or before KVAV_Init (there is no table then). */
ZTEQM_API ValueTypeRecord *KVAV_RegisterValueType(
    int32_t typeId, const char *name, ValueGetIntegerFunc getIntegerFunc,
    ValueSetIntegerFunc setIntegerFunc, ValueGetDoubleFunc getDoubleFunc,
    ValueSetDoubleFunc setDoubleFunc, ValueGetAddressFunc getAddressFunc,
    ValueSetAddressFunc setAddressFunc, ValueToStringFunc toStringFunc,
    ValueFromStringFunc fromStringFunc);
/* Clears a valid slot in place; the count is unchanged. */
ZTEQM_API void KVAV_UnregisterValueType(int32_t typeId);
/* Returns the slot of typeId, or null outside 0 to count - 1. */
ZTEQM_API ValueTypeRecord *KVAV_GetValueFactory(int32_t typeId);
/* Returns one more than the highest registered identifier. */
ZTEQM_API int32_t KVAV_GetNumTypes(void);
/* Returns the first identifier whose name matches exactly; 0 for none or null. */
ZTEQM_API int32_t KVAV_IDOfName(const char *name);
/* Returns the slot's name, or null outside 0 to count - 1. */
ZTEQM_API const char *KVAV_NameOfID(int32_t typeId);

/* The value functions below accept a null value and then do nothing or answer 0/0.0/null. */

/* Returns the value's type identifier. */
ZTEQM_API int32_t KVAV_GetTypeID(Value *value);
/* Changes the value's type, releasing and preparing storage; an unknown identifier or the
   current one changes nothing. */
ZTEQM_API void KVAV_SetTypeID(Value *value, int32_t typeId);
/* Returns the value's type name (owned by the value). */
ZTEQM_API const char *KVAV_GetTypeName(Value *value);
/* Changes the type to KVAV_IDOfName(name): an unknown name selects type 0. */
ZTEQM_API void KVAV_SetTypeName(Value *value, const char *name);
/* Returns the size of the value's storage block. */
ZTEQM_API int32_t KVAV_GetSize(Value *value);
/* Replaces the storage block by an uninitialised one of `size` bytes. Refused (nothing
   changed) for a negative size and for the inline types 1 to 6, whose data is never a block.
   On allocation failure the value has no block and size 0. */
ZTEQM_API void KVAV_SetSize(Value *value, int32_t size);
/* Returns the value as an integer through its type; 0 without a callback. */
ZTEQM_API int32_t KVAV_GetInteger(Value *value);
/* Stores an integer through the value's type. */
ZTEQM_API void KVAV_SetInteger(Value *value, int32_t integer);
/* Returns the value as a double through its type; 0.0 without a callback. */
ZTEQM_API double KVAV_GetDouble(Value *value);
/* Stores a double through the value's type. */
ZTEQM_API void KVAV_SetDouble(Value *value, double number);
/* Returns the value as an address through its type; null without a callback. */
ZTEQM_API void *KVAV_GetAddress(Value *value);
/* Stores an address through the value's type. */
ZTEQM_API void KVAV_SetAddress(Value *value, void *address);
/* Formats the value into buffer (size bytes, terminator included); a null buffer or a
   non-positive size is refused and the buffer is left untouched. */
ZTEQM_API void KVAV_ToString(Value *value, char *buffer, int32_t size);
/* Parses text into the value through its type; null text is refused. */
ZTEQM_API void KVAV_FromString(Value *value, const char *text);
/* Copies the datum at address into the value's data by its type (1, 2, 4, 4 or 8 bytes for
   char, short, int, float, double; nothing otherwise). Null value or address: nothing. */
ZTEQM_API void KVAV_GetDataFromAddress(Value *value, const void *address);

ZTEQM_END_DECLS

#endif
