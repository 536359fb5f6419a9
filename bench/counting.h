// Counters the benchmarks report beside their times, taken in a pass of their own before the
// timed loop so that they are exact per operation.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "sim/drawing/surface.h"
#include "sim/world/simulation.h"
#include "tests/support/alloc_counter.h"

namespace bench {

// Names of the counters, as the summary reads them.
inline constexpr const char* kModuleAllocs = "allocs";     // operator new by the module's code
inline constexpr const char* kHostAllocs = "host_allocs";  // operator new by the emulator's GDI
inline constexpr const char* kStatusLists = "lists";       // propellant lists the host malloc'ed
inline constexpr const char* kHostCalls = "calls";         // host calls (VESSEL and oapi)

// Runs `op` n times and sets the counters to the amounts per operation. Allocations the
// emulator counts as its own are taken off the process-wide count.
template <class Op>
void countPerOperation(benchmark::State& state, sim::Simulation& sim, Op&& op, int n = 1000) {
    op();  // anything done once only is not the steady state
    const uint64_t allocs = test::allocations();
    const int64_t hostAllocs = sim::GdiObjects::allocations();
    const uint64_t lists = sim.calls.statusListsAllocated;
    const uint64_t calls = sim.calls.callCount;
    for (int i = 0; i < n; ++i) op();
    const auto host = static_cast<uint64_t>(sim::GdiObjects::allocations() - hostAllocs);
    const double per = 1.0 / n;
    state.counters[kModuleAllocs] = static_cast<double>(test::allocations() - allocs - host) * per;
    state.counters[kHostAllocs] = static_cast<double>(host) * per;
    state.counters[kStatusLists] = static_cast<double>(sim.calls.statusListsAllocated - lists) * per;
    state.counters[kHostCalls] = static_cast<double>(sim.calls.callCount - calls) * per;
}

}  // namespace bench
