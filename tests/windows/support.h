// What the Windows end-to-end tests share: where the module and the test data are, the
// emulated simulation with the module loaded through LoadLibrary, and a redraw of a display
// into a real GDI device context, watched call by call.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sim/cell_view.h"
#include "sim/display.h"
#include "sim/gdi_display_windows.h"
#include "sim/module_loader.h"
#include "sim/simulation.h"
#include "tests/windows/gdi_spy.h"

namespace winhost {

struct Config {
    std::string modulePath;  // Kestrane.dll
    std::string dataDir;     // tests/data
    std::string outputDir;   // pictures and scenario files written by the tests
};
Config& config();

// A simulation with the module loaded; unloads before the simulation ends.
struct LoadedModule {
    sim::Simulation simulation;
    sim::ModuleLoader loader{simulation};
    HMODULE module = nullptr;  // the DLL as Windows has it loaded
    std::string error;         // why loading or watching failed

    // Loads the module and watches its GDI calls and the host's title.
    bool load();
};

// One redraw of a display into a GDI display, with the GDI calls made during it.
struct Drawing {
    std::vector<spy::Event> events;
    sim::CellView cells;  // the page as rows and columns, as the emulator's cell view reads it
    Drawing(int width, int height, int cellWidth, int cellHeight)
        : cells(width, height, cellWidth, cellHeight) {}
};

Drawing redraw(sim::Display& display, sim::GdiDisplay& surface);

// The events of one kind, in order.
std::vector<spy::Event> eventsOf(const std::vector<spy::Event>& events, spy::Kind kind);

std::string outputPath(const std::string& name);

}  // namespace winhost
