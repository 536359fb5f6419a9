// The instrument's controls: which keys it takes, what each command does to the shared state,
// when it asks for a redraw, and the buttons, labels and menu it offers the host.
#include "display/pump_mfd.h"

#include <climits>
#include <cstring>
#include <tuple>
#include <utility>

#include "sim/world/display.h"
#include "tests/module/module_test.h"
#include "tests/support/drawing.h"

using sim::HostCall;
using test::addVessel;
using test::iface;

namespace {

// Every field that a command may change, comparable in one go.
auto fields(const TransferState& s) {
    return std::make_tuple(s.targetVessel, s.targetTank, s.sourceVessel, s.sourceTank, s.dockPort, s.pumpMode,
                           s.pumpRate);
}

class PumpMfdTest : public test::SimTest {
protected:
    // Presses a key on a fresh call record; returns whether it was consumed.
    bool press(PumpMFD& mfd, DWORD key) {
        sim.calls.clear();
        return mfd.ConsumeKeyBuffered(key);
    }
    size_t redraws() const { return sim.calls.count(HostCall::InvalidateDisplay); }
    // The page the instrument shows, drawn as a display of its size would draw it.
    test::Drawing page(PumpMFD& mfd) {
        test::CapturingSurface surface(400, 300, sim::cellWidthFor(400), sim::cellHeightFor(300), false);
        mfd.Repaint(&surface);
        return surface.drawing();
    }
    static bool showsStatusPage(const test::Drawing& page) { return page.find("Pump Mode: ") != nullptr; }
};

TEST_F(PumpMfdTest, HelpPageSwallowsEveryCommandButTheHelpKey) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}, {100, 50}}, 3);
    PumpMFD mfd(400, 300, iface(ship));
    transferState.sourceTank = 1;
    transferState.pumpRate = 2;

    EXPECT_TRUE(press(mfd, kKeyHelp));
    EXPECT_EQ(redraws(), 1u);
    EXPECT_TRUE(test::showsHelpPage(page(mfd)));

    const auto before = fields(transferState);
    for (DWORD key : {kKeyMode, kKeyRateUp, kKeyRateDown, kKeyTargetTank, kKeySourceTank, kKeyDockPort}) {
        EXPECT_TRUE(press(mfd, key)) << key;
        EXPECT_EQ(fields(transferState), before) << key;
        EXPECT_EQ(sim.calls.callCount, 0u) << key;  // no query and no redraw
    }

    EXPECT_TRUE(press(mfd, kKeyHelp));
    EXPECT_EQ(redraws(), 1u);
    const test::Drawing status = page(mfd);
    EXPECT_TRUE(showsStatusPage(status));
    EXPECT_FALSE(test::showsHelpPage(status));
    EXPECT_TRUE(press(mfd, kKeyMode));
    EXPECT_EQ(transferState.pumpMode, Load);
}

TEST_F(PumpMfdTest, KeysOutsideTheTableAreNotConsumed) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}});
    PumpMFD mfd(400, 300, iface(ship));
    const auto before = fields(transferState);
    for (DWORD key : {0x21u, 0x0Eu, 0x00u, 0x33u, 0x132u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(press(mfd, key)) << key;
        EXPECT_EQ(sim.calls.callCount, 0u) << key;
    }
    EXPECT_EQ(fields(transferState), before);
}

TEST_F(PumpMfdTest, RateKeysStepBetweenOffAndHighAndRedrawEveryTime) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}});
    PumpMFD mfd(400, 300, iface(ship));
    transferState.sourceTank = 1;
    for (int expected : {1, 2, 3, 3}) {
        EXPECT_TRUE(press(mfd, kKeyRateUp));
        EXPECT_EQ(transferState.pumpRate, expected);
        EXPECT_EQ(redraws(), 1u);
    }
    for (int expected : {2, 1, 0, 0}) {
        EXPECT_TRUE(press(mfd, kKeyRateDown));
        EXPECT_EQ(transferState.pumpRate, expected);
        EXPECT_EQ(redraws(), 1u);
    }
    EXPECT_EQ(sim.calls.liveStatusLists(), 0u);
}

