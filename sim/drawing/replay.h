// A drawing recorded as its GDI calls (a surface's call log), drawn again on another surface: a
// display's page kept as cells is drawn as a picture only when one is wanted.
#pragma once

#include <vector>

#include "sim/drawing/surface.h"

namespace sim {

// Makes the calls of `log` on `into`, as the instrument made them on the surface that recorded
// them, whose own brush was `recordedOwnBrush`. The brushes it selected are made anew in their
// colours and deleted again.
void replay(const std::vector<GdiEntry>& log, HBRUSH recordedOwnBrush, HDC into);

}  // namespace sim
