// The module's one transfer configuration, shared by the pump and every instrument.
#pragma once

#include <cstdint>

#include "host/vessel.h"

enum PumpMode : int32_t { CrossFeed = 0, Load = 1, Unload = 2, Vent = 3 };

inline constexpr int kModeCount = 4;
inline constexpr int kRateCount = 4;
inline constexpr double kRateTable[kRateCount] = {0.0, 1.0, 10.0, 100.0};  // kg/s

// Mode and rate values reach the state from scenario files too; nothing indexes a table
// with a value outside it.
constexpr bool validMode(int32_t mode) { return mode >= 0 && mode < kModeCount; }
constexpr bool validRate(int32_t rate) { return rate >= 0 && rate < kRateCount; }

struct TankRef {
    VESSEL* vessel;
    int32_t tank;
};

struct TransferState {
    VESSEL* targetVessel;
    int32_t targetTank;
    VESSEL* sourceVessel;
    int32_t sourceTank;
    int32_t dockPort;
    int32_t pumpMode;
    int32_t pumpRate;
    // The handles of the two vessels, kept beside the pointers: a vessel the simulation has
    // removed can no longer be asked for its handle, but its handle can still be checked.
    OBJHANDLE targetHandle;
    OBJHANDLE sourceHandle;

    bool operator==(const TransferState&) const = default;

    // The pump runs while the rate is not Off; every rule that stops it comes here.
    void stopPump() { pumpRate = 0; }

    TankRef target() const { return {targetVessel, targetTank}; }
    TankRef source() const { return {sourceVessel, sourceTank}; }
    void setTarget(VESSEL* vessel, OBJHANDLE handle) {
        targetVessel = vessel;
        targetHandle = vessel ? handle : nullptr;
    }
    void setSource(VESSEL* vessel, OBJHANDLE handle) {
        sourceVessel = vessel;
        sourceHandle = vessel ? handle : nullptr;
    }
};

extern TransferState transferState;

void clearTransferState();
void resetTransferState(VESSEL* vessel);

// The vessel whose tanks and docking ports a display of `own` shows, and whose name its title
// carries: the target vessel, or `own` while there is none. The state is the module's, so the
// last display opened may have set it up for another vessel than this display's.
inline VESSEL* shownVessel(VESSEL* own) {
    return transferState.targetVessel ? transferState.targetVessel : own;
}

// Number of propellant resources of a vessel, asked afresh; 0 for no vessel.
uint32_t propellantCount(VESSEL* vessel);

// Whether the configuration names a transfer that can run. Changes nothing.
bool transferPossible(const TransferState& state);

// In Load and Unload: makes the vessel docked at dockPort the source.
void resolveDockedSource();

// Drops vessels the simulation has removed: a removed source as if undocked, a removed target
// leaves no vessel to pump for. Either way the pump stops, but for a vent, which needs no source.
void dropRemovedVessels();
// The same for a vessel the host says it is about to delete, while it still is a vessel.
void forgetVessel(OBJHANDLE vessel);
