// The simulator's own scenario files (tests/data/simulator-scenarios): each loads with every ship,
// its tanks and ports from its class, its docking and the focus ship's displays; saved with
// nothing changed it differs only where the simulator writes differently; and with Fuel
// Management on the left display each transfer the file allows runs, saves and loads again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "module/module_entry.h"
#include "sim/formats/text.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/scenario_block.h"
#include "sim/world/simulation.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/read_file.h"
#include "transfer/transfer_state.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFiles = fs::path(KESTRANE_TEST_DATA) / "simulator-scenarios";

std::string fileText(const std::string& name) { return test::readFile(kFiles / name); }

std::string keywordOf(std::string_view line) {
    const std::vector<std::string_view> words = sim::splitWords(line);
    return words.empty() ? std::string() : std::string(words[0]);
}

bool isLevels(std::string_view line) {
    const std::string word = keywordOf(line);
    return word == "PRPLEVEL" || word == "FUEL";
}

// A PRPLEVEL line as the simulator writes it: "  PRPLEVEL" and tank:level pairs, six decimals.
bool writtenAsTheSimulatorDoes(std::string_view line) {
    if (!line.starts_with("  PRPLEVEL ")) return false;
    const std::vector<std::string_view> words = sim::splitWords(line);
    for (size_t i = 1; i < words.size(); ++i) {
        const size_t colon = words[i].find(':'), point = words[i].find('.');
        if (colon == std::string_view::npos || point == std::string_view::npos || point < colon ||
            words[i].size() - point - 1 != 6)
            return false;
    }
    return words.size() > 1;
}

// Where `saved` differs from `original` beyond what the simulator itself writes differently:
// PRPLEVEL with six decimals in place of PRPLEVEL or FUEL (or where a ship had none), a ship
// without a class written "name:name". The display block `skip` is left out of both.
std::string differences(const std::string& original, const std::string& saved, const std::string& skip = {}) {
    auto lines = [&](const std::string& text) {
        std::vector<std::string> out;
        bool skipping = false;
        for (const std::string_view line : sim::splitLines(text)) {
            if (!skip.empty() && line == "BEGIN_MFD " + skip) skipping = true;
            if (!skipping) out.emplace_back(line);
            if (skipping && line.starts_with("END_MFD")) skipping = false;
        }
        return out;
    };
    const std::vector<std::string> a = lines(original), b = lines(saved);
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const std::string was = i < a.size() ? a[i] : "(end)", now = j < b.size() ? b[j] : "(end)";
        if (was == now) {
            ++i, ++j;
        } else if (isLevels(was) && writtenAsTheSimulatorDoes(now)) {
            ++i, ++j;
        } else if (writtenAsTheSimulatorDoes(now)) {
            ++j;  // a ship that had no levels written
        } else if (was.find(':') == std::string::npos && now == was + ":" + was) {
            ++i, ++j;
        } else {
            return "line " + std::to_string(i + 1) + " '" + was + "' saved as '" + now + "'";
        }
    }
    return "";
}

struct Ship {
    std::string name;
    size_t tanks;
    unsigned ports;
};

struct FileFacts {
    std::string file, focus;
    std::vector<Ship> ships;
    std::vector<std::pair<std::string, std::string>> displays;  // id, what it shows
    std::vector<std::string> docked;                            // "ship:port-other:port"
};

