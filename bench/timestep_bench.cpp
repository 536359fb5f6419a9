// The cost of one time step: the module's opcTimestep against a baseline that makes exactly
// the host calls a running step needs (status queries, handle look-ups, reads and writes) and
// nothing else. A second baseline adds the checks the pump makes first, that its vessels still
// exist and that a docked source is still docked, to show what they cost.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "benchmarks.h"
#include "counting.h"
#include "module/module_entry.h"
#include "transfer/transfer_state.h"

namespace bench {

namespace {

constexpr double kHuge = 1e15;  // tanks no benchmark run can empty or fill
constexpr double kStep = 1.0 / 60.0;
constexpr int kRunning = 3;  // High

struct StepScene {
    sim::Simulation sim;
    sim::VesselRecord& own = sim.addVessel({"Ship", "Tanker", {{kHuge, kHuge / 2}, {kHuge, kHuge / 2}}, 1});
    sim::VesselRecord& depot = sim.addVessel({"Depot", "Depot", {{kHuge, kHuge / 2}}, 1});
    int mode;

    explicit StepScene(int pumpMode) : mode(pumpMode) {
        sim.calls.logging = false;
        sim.dock(own, 0, depot, 0);
        resetTransferState(own.vessel.get());
        TransferState& s = transferState;
        s.pumpMode = mode;
        if (mode == CrossFeed) s.sourceTank = 1;
        if (mode == Load || mode == Unload) s.setSource(depot.vessel.get(), depot.handle());
        if (mode == Vent) s.setSource(nullptr, nullptr);
        s.pumpRate = kRunning;
    }
    ~StepScene() { clearTransferState(); }
};

// The checks the module makes before its first status query (that its vessels still exist and
// a docked source is still docked), taken from the calls one step of the module makes, so
// that the checked baseline follows the module's checks as they are.
struct Check {
    sim::HostCall call;
    VESSEL* vessel;
    OBJHANDLE handle;
};
struct Checks {
    std::array<Check, 8> check{};
    size_t count = 0;
    UINT port = 0;
};

std::vector<sim::CallEntry> callsOf(sim::Simulation& sim, const auto& op) {
    sim.calls.calls.clear();
    sim.calls.logging = true;
    op();
    sim.calls.logging = false;
    std::vector<sim::CallEntry> out = sim.calls.calls;
    sim.calls.calls.clear();
    return out;
}

bool isCheck(sim::HostCall c) {
    using sim::HostCall;
    return c == HostCall::IsVessel || c == HostCall::DockCount || c == HostCall::GetDockHandle ||
           c == HostCall::GetDockStatus;
}

// The calls before the first status query; empty when there is one the baseline cannot make.
std::optional<Checks> checksOf(StepScene& scene) {
    Checks checks;
    checks.port = static_cast<UINT>(transferState.dockPort);
    for (const sim::CallEntry& e : callsOf(scene.sim, [] { opcTimestep(0.0, kStep, 0.0); })) {
        if (e.call == sim::HostCall::GetStatusEx) break;
        sim::VesselRecord* r = scene.sim.record(e.vessel);
        if (!isCheck(e.call) || !r || checks.count == checks.check.size()) return std::nullopt;
        checks.check[checks.count++] = {e.call, r->vessel.get(), e.vessel};
    }
    return checks;
}

// The host calls of one running step, in order, and nothing else; with checks, those first.
class BaselineStep {
public:
    BaselineStep(StepScene& scene, const Checks& checks) : checks_(checks), mode_(scene.mode) {
        own_ = scene.own.vessel.get();
        source_ = mode_ == CrossFeed ? own_ : scene.depot.vessel.get();
        vent_ = mode_ == Vent;
        giving_ = (mode_ == Unload || vent_) ? own_ : source_;
        receiving_ = mode_ == Unload ? source_ : own_;
        givingIndex_ = mode_ == CrossFeed ? 1 : 0;
    }

