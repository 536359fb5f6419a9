// The scenarios for pilots (scenarios/pilot): each opens with Fuel Management on the left display,
// and the transfer its description tells a pilot to try does what it says, saves and loads again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/simulation.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/pilot_figures.h"
#include "tests/support/read_file.h"
#include "transfer/transfer_state.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPilot = fs::path(KESTRANE_TEST_DATA).parent_path().parent_path() / "scenarios" / "pilot";

// The key a description names, as the display gets it.
DWORD keyNamed(const std::string& name) {
    static const std::map<std::string, DWORD> keys = {
        {"M", kKeyMode},   {"T", kKeyTargetTank}, {"S", kKeySourceTank}, {"D", kKeyDockPort},
        {"+", kKeyRateUp}, {"-", kKeyRateDown},   {"?", kKeyHelp}};
    const auto found = keys.find(name);
    return found == keys.end() ? 0 : found->second;
}

// The lines of a ship's entry in a saved file, from its name to its END.
std::string shipEntry(const std::string& saved, const std::string& name) {
    const size_t begin = saved.find("\n" + name + ":");
    if (begin == std::string::npos) return "";
    return saved.substr(begin + 1, saved.find("\nEND\n", begin) - begin);
}

// The line an entry has for the item, or none when its items are empty.
void expectItem(const std::string& entry, const std::string& item, const std::string& items) {
    if (items.empty())
        EXPECT_EQ(entry.find("  " + item), std::string::npos) << item << " in\n" << entry;
    else
        EXPECT_NE(entry.find("  " + item + " " + items + "\n"), std::string::npos)
            << item << " " << items << "\n"
            << entry;
}

double massOf(sim::VesselRecord* v) {
    double sum = 0;
    for (const sim::Tank& t : v->tanks) sum += t.mass;
    return sum;
}

TEST(PilotScenariosTest, EachTransferADescriptionTellsOfRunsAsItSaysSavesAndLoads) {
    const std::vector<test::PilotFigures> tries =
        test::readPilotFigures(fs::path(KESTRANE_TEST_DATA) / "pilot-figures.txt");
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kPilot))
        files += entry.path().extension() == ".scn";
    EXPECT_EQ(files, tries.size());
    EXPECT_FALSE(test::readFile(kPilot / "Description.txt").empty());

    for (const test::PilotFigures& t : tries) {
        SCOPED_TRACE(t.file);
        std::string error, saved;
        int pumpRate = -1;
        for (const std::string& item : t.block) sscanf(item.c_str(), "PUMPRATE %d", &pumpRate);
        {
            test::ModuleSession session;
            const std::optional<sim::ScenarioDescription> parsed =
                sim::readScenarioFile((kPilot / t.file).string(), error);
            ASSERT_TRUE(parsed) << error;
            EXPECT_NE(parsed->description.size(), 0u);
            ASSERT_TRUE(sim::applyScenario(*parsed, session.sim, error)) << error;
            sim::Display& left = *session.sim.findDisplay("Left");
            ASSERT_NE(left.instrument(), nullptr);
            test::redraw(left);
            for (size_t k = 0; k < t.keys.size(); ++k) {
                ASSERT_NE(keyNamed(t.keys[k]), 0u) << t.keys[k];
                if (k > 0) {
                    for (int i = 0; i < 25; ++i) session.sim.step(0.02);  // half a second between keys
                }
                left.key(keyNamed(t.keys[k]));
                test::redraw(left);
            }
            for (int i = 0; i < 3000; ++i) session.sim.step(0.02);  // a minute
            EXPECT_EQ(transferState.pumpRate, pumpRate);
            saved = sim::formatScenario(sim::captureScenario(session.sim, *parsed));
            EXPECT_EQ(session.sim.calls.badCalls, 0u);
        }
        std::string block = "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n";
        for (const std::string& item : t.block) block += "  " + item + "\n";
        EXPECT_NE(saved.find(block + "END_MFD\n"), std::string::npos) << block << "\n" << saved;
        for (const test::PilotFigures::Ship& ship : t.ships) {
            const std::string entry = shipEntry(saved, ship.name);
            EXPECT_NE(entry, "") << ship.name << "\n" << saved;
            expectItem(entry, "PRPLEVEL", ship.levels);
            expectItem(entry, "DOCKINFO", ship.docks);
        }
        test::ModuleSession again;
        const std::optional<sim::ScenarioDescription> reloaded = sim::parseScenario(saved, "saved", error);
        ASSERT_TRUE(reloaded) << error;
        ASSERT_TRUE(sim::applyScenario(*reloaded, again.sim, error)) << error;
        EXPECT_NE(again.sim.findDisplay("Left")->instrument(), nullptr);
        EXPECT_EQ(transferState.pumpRate, pumpRate);
        sim::VesselRecord* focus = again.sim.findVessel(reloaded->focus);
        ASSERT_NE(focus, nullptr);
        const double before = massOf(focus);
        for (int i = 0; i < 3000; ++i) again.sim.step(0.02);
        EXPECT_NEAR(before - massOf(focus), t.vented, 0.01);
    }
    clearTransferState();
}

}  // namespace
