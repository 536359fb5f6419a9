#include "transfer/pump_engine.h"

#include <cmath>

#include "transfer/transfer_state.h"

namespace {

// The value, or the floor when the value is below it; a value that is not a number stays.
double atLeast(double value, double floor) { return value < floor ? floor : value; }

struct Tank {
    VESSEL* vessel;
    PROPELLANT_HANDLE handle;
};

Tank lookUp(const TankRef& ref) { return {ref.vessel, tankHandle(ref.vessel, static_cast<DWORD>(ref.tank))}; }

OBJHANDLE vesselDockedAt(VESSEL* vessel, int32_t port) {
    if (static_cast<uint32_t>(port) >= vessel->DockCount()) return nullptr;
    return vessel->GetDockStatus(vessel->GetDockHandle(static_cast<UINT>(port)));
}

// Whether both vessels are still there to pump between. A removed vessel is never touched
// again. In Load and Unload the source must still be docked at the selected port: a vessel
// that separated while no display redrew would otherwise go on giving or receiving; being
// docked also shows that it has not been removed.
bool vesselsStillThere(TransferState& s) {
    if (!s.targetVessel) return false;
    if (!oapiIsVessel(s.targetHandle)) {
        dropRemovedVessels();
        return false;
    }
    if (!s.sourceVessel || s.sourceVessel == s.targetVessel) {
        if (s.sourceVessel && (s.pumpMode == Load || s.pumpMode == Unload)) s.stopPump();
        return s.pumpRate != 0;
    }
    if (s.pumpMode == Load || s.pumpMode == Unload) {
        if (vesselDockedAt(s.targetVessel, s.dockPort) == s.sourceHandle) return true;
        if (!oapiIsVessel(s.sourceHandle)) dropRemovedVessels();
        s.stopPump();
        return false;
    }
    if (!oapiIsVessel(s.sourceHandle)) {
        dropRemovedVessels();  // stops the pump, but for a vent, which needs no source
        return s.pumpRate != 0;
    }
    // Cross-feed is between the tanks of one vessel. A scenario block may name another vessel
    // as the source; propellant does not pass to or from a vessel that is not docked.
    if (s.pumpMode == CrossFeed) {
        s.stopPump();
        return false;
    }
    return true;
}

}  // namespace

void pumpStep(double dt) {
    TransferState& s = transferState;
    if (s.pumpRate == 0) return;
    // A rate outside the table counts as Off; a step that is negative or not finite would
    // pump backwards or without bound, so it moves nothing.
    if (!validRate(s.pumpRate) || !validMode(s.pumpMode) || !(dt >= 0.0 && std::isfinite(dt))) return;

    if (!vesselsStillThere(s) || !transferPossible(s)) return;

    const bool vent = s.pumpMode == Vent;
    const bool targetGives = s.pumpMode == Unload || vent;
    const TankRef givingRef = targetGives ? s.target() : s.source();
    const TankRef receivingRef = targetGives ? s.source() : s.target();

    double amount = dt * kRateTable[s.pumpRate];

    const Tank giving = lookUp(givingRef);
    const double m = giving.handle ? giving.vessel->GetPropellantMass(giving.handle) : 0.0;
    if (amount >= m) {
        amount = atLeast(m, 0.0);
        s.stopPump();
    }

    Tank receiving{};
    double r = 0.0;
    double receivingAfter = 0.0;
    if (!vent) {
        receiving = lookUp(receivingRef);
        double cap = 0.0;
        if (receiving.handle) {
            r = receiving.vessel->GetPropellantMass(receiving.handle);
            cap = receiving.vessel->GetPropellantMaxMass(receiving.handle);
        }
        receivingAfter = r + amount;
        if (receivingAfter >= cap) {
            // An overfull tank gets nothing back: the amount never turns negative.
            amount = atLeast(cap - r, 0.0);
            s.stopPump();
            // r + (cap - r) can round to one ulp above the capacity: a full tank holds exactly
            // its capacity.
            receivingAfter = atLeast(cap, r);
        }
    }

    // The room cap - r, rounded up, can exceed what the giving tank held by an ulp; the tank
    // is then empty, not below zero.
    double givingAfter = m - amount;
    if (givingAfter < 0.0 && m >= 0.0) givingAfter = 0.0;

    if (giving.handle) giving.vessel->SetPropellantMass(giving.handle, givingAfter);
    if (!vent && receiving.handle) receiving.vessel->SetPropellantMass(receiving.handle, receivingAfter);
}
