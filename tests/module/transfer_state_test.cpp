// The shared transfer state: set-up, the transfer-possible decision, the docked source, and
// vessels the simulation removes.
#include <utility>

#include "tests/module/module_test.h"

using sim::HostCall;
using test::addVessel;
using test::iface;

namespace {

class TransferStateTest : public test::SimTest {};

TEST_F(TransferStateTest, ClearingAndResettingSetEveryField) {
    auto& v = addVessel(sim, "Ship", {{100, 10}});
    const TransferState& s = transferState;
    auto expectZeros = [&](const char* after) {
        EXPECT_EQ(s.targetTank, 0) << after;
        EXPECT_EQ(s.sourceTank, 0) << after;
        EXPECT_EQ(s.dockPort, 0) << after;
        EXPECT_EQ(s.pumpMode, CrossFeed) << after;
        EXPECT_EQ(s.pumpRate, 0) << after;
    };
    const TransferState busy = {iface(v), 3, iface(v), 2, 1, Unload, 3, v.handle(), v.handle()};
    transferState = busy;
    resetTransferState(iface(v));
    EXPECT_EQ(s.targetVessel, iface(v));
    EXPECT_EQ(s.sourceVessel, iface(v));
    EXPECT_EQ(s.targetHandle, v.handle());
    EXPECT_EQ(s.sourceHandle, v.handle());
    expectZeros("reset");
    transferState = busy;
    clearTransferState();
    EXPECT_EQ(s.targetVessel, nullptr);
    EXPECT_EQ(s.sourceVessel, nullptr);
    EXPECT_EQ(s.targetHandle, nullptr);
    EXPECT_EQ(s.sourceHandle, nullptr);
    expectZeros("clear");
}

TEST_F(TransferStateTest, PropellantCountReleasesTheHostsListEveryTime) {
    auto& none = addVessel(sim, "Empty", {});
    auto& three = addVessel(sim, "Three", {{1, 0}, {1, 0}, {1, 0}});
    EXPECT_EQ(propellantCount(iface(none)), 0u);
    EXPECT_EQ(propellantCount(iface(three)), 3u);
    EXPECT_EQ(sim.calls.statusListsAllocated, 2u);
    EXPECT_EQ(sim.calls.liveStatusLists(), 0u);
    EXPECT_EQ(sim.calls.badCalls, 0u) << "the record asked for is version 2 with the propellant list";
    sim.calls.clear();
    EXPECT_EQ(propellantCount(nullptr), 0u);
    EXPECT_EQ(sim.calls.callCount, 0u);

    // The emulator, like the simulator, serves version 2 only: another record is refused.
    for (const auto& [version, flag] :
         {std::pair<DWORD, DWORD>{1, VS_FUELLIST}, {0, VS_FUELLIST}, {2, 0x04}}) {
        VESSELSTATUS2 status{};
        status.version = version;
        status.flag = flag;
        status.nfuel = 77;
        iface(three)->GetStatusEx(&status);
        EXPECT_EQ(status.nfuel, 77u) << version;
        EXPECT_EQ(status.fuel, nullptr) << version;
    }
    EXPECT_EQ(sim.calls.badCalls, 3u);
}

TEST_F(TransferStateTest, TransferPossibleDecidesInItsOrder) {
    auto& empty = addVessel(sim, "Empty", {});
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}});
    auto& single = addVessel(sim, "Single", {{100, 50}});
    struct Case {
        const char* what;
        sim::VesselRecord* target;
        int targetTank;
        sim::VesselRecord* source;
        int sourceTank;
        int mode;
        bool possible;
    };
    const Case cases[] = {
        {"target without tanks, even in Vent", &empty, 0, nullptr, 0, Vent, false},
        {"target without tanks, with a source", &empty, 0, &ship, 1, CrossFeed, false},
        {"no source in Vent", &ship, 0, nullptr, 0, Vent, true},
        {"no source in Vent ignores the target tank", &ship, 7, nullptr, 0, Vent, true},
        {"no source in Load", &ship, 0, nullptr, 0, Load, false},
        {"cross-feed to the same tank", &ship, 1, &ship, 1, CrossFeed, false},
        {"cross-feed between two tanks", &ship, 0, &ship, 1, CrossFeed, true},
        {"source tank equal to the count", &ship, 0, &ship, 2, CrossFeed, false},
        {"source without tanks", &ship, 0, &empty, 0, Load, false},
        {"source in Vent still checked", &ship, 0, &ship, 0, Vent, false},
        {"negative source tank passes the signed test", &ship, 0, &single, -1, Load, true},
        {"other vessel, same index", &ship, 0, &single, 0, Unload, true},
    };
    for (const Case& c : cases) {
        TransferState s{};
        s.setTarget(iface(*c.target), c.target->handle());
        s.targetTank = c.targetTank;
        if (c.source) s.setSource(iface(*c.source), c.source->handle());
        s.sourceTank = c.sourceTank;
        s.pumpMode = c.mode;
        EXPECT_EQ(transferPossible(s), c.possible) << c.what;
    }
    EXPECT_EQ(sim.calls.liveStatusLists(), 0u);
    TransferState none{};
    none.pumpMode = Vent;
    sim.calls.clear();
    EXPECT_FALSE(transferPossible(none));
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