TEST_F(PumpMfdTest, RateKeysSwitchOffWhenNoTransferIsPossible) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}});
    PumpMFD mfd(400, 300, iface(ship));
    // Source tank is the target tank: nothing can move.
    for (DWORD key : {kKeyRateUp, kKeyRateDown}) {
        transferState.pumpRate = 3;
        EXPECT_TRUE(press(mfd, key));
        EXPECT_EQ(transferState.pumpRate, 0);
        EXPECT_EQ(redraws(), 1u);
    }
    // A rate from outside the table counts as Off, as the pump treats it.
    transferState.sourceTank = 1;
    const struct {
        int32_t rate;
        DWORD key;
        int32_t expected;
    } cases[] = {{7, kKeyRateUp, 1}, {7, kKeyRateDown, 0}, {-5, kKeyRateUp, 1}, {INT32_MIN, kKeyRateDown, 0}};
    for (const auto& c : cases) {
        transferState.pumpRate = c.rate;
        press(mfd, c.key);
        EXPECT_EQ(transferState.pumpRate, c.expected) << c.rate << " key " << c.key;
    }
}

TEST_F(PumpMfdTest, TankKeysStepThroughTheTanksAndIgnoreASingleTank) {
    // Tanks on the vessel, the stored index, and the index after each of three presses.
    const struct {
        int tanks;
        int32_t start;
        int32_t after[3];
    } cases[] = {
        {0, 0, {0, 0, 0}},  {1, 0, {0, 0, 0}}, {2, 0, {1, 0, 1}},
        {3, 0, {1, 2, 0}},  {3, 7, {2, 0, 1}},  // stale index from a vessel that had more tanks
        {2, -2, {1, 0, 1}},                     // unsigned step: 0xFFFFFFFE + 1 is odd
    };
    for (DWORD key : {kKeyTargetTank, kKeySourceTank}) {
        for (const auto& c : cases) {
            clearTransferState();
            const std::string name =
                "Ship" + std::to_string(key) + "_" + std::to_string(c.tanks) + "_" + std::to_string(c.start);
            auto& ship =
                sim.addVessel({name, "Tanker", std::vector<sim::Tank>(c.tanks, sim::Tank{100, 10}), 0});
            PumpMFD mfd(400, 300, iface(ship));
            int32_t& index = key == kKeyTargetTank ? transferState.targetTank : transferState.sourceTank;
            index = c.start;
            const bool steps = c.tanks > 1;
            for (int32_t expected : c.after) {
                transferState.pumpRate = 2;
                EXPECT_TRUE(press(mfd, key));
                EXPECT_EQ(index, steps ? expected : c.start) << "key " << key << ", " << c.tanks << " tanks";
                EXPECT_EQ(transferState.pumpRate, steps ? 0 : 2);
                EXPECT_EQ(redraws(), steps ? 1u : 0u);
            }
        }
    }
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

TEST_F(PumpMfdTest, SourceTankKeyWithoutASourceVesselAsksNothing) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}, {100, 50}});
    PumpMFD mfd(400, 300, iface(ship));
    transferState.pumpMode = Vent;
    transferState.setSource(nullptr, nullptr);
    transferState.sourceTank = 1;
    transferState.pumpRate = 1;
    EXPECT_TRUE(press(mfd, kKeySourceTank));
    EXPECT_EQ(transferState.sourceTank, 1);
    EXPECT_EQ(transferState.pumpRate, 1);
    EXPECT_EQ(sim.calls.count(HostCall::GetStatusEx), 0u);
    EXPECT_EQ(redraws(), 0u);
}

