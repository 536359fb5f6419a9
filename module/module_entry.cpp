#include "module/module_entry.h"

#include <new>

#include "display/pump_mfd.h"
#include "transfer/pump_engine.h"
#include "transfer/transfer_state.h"

#define KESTRANE_TABLE_ENTRY(name) reinterpret_cast<OPC_CALLBACK>(&name),
OPC_CALLBACK callbackTable[OPC_ENTRY_COUNT] = {KESTRANE_TABLE_CALLBACKS(KESTRANE_TABLE_ENTRY)};
#undef KESTRANE_TABLE_ENTRY
int32_t modeId = 0;

namespace {

// Hosts of the transition period call both time-step callbacks each step: once opcPreStep has
// come, opcTimestep leaves the pumping to it.
bool preStepSeen = false;

// The simulator calls opcDLLInit and opcDLLExit itself after loading and before unloading the
// DLL, and the DLL's entry calls them too: the mode is registered and withdrawn once.
bool modeRegistered = false;

}  // namespace

BOOL moduleEntry(HINSTANCE moduleHandle, DWORD reason, void*) {
    if (reason == kReasonLoad) {
        opcDLLInit(moduleHandle);
    } else if (reason == kReasonUnload) {
        opcDLLExit(moduleHandle);
    }
    return 1;
}

OAPI_MSGTYPE modeMessageProc(UINT message, UINT, WPARAM sizeParameter, LPARAM vesselParameter) {
    if (message != OAPI_MSG_MFD_OPENED) return 0;
    auto* vessel = reinterpret_cast<VESSEL*>(vesselParameter);
    // An instrument without a vessel would have nothing to ask its questions of.
    if (!vessel) return 0;
    const auto size = static_cast<uint32_t>(sizeParameter);
    PumpMFD* instrument = new (std::nothrow) PumpMFD(size & 0xFFFFu, size >> 16, vessel);
    return reinterpret_cast<OAPI_MSGTYPE>(instrument);
}

DLLCLBK void opcDLLInit(HINSTANCE) {
    if (modeRegistered) return;
    MFDMODESPEC description{hostText(kModeName), kModeKey, modeMessageProc};
    modeId = oapiRegisterMFDMode(description);
    modeRegistered = true;
    clearTransferState();
    preStepSeen = false;
}

DLLCLBK void opcDLLExit(HINSTANCE) {
    if (!modeRegistered) return;
    oapiUnregisterMFDMode(modeId);
    modeRegistered = false;
}

DLLCLBK void opcTimestep(double, double simdt, double) {
    if (!preStepSeen) pumpStep(simdt);
}

DLLCLBK void opcPreStep(double, double simdt, double) {
    preStepSeen = true;
    pumpStep(simdt);
}

DLLCLBK void opcDeleteVessel(OBJHANDLE vessel) { forgetVessel(vessel); }

// A session's end and the next one's start. The simulator deletes its vessels without
// opcDeleteVessel once the scenario is saved, then calls the first; the next session's vessels
// may lie at the same addresses. The second comes before any display reads its block. Neither
// may ask the simulator anything: the vessels are gone, or not yet shown.
DLLCLBK void opcOpenRenderViewport(void*, DWORD, DWORD, BOOL) { clearTransferState(); }
DLLCLBK void opcCloseRenderViewport() { clearTransferState(); }
DLLCLBK void opcFocusChanged(OBJHANDLE, OBJHANDLE) {}
DLLCLBK void opcTimeAccChanged(double, double) {}

DLLCLBK OPC_CALLBACK* __opcGetInterface() { return callbackTable; }
