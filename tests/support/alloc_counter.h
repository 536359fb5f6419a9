// Counts the heap allocations made through operator new anywhere in the process, for the
// benchmarks' allocation counters and the tests that drawing allocates nothing. The emulator
// counts its own GDI allocations apart (sim::GdiObjects::allocations) and allocates the
// propellant lists with malloc, so what remains of a count taken around a call into the module
// is the module's own. The one replacement of operator new in a program: link this file in.
#pragma once

#include <cstdint>

namespace test {
uint64_t allocations();
}
