/* Parameters: the operands of equations (literals, variables, equation references), the
   parameter type registry, variables bound to host memory, and equation references. */
#ifndef ZTEQUATIONMANAGER_PARAMETER_H
#define ZTEQUATIONMANAGER_PARAMETER_H

#include "types.h"
#include "value.h"

ZTEQM_BEGIN_DECLS

/* Identifiers of the seven built-in parameter types. A literal and an equation reference have
   their own layouts; every other type is a Variable. */
#define ZTEQM_PARAMETER_LITERAL 1
#define ZTEQM_PARAMETER_TEMPORARY 2
#define ZTEQM_PARAMETER_CG_SHADER 3
#define ZTEQM_PARAMETER_NODE_ATTRIBUTE 4
#define ZTEQM_PARAMETER_APP_VARIABLE 5
#define ZTEQM_PARAMETER_EQUATION 6
#define ZTEQM_PARAMETER_GLSL_SHADER 7

/* The head every parameter object starts with. */
struct Parameter {
    int32_t typeId;                 /* parameter type identifier */
    char typeName[ZTEQM_NAME_SIZE]; /* parameter type name */
    int32_t enabled;                /* stored for the host; not acted on */
};

/* Parameter type ZTEQM_PARAMETER_LITERAL ("Literal"). */
typedef struct LiteralParameter {
    int32_t typeId;
    char typeName[ZTEQM_NAME_SIZE];
    int32_t enabled;
    char text[ZTEQM_NAME_SIZE]; /* the value formatted as text */
    Value value;
} LiteralParameter;

/* Parameter type ZTEQM_PARAMETER_EQUATION ("Equation"): a reference to another equation by name. */
typedef struct EquationParameter {
    int32_t typeId;
    char typeName[ZTEQM_NAME_SIZE];
    int32_t enabled;
    char referenceName[ZTEQM_NAME_SIZE]; /* name of the referenced equation */
    Equation *equation;                  /* cached resolution, or null */
} EquationParameter;

/* Host callback that refreshes a variable before it is read; its result is not used. */
typedef void (*VariableGetFunc)(Parameter *parameter, void *userData);

/* Every parameter type other than a literal and an equation reference has this layout. */
struct Variable {
    int32_t typeId;
    char typeName[ZTEQM_NAME_SIZE];
    int32_t enabled;
    char name[ZTEQM_LONG_NAME_SIZE]; /* at most 1023 characters */
    char valueText[ZTEQM_NAME_SIZE]; /* the value formatted as text */
    Value value;                     /* current value */
    void *address;                   /* bound host memory (only read), or null */
    VariableGetFunc getFunc;         /* refresh callback, or null */
    void *userData;                  /* second argument of getFunc */
};

typedef Parameter *(*ParameterConstructorFunc)(int32_t typeId);
typedef void (*ParameterDestructorFunc)(Parameter *parameter);
typedef Value *(*ParameterGetValueFunc)(Parameter *parameter);
typedef void (*ParameterSetValueFunc)(Parameter *parameter, Value *value);
typedef void (*ParameterGetStringFunc)(Parameter *parameter, char **outText, int32_t asValue);
typedef void (*ParameterSetStringFunc)(Parameter *parameter, const char *text, int32_t asValue);

typedef struct ParameterTypeRecord {
    int32_t typeId;             /* equal to the record's index */
    char name[ZTEQM_NAME_SIZE]; /* NUL-terminated, at most 79 characters */
    int32_t lvalueEnabled;      /* non-zero: may be an equation's result variable */
    ParameterConstructorFunc constructorFunc;
    ParameterDestructorFunc destructorFunc;
    ParameterGetValueFunc getValueFunc;
    ParameterSetValueFunc setValueFunc;
    ParameterGetStringFunc getStringFunc;
    ParameterSetStringFunc setStringFunc;
} ParameterTypeRecord;

/* Registry ---------------------------------------------------------------------------- */

