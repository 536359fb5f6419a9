// Load and unload glue for Windows: the system calls DllMain with the reason codes that
// moduleEntry expects (1 at load, 0 at unload, 2 and 3 for threads).
#include <windows.h>

#include "module/module_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE moduleHandle, DWORD reason, LPVOID reserved) {
    return moduleEntry(moduleHandle, reason, reserved);
}
