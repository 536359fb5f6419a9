// The module's entry and callbacks, run inside this test program.
#include "module/module_entry.h"

#include <algorithm>
#include <iterator>
#include <tuple>

#include "display/pump_mfd.h"
#include "tests/module/module_test.h"
#include "tests/support/mfd_fields.h"

using sim::HostCall;
using test::addVessel;
using test::iface;

namespace {

// Stands for the module's handle; the module only passes it on.
HINSTANCE const kHandle = reinterpret_cast<HINSTANCE>(0x10000);

auto fields(const TransferState& s) {
    return std::make_tuple(s.targetVessel, s.targetTank, s.sourceVessel, s.sourceTank, s.dockPort, s.pumpMode,
                           s.pumpRate, s.targetHandle, s.sourceHandle);
}

template <typename F>
OPC_CALLBACK asCallback(F* function) {
    return reinterpret_cast<OPC_CALLBACK>(function);
}

class ModuleEntryTest : public test::SimTest {
protected:
    ~ModuleEntryTest() override {
        opcDLLExit(nullptr);  // a test that loaded the module leaves it unloaded for the next
    }

    // Any state that a clearing or a reset would change.
    void fillState(sim::VesselRecord& vessel) {
        test::setUpFor(vessel);
        transferState.targetTank = 1;
        transferState.sourceTank = 2;
        transferState.dockPort = 1;
        transferState.pumpMode = Unload;
        transferState.pumpRate = 3;
    }
};

TEST_F(ModuleEntryTest, TheTableHoldsTheCallbacksWhenTheModeIsRegisteredAndLoadClearsTheState) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}});
    fillState(ship);
    std::vector<OPC_CALLBACK> tableAtRegistration;
    sim.onModeRegistered = [&](const sim::RegisteredMode&) {
        tableAtRegistration.assign(std::begin(callbackTable), std::end(callbackTable));
    };

    EXPECT_TRUE(moduleEntry(kHandle, 1, nullptr));

    const std::vector<OPC_CALLBACK> expected = {asCallback(&opcOpenRenderViewport),
                                                asCallback(&opcCloseRenderViewport), asCallback(&opcTimestep),
                                                asCallback(&opcFocusChanged), asCallback(&opcTimeAccChanged)};
    EXPECT_EQ(tableAtRegistration, expected);
    EXPECT_EQ(std::vector<OPC_CALLBACK>(std::begin(callbackTable), std::end(callbackTable)), expected);
    EXPECT_EQ(__opcGetInterface(), callbackTable);
    EXPECT_EQ(__opcGetInterface(), __opcGetInterface());

    ASSERT_EQ(sim.modes().size(), 1u);
    const sim::RegisteredMode& mode = sim.modes()[0];
    EXPECT_EQ(mode.name, "Fuel Management");
    EXPECT_EQ(mode.key, 0x21u);
    EXPECT_EQ(mode.msgproc, &modeMessageProc);
    EXPECT_EQ(modeId, mode.id);

    const TransferState& s = transferState;
    EXPECT_EQ(s.targetVessel, nullptr);
    EXPECT_EQ(s.sourceVessel, nullptr);
    EXPECT_EQ(s.targetTank, 0);
    EXPECT_EQ(s.sourceTank, 0);
    EXPECT_EQ(s.dockPort, 0);
    EXPECT_EQ(s.pumpMode, CrossFeed);
    EXPECT_EQ(s.pumpRate, 0);
    EXPECT_EQ(sim.calls.sequence(), std::vector<HostCall>{HostCall::RegisterMode});
}

TEST_F(ModuleEntryTest, UnloadWithdrawsTheModeAndLeavesTableAndStateAlone) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}, {100, 50}, {100, 50}}, 2);
    moduleEntry(kHandle, 1, nullptr);
    ASSERT_EQ(sim.modes().size(), 1u);
    fillState(ship);
    const auto before = fields(transferState);
    sim.calls.clear();

    EXPECT_TRUE(moduleEntry(kHandle, 0, nullptr));

    EXPECT_TRUE(sim.modes().empty());
    EXPECT_EQ(sim.calls.sequence(), std::vector<HostCall>{HostCall::UnregisterMode});
    EXPECT_EQ(callbackTable[OPC_TIMESTEP_ENTRY], asCallback(&opcTimestep));
    EXPECT_EQ(fields(transferState), before);
}

