// The emulator running the module: a simulated hour of a running transfer, and scenarios of
// 1 to 1,000 vessels with one display, loaded, stepped and redrawn.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "benchmarks.h"
#include "module/module_entry.h"
#include "scenes.h"
#include "sim/drawing/raster_surface.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "tests/support/module_session.h"
#include "transfer/transfer_state.h"

namespace bench {

namespace {

constexpr double kStep = 1.0 / 60.0;
constexpr int64_t kStepsPerHour = 3600 * 60;

// A tanker with three tanks and two ports, `vessels` - 1 other ships docked in pairs (the first
// of them to the tanker), and a display on the tanker with the pump at High: in CrossFeed from
// the tanker's second tank into its first, in Load from the first ship's first tank. The tanks
// are too big for any run to empty or fill.
const sim::VesselCatalogue kClasses({{"Tanker", {1e12, 1e12, 1e12}, 2}, {"Freighter", {1e12, 1e12}, 2}});

std::string scenarioText(int vessels, int pumpMode) {
    std::string text = "BEGIN_FOCUS\n  Ship Tanker\nEND_FOCUS\n\n";
    text += "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n  PUMPMODE " + std::to_string(pumpMode) +
            "\n  PUMPRATE 3\n  DOCKPORT 0\n  TARGETTANK 0\n";
    text += pumpMode == CrossFeed ? "  SOURCETANK 1:Tanker\n" : "  SOURCETANK 0:Ship1\n";
    text += "END_MFD\n\nBEGIN_SHIPS\nTanker:Tanker\n  STATUS Orbiting Earth\n  PRPLEVEL 0:0.5 1:0.5 2:0.5\n";
    if (vessels > 1) text += "  DOCKINFO 0:0,Ship1\n";
    text += "END\n";
    for (int i = 1; i < vessels; ++i) {
        const std::string name = "Ship" + std::to_string(i);
        text += name + ":Freighter\n  STATUS Orbiting Earth\n  PRPLEVEL 0:0.5 1:0.5\n";
        if (i == 1) text += "  DOCKINFO 0:0,Tanker\n";
        if (i % 2 == 0) text += "  DOCKINFO 1:1,Ship" + std::to_string(i - 1) + "\n";
        if (i % 2 == 1 && i + 1 < vessels) text += "  DOCKINFO 1:1,Ship" + std::to_string(i + 1) + "\n";
        text += "END\n";
    }
    return text + "END_SHIPS\n";
}

// The module as the emulator runs it: mode registered, time-step callback in place.
class Run : public test::ModuleSession {
public:
    explicit Run(const sim::ScenarioDescription& scenario) {
        sim.calls.logging = false;
        ok = applyScenario(scenario, sim, error);
        display = sim.findDisplay("Left");
    }
    ~Run() { clearTransferState(); }

    sim::Display* display = nullptr;
    bool ok = false;
    std::string error;
};

std::optional<sim::ScenarioDescription> parse(benchmark::State& state, int vessels, int pumpMode) {
    std::string error;
    auto scenario = sim::parseScenario(scenarioText(vessels, pumpMode), "bench", error, kClasses);
    if (!scenario) state.SkipWithError(error.c_str());
    return scenario;
}

// Every step must have pumped: the rate is still High and nothing was refused.
void finish(benchmark::State& state, Run& run) {
    if (run.sim.calls.badCalls) state.SkipWithError("bad host calls");
    if (transferState.pumpRate != 3) state.SkipWithError("the pump stopped");
}

// One simulated hour at 60 steps a simulated second, with one redraw of the display each
// simulated second when `redraws`.
void hour(benchmark::State& state, bool redraws) {
    const auto scenario = parse(state, 2, Load);
    if (!scenario) return;
    Run run(*scenario);
    if (!run.ok) return state.SkipWithError(run.error.c_str());
    sim::RasterSurface surface(kDisplaySize, kDisplaySize);
    run.display->repaint(&surface);  // the first redraw makes the docked depot the source
    for (auto _ : state) {
        for (int64_t i = 0; i < kStepsPerHour; ++i) {
            run.sim.step(kStep);
            if (redraws && i % 60 == 59) run.display->repaint(&surface);
        }
    }
    state.SetItemsProcessed(state.iterations() * kStepsPerHour);  // steps
    finish(state, run);
}

enum class Work { Load, Create, Step, Redraw };

void vessels(benchmark::State& state, Work work) {
    const int n = static_cast<int>(state.range(0));
    const auto scenario = parse(state, n, CrossFeed);
    if (!scenario) return;
    if (work == Work::Load || work == Work::Create) {
        // Reading the file's text (load only) and creating the vessels, dock links and display,
        // the instrument reading its block; the tear-down is not counted.
        const std::string text = scenarioText(n, CrossFeed);
        for (auto _ : state) {
            state.PauseTiming();
            {
                auto run = std::make_unique<Run>(sim::ScenarioDescription{});
                state.ResumeTiming();
                std::string error;
                if (work == Work::Create) {
                    if (!applyScenario(*scenario, run->sim, error)) state.SkipWithError(error.c_str());
                } else {
                    const auto parsed = sim::parseScenario(text, "bench", error, kClasses);
                    if (!parsed || !applyScenario(*parsed, run->sim, error))
                        state.SkipWithError(error.c_str());
                }
                state.PauseTiming();
            }
            state.ResumeTiming();
        }
        return;
    }
    Run run(*scenario);
    if (!run.ok) return state.SkipWithError(run.error.c_str());
    if (static_cast<int>(run.sim.vessels().size()) != n) return state.SkipWithError("wrong vessel count");
    sim::RasterSurface surface(kDisplaySize, kDisplaySize);
    run.display->repaint(&surface);
    if (work == Work::Step) {
        for (auto _ : state) run.sim.step(kStep);
    } else {
        for (auto _ : state) run.display->repaint(&surface);
    }
    finish(state, run);
}

}  // namespace

void registerEmulatorBenchmarks() {
    benchmark::RegisterBenchmark("emulator/hour/steps", hour, false)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("emulator/hour/steps+redraws", hour, true)->Unit(benchmark::kMillisecond);
    for (const auto& [name, work, unit] : {std::tuple{"load", Work::Load, benchmark::kMicrosecond},
                                           std::tuple{"create", Work::Create, benchmark::kMicrosecond},
                                           std::tuple{"step", Work::Step, benchmark::kNanosecond},
                                           std::tuple{"redraw", Work::Redraw, benchmark::kMicrosecond}}) {
        benchmark::RegisterBenchmark((std::string("emulator/vessels/") + name).c_str(), vessels, work)
            ->ArgName("n")
            ->Arg(1)
            ->Arg(10)
            ->Arg(100)
            ->Arg(1000)
            ->Unit(unit);
    }
}

}  // namespace bench