const std::vector<FileFacts> kFacts = {
    {"Atlantis docked at ISS.scn",
     "STS-101",
     {{"ISS", 1, 5}, {"GL-01", 2, 1}, {"STS-101", 1, 2}, {"GL-02", 2, 1}, {"SH-01", 2, 1}},
     {{"Left", "Docking"}, {"Right", "Orbit"}},
     {"ISS:1-STS-101:0"}},
    {"Atmospheric autopilot.scn",
     "GL-01S",
     {{"ISS", 1, 5},
      {"Mir", 0, 3},
      {"Luna-OB1", 0, 2},
      {"GL-01S", 3, 1},
      {"SH-03", 2, 1},
      {"PB-01", 1, 1},
      {"GL-02", 2, 1},
      {"SH-01", 2, 1}},
     {{"Left", "Terminal MFD"}, {"Right", "Surface"}},
     {}},
    {"DG and DG-S.scn",
     "GL-01",
     {{"ISS", 1, 5}, {"Mir", 0, 3}, {"Luna-OB1", 0, 2}, {"GL-01S", 3, 1}, {"GL-01", 2, 1}},
     {{"Left", "HSI"}, {"Right", "Map"}},
     {}},
    {"DG dumbbell.scn",
     "GL-02",
     {{"ISS", 0, 3},
      {"Mir", 0, 3},
      {"Luna-OB1", 0, 2},
      {"GL-01", 2, 1},
      {"GL-02", 2, 1},
      {"SH-01", 2, 1},
      {"m1", 0, 2},
      {"m2", 0, 2},
      {"m3", 0, 2}},
     {{"Right", "Orbit"}},
     {"GL-01:0-m3:1", "GL-02:0-m1:1", "m1:0-m2:0", "m2:1-m3:0"}},
    {"Mission 2 - ISS to Mir.scn",
     "GL-01",
     {{"ISS", 1, 5},
      {"Mir", 0, 3},
      {"Luna-OB1", 0, 2},
      {"GL-01", 2, 1},
      {"SH-03", 2, 1},
      {"PB-01", 1, 1},
      {"GL-02", 2, 1},
      {"SH-01", 2, 1}},
     {{"Left", "Docking"}, {"Right", "Orbit"}},
     {"GL-01:0-ISS:0"}},
    {"Shuttle-A Docked at ISS.scn",
     "SH-15",
     {{"ISS", 1, 5},
      {"SH-15", 2, 1},
      {"SH-PL01", 0, 1},
      {"SH-PL02", 0, 1},
      {"SH-PL03", 0, 1},
      {"SH-PL04", 0, 1},
      {"SH-PL05", 0, 1},
      {"SH-PL06", 0, 1}},
     {{"Left", "Docking"}, {"Right", "COM/NAV"}},
     {"ISS:1-SH-15:0"}},
    {"VesselApiTest.scn",
     "GL-01",
     {{"ISS", 1, 5},
      {"Mir", 0, 3},
      {"Luna-OB1", 0, 2},
      {"GL-01", 2, 1},
      {"SH-03", 2, 1},
      {"PB-01", 1, 1},
      {"GL-02", 2, 1},
      {"SH-01", 2, 1}},
     {{"Left", "Orbit"}, {"Right", "Surface"}},
     {}},
};