TEST_F(ModuleEntryTest, TheSimulatorsOwnInitAndExitAfterTheEntrysRegisterAndWithdrawTheModeOnce) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}});
    EXPECT_TRUE(moduleEntry(kHandle, 1, nullptr));
    const int32_t id = modeId;
    fillState(ship);
    const auto running = fields(transferState);
    opcDLLInit(nullptr);  // the simulator, after loading the DLL
    EXPECT_EQ(sim.modes().size(), 1u);
    EXPECT_EQ(modeId, id);
    EXPECT_EQ(fields(transferState), running) << "a second init is no new load";

    opcDLLExit(nullptr);  // the simulator, before unloading it
    EXPECT_TRUE(sim.modes().empty());
    sim.calls.clear();
    EXPECT_TRUE(moduleEntry(kHandle, 0, nullptr));
    EXPECT_EQ(sim.calls.count(HostCall::UnregisterMode), 0u);

    // Loaded again, it registers again.
    EXPECT_TRUE(moduleEntry(kHandle, 1, nullptr));
    EXPECT_EQ(sim.modes().size(), 1u);
    opcDLLExit(nullptr);
    EXPECT_TRUE(sim.modes().empty());
}

TEST_F(ModuleEntryTest, OtherReasonsDoNothingButStillSucceed) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}});
    fillState(ship);
    const auto before = fields(transferState);
    sim.calls.clear();

    for (DWORD reason : {2u, 3u, 99u}) EXPECT_TRUE(moduleEntry(kHandle, reason, nullptr)) << reason;

    EXPECT_EQ(sim.calls.callCount, 0u);
    EXPECT_TRUE(sim.modes().empty());
    EXPECT_EQ(fields(transferState), before);
}

TEST_F(ModuleEntryTest, MessageOneCreatesAnInstrumentOfThePackedSize) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}});
    const struct {
        WPARAM size;
        DWORD width, height;
    } cases[] = {
        {512u | (256u << 16), 512, 256},
        {0x8000'0064u, 100, 0x8000},  // bit 31 is part of the height, not a sign
        {0xFFFF'FFFFu, 0xFFFF, 0xFFFF},
        {static_cast<WPARAM>(0x1234'5678'0200'0100ull & UINTPTR_MAX), 0x0100, 0x0200},  // only 32 bits count
    };
    for (const auto& c : cases) {
        const OAPI_MSGTYPE result = modeMessageProc(1, 0, c.size, reinterpret_cast<LPARAM>(iface(ship)));
        ASSERT_NE(result, 0);
        auto* mfd = reinterpret_cast<MFD*>(result);
        ASSERT_NE(dynamic_cast<PumpMFD*>(mfd), nullptr);
        EXPECT_EQ(test::MfdFields::width(*mfd), c.width);
        EXPECT_EQ(test::MfdFields::height(*mfd), c.height);
        EXPECT_EQ(transferState.targetVessel, iface(ship));
        delete mfd;
    }
}

TEST_F(ModuleEntryTest, OtherMessagesAndAMissingVesselCreateNothing) {
    auto& ship = addVessel(sim, "Ship", {{100, 50}});
    auto& other = addVessel(sim, "Other", {{100, 50}});
    fillState(other);
    const auto before = fields(transferState);
    sim.calls.clear();
    for (UINT message : {0u, 2u, 3u, 0xFFFF'FFFFu}) {
        EXPECT_EQ(modeMessageProc(message, 0, 512u | (512u << 16), reinterpret_cast<LPARAM>(iface(ship))), 0)
            << message;
    }
    EXPECT_EQ(modeMessageProc(1, 0, 512u | (512u << 16), 0), 0);
    EXPECT_EQ(sim.calls.callCount, 0u);
    EXPECT_EQ(fields(transferState), before);
}

TEST_F(ModuleEntryTest, EitherTimeStepCallbackRunsThePumpButAHostCallingBothPumpsOnce) {
    auto& ship = addVessel(sim, "Ship", {{100, 0}, {100, 50}});
    auto start = [&] {
        opcDLLInit(nullptr);
        test::setUpFor(ship);
        ship.tanks[0].mass = 0.0;
        ship.tanks[1].mass = 50.0;
        transferState.sourceTank = 1;
        transferState.pumpRate = 2;  // 10 kg/s
    };
    // A host of old calls opcTimestep alone, one of now opcPreStep alone: the step reads only
    // its length.
    start();
    opcTimestep(1000.0, 0.5, 51000.0);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 5.0);
    EXPECT_DOUBLE_EQ(ship.tanks[1].mass, 45.0);
    opcTimestep(-7.0, 0.25, -1.0);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 7.5);
    opcDLLExit(nullptr);

    start();
    opcPreStep(1000.0, 0.5, 51000.0);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 5.0);
    // One of the transition that calls both each step: only opcPreStep moves propellant.
    for (int i = 0; i < 3; ++i) {
        opcPreStep(1000.0, 0.5, 51000.0);
        opcTimestep(1000.0, 0.5, 51000.0);
    }
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 20.0);
    EXPECT_DOUBLE_EQ(ship.tanks[1].mass, 30.0);
    opcDLLExit(nullptr);

    // Loaded anew, the module serves a host that calls only opcTimestep again.
    start();
    opcTimestep(0.0, 1.0, 0.0);
    EXPECT_DOUBLE_EQ(ship.tanks[0].mass, 10.0);
    opcDLLExit(nullptr);
}

}  // namespace
