// Module libraries through the Windows loader.
#include <windows.h>

#include "sim/module_loader.h"

namespace sim::library {

namespace {

std::string lastError() {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

void* open(const std::string& path, std::string& error) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) error = lastError();
    return library;
}

void* findLoaded(const std::string& path) { return GetModuleHandleA(path.c_str()); }

bool close(void* library, std::string& error) {
    if (!library) return true;
    if (FreeLibrary(static_cast<HMODULE>(library))) return true;
    error = lastError();
    return false;
}

OPC_CALLBACK function(void* library, const char* name) {
    return library ? reinterpret_cast<OPC_CALLBACK>(GetProcAddress(static_cast<HMODULE>(library), name))
                   : nullptr;
}

bool contains(void* library, const void* address) {
    HMODULE owner = nullptr;
    return library && address &&
           GetModuleHandleExA(
               GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
               static_cast<LPCSTR>(address), &owner) &&
           owner == static_cast<HMODULE>(library);
}

}  // namespace sim::library