/* Creates the registry with the seven built-in types; nothing when it exists. */
ZTEQM_API void KVAP_Init(void);
/* Releases the registry; nothing when there is none. */
ZTEQM_API void KVAP_Exit(void);
/* Stores a type under typeId (growing the registry) and returns its record; null for a
   negative identifier, a null name, or a registry that does not exist or cannot grow. */
ZTEQM_API ParameterTypeRecord *KVAP_RegisterParameterType(
    int32_t typeId, const char *name, int32_t lvalueEnabled,
    ParameterConstructorFunc constructorFunc, ParameterDestructorFunc destructorFunc,
    ParameterGetValueFunc getValueFunc, ParameterSetValueFunc setValueFunc,
    ParameterGetStringFunc getStringFunc, ParameterSetStringFunc setStringFunc);
/* Clears the record in place; out of range: nothing. */
ZTEQM_API void KVAP_UnregisterParameterType(int32_t typeId);
/* Returns the record of typeId, or null outside 0 to count - 1. */
ZTEQM_API ParameterTypeRecord *KVAP_GetParameterFactory(int32_t typeId);
/* Returns one more than the highest registered identifier. */
ZTEQM_API int32_t KVAP_GetNumTypes(void);
/* Returns the first identifier whose name matches exactly; 0 for none or null. */
ZTEQM_API int32_t KVAP_IDOfName(const char *name);
/* Returns the record's name, or null outside the registry. */
ZTEQM_API const char *KVAP_NameOfID(int32_t typeId);
/* Record field getters: 0 or null outside the registry. */
ZTEQM_API int32_t KVAP_GetParameterTypeLValueEnabled(int32_t typeId);
ZTEQM_API ParameterConstructorFunc KVAP_GetParameterTypeConstructorFunc(int32_t typeId);
ZTEQM_API ParameterDestructorFunc KVAP_GetParameterTypeDestructorFunc(int32_t typeId);
ZTEQM_API ParameterGetValueFunc KVAP_GetParameterTypeGetValueFunc(int32_t typeId);
ZTEQM_API ParameterSetValueFunc KVAP_GetParameterTypeSetValueFunc(int32_t typeId);

/* Parameter objects (a null parameter is ignored or answered with 0, 0.0 or null) -------- */

/* Makes a parameter of the type through its constructor; null when it cannot. */
ZTEQM_API Parameter *KVAP_New(int32_t typeId);
/* Releases the parameter through its type's destructor (with any value block it owns). */
ZTEQM_API void KVAP_Delete(Parameter *parameter);
/* Returns the Value holding the parameter's current value, or null. */
ZTEQM_API Value *KVAP_GetValue(Parameter *parameter);
ZTEQM_API int32_t KVAP_GetTypeID(Parameter *parameter);
ZTEQM_API const char *KVAP_GetTypeName(Parameter *parameter);
/* Relabels the head by type name (identifier 0 for an unknown name); a null name, or a type
   whose objects have another layout (literal, equation reference, variable), is refused. */
ZTEQM_API void KVAP_SetTypeName(Parameter *parameter, const char *name);
/* Relabels the head by identifier, as by the name registered under it; an identifier that no
   type bears is stored with an empty name. Refused across layouts as above. */
ZTEQM_API void KVAP_SetTypeID(Parameter *parameter, int32_t typeId);
/* Reads the parameter: bound memory first, then the get callback, then its value. */
ZTEQM_API int32_t KVAP_GetInteger(Parameter *parameter);
ZTEQM_API double KVAP_GetDouble(Parameter *parameter);
ZTEQM_API void *KVAP_GetAddress(Parameter *parameter);
/* Writes the parameter's value (never its bound memory). */
ZTEQM_API void KVAP_SetInteger(Parameter *parameter, int32_t integer);
ZTEQM_API void KVAP_SetDouble(Parameter *parameter, double number);
ZTEQM_API void KVAP_SetAddress(Parameter *parameter, void *address);
/* Value type of the parameter's value: 0 / null when it has none. */
ZTEQM_API int32_t KVAP_GetDataTypeID(Parameter *parameter);
ZTEQM_API const char *KVAP_GetDataTypeName(Parameter *parameter);
ZTEQM_API void KVAP_SetDataTypeName(Parameter *parameter, const char *name);
ZTEQM_API void KVAP_SetDataTypeID(Parameter *parameter, int32_t valueTypeId);
/* Stores in *outText the name text (asValue 0) or value text; untouched when the type has
   no text function. The text is owned by the library. */
