// The entry point the linker gives a DLL: static initialisers before DllMain sees the load,
// static destructors after it has seen the unload.
#include <windows.h>

#include "windows/msvc_runtime/runtime.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        kestraneRunInitialisers();
    }
    BOOL ok = DllMain(instance, reason, reserved);
    if (reason == DLL_PROCESS_DETACH || (reason == DLL_PROCESS_ATTACH && !ok)) {
        kestraneRunExitFunctions();
    }
    return ok;
}
