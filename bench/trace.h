// One drawing as the sequence of calls it made on its host: the GDI calls and the host calls
// in one list, in the order they were made, so that a baseline can make exactly the same
// calls and be checked against the drawing it stands for.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scenes.h"
#include "sim/drawing/surface.h"
#include "sim/world/call_record.h"

namespace bench {

struct TraceItem {
    bool host = false;  // a host call; else a GDI call
    // Host call: which, and the slot of the vessel it asked (-1: none).
    sim::HostCall call{};
    int vessel = -1;
    // GDI call, as the surface logged it. CreateSolidBrush and DeleteObject take no surface and
    // are not logged: a SelectObject of a created brush stands for the creation before it, one
    // that selects the surface's own brush again for the deletion after it.
    sim::GdiEntry gdi{};
    bool ownBrush = false;     // SelectObject of the surface's own brush
    COLORREF brushColour = 0;  // SelectObject of a created brush: the colour it filled with
};
using Trace = std::vector<TraceItem>;

// Host calls a drawing makes only to notice vessels the simulation removed.
inline bool robustnessCheck(sim::HostCall call) { return call == sim::HostCall::IsVessel; }

// Runs `draw` once on a recording surface with GDI and host call logging on. Host calls come
// between the GDI calls at the place of the last text or rectangle drawn before them; the
// host's title call is left out, the GDI calls it makes are in. Logging is off again after.
Trace recordTrace(PageScene& scene, const std::function<void(HDC)>& draw);

// The first difference, as text; empty when the traces are the same. Brush pointers differ
// from run to run and are not compared.
std::string compareTraces(const Trace& expected, const Trace& actual);

std::string describe(const TraceItem& item);

}  // namespace bench
