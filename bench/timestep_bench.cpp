// The cost of one time step: the module's opcTimestep against a baseline that makes exactly
// the host calls a running step needs, with no logic of its own.
#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "sim/simulation.h"
#include "transfer/pump_engine.h"
#include "transfer/transfer_state.h"

namespace {

constexpr double kHuge = 1e15;  // tanks no benchmark run can empty or fill
constexpr double kStep = 1e-3;

struct Scene {
    sim::Simulation sim;
    sim::VesselRecord& own = sim.addVessel({"Ship", "Tanker", {{kHuge, kHuge / 2}, {kHuge, kHuge / 2}}, 1});
    sim::VesselRecord& depot = sim.addVessel({"Depot", "Depot", {{kHuge, kHuge / 2}}, 1});

    explicit Scene(int mode) {
        sim.calls.logging = false;
        sim.dock(own, 0, depot, 0);
        resetTransferState(own.vessel.get());
        transferState.pumpMode = mode;
        if (mode == CrossFeed) transferState.sourceTank = 1;
        if (mode == Load || mode == Unload) transferState.setSource(depot.vessel.get(), depot.handle());
        if (mode == Vent) transferState.setSource(nullptr, nullptr);
        transferState.pumpRate = 1;
    }
    ~Scene() { clearTransferState(); }
};

void reportCounters(benchmark::State& state, const sim::CallRecord& calls, uint64_t allocationsBefore,
                    uint64_t callsBefore) {
    const double n = static_cast<double>(state.iterations());
    state.counters["module_allocs_per_step"] = static_cast<double>(bench::allocations() - allocationsBefore) / n;
    state.counters["host_calls_per_step"] = static_cast<double>(calls.callCount - callsBefore) / n;
}

void moduleStep(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    Scene scene(mode);
    if (state.range(1) == 0) transferState.pumpRate = 0;
    const uint64_t allocs = bench::allocations();
    const uint64_t calls = scene.sim.calls.callCount;
    for (auto _ : state) pumpStep(kStep);
    reportCounters(state, scene.sim.calls, allocs, calls);
    if (state.range(1) != 0 && transferState.pumpRate == 0) state.SkipWithError("pump stopped");
}

// The host calls of one running step, in order, and nothing else.
void baselineStep(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    Scene scene(mode);
    VESSEL* target = scene.own.vessel.get();
    VESSEL* source = mode == CrossFeed ? target : scene.depot.vessel.get();
    const bool vent = mode == Vent;
    VESSEL* giving = (mode == Unload || vent) ? target : source;
    VESSEL* receiving = (mode == Unload) ? source : target;
    const DWORD givingIndex = mode == CrossFeed ? 1 : 0;
    const uint64_t allocs = bench::allocations();
    const uint64_t calls = scene.sim.calls.callCount;
    for (auto _ : state) {
        VESSELSTATUS2 status{};
        status.version = 2;
        status.flag = VS_FUELLIST;
        target->GetStatusEx(&status);
        oapiReleaseStatusList(status.fuel);
        if (!vent) {
            VESSELSTATUS2 sourceStatus{};
            sourceStatus.version = 2;
            sourceStatus.flag = VS_FUELLIST;
            source->GetStatusEx(&sourceStatus);
            oapiReleaseStatusList(sourceStatus.fuel);
        }
        PROPELLANT_HANDLE g = oapiGetPropellantHandle(giving->GetHandle(), givingIndex);
        const double m = giving->GetPropellantMass(g);
        if (vent) {
            giving->SetPropellantMass(g, m - kStep);
            continue;
        }
        PROPELLANT_HANDLE r = oapiGetPropellantHandle(receiving->GetHandle(), 0);
        const double rm = receiving->GetPropellantMass(r);
        benchmark::DoNotOptimize(receiving->GetPropellantMaxMass(r));
        giving->SetPropellantMass(g, m - kStep);
        receiving->SetPropellantMass(r, rm + kStep);
    }
    reportCounters(state, scene.sim.calls, allocs, calls);
}

void modes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "running"});
    for (int mode : {CrossFeed, Load, Unload, Vent}) b->Args({mode, 1});
}

}  // namespace

BENCHMARK(moduleStep)->Name("step/off")->Args({CrossFeed, 0});
BENCHMARK(moduleStep)->Name("step/module")->Apply(modes);
BENCHMARK(baselineStep)->Name("step/baseline")->Apply(modes);

BENCHMARK_MAIN();
