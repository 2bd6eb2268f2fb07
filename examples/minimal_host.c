/* The smallest host: starts the library with its own allocator pair, registers one palette for
   its one database, builds one equation (area = width * height, the width bound to the host's
   own memory), evaluates it on "New Frame", prints the result, and releases everything. */
#include <stdio.h>
#include <stdlib.h>

#include "ztequationmanager/ztequationmanager.h"

static long liveBlocks = 0;

static void *host_alloc(uint64_t size) {
    void *block = malloc(size == 0 ? 1 : (size_t)size);
    if (block != NULL) ++liveBlocks;
    return block;
}

static void host_free(void *block) {
    if (block != NULL) --liveBlocks;
    free(block);
}

/* Deleting an equation releases nothing it holds: the host releases its subscribers and their
   array, its parameters and their array, and its result variable first. */
static void release_equation(EquationPalette *palette, Equation *equation) {
    KVAEQ_UnregisterAllSubscribers(equation);
    if (equation->subscribers != NULL) KVAMEM_Free(equation->subscribers);
    equation->subscribers = NULL;
    equation->subscriberCapacity = 0;
    KVAEQ_SetNumParameters(equation, 0);
    KVAP_FreeVariable(KVAEQ_GetVariable(equation));
    equation->variable = NULL;
    KVAEP_DeleteEquation(palette, equation);
}

int main(void) {
    static int database; /* stands for the host's database: its address identifies it */
    double width = 2.5;
    EquationPalette *palette;
    Equation *area;
    Parameter *bound, *replaced;
    Variable *result;
    int32_t index = -1;
    char *text = NULL;

    KVAEQM_Init(host_alloc, host_free, NULL);
    palette = KVAEQM_NewEquationPalette(&database);
    area = palette != NULL ? KVAEP_NewEquation(palette, &index) : NULL;
    if (area == NULL) {
        fprintf(stderr, "the library could not make the equation\n");
        return 1;
    }
    KVAEQ_SetName(area, "Area");
    KVAEQ_SetOperatorName(area, "*");
    KVAEQ_SetTriggerName(area, "New Frame");
    KVAEQ_SetNumParameters(area, KVAOP_GetNumParameters(KVAEQ_GetOperatorID(area)));

    /* Parameter 0: a variable bound to the host's `width`, read in place on every evaluation.
       It replaces the literal the resize put there, which the host releases. */
    replaced = KVAEQ_GetParameterN(area, 0);
    bound = KVAEQ_NewParameterN(area, 0, KVAP_IDOfName("Node Attribute"));
    KVAP_Delete(replaced);
    if (bound == NULL) {
        fprintf(stderr, "the library could not make the variable\n");
        return 1;
    }
    KVAP_SetDataTypeName(bound, "double");
    KVAP_SetVariableName((Variable *)bound, "width");
    KVAP_SetVariableAddress((Variable *)bound, &width);
    /* Parameter 1: the literal that the resize put there, given its text. */
    KVAP_SetString(KVAEQ_GetParameterN(area, 1), "4", 1);

    result = KVAEQ_GetVariable(area);
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    KVAP_GetString((Parameter *)result, &text, 1);
    printf("%s = %s\n", KVAEQ_GetName(area), text != NULL ? text : "?");

    width = 3.0; /* the host changes its own memory; the next evaluation sees it */
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    printf("%s = %g\n", KVAEQ_GetName(area), KVAP_GetDouble((Parameter *)result));

    release_equation(palette, area);
    KVAEQM_DeleteEquationPalette(&database);
    KVAEQM_Exit();
    printf("blocks still held: %ld\n", liveBlocks);
    return liveBlocks == 0 ? 0 : 1;
}
