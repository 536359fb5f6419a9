// Load and unload glue for ELF platforms: the loader runs these as the library's constructor
// and destructor, where Windows would call DllMain.
#include <dlfcn.h>

#include "module/module_entry.h"

namespace {

// Our own handle, for looking up our exports. Taken at load, still valid at unload: the
// library stays mapped until its destructor has run.
HINSTANCE ownHandle = nullptr;

HINSTANCE findOwnHandle() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&findOwnHandle), &info) || !info.dli_fname) return nullptr;
    return dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
}

__attribute__((constructor)) void onLoad() {
    ownHandle = findOwnHandle();
    moduleEntry(ownHandle, kReasonLoad, nullptr);
    // The look-up above took a reference of its own; keeping it would stop the loader from
    // ever unloading us.
    if (ownHandle) dlclose(ownHandle);
}

__attribute__((destructor)) void onUnload() { moduleEntry(ownHandle, kReasonUnload, nullptr); }

}  // namespace
