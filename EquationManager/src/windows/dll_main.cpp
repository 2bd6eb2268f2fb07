// The DLL's entry point, the library's only Windows-specific code.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

// On process attach the library turns off the thread attach and detach notifications it has no
// use for, and nothing else: it starts when the host calls KVAEQM_Init, not when it is loaded.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
