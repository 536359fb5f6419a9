// The simulator's interface to one vessel: the SDK's own in a simulator build, otherwise the
// members the module calls, with the SDK's signatures, implemented by the emulator.
#pragma once

#include "host/oapi.h"

#ifdef KESTRANE_SIMULATOR_SDK_BUILD
#include <VesselAPI.h>
#else
class OAPIFUNC VESSEL {
public:
    explicit VESSEL(OBJHANDLE hVessel, int fmodel = 1);
    virtual ~VESSEL();
    VESSEL(const VESSEL&) = delete;
    VESSEL& operator=(const VESSEL&) = delete;

    OBJHANDLE GetHandle() const;  // the SDK's returns a const handle, which no caller can tell
    char* GetName() const;
    char* GetClassNameA() const;
    UINT DockCount() const;
    DOCKHANDLE GetDockHandle(UINT n) const;
    OBJHANDLE GetDockStatus(DOCKHANDLE hDock) const;  // the vessel docked there, or null
    void GetStatusEx(void* status) const;             // fills a VESSELSTATUS2
    double GetPropellantMass(PROPELLANT_HANDLE ph) const;
    double GetPropellantMaxMass(PROPELLANT_HANDLE ph) const;
    void SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const;

protected:
    OBJHANDLE hVessel;
};
#endif

// The vessel's handle and a tank's handle, as the module asks for them. The emulator answers
// the calls it always has. The simulator's 2016 release exports GetHandle under another
// decorated name than the 2024 SDK declares (its handle was not const), and Windows loads no
// DLL with an import it cannot resolve: the simulator build asks through calls both export.
#ifdef KESTRANE_SIMULATOR_SDK_BUILD
inline OBJHANDLE vesselHandle(VESSEL* vessel) {
    const DWORD count = oapiGetVesselCount();
    for (DWORD i = 0; i < count; ++i) {
        const OBJHANDLE handle = oapiGetVesselByIndex(static_cast<int>(i));
        if (handle && oapiGetVesselInterface(handle) == vessel) return handle;
    }
    return nullptr;
}
inline PROPELLANT_HANDLE tankHandle(VESSEL* vessel, DWORD tank) {
    return vessel->GetPropellantHandleByIndex(tank);
}
#else
inline OBJHANDLE vesselHandle(VESSEL* vessel) { return vessel->GetHandle(); }
inline PROPELLANT_HANDLE tankHandle(VESSEL* vessel, DWORD tank) {
    return oapiGetPropellantHandle(vessel->GetHandle(), tank);
}
#endif
