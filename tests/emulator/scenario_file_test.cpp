// Scenario files in the simulator's format, and a transfer that runs on across a save and a load.
//
// Test ideas not yet written: a file that is not valid UTF-8 or holds NUL bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/formats/files.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/display.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/read_file.h"
#include "tests/support/scenario_support.h"
#include "tests/support/vessels.h"
#include "transfer/transfer_state.h"

namespace fs = std::filesystem;

namespace {

// One run of the emulator with the module loaded.
struct Emulator : test::ModuleSession {
    test::Drawing redraw(const std::string& display) { return test::redraw(*sim.findDisplay(display)); }
    void run(int steps, double dt) {
        for (int i = 0; i < steps; ++i) sim.step(dt);
    }
    std::vector<double> masses() {
        std::vector<double> out;
        for (sim::VesselRecord* v : sim.vessels()) {
            for (const sim::Tank& t : v->tanks) out.push_back(t.mass);
        }
        return out;
    }
    VESSEL* vessel(const std::string& name) { return sim.findVessel(name)->vessel.get(); }
};

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const fs::path kScenarios = fs::path(KESTRANE_TEST_DATA).parent_path().parent_path() / "scenarios";

class ScenarioFileTest : public ::testing::Test {
protected:
    ScenarioFileTest() {
        dir = fs::temp_directory_path() / ("kestrane-scenario-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    ~ScenarioFileTest() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
        clearTransferState();
    }
    fs::path dir;
    std::string error;
};

// The classes of the tests' own vessels.
const sim::VesselCatalogue kClasses(
    {{"Tanker", {1000, 500, 200}, 2}, {"Depot", {20000, 5000}, 1}, {"Barge", {3000}, 1}}, "test-classes.cfg");

// A tanker docked at its second port to a depot, its left display loading from the depot's
// first tank into the tanker's third at Medium, set up with the keys as a pilot would.
void startLoad(Emulator& e) {
    auto& tanker = e.sim.addVessel({"Tanker", "Tanker", {{1000, 250}, {500, 500}, {200, 0}}, 2});
    auto& depot = e.sim.addVessel({"Depot", "Depot", {{20000, 18000}, {5000, 1200}}, 1});
    ASSERT_TRUE(e.sim.dock(tanker, 1, depot, 0));
    sim::Display& left = e.sim.addDisplay("Left", tanker, 512, 512);
    ASSERT_TRUE(left.openMode(kModeName));
    left.key(kKeyMode);      // Load
    left.key(kKeyDockPort);  // the second port
    e.redraw("Left");        // the depot becomes the source
    left.key(kKeyTargetTank);
    left.key(kKeyTargetTank);
    left.key(kKeyRateUp);
    left.key(kKeyRateUp);
    ASSERT_EQ(transferState.pumpMode, Load);
    ASSERT_EQ(transferState.pumpRate, 2);
    ASSERT_EQ(transferState.sourceVessel, e.vessel("Depot"));
    ASSERT_EQ(transferState.targetTank, 2);
}

// An awkward step, so that the masses are not round numbers in binary.
constexpr double kStep = 0.037;
constexpr int kSteps = 600;  // the receiving tank is full after 541
constexpr int kSavedAt = 250;

TEST_F(ScenarioFileTest, ATransferSavedWhileRunningRunsOnAsFromTheSavedLevels) {
    // The file keeps levels to six decimals, as the simulator's does: the loaded run goes on
    // exactly as a run whose masses were set to those levels at the moment of saving.
    std::vector<double> uninterrupted;
    {
        Emulator e;
        startLoad(e);
        e.run(kSavedAt, kStep);
        test::setSavedLevels(e.sim);
        e.run(kSteps - kSavedAt, kStep);
        uninterrupted = e.masses();
        EXPECT_EQ(transferState.pumpRate, 0) << "stopped at the full tank";
        EXPECT_EQ(uninterrupted[2], 200.0);
    }
    const fs::path file = dir / "running.scn";
    {
        auto e = std::make_unique<Emulator>();
        startLoad(*e);
        e->run(kSavedAt, kStep);
        ASSERT_TRUE(sim::saveScenario(e->sim, file.string(), error)) << error;
    }
    const std::string text = test::readFile(file);
    // 0.037 s × 250 steps at 10 kg/s: 92.5 kg of the depot's 18000 in the tanker's third tank.
    EXPECT_NE(text.find("  PRPLEVEL 0:0.250000 1:1.000000 2:0.462500\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  PRPLEVEL 0:0.895375 1:0.240000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  DOCKINFO 1:0,Depot\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  DOCKINFO 0:1,Tanker\n"), std::string::npos) << text;

    Emulator e;
    ASSERT_TRUE(sim::loadScenario(file.string(), e.sim, error, kClasses)) << error;
    e.redraw("Left");
    EXPECT_EQ(transferState.pumpRate, 2);
    EXPECT_EQ(transferState.sourceVessel, e.vessel("Depot"));
    e.run(kSteps - kSavedAt, kStep);
    EXPECT_EQ(e.masses(), uninterrupted);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(e.sim.calls.badCalls, 0u);
}

TEST_F(ScenarioFileTest, ALoadedTransferStopsWhenAnotherVesselOrNoneIsDockedAtThePort) {
    const fs::path file = dir / "running.scn";
    {
        Emulator e;
        startLoad(e);
        e.run(kSavedAt, kStep);
        ASSERT_TRUE(sim::saveScenario(e.sim, file.string(), error)) << error;
    }
    const std::optional<sim::ScenarioDescription> saved =
        sim::readScenarioFile(file.string(), error, kClasses);
    ASSERT_TRUE(saved) << error;
    ASSERT_EQ(saved->vessels[0].name, "Tanker");
    ASSERT_EQ(saved->vessels[0].docks.size(), 1u);

    {  // a barge docked where the depot was
        sim::ScenarioDescription changed = *saved;
        changed.vessels[1].docks.clear();
        sim::ScenarioVessel barge;
        barge.name = barge.className = "Barge";
        barge.tanks = {{3000, 3000}};
        barge.ports = 1;
        changed.vessels.push_back(barge);
        changed.vessels[0].docks[0].vessel = "Barge";
        Emulator e;
        ASSERT_TRUE(sim::applyScenario(changed, e.sim, error)) << error;
        const std::vector<double> loaded = e.masses();
        e.redraw("Left");
        EXPECT_EQ(transferState.sourceVessel, e.vessel("Barge"));
        EXPECT_EQ(transferState.sourceTank, 0);
        EXPECT_EQ(transferState.pumpRate, 0);
        e.run(100, kStep);
        EXPECT_EQ(e.masses(), loaded);
    }
    {  // nothing docked
        sim::ScenarioDescription changed = *saved;
        for (sim::ScenarioVessel& v : changed.vessels) v.docks.clear();
        Emulator e;
        ASSERT_TRUE(sim::applyScenario(changed, e.sim, error)) << error;
        const std::vector<double> loaded = e.masses();
        e.redraw("Left");
        EXPECT_EQ(transferState.sourceVessel, nullptr);
        EXPECT_EQ(transferState.sourceTank, 0);
        EXPECT_EQ(transferState.pumpRate, 0);
        e.run(100, kStep);
        EXPECT_EQ(e.masses(), loaded);
    }
}

TEST_F(ScenarioFileTest, AVentSavedWhileRunningVentsOnAfterLoadingFromEveryTank) {
    const std::vector<sim::Tank> tanks = {{1000, 250}, {500, 500}, {200, 100}};
    for (const int targetTank : {0, 1, 2}) {
        const fs::path file = dir / ("vent" + std::to_string(targetTank) + ".scn");
        {
            Emulator e;
            auto& ship = e.sim.addVessel({"Ship", "Tanker", tanks, 0});
            sim::Display& d = e.sim.addDisplay("Left", ship, 512, 512);
            ASSERT_TRUE(d.openMode(kModeName));
            for (int i = 0; i < 3; ++i) d.key(kKeyMode);
            for (int i = 0; i < targetTank; ++i) d.key(kKeyTargetTank);
            d.key(kKeyRateUp);
            d.key(kKeyRateUp);
            ASSERT_EQ(transferState.pumpMode, Vent);
            ASSERT_EQ(transferState.pumpRate, 2);
            ASSERT_TRUE(sim::saveScenario(e.sim, file.string(), error)) << error;
        }
        EXPECT_EQ(test::readFile(file).find("SOURCETANK"), std::string::npos);
        Emulator e;
        ASSERT_TRUE(sim::loadScenario(file.string(), e.sim, error, kClasses)) << error;
        EXPECT_EQ(transferState.sourceVessel, nullptr);
        EXPECT_EQ(transferState.targetTank, targetTank);
        EXPECT_EQ(e.redraw("Left").row(6), "Pump Rate: Medium");
        std::vector<double> vented = {250, 500, 100};
        vented[static_cast<size_t>(targetTank)] -= 50;  // 10 kg/s for 5 s
        e.run(10, 0.5);
        EXPECT_EQ(e.masses(), vented);
        EXPECT_EQ(transferState.pumpRate, 2);
    }
}

TEST_F(ScenarioFileTest, TwoDisplaysOfTheModeKeepTheConfigurationAcrossSaveAndLoad) {
    const fs::path file = dir / "two.scn";
    {
        Emulator e;
        ASSERT_TRUE(sim::loadScenario((kScenarios / "two-displays.scn").string(), e.sim, error)) << error;
        ASSERT_EQ(e.sim.displays().size(), 2u);
        EXPECT_EQ(e.sim.findDisplay("Right")->width(), 400u);
        EXPECT_EQ(e.sim.findDisplay("Right")->height(), 300u);
        EXPECT_EQ(transferState.pumpMode, CrossFeed);
        EXPECT_EQ(transferState.pumpRate, 1);
        EXPECT_EQ(transferState.sourceTank, 1);
        e.redraw("Left");
        e.redraw("Right");
        e.run(10, 1.0);
        EXPECT_EQ(e.masses(), (std::vector<double>{260, 510, 0}));
        ASSERT_TRUE(sim::saveScenario(e.sim, file.string(), error)) << error;
    }
    Emulator e;
    ASSERT_TRUE(sim::loadScenario(file.string(), e.sim, error)) << error;
    e.run(10, 1.0);
    // 510 kg of 10400 are saved as the level 0.049038, as the simulator writes it.
    const std::vector<double> masses = e.masses();
    EXPECT_EQ(masses[0], 270.0);
    EXPECT_NEAR(masses[1], 0.049038 * 10400 - 10, 1e-9);
    EXPECT_EQ(e.sim.findDisplay("Right")->height(), 300u);
}

TEST_F(ScenarioFileTest, ASavedSimulationReadsBackAndSavesToTheSameFile) {
    const fs::path first = dir / "first.scn", second = dir / "second.scn";
    sim::VesselCatalogue classes;
    {
        Emulator e;
        auto& a =
            e.sim.addVessel({"Alpha", "Heavy Lifter", {{1000, 0.1 + 0.2}, {1e15, 5e14}, {0, 0}, {3, 0}}, 3});
        auto& b = e.sim.addVessel({"Beta", "", {{10, 5}}, 2});
        e.sim.addVessel({"Gamma", "Probe", {}, 0});
        auto& d = e.sim.addVessel({"Delta", "Depot", {{50, 50}}, 1});
        ASSERT_TRUE(e.sim.dock(a, 0, b, 1));
        ASSERT_TRUE(e.sim.dock(d, 0, a, 2));
        ASSERT_TRUE(e.sim.addDisplay("Left", a, 640, 480).openMode(kModeName));
        e.sim.addDisplay("Right", b, 512, 512);  // shows no mode, on another ship than the focus
        e.sim.addDisplay("3", a, 512, 512)
            .showForeign("Orbit", "the simulator's own",
                         {"BEGIN_MFD 3", "  TYPE Orbit", "  REF Earth", "END_MFD"});
        classes = test::classesOf(e.sim);
        sim::ScenarioDescription base;
        base.description = {"Round trip", "  indented line"};
        ASSERT_TRUE(sim::saveScenario(e.sim, first.string(), error, base)) << error;
    }
    const std::string text = test::readFile(first);
    for (const char* line :
         {"BEGIN_DESC\nRound trip\n  indented line\nEND_DESC\n", "  Ship Alpha\n",
          "Alpha:Heavy Lifter\n  PRPLEVEL 0:0.000300 1:0.500000\n  DOCKINFO 0:1,Beta 2:0,Delta\nEND\n",
          "Beta:Beta\n  PRPLEVEL 0:0.500000\n  DOCKINFO 1:0,Alpha\nEND\n", "Gamma:Probe\nEND\n",
          "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n  PUMPMODE 0\n",
          "BEGIN_MFD 3\n  TYPE Orbit\n  REF Earth\nEND_MFD\n",
          "  DISPLAY Left 640 480\n  DISPLAY Right 512 512 Beta\nEND\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    // Right is off: as the simulator, no block for it; the emulator's own line keeps its ship.
    EXPECT_EQ(text.find("BEGIN_MFD Right"), std::string::npos) << text;

    Emulator e;
    const std::optional<sim::ScenarioDescription> parsed =
        sim::readScenarioFile(first.string(), error, classes);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->description, (std::vector<std::string>{"Round trip", "  indented line"}));
    EXPECT_EQ(parsed->focus, "Alpha");
    ASSERT_TRUE(sim::applyScenario(*parsed, e.sim, error)) << error;

    sim::VesselRecord* a = e.sim.findVessel("Alpha");
    sim::VesselRecord* b = e.sim.findVessel("Beta");
    sim::VesselRecord* d = e.sim.findVessel("Delta");
    ASSERT_TRUE(a && b && d && e.sim.findVessel("Gamma"));
    EXPECT_EQ(a->className, "Heavy Lifter");
    EXPECT_EQ(b->className, "Beta");  // written as the simulator does: name:class
    ASSERT_EQ(a->tanks.size(), 4u);
    EXPECT_DOUBLE_EQ(a->tanks[0].mass, 0.3);
    EXPECT_EQ(a->tanks[1].mass, 5e14);
    EXPECT_EQ(a->tanks[2].mass, 0.0);
    EXPECT_EQ(a->tanks[3].mass, 0.0);
    EXPECT_EQ(a->ports.size(), 3u);
    EXPECT_EQ(a->ports[0].docked, b);
    EXPECT_EQ(a->ports[0].dockedPort, 1u);
    EXPECT_EQ(a->ports[1].docked, nullptr);
    EXPECT_EQ(a->ports[2].docked, d);
    EXPECT_EQ(d->ports[0].docked, a);

    sim::Display* left = e.sim.findDisplay("Left");
    sim::Display* right = e.sim.findDisplay("Right");
    sim::Display* third = e.sim.findDisplay("3");
    ASSERT_TRUE(left && right && third);
    EXPECT_EQ(&left->vessel(), a);
    EXPECT_EQ(left->width(), 640u);
    EXPECT_EQ(left->height(), 480u);
    EXPECT_NE(dynamic_cast<PumpMFD*>(left->instrument()), nullptr);
    EXPECT_EQ(&right->vessel(), b);
    EXPECT_EQ(right->instrument(), nullptr);
    EXPECT_EQ(right->foreign(), "");
    EXPECT_EQ(third->foreign(), "Orbit");
    EXPECT_EQ(test::redraw(*third).row(0), "Orbit");

    ASSERT_TRUE(sim::saveScenario(e.sim, second.string(), error, *parsed)) << error;
    EXPECT_EQ(test::readFile(second), text);
}

TEST_F(ScenarioFileTest, ShippedScenariosLoadWithTheirItems) {
    int loaded = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kScenarios)) {
        if (entry.path().extension() != ".scn") continue;
        Emulator e;
        EXPECT_TRUE(sim::loadScenario(entry.path().string(), e.sim, error)) << error;
        EXPECT_EQ(e.sim.calls.badCalls, 0u) << entry.path();
        ++loaded;
    }
    EXPECT_GE(loaded, 3);