TEST_F(PumpMfdTest, SourceTankKeyStepsTheDockedVesselsTanks) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}}, 1);
    auto& depot = addVessel(sim, "Depot", {{100, 50}, {100, 50}, {100, 50}}, 1);
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    PumpMFD mfd(400, 300, iface(ship));
    transferState.pumpMode = Load;
    transferState.setSource(iface(depot), depot.handle());
    for (int32_t expected : {1, 2, 0}) {
        press(mfd, kKeySourceTank);
        EXPECT_EQ(transferState.sourceTank, expected);
        EXPECT_EQ(transferState.sourceVessel, iface(depot));
    }
    // The target vessel's single tank cannot be stepped.
    press(mfd, kKeyTargetTank);
    EXPECT_EQ(transferState.targetTank, 0);
    EXPECT_EQ(redraws(), 0u);
}

TEST_F(PumpMfdTest, DockKeyStepsThroughThePortsOfTheVesselTheTitleNames) {
    // Ports of the vessel, and the port after each of four presses.
    const struct {
        unsigned ports;
        int32_t after[4];
    } cases[] = {{0, {0, 0, 0, 0}}, {1, {0, 0, 0, 0}}, {2, {1, 0, 1, 0}}, {3, {1, 2, 0, 1}}};
    for (const auto& c : cases) {
        clearTransferState();
        auto& ship = addVessel(sim, "Ship" + std::to_string(c.ports), {{100, 50}}, c.ports);
        PumpMFD mfd(400, 300, iface(ship));
        const bool steps = c.ports > 1;
        for (int32_t expected : c.after) {
            transferState.pumpRate = 1;
            EXPECT_TRUE(press(mfd, kKeyDockPort));
            EXPECT_EQ(transferState.dockPort, expected) << c.ports << " ports";
            EXPECT_EQ(transferState.pumpRate, steps ? 0 : 1);
            EXPECT_EQ(redraws(), steps ? 1u : 0u);
        }
    }

    // The count comes from the vessel the state was set up for, which the title names, also on
    // another vessel's display; the source is left for the next redraw.
    auto& portless = addVessel(sim, "Portless", {{100, 50}});
    auto& hub = addVessel(sim, "Hub", {{100, 50}}, 3);
    PumpMFD portlessMfd(400, 300, iface(portless));
    PumpMFD hubMfd(400, 300, iface(hub));
    ASSERT_EQ(transferState.targetVessel, iface(hub));
    press(portlessMfd, kKeyDockPort);
    EXPECT_EQ(transferState.dockPort, 1);
    EXPECT_EQ(transferState.sourceVessel, iface(hub));
    press(portlessMfd, kKeyDockPort);
    press(portlessMfd, kKeyDockPort);
    EXPECT_EQ(transferState.dockPort, 0);
}

TEST_F(PumpMfdTest, ModeKeyCyclesAndSetsTheSourceForCrossFeedAndVent) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}, {100, 50}}, 1);
    PumpMFD mfd(400, 300, iface(ship));
    transferState.targetTank = 2;
    transferState.sourceTank = 1;

    const struct {
        int32_t mode;
        VESSEL* source;
        int32_t sourceTank;
    } steps[] = {
        {Load, iface(ship), 1},  // left to the next redraw
        {Unload, iface(ship), 1},
        {Vent, nullptr, 1},           // the tank index stays
        {CrossFeed, iface(ship), 2},  // the source starts on the target tank
    };
    for (const auto& step : steps) {
        transferState.pumpRate = 3;
        EXPECT_TRUE(press(mfd, kKeyMode));
        EXPECT_EQ(transferState.pumpMode, step.mode);
        EXPECT_EQ(transferState.sourceVessel, step.source) << step.mode;
        EXPECT_EQ(transferState.sourceTank, step.sourceTank) << step.mode;
        EXPECT_EQ(transferState.pumpRate, 0);
        EXPECT_EQ(redraws(), 1u);
    }
    EXPECT_EQ(transferState.targetTank, 2);
}

