#include "module/export_lookup.h"

OPC_CALLBACK lookUpOwnExport(HINSTANCE moduleHandle, const char* name) {
    if (!moduleHandle || !name) return nullptr;
    // GetProcAddress searches the one module's export table only.
    return reinterpret_cast<OPC_CALLBACK>(GetProcAddress(moduleHandle, name));
}
