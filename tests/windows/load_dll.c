/* A plain-C Windows host: loads ztequationmanager.dll from beside it with LoadLibrary, resolves
   every exported name with GetProcAddress, and checks that loading the DLL started nothing (the
   library starts at KVAEQM_Init) and that loading it again starts afresh. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "zteqm_export_names.h"
#include "ztequationmanager/ztequationmanager.h"

/* Through void (*)(void), which converts to and from every function pointer type. */
#define RESOLVE(module, type, name) ((type)(void (*)(void))GetProcAddress(module, name))

typedef void (*InitFunc)(MemoryAllocFunc, MemoryFreeFunc, void *);
typedef void (*ExitFunc)(void);
typedef int32_t (*CountFunc)(void);
typedef int32_t (*IdFunc)(const char *);

static long live_blocks;

static void *host_alloc(uint64_t size) {
    void *block = malloc(size != 0 ? (size_t)size : 1);
    if (block != NULL) ++live_blocks;
    return block;
}

static void host_free(void *block) {
    if (block != NULL) --live_blocks;
    free(block);
}

static int fail(const char *what) {
    fprintf(stderr, "load_dll: %s\n", what);
    return 1;
}

/* Loads the DLL, resolves every name, starts and stops the library once. */
static int load_and_start(size_t *resolved) {
    HMODULE module = LoadLibraryA("ztequationmanager.dll");
    const size_t count = sizeof zteqm_export_names / sizeof zteqm_export_names[0];
    size_t i;
    InitFunc init;
    ExitFunc stop;
    CountFunc triggers;
    IdFunc operator_id;
    if (module == NULL) return fail("cannot load ztequationmanager.dll");
    *resolved = 0;
    for (i = 0; i < count; ++i) {
        if (GetProcAddress(module, zteqm_export_names[i]) != NULL)
            ++*resolved;
        else
            fprintf(stderr, "load_dll: %s is not exported\n", zteqm_export_names[i]);
    }
    init = RESOLVE(module, InitFunc, "KVAEQM_Init");
    stop = RESOLVE(module, ExitFunc, "KVAEQM_Exit");
    triggers = RESOLVE(module, CountFunc, "KVAT_GetNumTypes");
    operator_id = RESOLVE(module, IdFunc, "KVAOP_IDOfName");
    if (*resolved != count || !init || !stop || !triggers || !operator_id)
        return fail("functions are missing");
    if (GetProcAddress(module, "DllMain") != NULL) return fail("the entry point is exported");
    /* No trigger and no operator is known until the library starts. */
    if (triggers() != 0 || operator_id("+") != 0 || live_blocks != 0)
        return fail("loading the DLL did work of the library's own");
    init(host_alloc, host_free, NULL);
    if (triggers() != 5 || operator_id("+") <= 0) return fail("the library did not start");
    stop();
    if (live_blocks != 0) return fail("blocks are still held after KVAEQM_Exit");
    if (!FreeLibrary(module)) return fail("cannot unload the DLL");
    return 0;
}

int main(void) {
    size_t resolved = 0;
    /* Twice: a DLL loaded again after it was unloaded starts from nothing again. */
    if (load_and_start(&resolved) != 0 || load_and_start(&resolved) != 0) return 1;
    printf("%u functions resolved\n", (unsigned)resolved);
    return 0;
}
