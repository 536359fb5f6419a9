// Finding the module's own exported functions by name, as the platform's loader sees them.
#pragma once

#include "host/host.h"

// The function the module behind moduleHandle itself exports under this name; null when it
// exports none (a name found only in a library the module depends on does not count).
OPC_CALLBACK lookUpOwnExport(HINSTANCE moduleHandle, const char* name);
