// The built module loaded as the simulator loads it: its entry, its display mode, an
// instrument driven by keys and buttons, a transfer over simulated time, and unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/drawing/surface.h"
#include "sim/world/display.h"
#include "sim/world/module_loader.h"
#include "sim/world/simulation.h"
#include "tests/support/drawing.h"
#include "tests/support/mfd_fields.h"

using sim::HostCall;
using sim::ModuleLoader;
using test::MfdFields;

namespace {

const std::string kModulePath = KESTRANE_MODULE_PATH;

class ModuleLoadTest : public ::testing::Test {
protected:
    sim::Simulation sim;
    ModuleLoader loader{sim};
    sim::VesselRecord& ship = sim.addVessel({"Ship", "Shuttle", {{1000.0, 100.0}, {500.0, 20.0}}, 1});
    sim::VesselRecord& depot = sim.addVessel({"Depot", "Tanker", {{5000.0, 3000.0}, {5000.0, 0.0}}, 1});

    // One frame of the simulator: displays that asked for a redraw are redrawn, then time moves.
    void frame(double dt) {
        for (sim::Display* display : sim.displays()) {
            if (display->pendingRedraws > 0 && display->instrument()) {
                sim::RecordingSurface surface(sim::cellWidthFor(display->width()), false);
                display->repaint(&surface);
            }
        }
        sim.step(dt);
    }
    void run(int frames, double dt = 1.0) {
        for (int i = 0; i < frames; ++i) frame(dt);
    }
};

TEST_F(ModuleLoadTest, LoadRegistersTheModeAfterTheTableIsCompleteAndUnloadWithdrawsIt) {
    std::vector<OPC_CALLBACK> tableAtRegistration;
    sim.onModeRegistered = [&](const sim::RegisteredMode&) {
        if (OPC_CALLBACK* table = ModuleLoader::interfaceOf(kModulePath)) {
            tableAtRegistration.assign(table, table + OPC_ENTRY_COUNT);
        }
    };

    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    EXPECT_TRUE(loader.error().empty());
    ASSERT_EQ(tableAtRegistration.size(), static_cast<size_t>(OPC_ENTRY_COUNT));
    // Each entry is the function the library exports under the entry's name.
    void* library = sim::library::findLoaded(kModulePath);
    ASSERT_NE(library, nullptr);
    for (int i = 0; i < OPC_ENTRY_COUNT; ++i) {
        EXPECT_NE(tableAtRegistration[i], nullptr) << sim::kCallbackEntryNames[i];
        EXPECT_EQ(tableAtRegistration[i], sim::library::function(library, sim::kCallbackEntryNames[i]))
            << sim::kCallbackEntryNames[i];
        EXPECT_EQ(loader.callback(i), tableAtRegistration[i]) << sim::kCallbackEntryNames[i];
    }
    // Loading asks the host for nothing but the registration; the state starts cleared.
    EXPECT_EQ(sim.calls.sequence(), std::vector<HostCall>{HostCall::RegisterMode});

    const sim::RegisteredMode* mode = sim.findMode("Fuel Management");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->key, 0x21u);
    EXPECT_EQ(loader.modes(), std::vector<int>{mode->id});
    const double massBefore = sim.totalPropellant();

    sim.calls.clear();
    EXPECT_TRUE(loader.unload()) << loader.error();
    EXPECT_EQ(sim.calls.sequence(), std::vector<HostCall>{HostCall::UnregisterMode});
    EXPECT_EQ(sim.findMode("Fuel Management"), nullptr);
    EXPECT_FALSE(loader.loaded());
    EXPECT_EQ(ModuleLoader::interfaceOf(kModulePath), nullptr);  // the library has left the process
    EXPECT_EQ(sim.totalPropellant(), massBefore);

    // And it loads again, as a fresh module.
    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    EXPECT_NE(sim.findMode("Fuel Management"), nullptr);
}

