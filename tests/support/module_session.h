// The module's own code, linked into a test or benchmark program, run the way the emulator
// runs a loaded module: its display mode registered and its time step called on every step of
// the session's simulation, told of sessions' starts and ends, and at the end its instruments
// closed before it leaves.
#pragma once

#include "module/module_entry.h"
#include "sim/world/display.h"
#include "sim/world/simulation.h"

namespace test {

class ModuleSession {
public:
    ModuleSession() {
        opcDLLInit(nullptr);
        sim.addTimestepCallback(opcTimestep);
        sim.addSessionCallbacks(opcOpenRenderViewport, opcCloseRenderViewport);
    }
    ~ModuleSession() {
        sim.closeAllDisplays();  // the instruments are the module's
        opcDLLExit(nullptr);
    }
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    sim::Simulation sim;  // made before the module registers its mode with it
};

}  // namespace test