    Emulator e;
    ASSERT_TRUE(sim::loadScenario((kScenarios / "load-running.scn").string(), e.sim, error)) << error;
    EXPECT_EQ(transferState.pumpMode, Load);
    EXPECT_EQ(transferState.pumpRate, 2);
    EXPECT_EQ(transferState.targetTank, 2);
    EXPECT_EQ(transferState.sourceVessel, e.vessel("Depot"));
    e.redraw("Left");
    e.run(100, 1.0);
    EXPECT_EQ(e.sim.findVessel("Tanker")->tanks[2].mass, 600.0);
    EXPECT_EQ(e.sim.findVessel("Depot")->tanks[0].mass, 4350.0);
}

TEST_F(ScenarioFileTest, ABadFileIsRefusedWithItsFileAndLineAndChangesNothing) {
    const std::string ships = "BEGIN_SHIPS\nA:Tanker\n  PRPLEVEL 0:0.5\nEND\n";
    const std::string shipsEnd = ships + "END_SHIPS\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"BEGIN_SHIPS\nA:Spaceship\nEND\nEND_SHIPS\n",
         "bad.scn:2: ship 'A': unknown vessel class 'Spaceship'; add it to test-classes.cfg"},
        {ships + "B:Tanker\n  PRPLEVEL 0:half\nEND\nEND_SHIPS\n",
         "bad.scn:6: PRPLEVEL: cannot read '0:half' as tank:level"},
        {ships + "B:Tanker\n  PRPLEVEL 0:nan\nEND\nEND_SHIPS\n", "bad.scn:6: PRPLEVEL: cannot read '0:nan'"},
        {ships + "B:Tanker\n  FUEL\nEND\nEND_SHIPS\n", "bad.scn:6: FUEL: expected one level"},
        {ships + "B:Tanker\n  DOCKINFO 0:0\nEND\nEND_SHIPS\n",
         "bad.scn:6: DOCKINFO: cannot read '0:0' as port:otherport,name"},
        {ships + "B:Tanker\n  DOCKINFO 5:0,A\nEND\nEND_SHIPS\n",
         "bad.scn:6: DOCKINFO: ship 'B' has no port 5"},
        {ships + "B:Depot\n  DOCKINFO 0:2,A\nEND\nEND_SHIPS\n",
         "bad.scn:6: DOCKINFO: ship 'A' has no port 2 (its class has 2)"},
        {ships + "B:Tanker\n  DOCKINFO 0:0,B\nEND\nEND_SHIPS\n",
         "bad.scn:6: DOCKINFO: ship 'B' docked to itself"},
        {ships + "B:Depot\n  DOCKINFO 0:0,A\nEND\nC:Depot\n  DOCKINFO 0:0,A\nEND\nEND_SHIPS\n",
         "bad.scn:9: DOCKINFO: port 0 of 'A' is already docked to 'B'"},
        {ships, "bad.scn:1: BEGIN_SHIPS without END_SHIPS"},
        {"BEGIN_SHIPS\nA:Tanker\n  STATUS Orbiting Earth\nEND_SHIPS\n",
         "bad.scn:2: ship 'A' has no END line before END_SHIPS"},
        {ships + "A:Depot\nEND\nEND_SHIPS\n", "bad.scn:5: duplicate ship name 'A' (first at line 2)"},
        {"BEGIN_SHIPS\nBig Ship:Tanker\nEND\nEND_SHIPS\n", "bad.scn:2: ship name 'Big Ship' is not one word"},
        {"BEGIN_FOCUS\n  Ship Q\nEND_FOCUS\n" + shipsEnd,
         "bad.scn:2: the focus ship 'Q' is not among the ships"},
        {"BEGIN_MFD Left\n  TYPE User\nEND_MFD\n" + shipsEnd,
         "bad.scn:2: TYPE User without a MODE line right after it"},
        {"BEGIN_MFD Left\n  TYPE User\n\n  MODE Fuel Management\nEND_MFD\n" + shipsEnd,
         "bad.scn:2: TYPE User without a MODE line"},
        {"BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n  PUMPMODE 1\n",
         "bad.scn:1: BEGIN_MFD without END_MFD"},
        {"BEGIN_MFD Aux\nEND_MFD\n" + shipsEnd,
         "bad.scn:1: display 'Aux': the displays are Left, Right and 3 to 12"},
        {"BEGIN_MFD Left\nEND_MFD\nBEGIN_MFD left\nEND_MFD\n" + shipsEnd,
         "bad.scn:3: second block of display 'left' (the first is at line 1)"},
        {"BEGIN_MFD Left\nEND_MFD\n", "bad.scn:1: display 'Left': the scenario has no ship to show it on"},
        {"BEGIN_DESC\nno end\n", "bad.scn:1: BEGIN_DESC without END_DESC"},
        {shipsEnd + "BEGIN_FOCUS\n  Ship A\n", "bad.scn:6: BEGIN_FOCUS without END_FOCUS"},
        {"BEGIN_FOCUS\n  Ship\nEND_FOCUS\n" + shipsEnd, "bad.scn:2: expected \"Ship name\""},
        {"BEGIN_MFD Left\nEND_MFD\n" + shipsEnd + "BEGIN_KESTRANE_SIM\n  DISPLAY Left 0 10\nEND\n",
         "bad.scn:9: DISPLAY Left: width '0' is not a whole number from 1 to 65535"},
        // Sizes read as everywhere else: decimal, so a hex word or a negative one is no size.
        {shipsEnd + "BEGIN_KESTRANE_SIM\n  VIEW panel 232 -1\nEND\n",
         "bad.scn:7: VIEW panel: height '-1' is not a whole number from 1 to 65535"},
        {shipsEnd + "BEGIN_KESTRANE_SIM\n  VIEW vc 0x100 512\nEND\n",
         "bad.scn:7: VIEW vc: width '0x100' is not a whole number from 1 to 65535"},
        {"BEGIN_MFD Left\nEND_MFD\n" + shipsEnd + "BEGIN_KESTRANE_SIM\n  DISPLAY Left 10 10 Q\nEND\n",
         "bad.scn:9: display 'Left' on unknown ship 'Q'"},
        {shipsEnd + "BEGIN_KESTRANE_SIM\n  DISPLAY Aux 10 10\nEND\n",
         "bad.scn:7: display 'Aux': the displays are Left, Right and 3 to 12"},
        {shipsEnd + "BEGIN_KESTRANE_SIM\n  SIZE 10 10\nEND\n",
         "bad.scn:7: unknown line 'SIZE' in BEGIN_KESTRANE_SIM"},
        {shipsEnd + "BEGIN_KESTRANE_SIM\n", "bad.scn:6: BEGIN_KESTRANE_SIM without END"},
        {shipsEnd + shipsEnd, "bad.scn:6: second BEGIN_SHIPS block (the first is at line 1)"},
        {"BEGIN_DESC\nEND_DESC\n" + shipsEnd + "BEGIN_DESC\nEND_DESC\n",
         "bad.scn:8: second BEGIN_DESC block (the first is at line 1)"},
        {"BEGIN_SHIPS\nPresent:Tanker\nEND\nEND_SHIPS\n", "bad.scn:2: vessel 'Present' already exists"},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / "bad.scn";
        writeFile(file, c.text);
        Emulator e;
        auto& present = e.sim.addVessel({"Present", "", {{10, 1}}, 1});
        ASSERT_TRUE(e.sim.addDisplay("Main", present, 512, 512).openMode(kModeName));
        transferState.pumpRate = 3;
        const std::string shortName = "bad.scn";
        EXPECT_FALSE(sim::loadScenario(file.string(), e.sim, error, kClasses)) << c.text;
        // The message names the file as it was given, and is one line.
        EXPECT_EQ(error.substr(0, file.string().size()), file.string());
        EXPECT_NE(error.find(c.message.substr(shortName.size())), std::string::npos) << error << "\n"
                                                                                     << c.message;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(e.sim.vessels().size(), 1u) << error;
        EXPECT_EQ(e.sim.displays().size(), 1u) << error;
        EXPECT_EQ(transferState.pumpRate, 3) << error;
    }

    Emulator e;
    EXPECT_FALSE(sim::loadScenario((dir / "missing.scn").string(), e.sim, error));
    EXPECT_NE(error.find("missing.scn: cannot open"), std::string::npos) << error;
    EXPECT_TRUE(e.sim.vessels().empty());

    // A registered mode that makes no instrument: what was created is taken out again.
    MFDMODESPEC broken{hostText("Broken"), 0x30,
                       [](UINT, UINT, WPARAM, LPARAM) -> OAPI_MSGTYPE { return 0; }};
    oapiRegisterMFDMode(broken);
    const std::string text =
        "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\nEND_MFD\n"
        "BEGIN_MFD Right\n  TYPE User\n  MODE broken\nEND_MFD\n" +
        shipsEnd;
    const std::optional<sim::ScenarioDescription> parsed =
        sim::parseScenario(text, "broken.scn", error, kClasses);
    ASSERT_TRUE(parsed) << error;
    EXPECT_FALSE(sim::applyScenario(*parsed, e.sim, error));
    EXPECT_EQ(error, "broken.scn:7: mode 'broken' made no instrument");
    EXPECT_TRUE(e.sim.vessels().empty());
    EXPECT_TRUE(e.sim.displays().empty());
}

