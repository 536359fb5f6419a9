// A module that breaks the host's rules: each step it asks for a tank of no vessel, and it
// leaves its display mode registered when it is unloaded.
#include "host/callbacks.h"

namespace {

OAPI_MSGTYPE noInstrument(UINT, UINT, WPARAM, LPARAM) { return 0; }

void timestep(double, double, double) { oapiGetPropellantHandle(nullptr, 0); }

OPC_CALLBACK table[OPC_ENTRY_COUNT] = {nullptr, nullptr, reinterpret_cast<OPC_CALLBACK>(&timestep), nullptr,
                                       nullptr};

__attribute__((constructor)) void onLoad() {
    static char name[] = "Fuel Management";
    static MFDMODESPEC mode{name, 0x21, &noInstrument};
    oapiRegisterMFDMode(mode);
}

}  // namespace

DLLCLBK OPC_CALLBACK* __opcGetInterface() { return table; }
