// Load and unload glue for ELF platforms: the loader runs these as the library's constructor
// and destructor, where Windows would call DllMain.
#include <dlfcn.h>

#include "module/module_entry.h"

namespace {

// The library's base address, which is what a module handle is on Windows.
HINSTANCE ownHandle() {
    Dl_info info{};
    return dladdr(reinterpret_cast<const void*>(&ownHandle), &info) ? info.dli_fbase : nullptr;
}

__attribute__((constructor)) void onLoad() { moduleEntry(ownHandle(), kReasonLoad, nullptr); }

__attribute__((destructor)) void onUnload() { moduleEntry(ownHandle(), kReasonUnload, nullptr); }

}  // namespace
