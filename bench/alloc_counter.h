// Counts the heap allocations made through operator new anywhere in the process, for the
// benchmarks' allocation counters. The emulator counts its own GDI allocations apart
// (sim::GdiObjects::allocations) and the propellant lists it allocates with malloc in its call
// record, so what remains of a count taken around a call into the module is the module's own.
#pragma once

#include <cstdint>

namespace bench {
uint64_t allocations();
}
