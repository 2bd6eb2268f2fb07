/* Forward declarations of the records that several families pass around. */
#ifndef ZTEQUATIONMANAGER_TYPES_H
#define ZTEQUATIONMANAGER_TYPES_H

#include <stdint.h>

#if defined(_WIN32)
#define ZTEQM_API __declspec(dllexport)
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
