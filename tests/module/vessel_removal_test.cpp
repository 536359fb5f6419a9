// Vessels that leave while the shared state names them: removed from the simulation, or
// undocked while no display redraws. Everything runs as in the emulator: the module's mode
// registered, its time step called, instruments on displays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "module/module_entry.h"
#include "sim/world/display.h"
#include "sim/world/scenario_block.h"
#include "tests/support/drawing.h"
#include "tests/support/module_session.h"
#include "tests/support/vessels.h"
#include "transfer/transfer_state.h"

using test::iface;

namespace {

size_t callsAbout(const sim::CallRecord& record, sim::VesselRecord& vessel) {
    size_t n = 0;
    for (const sim::CallEntry& e : record.calls) n += e.vessel == vessel.handle() ? 1 : 0;
    return n;
}

std::string notes(const sim::CallRecord& calls) {
    std::string out;
    for (const std::string& n : calls.badCallNotes) out += n + "; ";
    return out;
}

class VesselRemovalTest : public ::testing::Test, protected test::ModuleSession {
protected:
    ~VesselRemovalTest() override { clearTransferState(); }

    sim::VesselRecord& ship = sim.addVessel({"Ship", "Tanker", {{1000, 100}, {1000, 200}}, 2});
    sim::VesselRecord& depot = sim.addVessel({"Depot", "Depot", {{5000, 4000}, {5000, 1000}}, 1});
    sim::VesselRecord& tug = sim.addVessel({"Tug", "Tug", {{300, 150}, {300, 50}, {300, 0}}, 3});

    sim::Display& open(const std::string& name, sim::VesselRecord& vessel) {
        sim::Display& d = sim.addDisplay(name, vessel, 512, 512);
        EXPECT_TRUE(d.openMode(kModeName));
        return d;
    }
    std::vector<std::string> write(sim::Display& d) {
        sim::ScenarioBlock block;
        d.writeStatus(block);
        return block.lines;
    }

    // Ship's left display loading from the depot docked at Ship's second port, at Medium.
    sim::Display& startLoad(PumpMode mode = Load) { return startLoadFrom(depot, mode); }
    sim::Display& startLoadFrom(sim::VesselRecord& other, PumpMode mode = Load) {
        EXPECT_TRUE(sim.dock(ship, 1, other, 0));
        sim::Display& left = open("Left", ship);
        for (int i = 0; i < mode; ++i) left.key(kKeyMode);
        left.key(kKeyDockPort);
        test::redraw(left);
        left.key(kKeyRateUp);
        left.key(kKeyRateUp);
        EXPECT_EQ(transferState.sourceVessel, iface(other));
        EXPECT_EQ(transferState.pumpRate, 2);
        sim.step(1.0);
        EXPECT_EQ(ship.tanks[0].mass, mode == Load ? 110.0 : 90.0);
        return left;
    }

    // Tug's display opened last, so the state is set up for the tug; it vents its first tank.
    // Ship's display stays open beside it.
    sim::Display& startTugVent() {
        open("Left", ship);
        sim::Display& right = open("Right", tug);
        for (int i = 0; i < 3; ++i) right.key(kKeyMode);
        right.key(kKeyTargetTank);
        right.key(kKeyRateUp);
        EXPECT_EQ(transferState.targetVessel, iface(tug));
        EXPECT_EQ(transferState.pumpRate, 1);
        sim.step(1.0);
        EXPECT_EQ(tug.tanks[1].mass, 49.0);
        return *sim.findDisplay("Left");
    }

