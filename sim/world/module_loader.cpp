#include "sim/world/module_loader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "sim/formats/files.h"
#include "sim/world/display.h"

namespace sim {

ModuleLoader::ModuleLoader(Simulation& simulation) : simulation_(simulation) {}

ModuleLoader::~ModuleLoader() { unload(); }

bool ModuleLoader::load(const std::string& path) {
    error_.clear();
    if (loaded()) {
        error_ = "a module is already loaded from '" + path_ + "'";
        return false;
    }
    // A FIFO would not even be opened: the linker would wait for a writer.
    if (const std::string why = notARegularFile(path); !why.empty()) {
        error_ = "cannot load module '" + path + "': " + why;
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error_ = "module not found: '" + path + "'";
        return false;
    }
    // Its entry would not run a second time: the table and the mode would not be ours.
    if (void* loaded = library::findLoaded(path)) {
        // One of the program's own libraries, most likely: say what it is not.
        error_ = library::function(loaded, "__opcGetInterface")
                     ? "module '" + path + "' is already loaded"
                     : "'" + path + "' is not a module: it does not export __opcGetInterface";
        return false;
    }

    std::string why;
    library_ = library::open(path, why);
    if (!library_) {
        error_ = "cannot load module '" + path + "': " + why;
        return false;
    }
    path_ = path;

    const OPC_CALLBACK getInterface = library::function(library_, "__opcGetInterface");
    if (!getInterface) return fail("module '" + path + "' does not export __opcGetInterface");
    const OPC_CALLBACK* table = reinterpret_cast<OPC_GETINTERFACE>(getInterface)();
    if (!table) return fail("module '" + path + "': __opcGetInterface returned no callback table");
    for (int i = 0; i < OPC_ENTRY_COUNT; ++i) {
        // Null entries are allowed; anything else must be the module's own code.
        if (table[i] && !library::contains(library_, reinterpret_cast<const void*>(table[i]))) {
            return fail("module '" + path + "': callback table entry " + std::to_string(i + 1) + " (" +
                        kCallbackEntryNames[i] + ") does not point into the module");
        }
        table_[i] = table[i];
    }
    step_ = reinterpret_cast<OPC_TIMESTEP>(library::function(library_, "opcPreStep"));
    if (!step_) step_ = reinterpret_cast<OPC_TIMESTEP>(table_[OPC_TIMESTEP_ENTRY]);
    if (step_) simulation_.addTimestepCallback(step_);
    deleteVessel_ = reinterpret_cast<OPC_DELETEVESSEL>(library::function(library_, "opcDeleteVessel"));
    if (deleteVessel_) simulation_.addDeleteVesselCallback(deleteVessel_);
    // Found by name, as the simulator finds them for a module without a module class.
    sessionStart_ =
        reinterpret_cast<OPC_OPENRENDERVIEWPORT>(library::function(library_, "opcOpenRenderViewport"));
    sessionEnd_ =
        reinterpret_cast<OPC_CLOSERENDERVIEWPORT>(library::function(library_, "opcCloseRenderViewport"));
    simulation_.addSessionCallbacks(sessionStart_, sessionEnd_);
    return true;
}

bool ModuleLoader::unload() {
    if (!loaded()) return true;
    error_.clear();
    // The instruments are the module's code: none may outlive it.
    const std::vector<int> ownModes = modes();
    for (Display* display : simulation_.displays()) {
        const RegisteredMode* mode = simulation_.findMode(display->modeName());
        if (display->instrument() && mode &&
            std::find(ownModes.begin(), ownModes.end(), mode->id) != ownModes.end()) {
            display->closeMode();
        }
    }
    if (step_) simulation_.removeTimestepCallback(step_);
    if (deleteVessel_) simulation_.removeDeleteVesselCallback(deleteVessel_);
    simulation_.removeSessionCallbacks(sessionStart_, sessionEnd_);
    step_ = nullptr;
    deleteVessel_ = nullptr;
    sessionStart_ = nullptr;
    sessionEnd_ = nullptr;
    closeLibrary();
    // A mode left behind would send the next display into code that is gone.
    std::string left;
    for (int id : ownModes) {
        if (const RegisteredMode* mode = simulation_.findMode(id)) {
            left += (left.empty() ? "'" : ", '") + mode->name + "'";
            simulation_.unregisterMode(id);
        }
    }
    if (!left.empty() && error_.empty())
        error_ = "module '" + path_ + "' left its display mode registered: " + left;
    path_.clear();
    return error_.empty();
}

OPC_CALLBACK ModuleLoader::callback(int entry) const {
    return entry >= 0 && entry < OPC_ENTRY_COUNT ? table_[entry] : nullptr;
}

std::vector<int> ModuleLoader::modes() const {
    std::vector<int> ids;
    if (!library_) return ids;
    for (const RegisteredMode& mode : simulation_.modes()) {
        if (mode.msgproc && library::contains(library_, reinterpret_cast<const void*>(mode.msgproc)))
            ids.push_back(mode.id);
    }
    return ids;
}

OPC_CALLBACK* ModuleLoader::interfaceOf(const std::string& path) {
    void* lib = library::findLoaded(path);
    if (!lib) return nullptr;
    const OPC_CALLBACK getInterface = library::function(lib, "__opcGetInterface");
    return getInterface ? reinterpret_cast<OPC_GETINTERFACE>(getInterface)() : nullptr;
}

bool ModuleLoader::fail(std::string message) {
    error_ = std::move(message);
    const std::vector<int> ownModes = modes();
    closeLibrary();
    for (int id : ownModes) simulation_.unregisterMode(id);
    path_.clear();
    return false;
}

void ModuleLoader::closeLibrary() {
    std::string why;
    if (!library::close(library_, why) && error_.empty())
        error_ = "cannot unload module '" + path_ + "': " + why;
    library_ = nullptr;
    std::fill(std::begin(table_), std::end(table_), nullptr);
}

}  // namespace sim
