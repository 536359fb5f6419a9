// Placeholder until the scenario block is written and read.
#include "display/pump_mfd.h"

void PumpMFD::WriteStatus(FILEHANDLE) const {}
void PumpMFD::ReadStatus(FILEHANDLE) {}