    // Called, not inlined, as the module's step is.
    [[gnu::noinline]] void operator()() const {
        DOCKHANDLE dock = nullptr;
        for (size_t i = 0; i < checks_.count; ++i) {
            const Check& c = checks_.check[i];
            switch (c.call) {
                case sim::HostCall::IsVessel:
                    benchmark::DoNotOptimize(oapiIsVessel(c.handle));
                    break;
                case sim::HostCall::DockCount:
                    benchmark::DoNotOptimize(c.vessel->DockCount());
                    break;
                case sim::HostCall::GetDockHandle:
                    dock = c.vessel->GetDockHandle(checks_.port);
                    break;
                default:
                    benchmark::DoNotOptimize(c.vessel->GetDockStatus(dock));
                    break;
            }
        }
        status(own_);
        if (!vent_) status(source_);
        const PROPELLANT_HANDLE g = oapiGetPropellantHandle(giving_->GetHandle(), givingIndex_);
        const double m = giving_->GetPropellantMass(g);
        if (vent_) {
            giving_->SetPropellantMass(g, m - kStep);
            return;
        }
        const PROPELLANT_HANDLE r = oapiGetPropellantHandle(receiving_->GetHandle(), 0);
        const double rm = receiving_->GetPropellantMass(r);
        benchmark::DoNotOptimize(receiving_->GetPropellantMaxMass(r));
        giving_->SetPropellantMass(g, m - kStep);
        receiving_->SetPropellantMass(r, rm + kStep);
    }

private:
    static void status(VESSEL* v) {
        VESSELSTATUS2 st{};
        st.version = 2;
        st.flag = VS_FUELLIST;
        v->GetStatusEx(&st);
        benchmark::DoNotOptimize(st.nfuel);
        releaseStatusList(st);
    }

    Checks checks_;
    int mode_;
    VESSEL* own_;
    VESSEL* source_;
    bool vent_;
    VESSEL* giving_;
    VESSEL* receiving_;
    DWORD givingIndex_;
};

std::string describe(const std::vector<sim::CallEntry>& calls) {
    std::string s;
    for (const sim::CallEntry& c : calls) s += std::string(s.empty() ? "" : " ") + sim::hostCallName(c.call);
    return s;
}

bool sameCalls(const std::vector<sim::CallEntry>& a, const std::vector<sim::CallEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.call == y.call && x.vessel == y.vessel; });
}

// The checks of the module's step, or none when the baselines no longer stand for the step:
// the checked baseline must make the module's calls, the plain one those from the first
// status query on.
std::optional<Checks> baselineChecks(benchmark::State& state, StepScene& scene) {
    const auto module = callsOf(scene.sim, [] { opcTimestep(0.0, kStep, 0.0); });
    const std::optional<Checks> checks = checksOf(scene);
    if (checks) {
        const auto checked = callsOf(scene.sim, BaselineStep(scene, *checks));
        const auto plain = callsOf(scene.sim, BaselineStep(scene, Checks{}));
        const auto first = std::find_if(module.begin(), module.end(),
                                        [](const auto& e) { return e.call == sim::HostCall::GetStatusEx; });
        if (sameCalls(module, checked) && sameCalls(std::vector(first, module.end()), plain)) return checks;
    }
    state.SkipWithError(("baseline out of date; the step calls " + describe(module)).c_str());
    return std::nullopt;
}

void finish(benchmark::State& state, StepScene& scene, bool running) {
    if (scene.sim.calls.badCalls) state.SkipWithError("bad host calls");
    if (running && transferState.pumpRate != kRunning) state.SkipWithError("the pump stopped");
}

void moduleStep(benchmark::State& state, int mode, bool running) {
    StepScene scene(mode);
    if (running && !baselineChecks(state, scene)) return;
    if (!running) transferState.pumpRate = 0;
    countPerOperation(state, scene.sim, [] { opcTimestep(0.0, kStep, 0.0); });
    for (auto _ : state) opcTimestep(0.0, kStep, 0.0);
    finish(state, scene, running);
}

void baselineStep(benchmark::State& state, int mode, bool checked) {
    StepScene scene(mode);
    const std::optional<Checks> checks = baselineChecks(state, scene);
    if (!checks) return;
    const BaselineStep step(scene, checked ? *checks : Checks{});
    countPerOperation(state, scene.sim, step);
    for (auto _ : state) step();
    finish(state, scene, false);
}

const char* modeName(int mode) {
    static const char* const names[] = {"crossfeed", "load", "unload", "vent"};
    return names[mode];
}

}  // namespace

void registerStepBenchmarks() {
    benchmark::RegisterBenchmark("step/off", moduleStep, CrossFeed, false);
    for (int mode : {CrossFeed, Load, Unload, Vent}) {
        const std::string m = modeName(mode);
        benchmark::RegisterBenchmark(("step/module/" + m).c_str(), moduleStep, mode, true);
        benchmark::RegisterBenchmark(("step/baseline/" + m).c_str(), baselineStep, mode, false);
        benchmark::RegisterBenchmark(("step/checked/" + m).c_str(), baselineStep, mode, true);
    }
}

}  // namespace bench
