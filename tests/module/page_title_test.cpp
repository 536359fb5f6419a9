// Displays on several vessels share the one transfer state, which the last display opened for
// another vessel set up for its own. Whichever display draws it, a page's title names the
// vessel whose tanks and docking ports the page shows; the transfer goes on from any of the
// displays.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/world/display.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/vessels.h"
#include "transfer/transfer_state.h"

using test::iface;

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

class PageTitleTest : public ::testing::Test, protected test::ModuleSession {
protected:
    ~PageTitleTest() override { clearTransferState(); }

    // Every mass differs, so that a gauge tells whose tank it shows.
    sim::VesselRecord& x = sim.addVessel({"Xenon", "Hauler", {{1000, 111}, {1000, 222}, {1000, 333}}, 1});
    sim::VesselRecord& y = sim.addVessel({"Yarrow", "Lander", {{2000, 444}, {2000, 555}}, 1});

    sim::Display& open(const std::string& name, sim::VesselRecord& vessel) {
        sim::Display& d = sim.addDisplay(name, vessel, sim::kDefaultDisplaySize, sim::kDefaultDisplaySize);
        EXPECT_TRUE(d.openMode(kModeName));
        return d;
    }
    static void reopen(sim::Display& d) {
        d.closeMode();
        EXPECT_TRUE(d.openMode(kModeName));
    }

    // The page drawn on `d` names `v` in its title and shows v's selected target tank: its
    // number among v's tanks, and its mass on the gauge.
    void expectTargetOf(sim::Display& d, sim::VesselRecord& v) {
        SCOPED_TRACE("display " + d.name() + " (vessel " + d.vessel().name + "), expecting " + v.name);
        ASSERT_EQ(transferState.targetVessel, iface(v));
        const test::Drawing page = test::redraw(d);
        const std::string className = v.className.empty() ? v.name : v.className;
        EXPECT_EQ(page.row(0), "Fuel Mgt " + v.name + " (" + className + ")");
        const int tank = transferState.targetTank;
        EXPECT_EQ(page.row(13),
                  "Target Tank " + std::to_string(tank + 1) + " (of " + std::to_string(v.tanks.size()) + ")");
        const std::string mass = format(" %.1f kg ", v.tanks[static_cast<size_t>(tank)].mass);
        EXPECT_EQ(page.row(14).rfind(mass, 0), 0u) << page.row(14) << " does not begin with" << mass;
    }
    void expectEveryPageShows(sim::VesselRecord& v) {
        for (sim::Display* d : sim.displays()) expectTargetOf(*d, v);
    }
};

TEST_F(PageTitleTest, EachDisplayOfTwoVesselsApartNamesTheVesselWhoseTanksItShows) {
    sim::Display& left = open("Left", x);
    sim::Display& right = open("Right", y);  // the state is the lander's now
    expectEveryPageShows(y);

    // Keys on the hauler's display act on the lander's tanks, and its page says so.
    left.key(kKeySourceTank);
    left.key(kKeyRateUp);
    sim.step(2.0);
    EXPECT_EQ(y.tanks[0].mass, 446.0);
    EXPECT_EQ(y.tanks[1].mass, 553.0);
    EXPECT_EQ(x.tanks[0].mass, 111.0);
    expectEveryPageShows(y);
    EXPECT_EQ(test::redraw(left).row(17), "Source Tank 2 (of 2)");

    // The reverse: the hauler's display opened again sets the state up for the hauler.
    reopen(left);
    EXPECT_EQ(transferState.pumpRate, 0);
    right.key(kKeyTargetTank);
    right.key(kKeyTargetTank);
    expectEveryPageShows(x);
    EXPECT_EQ(transferState.targetTank, 2);
    EXPECT_EQ(test::redraw(right).row(17), "Source Tank 1 (of 3)");
}

