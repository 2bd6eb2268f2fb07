/* Palettes: the ordered equations of one host database. */
#ifndef ZTEQUATIONMANAGER_PALETTE_H
#define ZTEQUATIONMANAGER_PALETTE_H

#include "equation.h"
#include "types.h"

ZTEQM_BEGIN_DECLS

struct EquationPalette {
    void *userData;       /* the host's value that identifies the palette */
    Equation *slots;      /* slot i holds the equation of index i, or is free */
    int32_t numEquations; /* extent of the slot range walks cover */
    int32_t capacity;     /* slots allocated */
    int32_t currentIndex; /* the host's current equation; -1 for none */
};

/* Called with the palette's user data, a live equation and the walk's context; returns
   non-zero to go on. */
typedef int32_t (*EquationIterateFunc)(void *userData, Equation *equation, void *context);

/* Rebuilds the equation's subscriber list by asking every subscriber type's interest. */
ZTEQM_API void KVAEP_ReinitializeSubscriberList(EquationPalette *palette, Equation *equation);

/* Makes an unregistered palette with 10 free slots; null when memory cannot be had. */
ZTEQM_API EquationPalette *KVAEP_NewEquationPalette(void *userData);
/* Takes the palette off the manager's list and releases it with everything its slots hold:
   result variables, parameters and subscribers (whose destructors run), live or deleted. */
ZTEQM_API void KVAEP_DeleteEquationPalette(EquationPalette *palette);
/* Frees every slot, releasing what the slots held as deletion does, and zero-fills the slot
   array; the capacity stays. */
ZTEQM_API void KVAEP_ClearPalette(EquationPalette *palette);
ZTEQM_API void *KVAEP_GetUserData(EquationPalette *palette);
ZTEQM_API void KVAEP_SetUserData(EquationPalette *palette, void *userData);
/* The extent of the slot range (free slots below it included). */
ZTEQM_API int32_t KVAEP_GetNumEquations(EquationPalette *palette);

/* Makes (or returns the live) equation at *index; -1 takes the lowest free slot and writes it
   back. Null for a null argument, another negative index or memory exhaustion. */
ZTEQM_API Equation *KVAEP_NewEquation(EquationPalette *palette, int32_t *index);
/* Returns the live equation at the index, or null. */
ZTEQM_API Equation *KVAEP_GetEquation(EquationPalette *palette, int32_t index);
/* Walks from index 0: the first live equation, or null. */
ZTEQM_API Equation *KVAEP_GetFirstEquation(EquationPalette *palette);
/* The live equation after the given one, or null. */
ZTEQM_API Equation *KVAEP_GetNextEquation(EquationPalette *palette, Equation *equation);
/* The lowest-index live equation of that exact name, or null. */
ZTEQM_API Equation *KVAEP_FindEquationByName(EquationPalette *palette, const char *name);
/* Calls the callback for each live equation of the palette registered under userData until it
   answers 0; returns 1 when the walk ran, 0 for a null callback or no such palette. */
ZTEQM_API int32_t KVAEP_IterateEquations(void *userData, EquationIterateFunc callback,
                                         void *context);
ZTEQM_API int32_t KVAEP_GetCurrentEquationIndex(EquationPalette *palette);
ZTEQM_API void KVAEP_SetCurrentEquationIndex(EquationPalette *palette, int32_t index);
ZTEQM_API Equation *KVAEP_GetCurrentEquation(EquationPalette *palette);
ZTEQM_API void KVAEP_SetCurrentEquation(EquationPalette *palette, Equation *equation);
/* Changes the result variable's parameter type and rebuilds the subscriber list; nothing
   when it already has that type, for a null name, or for "Literal" and "Equation", whose
   objects are not laid out as variables. */
ZTEQM_API void KVAEP_SetLVariableTypeName(EquationPalette *palette, Equation *equation,
                                          const char *typeName);
/* Frees the equation's slot, which keeps its contents until the slot is made again (they are
   released then); a deleted current equation passes the role on. */
ZTEQM_API void KVAEP_DeleteEquation(EquationPalette *palette, Equation *equation);

/* Copies the source to the target index as "Copy of <name>"; returns the copy or null. */
ZTEQM_API Equation *KVAEP_CopyEquation(EquationPalette *palette, Equation *source,
                                       int32_t targetIndex);
/* Copies the source's contents, its name included, over the target. */
ZTEQM_API void KVAEP_CopyEqToEq(EquationPalette *palette, Equation *source, Equation *target);
/* Moves the equation to the target index; returns it in its new slot, or null. */
ZTEQM_API Equation *KVAEP_MoveEquation(EquationPalette *palette, Equation *equation,
                                       int32_t targetIndex);
/* Exchanges with (or moves into) the slot below; returns the slot now holding it. */
ZTEQM_API Equation *KVAEP_MoveEquationUpOne(EquationPalette *palette, Equation *equation);
/* Exchanges with (or moves into) the slot above; returns the slot now holding it. */
ZTEQM_API Equation *KVAEP_MoveEquationDownOne(EquationPalette *palette, Equation *equation);
/* Replaces the target palette's equations by a packed copy of the source palette's. */
ZTEQM_API void KVAEP_CopyEPalette(void *targetUserData, void *sourceUserData);

ZTEQM_END_DECLS

#endif
