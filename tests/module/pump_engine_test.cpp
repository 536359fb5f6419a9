// The pump: amounts, clamping at both tank limits, vent, and when it must not run.
#include "transfer/pump_engine.h"

#include <cmath>
#include <limits>

#include "tests/module/module_test.h"

using sim::HostCall;
using test::addVessel;

namespace {

class PumpTest : public test::SimTest {
protected:
    // A vessel with a giving tank 1 and a receiving tank 0, cross-feed from 1 into 0.
    sim::VesselRecord& crossFeed(double givingMass, double receivingMass, double receivingCapacity,
                                 int rate = 2) {
        auto& v = addVessel(sim, "Ship", {{receivingCapacity, receivingMass}, {1000.0, givingMass}});
        test::setUpFor(v);
        transferState.sourceTank = 1;
        transferState.pumpRate = rate;
        return v;
    }
};

TEST_F(PumpTest, MediumRateMovesFiveFiveTwoAndStopsWhenTheGivingTankRunsDry) {
    auto& v = crossFeed(12.0, 0.0, 100.0);
    pumpStep(0.5);
    EXPECT_DOUBLE_EQ(v.tanks[1].mass, 7.0);
    EXPECT_DOUBLE_EQ(v.tanks[0].mass, 5.0);
    pumpStep(0.5);
    EXPECT_DOUBLE_EQ(v.tanks[1].mass, 2.0);
    EXPECT_EQ(transferState.pumpRate, 2);
    pumpStep(0.5);
    EXPECT_EQ(v.tanks[1].mass, 0.0);
    EXPECT_DOUBLE_EQ(v.tanks[0].mass, 12.0);
    EXPECT_EQ(transferState.pumpRate, 0);
}

TEST_F(PumpTest, ExactLimitsSwitchThePumpOffInTheStepThatReachesThem) {
    {  // giving tank holds exactly dt x rate
        auto& v = crossFeed(5.0, 0.0, 100.0);
        pumpStep(0.5);
        EXPECT_EQ(v.tanks[1].mass, 0.0);
        EXPECT_EQ(v.tanks[0].mass, 5.0);
        EXPECT_EQ(transferState.pumpRate, 0);
    }
    {  // receiving room exactly the amount
        auto& v = crossFeed(50.0, 95.0, 100.0);
        pumpStep(0.5);
        EXPECT_EQ(v.tanks[0].mass, 100.0);
        EXPECT_EQ(v.tanks[1].mass, 45.0);
        EXPECT_EQ(transferState.pumpRate, 0);
    }
    {  // less room than the amount: only the room moves
        auto& v = crossFeed(50.0, 98.0, 100.0);
        pumpStep(0.5);
        EXPECT_EQ(v.tanks[0].mass, 100.0);
        EXPECT_EQ(v.tanks[1].mass, 48.0);
        EXPECT_EQ(transferState.pumpRate, 0);
    }
    {  // both limits in one step: the room decides
        auto& v = crossFeed(3.0, 98.0, 100.0);
        pumpStep(1.0);
        EXPECT_EQ(v.tanks[0].mass, 100.0);
        EXPECT_EQ(v.tanks[1].mass, 1.0);
        EXPECT_EQ(transferState.pumpRate, 0);
    }
}

TEST_F(PumpTest, EmptyGiverOrFullReceiverStopsAtOnceAndWritesBothMassesBack) {
    for (auto [giving, receiving] : {std::pair{0.0, 10.0}, std::pair{10.0, 100.0}}) {
        auto& v = crossFeed(giving, receiving, 100.0);
        sim.calls.clear();
        pumpStep(0.5);
        EXPECT_EQ(v.tanks[1].mass, giving);
        EXPECT_EQ(v.tanks[0].mass, receiving);
        EXPECT_EQ(transferState.pumpRate, 0);
        EXPECT_EQ(sim.calls.count(HostCall::SetPropellantMass), 2u);
    }
}

TEST_F(PumpTest, ZeroStepMovesNothingButStillStopsAtALimit) {
    auto& v = crossFeed(40.0, 10.0, 100.0);
    pumpStep(0.0);
    EXPECT_EQ(v.tanks[1].mass, 40.0);
    EXPECT_EQ(transferState.pumpRate, 2);
    v.tanks[1].mass = 0.0;
    pumpStep(0.0);
    EXPECT_EQ(transferState.pumpRate, 0);
}

TEST_F(PumpTest, VentDiscardsTheTargetTankAndTouchesNothingElse) {
    auto& v = addVessel(sim, "Ship", {{1000.0, 250.0}, {1000.0, 30.0}});
    test::setUpFor(v);
    transferState.pumpMode = Vent;
    transferState.setSource(nullptr, nullptr);
    transferState.pumpRate = 3;
    pumpStep(1.0);
    EXPECT_EQ(v.tanks[0].mass, 150.0);
    pumpStep(1.0);
    EXPECT_EQ(v.tanks[0].mass, 50.0);
    EXPECT_EQ(transferState.pumpRate, 3);
    pumpStep(1.0);
    EXPECT_EQ(v.tanks[0].mass, 0.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(v.tanks[1].mass, 30.0);
    EXPECT_EQ(sim.calls.count(HostCall::GetPropellantMaxMass), 0u);
}

TEST_F(PumpTest, UnloadFillsTheDockedTankUpToItsOwnCapacity) {
    auto& own = addVessel(sim, "Ship", {{1000.0, 500.0}}, 1);
    auto& depot = addVessel(sim, "Depot", {{120.0, 100.0}, {5000.0, 0.0}}, 1);
    ASSERT_TRUE(sim.dock(own, 0, depot, 0));
    test::setUpFor(own);
    transferState.pumpMode = Unload;
    transferState.setSource(depot.vessel.get(), depot.handle());
    transferState.pumpRate = 3;
    pumpStep(1.0);
    EXPECT_EQ(depot.tanks[0].mass, 120.0);
    EXPECT_EQ(own.tanks[0].mass, 480.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(depot.tanks[1].mass, 0.0);
}

TEST_F(PumpTest, LoadTakesFromTheDockedVesselAndConservesMass) {
    auto& own = addVessel(sim, "Ship", {{1000.0, 0.1}}, 1);
    auto& depot = addVessel(sim, "Depot", {{5000.0, 4321.987654}}, 1);
    ASSERT_TRUE(sim.dock(own, 0, depot, 0));
    test::setUpFor(own);
    transferState.pumpMode = Load;
    transferState.setSource(depot.vessel.get(), depot.handle());
    transferState.pumpRate = 2;
    const double total = sim.totalPropellant();
    for (int i = 0; i < 1000 && transferState.pumpRate != 0; ++i) pumpStep(1.0 / 60.0 * 7.3);
    EXPECT_EQ(own.tanks[0].mass, 1000.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_NEAR(sim.totalPropellant(), total, 1e-9);
}

TEST_F(PumpTest, AVeryLongStepIsClampedWithoutOvershoot) {
    auto& v = crossFeed(700.0, 900.0, 1000.0, 3);
    pumpStep(1e12);
    EXPECT_EQ(v.tanks[0].mass, 1000.0);
    EXPECT_EQ(v.tanks[1].mass, 600.0);
    EXPECT_EQ(transferState.pumpRate, 0);
}

TEST_F(PumpTest, PumpOffOrABadStepMakesNoHostCallAndChangesNothing) {
    auto& v = crossFeed(40.0, 10.0, 100.0, 0);
    sim.calls.clear();
    pumpStep(1.0);
    EXPECT_EQ(sim.calls.callCount, 0u);

    transferState.pumpRate = 1;
    for (double dt : {-1.0, std::nan(""), std::numeric_limits<double>::infinity(),
                      -std::numeric_limits<double>::infinity()}) {
        pumpStep(dt);
        EXPECT_EQ(v.tanks[1].mass, 40.0) << dt;
        EXPECT_EQ(v.tanks[0].mass, 10.0) << dt;
        EXPECT_EQ(transferState.pumpRate, 1) << dt;
    }
    EXPECT_EQ(sim.calls.callCount, 0u);

    for (int bad : {-1, 4, 1000}) {  // rates and modes outside their tables count as Off
        transferState.pumpRate = bad;
        pumpStep(1.0);
        transferState.pumpRate = 1;
        transferState.pumpMode = bad;
        pumpStep(1.0);
        transferState.pumpMode = CrossFeed;
    }
    EXPECT_EQ(sim.calls.callCount, 0u);
    EXPECT_EQ(v.tanks[1].mass, 40.0);
}

TEST_F(PumpTest, AnImpossibleTransferWaitsAtItsRateAndResumesByItself) {
    auto& v = crossFeed(40.0, 10.0, 100.0, 1);
    transferState.sourceTank = 0;  // the target tank itself
    pumpStep(1.0);
    EXPECT_EQ(v.tanks[1].mass, 40.0);
    EXPECT_EQ(transferState.pumpRate, 1);
    transferState.sourceTank = 1;
    pumpStep(1.0);
    EXPECT_EQ(v.tanks[1].mass, 39.0);
    EXPECT_EQ(v.tanks[0].mass, 11.0);
}

TEST_F(PumpTest, RunningStepMakesTheHostCallsInTheirOrder) {
    crossFeed(40.0, 10.0, 100.0, 1);
    sim.calls.clear();
    pumpStep(1.0);
    const std::vector<HostCall> expected = {HostCall::IsVessel,
                                            HostCall::GetStatusEx,
                                            HostCall::ReleaseStatusList,
                                            HostCall::GetStatusEx,
                                            HostCall::ReleaseStatusList,
                                            HostCall::GetHandle,
                                            HostCall::GetPropellantHandle,
                                            HostCall::GetPropellantMass,
                                            HostCall::GetHandle,
                                            HostCall::GetPropellantHandle,
                                            HostCall::GetPropellantMass,
                                            HostCall::GetPropellantMaxMass,
                                            HostCall::SetPropellantMass,
                                            HostCall::SetPropellantMass};
    EXPECT_EQ(sim.calls.sequence(), expected);
    EXPECT_EQ(sim.calls.liveStatusLists(), 0u);
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

class DockedPumpTest : public PumpTest {
protected:
    sim::VesselRecord& own = addVessel(sim, "Ship", {{1000.0, 0.0}}, 2);
    sim::VesselRecord& depot = addVessel(sim, "Depot", {{5000.0, 4000.0}}, 1);

    void SetUp() override {
        ASSERT_TRUE(sim.dock(own, 1, depot, 0));
        test::setUpFor(own);
        transferState.pumpMode = Load;
        transferState.dockPort = 1;
        transferState.setSource(depot.vessel.get(), depot.handle());
        transferState.pumpRate = 2;
        pumpStep(1.0);
        ASSERT_EQ(own.tanks[0].mass, 10.0);
    }
};

TEST_F(DockedPumpTest, AVesselThatSeparatesStopsTheTransferAtTheNextStep) {
    sim.undock(own, 1);
    pumpStep(1.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(own.tanks[0].mass, 10.0);
    EXPECT_EQ(depot.tanks[0].mass, 3990.0);
}

TEST_F(DockedPumpTest, AVesselDockedAtAnotherPortIsNoSource) {
    sim.undock(own, 1);
    ASSERT_TRUE(sim.dock(own, 0, depot, 0));
    pumpStep(1.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(depot.tanks[0].mass, 3990.0);
}

TEST_F(DockedPumpTest, ARemovedSourceIsDroppedAndNeverTouched) {
    sim.removeVessel(depot);
    sim.calls.clear();
    pumpStep(1.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(own.tanks[0].mass, 10.0);
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

TEST_F(DockedPumpTest, AVentAtLowGoesOnAfterTheVesselNamedAsTheSourceWasRemoved) {
    transferState.pumpMode = Vent;
    transferState.pumpRate = 1;
    sim.removeVessel(depot);
    sim.calls.clear();
    pumpStep(1.0);
    EXPECT_EQ(transferState.pumpRate, 1);
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(own.tanks[0].mass, 10.0 - kRateTable[1]);
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

TEST_F(DockedPumpTest, ARemovedTargetLeavesNoVesselToPumpFor) {
    sim.removeVessel(own);
    sim.calls.clear();
    pumpStep(1.0);
    pumpStep(1.0);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(transferState.targetVessel, nullptr);
    EXPECT_EQ(transferState.sourceVessel, depot.vessel.get()) << "the source is still there";
    EXPECT_EQ(depot.tanks[0].mass, 3990.0);
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

TEST_F(PumpTest, LoadOrUnloadWithTheOwnVesselStillTheSourceStopsThePump) {
    // Right after the mode key, before a redraw has found the docked vessel, or read so from a
    // scenario block: the own vessel is no docked vessel to load from or unload into.
    for (const int mode : {Load, Unload}) {
        sim::VesselRecord& v = crossFeed(500.0, 100.0, 1000.0);
        transferState.pumpMode = mode;
        pumpStep(1.0);
        EXPECT_EQ(transferState.pumpRate, 0) << mode;
        EXPECT_EQ(v.tanks[0].mass, 100.0) << mode;
        EXPECT_EQ(v.tanks[1].mass, 500.0) << mode;
        sim.removeVessel(v);
    }
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

}  // namespace