    // Ship's display reads a vent of Ship's second tank at Medium from a block that names
    // another vessel, not docked, as the source: a block the module never writes for a vent, but
    // one a person may write.
    sim::Display& startVentNaming(sim::VesselRecord& other) {
        sim::Display& left = open("Left", ship);
        sim::ScenarioBlock block(std::vector<std::string>{"PUMPMODE 3", "PUMPRATE 2", "DOCKPORT 0",
                                                          "TARGETTANK 1", "SOURCETANK 1:" + other.name});
        left.readStatus(block);
        EXPECT_EQ(transferState.sourceVessel, iface(other));
        EXPECT_EQ(transferState.pumpMode, Vent);
        EXPECT_EQ(transferState.pumpRate, 2);
        return left;
    }
    // One step of a second and a redraw: Ship's second tank gives 10 kg more, nothing else
    // changes, and the page still shows the vent at Medium.
    void expectOneStepOfVenting(sim::Display& left) {
        const double before = ship.tanks[1].mass;
        sim.step(1.0);
        EXPECT_EQ(ship.tanks[1].mass, before - 10.0);
        EXPECT_EQ(ship.tanks[0].mass, 100.0);
        const test::Drawing page = test::redraw(left);
        EXPECT_EQ(page.row(0), "Fuel Mgt Ship (Tanker)");
        EXPECT_EQ(page.row(6), "Pump Rate: Medium");
        EXPECT_EQ(page.row(13), "Target Tank 2 (of 2)");
        EXPECT_EQ(page.row(17), " OVERBOARD VENT ");
        EXPECT_EQ(transferState.pumpRate, 2);
    }

