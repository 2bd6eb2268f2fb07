/* A small host: starts the library with its own allocator pair, lists the triggers,
   registers one of its own and stops the library again. */
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

static void list_triggers(void) {
    int32_t id;
    for (id = 0; id < KVAT_GetNumTypes(); ++id) {
        printf("  %2d  %-16s %s\n", (int)id, KVAT_NameOfID(id),
               KVAT_IsEnabledByID(id) ? "enabled" : "disabled");
    }
}

int main(void) {
    TriggerRecord *render;

    KVAEQM_Init(host_alloc, host_free, NULL);
    printf("Built-in triggers:\n");
    list_triggers();

    render = KVAT_RegisterTrigger("Before Render");
    if (render == NULL) {
        fprintf(stderr, "could not register a trigger\n");
        return 1;
    }
    printf("Registered \"%s\" as trigger %d.\n", render->name, (int)render->triggerId);
    KVAT_EnableByName("Application", 0);
    printf("After disabling \"Application\":\n");
    list_triggers();

    KVAEQM_Exit();
    printf("Stopped; blocks still held: %ld\n", liveBlocks);
    return liveBlocks == 0 ? 0 : 1;
}
