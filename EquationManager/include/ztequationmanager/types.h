/* Forward declarations of the records that several families pass around. */
#ifndef ZTEQUATIONMANAGER_TYPES_H
#define ZTEQUATIONMANAGER_TYPES_H

#include <stdint.h>

/* ZTEQM_API marks every exported function. On Windows the library is a DLL: its own sources
   are compiled with ZTEQM_BUILDING defined and export the functions, hosts import them (a host
   that links a static copy of the library defines ZTEQM_STATIC). Elsewhere the functions are
   plain declarations, made visible from the shared object.
   Every function and every callback type uses the C calling convention (cdecl; on 64-bit
   Windows the platform's one calling convention), so hosts built by any compiler call them
   as declared here. The records have the same layout on every 64-bit platform. */
#if defined(_WIN32)
#if defined(ZTEQM_BUILDING)
#define ZTEQM_API __declspec(dllexport)
#elif defined(ZTEQM_STATIC)
#define ZTEQM_API
#else
#define ZTEQM_API __declspec(dllimport)
#endif
#else
#define ZTEQM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ZTEQM_BEGIN_DECLS extern "C" {
#define ZTEQM_END_DECLS }
#else
#define ZTEQM_BEGIN_DECLS
#define ZTEQM_END_DECLS
#endif

/* Width of every short name field (79 characters and a terminator). */
#define ZTEQM_NAME_SIZE 80
/* Width of variable and application variable names (1023 characters and a terminator). */
#define ZTEQM_LONG_NAME_SIZE 1024

typedef struct Value Value;
typedef struct Parameter Parameter;
typedef struct Variable Variable;
typedef struct Equation Equation;
typedef struct EquationPalette EquationPalette;
typedef struct Subscriber Subscriber;

#endif