TEST_F(ModuleLoadTest, KeysAndButtonsDriveATransferBetweenDockedVessels) {
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    const double total = sim.totalPropellant();
    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    sim::Display& display = sim.addDisplay("Left", ship, 400, 300);
    ASSERT_TRUE(display.openMode("Fuel Management"));
    MFD* mfd = display.instrument();
    ASSERT_NE(mfd, nullptr);
    EXPECT_EQ(MfdFields::width(*mfd), 400u);
    EXPECT_EQ(MfdFields::height(*mfd), 300u);
    const char* const labels[] = {"MOD", "PR+", "PR-", "TGT", "SRC", "DCK", "HLP"};
    for (int i = 0; i < 7; ++i) EXPECT_STREQ(display.buttonLabel(i), labels[i]);
    const MFDBUTTONMENU* menu = nullptr;
    EXPECT_EQ(display.buttonMenu(&menu), 7);
    ASSERT_NE(menu, nullptr);
    EXPECT_STREQ(menu[6].line1, "Help");

    // Load: the next redraw finds the depot at port 1; tank 1 of each side.
    EXPECT_TRUE(display.button(0, 1));
    frame(1.0);
    EXPECT_TRUE(display.key(0x0D));  // PR+: Low
    EXPECT_TRUE(display.key(0x0D));  // PR+: Medium, 10 kg/s
    run(10);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 200.0);
    EXPECT_DOUBLE_EQ(depot.tanks[0].mass, 2900.0);

    EXPECT_TRUE(display.button(2, 2));  // PR-: Low, 1 kg/s
    run(10);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 210.0);

    // The help page takes the rate keys without acting on them.
    EXPECT_TRUE(display.key(0x35));
    EXPECT_TRUE(display.key(0x0D));
    run(5);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 215.0);
    EXPECT_TRUE(display.key(0x35));

    // High until the receiving tank is full: clamped, and the pump stops by itself.
    EXPECT_TRUE(display.button(1, 1));
    EXPECT_TRUE(display.button(1, 1));
    run(20);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 1000.0);
    EXPECT_DOUBLE_EQ(depot.tanks[0].mass, 2100.0);
    run(5);
    EXPECT_DOUBLE_EQ(depot.tanks[0].mass, 2100.0);
    EXPECT_DOUBLE_EQ(sim.totalPropellant(), total);

    // Unload into the depot's second tank: mode twice more, source tank stepped.
    EXPECT_TRUE(display.key(0x32));  // Unload
    frame(0.0);
    EXPECT_TRUE(display.key(0x1F));  // SRC: depot tank 2
    EXPECT_TRUE(display.key(0x0D));
    run(3);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 997.0);
    EXPECT_DOUBLE_EQ(depot.tanks[1].mass, 3.0);

    // The transfer goes on with no display showing the mode.
    display.closeMode();
    EXPECT_EQ(display.instrument(), nullptr);
    run(2);
    EXPECT_DOUBLE_EQ(depot.tanks[1].mass, 5.0);
    EXPECT_EQ(sim.calls.badCalls, 0u) << (sim.calls.badCallNotes.empty() ? "" : sim.calls.badCallNotes[0]);
}

TEST_F(ModuleLoadTest, TheLoaderStepsThroughOpcPreStepOnceAndTellsOfDeletedVessels) {
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    sim::Display& display = sim.addDisplay("Left", ship, 512, 512);
    ASSERT_TRUE(display.openMode("Fuel Management"));
    EXPECT_TRUE(display.key(0x32));  // Load
    frame(0.0);
    EXPECT_TRUE(display.key(0x0D));  // Low: 1 kg/s, once per step
    run(4, 0.5);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 102.0);

    // Told before the depot goes, the module never asks about it again.
    sim.removeVessel(depot);
    size_t aboutDepot = 0;
    sim.calls.clear();
    run(3);
    const test::Drawing page = test::redraw(display);
    for (const sim::CallEntry& e : sim.calls.calls) aboutDepot += e.vessel == depot.handle() ? 1 : 0;
    EXPECT_EQ(aboutDepot, 0u);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 102.0);
    EXPECT_EQ(page.row(21), " NOT DOCKED ");
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