    void expectNoBadCall() {
        EXPECT_EQ(sim.calls.badCalls, 0u) << notes(sim.calls);
        EXPECT_EQ(sim.calls.liveStatusLists(), 0u);
    }
};

TEST_F(VesselRemovalTest, ARemovedSourceDropsOutAtTheNextStepAsIfUndocked) {
    startLoad();
    ASSERT_TRUE(sim.removeVessel(depot));
    sim.step(1.0);
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(ship.tanks[0].mass, 110.0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, TheDeletionNoticeDropsAVesselAtOnceAndNothingAsksAboutItAgain) {
    sim.addDeleteVesselCallback(opcDeleteVessel);
    {  // the source: the pump stops, the target stays
        sim::Display& left = startLoad();
        ASSERT_TRUE(sim.removeVessel(depot));
        EXPECT_EQ(transferState.sourceVessel, nullptr);
        EXPECT_EQ(transferState.sourceHandle, nullptr);
        EXPECT_EQ(transferState.pumpRate, 0);
        EXPECT_EQ(transferState.targetVessel, iface(ship));
        sim.calls.clear();
        sim.step(1.0);
        EXPECT_EQ(test::redraw(left).row(21), " NOT DOCKED ");
        EXPECT_EQ(callsAbout(sim.calls, depot), 0u);
        EXPECT_EQ(ship.tanks[0].mass, 110.0);
        expectNoBadCall();
    }
    {  // the target, with its own source: no vessel is left to pump for
        startTugVent();
        sim.calls.clear();
        ASSERT_TRUE(sim.removeVessel(tug));
        EXPECT_EQ(transferState.targetVessel, nullptr);
        EXPECT_EQ(transferState.sourceVessel, nullptr);
        EXPECT_EQ(transferState.pumpRate, 0);
        sim.step(1.0);
        EXPECT_FALSE(test::redraw(*sim.findDisplay("Left")).mentions("Tug"));
        EXPECT_EQ(callsAbout(sim.calls, tug), 0u);
        expectNoBadCall();
    }
    // A notice about a vessel the state does not name changes nothing, nor one about none.
    sim::VesselRecord& barge = sim.addVessel({"Barge", "Depot", {{10, 1}}, 1});
    const TransferState before = transferState;
    opcDeleteVessel(barge.handle());
    opcDeleteVessel(nullptr);
    EXPECT_EQ(transferState, before);
}

TEST_F(VesselRemovalTest, AVentWhoseBlockNamesAnotherVesselAsSourceVentsTheOwnTargetTank) {
    sim::Display& left = startVentNaming(depot);
    for (int i = 0; i < 3; ++i) expectOneStepOfVenting(left);
    EXPECT_EQ(ship.tanks[1].mass, 170.0);
    EXPECT_EQ(depot.tanks[0].mass, 4000.0);
    EXPECT_EQ(depot.tanks[1].mass, 1000.0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, AVentGoesOnWhenTheVesselItsBlockNamedAsSourceIsRemoved) {
    for (const bool notice : {false, true}) {
        SCOPED_TRACE(notice ? "removed with notice" : "removed without notice");
        if (notice) sim.addDeleteVesselCallback(opcDeleteVessel);
        sim::VesselRecord& barge = sim.addVessel({"Barge", "Depot", {{5000, 4000}, {5000, 1000}}, 1});
        sim::Display& left = startVentNaming(barge);
        expectOneStepOfVenting(left);
        ASSERT_TRUE(sim.removeVessel(barge));
        sim.calls.clear();
        expectOneStepOfVenting(left);
        expectOneStepOfVenting(left);
        EXPECT_EQ(transferState.sourceVessel, nullptr);
        EXPECT_EQ(transferState.targetVessel, iface(ship));
        EXPECT_EQ(ship.tanks[1].mass, 170.0);
        expectNoBadCall();
        sim.closeAllDisplays();
        clearTransferState();
        ship.tanks[1].mass = 200.0;
    }
}

TEST_F(VesselRemovalTest, ARemovedSourceDropsOutAtTheNextRedraw) {
    sim::Display& left = startLoad();
    ASSERT_TRUE(sim.removeVessel(depot));
    EXPECT_EQ(test::redraw(left).row(21), " NOT DOCKED ");
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(transferState.pumpMode, Load);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, ARemovedSourceDropsOutBeforeAnyCommandRuns) {
    for (DWORD key : {kKeyRateUp, kKeyRateDown, kKeySourceTank, kKeyTargetTank, kKeyDockPort}) {
        sim::VesselRecord& other = sim.addVessel({"Barge", "Depot", {{5000, 4000}, {5000, 1000}}, 1});
        sim::Display& left = startLoadFrom(other);
        ASSERT_TRUE(sim.removeVessel(other));
        EXPECT_TRUE(left.key(key)) << key;
        EXPECT_EQ(transferState.sourceVessel, nullptr) << key;
        EXPECT_EQ(transferState.pumpRate, 0) << key;
        expectNoBadCall();
        sim.closeAllDisplays();
        clearTransferState();
        ship.tanks[0].mass = 100.0;
    }
}

TEST_F(VesselRemovalTest, ARemovedSourceIsNotWrittenToTheScenario) {
    sim::Display& left = startLoad(Unload);
    ASSERT_TRUE(sim.removeVessel(depot));
    EXPECT_EQ(write(left),
              (std::vector<std::string>{"PUMPMODE 2", "PUMPRATE 0", "DOCKPORT 1", "TARGETTANK 0"}));
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, ARemovedTargetStopsThePumpAtTheNextStep) {
    startTugVent();
    ASSERT_TRUE(sim.removeVessel(tug));
    const double shipMass = ship.tanks[0].mass + ship.tanks[1].mass;
    sim.step(1.0);
    sim.step(1.0);
    EXPECT_EQ(transferState.targetVessel, nullptr);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(ship.tanks[0].mass + ship.tanks[1].mass, shipMass);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, ARemovedTargetIsReplacedByTheOwnVesselAtTheNextRedraw) {
    sim::Display& left = startTugVent();
    ASSERT_TRUE(sim.removeVessel(tug));
    const test::Drawing page = test::redraw(left);
    EXPECT_EQ(page.row(0), "Fuel Mgt Ship (Tanker)");
    EXPECT_EQ(page.row(3), "Pump Mode: Cross-Feed (SRC => TGT)");
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(transferState.sourceVessel, iface(ship));
    EXPECT_EQ(transferState.targetTank, 0);
    EXPECT_EQ(transferState.pumpMode, CrossFeed);
    EXPECT_EQ(transferState.pumpRate, 0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, ACommandAfterTheTargetWasRemovedActsOnTheOwnVessel) {
    sim::Display& left = startTugVent();
    ASSERT_TRUE(sim.removeVessel(tug));
    EXPECT_TRUE(left.key(kKeyTargetTank));
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(transferState.targetTank, 1);
    EXPECT_EQ(transferState.pumpMode, CrossFeed);
    EXPECT_EQ(transferState.pumpRate, 0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, AScenarioWrittenAfterTheTargetWasRemovedCarriesNothingOfIt) {
    sim::Display& left = startTugVent();
    ASSERT_TRUE(sim.removeVessel(tug));
    const std::vector<std::string> block = write(left);
    // The block of a cleared state: read back by Ship's display, the state is Ship's own as its
    // construction sets it up, and nothing pumps.
    EXPECT_EQ(block, (std::vector<std::string>{"PUMPMODE 0", "PUMPRATE 0", "DOCKPORT 0", "TARGETTANK 0"}));
    sim::ScenarioBlock saved(block);
    left.readStatus(saved);
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(transferState.pumpRate, 0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, ABlockReadAfterTheTargetWasRemovedAsksNothingOfIt) {
    sim::Display& left = startTugVent();
    ASSERT_TRUE(sim.removeVessel(tug));
    // Read into the state set up for the own vessel, whose second port the block names.
    sim::ScenarioBlock block(std::vector<std::string>{"PUMPMODE 1", "DOCKPORT 1"});
    left.readStatus(block);
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(transferState.pumpMode, Load);
    EXPECT_EQ(transferState.dockPort, 1);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, ADisplayWhoseVesselIsRemovedIsClosedAndTheOthersCarryOn) {
    sim::Display& left = startLoad();
    sim::Display& right = open("Right", tug);
    right.key(kKeyHelp);
    ASSERT_TRUE(sim.removeVessel(tug));
    EXPECT_EQ(sim.findDisplay("Right"), nullptr);
    ASSERT_EQ(sim.displays().size(), 1u);
    // The tug's instrument had set the state up for the tug; Ship's display takes over.
    test::redraw(left);
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    sim.step(1.0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, AVesselThatSeparatesStopsTheTransferAtTheNextStep) {
    for (PumpMode mode : {Load, Unload}) {
        startLoad(mode);
        const double own = ship.tanks[0].mass;
        const double docked = depot.tanks[0].mass;
        ASSERT_TRUE(sim.undock(ship, 1));
        sim.step(1.0);
        EXPECT_EQ(transferState.pumpRate, 0) << mode;
        EXPECT_EQ(ship.tanks[0].mass, own) << mode;
        EXPECT_EQ(depot.tanks[0].mass, docked) << mode;
        // Docked again at the same port, the transfer does not restart by itself.
        ASSERT_TRUE(sim.dock(ship, 1, depot, 0));
        sim.step(1.0);
        EXPECT_EQ(ship.tanks[0].mass, own) << mode;
        expectNoBadCall();
        sim.closeAllDisplays();
        ASSERT_TRUE(sim.undock(ship, 1));
        clearTransferState();
        ship.tanks[0].mass = 100.0;
        depot.tanks[0].mass = 4000.0;
    }
}

TEST_F(VesselRemovalTest, AVesselThatSeparatesAndDocksAtAnotherPortIsNotPumped) {
    startLoad();
    ASSERT_TRUE(sim.undock(ship, 1));
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    sim.step(1.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(ship.tanks[0].mass, 110.0);
    expectNoBadCall();
}

TEST_F(VesselRemovalTest, APortTheTargetVesselDoesNotHaveHoldsNothing) {
    // The port key steps through the target's ports, but the shared state may hold any number.
    sim::Display& right = open("Right", ship);  // two ports
    right.key(kKeyMode);
    transferState.dockPort = 2;
    ASSERT_EQ(transferState.targetVessel, iface(ship));
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    EXPECT_EQ(test::redraw(right).row(21), " NOT DOCKED ");
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    expectNoBadCall();
}

}  // namespace
