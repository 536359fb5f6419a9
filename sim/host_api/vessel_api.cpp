// The VESSEL interface and the oapi vessel functions over the emulated vessels. Every call is
// recorded; a call about no vessel, a removed vessel or another vessel's tank or port is
// counted as bad and answered harmlessly.
#include <cstdlib>
#include <cstring>

#include "sim/world/simulation.h"

using sim::HostCall;
using sim::Simulation;
using sim::VesselRecord;

namespace {

// The present vessel behind a handle, recording the call; null (and a bad call) otherwise.
VesselRecord* vesselFor(HostCall call, OBJHANDLE handle) {
    Simulation* s = Simulation::current();
    if (!s) return nullptr;
    s->calls.add(call, handle);
    VesselRecord* r = s->record(handle);
    if (!r) {
        s->calls.bad(call, handle ? "unknown vessel" : "null vessel");
        return nullptr;
    }
    if (r->removed) {
        s->calls.bad(call, "removed vessel");
        return nullptr;
    }
    return r;
}

sim::Tank* tankOf(HostCall call, VesselRecord* r, PROPELLANT_HANDLE ph) {
    if (!r) return nullptr;
    auto* tank = static_cast<sim::Tank*>(ph);
    if (r->tanks.empty() || tank < r->tanks.data() || tank >= r->tanks.data() + r->tanks.size()) {
        Simulation::current()->calls.bad(call, ph ? "tank of another vessel" : "null tank");
        return nullptr;
    }
    return tank;
}

// The text handed out for a vessel that is not there: empty, and the caller's to read only.
char* noName() {
    static char none[] = "";
    return none;
}

}  // namespace

VESSEL::VESSEL(OBJHANDLE handle, int) : hVessel(handle) {}
VESSEL::~VESSEL() = default;

OBJHANDLE VESSEL::GetHandle() const {
    vesselFor(HostCall::GetHandle, hVessel);
    return hVessel;
}

char* VESSEL::GetName() const {
    VesselRecord* r = vesselFor(HostCall::GetName, hVessel);
    return r ? r->name.data() : noName();
}

char* VESSEL::GetClassNameA() const {
    VesselRecord* r = vesselFor(HostCall::GetClassName, hVessel);
    // The simulator gives a vessel created without a class its name as its class.
    return r ? (r->className.empty() ? r->name.data() : r->className.data()) : noName();
}

UINT VESSEL::DockCount() const {
    VesselRecord* r = vesselFor(HostCall::DockCount, hVessel);
    return r ? static_cast<UINT>(r->ports.size()) : 0;
}

DOCKHANDLE VESSEL::GetDockHandle(UINT port) const {
    VesselRecord* r = vesselFor(HostCall::GetDockHandle, hVessel);
    if (!r) return nullptr;
    if (port >= r->ports.size()) {
        Simulation::current()->calls.bad(HostCall::GetDockHandle, "port the vessel does not have");
        return nullptr;
    }
    return &r->ports[port];
}

OBJHANDLE VESSEL::GetDockStatus(DOCKHANDLE port) const {
    VesselRecord* r = vesselFor(HostCall::GetDockStatus, hVessel);
    if (!r || !port) return nullptr;
    auto* p = static_cast<sim::DockPort*>(port);
    if (p->owner != r) {
        Simulation::current()->calls.bad(HostCall::GetDockStatus, "port of another vessel");
        return nullptr;
    }
    return p->docked ? p->docked->handle() : nullptr;
}

void VESSEL::GetStatusEx(void* status) const {
    VesselRecord* r = vesselFor(HostCall::GetStatusEx, hVessel);
    auto* vs = static_cast<VESSELSTATUS2*>(status);
    if (!vs) return;
    // Another version has another layout, and other lists are not served: the simulator would
    // fill what the caller does not expect.
    if (vs->version != 2 || (vs->flag & ~VS_FUELLIST) != 0) {
        if (Simulation* s = Simulation::current())
            s->calls.bad(HostCall::GetStatusEx, "status version or list not served");
        return;
    }
    const DWORD n = r ? static_cast<DWORD>(r->tanks.size()) : 0;
    vs->nfuel = n;
    if (vs->flag & VS_FUELLIST) {
        // Allocated even for no tanks, so that a caller that forgets to release shows.
        // malloc, not new: the benchmarks count the module's allocations by operator new.
        auto* list =
            static_cast<VESSELSTATUS2::FUELSPEC*>(std::malloc(sizeof(VESSELSTATUS2::FUELSPEC) * (n ? n : 1)));
        for (DWORD i = 0; i < n; ++i) {
            list[i].idx = i;
            list[i].level = r->tanks[i].capacity > 0.0 ? r->tanks[i].mass / r->tanks[i].capacity : 0.0;
        }
        vs->fuel = list;
        ++Simulation::current()->calls.statusListsAllocated;
    }
}

double VESSEL::GetPropellantMass(PROPELLANT_HANDLE ph) const {
    sim::Tank* t = tankOf(HostCall::GetPropellantMass, vesselFor(HostCall::GetPropellantMass, hVessel), ph);
    return t ? t->mass : 0.0;
}

double VESSEL::GetPropellantMaxMass(PROPELLANT_HANDLE ph) const {
    sim::Tank* t =
        tankOf(HostCall::GetPropellantMaxMass, vesselFor(HostCall::GetPropellantMaxMass, hVessel), ph);
    return t ? t->capacity : 0.0;
}

void VESSEL::SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const {
    sim::Tank* t = tankOf(HostCall::SetPropellantMass, vesselFor(HostCall::SetPropellantMass, hVessel), ph);
    if (t) t->mass = mass;
}

PROPELLANT_HANDLE oapiGetPropellantHandle(OBJHANDLE vessel, DWORD index) {
    VesselRecord* r = vesselFor(HostCall::GetPropellantHandle, vessel);
    return r && index < r->tanks.size() ? &r->tanks[index] : nullptr;
}

VESSEL* oapiGetVesselInterface(OBJHANDLE vessel) {
    VesselRecord* r = vesselFor(HostCall::GetVesselInterface, vessel);
    return r ? r->vessel.get() : nullptr;
}

OBJHANDLE oapiGetVesselByName(char* name) {
    Simulation* s = Simulation::current();
    if (!s) return nullptr;
    s->calls.add(HostCall::GetVesselByName);
    VesselRecord* r = name ? s->findVessel(name) : nullptr;
    return r ? r->handle() : nullptr;
}

bool oapiIsVessel(OBJHANDLE vessel) {
    Simulation* s = Simulation::current();
    if (!s) return false;
    s->calls.add(HostCall::IsVessel, vessel);
    VesselRecord* r = s->record(vessel);
    return r && !r->removed;
}

void releaseStatusList(VESSELSTATUS2& status) {
    Simulation* s = Simulation::current();
    if (s) s->calls.add(HostCall::ReleaseStatusList);
    if (!status.fuel) return;
    std::free(status.fuel);
    status.fuel = nullptr;
    if (s) ++s->calls.statusListsReleased;
}

int oapiRegisterMFDMode(MFDMODESPEC& mode) {
    Simulation* s = Simulation::current();
    if (!s) return 0;
    s->calls.add(HostCall::RegisterMode);
    return s->registerMode(mode);
}

bool oapiUnregisterMFDMode(int mode) {
    Simulation* s = Simulation::current();
    if (!s) return false;
    s->calls.add(HostCall::UnregisterMode);
    return s->unregisterMode(mode);
}
