// The module's binding to its host: load and unload entry, the callback table the host
// fetches, and the display mode's registration.
#pragma once

#include <cstdint>

#include "host/host.h"

inline constexpr const char* kModeName = "Fuel Management";
inline constexpr DWORD kModeKey = 0x21;  // F
inline constexpr DWORD kReasonUnload = 0;
inline constexpr DWORD kReasonLoad = 1;

// The table __opcGetInterface hands the host: the callbacks' own addresses.
extern OPC_CALLBACK callbackTable[OPC_ENTRY_COUNT];
// What the host gave the mode at registration; handed back at unload.
extern int32_t modeId;

// Called by the platform's library start-up with the module's own handle: reason 1 at load
// runs opcDLLInit, 0 at unload opcDLLExit, anything else is ignored. Always returns true.
BOOL moduleEntry(HINSTANCE moduleHandle, DWORD reason, void* reserved);

// The mode's message procedure: message 1 asks for an instrument of the size packed into
// sizeParameter (width low 16 bits, height high 16 bits) for the vessel in vesselParameter.
OAPI_MSGTYPE modeMessageProc(UINT message, UINT second, WPARAM sizeParameter, LPARAM vesselParameter);

DLLCLBK void opcDLLInit(HINSTANCE module);
DLLCLBK void opcDLLExit(HINSTANCE module);
DLLCLBK void opcTimestep(double simt, double simdt, double mjd);
// Current simulators call opcPreStep once a step instead of opcTimestep, and tell of a vessel
// about to be deleted.
DLLCLBK void opcPreStep(double simt, double simdt, double mjd);
DLLCLBK void opcDeleteVessel(OBJHANDLE vessel);
DLLCLBK void opcOpenRenderViewport(void* window, DWORD width, DWORD height, BOOL fullscreen);
DLLCLBK void opcCloseRenderViewport();
DLLCLBK void opcFocusChanged(OBJHANDLE newFocus, OBJHANDLE oldFocus);
DLLCLBK void opcTimeAccChanged(double newWarp, double oldWarp);
DLLCLBK OPC_CALLBACK* __opcGetInterface();
