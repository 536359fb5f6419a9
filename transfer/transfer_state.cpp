#include "transfer/transfer_state.h"

TransferState transferState;

void clearTransferState() { transferState = TransferState{}; }

void resetTransferState(VESSEL* vessel) {
    OBJHANDLE handle = vessel ? vesselHandle(vessel) : nullptr;
    transferState = TransferState{};
    transferState.setTarget(vessel, handle);
    transferState.setSource(vessel, handle);
}

uint32_t propellantCount(VESSEL* vessel) {
    if (!vessel) return 0;
    VESSELSTATUS2 status{};
    status.version = 2;
    status.flag = VS_FUELLIST;
    vessel->GetStatusEx(&status);
    const uint32_t count = status.nfuel;
    releaseStatusList(status);
    return count;
}

bool transferPossible(const TransferState& state) {
    if (propellantCount(state.targetVessel) == 0) return false;
    if (!state.sourceVessel) return state.pumpMode == Vent;
    const auto sourceCount = static_cast<int32_t>(propellantCount(state.sourceVessel));
    if (!(state.sourceTank < sourceCount)) return false;
    if (state.sourceVessel == state.targetVessel && state.sourceTank == state.targetTank) {
        return false;
    }
    return true;
}

// A source that leaves stops the pump, but a vent gives to no vessel: one that a scenario
// block named as its source takes no part in it, and the vent goes on without it.
static void dropSource() {
    transferState.setSource(nullptr, nullptr);
    transferState.sourceTank = 0;
    if (transferState.pumpMode != Vent) transferState.stopPump();
}

void resolveDockedSource() {
    TransferState& s = transferState;
    if (s.pumpMode != Load && s.pumpMode != Unload) return;
    if (!s.targetVessel) return;
    // A port number read from a scenario or kept from an earlier target may name a port the
    // target does not have: such a port holds nothing.
    const UINT ports = s.targetVessel->DockCount();
    if (ports == 0 || static_cast<uint32_t>(s.dockPort) >= ports) return dropSource();
    const DOCKHANDLE port = s.targetVessel->GetDockHandle(static_cast<UINT>(s.dockPort));
    const OBJHANDLE docked = s.targetVessel->GetDockStatus(port);
    if (!docked) return dropSource();
    VESSEL* vessel = oapiGetVesselInterface(docked);
    if (vessel != s.sourceVessel || docked != s.sourceHandle) {
        s.sourceTank = 0;
        s.stopPump();
    }
    s.setSource(vessel, docked);
}

static void dropTarget() {
    TransferState& s = transferState;
    if (s.sourceVessel == s.targetVessel) s.setSource(nullptr, nullptr);
    s.setTarget(nullptr, nullptr);
    s.stopPump();
}

void dropRemovedVessels() {
    TransferState& s = transferState;
    if (s.sourceVessel && !oapiIsVessel(s.sourceHandle)) dropSource();
    if (s.targetVessel && !oapiIsVessel(s.targetHandle)) dropTarget();
}

void forgetVessel(OBJHANDLE vessel) {
    if (!vessel) return;
    TransferState& s = transferState;
    if (s.sourceVessel && s.sourceHandle == vessel) dropSource();
    if (s.targetVessel && s.targetHandle == vessel) dropTarget();
}
