// The simulator's interface to one vessel. The host implements every member.
#pragma once

#include "host/oapi.h"

class OAPIFUNC VESSEL {
public:
    explicit VESSEL(OBJHANDLE hVessel);
    virtual ~VESSEL();
    VESSEL(const VESSEL&) = delete;
    VESSEL& operator=(const VESSEL&) = delete;

    OBJHANDLE GetHandle() const;
    const char* GetName() const;
    const char* GetClassNameA() const;
    UINT DockCount() const;
    DOCKHANDLE GetDockHandle(UINT port) const;
    OBJHANDLE GetDockStatus(DOCKHANDLE port) const;  // the vessel docked there, or null
    void GetStatusEx(void* status) const;             // fills a VESSELSTATUS2
    double GetPropellantMass(PROPELLANT_HANDLE ph) const;
    double GetPropellantMaxMass(PROPELLANT_HANDLE ph) const;
    void SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const;

protected:
    OBJHANDLE hVessel;
};
