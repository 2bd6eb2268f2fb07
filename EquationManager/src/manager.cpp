// Manager: the library's lifecycle and the process-wide manager state.
#include "ztequationmanager/manager.h"

#include "internal/memory.h"
#include "ztequationmanager/operator.h"
#include "ztequationmanager/parameter.h"
#include "ztequationmanager/subscriber.h"
#include "ztequationmanager/trigger.h"
#include "ztequationmanager/value.h"

namespace {

struct ManagerState {
    void *hostContext = nullptr;
    EquationPalette **palettes = nullptr;
    int32_t numPalettes = 0;
    int32_t paletteCapacity = 0;
};

ManagerState manager;
int32_t initPending = 1;

}  // namespace

extern "C" {

void KVAEQM_Init(MemoryAllocFunc allocFunc, MemoryFreeFunc freeFunc, void *hostContext) {
    if (initPending == 0) return;
    KVAMEM_Init(allocFunc, freeFunc);
    manager.hostContext = hostContext;
    manager.palettes =
        static_cast<EquationPalette **>(_KVAMEM_Alloc(10 * sizeof(EquationPalette *), nullptr, 0));
    manager.numPalettes = 0;
    manager.paletteCapacity = manager.palettes != nullptr ? 10 : 0;

    KVAT_Init();
    KVAP_Init();
    KVAV_Init();
    KVAS_Init();
    KVAOP_Init();

    initPending = 0;
}

void KVAEQM_Exit(void) {
    if (manager.palettes != nullptr) {
        // Only the list is released: palettes still registered stay allocated.
        KVAMEM_Free(manager.palettes);
        manager.palettes = nullptr;
        manager.numPalettes = 0;
        manager.paletteCapacity = 0;
    }
    KVAOP_Exit();
    KVAS_Exit();
    KVAV_Exit();
    KVAP_Exit();
    KVAT_Exit();
    KVAMEM_Exit();
}

}  // extern "C"