TEST_F(PageTitleTest, EachDisplayOfTwoDockedVesselsNamesTheVesselWhoseTanksItShows) {
    ASSERT_TRUE(sim.dock(x, 0, y, 0));
    sim::Display& left = open("Left", x);
    sim::Display& right = open("Right", y);

    // The lander loads from the hauler, set going from the hauler's display.
    left.key(kKeyMode);
    expectTargetOf(left, y);  // the redraw that finds the docked hauler
    left.key(kKeyRateUp);
    sim.step(1.0);
    EXPECT_EQ(y.tanks[0].mass, 445.0);
    EXPECT_EQ(x.tanks[0].mass, 110.0);
    expectEveryPageShows(y);
    const test::Drawing page = test::redraw(left);
    EXPECT_EQ(page.row(17), "Source Tank 1 (of 3)");
    EXPECT_EQ(page.row(21), "Docked To: Xenon");

    // The reverse: the hauler's display opened again; the lander is then the docked vessel.
    reopen(left);
    right.key(kKeyMode);
    expectTargetOf(right, x);
    right.key(kKeyRateUp);
    sim.step(1.0);
    EXPECT_EQ(x.tanks[0].mass, 111.0);
    EXPECT_EQ(y.tanks[0].mass, 444.0);
    expectEveryPageShows(x);
    EXPECT_EQ(test::redraw(right).row(21), "Docked To: Yarrow");
}

TEST_F(PageTitleTest, EachDisplayOfThreeVesselsNamesTheVesselLastSetUp) {
    // The hauler and the lander docked, a tug apart; one display on each.
    sim::VesselRecord& z = sim.addVessel({"Zephyr", "Tug", {{3000, 666}, {3000, 777}}, 0});
    ASSERT_TRUE(sim.dock(x, 0, y, 0));
    std::vector<sim::Display*> displays = {&open("Left", x), &open("Right", y), &open("3", z)};
    expectEveryPageShows(z);

    // Each display opened again in turn takes the state over, in cross-feed and in load.
    for (sim::Display* d : displays) {
        reopen(*d);
        expectEveryPageShows(d->vessel());
        d->key(kKeyMode);
        d->key(kKeyTargetTank);
        expectEveryPageShows(d->vessel());
    }
    // The reverse order.
    for (auto d = displays.rbegin(); d != displays.rend(); ++d) {
        reopen(**d);
        expectEveryPageShows((*d)->vessel());
    }
}

TEST_F(PageTitleTest, AVesselWithoutAClassIsTitledWithItsNameOnAnotherVesselsDisplay) {
    sim::VesselRecord& pod = sim.addVessel({"Pod", "", {{50, 20}, {50, 30}}, 0});
    sim::Display& left = open("Left", x);
    open("Right", pod);
    EXPECT_EQ(test::redraw(left).row(0), "Fuel Mgt Pod (Pod)");
    expectEveryPageShows(pod);
}

// The docking rows count, and the port key steps, the ports of the vessel the title names, the
// one whose ports the docked source is looked up at.
TEST_F(PageTitleTest, TheDockingRowsAndThePortKeyFollowTheTitlesVessel) {
    sim::VesselRecord& station = sim.addVessel({"Station", "Hub", {{5000, 888}}, 3});
    sim::VesselRecord& tug = sim.addVessel({"Tug", "Tug", {{3000, 666}}, 1});
    ASSERT_TRUE(sim.dock(station, 1, tug, 0));
    sim::Display& left = open("Left", x);  // the hauler has one port
    open("Right", station);                // the state is the station's
    left.key(kKeyMode);                    // Load
    test::Drawing page = test::redraw(left);
    EXPECT_EQ(page.row(0), "Fuel Mgt Station (Hub)");
    EXPECT_EQ(page.row(20), "Docking Port 1 (of 3)");

    // The hauler's port key steps through the station's three ports, to the tug at the second.
    EXPECT_TRUE(left.key(kKeyDockPort));
    page = test::redraw(left);
    EXPECT_EQ(page.row(20), "Docking Port 2 (of 3)");
    EXPECT_EQ(page.row(21), "Docked To: Tug");
    left.key(kKeyDockPort);
    left.key(kKeyDockPort);
    EXPECT_EQ(transferState.dockPort, 0);
}

}  // namespace
