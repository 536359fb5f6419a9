// Placeholder until the pages are drawn.
#include "display/pump_mfd.h"

void PumpMFD::Repaint(HDC) {}
