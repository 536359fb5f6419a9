#include <dlfcn.h>
#include <link.h>

#include "module/export_lookup.h"

OPC_CALLBACK lookUpOwnExport(HINSTANCE moduleHandle, const char* name) {
    if (!moduleHandle || !name) return nullptr;
    void* address = dlsym(moduleHandle, name);
    if (!address) {
        dlerror();  // leave no stale error text for whoever asks next
        return nullptr;
    }
    // dlsym also searches the libraries the module depends on: only the module's own count.
    link_map* own = nullptr;
    link_map* found = nullptr;
    Dl_info info{};
    if (dlinfo(moduleHandle, RTLD_DI_LINKMAP, &own) != 0 || !own ||
        !dladdr1(address, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) || found != own) {
        dlerror();
        return nullptr;
    }
    return reinterpret_cast<OPC_CALLBACK>(address);
}