TEST(SimulatorScenariosTest, EachFileLoadsItsShipsDockingAndDisplaysAndSavesUnchanged) {
    ASSERT_EQ(kFacts.size(), 7u);
    for (const FileFacts& f : kFacts) {
        SCOPED_TRACE(f.file);
        test::ModuleSession session;
        sim::Simulation& sim = session.sim;
        std::string error;
        const std::optional<sim::ScenarioDescription> parsed =
            sim::parseScenario(fileText(f.file), f.file, error);
        ASSERT_TRUE(parsed) << error;
        ASSERT_TRUE(sim::applyScenario(*parsed, sim, error)) << error;
        EXPECT_EQ(parsed->focus, f.focus);

        std::vector<std::string> names;
        for (sim::VesselRecord* v : sim.vessels()) names.push_back(v->name);
        std::vector<std::string> expected;
        for (const Ship& s : f.ships) expected.push_back(s.name);
        EXPECT_EQ(names, expected);
        for (const Ship& s : f.ships) {
            sim::VesselRecord* v = sim.findVessel(s.name);
            ASSERT_NE(v, nullptr) << s.name;
            EXPECT_EQ(v->tanks.size(), s.tanks) << s.name;
            EXPECT_EQ(v->ports.size(), s.ports) << s.name;
        }
        std::vector<std::string> docked;
        for (sim::VesselRecord* v : sim.vessels()) {
            for (unsigned p = 0; p < v->ports.size(); ++p) {
                const sim::DockPort& port = v->ports[p];
                if (port.docked && v->name < port.docked->name)
                    docked.push_back(v->name + ":" + std::to_string(p) + "-" + port.docked->name + ":" +
                                     std::to_string(port.dockedPort));
            }
        }
        EXPECT_EQ(docked, f.docked);
        ASSERT_EQ(sim.displays().size(), f.displays.size());
        for (const auto& [id, shows] : f.displays) {
            sim::Display* d = sim.findDisplay(id);
            ASSERT_NE(d, nullptr) << id;
            EXPECT_EQ(&d->vessel(), sim.findVessel(f.focus)) << id;
            EXPECT_EQ(d->foreign(), shows) << id;
            EXPECT_EQ(test::redraw(*d).row(0), shows) << id;
        }

        // Saved with nothing changed; and that saved file, loaded and saved, is the same again.
        const std::string saved = sim::formatScenario(sim::captureScenario(sim, *parsed));
        EXPECT_EQ(differences(fileText(f.file), saved), "") << saved;
        test::ModuleSession again;
        const std::optional<sim::ScenarioDescription> reparsed = sim::parseScenario(saved, "saved", error);
        ASSERT_TRUE(reparsed) << error;
        ASSERT_TRUE(sim::applyScenario(*reparsed, again.sim, error)) << error;
        EXPECT_EQ(sim::formatScenario(sim::captureScenario(again.sim, *reparsed)), saved);
        EXPECT_EQ(sim.calls.badCalls, 0u);
    }
}

// The file with its left display in Fuel Management, the block written in place of the one it
// had (or before the right display's, for a file without one).
std::string withFuelManagement(std::string text, const std::string& items) {
    const std::string block = "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n" + items + "END_MFD\n";
    const size_t left = text.find("BEGIN_MFD Left");
    if (left == std::string::npos) return text.insert(text.find("BEGIN_MFD Right"), block + "\n");
    const size_t end = text.find("END_MFD", left);
    return text.replace(left, text.find('\n', end) + 1 - left, block);
}

struct Transfer {
    std::string file;
    int mode, targetTank, sourceTank;
    double moved;                    // kg, in 10 s at High
    std::vector<std::string> saved;  // lines the saved file holds
};