class DockedSourceTest : public test::SimTest {
protected:
    sim::VesselRecord& own = addVessel(sim, "Ship", {{100, 0}, {100, 0}}, 2);
    sim::VesselRecord& depot = addVessel(sim, "Depot", {{900, 900}, {900, 900}}, 1);
    sim::VesselRecord& other = addVessel(sim, "Other", {{900, 900}}, 1);

    void loadWithRunningPump(sim::VesselRecord* source, int sourceTank) {
        test::setUpFor(own);
        transferState.pumpMode = Load;
        transferState.setSource(source ? iface(*source) : nullptr, source ? source->handle() : nullptr);
        transferState.sourceTank = sourceTank;
        transferState.pumpRate = 2;
    }
};

TEST_F(DockedSourceTest, TheSameVesselAtThePortKeepsTankAndRate) {
    ASSERT_TRUE(sim.dock(own, 0, depot, 0));
    loadWithRunningPump(&depot, 1);
    resolveDockedSource();
    resolveDockedSource();
    EXPECT_EQ(transferState.sourceVessel, iface(depot));
    EXPECT_EQ(transferState.sourceTank, 1);
    EXPECT_EQ(transferState.pumpRate, 2);
}

TEST_F(DockedSourceTest, AnotherVesselOrAnEmptyPortResetsTheSource) {
    ASSERT_TRUE(sim.dock(own, 1, other, 0));
    loadWithRunningPump(&depot, 1);
    transferState.dockPort = 1;
    resolveDockedSource();
    EXPECT_EQ(transferState.sourceVessel, iface(other));
    EXPECT_EQ(transferState.sourceHandle, other.handle());
    EXPECT_EQ(transferState.sourceTank, 0);
    EXPECT_EQ(transferState.pumpRate, 0);

    loadWithRunningPump(&depot, 1);  // port 0 is empty
    resolveDockedSource();
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.sourceTank, 0);
    EXPECT_EQ(transferState.pumpRate, 0);

    // Right after the mode key moved from CrossFeed to Load the source is the own vessel.
    loadWithRunningPump(&own, 1);
    transferState.dockPort = 1;
    resolveDockedSource();
    EXPECT_EQ(transferState.sourceVessel, iface(other));
    EXPECT_EQ(transferState.sourceTank, 0);
}

TEST_F(DockedSourceTest, AVesselWithoutPortsHasNoSource) {
    auto& portless = addVessel(sim, "Portless", {{100, 0}});
    test::setUpFor(portless);
    transferState.pumpMode = Unload;
    transferState.sourceTank = 1;
    transferState.pumpRate = 1;
    resolveDockedSource();
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.sourceTank, 0);
    EXPECT_EQ(transferState.pumpRate, 0);
}

TEST_F(DockedSourceTest, CrossFeedAndVentIgnoreWhatIsDocked) {
    ASSERT_TRUE(sim.dock(own, 0, depot, 0));
    for (int mode : {CrossFeed, Vent}) {
        loadWithRunningPump(mode == Vent ? nullptr : &own, 1);
        transferState.pumpMode = mode;
        const TransferState before = transferState;
        sim.calls.clear();
        resolveDockedSource();
        EXPECT_EQ(transferState.sourceVessel, before.sourceVessel);
        EXPECT_EQ(transferState.sourceTank, 1);
        EXPECT_EQ(transferState.pumpRate, 2);
        EXPECT_EQ(sim.calls.callCount, 0u);
    }
}

TEST_F(DockedSourceTest, RemovedVesselsAreDroppedWithoutBeingTouched) {
    ASSERT_TRUE(sim.dock(own, 0, depot, 0));
    loadWithRunningPump(&depot, 1);
    sim.removeVessel(depot);
    sim.calls.clear();
    dropRemovedVessels();
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(transferState.targetVessel, iface(own));
    EXPECT_EQ(sim.calls.badCalls, 0u);

    test::setUpFor(own);
    transferState.pumpRate = 1;
    sim.removeVessel(own);
    dropRemovedVessels();
    EXPECT_EQ(transferState.targetVessel, nullptr);
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

}  // namespace
