// Loading a plug-in module into the emulated simulator, in the simulator's order: the
// library's own entry runs as it is loaded (callback table, then opcDLLInit); the loader then
// fetches the table through __opcGetInterface and, as current simulators do, calls the
// module's opcPreStep on every step (the table's time-step entry for a module without one)
// and its opcDeleteVessel before a vessel is removed, and its opcOpenRenderViewport and
// opcCloseRenderViewport at a session's start and end (Simulation::startSession, endSession); at
// unload every display is closed first, since the instruments are the module's code, and the
// library's entry runs opcDLLExit as it leaves.
#pragma once

#include <iterator>
#include <string>
#include <vector>

#include "host/host.h"
#include "sim/world/simulation.h"

namespace sim {

// The names of the callback table's entries, in its order.
#define KESTRANE_ENTRY_NAME(name) #name,
inline constexpr const char* kCallbackEntryNames[] = {KESTRANE_TABLE_CALLBACKS(KESTRANE_ENTRY_NAME)};
#undef KESTRANE_ENTRY_NAME
static_assert(std::size(kCallbackEntryNames) == OPC_ENTRY_COUNT);

// One loaded module. It must not outlive the simulation it was made for.
class ModuleLoader {
public:
    explicit ModuleLoader(Simulation& simulation);
    ~ModuleLoader();  // unloads
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // Loads the library at path. On failure error() says why, and nothing of the library
    // stays in the process.
    bool load(const std::string& path);
    // Closes every display, then unloads. False, with error() set, when the module left
    // something behind (a display mode it registered); such modes are withdrawn here.
    bool unload();

    bool loaded() const { return library_ != nullptr; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

    // The callback table as the module handed it over at load (null entries allowed).
    OPC_CALLBACK callback(int entry) const;
    // The ids of the registered display modes whose message procedure is the module's.
    std::vector<int> modes() const;

    // The callback table of a library that is already in the process (also while its entry
    // is still running), looked up without loading it; null when it is not loaded or has no
    // table.
    static OPC_CALLBACK* interfaceOf(const std::string& path);

private:
    Simulation& simulation_;
    void* library_ = nullptr;
    std::string path_;
    std::string error_;
    OPC_CALLBACK table_[OPC_ENTRY_COUNT] = {};
    OPC_TIMESTEP step_ = nullptr;
    OPC_DELETEVESSEL deleteVessel_ = nullptr;
    OPC_OPENRENDERVIEWPORT sessionStart_ = nullptr;
    OPC_CLOSERENDERVIEWPORT sessionEnd_ = nullptr;

    bool fail(std::string message);  // unloads what a failed load left; always false
    void closeLibrary();
};

// The platform's library calls, one implementation per platform.
namespace library {

// Loads a library, resolving all its symbols now; null with error text on failure.
void* open(const std::string& path, std::string& error);
// A library already in the process, without taking a reference; null when not loaded.
void* findLoaded(const std::string& path);
bool close(void* library, std::string& error);
// A function the library exports under this name, or null.
OPC_CALLBACK function(void* library, const char* name);
// Whether the address lies in the library's own code or data.
bool contains(void* library, const void* address);

}  // namespace library

}  // namespace sim
