// Counts the heap allocations made through operator new, for the benchmarks' counters. The
// host's propellant lists are made with malloc and counted apart by the call record.
#pragma once

#include <cstdint>

namespace bench {
uint64_t allocations();
}