TEST_F(PumpMfdTest, ModeKeyBringsAnyStoredModeBackIntoTheTable) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}});
    PumpMFD mfd(400, 300, iface(ship));
    const struct {
        int32_t stored, expected;
    } cases[] = {{3, CrossFeed}, {4, Load},  {7, CrossFeed},         {-1, CrossFeed},
                 {-2, Vent},     {-6, Vent}, {INT32_MAX, CrossFeed}, {INT32_MIN, Load}};
    for (const auto& c : cases) {
        transferState.pumpMode = c.stored;
        press(mfd, kKeyMode);
        EXPECT_EQ(transferState.pumpMode, c.expected) << c.stored;
    }
}

// Records which keys the buttons send, through the virtual call.
class KeySpy : public PumpMFD {
public:
    using PumpMFD::PumpMFD;
    std::vector<DWORD> keys;
    bool ConsumeKeyBuffered(DWORD key) override {
        keys.push_back(key);
        return PumpMFD::ConsumeKeyBuffered(key);
    }
};

TEST_F(PumpMfdTest, ButtonsSendTheirKeysOnPressEventsOnly) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}});
    KeySpy mfd(400, 300, iface(ship));
    for (int button = 0; button < 7; ++button) EXPECT_TRUE(mfd.ConsumeButton(button, 1)) << button;
    const std::vector<DWORD> expected = {0x32, 0x0D, 0x0C, 0x14, 0x1F, 0x20, 0x35};
    EXPECT_EQ(mfd.keys, expected);

    mfd.keys.clear();
    for (int event : {2, 3, 0x7F, -1}) EXPECT_TRUE(mfd.ConsumeButton(0, event)) << event;
    EXPECT_EQ(mfd.keys.size(), 4u);

    mfd.keys.clear();
    const auto before = fields(transferState);
    for (int event : {0, 4, 8, 0x7C, INT_MIN}) EXPECT_FALSE(mfd.ConsumeButton(0, event)) << event;
    for (int button : {7, 8, -1, INT_MIN, INT_MAX}) EXPECT_FALSE(mfd.ConsumeButton(button, 1)) << button;
    EXPECT_TRUE(mfd.keys.empty());
    EXPECT_EQ(fields(transferState), before);
}

TEST_F(PumpMfdTest, LabelsAndThePackedMenu) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}});
    PumpMFD mfd(400, 300, iface(ship));
    const char* const labels[] = {"MOD", "PR+", "PR-", "TGT", "SRC", "DCK", "HLP"};
    for (int i = 0; i < 7; ++i) EXPECT_STREQ(mfd.ButtonLabel(i), labels[i]);
    for (int i : {7, -1, INT_MIN, INT_MAX}) EXPECT_EQ(mfd.ButtonLabel(i), nullptr) << i;

    EXPECT_EQ(mfd.ButtonMenu(nullptr), 7);
    const MFDBUTTONMENU* menu = nullptr;
    EXPECT_EQ(mfd.ButtonMenu(&menu), 7);
    ASSERT_NE(menu, nullptr);

    // The host reads the entries back to back: two pointers and a character each.
    const char* const expectedLines[] = {"Pump Mode",   "Increase Rate", "Decrease Rate", "Target Tank",
                                         "Source Tank", "Docking Port",  "Help"};
    const char selection[] = {'M', '+', '-', 'T', 'S', 'D', '?'};
    const auto* bytes = reinterpret_cast<const unsigned char*>(menu);
    const size_t stride = sizeof(void*) == 8 ? 17 : 9;  // packed
    for (size_t i = 0; i < 7; ++i) {
        const char* line1 = nullptr;
        const char* line2 = reinterpret_cast<const char*>(1);
        std::memcpy(&line1, bytes + i * stride, sizeof line1);
        std::memcpy(&line2, bytes + i * stride + sizeof(void*), sizeof line2);
        EXPECT_STREQ(line1, expectedLines[i]);
        EXPECT_EQ(line2, nullptr);
        EXPECT_EQ(static_cast<char>(bytes[i * stride + 2 * sizeof(void*)]), selection[i]);
    }
}

