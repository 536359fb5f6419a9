// The DLL in a Windows process: loaded and unloaded through DllMain, its display mode, a
// transfer driven by keys and time steps, and a scenario written and read back.
#include <cstdio>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "sim/scenario_file.h"
#include "tests/support/read_file.h"
#include "tests/support/scenario_support.h"
#include "tests/windows/check.h"
#include "tests/windows/support.h"

using winhost::config;
using winhost::LoadedModule;

namespace {

constexpr const char* kMode = "Fuel Management";

sim::VesselRecord& addTanker(sim::Simulation& s) {
    return s.addVessel({"Tanker", "Tanker", {{1000.0, 250.0}, {500.0, 500.0}, {200.0, 0.0}}, 2});
}
sim::VesselRecord& addDepot(sim::Simulation& s) {
    return s.addVessel({"Depot", "Depot", {{20000.0, 18000.0}, {5000.0, 1200.0}}, 1});
}

DWORD WINAPI doNothing(LPVOID) { return 0; }

// Reads the display size the host keeps in the MFD base.
struct MfdFields : MFD {
    static DWORD width(const MFD& mfd) { return mfd.*(&MfdFields::W); }
    static DWORD height(const MFD& mfd) { return mfd.*(&MfdFields::H); }
};

}  // namespace

