// The emulated cockpit both fuzz targets run on: the module's mode registered and its time
// step called, as after loading; a few vessels with tanks and ports; one or two displays.
// Every action goes through here so that the invariants are checked after each, and a
// violation stops the run the way a sanitizer report does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "scenario/scenario_items.h"
#include "sim/drawing/raster_surface.h"
#include "sim/drawing/surface.h"
#include "sim/world/display.h"
#include "sim/world/scenario_block.h"
#include "tests/support/invariants.h"
#include "tests/support/module_session.h"

namespace fuzz {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "invariant violated: %s\n", what.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

inline void require(const std::string& violation) {
    if (!violation.empty()) fail(violation);
}

struct DisplaySize {
    unsigned width, height;
};
// The usual size, the smallest, one whose cells do not divide it, and a wide strip.
inline constexpr DisplaySize kSizes[] = {{512, 512}, {1, 1}, {37, 23}, {1500, 60}};

class World : public test::ModuleSession {
public:
    // setup, bit by bit: 0-1 the vessel of the main display; 2 a second display, opened first
    // on the next vessel; 3-4 which vessels are docked where; 5 the vessel "Gone" removed after
    // docking; 6-7 the display size.
    explicit World(uint8_t setup) {
        sim.calls.logging = false;
        // Masses and capacities with no exact binary form, so that rounding at the tank limits
        // shows; a tank without room; a vessel without tanks; one without ports.
        vessels = {&sim.addVessel({"Ship", "Tanker", {{1000, 250}, {500, 500}, {0.3, 0.03}}, 2}),
                   &sim.addVessel({"Depot", "Depot", {{20000, 18000}, {5000, 1200.7}, {0, 0}}, 1}),
                   &sim.addVessel({"Tug", "Tug", {}, 1}),
                   &sim.addVessel({"Probe", "Probe", {{0.9, 0.29}, {0.3, 0.01}}, 0}),
                   &sim.addVessel({"Gone", "Barge", {{300, 1e-300}, {300, 300}}, 1})};
        sim::VesselRecord& ship = *vessels[0];
        switch ((setup >> 3) & 3) {
            case 1:
                sim.dock(ship, 1, *vessels[1], 0);
                break;
            case 2:
                sim.dock(ship, 0, *vessels[2], 0);
                sim.dock(ship, 1, *vessels[1], 0);
                break;
            case 3:
                sim.dock(ship, 1, *vessels[4], 0);
                sim.dock(*vessels[1], 0, *vessels[2], 0);
                break;
            default:
                break;
        }
        if (setup & 0x20) sim.removeVessel(*vessels[4]);
        size = kSizes[(setup >> 6) & 3];
        const unsigned main = setup & 3;
        if (setup & 4) openDisplay("Second", *vessels[(main + 1) % 4]);
        openDisplay("Main", *vessels[main]);
        require(invariants::all(sim));
    }
    ~World() { clearTransferState(); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    sim::Display* openDisplay(const std::string& name, sim::VesselRecord& vessel) {
        if (vessel.removed || sim.findDisplay(name)) return nullptr;
        sim::Display& d = sim.addDisplay(name, vessel, size.width, size.height);
        act([&] { d.openMode(kModeName); });
        return &d;
    }

    // Runs an action that must move no propellant, then checks everything.
    template <typename Action>
    void act(Action&& action) {
        const invariants::Masses before = invariants::snapshot(sim);
        const int64_t brushes = sim::GdiObjects::live();
        action();
        require(invariants::nothingMoved(before));
        require(invariants::brushesDeleted(brushes));
        require(invariants::all(sim));
    }

    // One time step: propellant moves only as the mode allows.
    void step(double dt) {
        const invariants::Masses before = invariants::snapshot(sim);
        const int32_t mode = transferState.pumpMode;
        const sim::VesselRecord* target =
            transferState.targetVessel ? sim.record(transferState.targetHandle) : nullptr;
        const int32_t targetTank = transferState.targetTank;
        sim.step(dt);
        require(invariants::stepConserved(before, mode, target, targetTank, vented));
        require(invariants::all(sim));
    }

    void redraw(sim::Display& d, bool raster) {
        act([&] {
            if (raster) {
                sim::RasterSurface surface(static_cast<int>(d.width()), static_cast<int>(d.height()));
                d.repaint(&surface);
            } else {
                sim::RecordingSurface surface(sim::cellWidthFor(d.width()), false);
                d.repaint(&surface);
            }
        });
    }

    // The instrument's block written and then read by the same display, as a save and a load
    // of the simulation would hand it over.
    std::vector<std::string> writeBlock(sim::Display& d) {
        sim::ScenarioBlock block;
        act([&] { d.writeStatus(block); });
        if (block.lines.size() > kScenarioItemCount)
            fail("a block of " + std::to_string(block.lines.size()) + " items");
        return block.lines;
    }
    void readBlock(sim::Display& d, std::vector<std::string> lines) {
        sim::ScenarioBlock block(std::move(lines));
        act([&] { d.readStatus(block); });
    }

    std::vector<sim::VesselRecord*> vessels;
    DisplaySize size{};
    double vented = 0.0;
};

}  // namespace fuzz
