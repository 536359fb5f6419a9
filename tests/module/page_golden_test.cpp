// Whole pages as the pilot sees them: each page drawn on the emulator's raster surface and
// compared, as text, with the expected page kept in tests/data/pages. The picture of every page,
// and on a mismatch (or a missing expected page) the actual page as <name>_actual.txt, are
// written to the build folder's pages/ for a person to look at: the source tree stays as it is.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/drawing/raster_surface.h"
#include "sim/world/display.h"
#include "tests/support/module_session.h"
#include "tests/support/read_file.h"
#include "tests/support/vessels.h"
#include "transfer/transfer_state.h"

namespace {

namespace fs = std::filesystem;
using test::addVessel;

const fs::path kExpectedDir = fs::path(KESTRANE_TEST_DATA) / "pages";
const fs::path kOutputDir = fs::path(KESTRANE_TEST_OUTPUT) / "pages";

class WholePageTest : public ::testing::Test, protected test::ModuleSession {
protected:
    ~WholePageTest() override { clearTransferState(); }

    sim::VesselRecord& ship =
        addVessel(sim, "Kestrel-7", {{1000, 250}, {300, 100}, {5000, 4999.96}}, 2, "ShuttleA");
    sim::VesselRecord& depot = addVessel(sim, "Depot%Alpha", {{20000, 18000}, {2000, 150}}, 1, "FuelDepot");
    sim::Display& display = sim.addDisplay("left", ship, sim::kDefaultDisplaySize, sim::kDefaultDisplaySize);

    void press(DWORD key, int times = 1) {
        for (int i = 0; i < times; ++i) display.key(key);
    }

    // Draws the page, checks that it is legible, writes its picture, and compares its text.
    void expectPage(const std::string& name) {
        sim::RasterSurface surface(static_cast<int>(display.width()), static_cast<int>(display.height()));
        ASSERT_NE(surface.font(), nullptr) << surface.fontError();
        display.repaint(&surface);
        EXPECT_EQ(surface.cells().overlaps(), 0) << name << ": text drawn over text";
        EXPECT_EQ(surface.cells().clipped(), 0) << name << ": text beyond the display's edge";

        fs::create_directories(kOutputDir);
        const fs::path picture = kOutputDir / ("page_" + name + ".png");
        std::string error;
        EXPECT_TRUE(surface.writePng(picture.string(), &error)) << error;

        const std::string actual = surface.cells().text();
        const fs::path expectedPath = kExpectedDir / (name + ".txt");
        const fs::path actualPath = kOutputDir / (name + "_actual.txt");
        if (fs::exists(expectedPath) && test::readFile(expectedPath) == actual) {
            fs::remove(actualPath);
            return;
        }
        std::ofstream(actualPath, std::ios::binary) << actual;
        ADD_FAILURE() << name << ": page differs from " << expectedPath << "; actual page written to "
                      << actualPath << " (picture " << picture << "):\n"
                      << actual;
    }
};

TEST_F(WholePageTest, CrossFeedStatusPage) {
    ASSERT_TRUE(display.openMode(kModeName));
    press(kKeySourceTank);
    press(kKeyRateUp, 2);
    expectPage("status_crossfeed");
}

TEST_F(WholePageTest, LoadStatusPageWithTheDepotDockedAtTheSecondPort) {
    ASSERT_TRUE(sim.dock(ship, 1, depot, 0));
    ASSERT_TRUE(display.openMode(kModeName));
    press(kKeyMode);
    press(kKeyDockPort);
    sim::RecordingSurface scratch(sim::cellWidthFor(display.width()), false);
    display.repaint(&scratch);  // the redraw that finds the docked vessel
    press(kKeySourceTank);
    press(kKeyTargetTank, 2);
    press(kKeyRateUp, 3);
    expectPage("status_load");
}

TEST_F(WholePageTest, UnloadStatusPageWithNothingDocked) {
    ASSERT_TRUE(display.openMode(kModeName));
    press(kKeyMode, 2);
    expectPage("status_unload_not_docked");
}

TEST_F(WholePageTest, VentStatusPage) {
    ASSERT_TRUE(display.openMode(kModeName));
    press(kKeyMode, 3);
    press(kKeyTargetTank);
    press(kKeyRateUp);
    expectPage("status_vent");
}

TEST_F(WholePageTest, HelpPage) {
    ASSERT_TRUE(display.openMode(kModeName));
    press(kKeyHelp);
    expectPage("help");
}

}  // namespace
