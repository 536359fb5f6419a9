// The scenarios for pilots (scenarios/pilot): each opens with Fuel Management on the left display,
// and the transfer its description tells a pilot to try does what it says, saves and loads again.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "test_support.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/read_file.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPilot = fs::path(KESTRANE_TEST_DATA).parent_path().parent_path() / "scenarios" / "pilot";

struct Try {
    std::string file;
    std::vector<DWORD> keys;         // as the description says, a redraw after each
    int pumpRate;                    // after a minute
    std::vector<std::string> saved;  // lines of the file saved then
};

const std::vector<Try> kTries = {
    {"Delta-glider refuels at the ISS.scn",
     {kKeyMode, kKeyRateUp, kKeyRateUp, kKeyRateUp},
     0,
     {"GL-01:DeltaGlider\n", "  PRPLEVEL 0:0.737597 1:0.500000\n",
      "  AROT 107.40 5.02 81.03\n  DOCKINFO 0:0,GL-01\n"}},
    {"Delta-glider cross-feeds its RCS tank.scn",
     {kKeyTargetTank, kKeyRateUp, kKeyRateUp},
     0,
     {"  PRPLEVEL 0:0.858140 1:1.000000\n"}},
    {"Shuttle-A unloads to the ISS.scn",
     {kKeyMode, kKeyMode, kKeyRateUp, kKeyRateUp, kKeyRateUp},
     0,
     {"  PRPLEVEL 0:0.929070 1:0.983000\n", "  AROT 107.40 5.02 81.03\n  PRPLEVEL 0:1.000000\n"}},
    {"Delta-glider vents its main tank.scn",
     {kKeyRateUp, kKeyRateUp},
     2,
     {"  PRPLEVEL 0:0.953488 1:1.000000\n", "  PUMPMODE 3\n  PUMPRATE 2\n"}},
};

TEST(PilotScenariosTest, EachTransferADescriptionTellsOfRunsAsItSaysSavesAndLoads) {
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kPilot))
        files += entry.path().extension() == ".scn";
    EXPECT_EQ(files, kTries.size());
    EXPECT_FALSE(test::readFile(kPilot / "Description.txt").empty());

    for (const Try& t : kTries) {
        SCOPED_TRACE(t.file);
        std::string error, saved;
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
            for (const DWORD key : t.keys) {
                left.key(key);
                test::redraw(left);
            }
            for (int i = 0; i < 3000; ++i) session.sim.step(0.02);  // a minute
            EXPECT_EQ(transferState.pumpRate, t.pumpRate);
            saved = sim::formatScenario(sim::captureScenario(session.sim, *parsed));
            EXPECT_EQ(session.sim.calls.badCalls, 0u);
        }
        for (const std::string& line : t.saved)
            EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
        test::ModuleSession again;
        const std::optional<sim::ScenarioDescription> reloaded = sim::parseScenario(saved, "saved", error);
        ASSERT_TRUE(reloaded) << error;
        ASSERT_TRUE(sim::applyScenario(*reloaded, again.sim, error)) << error;
        EXPECT_NE(again.sim.findDisplay("Left")->instrument(), nullptr);
        EXPECT_EQ(transferState.pumpRate, t.pumpRate);
    }
    clearTransferState();
}

}  // namespace