// 100 kg/s for 10 s, or what the tanks allow; the levels as the simulator writes them.
const std::vector<Transfer> kTransfers = {
    {"Atlantis docked at ISS.scn",
     Unload,
     0,
     0,
     1000,
     {"STS-101:Atlantis\n  STATUS Orbiting Earth\n  PRPLEVEL 0:0.925633\n",
      "  AROT 30.00 30.00 110.00\n  PRPLEVEL 0:0.200000\n  DOCKINFO 1:0,STS-101\n"}},
    {"Atlantis docked at ISS.scn", Vent, 0, 0, 1000, {"  PRPLEVEL 0:0.925633\n"}},
    {"Atmospheric autopilot.scn", CrossFeed, 0, 1, 12.5, {"  PRPLEVEL 0:1.000000 1:0.998798 2:1.000000\n"}},
    {"Atmospheric autopilot.scn", Vent, 1, 0, 1000, {"  PRPLEVEL 0:0.995000 1:0.903846 2:1.000000\n"}},
    {"DG and DG-S.scn",
     CrossFeed,
     0,
     1,
     296.7,
     {"GL-01:DeltaGlider\n", "  PRPLEVEL 0:1.000000 1:0.505500\n"}},
    {"DG and DG-S.scn", Vent, 0, 0, 1000, {"  PRPLEVEL 0:0.899481 1:1.000000\n"}},
    {"DG dumbbell.scn", CrossFeed, 0, 1, 600, {"  PRPLEVEL 0:0.455512\n  DOCKINFO 0:1,m1\n"}},
    {"DG dumbbell.scn", Vent, 0, 0, 1000, {"  PRPLEVEL 0:0.331481 1:1.000000\n"}},
    {"Mission 2 - ISS to Mir.scn",
     Load,
     0,
     0,
     1000,
     {"  PRPLEVEL 0:0.848519 1:0.889000\n  DOCKINFO 0:0,ISS\n",
      "  PRPLEVEL 0:0.800000\n  DOCKINFO 0:0,GL-01\n"}},
    {"Mission 2 - ISS to Mir.scn", CrossFeed, 0, 1, 533.4, {"  PRPLEVEL 0:0.812349\n"}},
    {"Mission 2 - ISS to Mir.scn", Vent, 0, 0, 1000, {"  PRPLEVEL 0:0.693481 1:0.889000\n"}},
    {"Shuttle-A Docked at ISS.scn",
     Unload,
     0,
     0,
     1000,
     {"  PRPLEVEL 0:0.985014 1:0.983000\n  DOCKINFO 0:1,ISS\n",
      "  AROT 30.00 0.00 50.00\n  PRPLEVEL 0:0.200000\n"}},
    {"Shuttle-A Docked at ISS.scn", CrossFeed, 0, 1, 71.5, {"  PRPLEVEL 0:1.000000 1:0.956519\n"}},
    {"Shuttle-A Docked at ISS.scn", Vent, 0, 0, 1000, {"  PRPLEVEL 0:0.985014 1:0.983000\n"}},
    {"VesselApiTest.scn", CrossFeed, 0, 1, 540, {"  PRPLEVEL 0:0.594860\n"}},
    {"VesselApiTest.scn", Vent, 0, 0, 1000, {"  PRPLEVEL 0:0.475481 1:0.900000\n"}},
};

double massOf(sim::Simulation& sim) {
    double total = 0.0;
    for (sim::VesselRecord* v : sim.vessels()) {
        for (const sim::Tank& t : v->tanks) total += t.mass;
    }
    return total;
}

