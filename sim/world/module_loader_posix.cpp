// Module libraries through the dynamic linker.
#include <dlfcn.h>
#include <link.h>

#include "sim/world/module_loader.h"

namespace sim::library {

namespace {

// A name without a slash would send dlopen searching the system's library paths.
std::string asPath(const std::string& path) {
    return path.find('/') == std::string::npos ? "./" + path : path;
}

std::string lastError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

}  // namespace

void* open(const std::string& path, std::string& error) {
    dlerror();
    // Every host symbol is bound now, so that a missing one fails the load and not a later call.
    void* library = dlopen(asPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) error = lastError();
    return library;
}

void* findLoaded(const std::string& path) {
    void* library = dlopen(asPath(path).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    // The look-up took a reference; the handle stays valid while the library is loaded.
    if (library) dlclose(library);
    dlerror();
    return library;
}

bool close(void* library, std::string& error) {
    if (!library) return true;
    if (dlclose(library) == 0) return true;
    error = lastError();
    return false;
}

OPC_CALLBACK function(void* library, const char* name) {
    void* address = library ? dlsym(library, name) : nullptr;
    if (!address) dlerror();
    return reinterpret_cast<OPC_CALLBACK>(address);
}

bool contains(void* library, const void* address) {
    link_map* own = nullptr;
    link_map* found = nullptr;
    Dl_info info{};
    const bool inside = library && address && dlinfo(library, RTLD_DI_LINKMAP, &own) == 0 && own &&
                        dladdr1(address, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) &&
                        found == own;
    dlerror();
    return inside;
}

}  // namespace sim::library