TEST_F(ModuleLoadTest, UnloadClosesTheModesInstrumentsAndStopsTheTimeStep) {
    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    sim::Display& left = sim.addDisplay("Left", ship, 512, 512);
    sim::Display& right = sim.addDisplay("Right", ship, 512, 512);
    ASSERT_TRUE(left.openMode("Fuel Management"));
    ASSERT_TRUE(right.openMode("Fuel Management"));
    // Cross-feed from tank 2 into tank 1 at Low.
    EXPECT_TRUE(left.key(0x1F));
    EXPECT_TRUE(right.key(0x0D));
    run(2);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 102.0);

    EXPECT_TRUE(loader.unload()) << loader.error();
    EXPECT_EQ(left.instrument(), nullptr);
    EXPECT_EQ(right.instrument(), nullptr);
    EXPECT_EQ(sim.displays().size(), 2u);  // the displays themselves stay
    EXPECT_FALSE(left.openMode("Fuel Management"));
    run(2);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 102.0);
}

TEST_F(ModuleLoadTest, FailedLoadsSayWhyAndLeaveNothingBehind) {
    EXPECT_FALSE(loader.load("/no/such/dir/libKestrane.so"));
    EXPECT_NE(loader.error().find("not found"), std::string::npos) << loader.error();
    EXPECT_NE(loader.error().find("/no/such/dir/libKestrane.so"), std::string::npos) << loader.error();

    const std::filesystem::path notALibrary =
        std::filesystem::temp_directory_path() / "kestrane_not_a_library.so";
    std::ofstream(notALibrary) << "plain text\n";
    EXPECT_FALSE(loader.load(notALibrary.string()));
    EXPECT_NE(loader.error().find("cannot load module"), std::string::npos) << loader.error();
    std::filesystem::remove(notALibrary);

    // A real library that is no module: one of the C library's own, not loaded by this program.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&std::printf), &info), 0);
    const std::filesystem::path libraryDir = std::filesystem::path(info.dli_fname).parent_path();
    for (const char* name : {"libanl.so.1", "libutil.so.1", "libdl.so.2"}) {
        const std::filesystem::path candidate = libraryDir / name;
        if (!std::filesystem::exists(candidate)) continue;
        if (void* loaded = dlopen(candidate.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
            dlclose(loaded);
            continue;
        }
        EXPECT_FALSE(loader.load(candidate.string()));
        EXPECT_NE(loader.error().find("does not export __opcGetInterface"), std::string::npos)
            << loader.error();
        break;
    }
    EXPECT_FALSE(loader.loaded());
    EXPECT_TRUE(sim.modes().empty());

    // A second loader for a module that is already in the process refuses it and leaves the
    // first one working.
    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    ModuleLoader second(sim);
    EXPECT_FALSE(second.load(kModulePath));
    EXPECT_NE(second.error().find("already loaded"), std::string::npos) << second.error();
    EXPECT_FALSE(loader.load(kModulePath));
    EXPECT_NE(loader.error().find("already loaded"), std::string::npos) << loader.error();
    EXPECT_EQ(sim.modes().size(), 1u);
    EXPECT_TRUE(loader.loaded());
}

// Two sessions in one loaded module, as when a pilot goes back to the Launchpad and starts
// another. A transfer left running with no display open when the first ends must not reach the
// second, whose vessels take the first one's records, handles and interfaces, as the simulator
// may hand a deleted vessel's memory to the next.
TEST_F(ModuleLoadTest, ATransferLeftRunningWhenASessionEndsDoesNotReachTheNext) {
    ASSERT_TRUE(loader.load(kModulePath)) << loader.error();
    sim.startSession();
    sim::Display& display = sim.addDisplay("Left", ship, 512, 512);
    ASSERT_TRUE(display.openMode("Fuel Management"));
    EXPECT_TRUE(display.key(0x1F));  // SRC: cross-feed from the second tank
    EXPECT_TRUE(display.key(0x0D));
    EXPECT_TRUE(display.key(0x0D));  // Medium, 10 kg/s
    sim.removeDisplay(display);
    run(1);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 110.0);  // runs on without its display

    sim.endSession();
    sim::VesselRecord& again = sim.addVessel({"Ship", "Shuttle", {{1000.0, 100.0}, {500.0, 20.0}}, 1});
    ASSERT_EQ(&again, &ship);
    sim.startSession();
    run(10);
    EXPECT_DOUBLE_EQ(again.tanks[0].mass, 100.0);
    EXPECT_DOUBLE_EQ(again.tanks[1].mass, 20.0);
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

}  // namespace