TEST(SimulatorScenariosTest, WithFuelManagementOnTheLeftDisplayEachTransferRunsSavesAndLoads) {
    for (const Transfer& t : kTransfers) {
        const FileFacts& facts =
            *std::find_if(kFacts.begin(), kFacts.end(), [&](const FileFacts& f) { return f.file == t.file; });
        SCOPED_TRACE(t.file + ", mode " + std::to_string(t.mode));
        std::string source;
        if (t.mode == CrossFeed) source = facts.focus;
        if (t.mode == Load || t.mode == Unload) source = "ISS";
        const std::string items =
            "  PUMPMODE " + std::to_string(t.mode) + "\n  PUMPRATE 3\n  DOCKPORT 0\n  TARGETTANK " +
            std::to_string(t.targetTank) + "\n" +
            (source.empty() ? "" : "  SOURCETANK " + std::to_string(t.sourceTank) + ":" + source + "\n");
        const std::string text = withFuelManagement(fileText(t.file), items);

        std::string error, saved;
        {
            test::ModuleSession session;
            sim::Simulation& sim = session.sim;
            const std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(text, t.file, error);
            ASSERT_TRUE(parsed) << error;
            ASSERT_TRUE(sim::applyScenario(*parsed, sim, error)) << error;
            sim::Display& left = *sim.findDisplay("Left");
            ASSERT_NE(left.instrument(), nullptr);
            test::redraw(left);  // a docked source is found again at the first redraw
            ASSERT_EQ(transferState.pumpRate, 3);
            sim::VesselRecord& focus = *sim.findVessel(facts.focus);
            const double before = focus.tanks[static_cast<size_t>(t.targetTank)].mass, total = massOf(sim);
            for (int i = 0; i < 500; ++i) sim.step(0.02);
            const double after = focus.tanks[static_cast<size_t>(t.targetTank)].mass;
            EXPECT_NEAR(std::fabs(after - before), t.moved, 1e-6);
            EXPECT_NEAR(total - massOf(sim), t.mode == Vent ? t.moved : 0.0, 1e-6);
            saved = sim::formatScenario(sim::captureScenario(sim, *parsed));
            EXPECT_EQ(sim.calls.badCalls, 0u);
        }
        for (const std::string& line : t.saved)
            EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
        const bool running = t.moved == 1000;  // not stopped at a tank's limit
        const std::string block =
            "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n" +
            std::string(running ? items : std::string(items).replace(items.find("RATE 3"), 6, "RATE 0")) +
            "END_MFD\n";
        EXPECT_NE(saved.find(block), std::string::npos) << block << "\n" << saved;
        EXPECT_EQ(differences(text, saved, "Left"), "") << saved;

        // Loaded again: the transfer goes on where it did not stop at a limit.
        test::ModuleSession session;
        sim::Simulation& sim = session.sim;
        const std::optional<sim::ScenarioDescription> reloaded = sim::parseScenario(saved, "saved", error);
        ASSERT_TRUE(reloaded) << error;
        ASSERT_TRUE(sim::applyScenario(*reloaded, sim, error)) << error;
        test::redraw(*sim.findDisplay("Left"));
        EXPECT_EQ(transferState.pumpMode, t.mode);
        EXPECT_EQ(transferState.pumpRate, running ? 3 : 0);
        const sim::Tank& target = sim.findVessel(facts.focus)->tanks[static_cast<size_t>(t.targetTank)];
        const double before = target.mass;
        for (int i = 0; i < 50; ++i) sim.step(0.02);
        EXPECT_NEAR(std::fabs(target.mass - before), running ? 100.0 : 0.0, 1e-6);
    }
    clearTransferState();
}

TEST(SimulatorScenariosTest, TheInstrumentReadsThroughTheSimulatorsReaderAndStopsAtItsEndMfd) {
    std::string text = withFuelManagement(fileText("Shuttle-A Docked at ISS.scn"),
                                          "      PUMPMODE 2   ; unload\n\n  TARGETTANK 1\t\n");
    // The next display's block holds lines the instrument would take, were it to read on.
    const std::string right = "BEGIN_MFD Right\n  TYPE COM/NAV\nEND_MFD";
    text.replace(text.find(right), right.size(), "BEGIN_MFD Right\n  TYPE COM/NAV\n  PUMPRATE 3\nEND_MFD");
    std::string error;
    const std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(text, "inline", error);
    ASSERT_TRUE(parsed) << error;

    // The simulator's reader: trimmed lines without comments, on past END_MFD up to the first END.
    sim::ScenarioBlock reader(parsed->displays[0].reading);
    std::vector<std::string> handed;
    for (char* line = nullptr; reader.nextLine(line);) handed.emplace_back(line);
    ASSERT_GE(handed.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(handed.begin(), handed.begin() + 8),
              (std::vector<std::string>{"PUMPMODE 2", "", "TARGETTANK 1", "END_MFD", "", "BEGIN_MFD Right",
                                        "TYPE COM/NAV", "PUMPRATE 3"}));
    EXPECT_EQ(handed.back(), "XPDR 466");  // the first ship's last line before its END

    test::ModuleSession session;
    ASSERT_TRUE(sim::applyScenario(*parsed, session.sim, error)) << error;
    EXPECT_EQ(transferState.pumpMode, Unload);
    EXPECT_EQ(transferState.targetTank, 1);
    EXPECT_EQ(transferState.pumpRate, 0);  // the right display's line was not read
    EXPECT_EQ(session.sim.calls.count(sim::HostCall::ReadScenarioLine), 4u);  // up to END_MFD
    clearTransferState();
}

}  // namespace
