// The simulator's handles, records and free functions that the module calls. Built against
// the simulator's SDK, they are the SDK's own; otherwise this file declares them with the
// SDK's signatures, and the emulator implements them.
#pragma once

#include <cstddef>

#include "host/platform.h"

#ifdef KESTRANE_SIMULATOR_SDK_BUILD
#include <OrbiterAPI.h>
#else

typedef void* OBJHANDLE;          // a simulated object (here: a vessel)
typedef void* PROPELLANT_HANDLE;  // one propellant tank of a vessel
typedef void* DOCKHANDLE;         // one docking port of a vessel
typedef void* FILEHANDLE;         // the scenario file an instrument writes to or reads from

class VESSEL;
class MFD;

// Extended vessel status, version 2. The caller sets version and flag and clears the list
// pointers; the host allocates the lists asked for, which the caller gives back
// (releaseStatusList). The module reads only the propellant count; the motion fields are there
// for the layout the host writes.
struct VESSELSTATUS2 {
    DWORD version;
    DWORD flag;
    OBJHANDLE rbody;
    OBJHANDLE base;
    int port;
    int status;
    double rpos[3], rvel[3], vrot[3], arot[3];
    double surf_lng, surf_lat, surf_hdg;
    DWORD nfuel;
    struct FUELSPEC {
        DWORD idx;
        double level;
    } * fuel;
    DWORD nthruster;
    struct THRUSTSPEC {
        DWORD idx;
        double level;
    } * thruster;
    DWORD ndockinfo;
    struct DOCKINFOSPEC {
        DWORD idx;
        DWORD ridx;
        OBJHANDLE rvessel;
    } * dockinfo;
    DWORD xpdr;
};
#define VS_FUELLIST 0x02u

// A display mode as the module registers it.
#if INTPTR_MAX == INT32_MAX
typedef int OAPI_MSGTYPE;
#else
typedef LPARAM OAPI_MSGTYPE;
#endif
typedef OAPI_MSGTYPE (*MFD_MSGPROC)(UINT msg, UINT mfd, WPARAM wparam, LPARAM lparam);
#define OAPI_MSG_MFD_OPENED 1
#define OAPI_MSG_MFD_OPENEDEX 4

struct MFDMODESPEC {
    char* name;
    DWORD key;
    MFD_MSGPROC msgproc;
};

// One entry of a display's button menu. Packed: the host reads the entries back to back.
#pragma pack(push, 1)
struct MFDBUTTONMENU {
    const char* line1;
    const char* line2;
    char selchar;
};
#pragma pack(pop)

OAPIFUNC PROPELLANT_HANDLE oapiGetPropellantHandle(OBJHANDLE vessel, DWORD index);
OAPIFUNC VESSEL* oapiGetVesselInterface(OBJHANDLE vessel);
OAPIFUNC OBJHANDLE oapiGetVesselByName(char* name);
OAPIFUNC bool oapiIsVessel(OBJHANDLE vessel);
OAPIFUNC int oapiRegisterMFDMode(MFDMODESPEC& mode);
OAPIFUNC bool oapiUnregisterMFDMode(int mode);
OAPIFUNC bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line);
OAPIFUNC void oapiWriteScenario_int(FILEHANDLE scn, char* item, int value);
OAPIFUNC void oapiWriteScenario_string(FILEHANDLE scn, char* item, char* text);

#endif

// The propellant list GetStatusEx allocated into a status record goes back as its host
// expects: the simulator leaves it to the caller to delete, the emulator takes it back through
// a call of its own, which lets it count what comes back.
#ifdef KESTRANE_SIMULATOR_SDK_BUILD
inline void releaseStatusList(VESSELSTATUS2& status) {
    delete[] status.fuel;
    status.fuel = nullptr;
}
#else
OAPIFUNC void releaseStatusList(VESSELSTATUS2& status);
#endif

// The SDK takes item names and texts as char*, which it only reads: the module's constant
// texts go in through this one cast.
inline char* hostText(const char* text) { return const_cast<char*>(text); }

// The layouts the simulator reads and writes, on both of its architectures.
#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(VESSELSTATUS2) == 176);
static_assert(offsetof(VESSELSTATUS2, nfuel) == 144 && offsetof(VESSELSTATUS2, fuel) == 148);
static_assert(offsetof(VESSELSTATUS2, thruster) == 156 && offsetof(VESSELSTATUS2, dockinfo) == 164);
static_assert(sizeof(MFDBUTTONMENU) == 9 && sizeof(MFDMODESPEC) == 12);
#else
static_assert(sizeof(VESSELSTATUS2) == 208);
static_assert(offsetof(VESSELSTATUS2, nfuel) == 152 && offsetof(VESSELSTATUS2, fuel) == 160);
static_assert(offsetof(VESSELSTATUS2, thruster) == 176 && offsetof(VESSELSTATUS2, dockinfo) == 192);
static_assert(sizeof(MFDBUTTONMENU) == 17 && sizeof(MFDMODESPEC) == 24);
#endif