TEST_CASE(loadingRunsDllMainWhichRegistersTheModeAfterTheTableIsComplete) {
    sim::Simulation simulation;
    sim::ModuleLoader loader(simulation);
    std::vector<OPC_CALLBACK> tableAtRegistration;
    simulation.onModeRegistered = [&](const sim::RegisteredMode&) {
        if (OPC_CALLBACK* table = sim::ModuleLoader::interfaceOf(config().modulePath))
            tableAtRegistration.assign(table, table + OPC_ENTRY_COUNT);
    };

    REQUIRE_MSG(loader.load(config().modulePath), loader.error());
    HMODULE module = GetModuleHandleA(config().modulePath.c_str());
    REQUIRE(module != nullptr);

    // DllMain filled the table from the DLL's own exports before opcDLLInit registered the mode.
    REQUIRE(tableAtRegistration.size() == static_cast<size_t>(OPC_ENTRY_COUNT));
    for (int i = 0; i < OPC_ENTRY_COUNT; ++i) {
        const auto exported = reinterpret_cast<OPC_CALLBACK>(
            reinterpret_cast<void*>(GetProcAddress(module, sim::kCallbackEntryNames[i])));
        CHECK_MSG(exported != nullptr, sim::kCallbackEntryNames[i]);
        CHECK_MSG(tableAtRegistration[i] == exported, sim::kCallbackEntryNames[i]);
        CHECK_MSG(loader.callback(i) == exported, sim::kCallbackEntryNames[i]);
    }
    CHECK_EQ(simulation.calls.count(sim::HostCall::RegisterMode), 1u);

    const sim::RegisteredMode* mode = simulation.findMode(kMode);
    REQUIRE(mode != nullptr);
    CHECK_EQ(mode->key, 0x21u);
    CHECK(loader.modes() == std::vector<int>{mode->id});

    // Threads starting and ending call DllMain with reasons 2 and 3, which change nothing.
    HANDLE thread = CreateThread(nullptr, 0, &doNothing, nullptr, 0, nullptr);
    REQUIRE(thread != nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CHECK_EQ(simulation.calls.count(sim::HostCall::RegisterMode), 1u);
    CHECK_EQ(simulation.calls.count(sim::HostCall::UnregisterMode), 0u);
    CHECK_EQ(simulation.modes().size(), 1u);

    // Unloading runs DllMain with reason 0: the mode is withdrawn by the module itself (the
    // loader reports a mode left behind as an error) and the DLL leaves the process.
    CHECK_MSG(loader.unload(), loader.error());
    CHECK_EQ(simulation.calls.count(sim::HostCall::UnregisterMode), 1u);
    CHECK(simulation.findMode(kMode) == nullptr);
    CHECK(GetModuleHandleA(config().modulePath.c_str()) == nullptr);

    // A second load starts afresh: the mode comes back once.
    REQUIRE_MSG(loader.load(config().modulePath), loader.error());
    CHECK_EQ(simulation.calls.count(sim::HostCall::RegisterMode), 2u);
    CHECK_EQ(simulation.modes().size(), 1u);
    CHECK_MSG(loader.unload(), loader.error());
    CHECK(simulation.modes().empty());
}

TEST_CASE(theModeMakesAnInstrumentOfTheDisplaysSizeWithTheSevenButtons) {
    LoadedModule host;
    sim::VesselRecord& tanker = addTanker(host.simulation);
    REQUIRE_MSG(host.load(), host.error);
    sim::Display& display = host.simulation.addDisplay("Left", tanker, 400, 300);
    REQUIRE(display.openMode(kMode));
    REQUIRE(display.instrument() != nullptr);

    const char* const expected[] = {"MOD", "PR+", "PR-", "TGT", "SRC", "DCK", "HLP"};
    for (int i = 0; i < 7; ++i) {
        const char* label = display.buttonLabel(i);
        CHECK_MSG(label && std::string(label) == expected[i], "button " << i);
    }
    CHECK(display.buttonLabel(7) == nullptr);
    const MFDBUTTONMENU* menu = nullptr;
    CHECK_EQ(display.buttonMenu(&menu), 7);
    CHECK(menu != nullptr);

    // The instrument is the module's object (its virtual table lies in the DLL), built for the
    // display's size as the message procedure unpacked it.
    CHECK(sim::library::contains(host.module, *reinterpret_cast<void* const*>(display.instrument())));
    CHECK_EQ(MfdFields::width(*display.instrument()), 400u);
    CHECK_EQ(MfdFields::height(*display.instrument()), 300u);
    display.closeMode();
    CHECK_MSG(host.loader.unload(), host.loader.error());
}

TEST_CASE(keysAndTimeStepsPumpFromTheDockedDepotUntilTheTankIsFull) {
    LoadedModule host;
    sim::Simulation& s = host.simulation;
    sim::VesselRecord& tanker = addTanker(s);
    sim::VesselRecord& depot = addDepot(s);
    REQUIRE(s.dock(tanker, 0, depot, 0));
    REQUIRE_MSG(host.load(), host.error);
    sim::Display& display = s.addDisplay("Left", tanker, 512, 512);
    REQUIRE(display.openMode(kMode));
    sim::GdiDisplay surface(512, 512, sim::cellWidthFor(512), sim::cellHeightFor(512));
    REQUIRE_MSG(surface.ok(), surface.error());

    CHECK(display.key(kKeyMode));  // Load
    CHECK(display.pendingRedraws > 0);
    winhost::Drawing page = winhost::redraw(display, surface);  // finds the depot at port 1
    CHECK_EQ(page.cells.line(21), std::string("Docked To: Depot"));
    CHECK(display.key(kKeyRateUp));
    CHECK(display.key(kKeyRateUp));  // Medium: 10 kg/s
    CHECK_EQ(winhost::redraw(display, surface).cells.line(6), std::string("Pump Rate: Medium"));

    // Tank 1 of the tanker holds 250 of 1000 kg: 75 steps of a second fill it.
    for (int i = 0; i < 10; ++i) s.step(1.0);
    CHECK_EQ(tanker.tanks[0].mass, 350.0);
    CHECK_EQ(depot.tanks[0].mass, 17900.0);
    for (int i = 0; i < 65; ++i) s.step(1.0);
    CHECK_EQ(tanker.tanks[0].mass, 1000.0);
    CHECK_EQ(depot.tanks[0].mass, 17250.0);
    s.step(1.0);
    CHECK_EQ(tanker.tanks[0].mass, 1000.0);  // the pump switched itself off
    CHECK_EQ(depot.tanks[0].mass, 17250.0);

    page = winhost::redraw(display, surface);
    CHECK_EQ(page.cells.line(6), std::string("Pump Rate: Off"));
    CHECK_EQ(page.cells.line(14).substr(0, 10), std::string("#1000 kg##"));
    CHECK_EQ(s.calls.liveStatusLists(), 0u);
    CHECK_EQ(s.calls.badCalls, 0u);
    CHECK_MSG(host.loader.unload(), host.loader.error());
}

TEST_CASE(aScenarioWrittenOnWindowsReadsBackIntoTheSameTransfer) {
    const std::string path = winhost::outputPath("transfer.scn");
    double tankerMasses[3] = {}, depotMasses[2] = {};
    {
        LoadedModule host;
        sim::Simulation& s = host.simulation;
        sim::VesselRecord& tanker = addTanker(s);
        sim::VesselRecord& depot = addDepot(s);
        REQUIRE(s.dock(tanker, 0, depot, 0));
        REQUIRE_MSG(host.load(), host.error);
        sim::Display& display = s.addDisplay("Left", tanker, 512, 512);
        REQUIRE(display.openMode(kMode));
        sim::GdiDisplay surface(512, 512, sim::cellWidthFor(512), sim::cellHeightFor(512));
        REQUIRE_MSG(surface.ok(), surface.error());
        display.key(kKeyMode);
        winhost::redraw(display, surface);
        display.key(kKeyTargetTank);  // tank 2 of the tanker: 500 of 500 kg, so empty it ...
        display.key(kKeyMode);        // ... by unloading into the depot
        winhost::redraw(display, surface);
        display.key(kKeyRateUp);
        display.key(kKeyRateUp);
        // Steps of odd length; the file keeps six decimals of each level, so those are the
        // masses that come back.
        for (int i = 0; i < 7; ++i) s.step(0.37);
        test::setSavedLevels(s);
        for (int i = 0; i < 3; ++i) tankerMasses[i] = tanker.tanks[i].mass;
        for (int i = 0; i < 2; ++i) depotMasses[i] = depot.tanks[i].mass;
        CHECK(tankerMasses[1] < 500.0);

        // An old file of that name is replaced whole.
        {
            std::FILE* old = std::fopen(path.c_str(), "wb");
            REQUIRE(old != nullptr);
            std::fputs("an older scenario\n", old);
            std::fclose(old);
        }
        std::string error;
        REQUIRE_MSG(sim::saveScenario(s, path, error), error);
        const std::string text = test::readFile(path);
        CHECK(text.find("an older scenario") == std::string::npos);
        CHECK(GetFileAttributesA((path + ".tmp").c_str()) == INVALID_FILE_ATTRIBUTES);
        for (const char* item :
             {"PUMPMODE 2", "PUMPRATE 2", "DOCKPORT 0", "TARGETTANK 1", "SOURCETANK 0:Depot"})
            CHECK_MSG(text.find(item) != std::string::npos, item << " in\n" << text);
        CHECK_MSG(host.loader.unload(), host.loader.error());
    }

    LoadedModule host;
    sim::Simulation& s = host.simulation;
    REQUIRE_MSG(host.load(), host.error);
    std::string error;
    const sim::VesselCatalogue classes(
        {{"Tanker", {1000.0, 500.0, 200.0}, 2}, {"Depot", {20000.0, 5000.0}, 1}});
    REQUIRE_MSG(sim::loadScenario(path, s, error, classes), error);
    sim::VesselRecord* tanker = s.findVessel("Tanker");
    sim::VesselRecord* depot = s.findVessel("Depot");
    sim::Display* display = s.findDisplay("Left");
    REQUIRE(tanker && depot && display && display->instrument());
    for (int i = 0; i < 3; ++i) CHECK_EQ(tanker->tanks[i].mass, tankerMasses[i]);
    for (int i = 0; i < 2; ++i) CHECK_EQ(depot->tanks[i].mass, depotMasses[i]);

    sim::GdiDisplay surface(512, 512, sim::cellWidthFor(512), sim::cellHeightFor(512));
    REQUIRE_MSG(surface.ok(), surface.error());
    const winhost::Drawing page = winhost::redraw(*display, surface);
    CHECK_EQ(page.cells.line(3), std::string("Pump Mode: Unload (TGT => SRC)"));
    CHECK_EQ(page.cells.line(6), std::string("Pump Rate: Medium"));
    CHECK_EQ(page.cells.line(13), std::string("Target Tank 2 (of 3)"));
    CHECK_EQ(page.cells.line(17), std::string("Source Tank 1 (of 2)"));

    // The restored pump runs on: 10 kg/s from tanker tank 2 into depot tank 1.
    s.step(1.0);
    CHECK_EQ(tanker->tanks[1].mass, tankerMasses[1] - 10.0);
    CHECK_EQ(depot->tanks[0].mass, depotMasses[0] + 10.0);
    CHECK_MSG(host.loader.unload(), host.loader.error());
}