TEST_F(PumpMfdTest, ANewInstrumentAdoptsItsOwnVesselsStateAndResetsAnyOther) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}}, 2);
    auto& other = addVessel(sim, "Other", {{100, 50}, {100, 50}}, 2);
    test::setUpFor(ship);
    transferState.targetTank = 1;
    transferState.sourceTank = 0;
    transferState.dockPort = 1;
    transferState.pumpRate = 2;
    const auto running = fields(transferState);

    auto* first = new PumpMFD(400, 300, iface(ship));
    first->ConsumeKeyBuffered(kKeyHelp);
    EXPECT_TRUE(test::showsHelpPage(page(*first)));
    EXPECT_EQ(fields(transferState), running);
    delete first;  // destruction leaves the state alone
    EXPECT_EQ(fields(transferState), running);

    PumpMFD second(400, 300, iface(ship));
    EXPECT_EQ(fields(transferState), running);
    EXPECT_TRUE(showsStatusPage(page(second))) << "a new instrument starts on the status page";
    EXPECT_EQ(fields(transferState), running);

    PumpMFD third(400, 300, iface(other));
    EXPECT_EQ(fields(transferState),
              std::make_tuple(iface(other), 0, iface(other), 0, 0, int32_t{CrossFeed}, 0));
    EXPECT_EQ(sim.calls.badCalls, 0u);
}

TEST_F(PumpMfdTest, CommandsAfterTheStateWasClearedSetItUpForTheOwnVesselFirst) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}}, 2);
    PumpMFD mfd(400, 300, iface(ship));
    for (DWORD key : {kKeyMode, kKeyRateUp, kKeyRateDown, kKeyTargetTank, kKeySourceTank, kKeyDockPort}) {
        clearTransferState();  // as a scenario write leaves it
        EXPECT_TRUE(press(mfd, key));
        EXPECT_EQ(transferState.targetVessel, iface(ship)) << key;
        EXPECT_EQ(sim.calls.badCalls, 0u) << key;
    }
    // A state set up afresh is shown, even by a command that then changes nothing.
    auto& single = addVessel(sim, "Single", {{100, 50}});
    PumpMFD singleMfd(400, 300, iface(single));
    clearTransferState();
    press(singleMfd, kKeyTargetTank);
    EXPECT_EQ(transferState.targetVessel, iface(single));
    EXPECT_EQ(redraws(), 1u);
    press(singleMfd, kKeyTargetTank);
    EXPECT_EQ(redraws(), 0u);

    // Each command then acts on the fresh state.
    clearTransferState();
    press(mfd, kKeyTargetTank);
    EXPECT_EQ(transferState.targetTank, 1);
    clearTransferState();
    press(mfd, kKeyMode);
    EXPECT_EQ(transferState.pumpMode, Load);
    EXPECT_EQ(transferState.sourceVessel, iface(ship));
}

TEST_F(PumpMfdTest, CommandsDropVesselsTheSimulationRemoved) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}}, 1);
    auto& depot = addVessel(sim, "Depot", {{100, 50}, {100, 50}}, 1);
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    PumpMFD mfd(400, 300, iface(ship));
    transferState.pumpMode = Load;
    transferState.setSource(iface(depot), depot.handle());
    transferState.pumpRate = 1;
    ASSERT_TRUE(sim.removeVessel(depot));
    EXPECT_TRUE(press(mfd, kKeySourceTank));
    EXPECT_EQ(transferState.sourceVessel, nullptr);
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(redraws(), 1u);  // the key changed nothing itself, but the pump stopped: show it

    // A removed target: the own vessel takes its place before the command runs.
    {
        auto& gone = addVessel(sim, "Gone", {{100, 50}, {100, 50}, {100, 50}});
        PumpMFD goneMfd(400, 300, iface(gone));
        ASSERT_EQ(transferState.targetVessel, iface(gone));
        ASSERT_TRUE(sim.removeVessel(gone));
    }
    press(mfd, kKeyTargetTank);
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(transferState.targetTank, 1);
    EXPECT_EQ(sim.calls.badCalls, 0u) << (sim.calls.badCallNotes.empty() ? "" : sim.calls.badCallNotes[0]);
}

}  // namespace
