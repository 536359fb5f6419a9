// The simulator's handles, records and free functions that the module calls.
#pragma once

#include <cstddef>

#include "host/platform.h"

typedef void* OBJHANDLE;          // a simulated object (here: a vessel)
typedef void* PROPELLANT_HANDLE;  // one propellant tank of a vessel
typedef void* DOCKHANDLE;         // one docking port of a vessel
typedef void* FILEHANDLE;         // the scenario file an instrument writes to or reads from

class VESSEL;
class MFD;

// Entries of the lists the host may allocate into the extended status record.
struct PROPELLANTSTATUS {
    DWORD idx;
    double level;
};
struct THRUSTERSTATUS {
    DWORD idx;
    double level;
};
struct DOCKINGSTATUS {
    DWORD idx;
    DWORD ridx;
    OBJHANDLE rvessel;
};

// Extended vessel status, version 2. The caller sets version and flag, clears the list
// pointers, and releases every list the host allocated with oapiReleaseStatusList. The offsets
// checked below hold for 32-bit builds; 64-bit builds keep the field order.
struct VESSELSTATUS2 {
    DWORD version;
    DWORD flag;
    unsigned char motion[136];  // position, velocity and attitude: not used by the module
    DWORD nfuel;
    PROPELLANTSTATUS* fuel;
    DWORD nthruster;
    THRUSTERSTATUS* thruster;
    DWORD ndockinfo;
    DOCKINGSTATUS* dockinfo;
    DWORD xpdr;
    DWORD reserved;
};
#define VS_FUELLIST 0x02u

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(VESSELSTATUS2) == 176);
static_assert(offsetof(VESSELSTATUS2, nfuel) == 144);
static_assert(offsetof(VESSELSTATUS2, fuel) == 148);
static_assert(offsetof(VESSELSTATUS2, thruster) == 156);
static_assert(offsetof(VESSELSTATUS2, dockinfo) == 164);
#endif

// A display mode as the module registers it.
typedef LPARAM OAPI_MSGTYPE;
typedef OAPI_MSGTYPE (*MFD_MSGPROC)(UINT msg, UINT mfd, WPARAM wparam, LPARAM lparam);
#define OAPI_MSG_MFD_OPENED 1u

struct MFDMODESPEC {
    const char* name;
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
static_assert(sizeof(MFDBUTTONMENU) == 2 * sizeof(void*) + 1);

OAPIFUNC PROPELLANT_HANDLE oapiGetPropellantHandle(OBJHANDLE vessel, DWORD index);
OAPIFUNC VESSEL* oapiGetVesselInterface(OBJHANDLE vessel);
OAPIFUNC OBJHANDLE oapiGetVesselByName(const char* name);
OAPIFUNC bool oapiIsVessel(OBJHANDLE vessel);
OAPIFUNC void oapiReleaseStatusList(void* list);
OAPIFUNC int oapiRegisterMFDMode(MFDMODESPEC& mode);
OAPIFUNC bool oapiUnregisterMFDMode(int mode);
OAPIFUNC bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line);
OAPIFUNC void oapiWriteScenario_int(FILEHANDLE scn, const char* item, int value);
OAPIFUNC void oapiWriteScenario_string(FILEHANDLE scn, const char* item, const char* text);

// The module's callbacks as the host calls them. __opcGetInterface returns the address of a
// table of five callbacks in this order: open and close render viewport, time step, focus
// changed, time acceleration changed; an entry may be null.
typedef void (*OPC_CALLBACK)();
typedef void (*OPC_DLLINIT)(HINSTANCE module);
typedef void (*OPC_DLLEXIT)(HINSTANCE module);
typedef void (*OPC_OPENRENDERVIEWPORT)(void* window, DWORD width, DWORD height, BOOL fullscreen);
typedef void (*OPC_CLOSERENDERVIEWPORT)();
typedef void (*OPC_TIMESTEP)(double simt, double simdt, double mjd);
typedef void (*OPC_FOCUSCHANGED)(OBJHANDLE newFocus, OBJHANDLE oldFocus);
typedef void (*OPC_TIMEACCCHANGED)(double newWarp, double oldWarp);
typedef OPC_CALLBACK* (*OPC_GETINTERFACE)();
enum { OPC_OPENRENDERVIEWPORT_ENTRY, OPC_CLOSERENDERVIEWPORT_ENTRY, OPC_TIMESTEP_ENTRY,
       OPC_FOCUSCHANGED_ENTRY, OPC_TIMEACCCHANGED_ENTRY, OPC_ENTRY_COUNT };