TEST_F(ScenarioFileTest, AFileLargerThanAnyScenarioIsRefusedUnread) {
    const fs::path file = dir / "huge.scn";
    {
        std::ofstream out(file, std::ios::binary);
        const std::string block(1 << 20, ';');
        for (size_t i = 0; i <= sim::kMaxFileSize >> 20; ++i) out << block;
    }
    EXPECT_FALSE(sim::readScenarioFile(file.string(), error));
    EXPECT_EQ(error, file.string() + ": cannot read: larger than 16 MiB");
    // An endless one is no regular file: refused before it is opened.
    if (fs::exists("/dev/zero")) {
        EXPECT_FALSE(sim::readScenarioFile("/dev/zero", error));
        EXPECT_EQ(error, "/dev/zero: cannot open: it is a character device, not a regular file");
    }
}

TEST_F(ScenarioFileTest, AFailedSaveLeavesTheOldFileAndTheRunningState) {
    Emulator e;
    auto& ship = e.sim.addVessel({"Ship", "", {{10, 1}, {10, 2}}, 0});
    ASSERT_TRUE(e.sim.addDisplay("Left", ship, 512, 512).openMode(kModeName));
    transferState.sourceTank = 1;
    transferState.pumpRate = 2;

    // The temporary file cannot be made: the instrument is not even asked for its block.
    const fs::path file = dir / "old.scn";
    writeFile(file, "OLD");
    fs::create_directory(dir / "old.scn.tmp");
    EXPECT_FALSE(sim::saveScenario(e.sim, file.string(), error));
    EXPECT_NE(error.find("old.scn.tmp"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(file), "OLD");
    EXPECT_EQ(transferState.pumpRate, 2);
    EXPECT_EQ(transferState.targetVessel, e.vessel("Ship"));

    EXPECT_FALSE(sim::saveScenario(e.sim, (dir / "no-such-dir" / "x.scn").string(), error));
    EXPECT_FALSE(fs::exists(dir / "no-such-dir"));

    // The finished file cannot replace the target: the temporary file goes again.
    const fs::path occupied = dir / "occupied";
    fs::create_directories(occupied / "inside");
    EXPECT_FALSE(sim::writeScenarioFile(occupied.string(), "text", error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(occupied / "inside"));
    EXPECT_FALSE(fs::exists(dir / "occupied.tmp"));

    // What the file could not give back refuses the save before anything is written.
    struct Refused {
        std::string vessel, className, display, says;
    };
    for (const Refused& r :
         {Refused{"Big Ship", "", "", "vessel name 'Big Ship'"}, Refused{"A:B", "", "", "vessel name 'A:B'"},
          Refused{"Odd", "A;B", "", "class name 'A;B'"},
          Refused{"Aux", "", "Aux", "display 'Aux': the displays are Left, Right and 3 to 12"}}) {
        auto& v = e.sim.addVessel({r.vessel, r.className, {}, 0});
        if (!r.display.empty()) e.sim.addDisplay(r.display, v, 512, 512);
        EXPECT_FALSE(sim::saveScenario(e.sim, (dir / "names.scn").string(), error));
        EXPECT_NE(error.find(r.says), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(dir / "names.scn"));
        EXPECT_EQ(transferState.pumpRate, 2);
        e.sim.removeVessel(v);
    }

    // And a save that works replaces the old file.
    ASSERT_TRUE(sim::saveScenario(e.sim, (dir / "new.scn").string(), error)) << error;
    fs::remove(dir / "old.scn.tmp");
    ASSERT_TRUE(sim::writeScenarioFile(file.string(), test::readFile(dir / "new.scn"), error)) << error;
    EXPECT_NE(test::readFile(file).find("SOURCETANK 1:Ship"), std::string::npos);
}

TEST_F(ScenarioFileTest, LinesAreReadAsTheSimulatorReadsThem) {
    const std::string text =
        "; a comment\n"
        "\n"
        "BEGIN_DESC\n"
        "Kept ; as it stands\n"
        "END_DESC ; the end of the description\n"
        "begin_mfd Left   ; blocks are found without regard to case\r\n"
        "  type user\n"
        "  mode fuel management\n"
        "      TARGETTANK 1\r\n"
        "\n"
        "  ; not an item\n"
        "\t  DOCKPORT 1 ; a comment the reader cuts off\n"
        "END_MFD   ; the end of the items\n"
        "BEGIN_SHIPS\n"
        "  ; a comment between ships\n"
        "Ship : Tanker ; the class after the first colon\n"
        "\tPRPLEVEL  0:0.25 1:2 7:1 -1:1 ; past the tanks, or held to 1\n"
        "  FUEL 0.5 ; later: every tank\n"
        "  PRPLEVEL 2:0.5\n"
        "  end\n"
        "End_Ships\n";
    const std::optional<sim::ScenarioDescription> parsed =
        sim::parseScenario(text, "inline", error, kClasses);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->description, std::vector<std::string>{"Kept ; as it stands"});
    ASSERT_EQ(parsed->vessels.size(), 1u);
    EXPECT_EQ(parsed->vessels[0].name, "Ship");
    EXPECT_EQ(parsed->vessels[0].className, "Tanker");
    EXPECT_EQ(parsed->vessels[0].tanks[0].mass, 500.0);  // FUEL came after the first PRPLEVEL
    EXPECT_EQ(parsed->vessels[0].tanks[1].mass, 250.0);
    EXPECT_EQ(parsed->vessels[0].tanks[2].mass, 100.0);
    EXPECT_EQ(parsed->vessels[0].before, std::vector<std::string>{"  ; a comment between ships"});
    ASSERT_EQ(parsed->displays.size(), 1u);
    EXPECT_EQ(parsed->displays[0].vessel, "Ship");
    EXPECT_EQ(parsed->displays[0].width, sim::kDefaultDisplaySize);
    Emulator e;
    ASSERT_TRUE(sim::applyScenario(*parsed, e.sim, error)) << error;
    ASSERT_NE(e.sim.findDisplay("Left")->instrument(), nullptr);
    EXPECT_EQ(transferState.targetTank, 1);
    EXPECT_EQ(transferState.dockPort, 1);
    // Written back: the comments and blank lines in their places, the ship's levels anew.
    const std::string saved = sim::formatScenario(sim::captureScenario(e.sim, *parsed));
    EXPECT_NE(saved.find("; a comment\n\nBEGIN_DESC\nKept ; as it stands\nEND_DESC\n"), std::string::npos)
        << saved;
    EXPECT_NE(saved.find("BEGIN_SHIPS\n  ; a comment between ships\nShip:Tanker\n"
                         "  PRPLEVEL 0:0.500000 1:0.500000 2:0.500000\nEND\nEND_SHIPS\n"),
              std::string::npos)
        << saved;
}

}  // namespace
