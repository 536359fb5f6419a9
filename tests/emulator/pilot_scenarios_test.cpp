// The scenarios for pilots (scenarios/pilot): each opens with Fuel Management on the left display,
// and the transfer its description tells a pilot to try does what it says, saves and loads again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/drawing/raster_surface.h"
#include "sim/drawing/replay.h"
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

namespace {

// A drawing kept as its cells and calls, replayed as a picture only when one is wanted, is the
// picture a drawing straight onto a picture makes: the status page with its gauges' brushes,
// at two sizes, and the help page.
TEST(PilotScenariosTest, APageReplayedFromItsCallsIsThePictureDrawnDirectly) {
    test::ModuleSession session;
    std::string error;
    const std::optional<sim::ScenarioDescription> parsed =
        sim::readScenarioFile((kPilot / "Delta-glider refuels at the ISS.scn").string(), error);
    ASSERT_TRUE(parsed) << error;
    ASSERT_TRUE(sim::applyScenario(*parsed, session.sim, error)) << error;
    sim::Display& left = *session.sim.findDisplay("Left");
    for (const char* key : {"M", "+", "+"}) {
        test::redraw(left);
        left.key(keyNamed(key));
    }
    for (int i = 0; i < 50; ++i) session.sim.step(0.02);
    for (const auto& [width, height, help] :
         {std::tuple{512u, 512u, false}, {500u, 400u, false}, {232u, 232u, true}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        left.resize(width, height);
        if (help) left.key(kKeyHelp);
        sim::RasterSurface direct(static_cast<int>(width), static_cast<int>(height));
        left.repaint(&direct);
        sim::CellSurface recorded(static_cast<int>(width), static_cast<int>(height));
        recorded.logging = true;
        left.repaint(&recorded);
        sim::RasterSurface replayed(static_cast<int>(width), static_cast<int>(height));
        sim::replay(recorded.log, recorded.defaultBrush(), &replayed);
        EXPECT_EQ(replayed.cells().text(), direct.cells().text());
        EXPECT_TRUE(replayed.image().rgb == direct.image().rgb);
        // The gauges' brushes are among what was replayed.
        if (!help) {
            EXPECT_GT(
                std::count_if(recorded.log.begin(), recorded.log.end(),
                              [](const sim::GdiEntry& e) { return e.call == sim::GdiCall::SelectObject; }),
                0);
        }
    }
    EXPECT_EQ(sim::GdiObjects::live(), 0);
}

}  // namespace
