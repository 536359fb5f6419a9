// Scenario files of the emulator, and a transfer that runs on across a save and a load.
//
// Test ideas not yet written: a file that is not valid UTF-8 or holds NUL bytes.
#include "sim/scenario_file.h"

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
#include "sim/display.h"
#include "test_support.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/read_file.h"

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

TEST_F(ScenarioFileTest, ATransferSavedWhileRunningRunsOnToTheSameMassesAfterLoading) {
    std::vector<double> uninterrupted;
    {
        Emulator e;
        startLoad(e);
        e.run(kSteps, kStep);
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
    Emulator e;
    ASSERT_TRUE(sim::loadScenario(file.string(), e.sim, error)) << error;
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
    const std::optional<sim::ScenarioDescription> saved = sim::readScenarioFile(file.string(), error);
    ASSERT_TRUE(saved) << error;
    ASSERT_EQ(saved->vessels[0].name, "Tanker");
    ASSERT_EQ(saved->vessels[0].docks.size(), 1u);

    {  // a barge docked where the depot was
        sim::ScenarioDescription changed = *saved;
        changed.vessels.push_back({"Barge", "Barge", {{3000, 3000}}, 1, {}, 0});
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
        changed.vessels[0].docks.clear();
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
    const std::vector<sim::Tank> tanks = {{1000, 250}, {500, 500}, {300, 100}};
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
        ASSERT_TRUE(sim::loadScenario(file.string(), e.sim, error)) << error;
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
        EXPECT_EQ(transferState.pumpMode, CrossFeed);
        EXPECT_EQ(transferState.pumpRate, 1);
        EXPECT_EQ(transferState.sourceTank, 1);
        e.redraw("Left");
        e.redraw("Right");
        e.run(10, 1.0);
        EXPECT_EQ(e.masses(), (std::vector<double>{260, 490, 0}));
        ASSERT_TRUE(sim::saveScenario(e.sim, file.string(), error)) << error;
    }
    Emulator e;
    ASSERT_TRUE(sim::loadScenario(file.string(), e.sim, error)) << error;
    e.run(10, 1.0);
    EXPECT_EQ(e.masses(), (std::vector<double>{270, 480, 0}));
}

TEST_F(ScenarioFileTest, SavedVesselsDisplaysAndMassesReadBackExactly) {
    const fs::path first = dir / "first.scn", second = dir / "second.scn";
    const std::vector<sim::Tank> tanks = {{1000, 0.1 + 0.2}, {1e15, 1e-300}, {1, std::nextafter(1.0, 0.0)},
                                          {5e-324, 5e-324},  {0, 0},         {123456.789, 98765.4321}};
    {
        Emulator e;
        auto& a = e.sim.addVessel({"Alpha", "Heavy Lifter", tanks, 3});
        auto& b = e.sim.addVessel({"Beta", "", {{10, 5}}, 2});
        e.sim.addVessel({"Gamma", "Probe", {}, 0});
        auto& d = e.sim.addVessel({"Delta", "Depot", {{50, 50}}, 1});
        ASSERT_TRUE(e.sim.dock(a, 0, b, 1));
        ASSERT_TRUE(e.sim.dock(d, 0, a, 2));
        ASSERT_TRUE(e.sim.addDisplay("Left", a, 640, 480).openMode(kModeName));
        e.sim.addDisplay("Aux", b, 300, 200);  // shows no mode
        ASSERT_TRUE(sim::saveScenario(e.sim, first.string(), error, {"Round trip", "  indented line"}))
            << error;
    }
    Emulator e;
    const std::optional<sim::ScenarioDescription> parsed = sim::readScenarioFile(first.string(), error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->description, (std::vector<std::string>{"Round trip", "  indented line"}));
    ASSERT_TRUE(sim::applyScenario(*parsed, e.sim, error)) << error;

    sim::VesselRecord* a = e.sim.findVessel("Alpha");
    sim::VesselRecord* b = e.sim.findVessel("Beta");
    sim::VesselRecord* d = e.sim.findVessel("Delta");
    ASSERT_TRUE(a && b && d && e.sim.findVessel("Gamma"));
    EXPECT_EQ(a->className, "Heavy Lifter");
    ASSERT_EQ(a->tanks.size(), tanks.size());
    for (size_t i = 0; i < tanks.size(); ++i) {
        EXPECT_EQ(a->tanks[i].capacity, tanks[i].capacity) << i;
        EXPECT_EQ(a->tanks[i].mass, tanks[i].mass) << i;
    }
    EXPECT_EQ(a->ports.size(), 3u);
    EXPECT_EQ(a->ports[0].docked, b);
    EXPECT_EQ(a->ports[0].dockedPort, 1u);
    EXPECT_EQ(a->ports[1].docked, nullptr);
    EXPECT_EQ(a->ports[2].docked, d);
    EXPECT_EQ(d->ports[0].docked, a);
    EXPECT_EQ(d->ports[0].dockedPort, 2u);

    sim::Display* left = e.sim.findDisplay("Left");
    sim::Display* aux = e.sim.findDisplay("Aux");
    ASSERT_TRUE(left && aux);
    EXPECT_EQ(&left->vessel(), a);
    EXPECT_EQ(left->width(), 640u);
    EXPECT_EQ(left->height(), 480u);
    EXPECT_NE(dynamic_cast<PumpMFD*>(left->instrument()), nullptr);
    EXPECT_EQ(aux->instrument(), nullptr);
    EXPECT_EQ(aux->height(), 200u);

    ASSERT_TRUE(sim::saveScenario(e.sim, second.string(), error, parsed->description)) << error;
    EXPECT_EQ(test::readFile(second), test::readFile(first));

    // A tank the file format would refuse is not saved at all.
    e.sim.addVessel({"Huge", "", {{2e15, 1}}, 0});
    EXPECT_FALSE(sim::saveScenario(e.sim, second.string(), error, {}));
    EXPECT_NE(error.find("'Huge': a tank above 1e15 kg"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(second), test::readFile(first));
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
    EXPECT_EQ(e.sim.findVessel("Tanker")->tanks[2].mass, 200.0);
    EXPECT_EQ(e.sim.findVessel("Depot")->tanks[0].mass, 17800.0);
}

TEST_F(ScenarioFileTest, ABadFileIsRefusedWithItsFileAndLineAndChangesNothing) {
    const std::string vessel = "BEGIN_VESSEL A\n  TANK 10 5\n  PORTS 1\nEND_VESSEL\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {vessel + "FOO 1\n", "bad.scn:5: unknown keyword 'FOO'"},
        {"BEGIN_VESSEL A\n  FUEL 10 5\nEND_VESSEL\n", "bad.scn:2: unknown keyword 'FUEL' in a vessel block"},
        {"BEGIN_VESSEL A\n  TANK 10 5x\nEND_VESSEL\n", "bad.scn:2: malformed number '5x'"},
        {"BEGIN_VESSEL A\n  TANK 10 nan\nEND_VESSEL\n", "bad.scn:2: malformed number 'nan'"},
        {"BEGIN_VESSEL A\n  PORTS -1\nEND_VESSEL\n", "bad.scn:2: malformed number '-1'"},
        {"BEGIN_VESSEL A\n  PORTS 99999\nEND_VESSEL\n", "bad.scn:2: more than 1024 ports"},
        {"BEGIN_VESSEL A\n  PORTS 99999999999999999999\nEND_VESSEL\n",
         "bad.scn:2: number out of range '99999999999999999999'"},
        {"BEGIN_VESSEL A\n  TANK 1.1e15 1\nEND_VESSEL\n", "bad.scn:2: capacity above 1e15 kg"},
        {"BEGIN_VESSEL A\n  TANK 10 10.5\nEND_VESSEL\n", "bad.scn:2: mass above capacity"},
        {"BEGIN_VESSEL A\n  TANK 10 -1\nEND_VESSEL\n", "bad.scn:2: negative mass"},
        {"BEGIN_VESSEL A\n  TANK 10 5\n", "bad.scn:1: BEGIN_VESSEL without END_VESSEL"},
        {vessel + vessel, "bad.scn:5: duplicate vessel name 'A' (first at line 1)"},
        {"BEGIN_VESSEL B\n  PORTS 1\n  DOCK 0 Z 0\nEND_VESSEL\n",
         "bad.scn:3: dock link to unknown vessel 'Z'"},
        {vessel + "BEGIN_VESSEL B\n  DOCK 1 A 0\n  PORTS 1\nEND_VESSEL\n",
         "bad.scn:6: vessel 'B' has no port 1"},
        {vessel + "BEGIN_VESSEL B\n  PORTS 1\n  DOCK 0 A 3\nEND_VESSEL\n",
         "bad.scn:7: vessel 'A' has no port 3"},
        {vessel + "BEGIN_VESSEL B\n PORTS 1\n DOCK 0 A 0\nEND_VESSEL\nBEGIN_VESSEL C\n PORTS 1\n DOCK 0 A "
                  "0\nEND_VESSEL\n",
         "bad.scn:11: port 0 of 'A' is already docked to 'B'"},
        // At the VESSEL line that names it, not at the block's first line.
        {vessel + "BEGIN_DISPLAY L\n  VESSEL Q\nEND_DISPLAY\n",
         "bad.scn:6: display 'L' on unknown vessel 'Q'"},
        {vessel + "BEGIN_DISPLAY L\n  SIZE 0 10\n", "bad.scn:6: display size out of range"},
        {vessel + "BEGIN_DISPLAY L\n  VESSEL A\n  MODE Fuel Management\n  PUMPMODE 1\n",
         "bad.scn:5: BEGIN_DISPLAY without END_DISPLAY"},
        {vessel + "BEGIN_DISPLAY L\n  VESSEL A\n  MODE Nothing Here\nEND_DISPLAY\n",
         "bad.scn:7: mode 'Nothing Here' is not registered"},
        {"BEGIN_VESSEL Present\nEND_VESSEL\n", "bad.scn:1: vessel 'Present' already exists"},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / "bad.scn";
        writeFile(file, c.text);
        Emulator e;
        auto& present = e.sim.addVessel({"Present", "", {{10, 1}}, 1});
        ASSERT_TRUE(e.sim.addDisplay("Main", present, 512, 512).openMode(kModeName));
        transferState.pumpRate = 3;
        const std::string shortName = "bad.scn";
        EXPECT_FALSE(sim::loadScenario(file.string(), e.sim, error)) << c.text;
        // The message names the file as it was given.
        EXPECT_EQ(error.substr(0, file.string().size()), file.string());
        EXPECT_NE(error.find(c.message.substr(shortName.size())), std::string::npos) << error;
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
    const std::string text = vessel + "BEGIN_DISPLAY L\n VESSEL A\n MODE Fuel Management\nEND_DISPLAY\n" +
                             "BEGIN_DISPLAY M\n VESSEL A\n MODE Broken\nEND_DISPLAY\n";
    const std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(text, "broken.scn", error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_FALSE(sim::applyScenario(*parsed, e.sim, error));
    EXPECT_EQ(error, "broken.scn:11: mode 'Broken' made no instrument");
    EXPECT_TRUE(e.sim.vessels().empty());
    EXPECT_TRUE(e.sim.displays().empty());
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

    // Names the file could not give back refuse the save before anything is written.
    auto& big = e.sim.addVessel({"Big Ship", "", {}, 0});
    EXPECT_FALSE(sim::saveScenario(e.sim, (dir / "names.scn").string(), error));
    EXPECT_NE(error.find("vessel name 'Big Ship'"), std::string::npos) << error;
    e.sim.removeVessel(big);
    e.sim.addVessel({"Odd", "A;B", {}, 0});
    EXPECT_FALSE(sim::saveScenario(e.sim, (dir / "names.scn").string(), error));
    EXPECT_FALSE(fs::exists(dir / "names.scn"));
    EXPECT_EQ(transferState.pumpRate, 2);
    e.sim.removeVessel(*e.sim.findVessel("Odd"));

    // And a save that works replaces the old file.
    ASSERT_TRUE(sim::saveScenario(e.sim, (dir / "new.scn").string(), error)) << error;
    fs::remove(dir / "old.scn.tmp");
    ASSERT_TRUE(sim::writeScenarioFile(file.string(), test::readFile(dir / "new.scn"), error)) << error;
    EXPECT_NE(test::readFile(file).find("SOURCETANK 1:Ship"), std::string::npos);
}

TEST_F(ScenarioFileTest, CommentsBlankLinesAndIndentedItemsAreRead) {
    const std::string text =
        "; a comment\n"
        "\n"
        "BEGIN_DESC\n"
        "Kept ; as it stands\n"
        "END_DESC ; the end of the description\n"
        "BEGIN_VESSEL Ship   ; trailing comment\r\n"
        "\tCLASS  Long Class Name  \n"
        "  TANK 2.5e2 1e2\n"
        "  PORTS 2\n"
        "END_VESSEL\n"
        "BEGIN_DISPLAY Left\n"
        "  VESSEL Ship\n"
        "  MODE Fuel Management\n"
        "      TARGETTANK 1\r\n"
        "\n"
        "  ; not an item\n"
        "\t  DOCKPORT 1\n"
        "END_DISPLAY   ; the end of the items\n";
    const std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(text, "inline", error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->description, std::vector<std::string>{"Kept ; as it stands"});
    ASSERT_EQ(parsed->vessels.size(), 1u);
    EXPECT_EQ(parsed->vessels[0].className, "Long Class Name");
    EXPECT_EQ(parsed->vessels[0].tanks[0].capacity, 250.0);
    EXPECT_EQ(parsed->displays[0].width, sim::kDefaultDisplaySize);
    EXPECT_EQ(parsed->displays[0].items,
              (std::vector<std::string>{"TARGETTANK 1", "", "; not an item", "DOCKPORT 1"}));
    Emulator e;
    ASSERT_TRUE(sim::applyScenario(*parsed, e.sim, error)) << error;
    EXPECT_EQ(transferState.targetTank, 1);
    EXPECT_EQ(transferState.dockPort, 1);
}

}  // namespace
