// The instrument's block in the scenario file: the module-wide transfer state written as up
// to five items and read back from them. Whichever instrument the simulator asks, the block is
// the shared state's, never the instrument's own.
#pragma once

#include "host/vessel.h"

// Writes the items; the state stays as it was. `own` is the writing instrument's vessel: a
// configuration that belongs to another vessel names it, so that it comes back as that vessel's.
void writeStatusBlock(FILEHANDLE scn, VESSEL* own);
// Reads the block's lines into the state; `own` is the reading instrument's vessel. A port
// number must name a docking port of the target vessel (`own` while there is none).
void readStatusBlock(FILEHANDLE scn, VESSEL* own);