ZTEQM_API void KVAP_GetString(Parameter *parameter, char **outText, int32_t asValue);
/* Sets the name text (asValue 0) or parses the value text. */
ZTEQM_API void KVAP_SetString(Parameter *parameter, const char *text, int32_t asValue);
/* Returns a new parameter copied from the source (a variable copy starts unbound), or null. */
ZTEQM_API Parameter *KVAP_CopyParameter(Parameter *parameter);

/* Enabled flag and variables ------------------------------------------------------------ */

ZTEQM_API void KVAP_SetEnabled(Parameter *parameter, int32_t enabled);
ZTEQM_API int32_t KVAP_GetEnabled(Parameter *parameter);
/* Returns a zero-filled variable, or null when memory cannot be had. */
ZTEQM_API Variable *KVAP_NewVariable(void);
/* Releases a variable (with any value block it owns). */
ZTEQM_API void KVAP_FreeVariable(Variable *variable);
/* Makes the variable an unbound, unnamed double holding 0.0. */
ZTEQM_API void KVAP_SetVariableDefaults(Variable *variable);
/* Copies the name (at most 1023 characters kept); null name refused. */
ZTEQM_API void KVAP_SetVariableName(Variable *variable, const char *name);
ZTEQM_API const char *KVAP_GetVariableName(Variable *variable);
ZTEQM_API int32_t KVAP_GetVariableType(Variable *variable);
/* Stores the parameter type identifier only; refused for a literal or equation identifier.
   The functions below that reach a variable's own fields ignore literals and equation
   references (getters give null). */
ZTEQM_API void KVAP_SetVariableType(Variable *variable, int32_t typeId);
/* Same as KVAP_SetTypeName. */
ZTEQM_API void KVAP_SetVariableTypeName(Variable *variable, const char *name);
ZTEQM_API const char *KVAP_GetVariableTypeName(Variable *variable);
/* Binds the variable to host memory (null unbinds). */
ZTEQM_API void KVAP_SetVariableAddress(Variable *variable, void *address);
ZTEQM_API void *KVAP_GetVariableAddress(Variable *variable);
/* Stores the refresh callback; ignored for literal and equation parameters. */
ZTEQM_API void KVAP_SetVariableGetFunc(Variable *variable, VariableGetFunc getFunc);
/* Stores the callback's user data; ignored for literal and equation parameters. */
ZTEQM_API void KVAP_SetVariableUserData(Variable *variable, void *userData);
/* Returns the variable's embedded Value, or null. */
ZTEQM_API Value *KVAP_GetVariableValue(Variable *variable);

/* Equation references (null parameters and parameters of another type are ignored) ------- */

/* Stores the cached equation (may be null); the name is unchanged. */
ZTEQM_API void KVAP_SetEquationReference(Parameter *parameter, Equation *equation);
/* Resolves the reference name again across all palettes (null when none bears it). */
ZTEQM_API void KVAP_FixEquationReference(Parameter *parameter);
/* Returns the reference name, or null. */
ZTEQM_API const char *KVAP_GetEquationReferenceName(Parameter *parameter);
/* Copies the name (at most 79 characters kept) without resolving it; null name refused. */
ZTEQM_API void KVAP_SetEquationReferenceName(Parameter *parameter, const char *name);
/* Returns 1 when it broke a reference of the parameter to this same equation (the reference
   is then unresolved and named "Recursive"), else 0. */
ZTEQM_API int32_t KVAP_CheckRecursion(Equation *equation, Parameter *parameter);

ZTEQM_END_DECLS

#endif
