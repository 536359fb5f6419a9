// The module's callbacks as its host calls them. The simulator finds them by name; the SDK
// declares no types for them, so these are the project's own, in both builds.
#pragma once

#include "host/oapi.h"

// __opcGetInterface returns the address of a table of five callbacks in this order: open and
// close render viewport, time step, focus changed, time acceleration changed; an entry may be
// null.
typedef void (*OPC_CALLBACK)();
typedef void (*OPC_DLLINIT)(HINSTANCE module);
typedef void (*OPC_DLLEXIT)(HINSTANCE module);
typedef void (*OPC_OPENRENDERVIEWPORT)(void* window, DWORD width, DWORD height, BOOL fullscreen);
typedef void (*OPC_CLOSERENDERVIEWPORT)();
typedef void (*OPC_TIMESTEP)(double simt, double simdt, double mjd);
typedef void (*OPC_PRESTEP)(double simt, double simdt, double mjd);
typedef void (*OPC_DELETEVESSEL)(OBJHANDLE vessel);
typedef void (*OPC_FOCUSCHANGED)(OBJHANDLE newFocus, OBJHANDLE oldFocus);
typedef void (*OPC_TIMEACCCHANGED)(double newWarp, double oldWarp);
typedef OPC_CALLBACK* (*OPC_GETINTERFACE)();
// Every callback the module exports, by the names the host finds them by: the table's in its
// order, then the others. The export map and the export checks read these lines too.
#define KESTRANE_TABLE_CALLBACKS(X) \
    X(opcOpenRenderViewport)        \
    X(opcCloseRenderViewport)       \
    X(opcTimestep)                  \
    X(opcFocusChanged)              \
    X(opcTimeAccChanged)
#define KESTRANE_OTHER_CALLBACKS(X) \
    X(opcDLLInit)                   \
    X(opcDLLExit)                   \
    X(opcPreStep)                   \
    X(opcDeleteVessel)              \
    X(__opcGetInterface)
enum {
    OPC_OPENRENDERVIEWPORT_ENTRY,
    OPC_CLOSERENDERVIEWPORT_ENTRY,
    OPC_TIMESTEP_ENTRY,
    OPC_FOCUSCHANGED_ENTRY,
    OPC_TIMEACCCHANGED_ENTRY,
    OPC_ENTRY_COUNT
};
